#include "tools/zarncap/v4l2/face_application.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/v4l2/face_place.h"
#include "v4l2/protocol.h"

extern char** environ;

namespace zarncap {
namespace {

constexpr int kTaken[] = {SIGCHLD, SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kTakenCount = sizeof kTaken / sizeof kTaken[0];

// What the handler writes for each signal (one write, so records never mix).
struct Caught {
  int signal;
  int code;  // si_code: SI_KERNEL when the terminal sent it to the whole foreground group
};

int wakeWrite = -1;
struct sigaction previous[kTakenCount];

extern "C" void OnSignal(int signal, siginfo_t* info, void*) {
  const int saved = errno;
  const Caught caught{signal, info != nullptr ? info->si_code : SI_USER};
  [[maybe_unused]] const ssize_t ignored = write(wakeWrite, &caught, sizeof caught);
  errno = saved;
}

int ShellStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 1;
}

// The application's environment: the launcher's, with the library preloaded
// and the face's variables. Built before fork: the child of a process with
// threads may only make async-signal-safe calls until exec.
std::vector<std::string> Environment(const FaceLaunch& launch, const FacePlace& place) {
  const char* earlier = std::getenv("LD_PRELOAD");
  const std::pair<std::string, std::string> set[] = {
      {"LD_PRELOAD",
       launch.preloadLibrary + (earlier != nullptr && *earlier != '\0' ? std::string(":") + earlier : "")},
      {v4l2face::kSocketVariable, launch.socketPath},
      {v4l2face::kDeviceVariable, launch.socketPath.empty() ? "" : place.devicePath},
      {v4l2face::kTreeVariable, launch.tree},
      {v4l2face::kMinorVariable, std::to_string(place.minor)},
  };
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    bool replaced = false;
    for (const auto& [name, value] : set) replaced |= text.compare(0, name.size() + 1, name + "=") == 0;
    if (!replaced) environment.push_back(text);
  }
  for (const auto& [name, value] : set) {
    if (!value.empty()) environment.push_back(name + "=" + value);
  }
  return environment;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

FaceApplication::FaceApplication() {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) throw ToolError("v4l2: cannot make a pipe");
  wakeWrite = pipe_[1];
  struct sigaction action = {};
  action.sa_sigaction = OnSignal;
  action.sa_flags = SA_SIGINFO | SA_RESTART | SA_NOCLDSTOP;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < kTakenCount; ++i) sigaction(kTaken[i], &action, &previous[i]);
  // Descendants whose parent exits come to the launcher, so they stay its
  // descendants (and may keep using the camera) and are reaped here.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
}

FaceApplication::~FaceApplication() {
  prctl(PR_SET_CHILD_SUBREAPER, 0);
  for (std::size_t i = 0; i < kTakenCount; ++i) sigaction(kTaken[i], &previous[i], nullptr);
  wakeWrite = -1;
  for (int fd : pipe_) close(fd);
}

void FaceApplication::Start(const FaceLaunch& launch, const FacePlace& place,
                            const std::vector<std::string>& command) {
  std::vector<std::string> environment = Environment(launch, place);
  std::vector<std::string> words = command;
  const std::vector<char*> envp = Pointers(environment), argv = Pointers(words);
  const std::string failed = "zarncap: error: v4l2: cannot run " + command.front() + ": ";
  pid_ = fork();
  if (pid_ < 0) throw ToolError("v4l2: cannot start " + command.front());
  if (pid_ > 0) return;
  // The application gets SIGPIPE as a program normally does (the launcher
  // ignores it for itself); the signals taken here revert at exec by themselves.
  signal(SIGPIPE, SIG_DFL);
  execvpe(argv[0], argv.data(), envp.data());
  // strerrordesc_np: the text without translation, which could lock or allocate.
  const char* reason = strerrordesc_np(errno);
  if (reason == nullptr) reason = "unknown error";
  [[maybe_unused]] ssize_t ignored = write(STDERR_FILENO, failed.data(), failed.size());
  ignored = write(STDERR_FILENO, reason, strlen(reason));
  ignored = write(STDERR_FILENO, "\n", 1);
  _exit(127);
}

void FaceApplication::OnWake() {
  Caught caught;
  while (read(pipe_[0], &caught, sizeof caught) == static_cast<ssize_t>(sizeof caught)) {
    // A signal the terminal sent to the foreground group reached the
    // application too; one sent to the launcher alone is passed on.
    if (caught.signal != SIGCHLD && caught.code != SI_KERNEL && pid_ > 0 && !exited_) kill(pid_, caught.signal);
  }
  for (;;) {
    int status = 0;
    const pid_t gone = waitpid(-1, &status, WNOHANG);
    if (gone <= 0) break;
    if (gone == pid_) {
      exited_ = true;
      status_ = ShellStatus(status);
    }
  }
}

int FaceApplication::Wait() {
  OnWake();
  while (!exited_) {
    pollfd wake = {pipe_[0], POLLIN, 0};
    poll(&wake, 1, -1);
    OnWake();
  }
  return status_;
}

}  // namespace zarncap
