// Who may use the preview server: the listen address as written, the names
// the server answers to, and the refusals for a foreign Host, a foreign
// Origin and a missing or wrong token.
#include <gtest/gtest.h>

#include <algorithm>

#include "tools/zarncap/preview/preview_security.h"
#include "tools/zarncap/common/tool_error.h"

namespace zarncap {
namespace {

TEST(PreviewSecurity, ListenAddresses) {
  EXPECT_EQ(ParseListen("127.0.0.1:8080").port, 8080);
  EXPECT_EQ(ParseListen("[::1]:9000").host, "::1");
  EXPECT_EQ(ParseListen("localhost:0").port, 0);
  for (const char* bad : {"8080", "127.0.0.1", ":80", "host:port", "::1:80", "h:123456", "h:70000", ""}) {
    EXPECT_THROW(ParseListen(bad), ToolError) << bad;
  }
  EXPECT_EQ(ServerNames(ParseListen("127.0.0.1:8080")),
            (std::vector<std::string>{"127.0.0.1:8080", "localhost:8080", "[::1]:8080"}));
  // On every address the machine's own names, never the wildcard; the URL
  // printed for the user is one a browser can open.
  const std::vector<std::string> everyName = ServerNames(ParseListen("0.0.0.0:8080"));
  EXPECT_NE(std::find(everyName.begin(), everyName.end(), "127.0.0.1:8080"), everyName.end());
  EXPECT_EQ(std::find(everyName.begin(), everyName.end(), "0.0.0.0:8080"), everyName.end());
  EXPECT_EQ(OpenableUrl(ParseListen("0.0.0.0:8080")).find("0.0.0.0"), std::string::npos);
  EXPECT_EQ(OpenableUrl(ParseListen("127.0.0.1:9000")), "http://127.0.0.1:9000/");
  EXPECT_EQ(NewToken().size(), 32u);
  EXPECT_NE(NewToken(), NewToken());
}

TEST(PreviewSecurity, WhoMayChangeWhat) {
  const PreviewAddress loopback = ParseListen("127.0.0.1:8080");
  const PreviewAddress everywhere = ParseListen("0.0.0.0:8080");
  PreviewAddress everywhereAllowing = everywhere;
  everywhereAllowing.allowedHosts = {"camera.local"};
  const std::string token(32, 'a');
  struct Case {
    const char* what;
    PreviewAddress address;
    RequestFacts request;
    bool refused;
  } cases[] = {
      {"the page", loopback, {"127.0.0.1:8080", "", "", false}, false},
      {"by localhost", loopback, {"localhost:8080", "", "", false}, false},
      {"a rebound name", loopback, {"evil.example:8080", "", "", false}, true},
      {"no Host", loopback, {"", "", "", false}, true},
      {"a change with the token", loopback, {"127.0.0.1:8080", "http://127.0.0.1:8080", token, true}, false},
      {"a change without Origin", loopback, {"127.0.0.1:8080", "", token, true}, false},
      {"a change without the token", loopback, {"127.0.0.1:8080", "http://127.0.0.1:8080", "", true}, true},
      {"a wrong token", loopback, {"127.0.0.1:8080", "", std::string(32, 'b'), true}, true},
      {"a foreign origin", loopback, {"127.0.0.1:8080", "http://evil.example", token, true}, true},
      {"another name of the origin", loopback, {"127.0.0.1:8080", "http://localhost:8080", token, true}, true},
      {"a foreign name on every address", everywhere, {"evil.example:8080", "", "", false}, true},
      {"loopback on every address", everywhere, {"127.0.0.1:8080", "", "", false}, false},
      {"a name given with --allow-host", everywhereAllowing, {"camera.local:8080", "", "", false}, false},
      {"but still the token", everywhereAllowing, {"camera.local:8080", "http://camera.local:8080", "", true}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(!RefusalOf(c.request, c.address, token).empty(), c.refused) << c.what;
  }
}

}  // namespace
}  // namespace zarncap
