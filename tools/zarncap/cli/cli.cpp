// The command-line parser.
#include "tools/zarncap/cli/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "tools/zarncap/host/format_table.h"
#include "tools/zarncap/preview/preview_command.h"
#include "tools/zarncap/host/source_controls.h"
#include "tools/zarncap/host/size_table.h"
#include "tools/zarncap/common/tool_error.h"

namespace zarncap {
namespace {

std::vector<std::string> FormatChoices() {
  std::vector<std::string> names;
  for (const auto& format : AllFormats()) names.emplace_back(format.name);
  return names;
}

CLI::Validator SizeValidator() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        int width = 0, height = 0;
        if (ParseSize(text, &width, &height)) return "";
        const size_t x = text.find_first_of("xX");
        const bool shaped = x != std::string::npos && x > 0 && x + 1 < text.size() &&
                            text.find_first_not_of("0123456789xX") == std::string::npos;
        return shaped ? "is out of range: WIDTHxHEIGHT takes a width and height from 1 to 4096"
                      : "must be WIDTHxHEIGHT, e.g. 320x240";
      },
      "");
}

// The commands, for the one that names none of them.
constexpr const char* kCommandNames[] = {"capture", "stream", "formats", "defects", "controls", "info", "preview", "ports", "check", "v4l2", "pipewire"};

// How many single-letter edits make a into b.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// A word of the command line that is not what it should be, and where it stands.
struct Misfit {
  int at = 0;  // its index in argv; 0: none
  std::string what;
};

// The first word that is no option (nor a global option's value) when it is
// not a command: "unknown command", with the nearest one.
Misfit UnknownCommand(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--camera" || word == "--ini" || word == "--port" || word == "--record") {
      ++i;
      continue;
    }
    if (!word.empty() && word[0] == '-') continue;
    std::string nearest;
    size_t best = 3;
    for (const char* name : kCommandNames) {
      if (word == name) return {};
      const size_t d = EditDistance(word, name);
      if (d < best) best = d, nearest = name;
    }
    return {i, "unknown command '" + word + "'" + (nearest.empty() ? "" : " (did you mean '" + nearest + "'?)")};
  }
  return {};
}

// Every option name a command line may hold: the global ones and each
// command's, with their dashes.
std::vector<std::string> OptionNames(const CLI::App& app) {
  std::vector<std::string> names;
  auto add = [&names](const CLI::App& from) {
    for (const CLI::Option* option : from.get_options()) {
      for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
      for (const std::string& name : option->get_snames()) names.push_back("-" + name);
    }
  };
  add(app);
  for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) add(*command);
  return names;
}

// The first option word no command knows (before "--", which starts a
// launched program's own words), with the nearest known one.
Misfit UnknownOption(const CLI::App& app, int argc, const char* const* argv) {
  const std::vector<std::string> known = OptionNames(app);
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "--") break;
    if (word.size() < 2 || word[0] != '-' || std::isdigit(static_cast<unsigned char>(word[1]))) continue;
    word = word.substr(0, word.find('='));
    if (std::find(known.begin(), known.end(), word) != known.end()) continue;
    std::string nearest;
    size_t best = 3;
    for (const std::string& name : known) {
      const size_t d = EditDistance(word, name);
      if (d < best) best = d, nearest = name;
    }
    return {i, "unknown option '" + word + "'" + (nearest.empty() ? "" : " (did you mean '" + nearest + "'?)")};
  }
  return {};
}

// The help a parse error points to: the command's own when one was named.
std::string HelpFor(const CLI::App& app) {
  const std::vector<CLI::App*> parsed = app.get_subcommands();
  return parsed.empty() ? "zarncap --help" : "zarncap " + parsed.front()->get_name() + " --help";
}

void AddGlobalOptions(CLI::App& app, GlobalOptions& global) {
  app.add_option("--camera", global.camera,
                 "camera for this run, as ZARNCAP_CAMERA names it: sim, sim:<key=value,...>, parport, parport:<port> "
                 "(the real camera), replay:<file> (a recording made with --record, answered back) or none")
      ->capture_default_str()
      ->type_name("SPEC");
  app.add_option("--ini", global.ini,
                 "settings file for the driver (must end in .ini, no spaces); a bare name is looked for in the "
                 "settings folder, a path with a folder is taken from the working folder")
      ->type_name("PATH");
  app.add_flag("--reset-colour", global.resetColour,
               "put the white-balance gains the driver keeps in the settings file back to 1.0 before the run");
  app.add_option("--port", global.port, "parallel port to try first")
      ->transform(CLI::IsMember({"LPT1", "LPT2", "LPT3"}, CLI::ignore_case))
      ->type_name("LPTn");
  app.add_flag("-q,--quiet", global.quiet, "errors only: no reports, warnings or progress");
  app.add_flag("-v,--verbose", global.verbose, "also say what the run chose: driver library, open text, format, rate");
  app.add_flag("--trace", global.trace,
               "print the driver's message trace on stderr for this run (your settings file keeps its own DebugLevel)");
  app.add_option("--record", global.record,
                 "record every port request of the run, with its reply and the bytes moved, in FILE (pcapng: "
                 "tshark, capinfos and Wireshark read it; --camera replay:FILE answers it back)")
      ->type_name("FILE");
}

// A count of frames: digits only, so "1.5" is told it is no whole number
// rather than that it is out of range.
CLI::Validator WholeNumber() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
          return "must be a whole number (got '" + text + "')";
        }
        return "";
      },
      "N");
}

// Formats grouped by what they share: "320x240 for rgb24, rgb16; 176x144 for pal8, i420".
std::string GroupedFormats(const std::vector<std::pair<std::string, std::string>>& whatAndFormat, const char* joiner) {
  std::vector<std::pair<std::string, std::string>> groups;
  for (const auto& [what, format] : whatAndFormat) {
    auto group = std::find_if(groups.begin(), groups.end(), [&what](const auto& g) { return g.first == what; });
    if (group == groups.end()) groups.emplace_back(what, format);
    else group->second += ", " + format;
  }
  std::string text;
  for (const auto& [what, formats] : groups) text += (text.empty() ? "" : "; ") + what + joiner + formats;
  return text;
}

// --size's help from the size table: each format's default and the sizes to use.
std::string SizeHelp() {
  std::vector<std::pair<std::string, std::string>> defaults, largest;
  std::string all;
  for (const PixelFormat& format : AllFormats()) {
    const std::string name(format.name);
    const auto [width, height] = DefaultSize(format);
    defaults.emplace_back(std::to_string(width) + "x" + std::to_string(height), name);
    const std::vector<FrameSize> sizes = SizesToUse(KnownSizes(format));
    if (sizes.empty()) continue;
    if (SizesText(sizes).size() > all.size()) all = SizesText(sizes);
    largest.emplace_back(std::to_string(sizes.back().first) + "x" + std::to_string(sizes.back().second), name);
  }
  return "image size (without it: " + GroupedFormats(defaults, " for ") + "). Sizes to use: " + all + " (up to " +
         GroupedFormats(largest, " in ") + "; zarncap formats lists every size)";
}

CLI::App* AddSizeAndFormat(CLI::App* command, std::string& size, std::string& format) {
  command->add_option("--size", size, SizeHelp())->check(SizeValidator())->type_name("WxH");
  command->add_option("--format", format, "pixel format")
      ->transform(CLI::IsMember(FormatChoices(), CLI::ignore_case))
      ->capture_default_str()
      ->type_name("F");
  return command;
}

std::string OneLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) text.replace(at, 1, "; ");
  return text;
}

// Each command with its options; the values land in the records given.
CLI::App* AddCaptureCommand(CLI::App& app, CaptureOptions& capture) {
  CLI::App* captureCommand = app.add_subcommand("capture", "capture one still picture (the last of --frames frames)");
  captureCommand
      ->add_option("-o,--output", capture.output,
                   "picture file: .png, .jpg, .bmp (rgb24, rgb16, pal8) or .yuv (YUV formats; YUY2 rows top-down), or - "
                   "for standard output; with --count, %n or %04n in the name is the shot's number and strftime fields "
                   "(%Y%m%d-%H%M%S) its time; a name that repeats within the series is an error")
      ->required()
      ->type_name("FILE");
  captureCommand->add_option("--type", capture.type, "kind of picture, whatever the name (standard output: png)")
      ->transform(CLI::IsMember({"png", "jpg", "bmp", "yuv"}, CLI::ignore_case))
      ->type_name("T");
  captureCommand->add_option("--quality", capture.quality, "JPEG quality")
      ->check(CLI::Range(1, 100))
      ->capture_default_str()
      ->type_name("Q");
  captureCommand->add_option("--count", capture.count, "shots to take with the driver open once (a time-lapse)")
      ->check(WholeNumber())
      ->check(CLI::Range(1, 1000000))
      ->capture_default_str()
      ->type_name("N");
  captureCommand->add_option("--interval", capture.interval, "seconds from the start of one shot to the next")
      ->check(CLI::Range(0.0, 86400.0))
      ->capture_default_str()
      ->type_name("S");
  captureCommand->add_flag("--no-clobber", capture.noClobber, "never replace an existing file: stop with an error");
  captureCommand->add_flag("--json", capture.json, "the end-of-run summary as JSON (each shot's file, frame and time)");
  AddSizeAndFormat(captureCommand, capture.size, capture.format);
  captureCommand
      ->add_option("--frames", capture.frames, "frames to capture; the last is saved, so white balance can settle (later shots of a series take one)")
      ->check(WholeNumber())
      ->check(CLI::Range(1, 100000))
      ->capture_default_str()
      ->type_name("N");

  return captureCommand;
}

CLI::App* AddStreamCommand(CLI::App& app, StreamOptions& stream) {
  CLI::App* streamCommand = app.add_subcommand("stream", "record a clip through the driver's stream messages");
  streamCommand
      ->add_option("-o,--output", stream.output,
                   "movie file: .avi or .mkv (raw video in the driver's format unless --codec says otherwise), .mp4 "
                   "(H.264), .y4m, or - for Y4M on stdout")
      ->required()
      ->type_name("FILE");
  streamCommand->add_option("--codec", stream.codec, "raw, mjpeg (.avi, .mkv) or h264 (.mp4, .mkv)")
      ->transform(CLI::IsMember({"raw", "mjpeg", "h264"}, CLI::ignore_case))
      ->type_name("C");
  streamCommand->add_option("--crf", stream.crf, "H.264 quality: 0 (lossless) to 51 (smallest)")
      ->check(CLI::Range(0, 51))
      ->capture_default_str()
      ->type_name("N");
  streamCommand->add_option("--quality", stream.quality, "Motion JPEG quality")
      ->check(CLI::Range(1, 100))
      ->capture_default_str()
      ->type_name("Q");
  streamCommand->add_flag("--json", stream.json, "the end-of-run summary as JSON");
  AddSizeAndFormat(streamCommand, stream.size, stream.format);
  streamCommand->add_option("--fps", stream.fps, "frame rate to ask the driver for (it keeps to multiples of the "
                                                 "camera's frame period)")
      ->check(CLI::Range(0.01, 1000.0))
      ->capture_default_str()
      ->type_name("R");
  auto* framesOption = streamCommand->add_option("--frames", stream.frames, "frames to record")
                           ->check(WholeNumber())
                           ->check(CLI::Range(1, 10000000))
                           ->type_name("N");
  auto* secondsOption =
      streamCommand->add_option("--seconds", stream.seconds, "seconds to record (default 10 when --frames is not given)")
          ->check(CLI::Range(0.001, 1e6))
          ->type_name("S");
  framesOption->excludes(secondsOption);

  return streamCommand;
}

// Every command's options, and which command the line chose.
struct CommandLine {
  GlobalOptions global;
  CaptureOptions capture;
  StreamOptions stream;
  DefectsOptions defects;
  FormatsOptions formats;
  ControlsOptions controls;
  InfoOptions info;
  PreviewOptions preview;
  PortsOptions ports;
  CheckOptions check;
  V4l2Options v4l2;
  PipewireOptions pipewire;
  CLI::App* captureCommand = nullptr;
  CLI::App* streamCommand = nullptr;
  CLI::App* formatsCommand = nullptr;
  CLI::App* defectsCommand = nullptr;
  CLI::App* controlsCommand = nullptr;
  CLI::App* infoCommand = nullptr;
  CLI::App* previewCommand = nullptr;
  CLI::App* portsCommand = nullptr;
  CLI::App* checkCommand = nullptr;
  CLI::App* v4l2Command = nullptr;
  CLI::App* pipewireCommand = nullptr;
};

void AddCommands(CLI::App& app, CommandLine& line) {
  AddGlobalOptions(app, line.global);
  line.captureCommand = AddCaptureCommand(app, line.capture);
  line.streamCommand = AddStreamCommand(app, line.stream);
  line.formatsCommand = app.add_subcommand("formats", "list the sizes and formats the driver accepts, by asking it");
  line.formatsCommand->add_flag("--json", line.formats.json, "the sizes of each format as JSON");
  line.defectsCommand = app.add_subcommand("defects", "store a defect map in the camera");
  line.defectsCommand->add_option("--store", line.defects.store, "file of exactly 480 bytes (160 entries of 3 bytes)")
      ->required()
      ->type_name("FILE");
  line.controlsCommand = app.add_subcommand(
      "controls", "show the camera's picture controls, or set them, through the driver's settings dialog");
  line.controlsCommand->add_option("--set", line.controls.sets,
                                   "NAME=VALUE to set (repeatable): " + ControlSetsHelp())
      ->type_name("NAME=VALUE");
  line.controlsCommand->add_option("--get", line.controls.get, "print one control's value alone (as v4l2-ctl -C)")
      ->type_name("NAME");
  line.controlsCommand->add_flag("--json", line.controls.json, "the controls as JSON");
  line.infoCommand = app.add_subcommand(
      "info", "what the driver's camera details dialog shows: port and mode, camera model, driver version");
  line.infoCommand->add_flag("--json", line.info.json, "the details as JSON");
  line.previewCommand = app.add_subcommand(
      "preview", "a live view in the browser with the camera's controls (a page served on loopback)");
  line.previewCommand
      ->add_option("--listen", line.preview.listen, "address and port to serve on (0.0.0.0:PORT: every address)")
      ->capture_default_str()
      ->type_name("HOST:PORT");
  line.previewCommand
      ->add_option("--allow-host", line.preview.allowHosts,
                   "another name the page may be opened by (repeatable); requests naming any other host are refused")
      ->type_name("NAME");
  AddSizeAndFormat(line.previewCommand, line.preview.size, line.preview.format);
  line.portsCommand = app.add_subcommand(
      "ports", "the machine's parallel ports: how each is reached, what it can do, what is attached (run this first "
               "with a real camera)");
  line.portsCommand->add_flag("--json", line.ports.json, "the ports as JSON, each with a usable flag");
  line.checkCommand = app.add_subcommand(
      "check", "a bring-up run of the camera at hand: ports, the open, identity, every port mode, stills, a stream and "
               "the controls, each step OK, FAIL (with the likely fix) or SKIP; exit status 1 when a step fails");
  line.checkCommand->add_flag("--json", line.check.json, "the steps as JSON");
  line.checkCommand
      ->add_option("--report", line.check.report,
                   "write the report, the port recording, the driver's trace and the stills into one archive in DIR, "
                   "to attach to a bug report")
      ->type_name("DIR");
  line.v4l2Command = app.add_subcommand(
      "v4l2", "run a program with the camera as a V4L2 video device (ffmpeg, GStreamer, v4l2-ctl, OpenCV...)");
  line.v4l2Command->add_option("--device", line.v4l2.device, "the device path (default: the first free /dev/videoN)")
      ->type_name("PATH");
  line.v4l2Command->add_option("command", line.v4l2.command, "-- then the program and its arguments")
      ->type_name("APP [ARGS...]");
  line.pipewireCommand = app.add_subcommand(
      "pipewire", "offer the camera to desktop applications as a PipeWire camera node, until stopped (Ctrl-C)");
  line.pipewireCommand
      ->add_option("--name", line.pipewire.name,
                   "the name applications list the camera by (default: its model and port, "
                   "\"Zarn camera Model A on LPT1\")")
      ->type_name("NAME");
  for (auto* command : {line.captureCommand, line.streamCommand, line.formatsCommand, line.defectsCommand,
                        line.controlsCommand, line.infoCommand, line.previewCommand, line.portsCommand,
                        line.checkCommand, line.v4l2Command, line.pipewireCommand}) {
    command->fallthrough();
    command->footer("The global options --camera, --ini, --port, --trace, --record, -q and -v (see zarncap --help) may also "
                    "follow the command.");
  }
}

// Runs the command the line chose; the exit status.
int RunChosenCommand(CommandLine& line, const Host& host) {
  Host run = host;
  run.quiet = line.global.quiet;
  run.verbose = line.global.verbose;
  line.capture.sizeGiven = line.captureCommand->get_option("--size")->count() > 0;
  line.capture.formatGiven = line.captureCommand->get_option("--format")->count() > 0;
  line.capture.qualityGiven = line.captureCommand->get_option("--quality")->count() > 0;
  line.stream.sizeGiven = line.streamCommand->get_option("--size")->count() > 0;
  line.preview.sizeGiven = line.previewCommand->get_option("--size")->count() > 0;
  try {
    if (line.captureCommand->parsed()) RunCapture(line.global, line.capture, run);
    else if (line.streamCommand->parsed()) RunStream(line.global, line.stream, run);
    else if (line.formatsCommand->parsed()) RunFormats(line.global, line.formats, run);
    else if (line.defectsCommand->parsed()) RunDefects(line.global, line.defects, run);
    else if (line.controlsCommand->parsed()) RunControls(line.global, line.controls, run);
    else if (line.infoCommand->parsed()) RunInfo(line.global, line.info, run);
    else if (line.previewCommand->parsed()) return RunPreview(line.global, line.preview, run);
    else if (line.portsCommand->parsed()) RunPorts(line.ports, run);
    else if (line.checkCommand->parsed()) return RunCheck(line.global, line.check, run);
    else if (line.v4l2Command->parsed()) return RunV4l2(line.global, line.v4l2, run);
    else if (line.pipewireCommand->parsed()) return RunPipewire(line.global, line.pipewire, run);
  } catch (const ToolError& e) {
    KeepInOrder(host, host.err);
    std::fprintf(host.err, "zarncap: error: %s\n", OneLine(e.what()).c_str());
    return e.ExitCode();
  } catch (const std::exception& e) {
    KeepInOrder(host, host.err);
    std::fprintf(host.err, "zarncap: error: %s\n", OneLine(e.what()).c_str());
    return kExitFailure;
  }
  return 0;
}

}  // namespace

int RunZarncap(int argc, const char* const* argv, const Host& host) {
  CLI::App app("zarncap: take pictures and clips from the parallel-port colour camera (or the virtual one) through "
               "the zarncap capture driver",
               "zarncap");
  app.require_subcommand(1);
  app.set_version_flag("--version",
                       std::string("zarncap ") + ZARNCAP_VERSION + " (source " + ZARNCAP_SOURCE_REVISION + ")");
  app.fallthrough();
  CommandLine line;
  AddCommands(app, line);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForVersion& e) {
    std::fprintf(host.out, "%s\n", e.what());
    return 0;
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) {  // --help
      std::fputs(app.help().c_str(), host.out);
      return 0;
    }
    // The first word that is wrong: a mistyped global option makes its value
    // look like a command, and a wrong command leaves its options unknown.
    const Misfit command = UnknownCommand(argc, argv);
    const Misfit option = UnknownOption(app, argc, argv);
    if (option.at != 0 && (command.at == 0 || option.at < command.at)) {
      std::fprintf(host.err, "zarncap: error: %s (see %s)\n", option.what.c_str(), HelpFor(app).c_str());
      return kExitUsage;
    }
    if (command.at != 0) {
      std::fprintf(host.err, "zarncap: error: %s (see zarncap --help)\n", command.what.c_str());
      return kExitUsage;
    }
    std::fprintf(host.err, "zarncap: error: %s (see %s)\n", OneLine(e.what()).c_str(), HelpFor(app).c_str());
    return kExitUsage;
  }

  if (line.global.quiet && line.global.verbose) {
    std::fprintf(host.err, "zarncap: error: --quiet and --verbose cannot both be given (see zarncap --help)\n");
    return kExitUsage;
  }
  return RunChosenCommand(line, host);
}

}  // namespace zarncap
