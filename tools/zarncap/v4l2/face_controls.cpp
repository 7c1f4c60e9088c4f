#include "tools/zarncap/v4l2/face_controls.h"

#include <cstdlib>

namespace zarncap {

const std::vector<FaceControl>& FaceControlTable() {
  static const std::vector<FaceControl> table = {
      {V4L2_CID_USER_CLASS, "User Controls", nullptr, V4L2_CTRL_TYPE_CTRL_CLASS, 0, 0, 0, 0, {}},
      {V4L2_CID_BRIGHTNESS, "Brightness", "brightness", V4L2_CTRL_TYPE_INTEGER, 0, 100, 1, 50, {}},
      {V4L2_CID_CONTRAST, "Contrast", "contrast", V4L2_CTRL_TYPE_INTEGER, 0, 100, 1, 50, {}},
      {V4L2_CID_SATURATION, "Saturation", "colour", V4L2_CTRL_TYPE_INTEGER, 0, 100, 1, 50, {}},
      {kCidCompression, "Compression", "compression", V4L2_CTRL_TYPE_MENU, 0, 2, 1, 2,
       {"off", "automatic", "manual"}},
      {kCidQuality, "Compression Quality", "quality", V4L2_CTRL_TYPE_INTEGER, 0, 100, 1, 75, {}},
      {kCidLighting, "Lighting", "lighting", V4L2_CTRL_TYPE_MENU, 0, 1, 1, 0, {"normal", "low"}},
  };
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
  constexpr std::int32_t kManual = 2;
  std::vector<std::pair<std::string, std::string>> sets;
  if (id == kCidQuality && Get(kCidCompression) != kManual) {
    Slot(id) = value;  // the dialog takes it with the next change to manual
    return true;
  }
  sets.emplace_back(control->dialogName, ControlTextOf(*control, value));
  if (id == kCidCompression && value == kManual) {
    const FaceControl* quality = FindFaceControl(kCidQuality);
    sets.emplace_back(quality->dialogName, ControlTextOf(*quality, Get(kCidQuality)));
  }
  if (!apply_(sets)) return false;
  Slot(id) = value;
  return true;
}

}  // namespace zarncap
