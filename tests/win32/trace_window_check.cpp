// The "Driver Message Trace" window as Windows makes it: the test DLL opened
// through winmm with the trace bit in its settings, the window found by its
// caption and read through its list box and system menu, as a user sees it.
// Prints "test <name>: OK" or "FAIL (why)" per check.
//
//   trace_window_check <driver DLL> <work folder>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "host_link.h"

namespace {

constexpr DWORD kFourccVcap = 0x70616376;  // 'vcap'
constexpr UINT kPause = 100;
constexpr int kListBox = 1200;
int g_failed = 0;

void Report(const std::string& name, bool ok, const std::string& why = "") {
  std::printf("test %s: %s%s\n", name.c_str(), ok ? "OK" : "FAIL", ok || why.empty() ? "" : (" (" + why + ")").c_str());
  if (!ok) ++g_failed;
}

// The host's message loop: the trace lines arrive through it.
void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

LRESULT List(HWND window, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
  return SendDlgItemMessageA(window, kListBox, msg, wParam, lParam);
}

std::string LastLine(HWND window) {
  char text[512] = {};
  const LRESULT count = List(window, LB_GETCOUNT);
  if (count > 0) List(window, LB_GETTEXT, static_cast<WPARAM>(count - 1), reinterpret_cast<LPARAM>(text));
  return text;
}

void CheckWindow(HDRVR video, HWND window) {
  Report("trace window belongs to the opening thread",
         GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId());
  Report("first line names the open", LastLine(window) == "Video Open : VIDEO_IN ok", LastLine(window));

  HMENU menu = GetSystemMenu(window, FALSE);
  const int items = GetMenuItemCount(menu);
  const UINT breakItem = GetMenuState(menu, static_cast<UINT>(items - 2), MF_BYPOSITION);
  char pauseText[32] = {};
  GetMenuStringA(menu, kPause, pauseText, sizeof pauseText, MF_BYCOMMAND);
  Report("system menu ends with a break and \"&Pause\"",
         breakItem != static_cast<UINT>(-1) && (breakItem & MF_MENUBREAK) != 0 && std::string(pauseText) == "&Pause",
         pauseText);
  Report("Close is grey", (GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED) != 0);

  DWORD version = 0;
  for (int i = 0; i < 250; ++i) host::Send(video, DVM_GETVIDEOAPIVER, reinterpret_cast<LPARAM>(&version));
  Pump();
  Report("list keeps the newest 200 and selects the last",
         List(window, LB_GETCOUNT) == 200 && List(window, LB_GETCURSEL) == 199,
         std::to_string(List(window, LB_GETCOUNT)) + " lines");

  SendMessageA(window, WM_SYSCOMMAND, kPause, 0);
  const bool checked = (GetMenuState(menu, kPause, MF_BYCOMMAND) & MF_CHECKED) != 0;
  host::Send(video, DVM_STREAM_GETERROR);  // traced while paused: dropped
  Pump();
  SendMessageA(window, WM_SYSCOMMAND, kPause, 0);
  Report("pause drops lines and checks \"&Pause\"",
         checked && LastLine(window) == "DVM_GETVIDEOAPIVER - ok" &&
             (GetMenuState(menu, kPause, MF_BYCOMMAND) & MF_CHECKED) == 0,
         LastLine(window));

  MoveWindow(window, 20, 20, 500, 300, TRUE);
  RECT client{}, list{};
  GetClientRect(window, &client);
  GetWindowRect(GetDlgItem(window, kListBox), &list);  // scroll bars and border included
  Report("list fills the resized window",
         list.right - list.left == client.right && list.bottom - list.top == client.bottom,
         std::to_string(list.right - list.left) + "x" + std::to_string(list.bottom - list.top) + " in " +
             std::to_string(client.right) + "x" + std::to_string(client.bottom));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: trace_window_check <driver DLL> <work folder>\n");
    return 2;
  }
  std::filesystem::create_directories(argv[2]);
  const std::string ini = std::string(argv[2]) + "/trace.ini";
  std::ofstream(ini) << "[ZARNCAP]\nDebugLevel=32\n";
  VIDEO_OPEN_PARMS parms{};
  parms.dwSize = sizeof parms;
  parms.fccType = kFourccVcap;
  parms.dwFlags = VIDEO_IN;
  HDRVR video = host::Open(argv[1], "LPT2 " + ini, reinterpret_cast<LPARAM>(&parms));
  Report("open with the trace bit", video != nullptr, "dwError " + std::to_string(parms.dwError));
  if (video == nullptr) return 1;
  Pump();
  HWND window = FindWindowA(nullptr, "Driver Message Trace");
  Report("trace window shown", window != nullptr && IsWindowVisible(window));
  if (window != nullptr) CheckWindow(video, window);
  host::Close(video);
  Report("window goes with the last channel", window != nullptr && !IsWindow(window));
  return g_failed == 0 ? 0 : 1;
}
