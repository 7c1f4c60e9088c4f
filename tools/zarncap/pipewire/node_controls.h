// The camera's picture controls as a PipeWire node's properties (the twins in
// twins.h): the values a client sends turned into what a user would type or
// click in the settings dialog, and the dialog's values as the node reports them.
#pragma once

#include <spa/pod/pod.h>

#include <string>
#include <vector>

#include "tools/zarncap/host/source_controls.h"
#include "zarncap/controls.h"

namespace zarncap {

// The dialog's control of that name, or nullptr (a camera without lighting levels has none).
const ControlValue* FindShown(const std::vector<ControlValue>& shown, std::string_view name);

// A choice's values by index (empty for a slider).
std::vector<std::string_view> ChoicesOf(const ZarncapControl& control);
// The value a control holds as the node reports it: a slider's position, a
// choice's index.
int NodeValueOf(const ZarncapControl& control, const ControlValue& shown);

// The sets a Props object asks for, in its order, as the dialog's names and
// texts. A whole number is a slider's position or a choice's index; a
// fraction (float or double, 0..1) a share of a slider's range, and a larger
// one its position; a text a choice's value. In params the controls go by
// name (zarncap's, or the label's: "saturation"). What cannot be taken is
// named in *problems and left out.
ControlSets SetsFromProps(const spa_pod* props, const std::vector<ControlValue>& shown,
                          std::vector<std::string>* problems);

}  // namespace zarncap
