// zarncap preview: a live view in the browser with the camera's controls.
#pragma once

#include <string>
#include <vector>

#include "tools/zarncap/common/run_context.h"

namespace zarncap {

struct PreviewOptions {
  std::string listen = "127.0.0.1:8080";
  std::vector<std::string> allowHosts;  // --allow-host
  std::string size = "320x240";
  bool sizeGiven = false;
  std::string format = "rgb24";
};

// Serves until host.interrupted is set (Ctrl-C or SIGTERM): that ends it as
// asked, without an error line; the exit status then says which signal, as
// for every long command.
int RunPreview(const GlobalOptions& global, const PreviewOptions& options, const Host& host);

}  // namespace zarncap
