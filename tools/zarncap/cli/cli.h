// zarncap's command line: the four commands and the global options, parsed
// with CLI11, and the one place errors become "zarncap: error: ..." lines and
// exit statuses.
#pragma once

#include "tools/zarncap/commands/commands.h"

namespace zarncap {

// Runs the command line; returns the exit status (0 ok, 1 failed, 2 usage,
// 130 interrupted). Help goes to host.out, errors to host.err.
int RunZarncap(int argc, const char* const* argv, const Host& host);

}  // namespace zarncap
