// The source-settings and format dialogs through DVM_DIALOG, acted on as a
// user would through the headless dialog model: the test is the dialog's
// owner window and gets the dialog once it is up.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <functional>
#include <map>
#include <numeric>
#include <thread>

#include "capture_host.h"
#include "colspace/colspace.h"
#include "platform/portable/dialog_host.h"
#include "support/environment.h"
#include "trace/trace_window.h"
#include "ui/dialog_controls.h"

namespace capture_host {
namespace {

using Script = std::function<void(HWND, const platform::DialogUser&)>;

// What a dialog shows, read through the user's side of the model.
struct Shown {
  HWND dialog;
  const platform::DialogUser* user;
  platform::ControlState Control(int id) const {
    platform::ControlState state{};
    for (std::size_t i = 0; i < user->controlCount(dialog); ++i) {
      if (user->control(dialog, i, &state) && state.id == id) return state;
    }
    ADD_FAILURE() << "no control " << id;
    return state;
  }
  std::string Text(int id) const { return Control(id).text; }
  bool Checked(int id) const { return Control(id).checked != FALSE; }
  bool Enabled(int id) const { return Control(id).enabled != FALSE; }
  bool Visible(int id) const { return Control(id).visible != FALSE; }
  int Position(int id) const { return Control(id).scrollPos; }
};

class DialogTest : public CaptureHostTest {
 protected:
  void SetUp() override {
    CaptureHostTest::SetUp();
    if (IsSkipped()) return;
    host_.context = this;
    host_.shown = [](void* context, HWND dialog, const platform::DialogUser* user) {
      auto* self = static_cast<DialogTest*>(context);
      if (self->script_) self->script_(dialog, *user);
    };
    char address[32];
    std::snprintf(address, sizeof address, "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&host_)));
    testsupport::SetEnvironment(platform::kDialogHostVariable, address);
  }
  void TearDown() override {
    testsupport::UnsetEnvironment(platform::kDialogHostVariable);
    CaptureHostTest::TearDown();
  }

  // DVM_DIALOG on the channel with this test as the owner; the script acts on
  // the dialog while it is up.
  LRESULT Dialog(HDRVR channel, Script script) {
    script_ = std::move(script);
    const LRESULT r = Send(channel, DVM_DIALOG, reinterpret_cast<LPARAM>(platform::AsOwner(&host_)), 0);
    script_ = nullptr;
    return r;
  }
  // Reads the dialog as it opens and leaves it with Cancel.
  void Peek(HDRVR channel, std::map<int, platform::ControlState>* states) {
    Dialog(channel, [&](HWND d, const platform::DialogUser& u) {
      platform::ControlState s;
      for (std::size_t i = 0; i < u.controlCount(d); ++i) {
        if (u.control(d, i, &s) && s.id > 0) (*states)[s.id] = s;
      }
    });
  }
  static double MeanLevel(const std::vector<BYTE>& frame) {
    return std::accumulate(frame.begin(), frame.end(), 0.0) / static_cast<double>(frame.size());
  }

  // For the details dialog: its port text, read once it is up, then OK.
  void ReadPortThenOk(std::string* port) {
    script_ = [port](HWND d, const platform::DialogUser& u) {
      *port = Shown{d, &u}.Text(1110);
      u.click(d, IDOK);
    };
  }

  platform::DialogHost host_{};
  Script script_;
};

constexpr int kOk = IDOK, kCancel = IDCANCEL;

TEST_F(DialogTest, SourceDialogOpensOnTheSettingsInForceAndCancelPutsThemBack) {
  HDRVR source = Open(VIDEO_EXTERNALIN);
  ASSERT_NE(source, nullptr);
  std::map<int, platform::ControlState> before;
  Peek(source, &before);
  EXPECT_EQ(before[1000].scrollPos, 50);
  EXPECT_EQ(before[1000].scrollMax, 100);
  EXPECT_STREQ(before[1001].text, "50");
  EXPECT_STREQ(before[1011].text, "75");  // the device's image quality
  // The device starts with temporal difference on and automatic threshold off.
  EXPECT_TRUE(before[1009].checked);
  EXPECT_TRUE(before[1010].enabled);
  EXPECT_TRUE(before[1014].checked);

  EXPECT_EQ(Dialog(source,
                   [](HWND d, const platform::DialogUser& u) {
                     EXPECT_TRUE(u.scroll(d, 1000, SB_PAGEDOWN, 0));
                     EXPECT_TRUE(u.type(d, 1005, "30"));
                     EXPECT_TRUE(u.click(d, 1007));  // compression off
                     EXPECT_TRUE(u.click(d, 1013));  // low light
                     const Shown shown{d, &u};
                     EXPECT_EQ(shown.Position(1000), 60);
                     EXPECT_EQ(shown.Position(1004), 30);
                     EXPECT_FALSE(shown.Enabled(1010));
                     EXPECT_TRUE(u.click(d, kCancel));
                   }),
            static_cast<LRESULT>(DV_ERR_OK));
  std::map<int, platform::ControlState> after;
  Peek(source, &after);
  for (int id : {1000, 1002, 1004, 1010}) EXPECT_EQ(after[id].scrollPos, before[id].scrollPos) << id;
  for (int id : {1007, 1008, 1009, 1013, 1014}) EXPECT_EQ(after[id].checked, before[id].checked) << id;
}

TEST_F(DialogTest, SliderRequestsMoveAndClampAsTheRecordSays) {
  HDRVR source = Open(VIDEO_EXTERNALIN);
  ASSERT_NE(source, nullptr);
  struct Step {
    int request;
    int thumb;
    int expected;
  };
  const Step steps[] = {{SB_LINEDOWN, 0, 51}, {SB_LINEUP, 0, 50},        {SB_PAGEUP, 0, 40},
                        {SB_PAGEDOWN, 0, 50}, {SB_THUMBTRACK, 97, 97},   {SB_THUMBPOSITION, 10, 97},
                        {SB_PAGEDOWN, 0, 100}, {SB_THUMBTRACK, 0, 0},    {SB_PAGEUP, 0, 0},
                        {SB_ENDSCROLL, 0, 0}};
  Dialog(source, [&](HWND d, const platform::DialogUser& u) {
    const Shown shown{d, &u};
    for (const Step& step : steps) {
      u.scroll(d, 1002, step.request, step.thumb);
      EXPECT_EQ(shown.Position(1002), step.expected) << step.request;
      EXPECT_EQ(shown.Text(1003), std::to_string(step.expected));
    }
    u.click(d, kOk);
  });
}

TEST_F(DialogTest, TypedNumbersAboveTheMaximumOrNotNumbersChangeNothing) {
  HDRVR source = Open(VIDEO_EXTERNALIN);
  ASSERT_NE(source, nullptr);
  // Pasted, so each text reaches the dialog whole.
  const std::pair<const char*, int> typed[] = {{"150", 50}, {"30", 30},         {"abc", 30},
                                               {"2147483648", 30}, {"4294967346", 30}, {" 70 ", 70}, {"", 70},
                                               {"0000000000000000000000000000000150", 70},
                                               {"0000000000000000000000000000000090", 90}};
  Dialog(source, [&](HWND d, const platform::DialogUser& u) {
    const Shown shown{d, &u};
    for (auto [text, position] : typed) {
      u.paste(d, 1005, text);
      EXPECT_EQ(shown.Position(1004), position) << text;
    }
    u.click(d, kOk);
  });
}

// Typing notifies the dialog at every key, as a real edit box does: each
// number on the way is applied while it is in range ("150" goes 1, 15, then
// 150 is ignored), and the scroll bar follows the text.
TEST_F(DialogTest, TypingAppliesEachNumberOnTheWay) {
  HDRVR source = Open(VIDEO_EXTERNALIN);
  ASSERT_NE(source, nullptr);
  const std::pair<const char*, int> typed[] = {{"75", 75}, {"150", 15}, {"9", 9}, {"", 9}};
  Dialog(source, [&](HWND d, const platform::DialogUser& u) {
    const Shown shown{d, &u};
    for (auto [text, position] : typed) {
      u.type(d, 1001, text);
      EXPECT_EQ(shown.Position(1000), position) << text;
      EXPECT_EQ(shown.Text(1001), text) << text;
    }
    u.click(d, kOk);
  });
  std::int16_t brightness = -1, unused = -1;
  GetPictureControls(&brightness, &unused, &unused);
  EXPECT_EQ(brightness, 9);
}

TEST_F(DialogTest, BrightnessFromTheDialogShowsInTheNextFrame) {
  HDRVR source = Open(VIDEO_EXTERNALIN);
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(source, nullptr);
  ASSERT_NE(video, nullptr);
  std::vector<BYTE> frame(GetFormat(video).biSizeImage);
  ASSERT_EQ(Frame(video, frame), static_cast<LRESULT>(DV_ERR_OK));
  const double before = MeanLevel(frame);
  Dialog(source, [](HWND d, const platform::DialogUser& u) {
    u.type(d, 1001, "80");
    u.click(d, kOk);
  });
  ASSERT_EQ(Frame(video, frame), static_cast<LRESULT>(DV_ERR_OK));
  EXPECT_GT(MeanLevel(frame), before + 10);
}

TEST_F(DialogTest, ColourLabelFollowsTheSystemLanguageOnTheEnglishDialog) {
  HDRVR source = Open(VIDEO_EXTERNALIN);
  ASSERT_NE(source, nullptr);
  for (auto [locale, label] : {std::pair<const char*, const char*>{"en_GB.UTF-8", "Colou&r"}, {"en_US", "Colo&r"}}) {
    testsupport::SetEnvironment("LC_ALL", locale);
    std::map<int, platform::ControlState> shown;
    Peek(source, &shown);
    EXPECT_STREQ(shown[1006].text, label) << locale;
  }
  testsupport::UnsetEnvironment("LC_ALL");
}

TEST_F(DialogTest, SecondSensorKindShowsNoLightingAndItsButtonsCannotBeUsed) {
  Camera("sim:sensor=1");
  HDRVR source = Open(VIDEO_EXTERNALIN);
  ASSERT_NE(source, nullptr);
  Dialog(source, [](HWND d, const platform::DialogUser& u) {
    const Shown shown{d, &u};
    for (int id : {1012, 1013, 1014}) EXPECT_FALSE(shown.Visible(id)) << id;
    EXPECT_FALSE(u.click(d, 1013));
    // A click the user cannot make but a program can send: the dialog's own
    // guard refuses it, and the gain level stays as it was.
    EXPECT_EQ(platform::SendMessage(d, WM_COMMAND, MAKEWPARAM(1013, BN_CLICKED), 0), FALSE);
    EXPECT_EQ(DialogControls().gainLevel, 0);
    u.click(d, kOk);
  });
}

TEST_F(DialogTest, WithoutAHostTheDialogEndsAsCancelled) {
  testsupport::UnsetEnvironment(platform::kDialogHostVariable);
  HDRVR source = Open(VIDEO_EXTERNALIN);
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(source, nullptr);
  std::int16_t before[3], after[3];
  GetPictureControls(&before[0], &before[1], &before[2]);
  const BITMAPINFOHEADER format = GetFormat(video);
  std::remove(ini_.c_str());
  EXPECT_EQ(Send(source, DVM_DIALOG, 0, 0), static_cast<LRESULT>(DV_ERR_OK));
  EXPECT_EQ(Send(video, DVM_DIALOG, 0x1234, 0), static_cast<LRESULT>(DV_ERR_OK));  // an owner that is no host
  // Cancelled: nothing changed, nothing written.
  GetPictureControls(&after[0], &after[1], &after[2]);
  EXPECT_TRUE(std::equal(before, before + 3, after));
  const BITMAPINFOHEADER formatAfter = GetFormat(video);
  EXPECT_EQ(std::memcmp(&format, &formatAfter, sizeof format), 0);
  EXPECT_FALSE(std::filesystem::exists(ini_));
}

// A dialog the user saw and used whose device went away ends as cancelled
// (0, not "not supported": a host may grey out a command that answers 17).
TEST_F(DialogTest, ADialogWhoseDeviceWentAwayJustEnds) {
  HDRVR source = Open(VIDEO_EXTERNALIN);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(Dialog(source,
                   [&](HWND d, const platform::DialogUser& u) {
                     Close(source);  // the host's last channel closes while the dialog is up
                     EXPECT_TRUE(u.scroll(d, 1000, SB_PAGEDOWN, 0));
                     EXPECT_TRUE(u.ended(d));
                   }),
            static_cast<LRESULT>(DV_ERR_OK));
}

// The last channel closes and a new one opens while the dialog is up: the new
// device (very likely at the old one's address) is not the dialog's. The
// dialog ends at its next use, and neither that use nor its end touches the
// new device's settings.
TEST_F(DialogTest, ADialogNeverActsOnADeviceMadeAfterItOpened) {
  HDRVR source = Open(VIDEO_EXTERNALIN);
  ASSERT_NE(source, nullptr);
  HDRVR next = nullptr;
  std::int16_t brightness = -1, contrast = -1, colour = -1;
  EXPECT_EQ(Dialog(source,
                   [&](HWND d, const platform::DialogUser& u) {
                     EXPECT_TRUE(u.scroll(d, 1000, SB_PAGEDOWN, 0));  // the old device: 60
                     Close(source);
                     next = Open(VIDEO_EXTERNALIN);
                     ASSERT_NE(next, nullptr);
                     GetPictureControls(&brightness, &contrast, &colour);
                     u.scroll(d, 1000, SB_PAGEDOWN, 0);
                     EXPECT_TRUE(u.ended(d));
                   }),
            static_cast<LRESULT>(DV_ERR_OK));
  std::int16_t after = -1, unused = -1;
  GetPictureControls(&after, &unused, &unused);
  EXPECT_EQ(after, brightness);
}

struct FormatCase {
  const char* what;
  BITMAPINFOHEADER start;
  std::vector<std::pair<int, std::string>> actions;  // click id, or type text into id
  int finalButton;
  BITMAPINFOHEADER expected;
};

TEST_F(DialogTest, FormatDialogAppliesOnOkAndKeepsTheFormatInForceOtherwise) {
  const FormatCase cases[] = {
      {"opens on 160x120 RGB24, OK", Header(160, 120), {}, kOk, Header(160, 120)},
      {"640x480 then Cancel", Header(160, 120), {{1053, ""}}, kCancel, Header(160, 120)},
      {"I420 at 160x120", Header(320, 240), {{1051, ""}, {1060, ""}}, kOk, Header(160, 120, 12, FOURCC_I420)},
      {"a size I420 cannot take", Header(160, 120), {{1060, ""}, {1063, "300"}, {1064, "200"}}, kOk,
       Header(160, 120)},
      {"a width past 16 bits", Header(160, 120), {{1063, "4294901920"}}, kOk, Header(160, 120)},
      {"a width past 640", Header(160, 120), {{1063, "656"}}, kOk, Header(160, 120)},
      {"16 bit at 320x240", Header(160, 120), {{1054, ""}, {1058, ""}}, kOk, Header(320, 240, 16)},
  };
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  for (const FormatCase& c : cases) {
    ASSERT_EQ(SetFormat(video, c.start), static_cast<LRESULT>(DV_ERR_OK)) << c.what;
    Dialog(video, [&](HWND d, const platform::DialogUser& u) {
      for (const auto& [id, text] : c.actions) {
        if (id == 1063 || id == 1064) u.type(d, id, text.c_str());
        else u.click(d, id);
      }
      u.click(d, c.finalButton);
    });
    const BITMAPINFOHEADER now = GetFormat(video);
    EXPECT_EQ(now.biWidth, c.expected.biWidth) << c.what;
    EXPECT_EQ(now.biHeight, c.expected.biHeight) << c.what;
    EXPECT_EQ(now.biCompression, c.expected.biCompression) << c.what;
    if (c.expected.biCompression == BI_RGB) {
      EXPECT_EQ(now.biBitCount, c.expected.biBitCount) << c.what;
    }
  }
}

// Sizes past 640 x 480 are refused by the dialog itself, before the format
// code hears of them: with the trace on, OK on such a size leaves no format
// line, while OK on a size the format code then refuses does.
TEST_F(DialogTest, TheFormatDialogsOwnBoundComesBeforeTheCamera) {
  Setting("ZARNCAP", "DebugLevel", "32");
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  auto formatLinesAfterOk = [&](const char* width, const char* height) {
    const size_t before = TraceWindowLines().size();
    Dialog(video, [&](HWND d, const platform::DialogUser& u) {
      u.paste(d, 1063, width);
      u.paste(d, 1064, height);
      u.click(d, kOk);
    });
    const std::vector<std::string> lines = TraceWindowLines();
    return std::count_if(lines.begin() + static_cast<std::ptrdiff_t>(std::min(before, lines.size())), lines.end(),
                         [](const std::string& line) { return line.rfind("bitcnt = ", 0) == 0; });
  };
  EXPECT_EQ(formatLinesAfterOk("656", "240"), 0) << "a width past 640 reached the format code";
  EXPECT_EQ(formatLinesAfterOk("320", "488"), 0) << "a height past 480 reached the format code";
  EXPECT_GT(formatLinesAfterOk("300", "200"), 0) << "a size inside the bound goes on to the format code";
}

TEST_F(DialogTest, FormatDialogShowsTheFormatInForce) {
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  const std::pair<BITMAPINFOHEADER, std::vector<int>> cases[] = {
      {Header(160, 120), {1051, 1057}}, {Header(320, 240, 16), {1054, 1058}}, {Header(176, 144, 8), {1050, 1059}},
      {Header(312, 200), {1057}}};
  for (const auto& [format, checked] : cases) {
    ASSERT_EQ(SetFormat(video, format), static_cast<LRESULT>(DV_ERR_OK));
    std::map<int, platform::ControlState> shown;
    Peek(video, &shown);
    for (int id = 1050; id <= 1060; ++id) {
      const bool expected = std::find(checked.begin(), checked.end(), id) != checked.end();
      EXPECT_EQ(shown[id].checked != FALSE, expected) << format.biWidth << "x" << format.biHeight << " " << id;
    }
    EXPECT_EQ(std::string(shown[1063].text), std::to_string(format.biWidth));
    EXPECT_EQ(std::string(shown[1064].text), std::to_string(format.biHeight));
  }
}

// DRV_CONFIGURE's camera details, read once the dialog has filled them in.
struct DetailsCase {
  const char* what;
  const char* camera;
  bool channelOpen;
  const char* settings;  // written to the settings folder's zarncap.ini
  const char* port;
  const char* sensor;
};

TEST_F(DialogTest, CameraDetailsNameThePortItsModeAndTheSensor) {
  const DetailsCase cases[] = {
      {"from the open channel's device", "sim", true, "", "LPT1 (ECP port)", "Model A"},
      {"by its own search", "sim:port=2", false, "", "LPT2 (ECP port)", "Model A"},
      {"the second sensor kind", "sim:port=3,sensor=1", false, "", "LPT3 (ECP port)", "Model B"},
      {"a forced 4-bit mode", "sim:port=2", false, "[ZARNCAP]\nForce4Bit=1\n", "LPT2 (4 bit port *)", "Model A"},
      {"a 4-bit retry", "sim:port=2,mode=byte-unreliable", false, "", "LPT2 (4 bit port *)", "Model A"},
      {"no camera", "sim:port=none", false, "", "Camera not found", ""},
  };
  // The search always reads "zarncap.ini" from the settings folder: one of the test's own.
  const char* saved = std::getenv("ZARNCAP_CONFIG_DIR");
  const std::string savedFolder = saved != nullptr ? saved : "";
  const std::string folder = testsupport::MakeTempFolder("zarncap-details-");
  testsupport::SetEnvironment("ZARNCAP_CONFIG_DIR", folder.c_str());
  const std::string settings = testsupport::ProfileFilePath(folder, "zarncap.ini");
  for (const DetailsCase& c : cases) {
    std::remove(settings.c_str());
    if (*c.settings != '\0') std::ofstream(settings) << c.settings;
    Camera(c.camera);
    HDRVR channel = c.channelOpen ? Open(VIDEO_IN) : nullptr;
    HDRVR configuration = platform::OpenDriverProc(&DriverProc, nullptr, 0);
    ASSERT_NE(configuration, nullptr) << c.what;
    const LONG openCount = Driver().openCount;
    std::map<int, std::string> shown;
    std::string caption;
    script_ = [&](HWND d, const platform::DialogUser& u) {
      char text[256];
      u.caption(d, text, sizeof text);
      caption = text;
      const Shown view{d, &u};
      for (int id : {1100, 1107, 1108, 1109, 1110, 1111}) shown[id] = view.Text(id);
      EXPECT_FALSE(view.Visible(1100)) << c.what;  // the wait text is gone once the details are in
      EXPECT_TRUE(view.Visible(1110)) << c.what;
      u.click(d, kOk);
    };
    platform::VirtualClock clock(platform::TimeGetTime());
    platform::SetClockSource(&clock);
    EXPECT_EQ(platform::SendDriverMessage(configuration, DRV_CONFIGURE, reinterpret_cast<LPARAM>(&host_), 0), 1);
    platform::SetClockSource(nullptr);
    script_ = nullptr;
    EXPECT_EQ(caption, " Video Capture Driver") << c.what;
    EXPECT_EQ(shown[1110], c.port) << c.what;
    EXPECT_EQ(shown[1108], c.sensor) << c.what;
    EXPECT_EQ(shown[1107], platform::ModuleVersionText()) << c.what;
    EXPECT_EQ(shown[1109], "Dec 19 1997") << c.what;
    EXPECT_EQ(shown[1111], "U.S. English") << c.what;
    EXPECT_EQ(Driver().openCount, openCount) << c.what;  // the search leaves the host's opens alone
    platform::CloseDriver(configuration, 0, 0);
    if (channel != nullptr) Close(channel);
  }
  std::remove(settings.c_str());
  std::filesystem::remove_all(folder);
  if (savedFolder.empty()) testsupport::UnsetEnvironment("ZARNCAP_CONFIG_DIR");
  else testsupport::SetEnvironment("ZARNCAP_CONFIG_DIR", savedFolder.c_str());
  // The search left the camera released: a channel opens on it.
  Camera("sim:port=2");
  EXPECT_NE(Open(VIDEO_IN), nullptr);
}

// The details search holds the driver lock while it has the port: a channel
// opened from another thread meanwhile waits for the search and then opens as
// usual (never refused), and the search still finds the camera.
TEST_F(DialogTest, AnOpenFromAnotherThreadDuringTheDetailsSearchWaitsAndOpens) {
  Camera("sim:port=2");
  HDRVR configuration = platform::OpenDriverProc(&DriverProc, nullptr, 0);
  ASSERT_NE(configuration, nullptr);
  std::string port;
  ReadPortThenOk(&port);
  HDRVR opened = nullptr;
  DWORD error = 0;
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // into the search, which takes seconds
    VIDEO_OPEN_PARMS parms = Parms(VIDEO_IN);
    const std::string openString = "vcap " + ini_;
    opened = platform::OpenDriverProc(&DriverProc, openString.c_str(), reinterpret_cast<LPARAM>(&parms));
    error = parms.dwError;
  });
  EXPECT_EQ(platform::SendDriverMessage(configuration, DRV_CONFIGURE, reinterpret_cast<LPARAM>(&host_), 0), 1);
  other.join();
  script_ = nullptr;
  EXPECT_EQ(port, "LPT2 (ECP port)");
  ASSERT_NE(opened, nullptr) << "refused with " << error;
  std::vector<BYTE> buffer(GetFormat(opened).biSizeImage);
  EXPECT_EQ(Frame(opened, buffer), DV_ERR_OK);
  platform::CloseDriver(opened, 0, 0);
  platform::CloseDriver(configuration, 0, 0);
}

// Each language's dialogs come through DVM_DIALOG on the channel kind that
// shows them, with their own captions.
TEST_F(DialogTest, EveryLanguageOpensItsOwnDialogs) {
  struct LanguageCase {
    const char* language;
    int source, format;
    const char* sourceCaption;
  };
  const LanguageCase cases[] = {
      {"Fran\xE7" "ais", 104, 105, "R\xE9glages de la saisie de vid\xE9o"},
      {"Deutsch", 106, 107, "Videofangeinstellungen"},
      {"Espa\xF1" "ol", 108, 109, "Ajustes de captura de v\xED" "deo"},
      {"Italiano", 110, 111, "Aggiustamenti per la Cattura Immagine"},
  };
  for (const LanguageCase& c : cases) {
    Setting("ZARNCAP", "Language", c.language);
    HDRVR source = Open(VIDEO_EXTERNALIN);
    HDRVR video = Open(VIDEO_IN);
    ASSERT_NE(source, nullptr) << c.language;
    ASSERT_NE(video, nullptr) << c.language;
    int shownSource = 0, shownFormat = 0;
    std::string caption;
    EXPECT_EQ(Dialog(source,
                     [&](HWND d, const platform::DialogUser& u) {
                       shownSource = u.resourceId(d);
                       char text[256];
                       u.caption(d, text, sizeof text);
                       caption = text;
                       u.click(d, kCancel);
                     }),
              static_cast<LRESULT>(DV_ERR_OK));
    EXPECT_EQ(Dialog(video,
                     [&](HWND d, const platform::DialogUser& u) {
                       shownFormat = u.resourceId(d);
                       u.click(d, kCancel);
                     }),
              static_cast<LRESULT>(DV_ERR_OK));
    EXPECT_EQ(shownSource, c.source) << c.language;
    EXPECT_EQ(shownFormat, c.format) << c.language;
    EXPECT_EQ(caption, c.sourceCaption) << c.language;
    Close(video);
    Close(source);  // the last close: the next language is read afresh
  }
}

// Cancel with nothing changed writes nothing: the settings file is written
// only when the device is torn down, and the values stay as they were.
TEST_F(DialogTest, CancelWithoutChangesWritesNothing) {
  HDRVR source = Open(VIDEO_EXTERNALIN);
  ASSERT_NE(source, nullptr);
  std::remove(ini_.c_str());
  std::int16_t before[3], after[3];
  GetPictureControls(&before[0], &before[1], &before[2]);
  EXPECT_EQ(Dialog(source, [](HWND d, const platform::DialogUser& u) { u.click(d, kCancel); }),
            static_cast<LRESULT>(DV_ERR_OK));
  GetPictureControls(&after[0], &after[1], &after[2]);
  EXPECT_TRUE(std::equal(before, before + 3, after));
  EXPECT_FALSE(std::filesystem::exists(ini_));
}

// The settings dialog works against a running stream: a change shows in the
// frames that follow, and the stream carries on through it.
TEST_F(DialogTest, TheSettingsDialogWorksWhileAStreamRuns) {
  Camera("sim:period=10,scene=flat:128,128,128");
  HDRVR video = Open(VIDEO_IN);
  HDRVR source = Open(VIDEO_EXTERNALIN);
  ASSERT_NE(video, nullptr);
  ASSERT_NE(source, nullptr);
  const DWORD size = GetFormat(video).biSizeImage;
  VIDEO_STREAM_INIT_PARMS parms{};
  parms.dwMicroSecPerFrame = 10000;
  ASSERT_EQ(Send(video, DVM_STREAM_INIT, P(&parms), sizeof parms), DV_ERR_OK);
  ASSERT_EQ(Send(video, DVM_STREAM_START), DV_ERR_OK);
  // A few streamed frames at this brightness; the last one's mean level.
  auto streamedLevel = [&](const char* brightness) {
    EXPECT_EQ(Dialog(source,
                     [&](HWND d, const platform::DialogUser& u) {
                       u.paste(d, 1001, brightness);
                       u.click(d, kOk);
                     }),
              static_cast<LRESULT>(DV_ERR_OK));
    std::vector<BYTE> bytes(size);
    for (int frame = 0; frame < 3; ++frame) {
      VIDEOHDR h{};
      h.lpData = bytes.data();
      h.dwBufferLength = size;
      h.dwFlags = VHDR_PREPARED;
      EXPECT_EQ(Send(video, DVM_STREAM_ADDBUFFER, P(&h), sizeof h), DV_ERR_OK);
      for (int i = 0; i < 500 && (h.dwFlags & VHDR_DONE) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      EXPECT_NE(h.dwFlags & VHDR_DONE, 0u) << brightness;
    }
    return MeanLevel(bytes);
  };
  const double dark = streamedLevel("0");
  const double bright = streamedLevel("100");
  ASSERT_EQ(Send(video, DVM_STREAM_RESET), DV_ERR_OK);
  ASSERT_EQ(Send(video, DVM_STREAM_FINI), DV_ERR_OK);
  EXPECT_GT(bright, dark + 10.0);
}

// "Low Light" raises the sensor's gain, and the virtual camera answers it as
// a sensor does: the frames that follow are brighter; "Normal" brings them back.
TEST_F(DialogTest, LowLightMakesThePictureBrighter) {
  Camera("sim:scene=flat:90,90,90,noise=0");
  HDRVR video = Open(VIDEO_IN);
  HDRVR source = Open(VIDEO_EXTERNALIN);
  ASSERT_NE(video, nullptr);
  ASSERT_NE(source, nullptr);
  std::vector<BYTE> frame(GetFormat(video).biSizeImage);
  auto levelWith = [&](int button) {
    Dialog(source, [&](HWND d, const platform::DialogUser& u) {
      u.click(d, button);
      u.click(d, kOk);
    });
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Frame(video, frame), DV_ERR_OK);
    return MeanLevel(frame);
  };
  const double normal = levelWith(1014);
  const double low = levelWith(1013);
  const double back = levelWith(1014);
  EXPECT_GT(low, normal * 1.2);
  EXPECT_NEAR(back, normal, normal * 0.05);
}

// DRV_DISABLE while the settings dialog is up: the dialog's next use finds
// its device gone and ends as cancelled; nothing reaches the closed camera.
TEST_F(DialogTest, DisableWhileADialogIsUpEndsIt) {
  HDRVR source = Open(VIDEO_EXTERNALIN);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(Dialog(source,
                   [&](HWND d, const platform::DialogUser& u) {
                     EXPECT_EQ(DriverProc(0, nullptr, DRV_DISABLE, 0, 0), 0);
                     u.scroll(d, 1000, SB_PAGEDOWN, 0);
                     EXPECT_TRUE(u.ended(d));
                   }),
            static_cast<LRESULT>(DV_ERR_OK));
  DriverProc(0, nullptr, DRV_ENABLE, 0, 0);
}

// The details search tries the port the settings name first, as a channel
// open does: with "LPT_Port=3" it goes straight to LPT3.
TEST_F(DialogTest, TheDetailsSearchTriesTheSavedPortFirst) {
  const char* saved = std::getenv("ZARNCAP_CONFIG_DIR");
  const std::string savedFolder = saved != nullptr ? saved : "";
  const std::string folder = testsupport::MakeTempFolder("zarncap-details-port-");
  testsupport::SetEnvironment("ZARNCAP_CONFIG_DIR", folder.c_str());
  const std::string settings = testsupport::ProfileFilePath(folder, "zarncap.ini");
  std::ofstream(settings) << "[ZARNCAP]\nLPT_Port=3\n";
  Camera("sim:port=3");
  HDRVR configuration = platform::OpenDriverProc(&DriverProc, nullptr, 0);
  ASSERT_NE(configuration, nullptr);
  std::string port;
  ReadPortThenOk(&port);
  platform::ClearRecordedMessageBoxes();
  platform::VirtualClock clock(platform::TimeGetTime());
  platform::SetClockSource(&clock);
  const DWORD before = clock.Now();
  EXPECT_EQ(platform::SendDriverMessage(configuration, DRV_CONFIGURE, reinterpret_cast<LPARAM>(&host_), 0), 1);
  const DWORD searched = clock.Now() - before;
  platform::SetClockSource(nullptr);
  script_ = nullptr;
  platform::CloseDriver(configuration, 0, 0);
  EXPECT_EQ(port, "LPT3 (ECP port)");
  // Found without probing LPT1 and LPT2 first: the same search from an empty
  // settings file takes two failed probes longer.
  std::ofstream(settings) << "[ZARNCAP]\n";
  configuration = platform::OpenDriverProc(&DriverProc, nullptr, 0);
  script_ = [&](HWND d, const platform::DialogUser& u) { u.click(d, kOk); };
  platform::VirtualClock scanClock(platform::TimeGetTime());
  platform::SetClockSource(&scanClock);
  const DWORD scanStart = scanClock.Now();
  platform::SendDriverMessage(configuration, DRV_CONFIGURE, reinterpret_cast<LPARAM>(&host_), 0);
  const DWORD scanned = scanClock.Now() - scanStart;
  platform::SetClockSource(nullptr);
  script_ = nullptr;
  platform::CloseDriver(configuration, 0, 0);
  EXPECT_LT(searched, scanned);
  std::filesystem::remove_all(folder);
  if (savedFolder.empty()) testsupport::UnsetEnvironment("ZARNCAP_CONFIG_DIR");
  else testsupport::SetEnvironment("ZARNCAP_CONFIG_DIR", savedFolder.c_str());
}

}  // namespace
}  // namespace capture_host
