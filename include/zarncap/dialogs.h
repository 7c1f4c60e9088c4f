// The driver's dialogs as a host meets them: the resource ids and the controls
// a host may find, read and act on (a test, a command-line owner window, an
// accessibility tool).
#pragma once

// Dialog resources.
constexpr int kEnglishSourceDialog = 101;  // "Video Capture Settings"; 104, 106, 108, 110 in other languages
constexpr int kEnglishFormatDialog = 102;  // "Video Format"; 105, 107, 109, 111 in other languages
constexpr int kDetailsDialog = 120;        // the camera details
constexpr int kTraceDialogId = 121;        // the message trace window

// "Video Capture Settings".
constexpr int kBrightnessScroll = 1000, kBrightnessEdit = 1001;
constexpr int kColourScroll = 1002, kColourEdit = 1003;
constexpr int kContrastScroll = 1004, kContrastEdit = 1005;
constexpr int kColourLabel = 1006;
constexpr int kCompressionOff = 1007, kCompressionAutomatic = 1008, kCompressionManual = 1009;
constexpr int kQualityScroll = 1010, kQualityEdit = 1011;
constexpr int kLightingGroup = 1012, kLightingLow = 1013, kLightingNormal = 1014;

// "Video Format".
constexpr int kWidthEdit = 1063;
constexpr int kHeightEdit = 1064;

// The camera details.
constexpr int kDetailsWaitText = 1100;
constexpr int kDetailsVersion = 1107;
constexpr int kDetailsSensor = 1108;
constexpr int kDetailsBuildDate = 1109;
constexpr int kDetailsPort = 1110;
constexpr int kDetailsLanguage = 1111;

// The message trace window's list.
constexpr int kTraceListBoxId = 1200;
