#include "tools/zarncap/host/camera_details.h"

#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/host/dialog_owner.h"
#include "zarncap/dialogs.h"

namespace zarncap {
namespace {

// "LPT3 (ECP port *)" as its parts.
void SplitPort(const std::string& text, CameraDetails* details) {
  const size_t open = text.find(" (");
  details->port = text.substr(0, open);
  if (open == std::string::npos) return;
  std::string inside = text.substr(open + 2);
  if (!inside.empty() && inside.back() == ')') inside.pop_back();
  if (inside.size() >= 2 && inside.compare(inside.size() - 2, 2, " *") == 0) {
    details->modeForced = true;
    inside.resize(inside.size() - 2);
  }
  if (inside.size() >= 5 && inside.compare(inside.size() - 5, 5, " port") == 0) inside.resize(inside.size() - 5);
  details->mode = inside;
}

}  // namespace

const std::vector<DetailsField>& CameraDetailsFields() {
  static const std::vector<DetailsField> fields = {{"Port", "port", kDetailsPort},
                                                   {"Camera", "camera", kDetailsSensor},
                                                   {"Driver version", "version", kDetailsVersion},
                                                   {"Build date", "build_date", kDetailsBuildDate},
                                                   {"Language", "language", kDetailsLanguage}};
  return fields;
}

CameraDetails ReadCameraDetails(DriverLink& link) {
  CameraDetails details;
  DialogOwner owner([&](HWND dialog, const platform::DialogUser& user) {
    char text[256] = "";
    user.caption(dialog, text, sizeof text);
    details.caption = text;
    const auto controls = DialogOwner::Controls(dialog, user);
    for (const DetailsField& f : CameraDetailsFields()) {
      details.values.emplace_back(controls.count(f.id) ? controls.at(f.id).text : "");
    }
    user.click(dialog, IDOK);
  });
  const LRESULT answer = link.Send(DRV_CONFIGURE, owner.Window(), 0);
  if (answer != 1 || details.values.empty()) throw ToolError("the driver's camera details dialog did not open");
  details.found = details.values[0] != "Camera not found";
  if (details.found) SplitPort(details.values[0], &details);
  return details;
}

}  // namespace zarncap
