// Random and mutated FITS files through the reader, with a fixed seed: a
// refused load changes nothing; an accepted one leaves a consistent frame,
// header and extremes, and saves into a file that loads back the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "app/program_parts.h"
#include "core/numeric.h"
#include "fits/cards.h"
#include "fits/file_operations.h"
#include "fits/reader.h"
#include "fits/writer.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

using testing::pad;
using testing::ScratchDir;

constexpr int kIterations = 1000;
constexpr int kBand = 16;  // rows and columns compared on a refusal

std::string header_of(const std::vector<std::string>& cards) {
  std::string bytes;
  for (const std::string& c : cards) bytes += pad(c);
  return bytes + std::string((2880 - bytes.size() % 2880) % 2880, ' ');
}

// Valid files to start from: 8, 16 and 32 bits, scaled, a two-block header.
std::vector<std::string> seed_files() {
  std::vector<std::string> seeds;
  std::string data8(24, '\x07'), data16(48, '\x81'), data32(96, '\x01');
  seeds.push_back(header_of({"SIMPLE  = T", "BITPIX  = 8", "NAXIS1  = 6", "NAXIS2  = 4", "END"}) + data8);
  seeds.push_back(header_of({"SIMPLE  = T", "BITPIX  = 16", "NAXIS   = 2", "NAXIS1  = 6", "NAXIS2  = 4",
                             "BZERO   = 32768", "BSCALE  = 1", "END"}) +
                  data16);
  seeds.push_back(
      header_of({"BITPIX  = 32", "NAXIS1  = 4", "NAXIS2  = 6", "BSCALE  = 0.5", "BZERO   = -3", "END"}) +
      data32);
  std::vector<std::string> long_header = {"SIMPLE  = T", "BITPIX  = 16", "NAXIS1  = 3", "NAXIS2  = 2"};
  long_header.resize(40, "HISTORY filler");
  long_header.push_back("END");
  seeds.push_back(header_of(long_header) + std::string(12, '\x10'));
  return seeds;
}

std::string mutate(std::string file, std::mt19937& rng) {
  const auto pick = [&rng](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
  };
  static const char* const keys[] = {
      "BITPIX  =", "NAXIS1  =", "NAXIS2  =", "BZERO   =", "BSCALE  =", "END", "SIMPLE  =", "COMMENT"};
  static const char* const values[] = {" 8",    " 16",    " 32",     " -32", " 0",         " -1",   " 1537",
                                       " 1538", " 1e308", " -1e308", " nan", " 2.5",       " 1e-9", "",
                                       " 'x'",  " 1025",  " 1026",   " 64",  " 2147483647"};
  switch (pick(6)) {
    case 0:  // a few bytes changed
      for (std::size_t n = 1 + pick(8); n > 0 && !file.empty(); --n)
        file[pick(file.size())] = static_cast<char>(rng());
      break;
    case 1:  // cut short
      file.resize(pick(file.size() + 1));
      break;
    case 2: {  // one header card replaced
      const std::size_t cards = std::min<std::size_t>(file.size() / 80, 50);
      if (cards > 0) file.replace(pick(cards) * 80, 80, pad(std::string(keys[pick(8)]) + values[pick(19)]));
      break;
    }
    case 3: {  // one card inserted, shifting the rest
      const std::size_t at = pick(std::min<std::size_t>(file.size() / 80, 50) + 1) * 80;
      file.insert(std::min(at, file.size()), pad(std::string(keys[pick(8)]) + values[pick(19)]));
      break;
    }
    case 4:  // junk at the end
      for (std::size_t n = pick(3000); n > 0; --n) file += static_cast<char>(rng());
      break;
    default:  // nothing of a FITS file at all
      file.assign(pick(6000), ' ');
      for (char& c : file) c = static_cast<char>(rng());
  }
  return file;
}

// Everything a load may change, within the compared band of each buffer.
struct Snapshot {
  std::vector<std::int32_t> pixels, values;
  HeaderTables headers;
  auto fields() const {
    const HeaderTables& h = headers;
    return std::tie(pixels, values, h.light_header, h.dark_header, h.flat_header, h.light_bitpix,
                    h.light_bzero, h.light_bscale, h.dark_bitpix, h.dark_bzero, h.dark_bscale);
  }
  bool operator==(const Snapshot& o) const { return fields() == o.fields(); }
};

// Calls f(x, y) for every pixel of the band: the first rows whole, the
// first columns of the rows below.
template <typename F>
void for_band(F&& f) {
  for (int y = 0; y < kFrameRows; ++y)
    for (int x = 0; x < (y < kBand ? kFrameColumns : kBand); ++x) f(x, y);
}

// Fills `s` in place: its storage is kept from one load to the next.
void take_snapshot(const Program& p, Snapshot& s) {
  const Frames& f = p.frames;
  s.pixels.clear();
  for (const FrameBuffer* b : {&f.light.counts, &f.dark.counts, &f.flat.counts})
    for_band([&](int x, int y) { s.pixels.push_back(b->at(x, y)); });
  // clang-format off
  s.values = {f.light.width, f.light.height, f.dark.width, f.dark.height, f.light.max, f.light.min, f.dark.max,
              f.dark.min, f.flat.max, f.flat.min, f.flat_loaded, f.flat_mean, static_cast<int>(f.display_source),
              f.display_range, f.display_background};
  // clang-format on
  s.headers = p.headers;
}

// What an accepted load must leave: the size in range, extremes (and the
// flat mean) of the loaded region, the band outside it untouched, a header
// through END whose scaling cards say 0 and 1.
void check_accepted(const Program& p, const Snapshot& before, Snapshot& after, int target, int iteration) {
  const Frames& f = p.frames;
  const bool dark = target == kOpenDark;
  const int width = dark ? f.dark.width : f.light.width, height = dark ? f.dark.height : f.light.height;
  ASSERT_TRUE(width >= 1 && width <= kFrameColumns) << iteration << ": width " << width;
  ASSERT_TRUE(height >= 1 && height <= kFrameRows) << iteration << ": height " << height;
  const FrameBuffer& b = target == kOpenLight ? f.light.counts : dark ? f.dark.counts : f.flat.counts;
  std::int32_t high = INT32_MIN, low = INT32_MAX;
  double sum = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      high = std::max(high, b.at(x, y)), low = std::min(low, b.at(x, y)), sum += b.at(x, y);
    }
  const auto [max, min] = target == kOpenLight ? std::pair(f.light.max, f.light.min)
                          : dark               ? std::pair(f.dark.max, f.dark.min)
                                               : std::pair(f.flat.max, f.flat.min);
  // The running maximum starts at -1, so a frame of negative counts has -1.
  EXPECT_EQ(std::pair(max, min), std::pair(std::max(high, -1), low)) << iteration;
  EXPECT_TRUE(target != kOpenFlat || f.flat_mean == clamp_to_int32(round_half_even(sum / width / height)))
      << iteration << ": flat mean " << f.flat_mean;
  const int buffer = target == kOpenLight ? 0 : dark ? 1 : 2;
  take_snapshot(p, after);
  const std::size_t band = after.pixels.size() / 3;
  std::size_t i = band * buffer, changed_outside = 0;
  for_band([&](int x, int y) {
    changed_outside += (x >= width || y >= height) && after.pixels[i] != before.pixels[i];
    ++i;
  });
  EXPECT_EQ(changed_outside, 0u) << iteration;

  const CardTable& t = target == kOpenLight ? p.headers.light_header
                       : dark               ? p.headers.dark_header
                                            : p.headers.flat_header;
  int end = 1;
  while (end < kHeaderSlots && !is_end_card(t[end])) ++end;
  ASSERT_LT(end, kHeaderSlots) << iteration;
  for (int n = 1; n < end; ++n) {
    const std::string key = card_key(t[n]);
    const bool scaling = key == "BZERO   " || key == "BSCALE  ";
    EXPECT_TRUE(!scaling ||
                t[n] == integer_card(key == "BZERO   " ? "BZERO" : "BSCALE", key == "BZERO   " ? 0 : 1))
        << iteration;
  }
}

TEST(ReaderFuzz, RefusedLoadsChangeNothingAcceptedOnesAreConsistentAndSaveBack) {
  std::mt19937 rng(20260611);
  const std::vector<std::string> seeds = seed_files();
  ScratchDir dir;
  const std::string path = dir.file("fuzz.fit"), again = dir.file("again.fit");
  testing::World w, other;
  int accepted = 0;
  Snapshot before, after;
  for (int i = 0; i < kIterations; ++i) {
    std::string file = seeds[static_cast<std::size_t>(i) % seeds.size()];
    for (int n = 1 + i % 3; n > 0; --n) file = mutate(file, rng);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << file;
    const int target = (i / 4) % 3 * 10;  // light, dark, flat in turn
    take_snapshot(w.p, before);
    w.ui.boxes.clear();
    if (!load_fits(held_frames(w.p), w.p.ui, path, target)) {
      EXPECT_EQ(w.ui.boxes.size(), 1u) << i;
      take_snapshot(w.p, after);
      ASSERT_TRUE(after == before) << "refused load " << i << " changed the program";
      continue;
    }
    ++accepted;
    check_accepted(w.p, before, after, target, i);
    if (target == kOpenFlat) continue;
    // Whatever was loaded saves into a file that loads back the same counts.
    w.p.file = {target == kOpenLight ? kSaveLight : kSaveDark, again};
    ASSERT_TRUE(save_fits(held_frames(w.p), w.p.file, status_line(w.p), {false})) << i;
    ASSERT_TRUE(load_fits(held_frames(other.p), other.p.ui, again, target)) << i;
    const bool dark = target == kOpenDark;
    const FrameBuffer& a = dark ? w.p.frames.dark.counts : w.p.frames.light.counts;
    const FrameBuffer& b = dark ? other.p.frames.dark.counts : other.p.frames.light.counts;
    const auto [width, height] = dark ? std::pair(w.p.frames.dark.width, w.p.frames.dark.height)
                                      : std::pair(w.p.frames.light.width, w.p.frames.light.height);
    int mismatches = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) mismatches += std::clamp(a.at(x, y), 0, 65535) != b.at(x, y);
    EXPECT_EQ(mismatches, 0) << i;
  }
  // The mutations must leave enough files readable for the second oracle.
  EXPECT_GT(accepted, kIterations / 10);
  EXPECT_LT(accepted, kIterations * 9 / 10);
}

}  // namespace
}  // namespace stellacq
