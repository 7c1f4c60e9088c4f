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
    JsonWriter json;
    json.BeginObject();
    for (std::size_t i = 0; i < values.size(); ++i) json.Key(kFields[i].key).Raw(DialogOwner::JsonText(values[i]));
    json.Key("camera_found").Bool(found).Key("title").Raw(DialogOwner::JsonText(caption)).EndObject();
    std::fprintf(host.out, "%s\n", json.Text().c_str());
  } else {
    for (std::size_t i = 0; i < values.size(); ++i) {
      std::fprintf(host.out, "%-15s %s\n", (std::string(kFields[i].label) + ":").c_str(), values[i].c_str());
    }
  }
  if (!found) throw ToolError("no camera found on LPT1-LPT3");
}

}  // namespace zarncap
