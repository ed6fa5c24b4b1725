// Cost of the camera link through the simulated control unit: one register
// access, one full 1536 x 1024 download, one exposure render.
// Goals: < 25 ns per port access, < 0.25 s per full frame.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

#include "app/program.h"
#include "app/program_parts.h"
#include "camera/connection.h"
#include "camera/failure_text.h"
#include "camera/link.h"
#include "exposure/download.h"
#include "test_support/world.h"

namespace {

using namespace stellacq;

// Register accesses of one sample: control 0x26, status, low byte,
// control 0x27, status, high byte (the simulated unit answers at once).
constexpr double kAccessesPerSample = 6.0;

// The program on the simulated unit itself: the cost of the link and of
// the unit, without the settings-following port of stellacq-sim in between.
struct World : testing::TestSeams {
  World() : observatory(clock, options()) {
    apply_parallel_port(2, p.ports);
    p.settings.unit_model = 16;
    p.settings.head_model = 16;
    p.frames.light.width = 1536;
    p.frames.light.height = 1024;
    p.connection.camera_menu_link_sumi_Click();
  }
  static sim::ObservatoryOptions options() {
    sim::ObservatoryOptions o;
    o.unit.instant_exposures = true;
    return o;
  }
  bool exchange(const char* command) {
    CameraPort port{p.port, p.ports, p.clock};
    return exchange_command(port, p.link, command) == LinkResult::Ok;
  }
  sim::Observatory observatory;
  Program p{on(observatory.unit())};
};

void BM_StatusRead(benchmark::State& state) {
  World w;
  PortIo& io = w.observatory.unit();
  for (auto _ : state) benchmark::DoNotOptimize(io.PortIn(w.p.ports.port_status));
}
BENCHMARK(BM_StatusRead);

void BM_FullFrameDownload(benchmark::State& state) {
  World w;
  if (!w.exchange("N 1 1") || !w.exchange("S 1000") || !w.exchange("V"))
    state.SkipWithError("exposure failed");
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    if (!download_frame(camera_of(w.p), w.p.frames, status_line(w.p), FrameKind::Light, {1536, 1024}))
      state.SkipWithError("download failed");
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double frames = static_cast<double>(state.iterations());
  const double samples = 1536.0 * 1024.0;
  state.counters["s_per_frame"] = seconds / frames;
  state.counters["ns_per_access"] = seconds * 1e9 / (frames * samples * kAccessesPerSample);
}
BENCHMARK(BM_FullFrameDownload)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_RenderFullFrame(benchmark::State& state) {
  sim::Sky sky;
  sim::ExposureSetup setup;
  std::vector<std::uint16_t> frame;
  for (auto _ : state) {
    sky.render(setup, frame);
    benchmark::DoNotOptimize(frame.data());
  }
}
BENCHMARK(BM_RenderFullFrame)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf(
      "Goals: < 25 ns per port access (ns_per_access), < 0.25 s per 1536 x 1024 download (s_per_frame).\n");
  return 0;
}
