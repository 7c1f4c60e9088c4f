// The colour pipeline's per-frame paths, timed frame by frame through
// ConvertFrame as capture calls it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_util.h"
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

BITMAPINFOHEADER Header(LONG w, LONG h, int bits, DWORD compression) {
  BITMAPINFOHEADER b;
  InitFormatHeader(&b);
  SetFormatType(&b, static_cast<int16_t>(bits), compression);
  SetFormatSize(&b, w, h);
  return b;
}

// "PSHU": the reconstruction works the raw frame in place, so every frame
// starts from a fresh copy of the camera's bytes (BM_CopyRawFrame times that
// copy alone).
void MosaicFrame(benchmark::State& state, LONG outW, LONG outH, int bits) {
  Record();
  BITMAPINFOHEADER src = Header(324, 244, 8, FOURCC_PSHU);
  BITMAPINFOHEADER out = Header(outW, outH, bits, 0);
  if (!SetColSpaceFormat(CurrentColSpace(), &src, &out)) {
    state.SkipWithError("format refused");
    return;
  }
  const std::vector<uint8_t> camera = bench::Picture(324 * 244, 324);
  std::vector<uint8_t> raw(camera.size());
  std::vector<uint8_t> dest(GetFormatImageSize(&out));
  for (auto _ : state) {
    std::memcpy(raw.data(), camera.data(), camera.size());
    if (!ConvertFrame(CurrentColSpace(), raw.data(), dest.data())) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(dest.data());
    benchmark::ClobberMemory();
  }
  bench::PerPixel(state, static_cast<double>(outW) * outH);
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
void YUVFrame(benchmark::State& state, LONG w, LONG h, int bits, DWORD compression, bool qcif = false) {
  Record();
  BITMAPINFOHEADER src = Header(w, h, 16, FOURCC_PYUV);
  BITMAPINFOHEADER out = Header(w, h, bits, compression);
  if (!SetColSpaceFormat(CurrentColSpace(), &src, &out)) {
    state.SkipWithError("format refused");
    return;
  }
  std::vector<uint8_t> raw = bench::Picture(79056, qcif ? 160 : w);
  std::vector<uint8_t> dest(GetFormatImageSize(&out));
  for (auto _ : state) {
    BYTE* frame = raw.data();
    if (qcif) {
      StretchToQCIF(raw.data(), raw.data() + kQCIFOffset);
      frame = raw.data() + kQCIFOffset;
    }
    if (!ConvertFrame(CurrentColSpace(), frame, dest.data())) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(dest.data());
    benchmark::ClobberMemory();
  }
  bench::PerPixel(state, static_cast<double>(w) * h);
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
  BITMAPINFOHEADER src = Header(164, 124, 8, FOURCC_PSHU);
  BITMAPINFOHEADER out = Header(160, 120, 24, 0);
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
