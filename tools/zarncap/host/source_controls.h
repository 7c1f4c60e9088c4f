// The camera's picture controls (the table in include/zarncap/controls.h) as
// the driver's "Video Capture Settings" dialog shows them, read and set through that dialog only: zarncap is the
// dialog's owner window and acts as a user would (types into the edit boxes,
// clicks the buttons, presses OK). Shared by `zarncap controls` and the
// preview's control panel.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tools/zarncap/common/json_text.h"
#include "tools/zarncap/common/run_context.h"
#include "tools/zarncap/host/driver_link.h"

namespace zarncap {

struct ControlValue {
  std::string name;   // brightness, contrast, colour, quality, compression, lighting
  std::string value;  // "50", "automatic"
  std::string range;  // "0..100" or "off|automatic|manual"
  bool enabled = true;
  bool isNumber = false;
};

using ControlSets = std::vector<std::pair<std::string, std::string>>;

// "name=value" texts as sets, checked before any driver opens: a known name
// in any letter case ("color" is "colour"), a slider's value in digits only
// (0..100), a choice among its values. Throws ToolError (usage) otherwise.
ControlSets ParseControlSets(const std::vector<std::string>& texts);
// "brightness, contrast, colour, quality (0..100), compression (off, automatic,
// manual), lighting (normal, low)": what --set takes (the sliders share one range).
std::string ControlSetsHelp();
// A control's name as the dialog knows it ("Color" -> "colour"); throws
// ToolError (usage) for no such control.
std::string ControlName(const std::string& given);
// Opens the settings dialog on an external-in channel, applies sets in order
// and presses OK; the controls as the dialog shows them then. A value the
// dialog cannot take cancels it (nothing changes) and throws ToolError (usage).
std::vector<ControlValue> RunSettingsDialog(DriverLink& externalIn, const ControlSets& sets);

// The white-balance gains the driver keeps in the settings file at path.
std::vector<std::pair<std::string, double>> WhiteBalanceGains(const std::string& settingsPath);
// "red 1.0, green 1.0, blue 3.4"
std::string GainsText(const std::vector<std::pair<std::string, double>>& gains);
// Whether the gains are far enough from neutral (the largest more than 1.5
// times the smallest) to tint the pictures that follow.
bool GainsFarFromNeutral(const std::vector<std::pair<std::string, double>>& gains);
// The gains as JSON members: "white_balance_gains": {...} and
// "white_balance_far_from_neutral": true|false.
void AddGainsJson(JsonWriter& json, const std::string& settingsPath);
// The gains that moved by more than 0.2 from before to after, as
// "blue 1.0 -> 1.3" ("" when none did).
std::string GainsMoved(const std::vector<std::pair<std::string, double>>& before,
                       const std::vector<std::pair<std::string, double>>& after);
// After a run: the gains on the report stream when they are far from neutral
// or the run moved them by more than 0.2 from `before` (with the way back),
// on -v always.
void ReportGains(const Host& host, std::FILE* to, const std::string& settingsPath,
                 const std::vector<std::pair<std::string, double>>& before);
// {"controls": [...], "white_balance_gains": {...}}
std::string ControlsJson(const std::vector<ControlValue>& controls,
                         const std::vector<std::pair<std::string, double>>& gains);

}  // namespace zarncap
