// Each goal's two sides timed turn about inside one benchmark: every
// iteration runs our path once and the peer once, in alternating order, each
// timed on its own, and the ratio of the two sums is the figure. Both sides
// see the same machine at the same moments, so a busy neighbour or a clock
// change moves both, and the ratio holds from run to run where the separate
// timings, minutes apart, did not.
#include <chrono>
#include <functional>
#include <memory>

#include "bench_util.h"
#include "jobs.h"
#include "zarncap/formats.h"

namespace {

using Clock = std::chrono::steady_clock;

double TimeOne(bench::Job& job, bool* ok) {
  job.Arrive();
  const auto t0 = Clock::now();
  *ok = job.Run() && *ok;
  benchmark::ClobberMemory();
  return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

void Pair(benchmark::State& state, const std::function<std::unique_ptr<bench::Job>()>& makeOurs,
          const std::function<std::unique_ptr<bench::Job>()>& makePeer) {
  // The peer first: ours sets the colour layer's format, which the peer never touches.
  std::unique_ptr<bench::Job> peer = makePeer();
  std::unique_ptr<bench::Job> ours = makeOurs();
  if (peer == nullptr || !peer->Why().empty() || !ours->Why().empty()) {
    state.SkipWithError(peer == nullptr ? "the peer is not built in" : (peer ? peer->Why() : ours->Why()).c_str());
    return;
  }
  double oursUs = 0, peerUs = 0;
  bool ok = true, peerFirst = false;
  for (auto _ : state) {
    if (peerFirst) {
      peerUs += TimeOne(*peer, &ok);
      oursUs += TimeOne(*ours, &ok);
    } else {
      oursUs += TimeOne(*ours, &ok);
      peerUs += TimeOne(*peer, &ok);
    }
    peerFirst = !peerFirst;
    if (!ok) {
      state.SkipWithError("a side failed");
      return;
    }
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["ours_us"] = oursUs / n;
  state.counters["peer_us"] = peerUs / n;
  state.counters["ratio"] = peerUs > 0 ? oursUs / peerUs : 0.0;
}

void BM_Pair_PSHU_RGB24_vs_OpenCV(benchmark::State& state) {
  Pair(state, [] { return bench::MosaicFrameJob(320, 240, 24); }, [] { return bench::OpenCVBayerJob(320, 240); });
}
void BM_Pair_PSHU_RGB24_vs_v4lconvert(benchmark::State& state) {
  Pair(state, [] { return bench::MosaicFrameJob(320, 240, 24); }, [] { return bench::V4lconvertBayerJob(320, 240); });
}

// The "PYUV" 160 x 120 paths against swscale's yuv420p to bgr24 at that size.
void PyuvPair(benchmark::State& state, int bits, DWORD compression) {
  Pair(state, [=] { return bench::YUVFrameJob(160, 120, bits, compression); },
       [] { return bench::SwscaleYUV420Job(160, 120); });
}
void BM_Pair_PYUV_RGB24_vs_swscale(benchmark::State& state) { PyuvPair(state, 24, 0); }
void BM_Pair_PYUV_I420_vs_swscale(benchmark::State& state) { PyuvPair(state, 12, FOURCC_I420); }
void BM_Pair_PYUV_YV12_vs_swscale(benchmark::State& state) { PyuvPair(state, 12, FOURCC_YV12); }
void BM_Pair_PYUV_YUY2_vs_swscale(benchmark::State& state) { PyuvPair(state, 16, FOURCC_YUY2); }
void BM_Pair_PYUV_YVU9_vs_swscale(benchmark::State& state) { PyuvPair(state, 9, FOURCC_YVU9); }

BENCHMARK(BM_Pair_PSHU_RGB24_vs_OpenCV);
BENCHMARK(BM_Pair_PSHU_RGB24_vs_v4lconvert);
BENCHMARK(BM_Pair_PYUV_RGB24_vs_swscale);
BENCHMARK(BM_Pair_PYUV_I420_vs_swscale);
BENCHMARK(BM_Pair_PYUV_YV12_vs_swscale);
BENCHMARK(BM_Pair_PYUV_YUY2_vs_swscale);
BENCHMARK(BM_Pair_PYUV_YVU9_vs_swscale);

}  // namespace
