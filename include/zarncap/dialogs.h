// The driver's dialogs as a host meets them: the resource ids and the controls
// a host may find, read and act on (a test, a command-line owner window, an
// accessibility tool). The dialog resources themselves
// (src/ui/dialog_resources.py) take their ids from here, by name.
#pragma once

#include "zarncap/formats.h"

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

// "Video Format": the size buttons (video sizes, then still sizes), the format
// buttons and the two size edits.
constexpr int kSize176x144Button = 1050, kSize160x120Button = 1051, kSize128x96Button = 1052;
constexpr int kSize640x480Button = 1053, kSize320x240Button = 1054, kSize288x216Button = 1055;
constexpr int kSize200x152Button = 1056;
constexpr int kRgb24Button = 1057, kRgb16Button = 1058, kPalette8Button = 1059, kI420Button = 1060;
constexpr int kWidthEdit = 1063;
constexpr int kHeightEdit = 1064;

// The size each size button writes into the edits: the sizes the driver's
// own dialog offers a user, which hosts offer too.
struct ZarncapSizeButton {
  int id;
  int width;
  int height;
};
inline constexpr ZarncapSizeButton kFormatDialogSizes[] = {
    {kSize176x144Button, 176, 144}, {kSize160x120Button, 160, 120}, {kSize128x96Button, 128, 96},
    {kSize640x480Button, 640, 480}, {kSize320x240Button, 320, 240}, {kSize288x216Button, 288, 216},
    {kSize200x152Button, 200, 152}};

// The bit count and compression each format button sets (I420 with a bit
// count of 8, as the dialog always has).
struct ZarncapFormatButton {
  int id;
  unsigned bitCount;
  ZarncapWord compression;
};
inline constexpr ZarncapFormatButton kFormatDialogFormats[] = {
    {kRgb24Button, 24, 0}, {kRgb16Button, 16, 0}, {kPalette8Button, 8, 0}, {kI420Button, 8, FOURCC_I420}};

// The camera details: the labels, and the texts the driver fills in.
constexpr int kDetailsSensorLabel = 1101, kDetailsVersionLabel = 1102, kDetailsBuildDateLabel = 1103;
constexpr int kDetailsPortLabel = 1104, kDetailsLanguageLabel = 1105;
constexpr int kDetailsWaitText = 1100;
constexpr int kDetailsVersion = 1107;
constexpr int kDetailsSensor = 1108;
constexpr int kDetailsBuildDate = 1109;
constexpr int kDetailsPort = 1110;
constexpr int kDetailsLanguage = 1111;

// The message trace window's list.
constexpr int kTraceListBoxId = 1200;
