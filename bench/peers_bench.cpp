// Well-known libraries doing comparable work on the same sizes, single
// threaded: OpenCV's bilinear Bayer demosaic (this mosaic's layout, even rows
// G R and odd rows B G, is OpenCV's BayerGB), libv4lconvert's SGRBG8 to BGR24,
// and swscale's yuv420p to bgr24.
#include <cstring>

#include <memory>
#include <vector>

#include "bench_util.h"
#include "jobs.h"

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
class OpenCVBayer : public bench::Job {
 public:
  OpenCVBayer(int w, int h) : bayer_(bench::Picture(static_cast<size_t>(w) * h, w)), src_(h, w, CV_8UC1, bayer_.data()),
                              dst_(h, w, CV_8UC3) {
    cv::setNumThreads(1);
    pixels_ = static_cast<double>(w) * h;
  }
  bool Run() override {
    cv::cvtColor(src_, dst_, cv::COLOR_BayerGB2BGR);
    benchmark::DoNotOptimize(dst_.data);
    return true;
  }

 private:
  std::vector<uint8_t> bayer_;
  cv::Mat src_, dst_;
};

void BM_Peer_OpenCV_BayerGB2BGR_bilinear(benchmark::State& state) {
  auto job = bench::OpenCVBayerJob(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  bench::RunJob(state, job.get());
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

class V4lconvertBayer : public bench::Job {
 public:
  V4lconvertBayer(int w, int h) : bayer_(bench::Picture(static_cast<size_t>(w) * h, w)), out_(static_cast<size_t>(3) * w * h) {
    static libv4l_dev_ops ops = {};
    ops.ioctl = FakeDeviceIoctl;
    data_ = v4lconvert_create_with_dev_ops(-1, nullptr, &ops);
    if (data_ == nullptr) why_ = "v4lconvert_create failed";
    src_.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    src_.fmt.pix.width = static_cast<unsigned>(w);
    src_.fmt.pix.height = static_cast<unsigned>(h);
    src_.fmt.pix.pixelformat = V4L2_PIX_FMT_SGRBG8;
    src_.fmt.pix.bytesperline = static_cast<unsigned>(w);
    src_.fmt.pix.sizeimage = static_cast<unsigned>(w * h);
    src_.fmt.pix.field = V4L2_FIELD_NONE;
    dst_ = src_;
    dst_.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    dst_.fmt.pix.bytesperline = static_cast<unsigned>(3 * w);
    dst_.fmt.pix.sizeimage = static_cast<unsigned>(3 * w * h);
    pixels_ = static_cast<double>(w) * h;
  }
  ~V4lconvertBayer() override {
    if (data_ != nullptr) v4lconvert_destroy(data_);
  }
  bool Run() override {
    const int n = v4lconvert_convert(data_, &src_, &dst_, bayer_.data(), static_cast<int>(bayer_.size()), out_.data(),
                                     static_cast<int>(out_.size()));
    benchmark::DoNotOptimize(out_.data());
    if (n >= 0) return true;
    why_ = v4lconvert_get_error_message(data_);
    return false;
  }

 private:
  v4lconvert_data* data_ = nullptr;
  v4l2_format src_{}, dst_{};
  std::vector<uint8_t> bayer_, out_;
};

void BM_Peer_v4lconvert_SGRBG8_to_BGR24(benchmark::State& state) {
  auto job = bench::V4lconvertBayerJob(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  bench::RunJob(state, job.get());
}
BENCHMARK(BM_Peer_v4lconvert_SGRBG8_to_BGR24)->Args({320, 240});
#endif

#ifdef ZARN_HAVE_SWSCALE
class SwscaleYUV420 : public bench::Job {
 public:
  SwscaleYUV420(int w, int h)
      : w_(w), h_(h), yuv_(bench::Picture(static_cast<size_t>(w) * h * 3 / 2, w)), out_(static_cast<size_t>(3) * w * h) {
    ctx_ = sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (ctx_ == nullptr) why_ = "sws_getContext failed";
    pixels_ = static_cast<double>(w) * h;
  }
  ~SwscaleYUV420() override {
    if (ctx_ != nullptr) sws_freeContext(ctx_);
  }
  bool Run() override {
    const uint8_t* planes[3] = {yuv_.data(), yuv_.data() + w_ * h_, yuv_.data() + w_ * h_ + w_ * h_ / 4};
    const int strides[3] = {w_, w_ / 2, w_ / 2};
    uint8_t* dst[1] = {out_.data()};
    const int dstStride[1] = {3 * w_};
    sws_scale(ctx_, planes, strides, 0, h_, dst, dstStride);
    benchmark::DoNotOptimize(out_.data());
    return true;
  }

 private:
  int w_, h_;
  SwsContext* ctx_ = nullptr;
  std::vector<uint8_t> yuv_, out_;
};

void BM_Peer_swscale_yuv420p_to_bgr24(benchmark::State& state) {
  auto job = bench::SwscaleYUV420Job(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  bench::RunJob(state, job.get());
}
BENCHMARK(BM_Peer_swscale_yuv420p_to_bgr24)->Args({320, 240})->Args({160, 120})->Args({176, 144});
#endif

}  // namespace

namespace bench {

std::unique_ptr<Job> OpenCVBayerJob(int w, int h) {
#ifdef ZARN_HAVE_OPENCV
  return std::make_unique<OpenCVBayer>(w, h);
#else
  (void)w, (void)h;
  return nullptr;
#endif
}

std::unique_ptr<Job> V4lconvertBayerJob(int w, int h) {
#ifdef ZARN_HAVE_V4LCONVERT
  return std::make_unique<V4lconvertBayer>(w, h);
#else
  (void)w, (void)h;
  return nullptr;
#endif
}

std::unique_ptr<Job> SwscaleYUV420Job(int w, int h) {
#ifdef ZARN_HAVE_SWSCALE
  return std::make_unique<SwscaleYUV420>(w, h);
#else
  (void)w, (void)h;
  return nullptr;
#endif
}

}  // namespace bench
