#include "tools/zarncap/v4l2/face_controls.h"

#include <cstdlib>
#include <string_view>

#include "zarncap/controls.h"

namespace zarncap {

namespace {

// The V4L2 id of each of the driver's controls: the standard ones where V4L2
// has one, private user-class ids for the rest.
struct Twin {
  std::string_view name;
  std::uint32_t id;
};
constexpr Twin kTwins[] = {{"brightness", V4L2_CID_BRIGHTNESS}, {"contrast", V4L2_CID_CONTRAST},
                           {"colour", V4L2_CID_SATURATION},     {"compression", kCidCompression},
                           {"quality", kCidQuality},            {"lighting", kCidLighting}};

FaceControl FaceControlOf(const ZarncapControl& control, std::uint32_t id) {
  FaceControl face{id, control.label.data(), control.name.data(), V4L2_CTRL_TYPE_INTEGER, control.minimum,
                   control.maximum, 1, control.defaultValue, {}};
  if (!control.IsSlider()) {
    face.type = V4L2_CTRL_TYPE_MENU;
    for (const ZarncapChoice& choice : control.choices) {
      if (!choice.value.empty()) face.menu.push_back(choice.value.data());
    }
  }
  return face;
}

// The control that must hold a value before this one takes (quality waits
// for manual compression), and that value's index.
const FaceControl* NeededBy(const FaceControl& control, std::int32_t* value) {
  if (control.dialogName == nullptr) return nullptr;  // the class control
  const ZarncapControl* own = ZarncapControlNamed(control.dialogName);
  if (own == nullptr || own->needsControl.empty()) return nullptr;
  for (const FaceControl& other : FaceControlTable()) {
    if (other.dialogName == nullptr || other.dialogName != own->needsControl) continue;
    *value = ControlValueOf(other, std::string(own->needsValue));
    return &other;
  }
  return nullptr;
}

}  // namespace

const std::vector<FaceControl>& FaceControlTable() {
  static const std::vector<FaceControl> table = [] {
    std::vector<FaceControl> controls = {
        {V4L2_CID_USER_CLASS, "User Controls", nullptr, V4L2_CTRL_TYPE_CTRL_CLASS, 0, 0, 0, 0, {}}};
    for (const ZarncapControl& control : kControls) {
      for (const Twin& twin : kTwins) {
        if (twin.name == control.name) controls.push_back(FaceControlOf(control, twin.id));
      }
    }
    return controls;
  }();
  return table;
}

const FaceControl* FindFaceControl(std::uint32_t id) {
  for (const FaceControl& control : FaceControlTable()) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

std::int32_t ControlValueOf(const FaceControl& control, const std::string& text) {
  for (std::size_t i = 0; i < control.menu.size(); ++i) {
    if (text == control.menu[i]) return static_cast<std::int32_t>(i);
  }
  return control.menu.empty() ? static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10))
                              : control.defaultValue;
}

std::string ControlTextOf(const FaceControl& control, std::int32_t value) {
  if (control.menu.empty()) return std::to_string(value);
  return control.menu[static_cast<std::size_t>(value)];
}

FaceControlValues::FaceControlValues(const std::vector<std::pair<std::string, std::string>>& shown, Apply apply)
    : apply_(std::move(apply)) {
  for (const FaceControl& control : FaceControlTable()) {
    if (control.dialogName == nullptr) continue;
    std::int32_t value = control.defaultValue;
    for (const auto& [name, text] : shown) {
      if (name == control.dialogName) value = ControlValueOf(control, text);
    }
    values_.emplace_back(control.id, value);
  }
}

std::int32_t& FaceControlValues::Slot(std::uint32_t id) {
  for (auto& [slotId, value] : values_) {
    if (slotId == id) return value;
  }
  static std::int32_t none = 0;
  return none;
}

std::int32_t FaceControlValues::Get(std::uint32_t id) const {
  for (const auto& [slotId, value] : values_) {
    if (slotId == id) return value;
  }
  return 0;
}

bool FaceControlValues::Set(std::uint32_t id, std::int32_t value) {
  const FaceControl* control = FindFaceControl(id);
  if (control == nullptr || control->dialogName == nullptr) return false;
  std::int32_t needed = 0;
  const FaceControl* needs = NeededBy(*control, &needed);
  if (needs != nullptr && Get(needs->id) != needed) {
    Slot(id) = value;  // the dialog takes it once the control it needs holds its value
    return true;
  }
  std::vector<std::pair<std::string, std::string>> sets;
  sets.emplace_back(control->dialogName, ControlTextOf(*control, value));
  // A control waiting for this value goes in with it.
  for (const FaceControl& waiting : FaceControlTable()) {
    if (NeededBy(waiting, &needed) == control && value == needed) {
      sets.emplace_back(waiting.dialogName, ControlTextOf(waiting, Get(waiting.id)));
    }
  }
  if (!apply_(sets)) return false;
  Slot(id) = value;
  return true;
}

}  // namespace zarncap
