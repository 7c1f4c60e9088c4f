// zarncap: the command-line capture host.
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "tools/zarncap/cli/cli.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) { interrupted.store(true); }

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
  return zarncap::RunZarncap(argc, argv, host);
}
