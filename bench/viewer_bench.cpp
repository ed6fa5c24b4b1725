// The full-resolution viewer on a full TX-22 frame (1536 x 1024) in an
// 800 x 600 window: the CPU of a repaint of its visible area at "fit",
// 100 % and 800 %, mapping a new frame to grey, the measurement of a sharp
// and of a far defocused star, and the copies of the frame the viewer
// holds. Prints each beside its goal, and what the two measurements found.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <utility>

#include "bench/goal_reporter.h"
#include "image/frame_display.h"
#include "image/star_measure.h"
#include "image/viewer_window.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

constexpr int kWidth = 1536;
constexpr int kHeight = 1024;
constexpr double kStarX = 700.4, kStarY = 500.7;
constexpr double kBroadX = 300.2, kBroadY = 800.9;

// Sky of about 1000 counts with noise and a few hundred stars of FWHM 3,
// one of them at (kStarX, kStarY), and one of FWHM 16 at (kBroadX,
// kBroadY); drawn with automatic levels.
struct Bench {
  std::unique_ptr<testing::World> w = testing::make_world();
  std::shared_ptr<ViewerPlace> place = std::make_shared<ViewerPlace>();
  std::unique_ptr<Form13> form;

  Bench() {
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0, 20);
    Frame& light = w->f.light;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        light.counts.at(x, y) = static_cast<std::int32_t>(1000 + noise(random));
    std::uniform_real_distribution<double> px(10, kWidth - 10), py(10, kHeight - 10), peak(500, 30000);
    const auto star = [&](double cx, double cy, double amplitude, double fwhm) {
      const double sigma = fwhm / 2.3548;
      const int reach = static_cast<int>(4 * sigma) + 1;
      for (int y = static_cast<int>(cy) - reach; y <= static_cast<int>(cy) + reach; ++y)
        for (int x = static_cast<int>(cx) - reach; x <= static_cast<int>(cx) + reach; ++x) {
          if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) continue;
          const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
          light.counts.at(x, y) += static_cast<std::int32_t>(amplitude * std::exp(-r2 / (2 * sigma * sigma)));
        }
    };
    for (int s = 0; s < 300; ++s) star(px(random), py(random), peak(random), 3);
    star(kStarX, kStarY, 20000, 3);
    star(kBroadX, kBroadY, 2000, 16);  // far out of focus
    light.width = kWidth;
    light.height = kHeight;
    light.max = 65535;
    light.min = 0;
    w->p.display.image_menu_display_auto_Click();
    form = std::make_unique<Form13>(w->p.display.state(), nullptr, place);
    form->show();
    QApplication::processEvents();
  }
  // The zoom: step 0 = 100 %, 3 = 800 %, anything else fits; centred on the star.
  void zoom(int step) {
    ZoomView& v = place->view;
    if (step < kMinZoomStep || step > kMaxZoomStep) {
      v.fit();
    } else {
      v.set_step(step, {0, 0});
      const double z = v.zoom();
      v.scroll_to(static_cast<int>(kStarX * z) - v.viewport_width() / 2,
                  static_cast<int>(kStarY * z) - v.viewport_height() / 2);
    }
    form->picture()->view_changed();
  }
};

// Made at its first use and gone before the application object.
std::unique_ptr<Bench> the_bench;
Bench& bench() {
  if (!the_bench) the_bench = std::make_unique<Bench>();
  return *the_bench;
}

void repaint_at(benchmark::State& state, int step) {
  Bench& b = bench();
  b.zoom(step);
  for (auto _ : state) b.form->picture()->viewport()->repaint();
}
void BM_RepaintFit(benchmark::State& state) { repaint_at(state, 99); }
void BM_Repaint100(benchmark::State& state) { repaint_at(state, 0); }
void BM_Repaint800(benchmark::State& state) { repaint_at(state, 3); }

void BM_MapNewFrame(benchmark::State& state) {
  Bench& b = bench();
  for (auto _ : state) {
    redraw_light_frame(b.w->p.display.shown(), b.w->ui);  // the main window's drawing
    b.form->picture_changed();                            // the viewer maps it again
  }
}

void BM_MeasureStar(benchmark::State& state) {
  const Frame& light = bench().w->f.light;
  for (auto _ : state) {
    const StarMeasurement s = measure_star(light.counts, kWidth, kHeight, kStarX + 3, kStarY - 2);
    benchmark::DoNotOptimize(s);
  }
}

void BM_MeasureBroadStar(benchmark::State& state) {
  const Frame& light = bench().w->f.light;
  for (auto _ : state) {
    const StarMeasurement s = measure_star(light.counts, kWidth, kHeight, kBroadX, kBroadY);
    benchmark::DoNotOptimize(s);
  }
}

BENCHMARK(BM_RepaintFit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Repaint100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Repaint800)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MapNewFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeasureStar)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeasureBroadStar)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace stellacq

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  stellacq::GoalReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  bool all_met =
      stellacq::print_cpu_goals(reporter, {
                                              {"BM_RepaintFit", "repaint of the visible area, fit", 10},
                                              {"BM_Repaint100", "repaint of the visible area, 100 %", 10},
                                              {"BM_Repaint800", "repaint of the visible area, 800 %", 10},
                                              {"BM_MapNewFrame", "new frame: main drawing + grey map", 0},
                                              {"BM_MeasureStar", "star measurement, FWHM 3", 2},
                                              {"BM_MeasureBroadStar", "star measurement, FWHM 16", 2},
                                          });
  const stellacq::Frame& light = stellacq::bench().w->f.light;
  for (const auto& [x, y] :
       {std::pair(stellacq::kStarX, stellacq::kStarY), std::pair(stellacq::kBroadX, stellacq::kBroadY)})
    std::printf(
        "measured near %.1f %.1f: %s\n", x, y,
        stellacq::star_text(stellacq::measure_star(light.counts, stellacq::kWidth, stellacq::kHeight, x, y))
            .c_str());
  const stellacq::GreyFrame& grey = stellacq::bench().form->grey();
  const double held = static_cast<double>(grey.grey.capacity());
  const double one_copy = static_cast<double>(stellacq::kWidth) * stellacq::kHeight;
  std::printf("%-40s %10.0f bytes, goal %.0f (one 8-bit copy) %s\n", "frame copies the viewer holds", held,
              one_copy, held <= one_copy ? "met" : "MISSED");
  all_met = all_met && held <= one_copy;
  std::printf("%s\n", all_met ? "all goals met" : "some goals missed");
  stellacq::the_bench.reset();
  return 0;
}
