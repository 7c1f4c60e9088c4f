// zarncap controls: the video source settings as a user sees them, read from
// and set through the driver's own settings dialog (DVM_DIALOG on the
// external-in channel), with zarncap as the dialog's owner window acting as
// the user: it reads each control, types into the edit boxes, clicks the
// buttons and presses OK. Nothing reaches the driver any other way.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/portable/ini_file.h"
#include "tools/zarncap/commands/commands.h"
#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/host/session.h"
#include "tools/zarncap/host/settings_path.h"
#include "tools/zarncap/host/source_controls.h"

namespace zarncap {
namespace {

void Print(const std::vector<ControlValue>& shown, const std::vector<std::pair<std::string, double>>& gains, bool json,
           std::FILE* out) {
  if (json) {
    std::fprintf(out, "%s\n", ControlsJson(shown, gains).c_str());
    return;
  }
  for (const ControlValue& s : shown) {
    std::fprintf(out, "%-12s %-10s %-22s%s\n", s.name.c_str(), s.value.c_str(), s.range.c_str(),
                 s.enabled ? "" : "(only with compression manual)");
  }
  std::fprintf(out, "%-12s", "gains");
  for (const auto& [name, gain] : gains) std::fprintf(out, " %s %.1f", name.c_str(), gain);
  std::fputs("   (white balance the driver keeps; --reset-colour puts them back to 1.0)\n", out);
}

}  // namespace

void RunControls(const GlobalOptions& global, const ControlsOptions& options, const Host& host) {
  // Names and values are checked before the driver's open (which takes seconds).
  const ControlSets sets = ParseControlSets(options.sets);
  const std::string get = options.get.empty() ? "" : ControlName(options.get);
  const std::string settingsPath = ResolveSettingsPath(global.ini);
  if (!sets.empty()) {
    // The driver keeps what the dialog sets in its settings file and cannot
    // say when that write fails: a set that would be lost is refused here.
    if (auto problem = platform::ProfileWriteProblem(settingsPath.c_str()); !problem.empty()) {
      throw ToolError("cannot save the settings in " + settingsPath + ": " + problem);
    }
  }
  Session session(global, host, VIDEO_EXTERNALIN);
  const std::vector<ControlValue> shown = RunSettingsDialog(session.Link(), sets);
  session.Finish();
  if (!get.empty()) {
    for (const ControlValue& s : shown) {
      if (s.name == get) {
        std::fprintf(host.out, "%s\n", s.value.c_str());
        return;
      }
    }
    throw ToolError("this camera has no " + get + " control");
  }
  if (!sets.empty() && host.quiet && !options.json) return;  // -q: the values set are not shown again
  Print(shown, WhiteBalanceGains(settingsPath), options.json, host.out);
}

}  // namespace zarncap
