// The dialog, palette, error-text, API-version and private-message handlers
// (see video_message_handlers.h). Everything that touches the camera or the
// colour tables runs under the device lock, so it never overlaps a frame being
// captured on the stream timer's thread.
#include "driver/video_message_handlers.h"

#include <cstddef>
#include <cstring>
#include <string>

#include "camera/defect_map.h"
#include "camera/sensor_ops.h"
#include "capture/device_lock.h"
#include "capture/nubo_device.h"
#include "colspace/palette.h"
#include "core/driver_state.h"
#include "platform/platform.h"
#include "ui/format_dialog.h"
#include "ui/source_dialog.h"

namespace {

// Shows dialog resource `id` modally over parent and tells how it ended (0:
// refused, -1: the dialog could not be made). The driver lock is let go while
// the user has the dialog: the host's other threads carry on meanwhile, and
// each dialog action takes the device lock for itself.
INT_PTR RunDialog(DWORD channelKind, DWORD id, HWND parent) {
  DriverLockRelease release;
  const HINSTANCE module = Driver().moduleInstance;
  const int resource = static_cast<int>(id);
  return channelKind == VIDEO_EXTERNALIN ? ShowSourceDialog(module, resource, parent)
                                         : ShowFormatDialog(module, resource, parent);
}

}  // namespace

DWORD ShowDriverDialog(DWORD channelKind, HWND parent, DWORD flags) {
  DWORD id;
  if (channelKind == VIDEO_EXTERNALIN) {
    id = Driver().sourceDialogId;
  } else if (channelKind == VIDEO_IN) {
    id = Driver().formatDialogId;
  } else {
    return DV_ERR_NOTSUPPORTED;
  }
  if ((flags & VIDEO_DLG_QUERY) != 0) return DV_ERR_OK;  // dialogs are supported
  const INT_PTR result = RunDialog(channelKind, id, parent);
  return result == 0 || result == -1 ? DV_ERR_NOTSUPPORTED : DV_ERR_OK;
}

DWORD ConfigurePalette(DWORD flags, VIDEOCONFIGPARMS* parms) {
  switch (flags) {
    case VIDEO_CONFIGURE_QUERYSIZE:
    case VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_QUERYSIZE: {
      if (parms == nullptr || parms->lpdwReturn == nullptr) return DV_ERR_PARAM1;
      DeviceGuard lock(DeviceLock());
      WORD size = 0;
      if (GetPalette(&size) == nullptr) return DV_ERR_NOTSUPPORTED;
      *parms->lpdwReturn = size;
      return DV_ERR_OK;
    }
    case VIDEO_CONFIGURE_SET:
    case VIDEO_CONFIGURE_SET | VIDEO_CONFIGURE_CURRENT: {
      if (parms == nullptr || parms->lpData1 == nullptr) return DV_ERR_PARAM1;
      // The palette's own entry count is read only once dwSize1 covers it, and
      // the entries it claims must lie inside dwSize1 too.
      const auto* palette = static_cast<const LOGPALETTE*>(parms->lpData1);
      if (parms->dwSize1 < offsetof(LOGPALETTE, palPalEntry)) return DV_ERR_SIZEFIELD;
      if (palette->palNumEntries > kMaxPaletteEntries) return DV_ERR_PARAM1;
      if (PaletteSize(palette) > parms->dwSize1) return DV_ERR_SIZEFIELD;
      DeviceGuard lock(DeviceLock());
      return SetPalette(palette) ? DV_ERR_OK : DV_ERR_NONSPECIFIC;
    }
    case VIDEO_CONFIGURE_GET:
    case VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT: {
      if (parms == nullptr) return DV_ERR_PARAM1;
      DeviceGuard lock(DeviceLock());
      WORD size = 0;
      const LOGPALETTE* palette = GetPalette(&size);
      if (palette == nullptr || size > parms->dwSize1) return DV_ERR_NOTSUPPORTED;
      if (parms->lpData1 == nullptr) return DV_ERR_PARAM1;
      std::memcpy(parms->lpData1, palette, size);
      return DV_ERR_OK;
    }
    case VIDEO_CONFIGURE_QUERY | VIDEO_CONFIGURE_SET:
    case VIDEO_CONFIGURE_QUERY | VIDEO_CONFIGURE_GET:
      return DV_ERR_OK;
    default:
      return DV_ERR_NOTSUPPORTED;
  }
}

DWORD GetErrorText(VIDEO_GETERRORTEXT_PARMS* parms) {
  if (parms != nullptr) {
    if (parms->dwLength > 0 && parms->lpText != nullptr) parms->lpText[0] = 0;
    parms->dwError = 0;
  }
  return DV_ERR_NOTSUPPORTED;
}

DWORD GetVideoApiVersion(DWORD* version) {
  if (version == nullptr) return DV_ERR_PARAM1;
  *version = kVideoApiVersion;
  return DV_ERR_OK;
}

namespace {

DWORD VersionText(PrivateTextRecord* record) {
  const std::string text = platform::ModuleVersionText();
  const DWORD size = record->size & 0xFFFF;
  if (record->text != nullptr && size > 0) {
    const size_t count = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(record->text, text.data(), count);
    record->text[count] = '\0';
  }
  return DV_ERR_OK;
}

// A sensor operation on the current device's table; 0 is success.
template <typename Call>
DWORD SensorCall(Call call, DWORD failure) {
  NUBODevice* device = CurrentNUBODevice();
  if (device == nullptr || device->sensorOps == nullptr) return failure;
  return call(device->sensorOps) == SENSOR_OK ? DV_ERR_OK : failure;
}

DWORD ValueMessage(UINT msg, PrivateValueRecord* record) {
  DeviceGuard lock(DeviceLock());
  const int value = static_cast<int>(record->value);
  switch (msg) {
    case kPrivateControlBit2:
      return SensorCall([value](SensorOps* ops) { return ops->SetControlBit2(ops, value); }, PRIVATE_ERR_CONTROL_BIT2);
    case kPrivateControlBit4:
      return SensorCall([value](SensorOps* ops) { return ops->SetControlBit4(ops, value); }, PRIVATE_ERR_CONTROL_BIT4);
    case kPrivateGain: {
      // The gain travels as the low word of the value, zero-extended: only the
      // settings file and the dialog hand the sensor a signed level.
      const int level = static_cast<WORD>(record->value & 0xFFFF);
      return SensorCall([level](SensorOps* ops) { return ops->SetGainLevel(ops, level); }, PRIVATE_ERR_GAIN);
    }
    case kPrivateStoreDefectMap: {
      const auto* map = reinterpret_cast<const BYTE*>(record->value);
      if (map == nullptr) return PRIVATE_ERR_STORE_DEFECTS;
      SetDefectTable(map);
      return StoreDefectMap() ? DV_ERR_OK : PRIVATE_ERR_STORE_DEFECTS;
    }
    case kPrivateSensorKind: {
      NUBODevice* device = CurrentNUBODevice();
      record->value = device != nullptr ? device->CameraKind : 0;
      return DV_ERR_OK;
    }
    default:
      return DV_ERR_NOTSUPPORTED;
  }
}

}  // namespace

DWORD PrivateMessage(UINT msg, LPARAM lParam1) {
  switch (msg) {
    case kPrivateVersionText: {
      auto* record = reinterpret_cast<PrivateTextRecord*>(lParam1);
      if (record == nullptr) return DV_ERR_PARAM1;
      record->result = VersionText(record);
      return record->result;
    }
    case kPrivateControlBit2:
    case kPrivateControlBit4:
    case kPrivateGain:
    case kPrivateStoreDefectMap:
    case kPrivateSensorKind: {
      auto* record = reinterpret_cast<PrivateValueRecord*>(lParam1);
      if (record == nullptr) return DV_ERR_PARAM1;
      record->result = ValueMessage(msg, record);
      return record->result;
    }
    case kPrivateRefusedFirst:
    case kPrivateRefusedLast:
      return DV_ERR_NOTSUPPORTED;
    default:  // kPrivateFirst, 0x41F7, 0x41F8: accepted, nothing to do
      return DV_ERR_OK;
  }
}
