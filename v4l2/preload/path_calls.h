// A call on a path, tried on the system first and, when the path is missing
// there, in the launcher's tree (see tree_paths.h). errno is neither read nor
// written here: a child made by a raw clone has no thread area to hold it
// (the C library's own calls set it in their own way, from the call that
// decides the answer).
#pragma once

#include <fcntl.h>

#include "v4l2/preload/face_config.h"
#include "v4l2/preload/tree_paths.h"

namespace v4l2face {

template <typename Result, typename Call>
__attribute__((noinline)) Result RetryInTree(int dirfd, const char* path, Result failed, Call call) {
  char tree[kPathRoom];
  if (!TreePathFor(dirfd, path, tree, sizeof tree)) return failed;  // errno is still the call's
  const Result again = call(AT_FDCWD, tree);
  // The tree's file answered (a missing attribute, say): its answer stands.
  if (again != failed || TreeHas(tree)) return again;
  // Not in the tree either: the application's own call once more, for its errno.
  return call(dirfd, path);
}

// call(dirfd, path) as the application made it; again with the tree's path
// when it fails and the path may be the tree's. Nothing beyond the call
// itself runs when it succeeds or the path cannot be in the tree.
template <typename Result, typename Call>
Result OnPath(int dirfd, const char* path, Result failed, Call call) {
  const Result result = call(dirfd, path);
  if (result != failed || !MayBeInTree(path)) return result;
  return RetryInTree(dirfd, path, failed, call);
}

}  // namespace v4l2face
