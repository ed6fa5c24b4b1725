// FITS writer and reader against cfitsio on a full 1536 x 1024 frame, side
// by side in one run, in CPU time (user and system: the kernel's copying into
// and out of the page cache counts, the waiting of a loaded machine does not).
//
// cfitsio gets its fastest form: the frame as unsigned 16-bit numbers
// (TUSHORT), which it stores with BZERO 32768 as we do. Both sides work
// under the same conditions, step by step:
//   encode       the whole file's bytes in memory (ours: fits_file_bytes;
//                cfitsio: a memory file), no file system at all;
//   write        a new file in the page cache, no flush (ours: write_fits_to
//                on a freshly created file; cfitsio: "!" creates it afresh);
//   read         the same file back from the page cache (ours: the reader
//                into the dark frame; cfitsio: open, read the image, close).
// Then our whole save without the flush (the durable replace over the old
// file through a temporary file and a rename) next to cfitsio's write, and
// one complete save_fits with the flush to the disk, as a user's save or a
// series frame does it (goal < 50 ms).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fitsio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/program_parts.h"
#include "core/durable_file.h"
#include "fits/file_operations.h"
#include "fits/header_builder.h"
#include "fits/reader.h"
#include "fits/writer.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

constexpr int kWidth = 1536;
constexpr int kHeight = 1024;

struct World : testing::World {
  std::vector<unsigned short> counts16;  // the same counts for cfitsio

  World() {
    p.settings.head_model = 16;
    p.frames.binning = 1;
    make_light_header(p.headers, p.shooting.record_start(p.frames.light));
    counts16.resize(static_cast<std::size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const int count = (x * 37 + y * 101) % 65536;
        p.frames.light.counts.at(x, y) = count;
        counts16[static_cast<std::size_t>(y) * kWidth + x] = static_cast<unsigned short>(count);
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

void check(int status, benchmark::State& state) {
  if (status) state.SkipWithError("cfitsio failed");
}

// cfitsio's image calls on an open file, as any program using it makes them.
void cfitsio_image(fitsfile* f, int& status) {
  long axes[2] = {kWidth, kHeight};
  fits_create_img(f, USHORT_IMG, 2, axes, &status);
  fits_write_img(f, TUSHORT, 1, static_cast<LONGLONG>(world().counts16.size()), world().counts16.data(),
                 &status);
}

void BM_EncodeOurs(benchmark::State& state) {
  World& w = world();
  for (auto _ : state) {
    auto bytes = fits_file_bytes(w.p.headers.light_header, w.p.frames.light);
    benchmark::DoNotOptimize(bytes->data());
  }
}

void BM_EncodeCfitsio(benchmark::State& state) {
  for (auto _ : state) {
    void* memory = nullptr;
    std::size_t size = 0;
    int status = 0;
    fitsfile* f = nullptr;
    fits_create_memfile(&f, &memory, &size, 0, std::realloc, &status);
    cfitsio_image(f, status);
    fits_close_file(f, &status);
    benchmark::DoNotOptimize(memory);
    std::free(memory);
    check(status, state);
  }
}

void BM_WriteOurs(benchmark::State& state) {
  World& w = world();
  const std::string path = scratch("ours.fit");
  for (auto _ : state) {
    ::unlink(path.c_str());  // as cfitsio's "!"
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || !write_fits_to(fd, w.p.headers.light_header, w.p.frames.light))
      state.SkipWithError("write failed");
    ::close(fd);
  }
}

void BM_WriteCfitsio(benchmark::State& state) {
  const std::string create = "!" + scratch("cfitsio.fit");  // "!" replaces an existing file
  for (auto _ : state) {
    int status = 0;
    fitsfile* f = nullptr;
    fits_create_file(&f, create.c_str(), &status);
    cfitsio_image(f, status);
    fits_close_file(f, &status);
    check(status, state);
  }
}

void BM_ReadOurs(benchmark::State& state) {
  World& w = world();
  const std::string path = scratch("read.fit");
  write_fits_file(path, w.p.headers.light_header, w.p.frames.light);
  for (auto _ : state)
    if (read_fits_frame(path, kOpenDark, w.p.headers, w.p.frames)) state.SkipWithError("load failed");
}

void BM_ReadCfitsio(benchmark::State& state) {
  World& w = world();
  const std::string path = scratch("read.fit");
  write_fits_file(path, w.p.headers.light_header, w.p.frames.light);
  std::vector<unsigned short> pixels(static_cast<std::size_t>(kWidth) * kHeight);
  for (auto _ : state) {
    int status = 0;
    fitsfile* f = nullptr;
    fits_open_file(&f, path.c_str(), READONLY, &status);
    fits_read_img(f, TUSHORT, 1, static_cast<LONGLONG>(pixels.size()), nullptr, pixels.data(), nullptr,
                  &status);
    fits_close_file(f, &status);
    check(status, state);
    benchmark::DoNotOptimize(pixels.data());
  }
}

// The whole durable save without the flush, over the file of the last one.
void BM_DurableSaveOurs(benchmark::State& state) {
  World& w = world();
  const std::string path = scratch("durable.fit");
  for (auto _ : state) {
    const WriteResult r =
        write_fits_file(path, w.p.headers.light_header, w.p.frames.light, WriteOptions{false});
    if (!r.ok) state.SkipWithError(r.reason.c_str());
  }
}

void BM_CompleteSaveWithFlush(benchmark::State& state) {
  World& w = world();
  w.p.file.file_mode = kSaveLight;
  w.p.file.save_file_name = scratch("saved.fit");
  for (auto _ : state)
    if (!save_fits(held_frames(w.p), w.p.file, status_line(w.p))) state.SkipWithError("save failed");
}

// Three repetitions each; the figures are their medians.
#define FITS_BENCHMARK(name) BENCHMARK(name)->Unit(benchmark::kMillisecond)->Repetitions(3)
FITS_BENCHMARK(BM_EncodeOurs);
FITS_BENCHMARK(BM_EncodeCfitsio);
FITS_BENCHMARK(BM_WriteOurs);
FITS_BENCHMARK(BM_WriteCfitsio);
FITS_BENCHMARK(BM_ReadOurs);
FITS_BENCHMARK(BM_ReadCfitsio);
FITS_BENCHMARK(BM_DurableSaveOurs);
FITS_BENCHMARK(BM_CompleteSaveWithFlush)->Iterations(20);

// Keeps the median CPU and real time of each benchmark.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> cpu_ms, real_ms;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (!run.error_occurred && run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        cpu_ms[run.run_name.function_name] = run.GetAdjustedCPUTime();
        real_ms[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace
}  // namespace stellacq

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  stellacq::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& cpu = reporter.cpu_ms;
  auto& real = reporter.real_ms;
  std::printf("\n%-44s %9s %9s %7s %6s  (wall ms: ours, cfitsio)\n", "1536 x 1024, CPU ms (median of 3)",
              "ours", "cfitsio", "ratio", "goal");
  bool all_met = true;
  const auto row = [&](const char* what, const std::string& ours, const std::string& theirs) {
    if (!cpu.count(ours) || !cpu.count(theirs) || cpu[theirs] <= 0) return;
    const double ratio = cpu[ours] / cpu[theirs];
    const bool met = ratio <= 1.0;
    all_met = all_met && met;
    std::printf("%-44s %9.2f %9.2f %7.2f %6s  (%.2f, %.2f) %s\n", what, cpu[ours], cpu[theirs], ratio, "<= 1",
                real[ours], real[theirs], met ? "met" : "MISSED");
  };
  row("encode in memory", "BM_EncodeOurs", "BM_EncodeCfitsio");
  row("write a new file (page cache, no flush)", "BM_WriteOurs", "BM_WriteCfitsio");
  row("read the file (page cache)", "BM_ReadOurs", "BM_ReadCfitsio");
  if (cpu.count("BM_DurableSaveOurs") && cpu.count("BM_WriteCfitsio"))
    std::printf("%-44s %9.2f %9.2f %7.2f %6s  (%.2f, %.2f)\n", "durable replace, no flush (cfitsio: write)",
                cpu["BM_DurableSaveOurs"], cpu["BM_WriteCfitsio"],
                cpu["BM_DurableSaveOurs"] / cpu["BM_WriteCfitsio"], "-", real["BM_DurableSaveOurs"],
                real["BM_WriteCfitsio"]);
  const std::string complete = "BM_CompleteSaveWithFlush";
  if (real.count(complete)) {
    const bool met = real[complete] < 50;
    all_met = all_met && met;
    std::printf("%-44s %9.2f %9s %7s %6s  (wall %.2f ms, goal < 50 ms) %s\n", "complete save with flush",
                cpu[complete], "", "", "", real[complete], met ? "met" : "MISSED");
  }
  std::printf("%s\n", all_met ? "all goals met" : "some goals missed");
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(stellacq::scratch("x")).parent_path(), ignored);
  benchmark::Shutdown();
  return 0;
}
