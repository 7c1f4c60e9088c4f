// Opening the driver for a command.
#include "tools/zarncap/host/session.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/portable/driver_library.h"
#include "tools/zarncap/host/camera_spec.h"
#include "tools/zarncap/host/library_path.h"
#include "tools/zarncap/host/settings_path.h"
#include "tools/zarncap/host/source_controls.h"
#include "tools/zarncap/common/tool_error.h"

namespace zarncap {

namespace {

// A recording or a replay lives in the driver library for as long as it is
// loaded, and a run may open the driver several times: the library stays
// loaded from the first such open to the end of the process, so every open
// adds to the one recording and the replay goes on where the last open left it.
void KeepDriverLoaded(const std::string& library) {
  static void* kept = nullptr;
  if (kept != nullptr) return;
  platform::DRIVERPROC proc = nullptr;
  std::string error;
  kept = platform::LoadDriverLibrary(library, &proc, &error);
}

// --record's file must be writable before the driver is asked to write it.
void CheckRecordingPath(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) throw ToolError("cannot record to " + path + ": " + std::strerror(errno), kExitUsage);
  std::fclose(file);
}

}  // namespace

GlobalOptions ForSecondChannel(GlobalOptions global) {
  global.trace = false;
  global.resetColour = false;
  return global;
}

Session::Session(const GlobalOptions& global, const Host& host, DWORD channel) : host_(host) {
  // The port device reads ZARNCAP_CAMERA when the driver opens it, after the
  // library has loaded; setting it first is all it takes. Without --camera the
  // environment's choice holds.
  if (!global.camera.empty()) ::setenv("ZARNCAP_CAMERA", global.camera.c_str(), 1);
  const char* environment = std::getenv("ZARNCAP_CAMERA");
  const std::string cameraSpec =
      !global.camera.empty() ? global.camera : (environment != nullptr && *environment != '\0' ? environment : "sim");

  if (auto problem = CameraSpecProblem(cameraSpec); !problem.empty()) throw ToolError(problem, kExitUsage);
  // With --trace the parallel port logs its requests beside the driver's messages.
  if (global.trace && WithPortTrace(cameraSpec) != cameraSpec) {
    ::setenv("ZARNCAP_CAMERA", WithPortTrace(cameraSpec).c_str(), 1);
  }

  if (!global.record.empty()) {
    CheckRecordingPath(global.record);
    ::setenv("ZARNCAP_RECORD", global.record.c_str(), 1);
  }

  std::string iniForDriver = OpenStringIniPath(global.ini);
  if (auto problem = SettingsFileProblem(global.ini); !problem.empty()) {
    throw ToolError("cannot keep settings in " + global.ini + ": " + problem);
  }
  if (global.resetColour) {
    // The driver keeps the gains its white balance settles on; one run on an
    // odd scene would tint every later one without this way back.
    const std::string path = ResolveSettingsPath(global.ini);
    for (const char* key : {"RedGain", "GreenGain", "BlueGain"}) {
      if (!platform::WritePrivateProfileString("COLSPACE", key, "10", path.c_str())) {
        throw ToolError("cannot reset the colour gains in " + path);
      }
    }
  }
  gainsAtOpen_ = WhiteBalanceGains(ResolveSettingsPath(global.ini));
  if (!global.ini.empty()) {
    if (auto problem = OpenStringProblem(iniForDriver, !global.port.empty()); !problem.empty()) {
      throw ToolError("cannot pass the settings file " + global.ini + " to the driver: " + problem, kExitUsage);
    }
  }
  if (global.trace) {
    trace_.emplace(ResolveSettingsPath(global.ini));
    iniForDriver = trace_->CopyPath();
  }

  OpenRequest request;
  request.proc = host.proc;
  request.library = host.library.empty() ? LocateDriverLibrary() : host.library;
  if (host.proc == nullptr && (!global.record.empty() || cameraSpec.rfind("replay:", 0) == 0)) {
    KeepDriverLoaded(request.library);
  }
  request.openString = BuildOpenString(global.port, iniForDriver);
  request.channel = channel;
  request.cameraSpec = cameraSpec;
  Detail(host, "driver %s, camera %s, open text '%s'", host.proc != nullptr ? "(in process)" : request.library.c_str(),
         cameraSpec.c_str(), request.openString.c_str());
  try {
    link_ = std::make_unique<DriverLink>(request);
  } catch (const ToolError&) {
    // A failed open may still have written settings (the 4-bit retry does):
    // they belong in the user's file all the same.
    try {
      Finish();
    } catch (const ToolError& error) {
      Say(host_, host_.err, "zarncap: warning: %s\n", error.what());
    }
    throw;
  }
}

Session::~Session() {
  try {
    Finish();
  } catch (const ToolError& error) {
    Say(host_, host_.err, "zarncap: warning: %s\n", error.what());
  }
}

void Session::Finish() {
  if (link_) link_->Close();
  if (trace_) {
    // Carried back once, even if that fails: the copy goes with trace_.
    struct Reset {
      std::optional<TraceSettings>& trace;
      ~Reset() { trace.reset(); }
    } reset{trace_};
    trace_->CarryBack();
  }
}

}  // namespace zarncap
