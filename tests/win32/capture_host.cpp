// A capture application in miniature: it opens the driver by library path
// through the platform's driver manager and does what capture programs do —
// both channel kinds, a format of every size class and a frame in every output
// format, the palette, the private messages, a stream delivered through a
// function callback, and the settings file the driver keeps. Each check prints
// "test <name>: OK" or "FAIL (why)", then "<n> passed, <n> failed".
//
//   capture_host <driver library> <work folder>      frames go to the folder
//   capture_host --no-device <driver library>        the open must be refused
//   capture_host --alias <alias> <work folder>        (Windows) the driver as its INF
//                                                     registered it, opened by alias
//
// The same program is built for Windows (winmm) and for Linux (the portable
// manager), so the frames both write can be compared byte for byte.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host_link.h"
#include "zarncap/formats.h"
#include "zarncap/messages.h"

namespace {

constexpr DWORD kFourccVcap = 0x70616376;  // 'vcap'
constexpr int kStreamFrames = 5;
constexpr int kStreamBuffers = 3;

int g_passed = 0;
int g_failed = 0;

void Report(const std::string& name, bool ok, const std::string& why = "") {
  std::printf("test %s: %s%s\n", name.c_str(), ok ? "OK" : "FAIL", ok || why.empty() ? "" : (" (" + why + ")").c_str());
  ++(ok ? g_passed : g_failed);
}

template <typename T>
LPARAM P(T* pointer) {
  return reinterpret_cast<LPARAM>(pointer);
}

VIDEO_OPEN_PARMS OpenParms(DWORD kind) {
  VIDEO_OPEN_PARMS parms{};
  parms.dwSize = sizeof parms;
  parms.fccType = kFourccVcap;
  parms.dwFlags = kind;
  parms.dwError = 0xFFFF;
  return parms;
}

struct OutputFormat {
  const char* name;
  DWORD compression;
  WORD bitCount;
  LONG width;
  LONG height;
};

// A frame of every output format, and every size class: double, full, half,
// the 176x144 size and a strip.
constexpr OutputFormat kFormats[] = {
    {"rgb24", BI_RGB, 24, 640, 480},
    {"rgb24", BI_RGB, 24, 320, 240},
    {"rgb24", BI_RGB, 24, 160, 120},
    {"rgb24", BI_RGB, 24, 176, 144},
    {"rgb24", BI_RGB, 24, 320, 56},
    {"rgb16", BI_RGB, 16, 320, 240},
    {"rgb16", BI_RGB, 16, 160, 120},
    {"pal8", BI_RGB, 8, 160, 120},
    {"pal8", BI_RGB, 8, 176, 144},
    {"i420", FOURCC_I420, 12, 160, 120},
    {"i420", FOURCC_I420, 12, 176, 144},
    {"iyuv", FOURCC_IYUV, 12, 160, 120},
    {"yv12", FOURCC_YV12, 12, 160, 120},
    {"yuy2", FOURCC_YUY2, 16, 160, 120},
    {"yvu9", FOURCC_YVU9, 9, 160, 120},
};

BITMAPINFOHEADER Header(const OutputFormat& f) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = f.width;
  header.biHeight = f.height;
  header.biPlanes = 1;
  header.biBitCount = f.bitCount;
  header.biCompression = f.compression;
  header.biSizeImage = static_cast<DWORD>(f.width * f.height * f.bitCount / 8);
  return header;
}

std::string FrameName(const OutputFormat& f) {
  return std::string(f.name) + "-" + std::to_string(f.width) + "x" + std::to_string(f.height);
}

// Sets the format, reads it back and takes one frame into <folder>/<name>.bin.
void CheckFrame(HDRVR video, const OutputFormat& f, const std::string& folder) {
  const std::string name = "frame " + FrameName(f);
  BITMAPINFOHEADER wanted = Header(f);
  VIDEOCONFIGPARMS set{nullptr, &wanted, sizeof wanted, nullptr, 0};
  LRESULT r = host::Send(video, DVM_FORMAT, VIDEO_CONFIGURE_SET, P(&set));
  if (r != DV_ERR_OK) return Report(name, false, "format refused with " + std::to_string(r));
  BITMAPINFOHEADER current{};
  VIDEOCONFIGPARMS get{nullptr, &current, sizeof current, nullptr, 0};
  r = host::Send(video, DVM_FORMAT, VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT, P(&get));
  if (r != DV_ERR_OK || current.biWidth != f.width || current.biHeight != f.height ||
      current.biBitCount != f.bitCount || current.biSizeImage != wanted.biSizeImage) {
    return Report(name, false, "format read back differs");
  }
  std::vector<BYTE> buffer(current.biSizeImage, 0xEE);
  VIDEOHDR header{};
  header.lpData = buffer.data();
  header.dwBufferLength = static_cast<DWORD>(buffer.size());
  header.dwFlags = VHDR_PREPARED;
  r = host::Send(video, DVM_FRAME, P(&header));
  if (r != DV_ERR_OK) return Report(name, false, "DVM_FRAME answered " + std::to_string(r));
  if (header.dwBytesUsed != current.biSizeImage) {
    return Report(name, false, std::to_string(header.dwBytesUsed) + " bytes used of " +
                                   std::to_string(current.biSizeImage));
  }
  std::ofstream(folder + "/" + FrameName(f) + ".bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
  Report(name, true);
}

void CheckPalette(HDRVR video) {
  DWORD size = 0;
  VIDEOCONFIGPARMS query{&size, nullptr, 0, nullptr, 0};
  LRESULT r = host::Send(video, DVM_PALETTE, VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_QUERYSIZE, P(&query));
  if (r != DV_ERR_OK || size != 1028) return Report("palette", false, "size query gave " + std::to_string(size));
  std::vector<BYTE> palette(size);
  VIDEOCONFIGPARMS get{nullptr, palette.data(), size, nullptr, 0};
  r = host::Send(video, DVM_PALETTE, VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT, P(&get));
  const auto* log = reinterpret_cast<const LOGPALETTE*>(palette.data());
  if (r != DV_ERR_OK || log->palVersion != 0x300 || log->palNumEntries != 256) {
    return Report("palette", false, "get answered " + std::to_string(r));
  }
  VIDEOCONFIGPARMS set{nullptr, palette.data(), size, nullptr, 0};
  r = host::Send(video, DVM_PALETTE, VIDEO_CONFIGURE_SET, P(&set));
  Report("palette", r == DV_ERR_OK, "set answered " + std::to_string(r));
}

void CheckPrivateMessages(HDRVR video) {
  char text[64] = "untouched";
  PrivateTextRecord version{text, sizeof text, 77};
  LRESULT r = host::Send(video, kPrivateVersionText, P(&version));
  Report("private version text", r == 0 && version.result == 0 && std::strcmp(text, ZARNCAP_VERSION) == 0,
         std::string("got '") + text + "'");
  PrivateValueRecord kind{77, 77};
  r = host::Send(video, kPrivateSensorKind, P(&kind));
  Report("private sensor kind", r == 0 && kind.result == 0 && kind.value <= 1,
         "answered " + std::to_string(r) + ", kind " + std::to_string(kind.value));
}

struct StreamLog {
  std::atomic<int> opened{0};
  std::atomic<int> data{0};
  std::atomic<int> errors{0};
  std::atomic<int> closed{0};
  std::atomic<int> all{0};
};

void CALLBACK OnStream(HDRVR, UINT msg, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto* log = reinterpret_cast<StreamLog*>(user);
  ++log->all;
  if (msg == MM_DRVM_OPEN) ++log->opened;
  if (msg == MM_DRVM_DATA) ++log->data;
  if (msg == MM_DRVM_ERROR) ++log->errors;
  if (msg == MM_DRVM_CLOSE) ++log->closed;
}

// A stream of 160x120 RGB24 frames through a function callback; after the
// stream is closed nothing more may arrive.
void CheckStream(HDRVR video) {
  const OutputFormat f{"rgb24", BI_RGB, 24, 160, 120};
  BITMAPINFOHEADER format = Header(f);
  VIDEOCONFIGPARMS set{nullptr, &format, sizeof format, nullptr, 0};
  if (host::Send(video, DVM_FORMAT, VIDEO_CONFIGURE_SET, P(&set)) != DV_ERR_OK) {
    return Report("stream", false, "format refused");
  }
  StreamLog log;
  VIDEO_STREAM_INIT_PARMS init{};
  init.dwMicroSecPerFrame = 66666;
  init.dwCallback = reinterpret_cast<DWORD_PTR>(&OnStream);
  init.dwCallbackInst = reinterpret_cast<DWORD_PTR>(&log);
  init.dwFlags = CALLBACK_FUNCTION;
  init.hVideo = reinterpret_cast<DWORD_PTR>(video);
  LRESULT r = host::Send(video, DVM_STREAM_INIT, P(&init), sizeof init);
  if (r != DV_ERR_OK) return Report("stream", false, "init answered " + std::to_string(r));
  std::vector<std::vector<BYTE>> buffers(kStreamBuffers, std::vector<BYTE>(160 * 120 * 3));
  std::vector<VIDEOHDR> headers(kStreamBuffers);
  for (int i = 0; i < kStreamBuffers; ++i) {
    headers[i].lpData = buffers[i].data();
    headers[i].dwBufferLength = static_cast<DWORD>(buffers[i].size());
    // A driver that leaves preparing to the host says so; the host then marks
    // the header itself, as the platform's capture library does.
    if (host::Send(video, DVM_STREAM_PREPAREHEADER, P(&headers[i]), sizeof(VIDEOHDR)) == DV_ERR_NOTSUPPORTED) {
      headers[i].dwFlags |= VHDR_PREPARED;
    }
    r = host::Send(video, DVM_STREAM_ADDBUFFER, P(&headers[i]), sizeof(VIDEOHDR));
    if (r != DV_ERR_OK) return Report("stream", false, "add buffer answered " + std::to_string(r));
  }
  host::Send(video, DVM_STREAM_START);
  // Done buffers go back into the queue, as a capture program recycles them.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (log.data < kStreamFrames && std::chrono::steady_clock::now() < deadline) {
    for (auto& h : headers) {
      if ((h.dwFlags & VHDR_DONE) != 0) host::Send(video, DVM_STREAM_ADDBUFFER, P(&h), sizeof(VIDEOHDR));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  host::Send(video, DVM_STREAM_STOP);
  host::Send(video, DVM_STREAM_RESET);
  for (auto& h : headers) {
    if (host::Send(video, DVM_STREAM_UNPREPAREHEADER, P(&h), sizeof(VIDEOHDR)) == DV_ERR_NOTSUPPORTED) {
      h.dwFlags &= ~VHDR_PREPARED;
    }
  }
  r = host::Send(video, DVM_STREAM_FINI);
  const int afterClose = log.all;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Report("stream through a function callback", log.opened == 1 && log.data >= kStreamFrames && log.errors == 0,
         std::to_string(log.opened) + " open, " + std::to_string(log.data) + " data, " + std::to_string(log.errors) +
             " errors");
  Report("stream closed, no callback after", r == DV_ERR_OK && log.closed == 1 && log.all == afterClose,
         "fini answered " + std::to_string(r) + ", " + std::to_string(log.all - afterClose) + " late callbacks");
}

int RunCaptureChecks(const std::string& library, const std::string& folder) {
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  const std::string ini = folder + "/host.ini";
  std::remove(ini.c_str());
  const std::string text = "LPT2 " + ini;
  VIDEO_OPEN_PARMS sourceParms = OpenParms(VIDEO_EXTERNALIN);
  HDRVR source = host::Open(library, text, P(&sourceParms));
  Report("open external-in channel", source != nullptr, "dwError " + std::to_string(sourceParms.dwError));
  VIDEO_OPEN_PARMS videoParms = OpenParms(VIDEO_IN);
  HDRVR video = host::Open(library, text, P(&videoParms));
  Report("open video-in channel", video != nullptr, "dwError " + std::to_string(videoParms.dwError));
  if (video != nullptr) {
    DWORD apiVersion = 0;
    host::Send(video, DVM_GETVIDEOAPIVER, P(&apiVersion));
    Report("video API version", apiVersion == 0x50, std::to_string(apiVersion));
    for (const OutputFormat& f : kFormats) CheckFrame(video, f, folder);
    CheckPalette(video);
    CheckPrivateMessages(video);
    CheckStream(video);
  }
  if (video != nullptr) host::Close(video);
  if (source != nullptr) host::Close(source);
  // The last close saves the port the session open named, in the file it named.
  const std::string port = host::ReadSetting("ZARNCAP", "LPT_Port", ini);
  Report("settings file keeps the port", port == "2", "LPT_Port is '" + port + "'");
  return g_failed == 0 ? 0 : 1;
}

int RunNoDeviceCheck(const std::string& library) {
  VIDEO_OPEN_PARMS parms = OpenParms(VIDEO_IN);
  HDRVR video = host::Open(library, "LPT1", P(&parms));
  Report("open without a port device is refused", video == nullptr);
  if (video != nullptr) host::Close(video);
  return g_failed == 0 ? 0 : 1;
}

#ifdef _WIN32
// The driver as an installed driver is met: winmm finds the DLL behind the
// alias in Drivers32 (or system.ini), and one frame comes through.
int RunAliasCheck(const std::string& alias, const std::string& folder) {
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  const std::wstring name(alias.begin(), alias.end());
  VIDEO_OPEN_PARMS parms = OpenParms(VIDEO_IN);
  HDRVR video = ::OpenDriver(name.c_str(), L"Drivers32", P(&parms));
  Report("open video-in channel by the alias " + alias, video != nullptr, "dwError " + std::to_string(parms.dwError));
  if (video != nullptr) {
    CheckFrame(video, kFormats[1], folder);
    host::Close(video);
  }
  return g_failed == 0 ? 0 : 1;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  int status = 2;
  if (argc == 3 && std::string(argv[1]) == "--no-device") {
    status = RunNoDeviceCheck(argv[2]);
#ifdef _WIN32
  } else if (argc == 4 && std::string(argv[1]) == "--alias") {
    status = RunAliasCheck(argv[2], argv[3]);
#endif
  } else if (argc == 3) {
    status = RunCaptureChecks(argv[1], argv[2]);
  } else {
    std::fprintf(stderr, "usage: capture_host <driver library> <work folder> | --no-device <driver library>\n");
    return 2;
  }
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return status;
}
