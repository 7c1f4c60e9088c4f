// The colour pipeline's per-frame paths, timed frame by frame through
// ConvertFrame as capture calls it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <filesystem>
#include <memory>
#include <fstream>
#include <string>

#include "bench_util.h"
#include "jobs.h"
#include "colspace/colspace.h"
#include "colspace/convert.h"
#include "colspace/format_header.h"
#include "colspace/kernels.h"
#include "colspace/yuv_prepare.h"

namespace {

// One record for the whole run, made from a settings file in a private folder.
HCOLSPACE Record() {
  static HCOLSPACE record = [] {
    const auto path = std::filesystem::temp_directory_path() / "zarncap-colspace-bench.ini";
    std::filesystem::remove(path);
    static std::string ini = path.string();
    return InitColSpace(ini.c_str());
  }();
  SelectColSpace(record);
  return record;
}


class MosaicWork : public bench::Job {
 public:
  MosaicWork(LONG outW, LONG outH, int bits)
      : camera_(bench::Picture(324 * 244, 324)), raw_(camera_.size()) {
    Record();
    BITMAPINFOHEADER src = MakeFormatHeader(324, 244, 8, FOURCC_PSHU);
    out_ = MakeFormatHeader(outW, outH, static_cast<int16_t>(bits), 0);
    if (!SetColSpaceFormat(CurrentColSpace(), &src, &out_)) why_ = "format refused";
    dest_.resize(GetFormatImageSize(&out_));
    pixels_ = static_cast<double>(outW) * outH;
  }
  void Arrive() override { std::memcpy(raw_.data(), camera_.data(), camera_.size()); }
  bool Run() override {
    if (ConvertFrame(CurrentColSpace(), raw_.data(), dest_.data())) return true;
    why_ = "conversion failed";
    return false;
  }

 private:
  BITMAPINFOHEADER out_{};
  std::vector<uint8_t> camera_, raw_, dest_;
};

void MosaicFrame(benchmark::State& state, LONG outW, LONG outH, int bits) {
  auto job = bench::MosaicFrameJob(outW, outH, bits);
  bench::RunJob(state, job.get());
}

void BM_CopyRawFrame(benchmark::State& state) {
  const std::vector<uint8_t> camera = bench::Picture(324 * 244, 324);
  std::vector<uint8_t> raw(camera.size());
  for (auto _ : state) {
    std::memcpy(raw.data(), camera.data(), camera.size());
    benchmark::DoNotOptimize(raw.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CopyRawFrame);

void BM_PSHU_324x244_to_RGB24_320x240(benchmark::State& state) { MosaicFrame(state, 320, 240, 24); }
void BM_PSHU_324x244_to_RGB24_640x480_double(benchmark::State& state) { MosaicFrame(state, 640, 480, 24); }
void BM_PSHU_324x244_to_RGB16_320x240(benchmark::State& state) { MosaicFrame(state, 320, 240, 16); }
BENCHMARK(BM_PSHU_324x244_to_RGB24_320x240);
BENCHMARK(BM_PSHU_324x244_to_RGB24_640x480_double);
BENCHMARK(BM_PSHU_324x244_to_RGB16_320x240);

// "PYUV": the preparation changes only chroma in highlights, and doing it again
// changes nothing, so the frame is converted as it stands.
class YUVFrameWork : public bench::Job {
 public:
  YUVFrameWork(LONG w, LONG h, int bits, DWORD compression, bool qcif)
      : qcif_(qcif), raw_(bench::Picture(79056, qcif ? 160 : w)) {
    Record();
    BITMAPINFOHEADER src = MakeFormatHeader(w, h, 16, FOURCC_PYUV);
    BITMAPINFOHEADER out = MakeFormatHeader(w, h, static_cast<int16_t>(bits), compression);
    if (!SetColSpaceFormat(CurrentColSpace(), &src, &out)) why_ = "format refused";
    dest_.resize(GetFormatImageSize(&out));
    pixels_ = static_cast<double>(w) * h;
  }
  bool Run() override {
    BYTE* frame = raw_.data();
    if (qcif_) {
      StretchToQCIF(raw_.data(), raw_.data() + kQCIFOffset);
      frame = raw_.data() + kQCIFOffset;
    }
    if (ConvertFrame(CurrentColSpace(), frame, dest_.data())) return true;
    why_ = "conversion failed";
    return false;
  }

 private:
  bool qcif_;
  std::vector<uint8_t> raw_, dest_;
};

void YUVFrame(benchmark::State& state, LONG w, LONG h, int bits, DWORD compression, bool qcif = false) {
  auto job = bench::YUVFrameJob(w, h, bits, compression, qcif);
  bench::RunJob(state, job.get());
}

void BM_PYUV_160x120_to_RGB24(benchmark::State& state) { YUVFrame(state, 160, 120, 24, 0); }
void BM_PYUV_160x120_to_RGB16(benchmark::State& state) { YUVFrame(state, 160, 120, 16, 0); }
void BM_PYUV_160x120_to_Pal8(benchmark::State& state) { YUVFrame(state, 160, 120, 8, 0); }
void BM_PYUV_160x120_to_I420(benchmark::State& state) { YUVFrame(state, 160, 120, 12, FOURCC_I420); }
void BM_PYUV_160x120_to_YV12(benchmark::State& state) { YUVFrame(state, 160, 120, 12, FOURCC_YV12); }
void BM_PYUV_160x120_to_YUY2(benchmark::State& state) { YUVFrame(state, 160, 120, 16, FOURCC_YUY2); }
void BM_PYUV_160x120_to_YVU9(benchmark::State& state) { YUVFrame(state, 160, 120, 9, FOURCC_YVU9); }
void BM_PYUV_160x132_QCIF_to_RGB24_176x144(benchmark::State& state) { YUVFrame(state, 176, 144, 24, 0, true); }
BENCHMARK(BM_PYUV_160x120_to_RGB24);
BENCHMARK(BM_PYUV_160x120_to_RGB16);
BENCHMARK(BM_PYUV_160x120_to_Pal8);
BENCHMARK(BM_PYUV_160x120_to_I420);
BENCHMARK(BM_PYUV_160x120_to_YV12);
BENCHMARK(BM_PYUV_160x120_to_YUY2);
BENCHMARK(BM_PYUV_160x120_to_YVU9);
BENCHMARK(BM_PYUV_160x132_QCIF_to_RGB24_176x144);

void BM_StretchToQCIF(benchmark::State& state) {
  std::vector<uint8_t> raw = bench::Picture(79056, 160);
  for (auto _ : state) {
    StretchToQCIF(raw.data(), raw.data() + kQCIFOffset);
    benchmark::DoNotOptimize(raw.data());
    benchmark::ClobberMemory();
  }
  bench::PerPixel(state, 176.0 * 144);
}
BENCHMARK(BM_StretchToQCIF);

}  // namespace

namespace bench {

std::unique_ptr<Job> MosaicFrameJob(LONG outW, LONG outH, int bits) {
  return std::make_unique<MosaicWork>(outW, outH, bits);
}

std::unique_ptr<Job> YUVFrameJob(LONG w, LONG h, int bits, DWORD compression, bool qcif) {
  return std::make_unique<YUVFrameWork>(w, h, bits, compression, qcif);
}

void RunJob(benchmark::State& state, Job* job) {
  if (job == nullptr || !job->Why().empty()) {
    state.SkipWithError(job == nullptr ? "not built in" : job->Why().c_str());
    return;
  }
  for (auto _ : state) {
    job->Arrive();  // timed here: pausing the clock would cost more than the copy (BM_CopyRawFrame)
    if (!job->Run()) {
      state.SkipWithError(job->Why().c_str());
      break;
    }
    benchmark::ClobberMemory();
  }
  PerPixel(state, job->Pixels());
}

}  // namespace bench

// ZARNCAP_BENCH_KERNELS=portable|sse2|avx2|avx512 runs every path on that
// set instead of the measured choice, to compare the sets in one sitting.
bool ForceKernelsFromEnvironment() {
  const char* name = std::getenv("ZARNCAP_BENCH_KERNELS");
  if (name == nullptr || *name == '\0') return true;
  const std::pair<const char*, KernelSet> sets[] = {{"portable", KernelSet::kPortable}, {"sse2", KernelSet::kSSE2},
                                                    {"avx2", KernelSet::kAVX2}, {"avx512", KernelSet::kAVX512}};
  for (auto [text, set] : sets) {
    if (std::strcmp(name, text) == 0) return ForceKernelSet(set);
  }
  return false;
}

// The processor and the kernel set each path runs on it, before the figures.
int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::string model = "unknown";
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  Record();
  BITMAPINFOHEADER src = MakeFormatHeader(164, 124, 8, FOURCC_PSHU);
  BITMAPINFOHEADER out = MakeFormatHeader(160, 120, 24, 0);
  SetColSpaceFormat(CurrentColSpace(), &src, &out);  // the first format chooses the kernel sets
  if (!ForceKernelsFromEnvironment()) {
    std::fprintf(stderr, "ZARNCAP_BENCH_KERNELS names no set this processor runs\n");
    return 2;
  }
  const std::string chosen = DescribeChosenKernels();
  std::printf("processor: %s\nkernel sets chosen: %s\n", model.c_str(), chosen.c_str());
  benchmark::AddCustomContext("processor", model);
  benchmark::AddCustomContext("kernel sets chosen", chosen);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
