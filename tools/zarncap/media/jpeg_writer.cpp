// JPEG stills through libjpeg-turbo. libjpeg reports fatal errors through a
// callback that must not return; it jumps back here, so this file keeps the
// library's calls in one function with no C++ objects alive across the jump.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h expects size_t and FILE declared before it.
#include <jpeglib.h>

#include "tools/zarncap/media/still_writers.h"

namespace zarncap {
namespace {

struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf back;
  char message[JMSG_LENGTH_MAX];
};

extern "C" void OnJpegError(j_common_ptr info) {
  auto* errors = reinterpret_cast<JpegErrors*>(info->err);
  (*info->err->format_message)(info, errors->message);
  std::longjmp(errors->back, 1);
}

// Into file, or (file null) into memory at *memory / *memorySize, which the
// caller frees. false and the library's message in errors->message when
// libjpeg fails.
bool Compress(std::FILE* file, unsigned char** memory, unsigned long* memorySize, int width, int height,
              const uint8_t* rgb, int quality, JpegErrors* errors) {
  jpeg_compress_struct info;
  info.err = jpeg_std_error(&errors->manager);
  errors->manager.error_exit = OnJpegError;
  if (setjmp(errors->back) != 0) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  if (file != nullptr) jpeg_stdio_dest(&info, file);
  else jpeg_mem_dest(&info, memory, memorySize);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  const size_t stride = static_cast<size_t>(width) * 3;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb + info.next_scanline * stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

bool WriteJpeg(std::FILE* file, int width, int height, std::span<const uint8_t> rgb, int quality, std::string* error) {
  if (rgb.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
    *error = "the picture is incomplete";
    return false;
  }
  JpegErrors errors{};
  if (Compress(file, nullptr, nullptr, width, height, rgb.data(), quality, &errors)) return true;
  *error = errors.message;
  return false;
}

bool EncodeJpeg(int width, int height, std::span<const uint8_t> rgb, int quality, std::vector<uint8_t>* out,
                std::string* error) {
  if (rgb.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
    *error = "the picture is incomplete";
    return false;
  }
  JpegErrors errors{};
  unsigned char* memory = nullptr;
  unsigned long size = 0;
  const bool ok = Compress(nullptr, &memory, &size, width, height, rgb.data(), quality, &errors);
  if (ok) out->assign(memory, memory + size);
  std::free(memory);
  if (!ok) *error = errors.message;
  return ok;
}

}  // namespace zarncap
