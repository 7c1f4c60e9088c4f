// Well-known libraries doing comparable work on the same sizes, single
// threaded: OpenCV's bilinear Bayer demosaic (this mosaic's layout, even rows
// G R and odd rows B G, is OpenCV's BayerGB), libv4lconvert's SGRBG8 to BGR24,
// and swscale's yuv420p to bgr24.
#include <cstring>

#include "bench_util.h"

#ifdef ZARN_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif
#ifdef ZARN_HAVE_V4LCONVERT
#include <libv4l-plugin.h>
#include <libv4lconvert.h>
#include <linux/videodev2.h>

#include <cerrno>
#endif
#ifdef ZARN_HAVE_SWSCALE
extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}
#endif

namespace {

void BM_Memcpy_RGB24(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  std::vector<uint8_t> a = bench::Picture(static_cast<size_t>(w) * h * 3, w * 3), b(a.size());
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  bench::PerPixel(state, static_cast<double>(w) * h);
}
BENCHMARK(BM_Memcpy_RGB24)->Args({320, 240})->Args({160, 120});

#ifdef ZARN_HAVE_OPENCV
void BM_Peer_OpenCV_BayerGB2BGR_bilinear(benchmark::State& state) {
  cv::setNumThreads(1);
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  std::vector<uint8_t> bayer = bench::Picture(static_cast<size_t>(w) * h, w);
  cv::Mat src(h, w, CV_8UC1, bayer.data());
  cv::Mat dst(h, w, CV_8UC3);
  for (auto _ : state) {
    cv::cvtColor(src, dst, cv::COLOR_BayerGB2BGR);
    benchmark::DoNotOptimize(dst.data);
    benchmark::ClobberMemory();
  }
  bench::PerPixel(state, static_cast<double>(w) * h);
}
BENCHMARK(BM_Peer_OpenCV_BayerGB2BGR_bilinear)->Args({320, 240});
#endif

#ifdef ZARN_HAVE_V4LCONVERT
// libv4lconvert wants a video device behind it; a stand-in that answers the
// capability query as a plain capture device and refuses everything else.
int FakeDeviceIoctl(void*, int, unsigned long int request, void* arg) {
  if (request == VIDIOC_QUERYCAP) {
    auto* cap = static_cast<v4l2_capability*>(arg);
    *cap = v4l2_capability{};
    std::memcpy(cap->driver, "bench", 6);
    std::memcpy(cap->card, "bench", 6);
    cap->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE;
    cap->device_caps = cap->capabilities;
    return 0;
  }
  errno = EINVAL;
  return -1;
}

void BM_Peer_v4lconvert_SGRBG8_to_BGR24(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  static libv4l_dev_ops ops = {};
  ops.ioctl = FakeDeviceIoctl;
  v4lconvert_data* data = v4lconvert_create_with_dev_ops(-1, nullptr, &ops);
  if (data == nullptr) {
    state.SkipWithError("v4lconvert_create failed");
    return;
  }
  v4l2_format srcFmt{};
  srcFmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  srcFmt.fmt.pix.width = static_cast<unsigned>(w);
  srcFmt.fmt.pix.height = static_cast<unsigned>(h);
  srcFmt.fmt.pix.pixelformat = V4L2_PIX_FMT_SGRBG8;
  srcFmt.fmt.pix.bytesperline = static_cast<unsigned>(w);
  srcFmt.fmt.pix.sizeimage = static_cast<unsigned>(w * h);
  srcFmt.fmt.pix.field = V4L2_FIELD_NONE;
  v4l2_format dstFmt = srcFmt;
  dstFmt.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
  dstFmt.fmt.pix.bytesperline = static_cast<unsigned>(3 * w);
  dstFmt.fmt.pix.sizeimage = static_cast<unsigned>(3 * w * h);
  std::vector<uint8_t> bayer = bench::Picture(static_cast<size_t>(w) * h, w);
  std::vector<uint8_t> out(static_cast<size_t>(3) * w * h);
  for (auto _ : state) {
    const int n = v4lconvert_convert(data, &srcFmt, &dstFmt, bayer.data(), static_cast<int>(bayer.size()),
                                     out.data(), static_cast<int>(out.size()));
    if (n < 0) state.SkipWithError(v4lconvert_get_error_message(data));
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  v4lconvert_destroy(data);
  bench::PerPixel(state, static_cast<double>(w) * h);
}
BENCHMARK(BM_Peer_v4lconvert_SGRBG8_to_BGR24)->Args({320, 240});
#endif

#ifdef ZARN_HAVE_SWSCALE
void BM_Peer_swscale_yuv420p_to_bgr24(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  SwsContext* ctx = sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr,
                                   nullptr, nullptr);
  if (ctx == nullptr) {
    state.SkipWithError("sws_getContext failed");
    return;
  }
  std::vector<uint8_t> yuv = bench::Picture(static_cast<size_t>(w) * h * 3 / 2, w);
  std::vector<uint8_t> out(static_cast<size_t>(3) * w * h);
  const uint8_t* planes[3] = {yuv.data(), yuv.data() + w * h, yuv.data() + w * h + w * h / 4};
  const int strides[3] = {w, w / 2, w / 2};
  uint8_t* dst[1] = {out.data()};
  const int dstStride[1] = {3 * w};
  for (auto _ : state) {
    sws_scale(ctx, planes, strides, 0, h, dst, dstStride);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  sws_freeContext(ctx);
  bench::PerPixel(state, static_cast<double>(w) * h);
}
BENCHMARK(BM_Peer_swscale_yuv420p_to_bgr24)->Args({320, 240})->Args({160, 120})->Args({176, 144});
#endif

}  // namespace
