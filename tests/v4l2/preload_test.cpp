// The preload library from inside an application, as `zarncap v4l2` runs it
// on the virtual camera (ctest: zarncap v4l2 -- v4l2_preload_tests). Each case
// goes through the library's own entry points the way the applications named
// beside it do. Plain checks, no test framework: the program is loaded with
// the library and runs without sanitizers, like any application.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <glob.h>
#include <linux/videodev2.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

int failures = 0;
std::string device;  // the path the launcher gave
std::string folder;
std::string name;
unsigned minorNumber = 0;

void Check(bool ok, const std::string& what) {
  if (ok) return;
  std::printf("  FAIL: %s\n", what.c_str());
  ++failures;
}

// A case that would hang when the library is wrong ends the program instead.
const char* running = "";
void Watchdog(unsigned seconds) { alarm(seconds); }
extern "C" void OnWatchdog(int) {
  const char said[] = "  FAIL: did not end: ";
  [[maybe_unused]] ssize_t ignored = write(1, said, sizeof said - 1);
  ignored = write(1, running, std::strlen(running));
  ignored = write(1, "\n", 1);
  _exit(1);
}

int OpenDevice(int flags = O_RDWR) {
  const int fd = open(device.c_str(), flags);
  if (fd < 0) std::printf("  cannot open %s: %s\n", device.c_str(), std::strerror(errno));
  return fd;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int RequestBuffers(int fd, unsigned count) {
  v4l2_requestbuffers request = {};
  request.count = count;
  request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  request.memory = V4L2_MEMORY_MMAP;
  return ioctl(fd, VIDIOC_REQBUFS, &request) == 0 ? static_cast<int>(request.count) : -1;
}

bool QueryBuffer(int fd, unsigned index, v4l2_buffer* out) {
  *out = {};
  out->index = index;
  out->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  out->memory = V4L2_MEMORY_MMAP;
  return ioctl(fd, VIDIOC_QUERYBUF, out) == 0;
}

// Chromium, ffmpeg and v4l2-ctl list /dev (readdir), Python's os.listdir and
// GLib too; scandir, glob and raw getdents64 for the rest.
void DeviceFolderListsTheDevice() {
  const auto count = [](const std::function<const char*()>& next, unsigned char* type) {
    int seen = 0;
    while (const char* entry = next()) seen += std::strcmp(entry, name.c_str()) == 0 ? 1 : 0;
    (void)type;
    return seen;
  };
  DIR* listing = opendir(folder.c_str());
  Check(listing != nullptr, "opendir " + folder);
  if (listing == nullptr) return;
  unsigned char type = DT_UNKNOWN;
  const auto next = [&]() -> const char* {
    const dirent* entry = readdir(listing);
    if (entry != nullptr && std::strcmp(entry->d_name, name.c_str()) == 0) type = entry->d_type;
    return entry != nullptr ? entry->d_name : nullptr;
  };
  Check(count(next, &type) == 1, "readdir lists " + name + " once");
  Check(type == DT_CHR, "readdir gives it as a character device");
  rewinddir(listing);
  Check(count(next, &type) == 1, "readdir lists it again after rewinddir");
  closedir(listing);

  dirent** list = nullptr;
  const int entries = scandir(folder.c_str(), &list, [](const dirent* e) { return std::strncmp(e->d_name, "video", 5) == 0 ? 1 : 0; }, alphasort);
  int found = 0;
  for (int i = 0; i < entries; ++i) {
    found += std::strcmp(list[i]->d_name, name.c_str()) == 0 ? 1 : 0;
    if (i > 0) Check(std::strcmp(list[i - 1]->d_name, list[i]->d_name) < 0, "scandir keeps the caller's order");
    std::free(list[i]);
  }
  std::free(list);
  Check(found == 1, "scandir lists it once");

  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  alignas(8) char records[8192];
  found = 0;
  for (;;) {
    const long got = syscall(SYS_getdents64, fd, records, sizeof records);
    if (got <= 0) break;
    for (long at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(records + at);
      found += std::strcmp(entry->d_name, name.c_str()) == 0 ? 1 : 0;
      at += entry->d_reclen;
    }
  }
  close(fd);
  Check(found == 1, "getdents64 lists it once");

  glob_t matches = {};
  found = 0;
  if (glob((folder + "/" + name.substr(0, 3) + "*").c_str(), 0, nullptr, &matches) == 0) {
    for (std::size_t i = 0; i < matches.gl_pathc; ++i) found += device == matches.gl_pathv[i] ? 1 : 0;
  }
  globfree(&matches);
  Check(found == 1, "glob matches it once");

  struct stat seen;
  Check(stat(device.c_str(), &seen) == 0 && S_ISCHR(seen.st_mode) && major(seen.st_rdev) == 81 &&
            minor(seen.st_rdev) == minorNumber,
        "stat gives the character device 81:" + std::to_string(minorNumber));
}

// What libudev, GStreamer and PipeWire read in sysfs.
void SysfsHasTheDevice() {
  const std::string node = "video" + std::to_string(minorNumber);
  bool listed = false;
  if (DIR* listing = opendir("/sys/class/video4linux")) {
    while (const dirent* entry = readdir(listing)) listed = listed || node == entry->d_name;
    closedir(listing);
  }
  Check(listed, "/sys/class/video4linux lists " + node);
  Check(ReadText("/sys/class/video4linux/" + node + "/name") == "Parallel port colour camera\n", "its name");
  Check(ReadText("/sys/class/video4linux/" + node + "/dev") == "81:" + std::to_string(minorNumber) + "\n", "its dev");
  const std::string uevent = ReadText("/sys/dev/char/81:" + std::to_string(minorNumber) + "/uevent");
  Check(uevent.find("MAJOR=81\n") != std::string::npos, "/sys/dev/char/81:N/uevent: " + uevent);
  char target[256] = {};
  Check(readlink(("/sys/class/video4linux/" + node).c_str(), target, sizeof target - 1) > 0 &&
            std::string(target) == "../../devices/virtual/video4linux/" + node,
        std::string("the class link points at the device: ") + target);
  char* resolved = realpath(("/sys/class/video4linux/" + node + "/subsystem").c_str(), nullptr);
  Check(resolved != nullptr && std::string(resolved) == "/sys/class/video4linux", "realpath of its subsystem link");
  std::free(resolved);
}

// libudev's enumeration, as GStreamer's device monitor and PipeWire use it.
void UdevFindsTheDevice() {
  void* udev = dlopen("libudev.so.1", RTLD_NOW);
  if (udev == nullptr) {
    std::printf("  (no libudev.so.1: skipped)\n");
    return;
  }
  const auto find = [udev](const char* symbol) { return dlsym(udev, symbol); };
  auto newUdev = reinterpret_cast<void* (*)()>(find("udev_new"));
  auto newEnumerate = reinterpret_cast<void* (*)(void*)>(find("udev_enumerate_new"));
  auto matchSubsystem = reinterpret_cast<int (*)(void*, const char*)>(find("udev_enumerate_add_match_subsystem"));
  auto scan = reinterpret_cast<int (*)(void*)>(find("udev_enumerate_scan_devices"));
  auto first = reinterpret_cast<void* (*)(void*)>(find("udev_enumerate_get_list_entry"));
  auto following = reinterpret_cast<void* (*)(void*)>(find("udev_list_entry_get_next"));
  auto entryName = reinterpret_cast<const char* (*)(void*)>(find("udev_list_entry_get_name"));
  auto fromSyspath = reinterpret_cast<void* (*)(void*, const char*)>(find("udev_device_new_from_syspath"));
  auto devnode = reinterpret_cast<const char* (*)(void*)>(find("udev_device_get_devnode"));
  auto property = reinterpret_cast<const char* (*)(void*, const char*)>(find("udev_device_get_property_value"));
  auto unrefDevice = reinterpret_cast<void* (*)(void*)>(find("udev_device_unref"));
  auto unrefEnumerate = reinterpret_cast<void* (*)(void*)>(find("udev_enumerate_unref"));
  auto unrefUdev = reinterpret_cast<void* (*)(void*)>(find("udev_unref"));
  void* context = newUdev();
  void* enumerate = newEnumerate(context);
  matchSubsystem(enumerate, "video4linux");
  scan(enumerate);
  int found = 0;
  for (void* entry = first(enumerate); entry != nullptr; entry = following(entry)) {
    void* found_device = fromSyspath(context, entryName(entry));
    if (found_device == nullptr) continue;
    const char* node = devnode(found_device);
    if (node != nullptr && device == node) {
      ++found;
      const auto is = [&](const char* key, const std::string& value) {
        const char* got = property(found_device, key);
        Check(got != nullptr && value == got, std::string(key) + " is " + value + ", not " + (got ? got : "(none)"));
      };
      is("SUBSYSTEM", "video4linux");
      is("ID_V4L_CAPABILITIES", ":capture:");
      is("ID_V4L_PRODUCT", "Parallel port colour camera");
      is("MAJOR", "81");
      is("MINOR", std::to_string(minorNumber));
    }
    unrefDevice(found_device);
  }
  Check(found == 1, "libudev's enumeration of video4linux finds " + device);
  unrefEnumerate(enumerate);
  unrefUdev(context);
}

// motion and other programs keep ioctl requests in an int.
void IntTypedRequestIsTheSameRequest() {
  const int fd = OpenDevice();
  if (fd < 0) return Check(false, "open");
  const int asInt = static_cast<int>(VIDIOC_QUERYCAP);
  v4l2_capability capability = {};
  Check(ioctl(fd, static_cast<unsigned long>(static_cast<long>(asInt)), &capability) == 0 && capability.card[0] != 0,
        std::string("QUERYCAP passed as an int: ") + std::strerror(errno));
  capability = {};
  Check(syscall(SYS_ioctl, fd, static_cast<long>(asInt), &capability) == 0 && capability.card[0] != 0,
        "QUERYCAP as an int through syscall()");
  close(fd);
}

void OnAlarm(int) {}

// A device streaming with no buffer queued: a blocking DQBUF on it waits.
int StreamingWithNothingQueued() {
  const int fd = OpenDevice();
  if (fd < 0) return Check(false, "open"), -1;
  Check(RequestBuffers(fd, 2) == 2, "REQBUFS 2");
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  Check(ioctl(fd, VIDIOC_STREAMON, &type) == 0, "STREAMON with no buffer queued");
  return fd;
}

// A handler without SA_RESTART for signal; the one before it.
struct sigaction CatchWithoutRestart(int signal) {
  struct sigaction action = {};
  action.sa_handler = OnAlarm;
  struct sigaction before = {};
  sigaction(signal, &action, &before);
  return before;
}

// A blocking DQBUF with nothing queued waits until a signal comes; a handler
// set without SA_RESTART ends it with EINTR (Ctrl-C in a program that catches it).
void BlockingDequeueEndsOnASignal() {
  const int fd = StreamingWithNothingQueued();
  if (fd < 0) return;
  const struct sigaction before = CatchWithoutRestart(SIGUSR1);
  const pthread_t waiter = pthread_self();
  std::atomic<bool> done{false};
  std::thread signaller([&] {
    // Until the wait has ended: a signal that lands before the wait starts is lost.
    for (int i = 0; i < 200 && !done.load(); ++i) {
      usleep(50000);
      if (!done.load()) pthread_kill(waiter, SIGUSR1);
    }
  });
  v4l2_buffer buffer = {};
  buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  buffer.memory = V4L2_MEMORY_MMAP;
  const int result = ioctl(fd, VIDIOC_DQBUF, &buffer);
  const int error = errno;
  done = true;
  signaller.join();
  Check(result == -1 && error == EINTR, std::string("DQBUF after a signal: ") + std::strerror(error));
  sigaction(SIGUSR1, &before, nullptr);
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  ioctl(fd, VIDIOC_STREAMOFF, &type);
  close(fd);
}

// Chromium's sandbox chroots in a child made by a raw clone that shares the
// memory and has a zeroed thread area (no thread-local storage), calling
// syscall() and calls of the C library that are no cancellation points
// (those read the thread area in a process with threads, library or not).
int ChildWithoutThreadArea(void*) {
  struct stat seen;
  if (syscall(SYS_getppid) <= 0) return 2;
  if (stat("/", &seen) != 0 || lstat("/", &seen) != 0 || access("/", R_OK) != 0) return 3;
  const long fd = syscall(SYS_openat, AT_FDCWD, "/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || syscall(SYS_fchdir, fd) != 0) return 4;
  if (syscall(SYS_close, fd) != 0) return 5;
  if (syscall(SYS_openat, AT_FDCWD, "/sys/no such file", O_RDONLY) != -1) return 6;
  return 0;
}

void RawCloneChildWithoutThreadArea() {
  alignas(16) static char stack[64 * 1024];
  // The thread pointer in the middle: the C library's errno sits below it.
  alignas(64) static char threadArea[32 * 1024];
  std::memset(threadArea, 0, sizeof threadArea);
  const pid_t child = clone(ChildWithoutThreadArea, stack + sizeof stack,
                            CLONE_VM | CLONE_VFORK | CLONE_SETTLS | SIGCHLD, nullptr, nullptr,
                            threadArea + sizeof threadArea / 2, nullptr);
  Check(child > 0, "clone");
  int status = 0;
  waitpid(child, &status, 0);
  Check(WIFEXITED(status) && WEXITSTATUS(status) == 0,
        "the child without a thread area " +
            (WIFSIGNALED(status) ? "died of signal " + std::to_string(WTERMSIG(status))
                                 : "exited " + std::to_string(WEXITSTATUS(status))));
}

// A descriptor closed past the library (close_range) whose number an
// unrelated socket then takes: reads and ioctls reach that socket.
void StaleNumberIsAnotherFile() {
  const int fd = OpenDevice();
  if (fd < 0) return Check(false, "open");
  Check(syscall(SYS_close_range, fd, fd, 0) == 0, "close_range");
  int pair[2];
  Check(socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0, "socketpair");
  if (pair[0] != fd) {
    std::printf("  (the socket took %d, not %d: skipped)\n", pair[0], fd);
  } else {
    Check(write(pair[1], "abc", 3) == 3, "write");
    char got[8] = {};
    Check(read(fd, got, sizeof got) == 3 && std::memcmp(got, "abc", 3) == 0, "read gives the socket's bytes");
    v4l2_capability capability;
    Check(ioctl(fd, VIDIOC_QUERYCAP, &capability) == -1 && errno == ENOTTY, "QUERYCAP on the socket: ENOTTY");
    struct stat seen;
    Check(fstat(fd, &seen) == 0 && S_ISSOCK(seen.st_mode), "fstat says socket");
  }
  close(pair[0]);
  close(pair[1]);

  // The same through stdio: fclose(fdopen()) closes inside the C library.
  const int again = OpenDevice();
  if (FILE* stream = fdopen(again, "r")) std::fclose(stream);
  const int file = open("/proc/self/stat", O_RDONLY);
  if (file == again) {
    char got[4] = {};
    Check(read(file, got, 1) == 1 && got[0] >= '0' && got[0] <= '9', "read on the file that took the number");
  }
  close(file);
}

// A thread waits in DQBUF while another closes the descriptor and a new
// socket takes its number: the wait's requests never reach that socket (the
// kernel, too, keeps the file for the call under way).
void WaitNeverWritesIntoAReusedNumber() {
  const int fd = StreamingWithNothingQueued();
  if (fd < 0) return;
  const struct sigaction before = CatchWithoutRestart(SIGUSR1);
  std::atomic<bool> ended{false};
  std::thread waiter([&] {
    v4l2_buffer buffer = {};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    ioctl(fd, VIDIOC_DQBUF, &buffer);
    ended = true;
  });
  usleep(200000);
  syscall(SYS_close_range, fd, fd, 0);
  int pair[2];
  Check(socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0, "socketpair");
  usleep(300000);  // several of the wait's rounds
  char stray[64];
  const ssize_t got = recv(pair[1], stray, sizeof stray, MSG_DONTWAIT);
  Check(pair[0] != fd || (got < 0 && errno == EAGAIN), "the socket that took the number received a request");
  for (int i = 0; i < 200 && !ended.load(); ++i) {
    pthread_kill(waiter.native_handle(), SIGUSR1);
    usleep(50000);
  }
  waiter.join();
  sigaction(SIGUSR1, &before, nullptr);
  close(pair[0]);
  close(pair[1]);
}

// `sh -c 'dd </dev/video0'`: the descriptor is opened in one program and read in the next.
void InheritedDescriptorReadsFrames(const char* self) {
  const int fd = OpenDevice();
  if (fd < 0) return Check(false, "open");
  const pid_t child = fork();
  if (child == 0) {
    dup2(fd, 0);
    execl(self, self, "--read-stdin", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  Check(WIFEXITED(status) && WEXITSTATUS(status) == 0, "a frame read from the descriptor kept across exec");
  close(fd);
}

int ReadStdin() {
  Watchdog(20);
  std::vector<char> frame(1 << 21);
  const ssize_t got = read(0, frame.data(), frame.size());
  v4l2_format format = {};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (ioctl(0, VIDIOC_G_FMT, &format) != 0) return 2;
  return got == static_cast<ssize_t>(format.fmt.pix.sizeimage) ? 0 : 1;
}

// libv4l2 refuses REQBUFS(0) and S_FMT while QUERYBUF says a buffer is mapped.
void MappedFlagFollowsMunmap() {
  const int fd = OpenDevice();
  if (fd < 0) return Check(false, "open");
  Check(RequestBuffers(fd, 2) == 2, "REQBUFS 2");
  v4l2_buffer buffer;
  Check(QueryBuffer(fd, 0, &buffer) && (buffer.flags & V4L2_BUF_FLAG_MAPPED) == 0, "not mapped before mmap");
  void* memory = mmap(nullptr, buffer.length, PROT_READ, MAP_SHARED, fd, buffer.m.offset);
  Check(memory != MAP_FAILED, "mmap");
  Check(QueryBuffer(fd, 0, &buffer) && (buffer.flags & V4L2_BUF_FLAG_MAPPED) != 0, "mapped after mmap");
  v4l2_buffer other;
  Check(QueryBuffer(fd, 1, &other) && (other.flags & V4L2_BUF_FLAG_MAPPED) == 0, "the other buffer is not");
  Check(munmap(memory, buffer.length) == 0, "munmap");
  Check(QueryBuffer(fd, 0, &buffer) && (buffer.flags & V4L2_BUF_FLAG_MAPPED) == 0, "not mapped after munmap");
  Check(RequestBuffers(fd, 0) == 0, "REQBUFS 0 after munmap");
  close(fd);
}

// FIONBIO and FIOCLEX act on the descriptor as on any file's; a private
// mapping of a buffer is refused (EINVAL), as kernel drivers refuse it.
void FileRequestsAndPrivateMaps() {
  const int fd = OpenDevice();
  if (fd < 0) return Check(false, "open");
  int on = 1, off = 0;
  Check(ioctl(fd, FIONBIO, &on) == 0 && (fcntl(fd, F_GETFL) & O_NONBLOCK) != 0, "FIONBIO sets O_NONBLOCK");
  Check(ioctl(fd, FIONBIO, &off) == 0 && (fcntl(fd, F_GETFL) & O_NONBLOCK) == 0, "FIONBIO clears O_NONBLOCK");
  Check(ioctl(fd, FIOCLEX) == 0 && (fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0, "FIOCLEX sets close-on-exec");
  Check(ioctl(fd, FIONCLEX) == 0 && (fcntl(fd, F_GETFD) & FD_CLOEXEC) == 0, "FIONCLEX clears close-on-exec");
  Check(RequestBuffers(fd, 1) == 1, "REQBUFS 1");
  v4l2_buffer buffer;
  Check(QueryBuffer(fd, 0, &buffer), "QUERYBUF");
  errno = 0;
  Check(mmap(nullptr, buffer.length, PROT_READ, MAP_PRIVATE, fd, buffer.m.offset) == MAP_FAILED && errno == EINVAL,
        "MAP_PRIVATE is refused with EINVAL");
  void* shared = mmap(nullptr, buffer.length, PROT_READ, MAP_SHARED, fd, buffer.m.offset);
  Check(shared != MAP_FAILED, "MAP_SHARED maps");
  if (shared != MAP_FAILED) munmap(shared, buffer.length);
  Check(RequestBuffers(fd, 0) == 0, "REQBUFS 0");
  close(fd);
}

// A fork while another thread is in the middle of a request: the child's own requests go through.
void ForkDuringRequests() {
  const int fd = OpenDevice();
  if (fd < 0) return Check(false, "open");
  std::atomic<bool> stop{false};
  std::thread asker([&] {
    v4l2_capability capability;
    while (!stop.load()) ioctl(fd, VIDIOC_QUERYCAP, &capability);
  });
  int healthy = 0;
  for (int i = 0; i < 40; ++i) {
    const pid_t child = fork();
    if (child == 0) {
      alarm(10);
      v4l2_capability capability = {};
      _exit(ioctl(fd, VIDIOC_QUERYCAP, &capability) == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    healthy += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 1 : 0;
  }
  stop = true;
  asker.join();
  Check(healthy == 40, std::to_string(healthy) + " of 40 forked children were answered");
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--read-stdin") == 0) return ReadStdin();
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  signal(SIGALRM, OnWatchdog);
  const char* path = std::getenv("ZARNCAP_V4L2_DEVICE");
  if (path == nullptr) {
    std::printf("run me inside zarncap v4l2\n");
    return 77;
  }
  device = path;
  folder = device.substr(0, device.rfind('/'));
  if (folder.empty()) folder = "/";
  name = device.substr(device.rfind('/') + 1);
  minorNumber = static_cast<unsigned>(std::strtoul(std::getenv("ZARNCAP_V4L2_MINOR"), nullptr, 10));
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"the device's folder lists it", DeviceFolderListsTheDevice},
      {"sysfs has the device", SysfsHasTheDevice},
      {"libudev finds the device", UdevFindsTheDevice},
      {"an int-typed request", IntTypedRequestIsTheSameRequest},
      {"a blocking DQBUF ends on a signal", BlockingDequeueEndsOnASignal},
      {"a raw clone child without a thread area", RawCloneChildWithoutThreadArea},
      {"a stale descriptor number", StaleNumberIsAnotherFile},
      {"a wait on a reused number", WaitNeverWritesIntoAReusedNumber},
      {"a descriptor kept across exec", [&] { InheritedDescriptorReadsFrames(argv[0]); }},
      {"the mapped flag follows munmap", MappedFlagFollowsMunmap},
      {"fork during requests", ForkDuringRequests},
      {"file requests and private maps", FileRequestsAndPrivateMaps},
  };
  // Parts of the titles to run, between commas (all when none is given).
  const std::string only = argc > 1 ? std::string(",") + argv[1] + "," : "";
  for (const auto& [title, run] : cases) {
    if (!only.empty() && only.find(std::string(",") + title + ",") == std::string::npos) continue;
    std::printf("%s\n", title);
    running = title;
    Watchdog(60);
    run();
  }
  alarm(0);
  std::printf(failures == 0 ? "all passed\n" : "%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
