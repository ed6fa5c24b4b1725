// Guide-star measurement on a full TX-22 frame (1536 x 1024): the search
// window of span 10 / aperture 2, span 62 / aperture 10, and the widest
// search of a guiding step (as wide as the frame is high) with apertures 10
// and 61; the box-by-box search beside it where it ends in reasonable time.
// Prints each figure next to its goal.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "bench/goal_reporter.h"
#include "guiding/measure.h"

namespace stellacq {
namespace {

constexpr int kWidth = 1536;
constexpr int kHeight = 1024;
constexpr int kGuideX = 768;
constexpr int kGuideY = 512;

// Sky of about 1000 counts with noise and a few hundred stars.
const Frame& frame() {
  static const auto f = [] {
    auto frame = std::make_unique<Frame>();
    frame->width = kWidth;
    frame->height = kHeight;
    FrameBuffer* buffer = &frame->counts;
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0, 30);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) buffer->at(x, y) = static_cast<std::int32_t>(1000 + noise(random));
    std::uniform_int_distribution<int> px(2, kWidth - 3), py(2, kHeight - 3);
    for (int s = 0; s < 400; ++s) {
      const int x = px(random), y = py(random);
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) buffer->at(x + dx, y + dy) += 20000 / (1 + dx * dx + dy * dy);
    }
    return frame;
  }();
  return *f;
}

// Every box summed pixel by pixel, in column-then-row order.
std::int64_t box_by_box(const FrameBuffer& f, int span, int a) {
  std::int64_t best = 0;
  const auto inside = [](int x, int y) { return x >= 0 && x < kWidth && y >= 0 && y < kHeight; };
  for (int i = kGuideX - span; i <= kGuideX + span; ++i)
    for (int j = kGuideY - span; j <= kGuideY + span; ++j) {
      if (!inside(i, j)) continue;
      std::int64_t sum = 0;
      for (int x = i - a; x <= i + a; ++x)
        for (int y = j - a; y <= j + a; ++y)
          if (inside(x, y)) sum += f.at(x, y);
      if (sum > best) best = sum;
    }
  return best;
}

void BM_Measure(benchmark::State& state) {
  const Frame& f = frame();
  const int span = static_cast<int>(state.range(0));
  const int aperture = static_cast<int>(state.range(1));
  for (auto _ : state) {
    const GuideMeasurement m = measure_guide_star(f, kGuideX, kGuideY, span, aperture, 0, 0);
    benchmark::DoNotOptimize(m);
  }
}

void BM_BoxByBox(benchmark::State& state) {
  const FrameBuffer& f = frame().counts;
  for (auto _ : state)
    benchmark::DoNotOptimize(
        box_by_box(f, static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
}

BENCHMARK(BM_Measure)
    ->Args({10, 2})
    ->Args({62, 10})
    ->Args({1024, 10})
    ->Args({1024, 61})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoxByBox)->Args({10, 2})->Args({62, 10})->Unit(benchmark::kMillisecond);
// About 0.7 billion additions: one run is enough to show the gap.
BENCHMARK(BM_BoxByBox)->Args({1024, 10})->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace stellacq

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  stellacq::GoalReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  constexpr double kGoalMs = 20;
  struct Case {
    const char* what;
    const char* fast;
    const char* box_by_box;
  };
  const Case cases[] = {
      {"span 10, aperture 2", "BM_Measure/10/2", "BM_BoxByBox/10/2"},
      {"span 62, aperture 10", "BM_Measure/62/10", "BM_BoxByBox/62/10"},
      {"span 1024, aperture 10", "BM_Measure/1024/10", "BM_BoxByBox/1024/10/iterations:1"},
      {"span 1024, aperture 61", "BM_Measure/1024/61", nullptr},
  };
  std::printf("\n%-26s %10s %10s %8s %14s\n", "measure_guide_star", "ms", "goal ms", "ratio",
              "box by box ms");
  bool all_met = true;
  for (const Case& c : cases) {
    const auto it = reporter.ms.find(c.fast);
    if (it == reporter.ms.end()) continue;
    const bool met = it->second < kGoalMs;
    all_met = all_met && met;
    const auto slow = c.box_by_box ? reporter.ms.find(c.box_by_box) : reporter.ms.end();
    char slow_text[32] = "not run";
    if (slow != reporter.ms.end()) std::snprintf(slow_text, sizeof slow_text, "%.2f", slow->second);
    std::printf("%-26s %10.3f %10.1f %8.3f %14s %s\n", c.what, it->second, kGoalMs, it->second / kGoalMs,
                slow_text, met ? "met" : "MISSED");
  }
  std::printf("%s\n", all_met ? "all goals met" : "some goals missed");
  return 0;
}
