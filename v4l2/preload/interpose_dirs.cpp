// Folder listings: a folder opened on a path the system lacks is looked up
// in the launcher's tree, and a listing of a real folder gets the entries
// the face adds to it (listings.h) after its own: readdir and readdir64 on a
// DIR, getdents64 on a descriptor, scandir sorted with the caller's own
// order, glob's matches. The state of a listing under way is a fixed table; nothing
// allocates but scandir, which returns memory by its contract.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <glob.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "v4l2/preload/face_config.h"
#include "v4l2/preload/listings.h"
#include "v4l2/preload/path_calls.h"
#include "v4l2/preload/real_calls.h"

using namespace v4l2face;

#define ZARN_EXPORT __attribute__((visibility("default")))

static_assert(sizeof(dirent) == sizeof(dirent64) && offsetof(dirent, d_name) == offsetof(dirent64, d_name),
              "readdir and readdir64 share one record");

namespace {

// The DIR listings that have reached their extra entries: which folder's
// entries and how many were given.
struct ListingState {
  std::atomic<DIR*> listing{nullptr};
  int indices[kMaxFolderExtras] = {};
  int count = 0;
  int given = 0;
  alignas(dirent64) char record[sizeof(dirent64)] = {};
};
constexpr int kListings = 64;
ListingState listings[kListings];

ListingState* StateOf(DIR* listing) {
  for (ListingState& state : listings) {
    if (state.listing.load(std::memory_order_acquire) == listing) return &state;
  }
  return nullptr;
}

void Forget(DIR* listing) {
  if (!AnyExtraEntries() || listing == nullptr) return;
  if (ListingState* state = StateOf(listing)) state->listing.store(nullptr, std::memory_order_release);
}

// The extra entries of the folder fd is open on.
int ExtrasOfDescriptor(int fd, int* indices) {
  struct stat folder;
  if (RawSyscall(SYS_fstat, fd, reinterpret_cast<long>(&folder)) != 0) return 0;
  return ExtrasOf(folder.st_dev, folder.st_ino, indices, kMaxFolderExtras);
}

// Takes a slot for a listing: a free one, else one whose listing has given
// all its entries (a DIR the program never closed).
ListingState* Claim(DIR* listing) {
  for (ListingState& slot : listings) {
    DIR* free = nullptr;
    if (slot.listing.compare_exchange_strong(free, listing, std::memory_order_acq_rel)) return &slot;
  }
  for (ListingState& slot : listings) {
    DIR* finished = slot.listing.load(std::memory_order_acquire);
    if (slot.given == slot.count && slot.listing.compare_exchange_strong(finished, listing, std::memory_order_acq_rel)) {
      return &slot;
    }
  }
  return nullptr;
}

// The listing's own entries have ended: its next extra entry, or nullptr
// once they are given (until the program rewinds or closes it). errno stays
// as the end of a listing leaves it.
__attribute__((noinline)) dirent64* NextExtra(DIR* listing) {
  ListingState* state = StateOf(listing);
  if (state == nullptr) {
    int indices[kMaxFolderExtras];
    const int count = ExtrasOfDescriptor(dirfd(listing), indices);
    if (count == 0 || (state = Claim(listing)) == nullptr) return nullptr;
    std::memcpy(state->indices, indices, sizeof indices);
    state->given = 0;
    state->count = count;
  }
  if (state->given >= state->count) return nullptr;
  auto* record = reinterpret_cast<dirent64*>(state->record);
  WriteEntry(ExtraAt(state->indices[state->given]), record, sizeof state->record, 0x7FFFFFF0 + state->given);
  ++state->given;
  return record;
}

// getdents64: after a folder's own entries, its extra ones in one go; the
// next call ends the listing (and clears the mark for a later rewind).
constexpr int kDescriptors = 1 << 16;
std::atomic<unsigned char> extrasGiven[kDescriptors];

__attribute__((noinline)) ssize_t ExtraEntries(int fd, void* out, size_t room) {
  if (fd < 0 || fd >= kDescriptors) return 0;
  if (extrasGiven[fd].exchange(0) != 0) return 0;
  int indices[kMaxFolderExtras];
  const int count = ExtrasOfDescriptor(fd, indices);
  std::size_t written = 0;
  for (int i = 0; i < count; ++i) {
    written += WriteEntry(ExtraAt(indices[i]), static_cast<char*>(out) + written, room - written, 0x7FFFFFF0 + i);
  }
  if (written > 0) extrasGiven[fd].store(1);
  return static_cast<ssize_t>(written);
}

// scandir's list with the extra entries the filter takes, in the caller's order.
template <typename Entry>
int AddExtras(struct stat folder, Entry*** list, int count, int (*filter)(const Entry*),
              int (*compare)(const Entry**, const Entry**)) {
  int indices[kMaxFolderExtras];
  const int extras = ExtrasOf(folder.st_dev, folder.st_ino, indices, kMaxFolderExtras);
  for (int i = 0; i < extras; ++i) {
    auto* entry = static_cast<Entry*>(std::calloc(1, sizeof(Entry)));
    if (entry == nullptr) break;
    WriteEntry(ExtraAt(indices[i]), entry, sizeof(Entry), 0x7FFFFFF0 + i);
    if (filter != nullptr && filter(entry) == 0) {
      std::free(entry);
      continue;
    }
    auto** grown = static_cast<Entry**>(std::realloc(*list, sizeof(Entry*) * static_cast<std::size_t>(count + 1)));
    if (grown == nullptr) {
      std::free(entry);
      break;
    }
    *list = grown;
    (*list)[count++] = entry;
  }
  if (extras > 0 && compare != nullptr) {
    std::qsort(*list, static_cast<std::size_t>(count), sizeof(Entry*),
               reinterpret_cast<int (*)(const void*, const void*)>(compare));
  }
  return count;
}

template <typename Entry>
int ScanAt(int dirfd, const char* path, Entry*** list, int (*filter)(const Entry*),
           int (*compare)(const Entry**, const Entry**),
           int (*real)(int, const char*, Entry***, int (*)(const Entry*), int (*)(const Entry**, const Entry**))) {
  const int count = OnPath(dirfd, path, -1, [&](int at, const char* where) { return real(at, where, list, filter, compare); });
  if (count < 0 || !AnyExtraEntries()) return count;
  struct stat folder;
  if (Real().fstatat(dirfd, path, &folder, 0) != 0) return count;
  return AddExtras(folder, list, count, filter, compare);
}

// glob's matches with the extra entries of the pattern's folder that match
// its last part (a folder part with wildcards of its own is left alone).
template <typename Matches>
int AddGlobMatches(const char* pattern, int flags, Matches* found, std::size_t before, int result) {
  const char* slash = std::strrchr(pattern, '/');
  char folder[kPathRoom];
  const std::size_t folderLength = slash == nullptr ? 0 : static_cast<std::size_t>(slash - pattern);
  if (folderLength + 2 > sizeof folder) return result;
  std::memcpy(folder, pattern, folderLength);
  folder[folderLength] = '\0';
  if (std::strpbrk(folder, "*?[") != nullptr) return result;
  struct stat seen;
  if (Real().stat(slash == nullptr ? "." : folderLength == 0 ? "/" : folder, &seen) != 0) return result;
  int indices[kMaxFolderExtras];
  const int extras = ExtrasOf(seen.st_dev, seen.st_ino, indices, kMaxFolderExtras);
  const std::size_t offsets = (flags & GLOB_DOOFFS) != 0 ? found->gl_offs : 0;
  bool added = false;
  for (int i = 0; i < extras; ++i) {
    const ExtraEntry& entry = ExtraAt(indices[i]);
    if (fnmatch(slash == nullptr ? pattern : slash + 1, entry.name, (flags & GLOB_PERIOD) != 0 ? 0 : FNM_PERIOD) != 0) continue;
    if ((flags & GLOB_ONLYDIR) != 0 && entry.type != DT_DIR && entry.type != DT_LNK) continue;
    char path[kPathRoom];
    if (!JoinPath(path, sizeof path - 1, slash == nullptr ? "" : folderLength == 0 ? "/" : folder, entry.name)) continue;
    if ((flags & GLOB_MARK) != 0 && entry.type == DT_DIR) std::strcat(path, "/");
    const std::size_t count = offsets + found->gl_pathc;
    auto** grown = static_cast<char**>(std::realloc(found->gl_pathv, sizeof(char*) * (count + 2)));
    char* copy = strdup(path);
    if (grown == nullptr || copy == nullptr) {
      std::free(copy);
      if (grown != nullptr) found->gl_pathv = grown;
      break;
    }
    if (found->gl_pathc == 0) {
      for (std::size_t o = 0; o < offsets; ++o) grown[o] = nullptr;
    }
    grown[count] = copy;
    grown[count + 1] = nullptr;
    found->gl_pathv = grown;
    ++found->gl_pathc;
    added = true;
  }
  if (added && (flags & GLOB_NOSORT) == 0) {
    std::qsort(found->gl_pathv + offsets + before, found->gl_pathc - before, sizeof(char*),
               [](const void* a, const void* b) { return strcoll(*static_cast<char* const*>(a), *static_cast<char* const*>(b)); });
  }
  return added ? 0 : result;
}

template <typename Matches>
int Glob(const char* pattern, int flags, int (*onError)(const char*, int), Matches* found,
         int (*real)(const char*, int, int (*)(const char*, int), Matches*)) {
  const std::size_t before = (flags & GLOB_APPEND) != 0 ? found->gl_pathc : 0;
  const int result = real(pattern, flags, onError, found);
  if ((result != 0 && result != GLOB_NOMATCH) || pattern == nullptr || !AnyExtraEntries() ||
      (flags & (GLOB_NOCHECK | GLOB_ALTDIRFUNC)) != 0) {
    return result;
  }
  return AddGlobMatches(pattern, flags, found, before, result);
}

}  // namespace

extern "C" {

// glob() reads folders inside the C library, past readdir.
ZARN_EXPORT int glob(const char* pattern, int flags, int (*onError)(const char*, int), glob_t* found) {
  return Glob(pattern, flags, onError, found, Real().glob);
}
ZARN_EXPORT int glob64(const char* pattern, int flags, int (*onError)(const char*, int), glob64_t* found) {
  return Glob(pattern, flags, onError, found, Real().glob64);
}

ZARN_EXPORT DIR* opendir(const char* path) {
  return OnPath(AT_FDCWD, path, static_cast<DIR*>(nullptr), [](int, const char* where) { return Real().opendir(where); });
}

ZARN_EXPORT int closedir(DIR* listing) {
  Forget(listing);
  return Real().closedir(listing);
}

ZARN_EXPORT void rewinddir(DIR* listing) {
  Forget(listing);
  Real().rewinddir(listing);
}

ZARN_EXPORT struct dirent* readdir(DIR* listing) {
  dirent* entry = Real().readdir(listing);
  if (entry != nullptr || !AnyExtraEntries()) return entry;
  return reinterpret_cast<dirent*>(NextExtra(listing));
}

ZARN_EXPORT struct dirent64* readdir64(DIR* listing) {
  dirent64* entry = Real().readdir64(listing);
  if (entry != nullptr || !AnyExtraEntries()) return entry;
  return NextExtra(listing);
}

ZARN_EXPORT ssize_t getdents64(int fd, void* out, size_t room) {
  const ssize_t got = Real().getdents64(fd, out, room);
  if (got != 0 || !AnyExtraEntries()) return got;
  return ExtraEntries(fd, out, room);
}

ZARN_EXPORT int scandir(const char* path, struct dirent*** list, int (*filter)(const struct dirent*),
                        int (*compare)(const struct dirent**, const struct dirent**)) {
  return ScanAt(AT_FDCWD, path, list, filter, compare, Real().scandirat);
}
ZARN_EXPORT int scandir64(const char* path, struct dirent64*** list, int (*filter)(const struct dirent64*),
                          int (*compare)(const struct dirent64**, const struct dirent64**)) {
  return ScanAt(AT_FDCWD, path, list, filter, compare, Real().scandirat64);
}
ZARN_EXPORT int scandirat(int dirfd, const char* path, struct dirent*** list, int (*filter)(const struct dirent*),
                          int (*compare)(const struct dirent**, const struct dirent**)) {
  return ScanAt(dirfd, path, list, filter, compare, Real().scandirat);
}
ZARN_EXPORT int scandirat64(int dirfd, const char* path, struct dirent64*** list,
                            int (*filter)(const struct dirent64*),
                            int (*compare)(const struct dirent64**, const struct dirent64**)) {
  return ScanAt(dirfd, path, list, filter, compare, Real().scandirat64);
}

}  // extern "C"

namespace v4l2face {

// A raw getdents64 system call on a listing (syscall(SYS_getdents64, ...)).
long ListingSyscall(int fd, void* out, size_t room) {
  const long got = Real().syscall(SYS_getdents64, fd, out, room);
  if (got != 0 || !AnyExtraEntries()) return got;
  return ExtraEntries(fd, out, room);
}

}  // namespace v4l2face
