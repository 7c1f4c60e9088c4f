// zarncap defects: a 480-byte defect map into the camera, through the
// driver's private message.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/zarncap/commands/commands.h"
#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/host/driver_link.h"
#include "tools/zarncap/host/session.h"

namespace zarncap {

void RunDefects(const GlobalOptions& global, const DefectsOptions& options, const Host& host) {
  std::error_code ec;
  if (std::filesystem::is_directory(options.store, ec)) throw ToolError("cannot read " + options.store + ": it is a folder");
  std::ifstream in(options.store, std::ios::binary);
  if (!in) throw ToolError("cannot read " + options.store + ": " + std::strerror(errno));
  std::vector<BYTE> map((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw ToolError("cannot read " + options.store);
  if (map.size() != kDefectMapBytes) {
    throw ToolError(options.store + " holds " + std::to_string(map.size()) + " bytes; a defect map is exactly " +
                    std::to_string(kDefectMapBytes) + " bytes (160 entries of 3)");
  }

  Session session(global, host);
  DWORD result = 0;
  const DWORD answer = session.Link().SendPrivate(kPrivateStoreDefectMap, reinterpret_cast<DWORD_PTR>(map.data()), &result);
  session.Finish();
  if (answer == DV_ERR_NOTSUPPORTED) {
    throw ToolError("the driver does not store defect maps (answer " + VideoErrorText(answer) + ")");
  }
  if (answer != 0) {
    throw ToolError("the driver could not store the defect map in the camera (answer " + std::to_string(answer) + ")");
  }
  Say(host, host.out, "zarncap: the driver stored the defect map from %s in the camera (answer 0)\n",
               options.store.c_str());
}

}  // namespace zarncap
