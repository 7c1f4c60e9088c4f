// The camera-side record of an opened port (CaptureDevice) and the three
// 18-byte blocks the camera is driven with: command, status and colour matrix.
// The blocks travel little-endian whatever the host's byte order.
#pragma once

#include <cstdint>

#include "platform/types.h"

constexpr std::size_t kCameraBlockSize = 18;  // nine 16-bit words
constexpr std::size_t kCameraBlockWords = 9;

// Command codes (w0).
constexpr WORD CAMERA_CMD_BUS = 0x53;     // 'S': one serial-bus step
constexpr WORD CAMERA_CMD_WINDOW = 0x46;  // 'F': frame window
constexpr WORD CAMERA_CMD_SETUP = 0x59;   // 'Y': mode-2 set-up

// Camera state word s8.
constexpr WORD CAMERA_STATE_READY = 0xC000;

// Capture modes.
constexpr DWORD CAPTURE_MODE_NONE = 0;
constexpr DWORD CAPTURE_MODE_RAW = 1;  // full-resolution mosaic, one byte per pixel
constexpr DWORD CAPTURE_MODE_YUV = 2;  // half-resolution luminance and colour difference

// Largest transfer in one frame read: what every port can move, and what a port
// that does not wrap at 32 KB can move.
constexpr DWORD kTransferSmall = 0x8000;
constexpr DWORD kTransferLarge = 0x20000;

// A command block: w0 the command code, the other words as the command needs.
// A command changes only the words it names; the rest keep their last value.
struct CommandBlock {
  WORD w[kCameraBlockWords];
};

// A status block as the camera returns it. The driver looks at s0 (bus
// acknowledge), the low byte of s1 (bus byte read), s6 (dark level) and s8
// (camera state).
struct StatusBlock {
  WORD s[kCameraBlockWords];
};

// Nine Q15 colour-matrix coefficients for the camera's mode-2 conversion.
struct MatrixBlock {
  std::int16_t m[kCameraBlockWords];
};

struct CaptureDevice {
  std::int16_t port;    // LPT number, 1..3
  std::int16_t option;  // kept for the caller, never interpreted
  CommandBlock command;
  StatusBlock status;
  DWORD maxTransfer;
  DWORD mode;
  DWORD singleRead;  // mode 1: the whole frame fits in one transfer
  MatrixBlock matrix;
  DWORD option80;     // adds 0x80 to word 2 of the 'F' and 'Y' commands
  DWORD optionSpare;  // stored, never read
  DWORD temporalDifference;
  std::int16_t threshold1;
  std::int16_t threshold2;
  std::int16_t width;
  std::int16_t height;
  std::int16_t x0;
  std::int16_t y0;
  std::int16_t x1;
  std::int16_t y1;
  DWORD frameBytes;
  DWORD settingsChanged;  // consumed by the next mode-2 set-up
  DWORD skipReadyPoll;
  DWORD fullFrameNext;  // the next mode-2 frame is read at full length
};

// The handle the capture engine keeps for a capture device.
using HCAPTUREDEVICE = CaptureDevice*;

// Block byte order on the wire.
void EncodeCameraBlock(const WORD (&words)[kCameraBlockWords], BYTE (&bytes)[kCameraBlockSize]);
void DecodeCameraBlock(const BYTE (&bytes)[kCameraBlockSize], WORD (&words)[kCameraBlockWords]);

// The four block exchanges with the current device's camera: a port command
// (16, 48, 48, 38) and one 18-byte block. TRUE only when both steps succeed.
BOOL SendCommandBlock(CaptureDevice* device);
BOOL ReadStatusBlock(CaptureDevice* device);
BOOL WriteStatusBlock(CaptureDevice* device);
BOOL SendMatrixBlock(CaptureDevice* device);
