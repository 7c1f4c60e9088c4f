#include "tools/zarncap/pipewire/node_controls.h"

#include <spa/param/props.h>
#include <spa/pod/iter.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "tools/zarncap/pipewire/twins.h"

namespace zarncap {
namespace {

std::string Lowered(std::string_view text) {
  std::string lowered;
  for (char c : text) lowered += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lowered;
}

const ControlTwin* FindByProp(std::uint32_t propId) {
  for (const ControlTwin& twin : ControlTwins()) {
    if (twin.propId == propId) return &twin;
  }
  return nullptr;
}

const ControlTwin* FindByName(std::string_view name) {
  for (const ControlTwin& twin : ControlTwins()) {
    if (name == twin.control->name || name == Lowered(twin.control->label)) return &twin;
  }
  return nullptr;
}

// A number a client sent: false when the pod holds none.
bool NumberOf(const spa_pod* value, double* number, bool* whole) {
  int32_t i = 0;
  int64_t l = 0;
  float f = 0;
  double d = 0;
  bool b = false;
  *whole = true;
  if (spa_pod_get_int(value, &i) == 0) *number = i;
  else if (spa_pod_get_long(value, &l) == 0) *number = static_cast<double>(l);
  else if (spa_pod_get_bool(value, &b) == 0) *number = b ? 1 : 0;
  else if (spa_pod_get_float(value, &f) == 0) *whole = false, *number = f;
  else if (spa_pod_get_double(value, &d) == 0) *whole = false, *number = d;
  else return false;
  return true;
}

// The dialog's text for one value, or "" with the problem told.
std::string DialogText(const ZarncapControl& control, const spa_pod* value, std::string* problem) {
  const std::vector<std::string_view> choices = ChoicesOf(control);
  const std::string name(control.name);
  const char* text = nullptr;
  if (spa_pod_get_string(value, &text) == 0) {
    if (std::find(choices.begin(), choices.end(), text) != choices.end()) return text;
    *problem = name + " has no value '" + text + "'";
    return "";
  }
  double number = 0;
  bool whole = true;
  if (!NumberOf(value, &number, &whole) || !std::isfinite(number)) {
    *problem = name + " takes a number";
    return "";
  }
  if (!whole && number >= 0.0 && number <= 1.0) {
    number = control.minimum + number * (control.maximum - control.minimum);
  }
  const long position = std::lround(number);
  if (position < control.minimum || position > control.maximum) {
    *problem = name + " takes " + std::to_string(control.minimum) + " to " + std::to_string(control.maximum) +
               " (got " + std::to_string(number) + ")";
    return "";
  }
  return choices.empty() ? std::to_string(position) : std::string(choices[static_cast<size_t>(position)]);
}

void AddSet(const ControlTwin* twin, const spa_pod* value, const std::vector<ControlValue>& shown, ControlSets* sets,
            std::vector<std::string>* problems) {
  // Not this camera's (lighting on a camera without it): nothing to set.
  if (twin == nullptr || FindShown(shown, twin->control->name) == nullptr) return;
  std::string problem;
  const std::string text = DialogText(*twin->control, value, &problem);
  if (!problem.empty()) problems->push_back(problem);
  else sets->emplace_back(std::string(twin->control->name), text);
}

void AddParams(const spa_pod* params, const std::vector<ControlValue>& shown, ControlSets* sets,
               std::vector<std::string>* problems) {
  // A struct of name, value pairs.
  if (!spa_pod_is_struct(params)) return;
  const spa_pod* name = nullptr;
  const void* body = SPA_POD_BODY_CONST(params);
  for (auto* item = static_cast<const spa_pod*>(body); spa_pod_is_inside(body, SPA_POD_BODY_SIZE(params), item);
       item = static_cast<const spa_pod*>(spa_pod_next(item))) {
    if (name == nullptr) {
      name = item;
      continue;
    }
    const char* text = nullptr;
    if (spa_pod_get_string(name, &text) == 0) {
      const ControlTwin* twin = FindByName(text);
      if (twin == nullptr) problems->push_back(std::string("no control named '") + text + "'");
      AddSet(twin, item, shown, sets, problems);
    }
    name = nullptr;
  }
}

}  // namespace

const ControlValue* FindShown(const std::vector<ControlValue>& shown, std::string_view name) {
  for (const ControlValue& value : shown) {
    if (value.name == name) return &value;
  }
  return nullptr;
}

std::vector<std::string_view> ChoicesOf(const ZarncapControl& control) {
  std::vector<std::string_view> choices;
  for (const ZarncapChoice& choice : control.choices) {
    if (!choice.value.empty()) choices.push_back(choice.value);
  }
  return choices;
}

int NodeValueOf(const ZarncapControl& control, const ControlValue& shown) {
  if (control.IsSlider()) return std::atoi(shown.value.c_str());
  const std::vector<std::string_view> choices = ChoicesOf(control);
  const auto at = std::find(choices.begin(), choices.end(), shown.value);
  return at == choices.end() ? control.defaultValue : static_cast<int>(at - choices.begin());
}

ControlSets SetsFromProps(const spa_pod* props, const std::vector<ControlValue>& shown,
                          std::vector<std::string>* problems) {
  ControlSets sets;
  if (props == nullptr || !spa_pod_is_object(props)) return sets;
  const auto* object = reinterpret_cast<const spa_pod_object*>(props);
  const spa_pod_prop* prop;
  SPA_POD_OBJECT_FOREACH(object, prop) {
    if (prop->key == SPA_PROP_params) {
      AddParams(&prop->value, shown, &sets, problems);
      continue;
    }
    const ControlTwin* twin = FindByProp(prop->key);
    if (twin == nullptr) problems->push_back("no control with id " + std::to_string(prop->key));
    AddSet(twin, &prop->value, shown, &sets, problems);
  }
  return sets;
}

}  // namespace zarncap
