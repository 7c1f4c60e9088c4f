// zarncap check: a bring-up run for the camera at hand, through the driver as
// any capture application uses it. Each step opens the driver afresh on a
// private copy of the user's settings file (so forcing a port mode or moving
// a control never touches the user's file), with the driver's message boxes
// switched on and read back from its output instead of shown.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "parport/register.h"
#include "platform/platform.h"
#include "tools/zarncap/commands/check_report.h"
#include "tools/zarncap/commands/commands.h"
#include "tools/zarncap/commands/picture_check.h"
#include "tools/zarncap/commands/still_frame.h"
#include "tools/zarncap/host/stream_session.h"
#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/host/camera_details.h"
#include "tools/zarncap/host/camera_spec.h"
#include "tools/zarncap/host/driver_output.h"
#include "tools/zarncap/host/format_table.h"
#include "tools/zarncap/host/negotiate.h"
#include "tools/zarncap/host/session.h"
#include "tools/zarncap/host/settings_path.h"
#include "tools/zarncap/host/source_controls.h"
#include "tools/zarncap/host/trace_settings.h"
#include "tools/zarncap/media/frame_convert.h"
#include "tools/zarncap/media/still_writers.h"
#include "zarncap/messages.h"

namespace zarncap {
namespace {

namespace fs = std::filesystem;

// "DebugLevel" bits: the message boxes of a failed open (0x01), of a failed
// device set-up (0x04) and of EEPROM errors (0x40); the trace (0x20); the
// forced modes (0x08 bidirectional, 0x10 4-bit).
constexpr unsigned kMessageBits = 0x01 | 0x04 | 0x40;
constexpr unsigned kForceBidirectional = 0x08;
constexpr unsigned kForce4Bit = 0x10;

constexpr int kModeFrames = 5;
constexpr int kSettleFrames = 8;
constexpr int kStreamFrames = 60;
constexpr double kStreamFps = 15.0;
constexpr double kSlowestShare = 0.8;  // a stream below this share of the asked rate fails
constexpr double kBrightnessStep = 8.0;  // the mean must move at least this far

// A frame that does not come, or stops halfway.
constexpr const char* kCableFix =
    "the camera stops sending: check that the cable is firmly seated at both ends, no longer than 3 m and without a "
    "switch box, and the camera's power; try 4-bit mode (Force4Bit=1 in section ZARNCAP of the settings file)";

const std::vector<std::string> kDriverCaptions = {"DBG_NOCAMERA", "DBG_INITNUBO",   "OpenEEPROM()", "GetDefectSegment()",
                                                  "ZARNCAP_CAMERA", "ZARNCAP_RECORD", "replay",       "DetectZarncam()"};

std::string ReadWhole(const std::string& path, bool* exists) {
  std::ifstream in(path, std::ios::binary);
  *exists = static_cast<bool>(in);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

double Elapsed(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// What the driver said during a step, as one clause: "DBG_INITNUBO: ..."; "" when nothing.
std::string SaidByDriver(const std::string& output) {
  std::string said;
  for (const std::string& line : MessageBoxLines(output, kDriverCaptions)) said += (said.empty() ? "" : "; ") + line;
  return said;
}

// One still: the format set, settle frames taken, the last one as top-down RGB.
struct Still {
  Negotiated format;
  std::vector<uint8_t> rgb;
  double msPerFrame = 0;
};

Still TakeStill(DriverLink& link, const PixelFormat& format, const std::vector<std::pair<int, int>>& sizes, int frames,
                const Host& host) {
  std::pair<int, int> size = sizes.back();
  for (const auto& candidate : sizes) {
    if (link.SetFormat(MakeFormatHeader(format, candidate.first, candidate.second)) == DV_ERR_OK) {
      size = candidate;
      break;
    }
  }
  Still still;
  still.format = NegotiateFormat(link, format, size.first, size.second);
  std::vector<uint8_t> buffer(still.format.bufferBytes);
  VIDEOHDR header{};
  header.lpData = buffer.data();
  header.dwBufferLength = static_cast<DWORD>(buffer.size());
  const auto start = std::chrono::steady_clock::now();
  for (int i = 1; i <= frames; ++i) CaptureStillFrame(link, &header, i, host);
  still.msPerFrame = Elapsed(start) * 1000.0 / frames;
  Frame frame;
  frame.format = &format;
  frame.width = size.first;
  frame.height = size.second;
  frame.data = std::span<const uint8_t>(buffer.data(), still.format.frameBytes);
  still.rgb.resize(static_cast<size_t>(size.first) * static_cast<size_t>(size.second) * 3);
  if (!FrameToRgb24(frame, still.rgb)) throw ToolError("the frame from the driver is incomplete");
  return still;
}

class CheckRun {
 public:
  CheckRun(const GlobalOptions& global, const CheckOptions& options, const Host& host)
      : global_(global), original_(global), options_(options), host_(host) {
    const char* environment = std::getenv("ZARNCAP_CAMERA");
    camera_ = !global.camera.empty() ? global.camera
                                     : (environment != nullptr && *environment != '\0' ? environment : "sim");
    char pattern[] = "/tmp/zarncap-check-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw ToolError("cannot make a folder for the check's settings");
    folder_ = pattern;
    userSettings_ = ResolveSettingsPath(global.ini);
    userBefore_ = ReadWhole(userSettings_, &userExisted_);
    copy_ = folder_ + "/zarncap.ini";
    std::ofstream(copy_, std::ios::binary) << userBefore_;
    userForce4Bit_ = false;
    userLevel_ = ReadDebugLevel(userBefore_);
    userForce4Bit_ = platform::GetPrivateProfileInt("ZARNCAP", "Force4Bit", 0, copy_.c_str()) != 0;
    if (!options.report.empty() && global.record.empty()) global_.record = folder_ + "/port-traffic.pcapng";
  }
  ~CheckRun() {
    // The report's recording was this run's; later runs in the process record only when asked.
    if (global_.record != original_.record) ::unsetenv("ZARNCAP_RECORD");
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  int Run() {
    Step("ports", [this](CheckStep& step) { Ports(step); });
    Step("port", [this](CheckStep& step) { Open(step); });
    Step("identity", [this](CheckStep& step) { Identity(step); });
    Step("mode ECP", [this](CheckStep& step) { Mode(step, "ECP", 0, false); });
    Step("mode bidirectional", [this](CheckStep& step) { Mode(step, "Bidirectional", kForceBidirectional, false); });
    Step("mode 4-bit", [this](CheckStep& step) { Mode(step, "4 bit", kForce4Bit, true); });
    Step("still rgb24", [this](CheckStep& step) { StillStep(step, "rgb24", {{324, 244}, {320, 240}, {160, 120}}); });
    Step("still i420", [this](CheckStep& step) { StillStep(step, "i420", {{176, 144}, {160, 120}}); });
    Step("stream", [this](CheckStep& step) { StreamStep(step); });
    Step("controls", [this](CheckStep& step) { Controls(step); });
    std::string archive;
    if (!options_.report.empty()) archive = WriteReport();
    if (options_.json) {
      std::fprintf(host_.out, "%s\n", CheckJson(camera_, steps_, archive).c_str());
    } else {
      std::fprintf(host_.out, "%s\n", CheckSummary(steps_).c_str());
      if (!archive.empty()) std::fprintf(host_.out, "check: report written to %s\n", archive.c_str());
    }
    return CheckExitStatus(steps_);
  }

 private:
  // Runs one step: its line is started before it runs, so a stall shows where.
  void Step(const std::string& name, const std::function<void(CheckStep&)>& body) {
    CheckStep step;
    step.name = name;
    if (!options_.json) {
      std::fputs(StepLead(name).c_str(), host_.out);
      std::fflush(host_.out);
    }
    if (!skipReason_.empty() && name != "ports" && name != "port") {
      step.status = StepStatus::Skip;
      step.reason = skipReason_;
    } else {
      DriverOutputCapture capture;
      try {
        body(step);
      } catch (const ToolError& error) {
        step.status = StepStatus::Fail;
        step.reason = error.what();
        if (step.fix.empty()) step.fix = "send the report of `zarncap check --report DIR`";
      }
      const std::string output = capture.Stop();
      driverOutput_ += output;
      if (step.status == StepStatus::Fail) {
        const std::string said = SaidByDriver(output);
        if (!said.empty() && step.reason.find(said) == std::string::npos) step.reason += " (the driver said: " + said + ")";
      }
    }
    if (!options_.json) {
      std::fprintf(host_.out, "%s\n", StepEnd(step).c_str());
      std::fflush(host_.out);
    }
    steps_.push_back(step);
  }

  // The options for a driver open on the settings copy with these mode bits
  // (and Force4Bit when asked).
  GlobalOptions Driver(unsigned modeBits, bool force4Bit) {
    unsigned level = (userLevel_ & ~(kForceBidirectional | kForce4Bit)) | kMessageBits | modeBits;
    if (!options_.report.empty()) level |= kTraceBit;
    if (modeBits == 0) level |= userLevel_ & (kForceBidirectional | kForce4Bit);
    platform::WritePrivateProfileString("ZARNCAP", "DebugLevel", std::to_string(level).c_str(), copy_.c_str());
    const bool force = force4Bit || (modeBits == 0 && userForce4Bit_);
    platform::WritePrivateProfileString("ZARNCAP", "Force4Bit", force ? "1" : "0", copy_.c_str());
    GlobalOptions global = global_;
    global.ini = copy_;
    global.trace = false;
    global.resetColour = false;
    return global;
  }
  void Ports(CheckStep& step) {
    if (camera_.rfind("parport", 0) != 0) {
      step.reason = "not needed: the camera is '" + camera_ + "', no kernel parallel port";
      return;
    }
    const parallel::PortsSurvey survey = parallel::SurveyPorts();
    if (!survey.listed) {
      step.status = StepStatus::Fail;
      step.reason = survey.listError;
      step.fix = "load the kernel's parallel-port driver (sudo modprobe ppdev) and run zarncap ports";
      return;
    }
    // Ports reached by direct I/O are never searched; the kernel's (ppdev) are what counts.
    std::string usable, problems;
    for (const parallel::PortSurvey& port : survey.ports) {
      std::string modes;
      for (const std::string& capability : port.capabilities) modes += (modes.empty() ? "" : " ") + capability;
      if (port.usable) {
        usable += (usable.empty() ? "" : "; ") + port.name + " [" + modes + "] claimable, " +
                  (port.deviceId.empty() ? "no device ID" : "device " + port.deviceId);
      } else if (port.access != "direct I/O" && !port.problem.empty()) {
        problems += (problems.empty() ? "" : "; ") + port.name + ": " + port.problem;
      }
    }
    if (usable.empty()) {
      step.status = StepStatus::Fail;
      step.reason = problems.empty() ? "no parallel port offered by the kernel (no /dev/parportN)" : problems;
      step.fix = problems.empty() ? "sudo modprobe ppdev (a machine without a parallel port needs a parallel-port "
                                    "card); then zarncap ports"
                                  : "sudo adduser $USER lp (log in again) when the port is not yours to open; then "
                                    "zarncap ports";
      return;
    }
    step.reason = usable;
  }

  // The details dialog as the driver shows it with the camera open (from
  // memory: without an open device it would search on its own, on its
  // default settings file).
  CameraDetails DetailsWhileOpen(const GlobalOptions& global) {
    Session config(ForSecondChannel(global), host_, 0);
    CameraDetails details = ReadCameraDetails(config.Link());
    config.Finish();
    return details;
  }

  void Open(CheckStep& step) {
    // Unless the open succeeds, nothing after it can run.
    skipReason_ = "no camera";
    const GlobalOptions global = Driver(0, false);
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<Session> session;
    try {
      session = std::make_unique<Session>(global, host_);
    } catch (const ToolError& error) {
      step.status = StepStatus::Fail;
      if (std::string(error.what()).find("no camera found") == std::string::npos) {
        skipReason_ = "the driver could not open the camera";
        throw;
      }
      step.reason = "no camera answered on LPT1, LPT2 or LPT3";
      step.fix = "plug the camera in firmly and give it power, check the cable, and see that zarncap ports lists the "
                 "port with the camera's device ID";
      return;
    }
    const double took = Elapsed(start);
    const CameraDetails details = DetailsWhileOpen(global);
    step.subject = details.port;
    model_ = details.Model();
    DWORD kind = 0;
    DWORD result = 0;
    sensorAnswer_ = session->Link().SendPrivate(kPrivateSensorKind, reinterpret_cast<DWORD_PTR>(&kind), &result);
    sensorKind_ = kind;
    session->Finish();
    skipReason_.clear();
    step.reason = details.mode + " port" + (details.modeForced ? " (forced)" : "") + ", opened in " + Seconds(took);
  }

  void Identity(CheckStep& step) {
    // What the open said about the EEPROM: its message boxes are on for the check.
    const std::vector<std::string> eeprom = MessageBoxLines(driverOutput_, {"OpenEEPROM()", "GetDefectSegment()"});
    const std::string camera = model_ + ", sensor kind " + std::to_string(sensorKind_);
    if (sensorAnswer_ != DV_ERR_OK) {
      step.status = StepStatus::Fail;
      step.reason = camera + ": the sensor kind could not be read (" + VideoErrorText(sensorAnswer_) + ")";
      step.fix = "send the report of `zarncap check --report DIR`";
      return;
    }
    for (const std::string& line : eeprom) {
      step.status = StepStatus::Fail;
      const bool checksum = line.find("checksum") != std::string::npos;
      step.reason = camera + (checksum ? ": the defect map in the EEPROM fails its checksum (" + line + ")"
                                       : ": the EEPROM does not answer (" + line + ")");
      step.fix = checksum ? "store the camera's defect map again (zarncap defects --store FILE); pictures work, but "
                            "defect pixels are not repaired until then"
                          : "the camera's EEPROM or its bus is faulty; pictures work without defect repair: send the "
                            "report of `zarncap check --report DIR`";
      return;
    }
    step.reason = camera + ", EEPROM and defect map read, checksums good";
  }

  void Mode(CheckStep& step, const std::string& mode, unsigned bits, bool force4Bit) {
    const GlobalOptions global = Driver(bits, force4Bit);
    Session session(global, host_);
    const CameraDetails details = DetailsWhileOpen(global);
    // Byte-wide reads that come back wrong make the driver's set-up fail, and
    // the driver then falls back to 4-bit mode on its own.
    const std::string byteFix = "the port cannot read byte-wide: set it to ECP or PS/2 (bidirectional) in the BIOS "
                                "set-up; meanwhile the camera works in 4-bit mode (Force4Bit=1 in section ZARNCAP)";
    if (details.mode != mode) {
      if (bits == 0) {
        step.status = StepStatus::Skip;
        step.reason = "the port or the camera offers no ECP (the driver chose " + details.mode + ")";
        return;
      }
      step.status = StepStatus::Fail;
      step.reason = "the camera could not be set up in " + mode + " mode; the driver fell back to " + details.mode +
                    " mode";
      step.fix = byteFix;
      return;
    }
    const Still still = TakeFrameStill(step, session.Link(), {{160, 120}}, kModeFrames);
    const PictureVerdict verdict = JudgePicture(still.rgb, 160, 120);
    if (!verdict.picture) {
      step.status = StepStatus::Fail;
      step.reason = verdict.why;
      step.fix = force4Bit ? kCableFix : byteFix;
      return;
    }
    step.reason = std::to_string(kModeFrames) + " stills of 160x120, " + Fixed(still.msPerFrame, 0) + " ms per frame";
    session.Finish();
  }

  // A still for a step: a frame that does not come fails the step with the cable's fix.
  Still TakeFrameStill(CheckStep& step, DriverLink& link, const std::vector<std::pair<int, int>>& sizes, int frames,
                       const char* format = "rgb24") {
    try {
      return TakeStill(link, *FindFormat(format), sizes, frames, host_);
    } catch (const ToolError&) {
      step.fix = kCableFix;
      throw;
    }
  }

  void StillStep(CheckStep& step, const char* name, const std::vector<std::pair<int, int>>& sizes) {
    Session session(Driver(0, false), host_);
    const Still still = TakeFrameStill(step, session.Link(), sizes, kSettleFrames, name);
    session.Finish();
    const int width = still.format.width, height = still.format.height;
    step.subject = std::to_string(width) + "x" + std::to_string(height);
    const PictureVerdict verdict = JudgePicture(still.rgb, width, height);
    if (!options_.report.empty()) SaveStill(std::string("still-") + name + ".png", still.rgb, width, height);
    if (!verdict.picture) {
      step.status = StepStatus::Fail;
      step.reason = verdict.why;
      step.fix = "check the cable and try 4-bit mode (Force4Bit=1 in section ZARNCAP of the settings file); send the "
                 "report of `zarncap check --report DIR`";
      return;
    }
    step.reason = "a picture, mean level " + Fixed(verdict.mean, 0);
  }

  void StreamStep(CheckStep& step) {
    Session session(Driver(0, false), host_);
    const Negotiated format = NegotiateFormat(session.Link(), *FindFormat("rgb24"), 160, 120);
    StreamSession stream(session.Link(), format.bufferBytes, kStreamBuffers);
    stream.Init(static_cast<DWORD>(1e6 / kStreamFps));
    stream.Start();
    std::vector<DWORD> times;
    while (static_cast<int>(times.size()) < kStreamFrames) {
      VIDEOHDR* header = stream.WaitFilled(host_.stallTimeout);
      if (header == nullptr) break;
      times.push_back(header->dwTimeCaptured);
      stream.Requeue(header);
    }
    const DWORD dropped = stream.End();
    const int errors = stream.ErrorNotices();
    session.Finish();
    const double fps = times.size() > 1 && times.back() != times.front()
                           ? 1000.0 * static_cast<double>(times.size() - 1) / static_cast<double>(times.back() - times.front())
                           : 0.0;
    step.reason = std::to_string(times.size()) + " frames at " + Fixed(fps, 1) + " fps (asked " + Fixed(kStreamFps, 1) +
                  "), " + std::to_string(dropped) + " dropped, " + std::to_string(errors) + " errors";
    if (static_cast<int>(times.size()) < kStreamFrames) {
      step.status = StepStatus::Fail;
      step.reason = "the stream stopped after " + std::to_string(times.size()) + " frames (no frame for " +
                    Seconds(std::chrono::duration<double>(host_.stallTimeout).count()) + ")";
      step.fix = kCableFix;
    } else if (fps < kSlowestShare * kStreamFps || errors > 0) {
      step.status = StepStatus::Fail;
      step.fix = "a slow port mode or a busy machine: set the port to ECP in the BIOS set-up and close other programs";
    }
  }

  void Controls(CheckStep& step) {
    double means[2] = {0, 0};
    const char* levels[2] = {"0", "100"};
    for (int i = 0; i < 2; ++i) {
      Session session(Driver(0, false), host_);
      {
        Session settings(ForSecondChannel(Driver(0, false)), host_, VIDEO_EXTERNALIN);
        RunSettingsDialog(settings.Link(), {{"brightness", levels[i]}});
        settings.Finish();
      }
      const Still still = TakeFrameStill(step, session.Link(), {{160, 120}}, kSettleFrames);
      means[i] = JudgePicture(still.rgb, 160, 120).mean;
      session.Finish();
    }
    bool existsNow = false;
    const bool unchanged = ReadWhole(userSettings_, &existsNow) == userBefore_ && existsNow == userExisted_;
    step.reason = "brightness 0 gives a mean level of " + Fixed(means[0], 0) + ", 100 gives " + Fixed(means[1], 0) +
                  (unchanged ? "; your settings file is as it was" : "");
    if (means[1] < means[0] + kBrightnessStep) {
      step.status = StepStatus::Fail;
      step.reason += ": brightness does not move the picture the right way";
      step.fix = "send the report of `zarncap check --report DIR`";
    } else if (!unchanged) {
      step.status = StepStatus::Fail;
      step.reason += "; your settings file " + userSettings_ + " changed during the check";
      step.fix = "another program wrote the settings file meanwhile; run the check again";
    }
  }

  void SaveStill(const std::string& name, const std::vector<uint8_t>& rgb, int width, int height) {
    std::FILE* file = std::fopen((folder_ + "/" + name).c_str(), "wb");
    if (file == nullptr) return;
    std::string error;
    if (WritePng(file, width, height, rgb, &error)) reportFiles_.push_back(name);
    std::fclose(file);
  }

  // The archive: the report (text and JSON), the port recording, the
  // driver's trace and messages, the settings used and the stills.
  std::string WriteReport() {
    std::error_code ec;
    fs::create_directories(options_.report, ec);
    std::ofstream(folder_ + "/report.txt") << ReportText();
    std::ofstream(folder_ + "/report.json") << CheckJson(camera_, steps_, "") << "\n";
    std::ofstream(folder_ + "/driver-output.txt") << driverOutput_;
    std::vector<std::string> names = {"report.txt", "report.json", "driver-output.txt", "zarncap.ini"};
    if (global_.record.rfind(folder_, 0) != 0 && !global_.record.empty()) {
      fs::copy_file(global_.record, folder_ + "/port-traffic.pcapng", fs::copy_options::overwrite_existing, ec);
    }
    if (fs::exists(folder_ + "/port-traffic.pcapng")) names.push_back("port-traffic.pcapng");
    names.insert(names.end(), reportFiles_.begin(), reportFiles_.end());
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    const std::string archive = (fs::path(options_.report) / (std::string("zarncap-check-") + stamp + ".tar.gz")).string();
    std::string error;
    if (!PackFolder(folder_, names, archive, &error)) throw ToolError("cannot write the report: " + error);
    return archive;
  }

  std::string ReportText() {
    std::string text = "zarncap check, camera " + camera_ + "\n";
    for (const CheckStep& step : steps_) text += StepLead(step.name) + StepEnd(step) + "\n";
    return text + CheckSummary(steps_) + "\n";
  }

  GlobalOptions global_;
  const GlobalOptions original_;
  const CheckOptions& options_;
  const Host& host_;
  std::string camera_;
  std::string folder_, copy_, userSettings_, userBefore_;
  bool userExisted_ = false;
  unsigned userLevel_ = 0;
  bool userForce4Bit_ = false;
  std::string skipReason_;  // why the steps after the open cannot run ("" while they can)
  std::string model_;
  DWORD sensorKind_ = 0;
  DWORD sensorAnswer_ = DV_ERR_OK;
  std::string driverOutput_;
  std::vector<CheckStep> steps_;
  std::vector<std::string> reportFiles_;
};

}  // namespace

int RunCheck(const GlobalOptions& global, const CheckOptions& options, const Host& host) {
  // A camera that cannot be given to the driver is the command line's fault,
  // told before any step runs.
  const char* environment = std::getenv("ZARNCAP_CAMERA");
  const std::string camera =
      !global.camera.empty() ? global.camera : (environment != nullptr && *environment != '\0' ? environment : "sim");
  if (const std::string problem = CameraSpecProblem(camera); !problem.empty()) throw ToolError(problem, kExitUsage);
  CheckRun run(global, options, host);
  return run.Run();
}

}  // namespace zarncap
