// The ZARNCAP_CAMERA=sim option parser: one table row per key, each with the
// values it accepts. Anything it does not know is an error naming the key.
#include "sim/sim_config.h"
#include "sim/register.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "port/port_records.h"

namespace sim {
namespace {

constexpr std::string_view kIoctlPrefix = "IOCTL_PORT_";

// Short lower-case names of the request set, in the table's order.
struct ShortNames {
  char names[sizeof(kPortRequests) / sizeof(kPortRequests[0])][32] = {};
  ShortNames() {
    std::size_t i = 0;
    for (const PortRequest& request : kPortRequests) {
      std::string_view full = request.name;
      if (full.substr(0, kIoctlPrefix.size()) == kIoctlPrefix) full.remove_prefix(kIoctlPrefix.size());
      std::size_t n = 0;
      for (; n < full.size() && n + 1 < sizeof(names[i]); ++n) {
        char c = full[n];
        names[i][n] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
      }
      names[i][n] = '\0';
      ++i;
    }
  }
};

const ShortNames& RequestNames() {
  static const ShortNames names;
  return names;
}

bool ParseInt(std::string_view text, long min, long max, long* out) {
  if (text.empty()) return false;
  long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) return false;
  *out = value;
  return true;
}

bool ParseDouble(std::string_view text, double min, double max, double* out) {
  if (text.empty() || text.size() > 64) return false;
  std::string copy(text);
  char* end = nullptr;
  double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(value) || value < min || value > max) return false;
  *out = value;
  return true;
}

// ---- one parser per key: false = the value is not one the key accepts.
using ValueParser = bool (*)(std::string_view value, SimConfig& config);

bool ParsePort(std::string_view value, SimConfig& config) {
  if (value == "none") {
    config.port = kNoPort;
    return true;
  }
  long port = 0;
  if (!ParseInt(value, 1, 3, &port)) return false;
  config.port = static_cast<int>(port);
  return true;
}

bool ParseMode(std::string_view value, SimConfig& config) {
  static constexpr struct {
    const char* name;
    PortCapability mode;
  } kModes[] = {{"ecp", PortCapability::Ecp},
                {"byte", PortCapability::Byte},
                {"nibble", PortCapability::Nibble},
                {"byte-unreliable", PortCapability::ByteUnreliable}};
  for (const auto& mode : kModes) {
    if (value == mode.name) {
      config.mode = mode.mode;
      return true;
    }
  }
  return false;
}

bool ParseId(std::string_view value, SimConfig& config) {
  // The length field counts itself: the text can be at most 65533 bytes.
  if (value.size() > 0xFFFF - 2) return false;
  config.id = std::string(value);
  return true;
}

bool ParseFail(std::string_view value, SimConfig& config) {
  FailRule rule;
  std::string_view name = value;
  std::size_t at = value.find('@');
  if (at != std::string_view::npos) {
    name = value.substr(0, at);
    long nth = 0;
    if (!ParseInt(value.substr(at + 1), 1, 0x7FFFFFFF, &nth)) return false;
    rule.nth = static_cast<uint32_t>(nth);
  }
  std::string normal(name);
  for (char& c : normal) {
    if (c == '-') c = '_';
  }
  for (const PortRequest& request : kPortRequests) {
    if (normal == RequestShortName(request.code)) {
      rule.code = request.code;
      config.fail.push_back(rule);
      return true;
    }
  }
  return false;
}

bool ParseSensor(std::string_view value, SimConfig& config) {
  long kind = 0;
  if (!ParseInt(value, 0, 1, &kind)) return false;
  config.sensor = static_cast<int>(kind);
  return true;
}

bool ParseEeprom(std::string_view value, SimConfig& config) {
  long bits = 0;
  if (!ParseInt(value, 0, 4096, &bits) || (bits != 0 && bits != 1024 && bits != 4096)) return false;
  config.eepromBits = static_cast<int>(bits);
  return true;
}

bool ParseDefects(std::string_view value, SimConfig& config) {
  if (value == "none") {
    config.defects = kNoDefectMap;
    return true;
  }
  long count = 0;
  if (!ParseInt(value, 0, kMaxDefects, &count)) return false;
  config.defects = static_cast<int>(count);
  return true;
}

bool ParsePeriod(std::string_view value, SimConfig& config) {
  // The driver keeps the measured period in 16 bits.
  long ms = 0;
  if (!ParseInt(value, 1, 10000, &ms)) return false;
  config.periodMs = static_cast<int>(ms);
  return true;
}

bool ParseScene(std::string_view value, SimConfig& config) {
  static constexpr struct {
    const char* name;
    SceneKind kind;
  } kPlain[] = {{"bars", SceneKind::Bars},
                {"chart", SceneKind::Chart},
                {"ramp", SceneKind::Ramp},
                {"moving", SceneKind::Moving}};
  for (const auto& plain : kPlain) {
    if (value == plain.name) {
      config.scene = plain.kind;
      return true;
    }
  }
  constexpr std::string_view kFlat = "flat:";
  constexpr std::string_view kFile = "file:";
  if (value.substr(0, kFlat.size()) == kFlat) {
    std::string_view rest = value.substr(kFlat.size());
    uint8_t rgb[3] = {};
    for (int i = 0; i < 3; ++i) {
      std::size_t comma = rest.find(',');
      if ((i < 2) == (comma == std::string_view::npos)) return false;
      long level = 0;
      if (!ParseInt(rest.substr(0, comma), 0, 255, &level)) return false;
      rgb[i] = static_cast<uint8_t>(level);
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    config.scene = SceneKind::Flat;
    std::memcpy(config.flatRgb, rgb, sizeof rgb);
    return true;
  }
  if (value.substr(0, kFile.size()) == kFile && value.size() > kFile.size()) {
    config.scene = SceneKind::File;
    config.sceneFile = std::string(value.substr(kFile.size()));
    return true;
  }
  return false;
}

bool ParseNoise(std::string_view value, SimConfig& config) { return ParseDouble(value, 0.0, 64.0, &config.noise); }

bool ParseDark(std::string_view value, SimConfig& config) {
  long level = 0;
  if (!ParseInt(value, 0, 255, &level)) return false;
  config.dark = static_cast<int>(level);
  return true;
}

bool ParseTransfer(std::string_view value, SimConfig& config) {
  if (value == "32k") {
    config.transferLimit = 0x8000;
  } else if (value == "128k") {
    config.transferLimit = 0x20000;
  } else {
    return false;
  }
  return true;
}

bool ParseNack(std::string_view value, SimConfig& config) {
  if (value == "sensor") {
    config.nackSensor = true;
  } else if (value == "eeprom") {
    config.nackEeprom = true;
  } else {
    return false;
  }
  return true;
}

bool ParseBadsum(std::string_view, SimConfig& config) {
  config.badsum = true;
  return true;
}

bool ParseNotready(std::string_view, SimConfig& config) {
  config.notready = true;
  return true;
}

bool ParseUnplug(std::string_view value, SimConfig& config) {
  long frames = 0;
  if (!ParseInt(value, 0, 0x7FFFFFFF, &frames)) return false;
  config.unplugAfterFrames = static_cast<int>(frames);
  return true;
}

bool ParseStall(std::string_view value, SimConfig& config) {
  long frame = 0;
  if (!ParseInt(value, 1, 0x7FFFFFFF, &frame)) return false;
  config.stallFromFrame = static_cast<int>(frame);
  return true;
}

bool ParseDump(std::string_view value, SimConfig& config) {
  if (value.empty()) return false;
  config.dumpDir = std::string(value);
  return true;
}

enum class Value { Required, None };

struct KeyRow {
  const char* key;
  Value value;
  bool repeatable;
  ValueParser parse;
  const char* expected;  // what the key accepts, for the error message
};

constexpr KeyRow kKeys[] = {
    {"port", Value::Required, false, ParsePort, "1, 2, 3 or none"},
    {"mode", Value::Required, false, ParseMode, "ecp, byte, nibble or byte-unreliable"},
    {"id", Value::Required, false, ParseId, "a device ID text of at most 65533 characters"},
    {"fail", Value::Required, true, ParseFail, "a request name such as poll or frame_begin, optionally @<n> with n >= 1"},
    {"sensor", Value::Required, false, ParseSensor, "0 or 1"},
    {"eeprom", Value::Required, false, ParseEeprom, "0, 1024 or 4096"},
    {"defects", Value::Required, false, ParseDefects, "a count from 0 to 160, or none"},
    {"period", Value::Required, false, ParsePeriod, "milliseconds from 1 to 10000"},
    {"scene", Value::Required, false, ParseScene, "chart, bars, ramp, flat:<r>,<g>,<b>, file:<path> or moving"},
    {"noise", Value::Required, false, ParseNoise, "a sigma from 0 to 64"},
    {"dark", Value::Required, false, ParseDark, "a level from 0 to 255"},
    {"transfer", Value::Required, false, ParseTransfer, "32k or 128k"},
    {"nack", Value::Required, true, ParseNack, "sensor or eeprom"},
    {"badsum", Value::None, false, ParseBadsum, "no value"},
    {"notready", Value::None, false, ParseNotready, "no value"},
    {"unplug", Value::Required, false, ParseUnplug, "a frame count from 0"},
    {"stall", Value::Required, false, ParseStall, "a frame number from 1"},
    {"dump", Value::Required, false, ParseDump, "a directory"},
};
constexpr std::size_t kKeyCount = sizeof(kKeys) / sizeof(kKeys[0]);

const KeyRow* FindKey(std::string_view key) {
  for (const KeyRow& row : kKeys) {
    if (key == row.key) return &row;
  }
  return nullptr;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Splits at commas. A piece with no '=' that is not itself a key carries on the
// value before it, so scene=flat:10,20,30 stays one option.
std::vector<std::string> SplitOptions(std::string_view options) {
  std::vector<std::string> pieces;
  while (!options.empty()) {
    std::size_t comma = options.find(',');
    std::string_view piece = Trim(options.substr(0, comma));
    options = comma == std::string_view::npos ? std::string_view() : options.substr(comma + 1);
    bool continues = piece.find('=') == std::string_view::npos && FindKey(piece) == nullptr && !pieces.empty() &&
                     pieces.back().find('=') != std::string::npos;
    if (continues) {
      pieces.back() += ',';
      pieces.back() += piece;
    } else if (!piece.empty()) {
      pieces.emplace_back(piece);
    }
  }
  return pieces;
}

std::string KnownKeys() {
  std::string keys;
  for (const KeyRow& row : kKeys) {
    if (!keys.empty()) keys += ", ";
    keys += row.key;
  }
  return keys;
}

}  // namespace

const char* RequestShortName(DWORD code) {
  std::size_t i = 0;
  for (const PortRequest& request : kPortRequests) {
    if (request.code == code) return RequestNames().names[i];
    ++i;
  }
  return nullptr;
}

bool ParseSimConfig(const std::string& options, SimConfig* config, std::string* error) {
  SimConfig parsed = *config;
  bool seen[kKeyCount] = {};
  for (const std::string& piece : SplitOptions(options)) {
    std::size_t equals = piece.find('=');
    std::string_view key = Trim(std::string_view(piece).substr(0, equals));
    std::string_view value =
        equals == std::string::npos ? std::string_view() : Trim(std::string_view(piece).substr(equals + 1));
    const KeyRow* row = FindKey(key);
    if (row == nullptr) {
      *error = "sim: unknown key \"" + std::string(key) + "\" (known keys: " + KnownKeys() + ")";
      return false;
    }
    std::size_t index = static_cast<std::size_t>(row - kKeys);
    if (seen[index] && !row->repeatable) {
      *error = "sim: key \"" + std::string(key) + "\" is given more than once";
      return false;
    }
    seen[index] = true;
    if (row->value == Value::None && equals != std::string::npos) {
      *error = "sim: key \"" + std::string(key) + "\" takes no value";
      return false;
    }
    if (row->value == Value::Required && equals == std::string::npos) {
      *error = "sim: key \"" + std::string(key) + "\" needs a value: " + row->expected;
      return false;
    }
    if (!row->parse(value, parsed)) {
      *error = "sim: bad value \"" + std::string(value) + "\" for key \"" + std::string(key) +
               "\": expected " + row->expected;
      return false;
    }
  }
  *config = std::move(parsed);
  return true;
}

bool CheckVirtualCameraOptions(const std::string& options, std::string* why) {
  SimConfig config;
  return ParseSimConfig(options, &config, why);
}

}  // namespace sim
