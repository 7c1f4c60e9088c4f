// Draws every dialog of a driver DLL with the system's own dialog manager and
// saves each as a 24-bit BMP: dialog-<id>.bmp in the given folder. Run under
// Wine on a display (Xvfb will do); scripts/dialog-shots.sh turns the BMPs
// into PNGs.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kDialogs[] = {101, 104, 106, 108, 110, 102, 105, 107, 109, 111, 120, 121};

INT_PTR CALLBACK Quiet(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG ? TRUE : FALSE; }

void Pump() {
  MSG msg;
  for (int i = 0; i < 20; ++i) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  }
}

bool SaveBmp(HWND window, const std::string& path) {
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  // What the display shows: the frame and every control as drawn.
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + stride * h), 0, 0,
                        sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
  bool ok = false;
  if (FILE* out = std::fopen(path.c_str(), "wb")) {
    ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
         std::fwrite(bits, stride * h, 1, out) == 1;
    std::fclose(out);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: dialog_shots <driver DLL> <folder>\n");
    return 2;
  }
  HMODULE module = LoadLibraryA(argv[1]);
  if (module == nullptr) {
    std::fprintf(stderr, "cannot load %s\n", argv[1]);
    return 1;
  }
  int failed = 0;
  for (int id : kDialogs) {
    HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(id), nullptr, Quiet, 0);
    const std::string path = std::string(argv[2]) + "/dialog-" + std::to_string(id) + ".bmp";
    bool ok = false;
    if (dialog != nullptr) {
      SetWindowPos(dialog, HWND_TOPMOST, 10, 10, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
      RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
      Pump();
      ok = SaveBmp(dialog, path);
    }
    std::printf("dialog %d: %s\n", id, ok ? path.c_str() : "FAILED");
    if (!ok) ++failed;
    if (dialog != nullptr) DestroyWindow(dialog);
  }
  FreeLibrary(module);
  return failed == 0 ? 0 : 1;
}
