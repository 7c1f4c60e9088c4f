// Who is on the other end of a connection. The device answers only the
// processes of the application it was started for: the launcher's
// descendants (the launcher is their subreaper, so a process whose parent
// has exited is still one). Another program of the same user that finds the
// socket is refused: it never asked for this camera, and a real device node
// would not be in the folder it found.
#pragma once

#include <sys/types.h>

namespace zarncap {

// The parent of a process (from /proc), or -1 when it cannot be told.
pid_t ParentOf(pid_t process);
// Whether process is ancestor or below it.
bool IsDescendantOf(pid_t process, pid_t ancestor);
// The process that connected a Unix socket (SO_PEERCRED), or -1.
pid_t PeerProcess(int socket);

}  // namespace zarncap
