// --trace: the driver's message trace for one run, without touching the user's
// "DebugLevel". The driver reads its settings file by the name in the open
// string, so the run uses a private copy with bit 0x20 set; when the driver
// has closed, every change it made to the copy (port, capture and colour
// settings) is carried back into the user's file, and the user's own
// "DebugLevel" line stays as it was.
#pragma once

#include <string>

namespace zarncap {

constexpr unsigned kTraceBit = 0x20;

// How the copy differs from the user's file.
struct TraceEdit {
  enum class Kind { kReplaced, kInsertedKey, kInsertedSection };
  Kind kind = Kind::kReplaced;
  std::string originalLine;  // kReplaced: the user's line, without its line end
  std::string text;          // the copy's whole text
};

// The user's settings text with "DebugLevel" in section "ZARNCAP" given bit
// 0x20, edited the way the driver's settings writer edits files (a new key
// after the section's last entry, a new section at the end).
TraceEdit EnableTraceBit(const std::string& userText);
// The copy's text as the driver left it, with the edit taken back: what the
// user's file holds after the same run without --trace.
std::string UndoTraceBit(const std::string& copyText, const TraceEdit& edit);
// "DebugLevel" as the driver reads it from a settings text (0 when absent).
unsigned ReadDebugLevel(const std::string& text);

class TraceSettings {
 public:
  // userPath: the settings file the driver would use without --trace.
  // Throws ToolError when the copy cannot be made.
  explicit TraceSettings(std::string userPath);
  TraceSettings(const TraceSettings&) = delete;
  TraceSettings& operator=(const TraceSettings&) = delete;
  ~TraceSettings();

  // The copy to name in the open string.
  const std::string& CopyPath() const { return copyPath_; }
  // After the driver's last close: writes the driver's changes into the
  // user's file (nothing when it made none). Throws ToolError on failure.
  void CarryBack();

 private:
  std::string userPath_;
  std::string folder_;
  std::string copyPath_;
  TraceEdit edit_;
  bool carried_ = false;
};

}  // namespace zarncap
