// Cost of one series frame on the simulated observatory apart from the
// exposure itself (the simulated unit ends exposures at once): the header,
// the exchange of the exposure command, the download of a 1536 x 1024
// frame, dark subtraction and flat correction in place, automatic levels
// and drawing, and the save with its flush to the disk.
// Goal: < 100 ms per frame, with the share of each step. Each figure is
// given in CPU time (user and system, of the whole process: the simulated
// unit's share included) and in wall time; the goal is judged on the CPU
// time, which the load of a shared machine does not change.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "app/program.h"
#include "app/program_parts.h"
#include "camera/connection.h"
#include "core/numeric.h"
#include "exposure/download.h"
#include "exposure/series.h"
#include "exposure/single.h"
#include "fits/file_operations.h"
#include "fits/header_builder.h"
#include "image/frame_display.h"
#include "test_support/world.h"

namespace {

using namespace stellacq;

// Milliseconds per call of each step, filled in by the benchmarks.
struct Figure {
  double cpu_ms = 0;
  double wall_ms = 0;
};
std::map<std::string, Figure> g_step;
Figure g_frame;

// Both clocks at once.
struct Stopwatch {
  double cpu_start = cpu_now();
  std::chrono::steady_clock::time_point wall_start = std::chrono::steady_clock::now();
  static double cpu_now() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
  }
  void add_to(Figure& f) const {
    f.cpu_ms += cpu_now() - cpu_start;
    f.wall_ms +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall_start).count();
  }
};

struct World : testing::SimWorld {
  // The unit keeps no record of the traffic, as in stellacq-sim.
  static sim::ObservatoryOptions options() {
    sim::ObservatoryOptions o = default_options();
    o.unit.record = false;
    return o;
  }
  World() : testing::SimWorld(options()) {
    p.frames.binning = 1;  // 1536 x 1024
    p.settings.save_in_series = 1;
    p.settings.save_folder = dir.path();
    p.settings.guide_dark_sub = 1;
    p.settings.guide_flat_sub = 1;
    p.form.Text5 = "1";
    p.form.Text6 = "0";
    clock.now_value = {2026, 3, 7, 21, 30, 5};
    p.connection.camera_menu_link_sumi_Click();
    if (!send_time_and_binning(camera_of(p), p.exposure, numeric_value(p.form.Text5), p.frames.binning,
                               status_line(p)))
      std::abort();
    make_light_header(p.headers, p.shooting.record_start(p.frames.light));
    if (!expose_frame(camera_of(p), status_line(p), FrameKind::Light) ||
        !download_frame(camera_of(p), p.frames, status_line(p), FrameKind::Light, {1536, 1024}))
      std::abort();
    // A dark and a flat of the frame's size.
    Frames& f = p.frames;
    testing::fill(f.dark, f.dark.width = f.light.width, f.dark.height = f.light.height, 100);
    f.dark.max = f.dark.min = 100;
    testing::fill(f.flat, f.light.width, f.light.height, 1000);
    f.flat.max = f.flat.min = f.flat_mean = 1000;
    f.flat_loaded = 1;
    fresh = p.frames;
  }
  // The frames as they stand after a download: the steps that rewrite the
  // light frame in place start from it again at every call.
  void restore() { p.frames = fresh; }
  Frames fresh;
  testing::ScratchDir dir;
};

// Times `step` per call, each on a freshly downloaded frame, and keeps the
// figure under `name`.
template <typename Step>
void time_step(benchmark::State& state, const char* name, World& w, Step step) {
  Figure total;
  for (auto _ : state) {
    state.PauseTiming();
    w.restore();
    state.ResumeTiming();
    const Stopwatch watch;
    step(w);
    watch.add_to(total);
  }
  const auto n = static_cast<double>(state.iterations());
  g_step[name] = {total.cpu_ms / n, total.wall_ms / n};
}

void BM_Header(benchmark::State& state) {
  World w;
  time_step(state, "header", w,
            [](World& v) { make_light_header(v.p.headers, v.p.shooting.record_start(v.p.frames.light)); });
}
BENCHMARK(BM_Header)->Unit(benchmark::kMillisecond);

// The exposure command: the simulated unit renders the sky into its frame
// when the exposure ends, which is the simulator's work, not the program's.
void BM_Expose(benchmark::State& state) {
  World w;
  time_step(state, "exposure command", w, [&](World& v) {
    if (!expose_frame(camera_of(v.p), status_line(v.p), FrameKind::Light))
      state.SkipWithError("exposure failed");
  });
}
BENCHMARK(BM_Expose)->Unit(benchmark::kMillisecond);

void BM_Download(benchmark::State& state) {
  World w;
  time_step(state, "download", w, [&](World& v) {
    if (!download_frame(camera_of(v.p), v.p.frames, status_line(v.p), FrameKind::Light, {1536, 1024}))
      state.SkipWithError("download failed");
  });
}
BENCHMARK(BM_Download)->Unit(benchmark::kMillisecond);

void BM_DarkSubtraction(benchmark::State& state) {
  World w;
  time_step(state, "dark subtraction", w, [](World& v) { v.p.display.image_menu_display_dark_sub_Click(); });
}
BENCHMARK(BM_DarkSubtraction)->Unit(benchmark::kMillisecond);

void BM_FlatCorrection(benchmark::State& state) {
  World w;
  time_step(state, "flat correction", w, [](World& v) { v.p.display.image_menu_display_flat_sub_Click(); });
}
BENCHMARK(BM_FlatCorrection)->Unit(benchmark::kMillisecond);

void BM_Display(benchmark::State& state) {
  World w;
  time_step(state, "levels + drawing", w, [](World& v) { v.p.display.image_menu_display_auto_Click(); });
}
BENCHMARK(BM_Display)->Unit(benchmark::kMillisecond);

void BM_DurableSave(benchmark::State& state) {
  World w;
  time_step(state, "save with flush", w, [&](World& v) {
    if (!series_save(v.p.frames.light, v.p.headers.light_header, v.p.file, v.p.settings,
                     v.p.clock.local_now(), status_line(v.p)))
      state.SkipWithError("save failed");
    v.clock.now_value.second = (v.clock.now_value.second + 1) % 60;
    std::filesystem::remove(v.p.file.save_file_name);
  });
}
BENCHMARK(BM_DurableSave)->Unit(benchmark::kMillisecond);

// Whole frames of a counted series with interval 0, all steps together.
void BM_SeriesFrame(benchmark::State& state) {
  World w;
  constexpr int kFrames = 5;
  Figure total;
  for (auto _ : state) {
    state.PauseTiming();
    for (const auto& e : std::filesystem::directory_iterator(w.dir.path())) std::filesystem::remove(e.path());
    w.ui.input_answers = {std::to_string(kFrames)};
    w.ui.on_yield = [&] {};
    w.ui.on_idle = [&] { w.clock.now_value.second = (w.clock.now_value.second + 1) % 60; };
    state.ResumeTiming();
    const Stopwatch watch;
    w.p.series.exp_menu_grab_num_Click();
    watch.add_to(total);
    if (w.ui.last_status() != kCountedSeriesDoneMessage) state.SkipWithError("series failed");
  }
  const double frames = static_cast<double>(state.iterations()) * kFrames;
  g_frame = {total.cpu_ms / frames, total.wall_ms / frames};
  state.counters["cpu_ms_per_frame"] = g_frame.cpu_ms;
}
BENCHMARK(BM_SeriesFrame)->Unit(benchmark::kMillisecond)->Iterations(4);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Figure steps;
  for (const auto& [name, f] : g_step) {
    steps.cpu_ms += f.cpu_ms;
    steps.wall_ms += f.wall_ms;
  }
  std::printf("\nOne series frame of 1536 x 1024 apart from the exposure time:\n");
  std::printf("  %-20s %8s %6s %9s\n", "", "CPU ms", "share", "wall ms");
  for (const auto& [name, f] : g_step)
    std::printf("  %-20s %8.2f %5.1f%% %9.2f\n", name.c_str(), f.cpu_ms,
                steps.cpu_ms > 0 ? 100.0 * f.cpu_ms / steps.cpu_ms : 0.0, f.wall_ms);
  std::printf("  %-20s %8.2f %6s %9.2f\n", "sum of the steps", steps.cpu_ms, "", steps.wall_ms);
  std::printf("  %-20s %8.2f %6s %9.2f   goal < 100 ms CPU per frame: %s\n", "whole series frame",
              g_frame.cpu_ms, "", g_frame.wall_ms, g_frame.cpu_ms < 100 ? "met" : "MISSED");
  return 0;
}
