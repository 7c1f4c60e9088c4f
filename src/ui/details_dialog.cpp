#include "ui/details_dialog.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <strings.h>
#include <string>

#include "camera/sensor_kinds.h"
#include "core/driver_state.h"
#include "platform/platform.h"
#include "ui/dialog_resources.h"

namespace {

constexpr char kBuildDate[] = "Dec 19 1997";
constexpr char kSettingsFile[] = "zarncap.ini";
constexpr int kDetailControls[] = {1101, 1108, 1102, 1107, 1103, 1109, 1104, 1110, 1105, 1111, IDOK};

struct DetailsSession {
  CameraDetailsFinder find = nullptr;
};

DetailsSession* SessionOf(HWND dialog) { return reinterpret_cast<DetailsSession*>(platform::GetDialogData(dialog)); }

const char* ModeText(int mode) {
  switch (mode) {
    case 4: return "ECP";
    case 2: return "Bidirectional";
    case 1: return "4 bit";
    default: return "";
  }
}

const char* SensorText(const CameraDetails& found) {
  switch (found.sensor) {
    case SensorFinding::kFound: return SensorKindOf(found.cameraKind).model;
    case SensorFinding::kInitError: return "Error initialising camera";
    case SensorFinding::kSelectError: return "Error detecting sensor model";
    default: return "";
  }
}

// The caption, from the module's description (which a 32-bit module has not).
void SetCaption(HWND dialog) {
  char description[256] = "";
  GetDriverDescription(Driver().moduleInstance, "MSVIDEO", description, 255);
  char caption[256];
  std::snprintf(caption, sizeof caption, "%s Video Capture Driver", description);
  platform::SetWindowText(dialog, caption);
}

INT_PTR Open(HWND dialog, DetailsSession* s) {
  platform::SetDialogData(dialog, reinterpret_cast<LONG_PTR>(s));
  SetCaption(dialog);
  if (Driver().deviceReady != 0) {
    FillDetails(dialog);
    ShowDetails(dialog, TRUE);
    platform::SetFocus(platform::GetDlgItem(dialog, IDOK));
  } else {
    // The camera search is slow: the wait text shows until it is done.
    ShowDetails(dialog, FALSE);
    platform::PostMessage(dialog, WM_DETAILS_FILL, 0, 0);
  }
  return FALSE;
}

}  // namespace

BOOL ShowDetails(HWND dialog, BOOL show) {
  for (int id : kDetailControls) platform::ShowWindow(platform::GetDlgItem(dialog, id), show ? SW_SHOW : SW_HIDE);
  platform::ShowWindow(platform::GetDlgItem(dialog, kDetailsWaitText), show ? SW_HIDE : SW_SHOW);
  return 1;
}

BOOL FillDetails(HWND dialog) {
  const DetailsSession* s = SessionOf(dialog);
  const CameraDetails found = s != nullptr && s->find != nullptr ? s->find() : CameraDetails{};
  char port[60] = "Camera not found";
  if (found.portFound) {
    std::snprintf(port, sizeof port, "LPT%u (%s port%s)", static_cast<unsigned>(found.port), ModeText(found.portMode),
                  found.forcedMode ? " *" : "");
  }
  platform::SetDlgItemText(dialog, kDetailsPort, port);
  platform::SetDlgItemText(dialog, kDetailsSensor, SensorText(found));
  char language[80] = "";
  platform::GetPrivateProfileString("ZARNCAP", "Language", "U.S. English", language, sizeof language, kSettingsFile);
  platform::SetDlgItemText(dialog, kDetailsLanguage, language);
  char version[20] = "";
  GetDriverVersion(version, sizeof version);
  platform::SetDlgItemText(dialog, kDetailsVersion, version);
  platform::SetDlgItemText(dialog, kDetailsBuildDate, kBuildDate);
  return 1;
}

BOOL GetDriverVersion(char* buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  const std::string text = platform::ModuleVersionText();
  const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return text.empty() ? 0 : 1;
}

BOOL GetDriverDescription(HINSTANCE, const char* prefix, char* buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  const std::string path = platform::ModuleFileName();
  if (path.empty() || prefix == nullptr) return 0;
  std::ifstream file(path, std::ios::binary);
  unsigned char dos[62] = {};
  if (!file.read(reinterpret_cast<char*>(dos), sizeof dos)) return 0;
  if (dos[0] != 0x4D || dos[1] != 0x5A || (dos[0x18] | (dos[0x19] << 8)) < 0x40) return 0;
  unsigned char ne[64] = {};
  if (!file.seekg(dos[0x3C] | (dos[0x3D] << 8)) || !file.read(reinterpret_cast<char*>(ne), sizeof ne)) return 0;
  if (ne[0] != 0x4E || ne[1] != 0x45) return 0;  // a 32-bit module stops here
  unsigned char names[258] = {};
  file.seekg(ne[0x2C] | (ne[0x2D] << 8));
  file.read(reinterpret_cast<char*>(names), 257);
  const std::size_t length = names[0];
  std::string description(reinterpret_cast<const char*>(names + 1), length);
  const std::size_t prefixLength = std::strlen(prefix);
  if (description.size() < prefixLength || strncasecmp(description.c_str(), prefix, prefixLength) != 0) return 0;
  std::size_t at = description.find_first_not_of(' ', prefixLength);
  if (at == std::string::npos || description[at] != ':') return 0;
  at = description.find_first_not_of(' ', at + 1);
  const std::string rest = at == std::string::npos ? "" : description.substr(at);
  std::snprintf(buffer, size, "%s", rest.c_str());
  return 1;
}

INT_PTR CALLBACK DetailsDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: return Open(dialog, reinterpret_cast<DetailsSession*>(lParam));
    case WM_DETAILS_FILL:
      FillDetails(dialog);
      ShowDetails(dialog, TRUE);
      platform::SetFocus(platform::GetDlgItem(dialog, IDOK));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        platform::EndDialog(dialog, 1);
        return TRUE;
      }
      return FALSE;
    default: return FALSE;
  }
}

INT_PTR ShowDetailsDialog(HINSTANCE module, HWND owner, CameraDetailsFinder find) {
  RegisterDriverDialogs();
  DetailsSession session{find};
  return platform::DialogBoxParam(module, kDetailsDialog, owner, &DetailsDialogProc, reinterpret_cast<LPARAM>(&session));
}
