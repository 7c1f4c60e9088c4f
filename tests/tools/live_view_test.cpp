// The preview's live view against the real driver on the virtual camera:
// format changes one at a time with an answer each, and a refused change that
// leaves the picture going in the format in force.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "tools/recording_driver.h"
#include "tools/tool_test_util.h"
#include "tools/zarncap/host/format_table.h"
#include "tools/zarncap/preview/live_view.h"

namespace zarncap {
namespace {

class LiveViewTest : public drivertest::RecordingHostTest {
 protected:
  GlobalOptions global_;
};

// Three changes at once: each gets its own answer (done, or busy), none
// waits for good, and the format API works afterwards.
TEST_F(LiveViewTest, SimultaneousFormatChangesEachGetAnAnswer) {
  LiveView view(global_, host_, *FindFormat("rgb24"), 320, 240, true);
  std::atomic<int> done{0}, busy{0}, other{0};
  std::vector<std::thread> requests;
  for (const char* size : {"160x120", "176x144", "320x240"}) {
    requests.emplace_back([&, size] {
      int w = 0, h = 0;
      ParseSize(size, &w, &h);
      try {
        view.SetFormat(*FindFormat("rgb24"), w, h);
        ++done;
      } catch (const PreviewBusy&) {
        ++busy;
      } catch (const ToolError&) {
        ++other;
      }
    });
  }
  for (auto& request : requests) request.join();
  EXPECT_GE(done.load(), 1);
  EXPECT_EQ(done + busy, 3);
  EXPECT_EQ(other.load(), 0);
  EXPECT_NO_THROW(view.SetFormat(*FindFormat("i420"), 176, 144));
  EXPECT_EQ(view.Figures().format, "i420");
  view.Close();
}

// A refused change puts the format in force back on the driver: the picture
// goes on.
TEST_F(LiveViewTest, ARefusedFormatLeavesThePictureGoing) {
  LiveView view(global_, host_, *FindFormat("rgb24"), 160, 120, true);
  ASSERT_TRUE(view.Join());
  const LivePicture first = view.Next(0, std::chrono::seconds(5));
  ASSERT_NE(first.sequence, 0u);
  EXPECT_THROW(view.SetFormat(*FindFormat("yvu9"), 640, 480), ToolError);
  LivePicture later = view.Next(first.sequence, std::chrono::seconds(5));
  later = view.Next(later.sequence, std::chrono::seconds(5));
  EXPECT_NE(later.sequence, 0u) << "no picture after the refusal";
  EXPECT_EQ(later.width, 160);
  view.Leave();
  view.Close();
}

}  // namespace
}  // namespace zarncap
