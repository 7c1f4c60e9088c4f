// zarncap info: what the driver's camera details dialog shows, read off the
// dialog itself (DRV_CONFIGURE on a configuration handle, zarncap as the
// owner window). With no channel open the driver searches the ports for the
// camera on its own, and leaves it released.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/zarncap/common/json_text.h"
#include "tools/zarncap/commands/commands.h"
#include "tools/zarncap/host/dialog_owner.h"
#include "tools/zarncap/host/session.h"
#include "tools/zarncap/common/tool_error.h"
#include "zarncap/dialogs.h"

namespace zarncap {
namespace {

struct Field {
  const char* label;
  const char* key;
  int id;
};
constexpr Field kFields[] = {{"Port", "port", kDetailsPort},
                             {"Camera", "camera", kDetailsSensor},
                             {"Driver version", "version", kDetailsVersion},
                             {"Build date", "build_date", kDetailsBuildDate},
                             {"Language", "language", kDetailsLanguage}};

// "LPT3 (ECP port *)" as its parts: the port, the mode, whether it was forced.
struct PortText {
  std::string port, mode;
  bool forced = false;
};
PortText SplitPort(const std::string& text) {
  PortText parts;
  const size_t open = text.find(" (");
  parts.port = text.substr(0, open);
  if (open == std::string::npos) return parts;
  std::string inside = text.substr(open + 2);
  if (!inside.empty() && inside.back() == ')') inside.pop_back();
  if (inside.size() >= 2 && inside.compare(inside.size() - 2, 2, " *") == 0) {
    parts.forced = true;
    inside.resize(inside.size() - 2);
  }
  if (inside.size() >= 5 && inside.compare(inside.size() - 5, 5, " port") == 0) inside.resize(inside.size() - 5);
  parts.mode = inside;
  return parts;
}

// The details for scripts: port, mode and camera apart, "found" a boolean,
// the title without the blank an empty description leaves.
std::string DetailsJson(const std::vector<std::string>& values, bool found, const std::string& caption) {
  JsonWriter json;
  json.BeginObject().Key("found").Bool(found);
  const PortText port = SplitPort(values[0]);
  if (found) {
    json.Key("port").String(port.port).Key("mode").String(port.mode).Key("mode_forced").Bool(port.forced);
    json.Key("camera").Raw(DialogOwner::JsonText(values[1]));
  } else {
    json.Key("port").Null().Key("mode").Null().Key("mode_forced").Bool(false).Key("camera").Null();
  }
  for (std::size_t i = 2; i < values.size(); ++i) json.Key(kFields[i].key).Raw(DialogOwner::JsonText(values[i]));
  const size_t first = caption.find_first_not_of(' ');
  json.Key("title").Raw(DialogOwner::JsonText(first == std::string::npos ? "" : caption.substr(first)));
  return json.EndObject().Text();
}

}  // namespace

void RunInfo(const GlobalOptions& global, const InfoOptions& options, const Host& host) {
  std::string caption;
  std::vector<std::string> values;
  DialogOwner owner([&](HWND dialog, const platform::DialogUser& user) {
    char text[256] = "";
    user.caption(dialog, text, sizeof text);
    caption = text;
    const auto controls = DialogOwner::Controls(dialog, user);
    for (const Field& f : kFields) values.emplace_back(controls.count(f.id) ? controls.at(f.id).text : "");
    user.click(dialog, IDOK);
  });
  Session session(global, host, 0);
  const LRESULT answer = session.Link().Send(DRV_CONFIGURE, owner.Window(), 0);
  session.Finish();
  if (answer != 1 || values.empty()) throw ToolError("the driver's camera details dialog did not open");
  const bool found = values[0] != "Camera not found";
  if (options.json) {
    std::fprintf(host.out, "%s\n", DetailsJson(values, found, caption).c_str());
  } else {
    for (std::size_t i = 0; i < values.size(); ++i) {
      std::fprintf(host.out, "%-15s %s\n", (std::string(kFields[i].label) + ":").c_str(), values[i].c_str());
    }
  }
  if (!found) throw ToolError("no camera found on LPT1-LPT3");
}

}  // namespace zarncap
