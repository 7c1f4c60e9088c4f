#include "colspace/reference_pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ref {

namespace {

int Clip(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// (value >> 4) limited to a byte; value below 0 is 0.
int Out16(int value) {
  if (value < 0) return 0;
  return std::min(value >> 4, 255);
}

}  // namespace

std::array<uint8_t, 256> Luma(const Settings& s, bool yuvOutput) {
  std::array<uint8_t, 256> t{};
  const int black = 0;
  const int white = 200;
  const double gamma = 0.625;
  for (int i = 0; i < 256; ++i) {
    int f = (i * s.contrast - black * s.contrast) / 50 + (s.brightness - 50) / 3;
    int v;
    if (f < 0) {
      v = 0;
    } else if (f >= white - black) {
      v = 219;
    } else {
      int m = static_cast<int>(219.0 * std::pow(static_cast<double>(f) / (white - black), gamma));
      v = (4.5 * f < m) ? static_cast<int>(4.5 * f) : m;
      if (v >= 219) v = 219;
    }
    t[i] = static_cast<uint8_t>(v + (yuvOutput ? 16 : 0));
  }
  return t;
}

std::array<double, 9> Matrix(const Settings& s) {
  const double yuv[3][3] = {{0.2568, 0.5041, 0.09791}, {-0.1482, -0.291, 0.4392}, {0.4392, -0.3678, -0.0714}};
  const double sensor[3][3] = {{3.0, -1.0, -0.25}, {-0.75, 3.0, -0.4}, {-1.08, -1.5, 6.0}};
  const double gains[3] = {s.redGain, s.greenGain, s.blueGain};
  std::array<double, 9> m{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      double acc = 0.0;
      for (int k = 0; k < 3; ++k) acc += yuv[i][k] * sensor[k][j] * gains[k];
      m[i * 3 + j] = acc;
    }
  }
  double scale = (0.0625 / (m[0] + m[1] + m[2])) * 0.8588235294117647;
  for (double& e : m) e *= scale;
  m[0] = 0.05367647058823529;
  m[1] = 0.05367647058823529;
  m[2] = 0.10735294117647058;
  double sat = s.colour * 0.1;
  m[3] *= sat;
  m[4] *= sat;
  m[5] *= sat * 0.5;
  m[6] *= sat;
  m[7] *= sat;
  m[8] *= sat * 0.5;
  return m;
}

// The 10/9 enlargement of the reconstructed w x h image: rows, then columns,
// each with its end samples repeated outside.
static Bytes Stretch10by9(const Bytes& img, int w, int h, int outW, int outH) {
  auto kernel = [](const std::vector<int>& x, int b, int t) {
    auto X = [&](int i) { return x[9 * b + i + 1]; };  // x holds a leading frame copy
    const int sums[10] = {63 * X(0) + 2 * X(-1) - X(1),  61 * X(1) + 7 * X(0) - 4 * X(2),
                          55 * X(2) + 14 * X(1) - 5 * X(3), 48 * X(3) + 22 * X(2) - 6 * X(4),
                          40 * X(4) + 30 * X(3) - 6 * X(5), 40 * X(4) + 30 * X(5) - 6 * X(3),
                          48 * X(5) + 22 * X(6) - 6 * X(4), 55 * X(6) + 14 * X(7) - 5 * X(5),
                          61 * X(7) + 7 * X(8) - 4 * X(6),  63 * X(8) + 2 * X(9) - X(7)};
    int v = sums[t];
    return v < 0 ? 0 : (v >= 16384 ? 255 : v >> 6);
  };
  Bytes wide(static_cast<size_t>(outW) * h * 3);
  for (int y = 0; y < h; ++y) {
    for (int c = 0; c < 3; ++c) {
      std::vector<int> x(w + 2);
      for (int i = 0; i < w; ++i) x[i + 1] = img[(static_cast<size_t>(y) * w + i) * 3 + c];
      x[0] = x[1];
      x[w + 1] = x[w];
      for (int X = 0; X < outW; ++X) wide[(static_cast<size_t>(y) * outW + X) * 3 + c] = static_cast<uint8_t>(kernel(x, X / 10, X % 10));
    }
  }
  Bytes out(static_cast<size_t>(outW) * outH * 3);
  for (int col = 0; col < outW * 3; ++col) {
    std::vector<int> x(h + 2);
    for (int i = 0; i < h; ++i) x[i + 1] = wide[static_cast<size_t>(i) * outW * 3 + col];
    x[0] = x[1];
    x[h + 1] = x[h];
    for (int Y = 0; Y < outH; ++Y) out[static_cast<size_t>(Y) * outW * 3 + col] = static_cast<uint8_t>(kernel(x, Y / 10, Y % 10));
  }
  return out;
}


Bytes Mosaic(const Bytes& raw, int W, int H, const Settings& s, bool stretch, int outW, int outH, Stats* stats) {
  // Natural column order.
  auto S = [&](int x, int y) {
    int k = x / 2;
    return static_cast<int>(x % 2 == 0 ? raw[y * W + W / 2 - 1 + k] : raw[y * W + k]);
  };
  auto Gp = [&](int gx, int gy) {
    if ((gx + gy) % 2 == 0) return (S(gx, gy) + S(gx + 1, gy + 1)) >> 1;
    return (S(gx + 1, gy) + S(gx, gy + 1)) >> 1;
  };
  const int w = W - 4;
  const int h = H - 4;
  const auto luma = Luma(s, false);
  const auto M = Matrix(s);
  int K[9];
  for (int i = 0; i < 9; ++i) {
    double v = 128.0 * M[i];
    K[i] = static_cast<int>(v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5));
  }
  Bytes img(static_cast<size_t>(w) * h * 3);
  long sumU = 0, sumV = 0;
  for (int oy = 0; oy < h; ++oy) {
    for (int ox = 0; ox < w; ++ox) {
      int rnc = ox % 2 == 0 ? ox + 1 : ox + 2, rfc = ox % 2 == 0 ? ox + 3 : ox;
      int rnr = oy % 2 == 0 ? oy + 2 : oy + 1, rfr = oy % 2 == 0 ? oy : oy + 3;
      int bnc = ox % 2 == 0 ? ox + 2 : ox + 1, bfc = ox % 2 == 0 ? ox : ox + 3;
      int bnr = oy % 2 == 0 ? oy + 1 : oy + 2, bfr = oy % 2 == 0 ? oy + 3 : oy;
      int R = (9 * S(rnc, rnr) + 3 * S(rnc, rfr) + 3 * S(rfc, rnr) + S(rfc, rfr)) >> 4;
      int B = (9 * S(bnc, bnr) + 3 * S(bnc, bfr) + 3 * S(bfc, bnr) + S(bfc, bfr)) >> 4;
      int cx = ox + 1, cy = oy + 1;
      int g0 = Gp(cx, cy);
      int N = Gp(cx - 1, cy) + Gp(cx + 1, cy) + Gp(cx, cy - 1) + Gp(cx, cy + 1);
      int D = Gp(cx - 1, cy - 1) + Gp(cx + 1, cy - 1) + Gp(cx - 1, cy + 1) + Gp(cx + 1, cy + 1);
      int smooth = (4 * g0 + 2 * N + D) >> 4;
      int detail = ((8 * g0 - D) >> 2) - smooth;
      if (detail > s.threshold) detail -= s.threshold;
      else if (detail < -s.threshold) detail += s.threshold;
      else detail = 0;
      int boost = (detail * s.sharpen) >> 1;
      int b = Clip(B + boost, 0, 255), g = Clip(smooth + boost, 0, 255), r = Clip(R + boost, 0, 255);
      // colour correction
      int U = Clip((K[3] * r + K[4] * g + 2 * K[5] * b) >> 5, -127, 127);
      int V = Clip((K[6] * r + K[7] * g + 2 * K[8] * b) >> 5, -127, 127);
      int lim = (235 - g) >> 2;
      U = std::min(U, lim);
      V = std::min(V, lim);
      int Y = luma[g];
      if (Y > 130) {
        sumU += U;
        sumV += V;
      }
      size_t at = (static_cast<size_t>(h - 1 - oy) * w + ox) * 3;
      img[at + 0] = static_cast<uint8_t>(Out16(19 * Y + 32 * U));
      img[at + 1] = static_cast<uint8_t>(Out16(19 * Y - 6 * U - 13 * V));
      img[at + 2] = static_cast<uint8_t>(Out16(19 * Y + 26 * V));
    }
  }
  long n = (static_cast<long>(w) * h) / 8;
  stats->biasU = static_cast<int>(sumU / n);
  stats->biasV = static_cast<int>(sumV / n);
  return stretch ? Stretch10by9(img, w, h, outW, outH) : img;
}

Bytes Double(const Bytes& rgb, int w, int h) {
  const int W = 2 * w, H = 2 * h;
  Bytes out(static_cast<size_t>(W) * H * 3);
  auto in = [&](int x, int y, int c) { return static_cast<int>(rgb[(static_cast<size_t>(y) * w + x) * 3 + c]); };
  auto at = [&](int X, int Y, int c) -> uint8_t& { return out[(static_cast<size_t>(Y) * W + X) * 3 + c]; };
  for (int Y = 1; Y <= H - 2; ++Y) {
    for (int X = 1; X <= W - 2; ++X) {
      int nc = X / 2, fc = X % 2 ? X / 2 + 1 : X / 2 - 1;
      int nr = Y / 2, fr = Y % 2 ? Y / 2 + 1 : Y / 2 - 1;
      for (int c = 0; c < 3; ++c)
        at(X, Y, c) = static_cast<uint8_t>((9 * in(nc, nr, c) + 3 * in(nc, fr, c) + 3 * in(fc, nr, c) + in(fc, fr, c) + 8) >> 4);
    }
  }
  for (int Y = 1; Y <= H - 2; ++Y) {
    for (int c = 0; c < 3; ++c) {
      at(0, Y, c) = at(1, Y, c);
      at(W - 1, Y, c) = at(W - 2, Y, c);
    }
  }
  for (int X = 0; X < W; ++X) {
    for (int c = 0; c < 3; ++c) {
      at(X, 0, c) = at(X, 1, c);
      at(X, H - 1, c) = at(X, H - 2, c);
    }
  }
  return out;
}

Bytes ToRGB16(const Bytes& rgb, int w, int h) {
  Bytes out(static_cast<size_t>(w) * h * 2);
  for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
    int word = (rgb[3 * i] >> 3) | ((rgb[3 * i + 1] >> 3) << 5) | ((rgb[3 * i + 2] >> 3) << 10);
    out[2 * i] = static_cast<uint8_t>(word & 0xFF);
    out[2 * i + 1] = static_cast<uint8_t>(word >> 8);
  }
  return out;
}

namespace {

const uint8_t* Line(const Bytes& f, int w, int line) { return f.data() + static_cast<size_t>(line) * w; }

// Luminance line feeding image row i in the RGB writers.
const uint8_t* RGBRow(const Bytes& f, int w, int h, int i) {
  int m = i / 2;
  if (i % 2 == 0 || i == h - 1) return Line(f, w, 3 * m + 1);
  return Line(f, w, 3 * (m + 1));
}

}  // namespace

Stats PrepareYUV(Bytes& frame, int w, int h, const std::array<uint8_t, 256>& luma) {
  long su = 0, sv = 0;
  for (int m = 0; m < h / 2; ++m) {
    for (int k = 0; k < (w + 1) / 2; ++k) {
      int yv = luma[frame[static_cast<size_t>(3 * m) * w + 2 * k]];
      if (yv > 130) {
        int lim = ((235 - yv) >> 2) + 128;
        uint8_t& u = frame[static_cast<size_t>(3 * m + 2) * w + 2 * k];
        uint8_t& v = frame[static_cast<size_t>(3 * m + 2) * w + 2 * k + 1];
        if (u > lim) u = static_cast<uint8_t>(lim);
        if (v > lim) v = static_cast<uint8_t>(lim);
        su += u - 128;
        sv += v - 128;
      }
    }
  }
  long n = (static_cast<long>(w) * h) / 8;
  return Stats{static_cast<int>(4 * su / n), static_cast<int>(4 * sv / n)};
}

Bytes YUVToRGB24(const Bytes& f, int w, int h, const std::array<uint8_t, 256>& luma) {
  Bytes out(static_cast<size_t>(w) * h * 3);
  for (int i = 0; i < h; ++i) {
    const uint8_t* y = RGBRow(f, w, h, i);
    const uint8_t* uv = Line(f, w, 3 * (i / 2) + 2);
    for (int x = 0; x < w; ++x) {
      int U = uv[2 * (x / 2)] - 128, V = uv[2 * (x / 2) + 1] - 128, Y = luma[y[x]];
      size_t at = (static_cast<size_t>(h - 1 - i) * w + x) * 3;
      out[at] = static_cast<uint8_t>(Out16(19 * Y + 32 * U));
      out[at + 1] = static_cast<uint8_t>(Out16(19 * Y - 6 * U - 13 * V));
      out[at + 2] = static_cast<uint8_t>(Out16(19 * Y + 26 * V));
    }
  }
  return out;
}

Bytes YUVToRGB16(const Bytes& f, int w, int h, const std::array<uint8_t, 256>& luma) {
  Bytes out(static_cast<size_t>(w) * h * 2);
  for (int i = 0; i < h; ++i) {
    const uint8_t* y = RGBRow(f, w, h, i);
    const uint8_t* uv = Line(f, w, 3 * (i / 2) + 2);
    for (int x = 0; x < w; ++x) {
      int qy = luma[y[x]] >> 3, qu = uv[2 * (x / 2)] >> 3, qv = uv[2 * (x / 2) + 1] >> 3;
      int Y = std::min(8 * qy + 4, 219), U = Clip(8 * qu - 124, -112, 112), V = Clip(8 * qv - 124, -112, 112);
      int R = Out16(19 * Y + 26 * V), G = Out16(19 * Y - 6 * U - 13 * V), B = Out16(19 * Y + 32 * U);
      int word = ((R & 0xF8) << 7) | ((G & 0xF8) << 2) | (B >> 3);
      size_t at = (static_cast<size_t>(h - 1 - i) * w + x) * 2;
      out[at] = static_cast<uint8_t>(word & 0xFF);
      out[at + 1] = static_cast<uint8_t>(word >> 8);
    }
  }
  return out;
}

Bytes YUVToPal8(const Bytes& f, int w, int h, const std::array<uint8_t, 256>& luma,
                const std::vector<std::array<uint8_t, 4>>& palette) {
  Bytes out(static_cast<size_t>(w) * h);
  for (int i = 0; i < h; ++i) {
    const uint8_t* y = RGBRow(f, w, h, i);
    const uint8_t* uv = Line(f, w, 3 * (i / 2) + 2);
    for (int x = 0; x < w; ++x) {
      int qy = luma[y[x]] >> 3, qu = uv[2 * (x / 2)] >> 4, qv = uv[2 * (x / 2) + 1] >> 4;
      int Y = std::min(8 * qy + 4, 219), U = Clip(16 * qu - 120, -112, 112), V = Clip(16 * qv - 120, -112, 112);
      int R = Clip((19 * Y + 26 * V) >> 4, 0, 255), G = Clip((19 * Y - 6 * U - 13 * V) >> 4, 0, 255),
          B = Clip((19 * Y + 32 * U) >> 4, 0, 255);
      long best = -1;
      int index = 0;
      for (size_t e = 0; e < palette.size(); ++e) {
        long dr = palette[e][0] - R, dg = palette[e][1] - G, db = palette[e][2] - B;
        long d = dr * dr + dg * dg + db * db;
        if (best < 0 || d < best) {
          best = d;
          index = static_cast<int>(e);
        }
      }
      out[static_cast<size_t>(h - 1 - i) * w + x] = static_cast<uint8_t>(index);
    }
  }
  return out;
}

Bytes YUVToPlanar(const Bytes& f, int w, int h, const std::array<uint8_t, 256>& luma, bool uFirst) {
  const size_t area = static_cast<size_t>(w) * h;
  Bytes out(area + 2 * (area / 4));
  for (int i = 0; i < h; ++i) {
    const uint8_t* y = Line(f, w, 3 * (i / 2) + (i % 2));
    for (int x = 0; x < w; ++x) out[static_cast<size_t>(i) * w + x] = luma[y[x]];
  }
  const size_t first = area, second = area + area / 4;
  for (int m = 0; m < h / 2; ++m) {
    const uint8_t* uv = Line(f, w, 3 * m + 2);
    for (int k = 0; k < w / 2; ++k) {
      size_t at = static_cast<size_t>(m) * (w / 2) + k;
      out[(uFirst ? first : second) + at] = uv[2 * k];
      out[(uFirst ? second : first) + at] = uv[2 * k + 1];
    }
  }
  return out;
}

Bytes YUVToYUY2(const Bytes& f, int w, int h, const std::array<uint8_t, 256>& luma) {
  Bytes out(static_cast<size_t>(w) * h * 2);
  for (int i = 0; i < h; ++i) {
    const uint8_t* y = Line(f, w, 3 * (i / 2) + (i % 2));
    const uint8_t* uv = Line(f, w, 3 * (i / 2) + 2);
    uint8_t* row = out.data() + static_cast<size_t>(h - 1 - i) * 2 * w;
    for (int x = 0; x < w; ++x) {
      row[2 * x] = luma[y[x]];
      row[2 * x + 1] = uv[x];  // U for even x, V for odd x
    }
  }
  return out;
}

Bytes YUVToYVU9(const Bytes& f, int w, int h, const std::array<uint8_t, 256>& luma) {
  const size_t area = static_cast<size_t>(w) * h;
  // When h / 4 rows of w / 4 fall short of area / 16, a gap stays between the
  // planes that nothing writes: it keeps the tests' fill byte 0xA5.
  Bytes out(area + area / 16 + static_cast<size_t>(w / 4) * (h / 4), 0xA5);
  for (int i = 0; i < h; ++i) {
    const uint8_t* y = Line(f, w, 3 * (i / 2) + (i % 2));
    for (int x = 0; x < w; ++x) out[static_cast<size_t>(i) * w + x] = luma[y[x]];
  }
  for (int j = 0; j < h / 4; ++j) {
    const uint8_t* up = Line(f, w, 3 * (2 * j) + 2);
    const uint8_t* lo = Line(f, w, 3 * (2 * j + 1) + 2);
    for (int k = 0; k < w / 4; ++k) {
      size_t at = static_cast<size_t>(j) * (w / 4) + k;
      out[area + at] = static_cast<uint8_t>((up[4 * k + 1] + lo[4 * k + 3]) >> 1);
      out[area + area / 16 + at] = static_cast<uint8_t>((up[4 * k] + lo[4 * k + 2]) >> 1);
    }
  }
  return out;
}

Bytes QCIF(const Bytes& src) {
  Bytes out(176 * 216);
  auto lumaLine = [](int q) { return 3 * (q / 2) + q % 2; };
  auto widen = [&](int srcLine, int dstLine, bool chroma) {
    for (int X = 0; X < 176; ++X) {
      int x;
      if (chroma) {
        int b = X / 22, t = X % 22;
        x = 20 * b + (t < 20 ? t : t - 2);
      } else {
        int b = X / 11, t = X % 11;
        x = 10 * b + (t < 10 ? t : 9);
      }
      out[static_cast<size_t>(dstLine) * 176 + X] = src[static_cast<size_t>(srcLine) * 160 + x];
    }
  };
  for (int q = 0; q < 144; ++q) {
    int from;
    if (q == 0) from = 1;
    else if ((q - 1) % 11 == 0) from = (q + 1) - q / 11;  // the copy of the next line
    else from = q - (q - 1) / 11;
    widen(lumaLine(from), lumaLine(q), false);
  }
  for (int p = 0; p < 72; ++p) {
    int target = p;
    if (p == 6 || p == 17 || p == 28 || p == 39 || p == 50 || p == 61) target = p + 1;
    widen(3 * (target - (target + 5) / 11) + 2, 3 * p + 2, true);
  }
  return out;
}

void WhiteBalance(const Stats& st, Settings& s) {
  int bu = st.biasU, bv = st.biasV;
  if (std::abs(bu) <= 10 && std::abs(bv) <= 10) return;
  double dG = ((bu > 0 && bv > 0) || (bu < 0 && bv < 0)) ? (bu + bv) * 0.0005 : 0.0;
  double dR = -bv * 0.001, dB = -bu * 0.001;
  dR = std::max(-0.05, std::min(0.05, dR));
  dG = std::max(-0.05, std::min(0.05, dG));
  dB = std::max(-0.05, std::min(0.05, dB));
  double R = s.redGain + dR, G = s.greenGain + dG, B = s.blueGain + dB;
  double m = std::min(R, std::min(G, B));
  s.redGain = std::min(R / m, 5.0);
  s.greenGain = std::min(G / m, 5.0);
  s.blueGain = std::min(B / m, 5.0);
}

}  // namespace ref
