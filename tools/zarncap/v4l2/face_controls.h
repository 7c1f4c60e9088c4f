// The camera's picture controls (include/zarncap/controls.h) as V4L2 controls:
// brightness, contrast and saturation (the driver's colour) as the standard
// ones, compression, quality and lighting as private user-class controls. Values are set through the
// driver's settings dialog, as `zarncap controls` sets them, so the driver
// keeps them in its settings file.
#pragma once

#include <linux/videodev2.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zarncap {

constexpr std::uint32_t kCidCompression = V4L2_CID_USER_BASE + 0x1F00;
constexpr std::uint32_t kCidQuality = V4L2_CID_USER_BASE + 0x1F01;
constexpr std::uint32_t kCidLighting = V4L2_CID_USER_BASE + 0x1F02;

struct FaceControl {
  std::uint32_t id;
  const char* name;        // V4L2's name
  const char* dialogName;  // the settings dialog's control (nullptr: the class control)
  std::uint32_t type;
  std::int32_t minimum, maximum, step, defaultValue;
  std::vector<const char*> menu;  // menu items (the dialog's values), by index
};

// The controls in the order QUERYCTRL enumerates them (the class control first).
const std::vector<FaceControl>& FaceControlTable();
const FaceControl* FindFaceControl(std::uint32_t id);

// The value a dialog text stands for, and back.
std::int32_t ControlValueOf(const FaceControl& control, const std::string& text);
std::string ControlTextOf(const FaceControl& control, std::int32_t value);

// The current values, kept in step with the driver. Setting a value applies
// it through `apply` (dialog name, text); quality waits while compression is
// not manual (the dialog takes it only then) and goes in with the next change
// to manual.
class FaceControlValues {
 public:
  using Apply = std::function<bool(const std::vector<std::pair<std::string, std::string>>& sets)>;
  // values: the dialog's current texts by dialog name.
  FaceControlValues(const std::vector<std::pair<std::string, std::string>>& shown, Apply apply);

  std::int32_t Get(std::uint32_t id) const;
  // Clamps nothing: the caller has checked the range. False when the driver refused.
  bool Set(std::uint32_t id, std::int32_t value);

 private:
  std::vector<std::pair<std::uint32_t, std::int32_t>> values_;
  std::int32_t& Slot(std::uint32_t id);
  Apply apply_;
};

}  // namespace zarncap
