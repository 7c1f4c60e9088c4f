// zarncap formats: every size each format takes, by asking the driver.
#include "tools/zarncap/commands/commands.h"
#include "tools/zarncap/host/format_map.h"
#include "tools/zarncap/host/format_table.h"
#include "tools/zarncap/host/session.h"

namespace zarncap {

void RunFormats(const GlobalOptions& global, const FormatsOptions& options, const Host& host) {
  Session session(global, host);
  const auto map = MapAcceptedFormats(session.Link());
  session.Finish();
  if (options.json) {
    std::fputs(FormatMapJson(map).c_str(), host.out);
    return;
  }
  std::fprintf(host.out, "The driver accepts (asked with DVM_FORMAT at every size up to %dx%d; widths x heights, "
                         "first..last/step):\n", kMapMaxWidth, kMapMaxHeight);
  for (const FormatSizes& entry : map) {
    std::fprintf(host.out, "  %-6s %s\n", std::string(entry.format->name).c_str(), DescribeBlocks(entry.blocks).c_str());
  }
}

}  // namespace zarncap
