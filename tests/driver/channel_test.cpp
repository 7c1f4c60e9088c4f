#include <cstring>
#include <string>

#include "driver/channel.h"
#include "driver/open_string.h"
#include "driver_fixture.h"

namespace {

using ChannelTest = DriverTest;

TEST(OpenString, PortAndSettingsFile) {
  DWORD port = 69;
  char path[kIniPathSize] = "zarncap.ini";
  const char* example = "vcap LPT2 C:\\RERA\\MY.INI";
  PortFromOpenString(example, &port);
  IniPathFromOpenString(example, path);
  EXPECT_EQ(port, 2u);
  EXPECT_STREQ(path, "C:\\RERA\\MY.INI");

  for (const char* unchanged : {"vcap lpt4", "vcap LPT0", "vcap LPT", "", "LPTX LPT2"}) {
    port = 69;
    PortFromOpenString(unchanged, &port);
    EXPECT_EQ(port, 69u) << unchanged;
  }
  PortFromOpenString(nullptr, &port);
  EXPECT_EQ(port, 69u);
  PortFromOpenString("vcap lpt3", &port);
  EXPECT_EQ(port, 3u);

  std::strcpy(path, "zarncap.ini");
  IniPathFromOpenString("MY.INI", path);
  EXPECT_STREQ(path, "MY.INI");
  IniPathFromOpenString("vcap lpt1 d:\\Cams\\Mixed.Ini trailing", path);
  EXPECT_STREQ(path, "d:\\Cams\\Mixed.Ini");
  std::strcpy(path, "zarncap.ini");
  IniPathFromOpenString("vcap LPT1", path);
  IniPathFromOpenString(nullptr, path);
  EXPECT_STREQ(path, "zarncap.ini");
}

TEST(OpenString, OverlongStringIsIgnoredWithoutOverflow) {
  std::string longest(kMaxOpenStringLength - 6, 'A');
  longest += " X.INI";  // exactly 259 characters
  char path[kIniPathSize + 8];
  std::memset(path, '#', sizeof path);
  std::strcpy(path, "zarncap.ini");
  IniPathFromOpenString(longest.c_str(), path);
  EXPECT_STREQ(path, "X.INI");

  std::string tooLong = std::string(300, 'B') + " LPT2 Y.INI";
  DWORD port = 69;
  PortFromOpenString(tooLong.c_str(), &port);
  IniPathFromOpenString(tooLong.c_str(), path);
  EXPECT_EQ(port, 69u);
  EXPECT_STREQ(path, "X.INI");

  std::string noSpace(kMaxOpenStringLength - 4, 'C');
  noSpace += ".INI";
  IniPathFromOpenString(noSpace.c_str(), path);
  EXPECT_EQ(std::strlen(path), kMaxOpenStringLength);
  EXPECT_EQ(path[kIniPathSize], '#');
}

TEST_F(ChannelTest, FirstOpenSetsTheDeviceUp) {
  WriteIni("[ZARNCAP]\nDebugLevel=36\nLanguage=Deutsch\n", "C:\\RERA\\MY.INI");
  FakeLayers::camerasOn = {2};
  auto parms = Parms(VIDEO_IN);
  DWORD_PTR id = Open(&parms, "vcap LPT2 C:\\RERA\\MY.INI");
  ASSERT_GT(id, 1u);
  EXPECT_EQ(parms.dwError, DV_ERR_OK);
  EXPECT_STREQ(Driver().iniPath, "C:\\RERA\\MY.INI");
  EXPECT_EQ(Driver().debugFlags, 0x24);
  EXPECT_EQ(Driver().lptPort, 2u);
  EXPECT_EQ(Driver().sourceDialogId, 106u);
  EXPECT_EQ(Driver().formatDialogId, 107u);
  EXPECT_STREQ(Driver().languageName, "Deutsch");
  EXPECT_EQ(Driver().sensorPeriod, 66);
  EXPECT_EQ(Driver().deviceReady, 1u);
  EXPECT_EQ(ChannelDevice(), FakeLayers::Device());
  EXPECT_EQ(FakeLayers::lastIniPath, "C:\\RERA\\MY.INI");
  EXPECT_EQ(FakeLayers::calls,
            (std::vector<std::string>{"OpenPortDevice 0", "SelectPort 2", "OpenPort", "OpenNUBODevice 2 0",
                                      "SelectNUBODevice", "SetStreamMode 0", "ResetDialogControls"}));
  EXPECT_TRUE(TraceWindowExists());
  EXPECT_EQ(TraceWindowLines(), std::vector<std::string>{"Video Open : VIDEO_IN ok"});
  InstanceRef instance = FindInstance(id);
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(instance->fccType, FOURCC_VCAP);
  EXPECT_EQ(instance->channelKind, VIDEO_IN);
  EXPECT_EQ(instance->openFlags, VIDEO_IN);

  // A second open uses the device as it is.
  FakeLayers::calls.clear();
  auto ext = Parms(VIDEO_EXTERNALIN | 0x100);
  DWORD_PTR extId = Open(&ext);
  ASSERT_GT(extId, 1u);
  EXPECT_EQ(FindInstance(extId)->openFlags, VIDEO_EXTERNALIN | 0x100u);
  EXPECT_TRUE(FakeLayers::calls.empty());
  EXPECT_EQ(Driver().channelCount, 2);
}

TEST_F(ChannelTest, DebugLevelAndForce4Bit) {
  WriteIni("[zarncap]\ndebuglevel=8\nFORCE4BIT=1\n");
  auto parms = Parms(VIDEO_IN);
  ASSERT_GT(Open(&parms), 1u);
  EXPECT_EQ(Driver().debugFlags, 0x10);
}

TEST_F(ChannelTest, LanguageIsComparedExactly) {
  const std::pair<const char*, DWORD> cases[] = {
      {"Fran\xE7" "ais", 104}, {"Deutsch", 106}, {"Espa\xF1" "ol", 108}, {"Italiano", 110},
      {"deutsch", 101},        {"Francais", 101}, {"U.S. English", 101},
      // A settings file saved as UTF-8 still names French and Spanish; broken UTF-8 names nothing.
      {"Fran\xC3\xA7" "ais", 104}, {"Espa\xC3\xB1" "ol", 108}, {"Fran\xC3" "ais", 101}};
  for (auto [language, sourceId] : cases) {
    ResetDriverForTesting();
    FakeLayers::Install();
    WriteIni(std::string("[ZARNCAP]\nLanguage=") + language + "\n");
    auto parms = Parms(VIDEO_IN);
    ASSERT_GT(Open(&parms), 1u);
    EXPECT_EQ(Driver().sourceDialogId, sourceId) << language;
    EXPECT_EQ(Driver().formatDialogId, sourceId + 1) << language;
  }
}

TEST_F(ChannelTest, NoCameraWithoutAConfiguredPortFailsSilently) {
  WriteIni("[ZARNCAP]\nDebugLevel=1\n");
  FakeLayers::camerasOn = {};
  auto parms = Parms(VIDEO_IN);
  EXPECT_EQ(Open(&parms), 0u);
  EXPECT_EQ(parms.dwError, DV_ERR_NOTDETECTED);
  EXPECT_TRUE(platform::RecordedMessageBoxes().empty());
  EXPECT_EQ(FakeLayers::CallsOf("SelectPort"),
            (std::vector<std::string>{"SelectPort 1", "SelectPort 2", "SelectPort 3"}));
  EXPECT_EQ(FakeLayers::CallsOf("ReleasePort").size(), 3u);
  EXPECT_EQ(Driver().openCount, 0);
  EXPECT_EQ(Driver().deviceReady, 0u);
}

TEST_F(ChannelTest, NoCameraOnAConfiguredPortShowsTheBoxWithBit0) {
  for (int debugLevel : {1, 0}) {
    ResetDriverForTesting();
    FakeLayers::Install();
    platform::ClearRecordedMessageBoxes();
    WriteIni("[ZARNCAP]\nLPT_Port=2\nDebugLevel=" + std::to_string(debugLevel) + "\n");
    FakeLayers::camerasOn = {};
    auto parms = Parms(VIDEO_IN);
    EXPECT_EQ(Open(&parms), 0u);
    EXPECT_EQ(parms.dwError, DV_ERR_NOTDETECTED);
    EXPECT_EQ(FakeLayers::CallsOf("SelectPort"),
              (std::vector<std::string>{"SelectPort 2", "SelectPort 1", "SelectPort 2", "SelectPort 3"}));
    auto boxes = platform::RecordedMessageBoxes();
    if (debugLevel == 1) {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].text, "No camera attached to pc");
      EXPECT_EQ(boxes[0].caption, "DBG_NOCAMERA");
      EXPECT_EQ(boxes[0].type, 0x30u);
    } else {
      EXPECT_TRUE(boxes.empty());
    }
  }
}

TEST_F(ChannelTest, ConfiguredPortFallsBackToTheScan) {
  WriteIni("[ZARNCAP]\nLPT_Port=7\n");  // not a port: the scan decides
  FakeLayers::camerasOn = {3};
  auto parms = Parms(VIDEO_IN);
  DWORD_PTR id = Open(&parms);
  ASSERT_GT(id, 1u);
  EXPECT_EQ(Driver().lptPort, 3u);
  EXPECT_EQ(FakeLayers::CallsOf("OpenNUBODevice"), std::vector<std::string>{"OpenNUBODevice 3 0"});
}

TEST_F(ChannelTest, DeviceSetUpFailureGivesError7WithoutTheCameraBox) {
  WriteIni("[ZARNCAP]\nDebugLevel=1\nLPT_Port=1\n");
  FakeLayers::deviceSetUpWorks = false;
  auto parms = Parms(VIDEO_IN);
  EXPECT_EQ(Open(&parms), 0u);
  EXPECT_EQ(parms.dwError, DV_ERR_NOTDETECTED);
  EXPECT_TRUE(platform::RecordedMessageBoxes().empty());
  EXPECT_EQ(Driver().deviceReady, 0u);
  EXPECT_EQ(ChannelDevice(), nullptr);
  // The released port brought the counter to 0: the next open sets up afresh
  // on the port device it still holds, rather than opening (and leaking) another.
  FakeLayers::deviceSetUpWorks = true;
  ASSERT_GT(Open(&parms), 1u);
  EXPECT_EQ(FakeLayers::portDevicesOpen, 1);
  EXPECT_EQ(FakeLayers::CallsOf("OpenPortDevice").size(), 1u);
  EXPECT_EQ(FakeLayers::portDeviceCloses, 0);
}

TEST_F(ChannelTest, EightChannelsPerKind) {
  std::vector<DWORD_PTR> ids;
  for (int i = 0; i < 8; ++i) {
    auto parms = Parms(VIDEO_IN);
    ids.push_back(Open(&parms));
    ASSERT_GT(ids.back(), 1u);
  }
  auto ninth = Parms(VIDEO_IN);
  EXPECT_EQ(Open(&ninth), 0u);
  EXPECT_EQ(ninth.dwError, DV_ERR_NOTDETECTED);
  EXPECT_EQ(Driver().videoInCount, 8);
  EXPECT_EQ(Driver().channelCount, 8);
  auto ext = Parms(VIDEO_EXTERNALIN);
  EXPECT_GT(Open(&ext), 1u);  // another kind still opens
  EXPECT_EQ(Close(ids.back()), 1);
  ids.pop_back();
  auto again = Parms(VIDEO_IN);
  EXPECT_GT(Open(&again), 1u);
  EXPECT_EQ(again.dwError, DV_ERR_OK);
}

TEST_F(ChannelTest, KindsThatNeverOpen) {
  Driver().debugFlags = DEBUG_TRACE_WINDOW;
  WriteIni("[ZARNCAP]\nDebugLevel=32\n");
  const std::pair<DWORD, const char*> cases[] = {
      {VIDEO_OUT, "Video Open : VIDEO_OUT"},
      {VIDEO_EXTERNALOUT, "Video Open : VIDEO_EXTERNALOUT Fail"},
      {5, "Video Open : error - unknown channel"},
      {0, "Video Open : error - unknown channel"},
      {0x1F, "Video Open : error - unknown channel"}};
  SetTraceEcho(true);  // the window goes with the failed open: read the copy of its lines
  for (auto [flags, line] : cases) {
    auto parms = Parms(flags);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Open(&parms), 0u) << flags;
    const std::string traced = testing::internal::GetCapturedStderr();
    EXPECT_EQ(parms.dwError, DV_ERR_NOTDETECTED);
    ASSERT_FALSE(traced.empty());
    EXPECT_NE(traced.find(std::string("trace: ") + line + "\n"), std::string::npos) << traced;
    EXPECT_FALSE(TraceWindowExists());  // no channel left to trace
  }
  // The device set up by the first of them stays up for the next open.
  EXPECT_EQ(Driver().deviceReady, 1u);
  EXPECT_EQ(Driver().channelCount, 0);
  EXPECT_EQ(FakeLayers::CallsOf("OpenNUBODevice").size(), 1u);
}

TEST_F(ChannelTest, TheTraceWindowGoesWithTheLastChannel) {
  WriteIni("[ZARNCAP]\nDebugLevel=32\n");
  auto a = Parms(VIDEO_IN), b = Parms(VIDEO_EXTERNALIN);
  DWORD_PTR first = Open(&a), second = Open(&b);
  ASSERT_TRUE(TraceWindowExists());
  EXPECT_EQ(Close(first), 1);
  EXPECT_TRUE(TraceWindowExists());  // a channel is still open: its lines still matter
  auto c = Parms(VIDEO_IN);
  DWORD_PTR third = Open(&c);
  EXPECT_EQ(TraceWindowsCreated(), 1);
  Close(second);
  EXPECT_TRUE(TraceWindowExists());
  Close(third);
  EXPECT_FALSE(TraceWindowExists());
  DWORD_PTR fourth = Open(&c);  // a new device set-up opens it again
  EXPECT_TRUE(TraceWindowExists());
  EXPECT_EQ(TraceWindowsCreated(), 2);
  // DRV_DISABLE takes it down even with a channel open.
  DisableDevice();
  EXPECT_FALSE(TraceWindowExists());
  Close(fourth);
}

TEST_F(ChannelTest, LastCloseWritesThePortFoundAndTearsDown) {
  WriteIni("; camera settings\n[ZARNCAP]\nLanguage=Italiano\n\n[OTHER]\nkeep=me\n");
  FakeLayers::camerasOn = {3};
  auto a = Parms(VIDEO_IN), b = Parms(VIDEO_EXTERNALIN);
  DWORD_PTR first = Open(&a), second = Open(&b);
  Close(first);
  EXPECT_TRUE(FakeLayers::CallsOf("CloseNUBODevice").empty());
  EXPECT_EQ(ReadIni().find("LPT_Port"), std::string::npos);
  FakeLayers::calls.clear();
  EXPECT_EQ(Close(second), 1);
  EXPECT_EQ(FakeLayers::calls, (std::vector<std::string>{"CloseNUBODevice zarncap.ini", "ReleasePort",
                                                         "ClosePortDevice"}));
  EXPECT_EQ(Driver().deviceReady, 0u);
  EXPECT_EQ(Driver().channelCount, 0);
  EXPECT_EQ(Driver().portDevice, INVALID_HANDLE_VALUE);

  auto values = ReadIniIndependently(IniFile());
  EXPECT_EQ(values["zarncap/lpt_port"], "3");
  EXPECT_EQ(values["zarncap/language"], "Italiano");
  EXPECT_EQ(values["other/keep"], "me");
  EXPECT_EQ(ReadIni().rfind("; camera settings\n", 0), 0u);

  // The port device was closed once; a later close for no instance must not close it again.
  EXPECT_EQ(Close(1), 1);
  EXPECT_EQ(FakeLayers::portDeviceCloses, 1);

  // The next set-up tries the written port first.
  FakeLayers::calls.clear();
  ASSERT_GT(Open(&a), 1u);
  EXPECT_EQ(FakeLayers::CallsOf("SelectPort"), std::vector<std::string>{"SelectPort 3"});
}

TEST_F(ChannelTest, FreeClosesALeftoverPortDevice) {
  EXPECT_EQ(Open(nullptr), 1u);  // a configuration open: the counter never returns to 0
  EXPECT_EQ(Close(1), 1);
  EXPECT_EQ(FakeLayers::portDevicesOpen, 1);
  EXPECT_EQ(DriverProc(0, nullptr, DRV_FREE, 0, 0), 1);
  EXPECT_EQ(FakeLayers::portDevicesOpen, 0);
  EXPECT_EQ(Driver().portDevice, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(nullptr), 1u);  // a reloaded module opens it afresh
  EXPECT_EQ(FakeLayers::portDevicesOpen, 1);
}

}  // namespace

namespace {

// Another program's INI reader sees what the driver wrote, next to lines it never touched.
TEST_F(ChannelTest, WrittenSettingsReadBackInPythonsConfigParser) {
  if (std::system("python3 -c 'import configparser' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
  WriteIni("[ZARNCAP]\r\nDebugLevel = 0\r\n; the port the camera was last found on\r\n[COLSPACE]\r\nGamma=10\r\n");
  FakeLayers::camerasOn = {2};
  auto parms = Parms(VIDEO_IN);
  DWORD_PTR id = Open(&parms);
  ASSERT_GT(id, 1u);
  Close(id);
  std::string out = folder_ + "/python.out";
  std::string command = "python3 -c \"import configparser,sys; c=configparser.ConfigParser(interpolation=None); "
                        "c.read(sys.argv[1], encoding='latin-1'); print(c['ZARNCAP']['lpt_port'], "
                        "c['ZARNCAP']['debuglevel'], c['COLSPACE']['gamma'])\" '" +
                        IniFile() + "' > '" + out + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(out);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "2 0 10");
}

}  // namespace

namespace {

// A two-step open, as winmm sends it: the session open (no parameters) carries
// the text in UTF-16, and the channel open after it carries none. The
// session's port and settings file are the channel's; they serve that one
// channel open, not a later one.
TEST_F(ChannelTest, SessionOpenTextAppliesToTheChannelOpenThatFollows) {
  const std::u16string wide = u"LPT3 C:\\TWO\\STEP.INI";
  for (const void* text : {static_cast<const void*>(wide.c_str())}) {
    ResetDriverForTesting();
    FakeLayers::Install();
    FakeLayers::camerasOn = {3};
    DWORD_PTR session = static_cast<DWORD_PTR>(DriverProc(0, nullptr, DRV_OPEN, reinterpret_cast<LPARAM>(text), 0));
    ASSERT_EQ(session, 1u);
    auto parms = Parms(VIDEO_IN);
    DWORD_PTR id = Open(&parms);
    ASSERT_GT(id, 1u);
    EXPECT_EQ(Driver().lptPort, 3u);
    EXPECT_STREQ(Driver().iniPath, "C:\\TWO\\STEP.INI");
    EXPECT_STREQ(Driver().sessionOpenString, "");
    Close(id);
    Close(session);
  }
}

// A session closed without a channel open (a configuration open naming a
// port and a settings file) leaves nothing for a later, unrelated open.
TEST_F(ChannelTest, SessionOpenTextIsForgottenAtTheSessionsClose) {
  const std::u16string wide = u"LPT3 C:\\TWO\\STEP.INI";
  FakeLayers::camerasOn = {1, 3};
  DWORD_PTR session = static_cast<DWORD_PTR>(DriverProc(0, nullptr, DRV_OPEN, reinterpret_cast<LPARAM>(wide.c_str()), 0));
  ASSERT_EQ(session, 1u);
  EXPECT_STRNE(Driver().sessionOpenString, "");
  Close(session);
  EXPECT_STREQ(Driver().sessionOpenString, "");
  auto parms = Parms(VIDEO_IN);
  DWORD_PTR id = Open(&parms);
  ASSERT_GT(id, 1u);
  EXPECT_EQ(Driver().lptPort, 1u);
  EXPECT_STREQ(Driver().iniPath, "zarncap.ini");
  Close(id);
}

TEST_F(ChannelTest, OpenStringsAreReadInEitherEncoding) {
  struct Case {
    std::u16string wide;
    const char* narrow;
    bool sessionText;
    const char* expected;
  };
  const std::u16string longText(300, u'A');
  const Case cases[] = {
      {u"vcap LPT2", nullptr, true, "vcap LPT2"},
      {u"x\u00e9\u4e2d", nullptr, true, "x\xe9?"},  // past 0xFF is '?'
      {u"vcap LPT2", nullptr, false, "v"},              // a channel open's text is 8-bit
      {u"", "vcap LPT1", false, "vcap LPT1"},
      {u"", nullptr, true, ""},
      {u"A", nullptr, true, "A"},  // one character: nothing read past its terminator
  };
  char out[kOpenStringBufferSize];
  for (const Case& c : cases) {
    NarrowOpenString(c.narrow != nullptr ? static_cast<const void*>(c.narrow) : c.wide.c_str(), c.sessionText, out);
    EXPECT_STREQ(out, c.expected);
  }
  NarrowOpenString(nullptr, true, out);
  EXPECT_STREQ(out, "");
  // A text too long is cut one past the limit, so the readers still refuse it.
  NarrowOpenString(longText.c_str(), true, out);
  EXPECT_EQ(std::strlen(out), kMaxOpenStringLength + 1);
  DWORD port = 0;
  PortFromOpenString(out, &port);
  EXPECT_EQ(port, 0u);
}

}  // namespace
