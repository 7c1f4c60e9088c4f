// The one error type of the tool: a message for the user, printed as
// "zarncap: error: <message>", and the exit status that goes with it.
#pragma once

#include <stdexcept>
#include <string>

namespace zarncap {

constexpr int kExitFailure = 1;  // the command could not be carried out
constexpr int kExitUsage = 2;    // the command line was wrong
// A run stopped by an interrupt before it had anything to keep.
constexpr int kExitInterrupted = 130;

class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& message, int exitCode = kExitFailure)
      : std::runtime_error(message), exitCode_(exitCode) {}
  int ExitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

// The reader at the other end of a pipe went away (a "| head"): not a failure
// of the tool's, so a stream ends there quietly.
class ReaderGone : public ToolError {
 public:
  using ToolError::ToolError;
};

}  // namespace zarncap
