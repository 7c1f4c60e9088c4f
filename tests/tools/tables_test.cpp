// The driver's format and control tables (include/zarncap) against what they
// describe: each format row through the real driver (accepted, its header and
// frame bytes, its FFmpeg twin), each control row through the real settings
// dialog (its default, its range, the key the driver keeps it under).
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <string>

#include "platform/platform.h"
#include "tools/recording_driver.h"
#include "tools/zarncap/host/format_table.h"
#include "tools/zarncap/host/session.h"
#include "tools/zarncap/host/source_controls.h"
#include "zarncap/controls.h"

namespace zarncap {
namespace {

class TablesTest : public drivertest::RecordingHostTest {
 protected:
  void SetUp() override {
    RecordingHostTest::SetUp();
    global_.ini = folder_ / "tables.ini";
  }
  tooltest::ScratchFolder folder_;
  GlobalOptions global_;
};

TEST_F(TablesTest, EveryFormatRowIsWhatTheDriverDelivers) {
  Session session(global_, host_, VIDEO_IN);
  DriverLink& link = session.Link();
  for (const PixelFormat& format : AllFormats()) {
    SCOPED_TRACE(std::string(format.name));
    const BITMAPINFOHEADER header = MakeFormatHeader(format, 160, 120);
    EXPECT_EQ(FormatOfHeader(header), &format);
    EXPECT_EQ(FindFormat(format.name), &format);
    EXPECT_EQ(header.biSizeImage, FrameBytes(format, 160, 120));
    ASSERT_EQ(link.SetFormat(header), DV_ERR_OK);
    BITMAPINFOHEADER kept{};
    ASSERT_TRUE(link.GetFormat(&kept));
    EXPECT_EQ(kept.biCompression, format.stored);
    EXPECT_EQ(kept.biSizeImage, header.biSizeImage);

    std::vector<BYTE> bytes(header.biSizeImage + 64);
    VIDEOHDR frame{};
    frame.lpData = bytes.data();
    frame.dwBufferLength = static_cast<DWORD>(bytes.size());
    ASSERT_EQ(link.CaptureFrame(&frame), DV_ERR_OK);
    EXPECT_EQ(frame.dwBytesUsed, FrameBytes(format, 160, 120));

    const AVPixelFormat twin = av_get_pix_fmt(std::string(format.ffmpeg).c_str());
    ASSERT_NE(twin, AV_PIX_FMT_NONE);
    EXPECT_EQ(av_get_padded_bits_per_pixel(av_pix_fmt_desc_get(twin)), static_cast<int>(format.bitCount));
  }
  session.Finish();
}

TEST_F(TablesTest, EveryControlRowIsWhatTheSettingsDialogShowsAndKeeps) {
  std::vector<ControlValue> shown;
  {
    Session settings(global_, host_, VIDEO_EXTERNALIN);
    shown = RunSettingsDialog(settings.Link(), {});
    // Every control away from its default; one that needs another last, at
    // its lowest, once the other holds what it needs.
    ControlSets sets, last;
    for (const ZarncapControl& control : kControls) {
      if (!control.needsControl.empty()) {
        last.emplace_back(std::string(control.needsControl), std::string(control.needsValue));
        last.emplace_back(std::string(control.name), std::to_string(control.minimum));
        continue;
      }
      const int other = control.defaultValue == control.maximum ? control.minimum : control.maximum;
      sets.emplace_back(std::string(control.name),
                        control.IsSlider() ? std::to_string(other) : std::string(control.choices[other].value));
    }
    sets.insert(sets.end(), last.begin(), last.end());
    RunSettingsDialog(settings.Link(), sets);
    settings.Finish();
  }
  for (const ZarncapControl& control : kControls) {
    SCOPED_TRACE(std::string(control.name));
    const auto it = std::find_if(shown.begin(), shown.end(), [&](const ControlValue& v) { return v.name == control.name; });
    ASSERT_NE(it, shown.end());
    if (control.IsSlider()) {
      EXPECT_EQ(it->value, std::to_string(control.defaultValue));
      EXPECT_EQ(it->range, std::to_string(control.minimum) + ".." + std::to_string(control.maximum));
    } else {
      EXPECT_EQ(it->value, control.choices[control.defaultValue].value);
    }
    if (control.keys.find(',') != std::string_view::npos) continue;  // kept as two keys
    // The driver wrote the value the dialog took under the row's key.
    const std::string section(control.section), key(control.keys);
    const UINT missing = 12345;
    const UINT kept = platform::GetPrivateProfileInt(section.c_str(), key.c_str(), missing, global_.ini.c_str());
    const bool waits = !control.needsControl.empty();
    const int expected = waits || control.defaultValue == control.maximum ? control.minimum : control.maximum;
    EXPECT_EQ(static_cast<int>(kept), expected);
  }
}

}  // namespace
}  // namespace zarncap
