// zarncap check's results: one step per line as it runs
// ("check: port LPT1 ... OK (ECP port, opened in 2.9 s)"), the summary, the
// same as JSON for scripts, and the archive --report leaves for a bug report.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zarncap {

enum class StepStatus { Ok, Fail, Skip };

struct CheckStep {
  std::string name;     // "port", "mode bidirectional", "still rgb24"
  std::string subject;  // what the step found it was about: "LPT1" ("" when nothing)
  StepStatus status = StepStatus::Ok;
  std::string reason;   // one line
  std::string fix;      // for a FAIL: what to try
};

// "OK", "FAIL", "SKIP".
const char* StatusWord(StepStatus status);
// "check: <name>" (written before the step runs, so a stall shows where).
std::string StepLead(const std::string& name);
// " <subject> ... OK (reason)" or " ... FAIL (reason); fix: ..." ending the step's line.
std::string StepEnd(const CheckStep& step);
// "check: 9 OK, 1 FAIL, 2 SKIP"
std::string CheckSummary(const std::vector<CheckStep>& steps);
// {"camera": ..., "steps": [...], "ok": n, "fail": n, "skip": n, "report": ...}
std::string CheckJson(const std::string& camera, const std::vector<CheckStep>& steps, const std::string& report);
// 0 when every step is OK or SKIP, 1 when any failed.
int CheckExitStatus(const std::vector<CheckStep>& steps);

// Packs the files of folder (names relative to it) into archive (.tar.gz);
// false with the reason.
bool PackFolder(const std::string& folder, const std::vector<std::string>& names, const std::string& archive,
                std::string* error);

}  // namespace zarncap
