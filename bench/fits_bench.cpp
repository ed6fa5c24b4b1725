// FITS writer and reader against cfitsio on a full 1536 x 1024 frame.
//
// Writes and reads the same frame with our code and with cfitsio in the same
// run, both without flushing to the disk, and prints our time over cfitsio's
// (below 1 means ours is faster). Then times one complete save_fits with the
// flush to the disk, as a user's save or a series frame does it.
#include <benchmark/benchmark.h>
#include <fitsio.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fits/file_operations.h"
#include "fits/header_builder.h"
#include "fits/reader.h"
#include "fits/writer.h"
#include "program/parts.h"
#include "program/program.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

constexpr int kWidth = 1536;
constexpr int kHeight = 1024;

struct World : testing::World {
  std::vector<int> contiguous;  // the same counts for cfitsio

  World() {
    p.settings.head_model = 16;
    p.frames.binning = 1;
    make_light_header(held_frames(p), header_values(p));
    contiguous.resize(static_cast<std::size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const int count = (x * 37 + y * 101) % 65536;
        p.frames.light_frame.at(x, y) = count;
        contiguous[static_cast<std::size_t>(y) * kWidth + x] = count;
      }
  }
};

World& world() {
  static World w;
  return w;
}

std::string scratch(const char* name) {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "fits_bench_XXXXXX").string();
    return std::string(mkdtemp(pattern.data()));
  }();
  return folder + "/" + name;
}

void cfitsio_write(const std::string& path) {
  int status = 0;
  fitsfile* f = nullptr;
  const std::string create = "!" + path;  // "!" replaces an existing file
  fits_create_file(&f, create.c_str(), &status);
  long axes[2] = {kWidth, kHeight};
  fits_create_img(f, USHORT_IMG, 2, axes, &status);
  fits_write_img(f, TINT, 1, static_cast<LONGLONG>(world().contiguous.size()), world().contiguous.data(),
                 &status);
  fits_close_file(f, &status);
  if (status) std::abort();
}

void BM_WriteOurs(benchmark::State& state) {
  World& w = world();
  const std::string path = scratch("ours.fit");
  for (auto _ : state) {
    const WriteResult r = write_fits_file(path, w.p.headers.light_header, w.p.frames.light_frame, kWidth,
                                          kHeight, WriteOptions{false});
    if (!r.ok) state.SkipWithError(r.reason.c_str());
  }
}

// The same write onto a name that does not exist yet: the difference to
// BM_WriteOurs is what replacing an existing file costs in the kernel.
void BM_WriteOursNewName(benchmark::State& state) {
  World& w = world();
  const std::string path = scratch("new.fit");
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(path);
    state.ResumeTiming();
    const WriteResult r = write_fits_file(path, w.p.headers.light_header, w.p.frames.light_frame, kWidth,
                                          kHeight, WriteOptions{false});
    if (!r.ok) state.SkipWithError(r.reason.c_str());
  }
}

void BM_WriteCfitsio(benchmark::State& state) {
  const std::string path = scratch("cfitsio.fit");
  for (auto _ : state) cfitsio_write(path);
}

void BM_ReadOurs(benchmark::State& state) {
  World& w = world();
  const std::string path = scratch("read.fit");
  write_fits_file(path, w.p.headers.light_header, w.p.frames.light_frame, kWidth, kHeight);
  for (auto _ : state)
    if (!load_fits(held_frames(w.p), w.p.ui, path, kOpenDark)) state.SkipWithError("load failed");
}

void BM_ReadCfitsio(benchmark::State& state) {
  World& w = world();
  const std::string path = scratch("read.fit");
  write_fits_file(path, w.p.headers.light_header, w.p.frames.light_frame, kWidth, kHeight);
  std::vector<int> pixels(static_cast<std::size_t>(kWidth) * kHeight);
  for (auto _ : state) {
    int status = 0;
    fitsfile* f = nullptr;
    fits_open_file(&f, path.c_str(), READONLY, &status);
    fits_read_img(f, TINT, 1, static_cast<LONGLONG>(pixels.size()), nullptr, pixels.data(), nullptr, &status);
    fits_close_file(f, &status);
    if (status) state.SkipWithError("cfitsio read failed");
    benchmark::DoNotOptimize(pixels.data());
  }
}

void BM_CompleteSaveWithFlush(benchmark::State& state) {
  World& w = world();
  w.p.file.file_mode = kSaveLight;
  w.p.file.save_file_name = scratch("saved.fit");
  for (auto _ : state)
    if (!save_fits(held_frames(w.p), w.p.file, status_line(w.p))) state.SkipWithError("save failed");
}

BENCHMARK(BM_WriteOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteOursNewName)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteCfitsio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadCfitsio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompleteSaveWithFlush)->Unit(benchmark::kMillisecond)->Iterations(20);

// Keeps the mean real time of each benchmark for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ms;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (!run.error_occurred) ms[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace
}  // namespace stellacq

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  stellacq::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& ms = reporter.ms;
  const auto ratio = [&](const char* ours, const char* theirs) {
    if (ms.count(ours) && ms.count(theirs) && ms[theirs] > 0)
      std::printf("%-32s ours / cfitsio = %.2f\n", ours, ms[ours] / ms[theirs]);
  };
  ratio("BM_WriteOurs", "BM_WriteCfitsio");
  ratio("BM_WriteOursNewName", "BM_WriteCfitsio");
  ratio("BM_ReadOurs", "BM_ReadCfitsio");
  if (ms.count("BM_CompleteSaveWithFlush/iterations:20"))
    std::printf("complete save with flush: %.1f ms (goal < 50 ms)\n",
                ms["BM_CompleteSaveWithFlush/iterations:20"]);
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(stellacq::scratch("x")).parent_path(), ignored);
  benchmark::Shutdown();
  return 0;
}
