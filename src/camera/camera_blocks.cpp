// The block exchanges: each is one port command followed by one 18-byte block.
#include "camera/capture_device.h"
#include "port/port.h"

namespace {

// Port commands that announce the block that follows.
constexpr BYTE kPortCommandBlock = 16;
constexpr BYTE kPortStatusBlock = 48;
constexpr BYTE kPortMatrixBlock = 38;

BOOL SendBlock(BYTE portCommand, const WORD (&words)[kCameraBlockWords]) {
  BYTE bytes[kCameraBlockSize];
  EncodeCameraBlock(words, bytes);
  if (!SendPortCommand(portCommand)) return FALSE;
  return WritePortBlock(bytes, kCameraBlockSize) ? TRUE : FALSE;
}

}  // namespace

void EncodeCameraBlock(const WORD (&words)[kCameraBlockWords], BYTE (&bytes)[kCameraBlockSize]) {
  for (std::size_t i = 0; i < kCameraBlockWords; ++i) {
    bytes[2 * i] = static_cast<BYTE>(words[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<BYTE>(words[i] >> 8);
  }
}

void DecodeCameraBlock(const BYTE (&bytes)[kCameraBlockSize], WORD (&words)[kCameraBlockWords]) {
  for (std::size_t i = 0; i < kCameraBlockWords; ++i) {
    words[i] = static_cast<WORD>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
}

BOOL SendCommandBlock(CaptureDevice* device) {
  if (device == nullptr) return FALSE;
  return SendBlock(kPortCommandBlock, device->command.w);
}

BOOL ReadStatusBlock(CaptureDevice* device) {
  if (device == nullptr) return FALSE;
  if (!SendPortCommand(kPortStatusBlock)) return FALSE;
  // The camera writes over the block in place: bytes it does not send keep the
  // values the block held (InitCaptureDevice relies on that with its 0xFFFF).
  BYTE bytes[kCameraBlockSize];
  EncodeCameraBlock(device->status.s, bytes);
  BOOL ok = ReadPortBlock(bytes, kCameraBlockSize) ? TRUE : FALSE;
  DecodeCameraBlock(bytes, device->status.s);
  return ok;
}

BOOL WriteStatusBlock(CaptureDevice* device) {
  if (device == nullptr) return FALSE;
  return SendBlock(kPortStatusBlock, device->status.s);
}

BOOL SendMatrixBlock(CaptureDevice* device) {
  if (device == nullptr) return FALSE;
  WORD words[kCameraBlockWords];
  for (std::size_t i = 0; i < kCameraBlockWords; ++i) words[i] = static_cast<WORD>(device->matrix.m[i]);
  return SendBlock(kPortMatrixBlock, words);
}
