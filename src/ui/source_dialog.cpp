// The source settings dialog. Everything it changes is the device's, the
// camera's or the colour layer's, so every action runs under the device lock
// (a stream tick never sees half a change) and only while the device the
// dialog opened on is still the current, ready one: a dialog left up while the
// host closed its last channel just ends.
#include "ui/source_dialog.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "camera/sensor_kinds.h"
#include "camera/sensor_ops.h"
#include "capture/device_lock.h"
#include "capture/nubo_device.h"
#include "colspace/colspace.h"
#include "core/driver_state.h"
#include "platform/platform.h"
#include "ui/dialog_controls.h"
#include "ui/device_dialog.h"
#include "ui/dialog_resources.h"

namespace {

// One open dialog: the device it works on and what was in force when it opened.
struct SourceSession : DeviceDialogSession {
  std::int16_t brightness = 0, contrast = 0, colour = 0;
  DWORD transferControl = 0, temporalDifference = 0, autoThreshold = 0;
  std::int16_t quality = 0;
  int gainLevel = 0;
  // Set while the dialog writes an edit box itself: the EN_CHANGE that follows
  // is the dialog's own echo, not the user's typing.
  bool writingText = false;
};

enum class Applies { Picture, Quality };

struct Slider {
  int scroll;
  int edit;
  SliderRange DialogControlsState::*range;
  Applies applies;
};

// In the order the dialog fills them.
constexpr Slider kSliders[] = {
    {kBrightnessScroll, kBrightnessEdit, &DialogControlsState::brightness, Applies::Picture},
    {kContrastScroll, kContrastEdit, &DialogControlsState::contrast, Applies::Picture},
    {kColourScroll, kColourEdit, &DialogControlsState::colour, Applies::Picture},
    {kQualityScroll, kQualityEdit, &DialogControlsState::quality, Applies::Quality},
};

struct Compression {
  int button;
  DWORD temporalDifference;
  DWORD autoThreshold;
};
constexpr Compression kCompressions[] = {
    {kCompressionOff, 0, 0}, {kCompressionAutomatic, 1, 1}, {kCompressionManual, 1, 0}};

int GainLevel(NUBODevice* device) {
  SensorOps* ops = device->sensorOps;
  return ops != nullptr && ops->GetGainLevel != nullptr ? ops->GetGainLevel(ops) : 0;
}

bool SetGainLevel(NUBODevice* device, int level) {
  SensorOps* ops = device->sensorOps;
  return ops != nullptr && ops->SetGainLevel != nullptr && ops->SetGainLevel(ops, level) == SENSOR_OK;
}

int CompressionButton(DWORD temporalDifference, DWORD autoThreshold) {
  if (temporalDifference == 0) return kCompressionOff;
  return autoThreshold != 0 ? kCompressionAutomatic : kCompressionManual;
}

void EnableQuality(HWND dialog, bool enable) {
  platform::EnableWindow(platform::GetDlgItem(dialog, kQualityScroll), enable);
  platform::EnableWindow(platform::GetDlgItem(dialog, kQualityEdit), enable);
}

void WriteNumber(HWND dialog, SourceSession* s, int edit, LONG value) {
  s->writingText = true;
  platform::SetDlgItemInt(dialog, edit, static_cast<UINT>(value), TRUE);
  s->writingText = false;
}

void Apply(Applies what) {
  const DialogControlsState& c = DialogControls();
  if (what == Applies::Picture) {
    SetPictureControls(static_cast<std::int16_t>(c.brightness.pos), static_cast<std::int16_t>(c.contrast.pos),
                       static_cast<std::int16_t>(c.colour.pos));
  } else {
    SetImageQuality(static_cast<int>(c.quality.pos));
  }
}

// The slider's new position, stored, shown and applied.
void MoveSlider(HWND dialog, SourceSession* s, const Slider& slider, LONG position) {
  SliderRange& range = DialogControls().*slider.range;
  platform::SetScrollPos(platform::GetDlgItem(dialog, slider.scroll), position, TRUE);
  WriteNumber(dialog, s, slider.edit, position);
  range.pos = position;
  Apply(slider.applies);
}

// "eng" as the system's language relabels the English dialog's colour label.
void RelabelColour(HWND dialog) {
  char language[41] = "";
  platform::GetProfileString("Intl", "sLanguage", "enu", language, 40);
  if (strcasecmp(language, "eng") == 0 && Driver().sourceDialogId == kEnglishSourceDialog) {
    platform::SetDlgItemText(dialog, kColourLabel, "Colou&r");
  }
}

void CheckLighting(HWND dialog, int level) {
  platform::CheckRadioButton(dialog, kLightingLow, kLightingNormal, level != 0 ? kLightingLow : kLightingNormal);
}

INT_PTR Open(HWND dialog, SourceSession* s) {
  DeviceGuard lock(DeviceLock());
  if (!BindDialogToDevice(dialog, s)) return FALSE;
  NUBODevice* device = s->device;
  GetPictureControls(&s->brightness, &s->contrast, &s->colour);
  s->transferControl = device->transferControl;
  s->temporalDifference = device->temporalDifference;
  s->autoThreshold = device->autoThreshold;
  s->quality = device->imageQuality;
  s->gainLevel = GainLevel(device);

  DialogControlsState& c = DialogControls();
  c.brightness.pos = s->brightness;
  c.contrast.pos = s->contrast;
  c.colour.pos = s->colour;
  c.quality.pos = s->quality;
  c.transferControl = s->transferControl;
  c.temporalDifference = s->temporalDifference;
  c.autoThreshold = s->autoThreshold;
  c.gainLevel = s->gainLevel;
  for (const Slider& slider : kSliders) {
    const SliderRange& range = c.*slider.range;
    HWND scroll = platform::GetDlgItem(dialog, slider.scroll);
    platform::SetScrollRange(scroll, range.min, range.max, FALSE);
    platform::SetScrollPos(scroll, range.pos, TRUE);
    WriteNumber(dialog, s, slider.edit, range.pos);
  }
  const int compression = CompressionButton(c.temporalDifference, c.autoThreshold);
  platform::CheckRadioButton(dialog, kCompressionOff, kCompressionManual, compression);
  EnableQuality(dialog, compression == kCompressionManual);
  if (!SensorKindOf(device->CameraKind).lightingLevels) {
    for (int id : {kLightingGroup, kLightingLow, kLightingNormal}) {
      platform::ShowWindow(platform::GetDlgItem(dialog, id), SW_HIDE);
    }
  } else {
    CheckLighting(dialog, c.gainLevel);
  }
  RelabelColour(dialog);
  platform::SetFocus(platform::GetDlgItem(dialog, IDOK));
  return FALSE;
}

LONG Clamp(const SliderRange& range, LONG position) {
  if (position > range.max) return range.max;
  if (position < range.min) return range.min;
  return position;
}

INT_PTR Scrolled(HWND dialog, SourceSession* s, WPARAM wParam, LPARAM lParam) {
  for (const Slider& slider : kSliders) {
    if (reinterpret_cast<HWND>(lParam) != platform::GetDlgItem(dialog, slider.scroll)) continue;
    const SliderRange& range = DialogControls().*slider.range;
    LONG position = range.pos;
    switch (LOWORD(wParam)) {
      case SB_LINEUP: position -= range.line; break;
      case SB_LINEDOWN: position += range.line; break;
      case SB_PAGEUP: position -= range.page; break;
      case SB_PAGEDOWN: position += range.page; break;
      case SB_THUMBTRACK: position = HIWORD(wParam); break;
      default: break;
    }
    MoveSlider(dialog, s, slider, Clamp(range, position));
    return TRUE;
  }
  return FALSE;  // not one of the four sliders
}

INT_PTR Typed(HWND dialog, SourceSession* s, int edit) {
  if (s->writingText) return FALSE;
  for (const Slider& slider : kSliders) {
    if (slider.edit != edit) continue;
    std::uint64_t value = 0;
    SliderRange& range = DialogControls().*slider.range;
    if (!ReadDialogNumber(dialog, edit, &value) || value > static_cast<std::uint64_t>(range.max)) return FALSE;
    platform::SetScrollPos(platform::GetDlgItem(dialog, slider.scroll), static_cast<int>(value), TRUE);
    range.pos = static_cast<LONG>(value);
    Apply(slider.applies);
    return TRUE;
  }
  return FALSE;
}

INT_PTR CompressionChosen(HWND dialog, const Compression& choice) {
  DialogControlsState& c = DialogControls();
  c.temporalDifference = choice.temporalDifference;
  c.autoThreshold = choice.autoThreshold;
  SetTransferControl(c.transferControl, c.temporalDifference, c.autoThreshold);
  EnableQuality(dialog, choice.button == kCompressionManual);
  if (choice.button == kCompressionManual) SetImageQuality(static_cast<int>(c.quality.pos));
  return TRUE;
}

INT_PTR LightingChosen(HWND dialog, SourceSession* s, int level) {
  if (!SensorKindOf(s->device->CameraKind).lightingLevels) return FALSE;  // its buttons are hidden
  DialogControlsState& c = DialogControls();
  if (SetGainLevel(s->device, level)) {
    c.gainLevel = level;
  } else {
    CheckLighting(dialog, c.gainLevel);  // the level in force did not change: its button stays checked
  }
  return TRUE;
}

// Puts back what differs from the values in force when the dialog opened, in
// the order picture, transfer control, quality, gain.
void Restore(SourceSession* s) {
  std::int16_t b = 0, c = 0, k = 0;
  GetPictureControls(&b, &c, &k);
  if (b != s->brightness || c != s->contrast || k != s->colour) SetPictureControls(s->brightness, s->contrast, s->colour);
  NUBODevice* device = s->device;
  if (device->transferControl != s->transferControl || device->temporalDifference != s->temporalDifference ||
      device->autoThreshold != s->autoThreshold) {
    SetTransferControl(s->transferControl, s->temporalDifference, s->autoThreshold);
  }
  if (device->imageQuality != s->quality) SetImageQuality(s->quality);
  DialogControlsState& controls = DialogControls();
  if (GainLevel(device) != s->gainLevel && SetGainLevel(device, s->gainLevel)) controls.gainLevel = s->gainLevel;
  controls.transferControl = s->transferControl;
  controls.temporalDifference = s->temporalDifference;
  controls.autoThreshold = s->autoThreshold;
}

INT_PTR Command(HWND dialog, SourceSession* s, WPARAM wParam) {
  const int id = LOWORD(wParam);
  if (HIWORD(wParam) == EN_CHANGE) return Typed(dialog, s, id);
  if (HIWORD(wParam) != BN_CLICKED) return FALSE;
  if (id == IDOK) {
    platform::EndDialog(dialog, 1);
    return TRUE;
  }
  if (id == IDCANCEL) {
    Restore(s);
    platform::EndDialog(dialog, 1);
    return TRUE;
  }
  for (const Compression& choice : kCompressions) {
    if (choice.button == id) return CompressionChosen(dialog, choice);
  }
  if (id == kLightingNormal) return LightingChosen(dialog, s, 0);
  if (id == kLightingLow) return LightingChosen(dialog, s, 1);
  return FALSE;
}

}  // namespace

INT_PTR CALLBACK SourceDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) return Open(dialog, reinterpret_cast<SourceSession*>(lParam));
  if (msg != WM_HSCROLL && msg != WM_COMMAND) return FALSE;
  DeviceGuard lock(DeviceLock());
  bool ended = false;
  auto* s = static_cast<SourceSession*>(SessionOnDevice(dialog, &ended));
  if (s == nullptr) return ended ? TRUE : FALSE;
  return msg == WM_HSCROLL ? Scrolled(dialog, s, wParam, lParam) : Command(dialog, s, wParam);
}

INT_PTR ShowSourceDialog(HINSTANCE module, int resourceId, HWND owner) {
  RegisterDriverDialogs();
  SourceSession session;
  return platform::DialogBoxParam(module, resourceId, owner, &SourceDialogProc, reinterpret_cast<LPARAM>(&session));
}
