#include "tools/zarncap/commands/check_report.h"

#include <spawn.h>
#include <sys/wait.h>

#include "tools/zarncap/common/json_text.h"

extern char** environ;

namespace zarncap {

const char* StatusWord(StepStatus status) {
  switch (status) {
    case StepStatus::Ok:
      return "OK";
    case StepStatus::Fail:
      return "FAIL";
    case StepStatus::Skip:
      return "SKIP";
  }
  return "";
}

std::string StepLead(const std::string& name) { return "check: " + name; }

std::string StepEnd(const CheckStep& step) {
  std::string text = (step.subject.empty() ? "" : " " + step.subject) + " ... " + StatusWord(step.status);
  if (!step.reason.empty()) text += " (" + step.reason + ")";
  if (step.status == StepStatus::Fail && !step.fix.empty()) text += "; fix: " + step.fix;
  return text;
}

namespace {

int Count(const std::vector<CheckStep>& steps, StepStatus status) {
  int count = 0;
  for (const CheckStep& step : steps) count += step.status == status ? 1 : 0;
  return count;
}

const char* JsonStatus(StepStatus status) {
  switch (status) {
    case StepStatus::Ok:
      return "ok";
    case StepStatus::Fail:
      return "fail";
    case StepStatus::Skip:
      return "skip";
  }
  return "";
}

}  // namespace

std::string CheckSummary(const std::vector<CheckStep>& steps) {
  return "check: " + std::to_string(Count(steps, StepStatus::Ok)) + " OK, " +
         std::to_string(Count(steps, StepStatus::Fail)) + " FAIL, " + std::to_string(Count(steps, StepStatus::Skip)) +
         " SKIP";
}

std::string CheckJson(const std::string& camera, const std::vector<CheckStep>& steps, const std::string& report) {
  JsonWriter json;
  json.BeginObject().Key("camera").String(camera).Key("steps").BeginArray();
  for (const CheckStep& step : steps) {
    json.Space("\n  ").BeginObject().Key("name").String(step.name).Key("subject").String(step.subject);
    json.Key("status").String(JsonStatus(step.status));
    json.Key("reason").String(step.reason);
    if (step.status == StepStatus::Fail) json.Key("fix").String(step.fix);
    json.EndObject();
  }
  json.EndArray();
  json.Key("ok").Number(static_cast<long long>(Count(steps, StepStatus::Ok)));
  json.Key("fail").Number(static_cast<long long>(Count(steps, StepStatus::Fail)));
  json.Key("skip").Number(static_cast<long long>(Count(steps, StepStatus::Skip)));
  if (report.empty()) {
    json.Key("report").Null();
  } else {
    json.Key("report").String(report);
  }
  return json.EndObject().Text();
}

int CheckExitStatus(const std::vector<CheckStep>& steps) { return Count(steps, StepStatus::Fail) > 0 ? 1 : 0; }

bool PackFolder(const std::string& folder, const std::vector<std::string>& names, const std::string& archive,
                std::string* error) {
  std::vector<std::string> words = {"tar", "-czf", archive, "-C", folder, "--"};
  words.insert(words.end(), names.begin(), names.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawnp(&child, "tar", nullptr, nullptr, argv.data(), environ) != 0) {
    *error = "cannot run tar";
    return false;
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = "tar could not write " + archive;
    return false;
  }
  return true;
}

}  // namespace zarncap
