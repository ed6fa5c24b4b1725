// Display and correction speed on a full TX-22 frame (1536 x 1024):
// automatic levels plus drawing, dark subtraction, flat correction.
// Prints each figure, in CPU and wall time, next to its goal.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "app/program.h"
#include "bench/goal_reporter.h"
#include "image/auto_level.h"
#include "image/correction.h"
#include "image/display.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

constexpr int kWidth = 1536;
constexpr int kHeight = 1024;

struct Bench : testing::World {
  FrameBuffer raw_light;

  // Sky of about 1000 counts with noise, a few hundred stars, a dark of
  // about 300 and a flat within a few percent of its mean.
  Bench() {
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0, 30);
    Frames& f = p.frames;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        raw_light.at(x, y) = static_cast<std::int32_t>(1000 + noise(random));
        f.dark.counts.at(x, y) = static_cast<std::int32_t>(300 + noise(random) / 3);
        f.flat.counts.at(x, y) = static_cast<std::int32_t>(20000 + 10 * noise(random));
      }
    std::uniform_int_distribution<int> px(0, kWidth - 1), py(0, kHeight - 1);
    for (int s = 0; s < 400; ++s) raw_light.at(px(random), py(random)) = 60000;
    f.light.width = f.dark.width = kWidth;
    f.light.height = f.dark.height = kHeight;
    f.flat_mean = 20000;
    f.flat_loaded = 1;
    restore();
  }
  void restore() {
    p.frames.light.counts = raw_light;
    p.frames.light.max = 60000;
    p.frames.light.min = 800;
  }
};

Bench& bench() {
  static auto b = std::make_unique<Bench>();
  return *b;
}

void BM_AutoLevelAndDraw(benchmark::State& state) {
  Bench& b = bench();
  Frames& f = b.p.frames;
  for (auto _ : state) {
    f.scan_max = f.light.max;
    f.scan_min = f.light.min;
    f.display_source = DisplaySource::Light;
    auto_level(f);
    draw_frame(b.p.picture, f, f.light);
    benchmark::DoNotOptimize(b.p.picture.pixels.data());
  }
}

void BM_SubtractDark(benchmark::State& state) {
  Bench& b = bench();
  for (auto _ : state) {
    state.PauseTiming();
    b.restore();
    state.ResumeTiming();
    subtract_dark(b.p.frames);
    benchmark::DoNotOptimize(b.p.frames.light.counts.data());
  }
}

void BM_DivideFlat(benchmark::State& state) {
  Bench& b = bench();
  for (auto _ : state) {
    state.PauseTiming();
    b.restore();
    state.ResumeTiming();
    divide_flat(b.p.frames);
    benchmark::DoNotOptimize(b.p.frames.light.counts.data());
  }
}

BENCHMARK(BM_AutoLevelAndDraw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SubtractDark)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DivideFlat)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace stellacq

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  stellacq::GoalReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const bool all_met = stellacq::print_cpu_goals(
      reporter, {
                    {"BM_AutoLevelAndDraw", "auto_level + draw_frame, 1536 x 1024", 15},
                    {"BM_SubtractDark", "dark subtraction, 1536 x 1024", 5},
                    {"BM_DivideFlat", "flat correction, 1536 x 1024", 5},
                });
  std::printf("%s\n", all_met ? "all goals met" : "some goals missed");
  return 0;
}
