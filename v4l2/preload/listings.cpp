#include "v4l2/preload/listings.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "v4l2/preload/device_files.h"
#include "v4l2/preload/face_config.h"
#include "v4l2/preload/real_calls.h"

namespace v4l2face {
namespace {

constexpr int kMaxExtras = 16;
constexpr int kMaxDepth = 8;
ExtraEntry extras[kMaxExtras];
int extraCount = 0;

void Add(const struct stat& folder, const char* name, unsigned char type, ino_t inode) {
  if (extraCount == kMaxExtras || std::strlen(name) >= sizeof extras[0].name) return;
  ExtraEntry& entry = extras[extraCount++];
  entry.folderDevice = folder.st_dev;
  entry.folderInode = folder.st_ino;
  std::strcpy(entry.name, name);
  entry.type = type;
  entry.inode = inode;
}

unsigned char TypeOf(mode_t mode) {
  if (S_ISDIR(mode)) return DT_DIR;
  if (S_ISLNK(mode)) return DT_LNK;
  if (S_ISCHR(mode)) return DT_CHR;
  return DT_REG;
}

// Walks the tree beside the real file system from one folder they share:
// an entry the system lacks is added to the real folder's listing; a folder
// both have is walked in turn. (A folder only the tree has is read from the
// tree itself once a path reaches it.)
void Walk(char* treePath, std::size_t treeLength, int depth) {
  const char* realPath = treeLength == Config().treeLength ? "/" : treePath + Config().treeLength;
  struct stat realFolder;
  if (depth > kMaxDepth || Real().stat(realPath, &realFolder) != 0 || !S_ISDIR(realFolder.st_mode)) return;
  DIR* folder = Real().opendir(treePath);
  if (folder == nullptr) return;
  while (const dirent* entry = Real().readdir(folder)) {
    if (entry->d_name[0] == '.') continue;
    const std::size_t nameLength = std::strlen(entry->d_name);
    if (treeLength + 1 + nameLength >= kPathRoom) continue;
    treePath[treeLength] = '/';
    std::memcpy(treePath + treeLength + 1, entry->d_name, nameLength + 1);
    const char* realEntry = treePath + Config().treeLength;
    struct stat inTree;
    struct stat inSystem;
    if (Real().lstat(treePath, &inTree) != 0) continue;
    if (Real().lstat(realEntry, &inSystem) != 0 && errno == ENOENT) {
      Add(realFolder, entry->d_name, TypeOf(inTree.st_mode), inTree.st_ino);
    } else if (S_ISDIR(inTree.st_mode)) {
      Walk(treePath, treeLength + 1 + nameLength, depth + 1);
    }
    treePath[treeLength] = '\0';
  }
  Real().closedir(folder);
}

__attribute__((constructor(104))) void FindExtras() {
  const FaceConfig& config = Config();
  struct stat folder;
  if (config.device[0] != '\0' && Real().stat(config.folder, &folder) == 0) {
    Add(folder, config.name, DT_CHR, DeviceInode());
  }
  if (config.treeLength != 0) {
    char treePath[kPathRoom];
    std::memcpy(treePath, config.tree, config.treeLength + 1);
    Walk(treePath, config.treeLength, 0);
  }
}

}  // namespace

bool AnyExtraEntries() { return extraCount != 0; }

int ExtrasOf(dev_t device, ino_t inode, int* indices, int room) {
  int count = 0;
  for (int i = 0; i < extraCount && count < room; ++i) {
    if (extras[i].folderDevice == device && extras[i].folderInode == inode) indices[count++] = i;
  }
  return count;
}

const ExtraEntry& ExtraAt(int index) { return extras[index]; }

std::size_t WriteEntry(const ExtraEntry& entry, void* out, std::size_t room, long position) {
  const std::size_t nameLength = std::strlen(entry.name);
  const std::size_t length = (offsetof(dirent64, d_name) + nameLength + 1 + 7) & ~std::size_t{7};
  if (length > room) return 0;
  auto* record = static_cast<dirent64*>(out);
  std::memset(record, 0, length);
  record->d_ino = entry.inode;
  record->d_off = position;
  record->d_reclen = static_cast<unsigned short>(length);
  record->d_type = entry.type;
  std::memcpy(record->d_name, entry.name, nameLength + 1);
  return length;
}

}  // namespace v4l2face
