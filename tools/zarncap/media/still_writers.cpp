// PNG and BMP writers.
#include "tools/zarncap/media/still_writers.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cerrno>
#include <cstring>

namespace zarncap {
namespace {

// libpng reports errors by longjmp: this function keeps nothing with a
// destructor alive across setjmp, and hands the message out through a plain
// buffer.
struct PngErrorSink {
  char message[256];
};

void PngError(png_structp png, png_const_charp text) {
  const int cause = errno;  // libpng's "Write Error" is a failed fwrite: errno says why
  auto* sink = static_cast<PngErrorSink*>(png_get_error_ptr(png));
  const bool writeFailed = text != nullptr && std::strcmp(text, "Write Error") == 0 && cause != 0;
  std::snprintf(sink->message, sizeof sink->message, "%s",
                writeFailed ? std::strerror(cause) : (text != nullptr ? text : "libpng error"));
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

bool WritePngRows(std::FILE* file, int width, int height, const uint8_t* rgb, PngErrorSink* sink) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, sink, PngError, PngWarning);
  if (png == nullptr) {
    std::snprintf(sink->message, sizeof sink->message, "libpng could not start");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(sink->message, sizeof sink->message, "libpng could not start");
    return false;
  }
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t stride = static_cast<size_t>(width) * 3;
  for (int y = 0; y < height; ++y) png_write_row(png, rgb + static_cast<size_t>(y) * stride);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

void Put16(std::vector<uint8_t>& out, unsigned value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

bool WritePng(std::FILE* file, int width, int height, std::span<const uint8_t> rgb, std::string* error) {
  if (width <= 0 || height <= 0 || rgb.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
    if (error != nullptr) *error = "no picture to write";
    return false;
  }
  PngErrorSink sink{};
  if (WritePngRows(file, width, height, rgb.data(), &sink)) return true;
  if (error != nullptr) *error = sink.message;
  return false;
}

std::vector<uint8_t> BuildBmp(const BITMAPINFOHEADER& header, std::span<const RGBQUAD> palette,
                              std::span<const uint8_t> pixels) {
  const size_t width = static_cast<size_t>(header.biWidth);
  const size_t height = static_cast<size_t>(header.biHeight < 0 ? -header.biHeight : header.biHeight);
  const size_t rowBytes = width * header.biBitCount / 8;
  const size_t paddedRow = (rowBytes + 3) & ~size_t{3};
  const size_t colours = header.biBitCount <= 8 ? palette.size() : 0;
  const size_t offset = 14 + 40 + 4 * colours;
  const size_t imageBytes = paddedRow * height;

  std::vector<uint8_t> out;
  out.reserve(offset + imageBytes);
  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<uint32_t>(offset + imageBytes));
  Put16(out, 0);
  Put16(out, 0);
  Put32(out, static_cast<uint32_t>(offset));

  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(header.biWidth));
  Put32(out, static_cast<uint32_t>(header.biHeight));
  Put16(out, 1);
  Put16(out, header.biBitCount);
  Put32(out, BI_RGB);
  Put32(out, static_cast<uint32_t>(imageBytes));
  Put32(out, static_cast<uint32_t>(header.biXPelsPerMeter));
  Put32(out, static_cast<uint32_t>(header.biYPelsPerMeter));
  Put32(out, static_cast<uint32_t>(colours));
  Put32(out, 0);
  for (size_t i = 0; i < colours; ++i) {
    out.push_back(palette[i].rgbBlue);
    out.push_back(palette[i].rgbGreen);
    out.push_back(palette[i].rgbRed);
    out.push_back(0);
  }
  for (size_t y = 0; y < height; ++y) {
    const size_t from = y * rowBytes;
    for (size_t x = 0; x < rowBytes; ++x) out.push_back(from + x < pixels.size() ? pixels[from + x] : 0);
    for (size_t x = rowBytes; x < paddedRow; ++x) out.push_back(0);
  }
  return out;
}

}  // namespace zarncap
