// Entries added to folder listings: the device's name in its folder (/dev),
// and each of the tree's entries whose place the system lacks, in the real
// folder that would hold it (video4linux in /sys/class, 81:3 in
// /sys/dev/char, ...). A listing gets them after its own entries end, for
// readdir, readdir64, getdents64 and scandir alike. Found once at load; the
// listing calls then test a folder by its device and inode numbers.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <cstddef>

namespace v4l2face {

struct ExtraEntry {
  dev_t folderDevice = 0;
  ino_t folderInode = 0;
  char name[64] = {};
  unsigned char type = DT_UNKNOWN;
  ino_t inode = 0;
};

// Whether any listing gets an entry (no system call).
bool AnyExtraEntries();
// The extra entries of the folder with these numbers: their count, their
// indices (for ExtraAt) into indices.
inline constexpr int kMaxFolderExtras = 4;
int ExtrasOf(dev_t device, ino_t inode, int* indices, int room);
const ExtraEntry& ExtraAt(int index);
// Writes an entry as getdents64 and readdir64 give it; its length, 0 when room is short.
std::size_t WriteEntry(const ExtraEntry& entry, void* out, std::size_t room, long position);

}  // namespace v4l2face
