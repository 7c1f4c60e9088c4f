// CPU per delivered frame through DriverProc, streaming as a capture
// application streams (buffers queued, the driver's timer capturing, frames
// handed back by callback and queued again), at 320x240 RGB24 and 176x144
// I420 on the virtual camera. The time spent inside the port device (the
// virtual kernel device and the camera's synthesis of each frame) is measured
// apart, so what is left is the driver's own frame path: a regression anywhere
// on it shows as a number.
#include <benchmark/benchmark.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bench_util.h"
#include "colspace/format_header.h"
#include "driver/driver_proc.h"
#include "platform/platform.h"
#include "platform/portable/driver_manager.h"
#include "platform/portable/port_device_backend.h"
#include "platform/portable/testing.h"
#include "sim/camera_link.h"
#include "sim/port_device_sim.h"
#include "zarncap/formats.h"
#include "zarncap/messages.h"

namespace {

double CpuNs(clockid_t clock) {
  timespec now;
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// The virtual port device with a stopwatch on every request (the thread's
// own CPU time inside it).
class TimedPortDevice : public platform::PortDeviceBackend {
 public:
  explicit TimedPortDevice(std::unique_ptr<platform::PortDeviceBackend> inner) : inner_(std::move(inner)) {
    current = this;
  }
  ~TimedPortDevice() override { current = nullptr; }
  BOOL Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength, DWORD* returned) override {
    const double start = CpuNs(CLOCK_THREAD_CPUTIME_ID);
    const BOOL result = inner_->Control(code, in, inLength, out, outLength, returned);
    nanoseconds_.fetch_add(static_cast<long long>(CpuNs(CLOCK_THREAD_CPUTIME_ID) - start));
    return result;
  }
  long long Nanoseconds() const { return nanoseconds_.load(); }
  static inline std::atomic<TimedPortDevice*> current{nullptr};

 private:
  std::unique_ptr<platform::PortDeviceBackend> inner_;
  std::atomic<long long> nanoseconds_{0};
};

std::unique_ptr<platform::PortDeviceBackend> MakeTimed(const std::string& options, std::string* error) {
  auto inner = sim::MakeVirtualPortDevice(options, error, &sim::MakeCamera);
  if (!inner) return nullptr;
  return std::make_unique<TimedPortDevice>(std::move(inner));
}

struct Delivered {
  std::mutex mutex;
  std::condition_variable filled;
  std::deque<VIDEOHDR*> ready;
};

void CALLBACK OnFrame(HDRVR, UINT msg, DWORD_PTR user, DWORD_PTR header, DWORD_PTR) {
  if (msg != MM_DRVM_DATA) return;
  auto* delivered = reinterpret_cast<Delivered*>(user);
  {
    std::lock_guard lock(delivered->mutex);
    delivered->ready.push_back(reinterpret_cast<VIDEOHDR*>(header));
  }
  delivered->filled.notify_one();
}

// A format with its image size, which sizes the stream's buffers.
BITMAPINFOHEADER SizedFormat(LONG width, LONG height, int bits, DWORD compression) {
  BITMAPINFOHEADER format = MakeFormatHeader(width, height, static_cast<int16_t>(bits), compression);
  GetFormatImageSize(&format);
  return format;
}

void StreamFrames(benchmark::State& state, BITMAPINFOHEADER format) {
  platform::RegisterPortDeviceBackend("timedsim", &MakeTimed);
  // A sensor period of 2 ms keeps the run short; the frames are the camera's usual ones.
  setenv("ZARNCAP_CAMERA", "timedsim:period=2", 1);
  const std::string ini = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/zarncap-bench.ini";
  std::remove(ini.c_str());
  VIDEO_OPEN_PARMS parms{};
  parms.dwSize = sizeof parms;
  parms.fccType = FOURCC_VCAP;
  parms.dwFlags = VIDEO_IN;
  platform::VirtualClock clock(platform::TimeGetTime());  // the open's settle waits cost nothing
  platform::SetClockSource(&clock);
  HDRVR video = platform::OpenDriverProc(&DriverProc, ("vcap " + ini).c_str(), reinterpret_cast<LPARAM>(&parms));
  platform::SetClockSource(nullptr);
  if (video == nullptr) return state.SkipWithError("the driver did not open on the virtual camera");
  VIDEOCONFIGPARMS set{nullptr, &format, sizeof format, nullptr, 0};
  if (platform::SendDriverMessage(video, DVM_FORMAT, VIDEO_CONFIGURE_SET, reinterpret_cast<LPARAM>(&set)) != 0) {
    platform::CloseDriver(video, 0, 0);
    return state.SkipWithError("the driver refused the format");
  }
  Delivered delivered;
  VIDEO_STREAM_INIT_PARMS init{};
  init.dwMicroSecPerFrame = 1000;
  init.dwCallback = reinterpret_cast<DWORD_PTR>(&OnFrame);
  init.dwCallbackInst = reinterpret_cast<DWORD_PTR>(&delivered);
  init.dwFlags = CALLBACK_FUNCTION;
  platform::SendDriverMessage(video, DVM_STREAM_INIT, reinterpret_cast<LPARAM>(&init), sizeof init);
  std::vector<std::vector<BYTE>> memory(4, std::vector<BYTE>(format.biSizeImage));
  std::vector<VIDEOHDR> headers(memory.size());
  const auto queue = [&](VIDEOHDR* header) {
    header->dwFlags = VHDR_PREPARED;
    platform::SendDriverMessage(video, DVM_STREAM_ADDBUFFER, reinterpret_cast<LPARAM>(header), sizeof *header);
  };
  for (std::size_t i = 0; i < headers.size(); ++i) {
    headers[i].lpData = memory[i].data();
    headers[i].dwBufferLength = format.biSizeImage;
    queue(&headers[i]);
  }
  platform::SendDriverMessage(video, DVM_STREAM_START, 0, 0);
  const long long portBefore = TimedPortDevice::current.load()->Nanoseconds();
  const double cpuBefore = CpuNs(CLOCK_PROCESS_CPUTIME_ID);
  std::int64_t frames = 0;
  for (auto _ : state) {
    VIDEOHDR* header = nullptr;
    {
      std::unique_lock lock(delivered.mutex);
      if (!delivered.filled.wait_for(lock, std::chrono::seconds(5), [&] { return !delivered.ready.empty(); })) {
        state.SkipWithError("no frame within 5 s");
        break;
      }
      header = delivered.ready.front();
      delivered.ready.pop_front();
    }
    frames += 1;
    queue(header);
  }
  const double cpu = CpuNs(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore;
  const double port = static_cast<double>(TimedPortDevice::current.load()->Nanoseconds() - portBefore);
  platform::SendDriverMessage(video, DVM_STREAM_STOP, 0, 0);
  platform::SendDriverMessage(video, DVM_STREAM_RESET, 0, 0);
  platform::SendDriverMessage(video, DVM_STREAM_FINI, 0, 0);
  platform::CloseDriver(video, 0, 0);
  if (frames == 0) return;
  state.counters["cpu_ms_per_frame"] = cpu / 1e6 / static_cast<double>(frames);
  state.counters["camera_ms_per_frame"] = port / 1e6 / static_cast<double>(frames);
  state.counters["driver_ms_per_frame"] = (cpu - port) / 1e6 / static_cast<double>(frames);
}

void BM_DriverStream_RGB24_320x240(benchmark::State& state) {
  StreamFrames(state, SizedFormat(320, 240, 24, BI_RGB));
}
void BM_DriverStream_I420_176x144(benchmark::State& state) {
  StreamFrames(state, SizedFormat(176, 144, 12, FOURCC_I420));
}
BENCHMARK(BM_DriverStream_RGB24_320x240)->Iterations(150)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DriverStream_I420_176x144)->Iterations(150)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
