// One frame of work, set up once and run many times: our colour paths through
// ConvertFrame as capture calls it, and the peers doing comparable work. The
// single benchmarks time one job; the pair benchmarks time ours and a peer
// turn about (pairs_bench.cpp).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "platform/types.h"

namespace bench {

class Job {
 public:
  virtual ~Job() = default;
  // The frame arriving as the camera leaves it, before each Run: left out of
  // the pair benchmarks' times (the camera's work, not the conversion's).
  virtual void Arrive() {}
  // One frame; false when the work failed (the benchmark then stops with why()).
  virtual bool Run() = 0;
  // Why the set-up or a run failed; "" while all is well.
  const std::string& Why() const { return why_; }
  double Pixels() const { return pixels_; }

 protected:
  std::string why_;
  double pixels_ = 0;
};

// "PSHU" 324 x 244 to RGB (24 or 16 bits) at outW x outH; each frame arrives
// as a fresh copy of the camera's bytes (the reconstruction works in place).
std::unique_ptr<Job> MosaicFrameJob(LONG outW, LONG outH, int bits);
// "PYUV" w x h to the output format; qcif: the 160 x 132 window stretched to
// 176 x 144 first.
std::unique_ptr<Job> YUVFrameJob(LONG w, LONG h, int bits, DWORD compression, bool qcif = false);

// Peers, single threaded; nullptr where the library is not built in.
std::unique_ptr<Job> OpenCVBayerJob(int w, int h);
std::unique_ptr<Job> V4lconvertBayerJob(int w, int h);
std::unique_ptr<Job> SwscaleYUV420Job(int w, int h);

// Times job frame by frame as the benchmark's iterations.
void RunJob(benchmark::State& state, Job* job);

}  // namespace bench
