// The driver's own dialog procedures under the system's dialog manager: the
// test DLL opened through winmm, each dialog asked for as a capture
// application asks (DVM_DIALOG, DRV_CONFIGURE), and worked from a second
// thread as a user would: the window found by its caption, a slider moved, a
// number typed key by key, buttons clicked, OK or Cancel. Prints "test <name>:
// OK" or "FAIL (why)" per check.
//
//   dialog_check <driver DLL> <work folder>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "host_link.h"
#include "zarncap/dialogs.h"

namespace {

constexpr DWORD kFourccVcap = 0x70616376;  // 'vcap'
int g_failed = 0;

void Report(const std::string& name, bool ok, const std::string& why = "") {
  std::printf("test %s: %s%s\n", name.c_str(), ok ? "OK" : "FAIL", ok || why.empty() ? "" : (" (" + why + ")").c_str());
  if (!ok) ++g_failed;
}

HDRVR OpenChannel(const std::string& dll, const std::string& ini, DWORD kind) {
  VIDEO_OPEN_PARMS parms{};
  parms.dwSize = sizeof parms;
  parms.fccType = kFourccVcap;
  parms.dwFlags = kind;
  return host::Open(dll, "LPT2 " + ini, reinterpret_cast<LPARAM>(&parms));
}

// The dialog with this caption once it is up (a few seconds at most).
HWND WaitForDialog(const char* caption) {
  for (int i = 0; i < 1000; ++i) {
    if (HWND window = FindWindowA("#32770", caption); window != nullptr && IsWindowVisible(window)) return window;
    Sleep(10);
  }
  return nullptr;
}

std::string ItemText(HWND dialog, int id) {
  char text[256] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

// Replaces an edit box's text key by key, as a user does: select all, then
// one WM_CHAR per character (the edit box notifies EN_CHANGE at each).
void TypeKeys(HWND dialog, int id, const std::string& text) {
  HWND edit = GetDlgItem(dialog, id);
  SendMessageA(edit, EM_SETSEL, 0, -1);
  for (char c : text) SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(c), 1);
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Runs the message that opens a modal dialog on this thread while `user`
// works the dialog from another; the message's answer.
LRESULT WithUser(const std::function<LRESULT()>& open, const char* caption, const std::function<void(HWND)>& user) {
  std::thread worker([&] {
    if (HWND dialog = WaitForDialog(caption)) {
      user(dialog);
    } else {
      Report(std::string("\"") + caption + "\" opens", false, "not found");
    }
  });
  const LRESULT answer = open();
  worker.join();
  return answer;
}

double MeanOfFrame(HDRVR video) {
  std::vector<BYTE> buffer(160 * 120 * 3);
  VIDEOHDR header{};
  header.lpData = buffer.data();
  header.dwBufferLength = static_cast<DWORD>(buffer.size());
  header.dwFlags = VHDR_PREPARED;
  if (host::Send(video, DVM_FRAME, reinterpret_cast<LPARAM>(&header)) != 0) return -1.0;
  return std::accumulate(buffer.begin(), buffer.end(), 0.0) / static_cast<double>(buffer.size());
}

void CheckSourceDialog(HDRVR source, HDRVR video) {
  const double before = MeanOfFrame(video);
  std::string brightness, contrast;
  const LRESULT ok = WithUser([&] { return host::Send(source, DVM_DIALOG, 0, 0); }, "Video Capture Settings",
                              [&](HWND d) {
                                SendMessageA(d, WM_HSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0),
                                             reinterpret_cast<LPARAM>(GetDlgItem(d, kBrightnessScroll)));
                                TypeKeys(d, kContrastEdit, "70");
                                brightness = ItemText(d, kBrightnessEdit);
                                contrast = std::to_string(GetScrollPos(GetDlgItem(d, kContrastScroll), SB_CTL));
                                Click(d, IDOK);
                              });
  Report("settings dialog: OK answers 0", ok == 0, std::to_string(ok));
  Report("settings dialog: the slider's page moves brightness to 60", brightness == "60", brightness);
  Report("settings dialog: typing 70 key by key moves contrast's slider", contrast == "70", contrast);
  const double after = MeanOfFrame(video);
  Report("settings dialog: the next frame is brighter", after > before + 5.0,
         std::to_string(before) + " -> " + std::to_string(after));

  std::string shown;
  const LRESULT cancel = WithUser([&] { return host::Send(source, DVM_DIALOG, 0, 0); }, "Video Capture Settings",
                                  [&](HWND d) {
                                    TypeKeys(d, kBrightnessEdit, "5");
                                    Click(d, IDCANCEL);
                                  });
  WithUser([&] { return host::Send(source, DVM_DIALOG, 0, 0); }, "Video Capture Settings", [&](HWND d) {
    shown = ItemText(d, kBrightnessEdit);
    Click(d, IDCANCEL);
  });
  Report("settings dialog: Cancel puts back what was in force", cancel == 0 && shown == "60", shown);
}

void CheckFormatDialog(HDRVR video) {
  const LRESULT ok = WithUser([&] { return host::Send(video, DVM_DIALOG, 0, 0); }, "Video Format", [&](HWND d) {
    Click(d, 1054);  // 320 x 240
    Click(d, IDOK);
  });
  BITMAPINFOHEADER header{};
  VIDEOCONFIGPARMS parms{nullptr, &header, sizeof header, nullptr, 0};
  host::Send(video, DVM_FORMAT, VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT, reinterpret_cast<LPARAM>(&parms));
  Report("format dialog: OK applies 320 x 240", ok == 0 && header.biWidth == 320 && header.biHeight == 240,
         std::to_string(header.biWidth) + "x" + std::to_string(header.biHeight));
  const BITMAPINFOHEADER small = [] {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = 160;
    h.biHeight = 120;
    h.biPlanes = 1;
    h.biBitCount = 24;
    h.biSizeImage = 160 * 120 * 3;
    return h;
  }();
  VIDEOCONFIGPARMS set{nullptr, const_cast<BITMAPINFOHEADER*>(&small), sizeof small, nullptr, 0};
  host::Send(video, DVM_FORMAT, VIDEO_CONFIGURE_SET, reinterpret_cast<LPARAM>(&set));
}

void CheckDetailsDialog(const std::string& dll) {
  HDRVR configuration = host::Open(dll, "", 0);
  Report("configuration handle", configuration != nullptr);
  if (configuration == nullptr) return;
  std::string port, sensor;
  const LRESULT answer = WithUser(
      [&] { return host::Send(configuration, DRV_CONFIGURE, 0, 0); }, " Video Capture Driver", [&](HWND d) {
        for (int i = 0; i < 1000 && !IsWindowVisible(GetDlgItem(d, kDetailsPort)); ++i) Sleep(10);
        port = ItemText(d, kDetailsPort);
        sensor = ItemText(d, kDetailsSensor);
        Click(d, IDOK);
      });
  Report("details dialog: the port and its mode", answer == 1 && port == "LPT2 (ECP port)", port);
  Report("details dialog: the sensor", sensor == "Model A", sensor);
  host::Close(configuration);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: dialog_check <driver DLL> <work folder>\n");
    return 2;
  }
  std::filesystem::create_directories(argv[2]);
  const std::string dll = argv[1];
  const std::string ini = std::string(argv[2]) + "/dialogs.ini";
  std::filesystem::remove(ini);
  HDRVR source = OpenChannel(dll, ini, VIDEO_EXTERNALIN);
  HDRVR video = OpenChannel(dll, ini, VIDEO_IN);
  Report("open the external-in and video-in channels", source != nullptr && video != nullptr);
  if (source == nullptr || video == nullptr) return 1;
  CheckSourceDialog(source, video);
  CheckFormatDialog(video);
  host::Close(video);
  host::Close(source);  // the last close saves the settings
  Report("the settings file keeps what OK applied",
         host::ReadSetting("COLSPACE", "Brightness", ini) == "60" && host::ReadSetting("COLSPACE", "Contrast", ini) == "70",
         host::ReadSetting("COLSPACE", "Brightness", ini) + ", " + host::ReadSetting("COLSPACE", "Contrast", ini));
  CheckDetailsDialog(dll);
  return g_failed == 0 ? 0 : 1;
}
