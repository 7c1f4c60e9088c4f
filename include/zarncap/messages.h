// The driver's private messages, their parameter records and their own result
// codes: what a capture application needs beyond the platform's driver and
// video messages to store a defect map, read the version text or the sensor
// kind, and set the sensor's gain and control bits.
#pragma once

#include <cstddef>

#include "zarncap/word.h"

// Message numbers, sent on an open channel like any video message.
constexpr unsigned kPrivateFirst = 0x41F5;  // 0x41F5, 0x41F7, 0x41F8: accepted, nothing done
constexpr unsigned kPrivateVersionText = 0x41F6;   // PrivateTextRecord
constexpr unsigned kPrivateControlBit2 = 0x41F9;   // PrivateValueRecord
constexpr unsigned kPrivateControlBit4 = 0x41FA;   // PrivateValueRecord
constexpr unsigned kPrivateRefusedFirst = 0x41FB;  // 0x41FB, 0x41FC: "not supported" (17)
constexpr unsigned kPrivateRefusedLast = 0x41FC;
constexpr unsigned kPrivateGain = 0x41FD;          // PrivateValueRecord
constexpr unsigned kPrivateUnknownFirst = 0x41FE;  // 0x41FE..0x4200 answer "not supported"
constexpr unsigned kPrivateUnknownLast = 0x4200;
constexpr unsigned kPrivateStoreDefectMap = 0x4201;  // PrivateValueRecord: value points at kDefectMapBytes bytes
constexpr unsigned kPrivateSensorKind = 0x4202;      // PrivateValueRecord: value out
constexpr unsigned kPrivateLast = 0x4202;

// DVM_GETVIDEOAPIVER's answer.
constexpr ZarncapWord kVideoApiVersion = 0x50;

// The private messages' own failures, in the record's result word and as the answer.
constexpr ZarncapWord PRIVATE_ERR_CONTROL_BIT2 = 1002;
constexpr ZarncapWord PRIVATE_ERR_STORE_DEFECTS = 1003;
constexpr ZarncapWord PRIVATE_ERR_GAIN = 1004;
constexpr ZarncapWord PRIVATE_ERR_CONTROL_BIT4 = 1005;

// The defect map that kPrivateStoreDefectMap writes into the camera: 160
// packed 3-byte entries.
constexpr int kDefectMapEntries = 160;
constexpr std::size_t kDefectMapBytes = kDefectMapEntries * 3;

// lParam1 of 0x41F9, 0x41FA, 0x41FD, 0x4201 and 0x4202.
struct PrivateValueRecord {
  ZarncapWordPtr value;  // in, or out for 0x4202
  ZarncapWord result;  // out: the message's own result
};
// lParam1 of 0x41F6.
struct PrivateTextRecord {
  char* text;
  ZarncapWord size;  // low 16 bits count
  ZarncapWord result;
};
// The 32-bit layouts, byte for byte.
static_assert(sizeof(void*) != 4 || sizeof(PrivateValueRecord) == 8);
static_assert(sizeof(void*) != 4 || sizeof(PrivateTextRecord) == 12);
