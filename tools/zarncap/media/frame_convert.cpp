// Plain per-pixel loops; frames are small (at most 640 x 480) and the tool
// converts at most one frame per delivered buffer.
#include "tools/zarncap/media/frame_convert.h"

#include <algorithm>
#include <cstring>

namespace zarncap {
namespace {

uint8_t Clamp255(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

// Offsets of the two chroma planes of a planar frame in U, V order.
struct PlanarLayout {
  size_t uOffset, vOffset;
  int chromaWidth, chromaHeight;  // samples per chroma row, chroma rows
  int shift;                      // 1: 2 x 2 pixels per sample, 2: 4 x 4
};

PlanarLayout PlanesOf(const Frame& frame) {
  const size_t luma = static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height);
  const int shift = frame.format->layout == Layout::kYvu9 ? 2 : 1;
  const int cw = frame.width >> shift, ch = frame.height >> shift;
  const size_t chroma = static_cast<size_t>(cw) * static_cast<size_t>(ch);
  if (frame.format->layout == Layout::kI420) return {luma, luma + chroma, cw, ch, shift};
  return {luma + chroma, luma, cw, ch, shift};  // YV12 and YVU9 store V first
}

// The buffer row that holds image row y.
int SourceRow(const Frame& frame, int y) { return frame.format->bottomUp ? frame.height - 1 - y : y; }

}  // namespace

Rgb YuvToRgb(int y, int u, int v) {
  const int luma = 19 * (y - 16);
  const int cu = u - 128, cv = v - 128;
  return {Clamp255((luma + 26 * cv) >> 4), Clamp255((luma - 6 * cu - 13 * cv) >> 4),
          Clamp255((luma + 32 * cu) >> 4)};
}

Yuv RgbToYuv(int r, int g, int b) {
  return {Clamp255(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16),
          Clamp255(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128),
          Clamp255(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128)};
}

size_t I420Bytes(int width, int height) {
  const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
  return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
}

bool FrameIsComplete(const Frame& frame) {
  if (frame.format == nullptr || frame.width <= 0 || frame.height <= 0) return false;
  if (frame.data.size() < FrameBytes(*frame.format, frame.width, frame.height)) return false;
  switch (frame.format->layout) {
    case Layout::kI420:
    case Layout::kYv12: return frame.width % 2 == 0 && frame.height % 2 == 0;
    case Layout::kYuy2: return frame.width % 2 == 0;
    case Layout::kYvu9: return frame.width % 4 == 0 && frame.height % 4 == 0;
    default: return true;
  }
}

bool FrameToRgb24(const Frame& frame, std::span<uint8_t> out) {
  if (!FrameIsComplete(frame)) return false;
  const int w = frame.width, h = frame.height;
  if (out.size() < static_cast<size_t>(w) * static_cast<size_t>(h) * 3) return false;
  const uint8_t* src = frame.data.data();
  uint8_t* dst = out.data();
  auto put = [&dst](Rgb c) {
    *dst++ = c.r;
    *dst++ = c.g;
    *dst++ = c.b;
  };
  switch (frame.format->layout) {
    case Layout::kBgr24:
      for (int y = 0; y < h; ++y) {
        const uint8_t* row = src + static_cast<size_t>(SourceRow(frame, y)) * static_cast<size_t>(w) * 3;
        for (int x = 0; x < w; ++x) put({row[3 * x + 2], row[3 * x + 1], row[3 * x]});
      }
      break;
    case Layout::kRgb555:
      for (int y = 0; y < h; ++y) {
        const uint8_t* row = src + static_cast<size_t>(SourceRow(frame, y)) * static_cast<size_t>(w) * 2;
        for (int x = 0; x < w; ++x) {
          const unsigned word = row[2 * x] | (row[2 * x + 1] << 8);
          // Five bits widened to eight by repeating the top bits, so 31 is 255.
          auto widen = [](unsigned five) { return static_cast<uint8_t>((five << 3) | (five >> 2)); };
          put({widen((word >> 10) & 31), widen((word >> 5) & 31), widen(word & 31)});
        }
      }
      break;
    case Layout::kPal8:
      for (int y = 0; y < h; ++y) {
        const uint8_t* row = src + static_cast<size_t>(SourceRow(frame, y)) * static_cast<size_t>(w);
        for (int x = 0; x < w; ++x) {
          // An index the palette does not cover shows black rather than reading past it.
          if (row[x] < frame.palette.size()) {
            const RGBQUAD& q = frame.palette[row[x]];
            put({q.rgbRed, q.rgbGreen, q.rgbBlue});
          } else {
            put({0, 0, 0});
          }
        }
      }
      break;
    case Layout::kI420:
    case Layout::kYv12:
    case Layout::kYvu9: {
      const PlanarLayout planes = PlanesOf(frame);
      for (int y = 0; y < h; ++y) {
        const uint8_t* luma = src + static_cast<size_t>(y) * static_cast<size_t>(w);
        const size_t chromaRow = static_cast<size_t>(y >> planes.shift) * static_cast<size_t>(planes.chromaWidth);
        const uint8_t* us = src + planes.uOffset + chromaRow;
        const uint8_t* vs = src + planes.vOffset + chromaRow;
        for (int x = 0; x < w; ++x) put(YuvToRgb(luma[x], us[x >> planes.shift], vs[x >> planes.shift]));
      }
      break;
    }
    case Layout::kYuy2:
      for (int y = 0; y < h; ++y) {
        const uint8_t* row = src + static_cast<size_t>(SourceRow(frame, y)) * static_cast<size_t>(w) * 2;
        for (int x = 0; x < w; x += 2) {
          const uint8_t* p = row + 2 * x;
          put(YuvToRgb(p[0], p[1], p[3]));
          put(YuvToRgb(p[2], p[1], p[3]));
        }
      }
      break;
  }
  return true;
}

void Rgb24ToI420(std::span<const uint8_t> rgb, int width, int height, std::span<uint8_t> out) {
  const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
  const size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
  uint8_t* yPlane = out.data();
  uint8_t* uPlane = yPlane + w * h;
  uint8_t* vPlane = uPlane + cw * ch;
  for (size_t cy = 0; cy < ch; ++cy) {
    for (size_t cx = 0; cx < cw; ++cx) {
      int uSum = 0, vSum = 0, count = 0;
      for (size_t dy = 0; dy < 2; ++dy) {
        for (size_t dx = 0; dx < 2; ++dx) {
          const size_t x = 2 * cx + dx, y = 2 * cy + dy;
          if (x >= w || y >= h) continue;
          const uint8_t* p = rgb.data() + (y * w + x) * 3;
          const Yuv c = RgbToYuv(p[0], p[1], p[2]);
          yPlane[y * w + x] = c.y;
          uSum += c.u;
          vSum += c.v;
          ++count;
        }
      }
      uPlane[cy * cw + cx] = static_cast<uint8_t>((uSum + count / 2) / count);
      vPlane[cy * cw + cx] = static_cast<uint8_t>((vSum + count / 2) / count);
    }
  }
}

bool FrameToI420(const Frame& frame, std::span<uint8_t> out, std::span<uint8_t> rgbScratch) {
  if (!FrameIsComplete(frame) || out.size() < I420Bytes(frame.width, frame.height)) return false;
  const size_t w = static_cast<size_t>(frame.width), h = static_cast<size_t>(frame.height);
  const size_t cw = w / 2, ch = h / 2;  // YUV frames have even sizes (FrameIsComplete)
  const uint8_t* src = frame.data.data();
  uint8_t* yOut = out.data();
  uint8_t* uOut = yOut + w * h;
  uint8_t* vOut = uOut + cw * ch;
  switch (frame.format->layout) {
    case Layout::kI420:
    case Layout::kYv12: {
      const PlanarLayout planes = PlanesOf(frame);
      std::memcpy(yOut, src, w * h);
      std::memcpy(uOut, src + planes.uOffset, cw * ch);
      std::memcpy(vOut, src + planes.vOffset, cw * ch);
      return true;
    }
    case Layout::kYvu9: {
      // Each 4:1:0 sample serves 2 x 2 samples of the 4:2:0 planes.
      const PlanarLayout planes = PlanesOf(frame);
      std::memcpy(yOut, src, w * h);
      for (size_t cy = 0; cy < ch; ++cy) {
        for (size_t cx = 0; cx < cw; ++cx) {
          const size_t from = (cy / 2) * static_cast<size_t>(planes.chromaWidth) + cx / 2;
          uOut[cy * cw + cx] = src[planes.uOffset + from];
          vOut[cy * cw + cx] = src[planes.vOffset + from];
        }
      }
      return true;
    }
    case Layout::kYuy2: {
      // 4:2:2 to 4:2:0: the chroma of two image rows averaged.
      for (size_t y = 0; y < h; ++y) {
        const uint8_t* row = src + static_cast<size_t>(SourceRow(frame, static_cast<int>(y))) * w * 2;
        for (size_t x = 0; x < w; ++x) yOut[y * w + x] = row[2 * x];
      }
      for (size_t cy = 0; cy < ch; ++cy) {
        const uint8_t* top = src + static_cast<size_t>(SourceRow(frame, static_cast<int>(2 * cy))) * w * 2;
        const uint8_t* bottom = src + static_cast<size_t>(SourceRow(frame, static_cast<int>(2 * cy + 1))) * w * 2;
        for (size_t cx = 0; cx < cw; ++cx) {
          uOut[cy * cw + cx] = static_cast<uint8_t>((top[4 * cx + 1] + bottom[4 * cx + 1] + 1) / 2);
          vOut[cy * cw + cx] = static_cast<uint8_t>((top[4 * cx + 3] + bottom[4 * cx + 3] + 1) / 2);
        }
      }
      return true;
    }
    default:
      if (rgbScratch.size() < w * h * 3 || !FrameToRgb24(frame, rgbScratch)) return false;
      Rgb24ToI420(rgbScratch, frame.width, frame.height, out);
      return true;
  }
}

namespace {

void CopyRowsFlipped(const uint8_t* src, uint8_t* dst, size_t rowBytes, size_t rows) {
  for (size_t y = 0; y < rows; ++y) std::memcpy(dst + y * rowBytes, src + (rows - 1 - y) * rowBytes, rowBytes);
}

size_t RowBytes(const Frame& frame) {
  const size_t w = static_cast<size_t>(frame.width);
  switch (frame.format->layout) {
    case Layout::kBgr24: return 3 * w;
    case Layout::kRgb555:
    case Layout::kYuy2: return 2 * w;
    default: return w;
  }
}

}  // namespace

bool FrameToTopDown(const Frame& frame, std::span<uint8_t> out) {
  if (!FrameIsComplete(frame)) return false;
  const size_t bytes = FrameBytes(*frame.format, frame.width, frame.height);
  if (out.size() < bytes) return false;
  if (frame.format->bottomUp) {
    CopyRowsFlipped(frame.data.data(), out.data(), RowBytes(frame), static_cast<size_t>(frame.height));
  } else {
    std::memcpy(out.data(), frame.data.data(), bytes);
  }
  return true;
}

}  // namespace zarncap
