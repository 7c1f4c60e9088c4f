// zarncap: the command-line capture host.
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "tools/zarncap/cli/cli.h"
#include "tools/zarncap/commands/commands.h"

namespace {

std::atomic<bool> interrupted{false};
std::atomic<int> signalled{0};

extern "C" void OnInterrupt(int signal) {
  signalled.store(signal);
  interrupted.store(true);
}

}  // namespace

int main(int argc, char** argv) {
  // Ctrl-C ends a stream early (the clip is kept) or abandons a capture; a
  // closed pipe on standard output becomes a write error, not a silent death.
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  zarncap::Host host;
  host.progress = ::isatty(STDERR_FILENO) != 0;
  host.interrupted = &interrupted;
  const int status = zarncap::RunZarncap(argc, argv, host);
  // An interrupted run says by which signal, as a shell expects: 130 for
  // SIGINT, 143 for SIGTERM.
  if (status == zarncap::kExitInterrupted && signalled.load() != 0) return 128 + signalled.load();
  return status;
}
