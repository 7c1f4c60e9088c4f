// The settings dialog worked as a user would; see source_controls.h.
#include "tools/zarncap/host/source_controls.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/platform.h"
#include "platform/portable/dialog_host.h"
#include "tools/zarncap/host/dialog_owner.h"
#include "tools/zarncap/common/json_text.h"
#include "tools/zarncap/common/tool_error.h"
#include "zarncap/controls.h"

namespace zarncap {
namespace {

// "brightness, contrast, colour, compression, quality, lighting"
std::string ControlNames() {
  std::string names;
  for (const ZarncapControl& control : kControls) names += (names.empty() ? "" : ", ") + std::string(control.name);
  return names;
}

// "off, automatic, manual", or with another separator.
std::string ChoiceValues(const ZarncapControl& control, const char* separator) {
  std::string values;
  for (const ZarncapChoice& choice : control.choices) {
    if (choice.value.empty()) break;
    values += (values.empty() ? "" : separator) + std::string(choice.value);
  }
  return values;
}

struct DialogRun {
  std::vector<std::pair<std::string, std::string>> sets;  // in the order given
  std::vector<ControlValue> shown;
  std::string error;
};

std::vector<ControlValue> Describe(const std::map<int, platform::ControlState>& controls) {
  std::vector<ControlValue> shown;
  for (const ZarncapControl& c : kControls) {  // the sliders first
    if (!c.IsSlider()) continue;
    const platform::ControlState& scroll = controls.at(c.scroll);
    shown.push_back({std::string(c.name), std::to_string(scroll.scrollPos),
                     std::to_string(scroll.scrollMin) + ".." + std::to_string(scroll.scrollMax),
                     scroll.enabled != FALSE, true});
  }
  for (const ZarncapControl& c : kControls) {
    if (c.IsSlider()) continue;
    ControlValue entry{std::string(c.name), "", ChoiceValues(c, "|"), true, false};
    bool visible = false;
    for (const ZarncapChoice& choice : c.choices) {
      if (choice.value.empty()) break;
      const platform::ControlState& button = controls.at(choice.button);
      visible = visible || button.visible != FALSE;
      if (button.checked) entry.value = choice.value;
    }
    if (visible) shown.push_back(entry);  // a camera without lighting levels hides them
  }
  return shown;
}

// Types a slider's value into its edit box; the error, or "".
std::string SetSlider(HWND dialog, const platform::DialogUser& user, const ZarncapControl& c, const std::string& value) {
  const std::string name(c.name);
  const platform::ControlState scroll = DialogOwner::Controls(dialog, user).at(c.scroll);
  char* end = nullptr;
  const long number = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || number < scroll.scrollMin || number > scroll.scrollMax) {
    return name + " must be a whole number from " + std::to_string(scroll.scrollMin) + " to " +
           std::to_string(scroll.scrollMax) + " (got '" + value + "')";
  }
  if (!user.type(dialog, c.edit, value.c_str())) {
    if (c.needsControl.empty()) return name + " cannot be set now";
    return name + " cannot be set now: set " + std::string(c.needsControl) + "=" + std::string(c.needsValue) + " first";
  }
  if (DialogOwner::Controls(dialog, user).at(c.scroll).scrollPos != number) return name + "=" + value + " did not take";
  return "";
}

// Clicks a choice's button; the error, or "".
std::string SetChoice(HWND dialog, const platform::DialogUser& user, const ZarncapControl& c, const std::string& value) {
  const std::string name(c.name);
  const ZarncapChoice* chosen = nullptr;
  for (const ZarncapChoice& choice : c.choices) {
    if (!choice.value.empty() && value == choice.value) chosen = &choice;
  }
  if (chosen == nullptr) return name + " must be one of " + ChoiceValues(c, ", ") + " (got '" + value + "')";
  if (!user.click(dialog, chosen->button)) return "this camera has no " + name + " control";
  if (DialogOwner::Controls(dialog, user).at(chosen->button).checked == FALSE) return name + "=" + value + " did not take";
  return "";
}

// Acts on the dialog as the user would; the first value it cannot take is an
// error, and the dialog is then cancelled, which puts everything back.
void Act(HWND dialog, const platform::DialogUser& user, DialogRun* run) {
  for (const auto& [name, value] : run->sets) {
    const ZarncapControl* c = ZarncapControlNamed(name);
    if (c == nullptr) run->error = "no control named '" + name + "' (" + ControlNames() + ")";
    else run->error = c->IsSlider() ? SetSlider(dialog, user, *c, value) : SetChoice(dialog, user, *c, value);
    if (!run->error.empty()) {
      user.click(dialog, IDCANCEL);
      return;
    }
  }
  run->shown = Describe(DialogOwner::Controls(dialog, user));
  user.click(dialog, IDOK);
}

}  // namespace

std::string ControlName(const std::string& given) {
  std::string name;
  for (char c : given) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name == "color") name = "colour";
  if (ZarncapControlNamed(name) != nullptr) return name;
  throw ToolError("no control named '" + given + "' (" + ControlNames() + ")", kExitUsage);
}

std::string ControlSetsHelp() {
  std::string sliders, range, choices;
  for (const ZarncapControl& c : kControls) {
    if (c.IsSlider()) {
      sliders += (sliders.empty() ? "" : ", ") + std::string(c.name);
      range = " (" + std::to_string(c.minimum) + ".." + std::to_string(c.maximum) + ")";
    } else {
      choices += ", " + std::string(c.name) + " (" + ChoiceValues(c, ", ") + ")";
    }
  }
  return sliders + range + choices;
}

ControlSets ParseControlSets(const std::vector<std::string>& texts) {
  ControlSets sets;
  for (const std::string& set : texts) {
    const std::size_t equals = set.find('=');
    if (equals == std::string::npos || equals == 0) throw ToolError("--set takes name=value (got '" + set + "')", kExitUsage);
    const std::string name = ControlName(set.substr(0, equals));
    const ZarncapControl& control = *ZarncapControlNamed(name);
    std::string value = set.substr(equals + 1);
    if (control.IsSlider()) {
      // Digits only: a sign or a blank is no value a user types into the box.
      const bool digits = !value.empty() && value.size() <= 3 && value.find_first_not_of("0123456789") == std::string::npos;
      if (!digits || std::stoi(value) < control.minimum || std::stoi(value) > control.maximum) {
        throw ToolError(name + " must be a whole number from " + std::to_string(control.minimum) + " to " +
                            std::to_string(control.maximum) + " (got '" + value + "')",
                        kExitUsage);
      }
    } else {
      for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      bool known = false;
      for (const ZarncapChoice& choice : control.choices) known = known || (!choice.value.empty() && value == choice.value);
      if (!known) throw ToolError(name + " must be one of " + ChoiceValues(control, ", ") + " (got '" + value + "')", kExitUsage);
    }
    sets.emplace_back(name, value);
  }
  return sets;
}

std::vector<ControlValue> RunSettingsDialog(DriverLink& externalIn, const ControlSets& sets) {
  DialogRun run;
  run.sets = sets;
  DialogOwner owner([&run](HWND dialog, const platform::DialogUser& user) { Act(dialog, user, &run); });
  const LRESULT answer = externalIn.Send(DVM_DIALOG, owner.Window(), 0);
  if (!run.error.empty()) throw ToolError(run.error + "; nothing was changed", kExitUsage);
  if (answer != DV_ERR_OK || run.shown.empty()) {
    throw ToolError("the driver's settings dialog did not open (answer " + std::to_string(answer) + ")");
  }
  return run.shown;
}

// The white-balance gains the driver keeps (tenths), from the settings file.
std::vector<std::pair<std::string, double>> WhiteBalanceGains(const std::string& path) {
  std::vector<std::pair<std::string, double>> gains;
  for (auto [name, key] : {std::pair<const char*, const char*>{"red", "RedGain"}, {"green", "GreenGain"},
                           {"blue", "BlueGain"}}) {
    const UINT tenths = platform::GetPrivateProfileInt("COLSPACE", key, 10, path.c_str());
    gains.emplace_back(name, tenths / 10.0);
  }
  return gains;
}

std::string GainsText(const std::vector<std::pair<std::string, double>>& gains) {
  std::string text;
  char one[64];
  for (const auto& [name, gain] : gains) {
    std::snprintf(one, sizeof one, "%s%s %.1f", text.empty() ? "" : ", ", name.c_str(), gain);
    text += one;
  }
  return text;
}

bool GainsFarFromNeutral(const std::vector<std::pair<std::string, double>>& gains) {
  double low = 0, high = 0;
  for (const auto& [name, gain] : gains) {
    if (low == 0 || gain < low) low = gain;
    high = std::max(high, gain);
  }
  return low <= 0 ? high > 0 : high / low > 1.5;
}

void AddGainsJson(JsonWriter& json, const std::string& settingsPath) {
  const auto gains = WhiteBalanceGains(settingsPath);
  json.Key("white_balance_gains").BeginObject();
  for (const auto& [name, gain] : gains) json.Key(name).Number(gain, 1);
  json.EndObject().Key("white_balance_far_from_neutral").Bool(GainsFarFromNeutral(gains));
}

std::string GainsMoved(const std::vector<std::pair<std::string, double>>& before,
                       const std::vector<std::pair<std::string, double>>& after) {
  // The file keeps tenths: a move of three tenths or more is more than 0.2.
  constexpr double kNoticeable = 0.25;
  std::string text;
  char one[80];
  for (size_t i = 0; i < before.size() && i < after.size(); ++i) {
    if (std::abs(after[i].second - before[i].second) < kNoticeable) continue;
    std::snprintf(one, sizeof one, "%s%s %.1f -> %.1f", text.empty() ? "" : ", ", after[i].first.c_str(),
                  before[i].second, after[i].second);
    text += one;
  }
  return text;
}

void ReportGains(const Host& host, std::FILE* to, const std::string& settingsPath,
                 const std::vector<std::pair<std::string, double>>& before) {
  const auto gains = WhiteBalanceGains(settingsPath);
  const std::string moved = GainsMoved(before, gains);
  const bool far = GainsFarFromNeutral(gains);
  if (!far && moved.empty()) {
    Detail(host, "white balance gains kept by the driver: %s", GainsText(gains).c_str());
    return;
  }
  std::string what = far ? "the white balance the driver keeps is far from neutral (" + GainsText(gains) + ")" : "";
  if (!moved.empty()) {
    what += far ? " and this run moved it (" + moved + ")"
                : "this run moved the white balance the driver keeps (" + moved + ")";
  }
  Say(host, to, "zarncap: note: %s: later pictures may look tinted; --reset-colour puts the gains back to 1.0\n",
      what.c_str());
}

std::string ControlsJson(const std::vector<ControlValue>& controls,
                         const std::vector<std::pair<std::string, double>>& gains) {
  JsonWriter json;
  json.BeginObject().Key("controls").BeginArray();
  for (const ControlValue& c : controls) {
    json.BeginObject().Key("name").Raw(DialogOwner::JsonText(c.name)).Key("value");
    json.Raw(c.isNumber ? c.value : DialogOwner::JsonText(c.value));
    // Ranges in the one shape the tool uses: [first, last, step]; a choice
    // lists its values.
    if (c.isNumber) {
      const size_t dots = c.range.find("..");
      json.Key("range").BeginArray().Raw(c.range.substr(0, dots)).Raw(c.range.substr(dots + 2)).Number(1LL).EndArray();
    } else {
      json.Key("choices").BeginArray();
      for (size_t at = 0; at <= c.range.size();) {
        const size_t bar = std::min(c.range.find('|', at), c.range.size());
        json.String(c.range.substr(at, bar - at));
        at = bar + 1;
      }
      json.EndArray();
    }
    json.Key("enabled").Bool(c.enabled).EndObject();
  }
  json.EndArray().Key("white_balance_gains").BeginObject();
  for (const auto& [name, gain] : gains) json.Key(name).Number(gain, 1);
  return json.EndObject().EndObject().Text();
}

}  // namespace zarncap
