// Guide-star measurement; see measure.h.
//
// Every candidate box is summed from a table of running sums (64-bit) over
// the part of the frame that the candidates' boxes can reach, so one box
// costs four look-ups whatever the aperture. Candidates are visited row by
// row for the sake of the cache; the tie rule of the column-by-column search
// (smallest column, then smallest row) is kept by the comparison.
#include "guiding/measure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "core/numeric.h"

namespace stellacq {

namespace {

// An inclusive range of frame indices; empty when lo > hi.
struct Range {
  std::int64_t lo, hi;
  bool empty() const { return lo > hi; }
  std::int64_t size() const { return hi - lo + 1; }
};

Range inside(std::int64_t lo, std::int64_t hi, std::int64_t size) {
  return {std::max<std::int64_t>(lo, 0), std::min(hi, size - 1)};
}

// Running sums over the frame region `cols` x `rows`: entry (r, c) holds the
// sum of the region's first r rows and c columns.
class SummedArea {
 public:
  SummedArea(const FrameBuffer& frame, Range cols, Range rows)
      : cols_(cols),
        rows_(rows),
        stride_(static_cast<std::size_t>(cols.size()) + 1),
        table_(stride_ * (static_cast<std::size_t>(rows.size()) + 1), 0) {
    for (std::int64_t r = 0; r < rows.size(); ++r) {
      const std::int32_t* source = frame.row(static_cast<int>(rows.lo + r)) + cols.lo;
      const std::int64_t* above = line(r);
      std::int64_t* here = line(r + 1);
      std::int64_t run = 0;
      for (std::int64_t c = 0; c < cols.size(); ++c) {
        run += source[c];
        here[c + 1] = above[c + 1] + run;
      }
    }
  }

  // Sum over frame columns x0..x1 and rows y0..y1, held to the region.
  std::int64_t sum(std::int64_t x0, std::int64_t x1, std::int64_t y0, std::int64_t y1) const {
    x0 = std::max(x0, cols_.lo) - cols_.lo;
    x1 = std::min(x1, cols_.hi) - cols_.lo;
    y0 = std::max(y0, rows_.lo) - rows_.lo;
    y1 = std::min(y1, rows_.hi) - rows_.lo;
    if (x0 > x1 || y0 > y1) return 0;
    const std::int64_t* top = line(y0);
    const std::int64_t* bottom = line(y1 + 1);
    return bottom[x1 + 1] - bottom[x0] - top[x1 + 1] + top[x0];
  }

 private:
  std::int64_t* line(std::int64_t r) { return table_.data() + static_cast<std::size_t>(r) * stride_; }
  const std::int64_t* line(std::int64_t r) const {
    return table_.data() + static_cast<std::size_t>(r) * stride_;
  }

  Range cols_, rows_;
  std::size_t stride_;
  std::vector<std::int64_t> table_;
};

}  // namespace

double GuideMeasurement::ratio() const {
  if (!sky_known) return 0.0;
  if (sky_sum == 0.0) return star_sum > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return static_cast<double>(star_sum) / sky_sum;
}

bool GuideMeasurement::found(float threshold) const {
  return sky_known && static_cast<double>(threshold) < ratio();
}

GuideMeasurement measure_guide_star(const Frame& frame, int guide_x, int guide_y, int span, int aperture,
                                    int previous_x, int previous_y) {
  GuideMeasurement m;
  m.star_x = previous_x;
  m.star_y = previous_y;
  const std::int64_t w = std::clamp(frame.width, 0, kFrameColumns);
  const std::int64_t h = std::clamp(frame.height, 0, kFrameRows);
  const std::int64_t s = span;
  const std::int64_t a = aperture;

  // Candidate centres: the search window inside the frame. The window's
  // light outside the frame is 0, so its total is the sum over these.
  const Range ci = inside(std::int64_t{guide_x} - s, std::int64_t{guide_x} + s, w);
  const Range cj = inside(std::int64_t{guide_y} - s, std::int64_t{guide_y} + s, h);
  double total = 0.0;
  if (!ci.empty() && !cj.empty()) {
    const std::int64_t reach = std::max<std::int64_t>(a, 0);
    const SummedArea table(frame.counts, inside(ci.lo - reach, ci.hi + reach, w),
                           inside(cj.lo - reach, cj.hi + reach, h));
    total = static_cast<double>(table.sum(ci.lo, ci.hi, cj.lo, cj.hi));
    if (a >= 0) {
      std::int64_t best = 0;
      bool any = false;
      for (std::int64_t j = cj.lo; j <= cj.hi; ++j) {
        for (std::int64_t i = ci.lo; i <= ci.hi; ++i) {
          const std::int64_t v = table.sum(i - a, i + a, j - a, j + a);
          // Rows come in ascending order, so an equal sum further down wins
          // only from a smaller column.
          if (v > best || (any && v == best && i < m.star_x)) {
            best = v;
            any = true;
            m.star_x = static_cast<int>(i);
            m.star_y = static_cast<int>(j);
          }
        }
      }
      m.star_sum = best;
    }
  }

  // The sky is what the window holds inside the frame: the pixels the frame
  // cuts off hold no light, and counting them as sky would dim the sky of a
  // window at the edge and make a featureless frame look like a star.
  const double box_area = (2.0 * static_cast<double>(a) + 1.0) * (2.0 * static_cast<double>(a) + 1.0);
  const double window_area =
      ci.empty() || cj.empty() ? 0.0 : static_cast<double>(ci.size()) * static_cast<double>(cj.size());
  const double sky_area = window_area - box_area;
  m.sky_known = sky_area > 0.0;
  m.sky_sum = m.sky_known ? (total - static_cast<double>(m.star_sum)) * box_area / sky_area : 0.0;
  return m;
}

std::string ratio_text(double ratio) {
  if (std::isinf(ratio)) return ratio > 0 ? "∞" : "-∞";
  if (std::isnan(ratio)) return ".";
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.2f", ratio);
  std::string text(buffer);
  while (text.back() == '0') text.pop_back();  // "%.2f" always has a point
  const bool negative = text[0] == '-';
  std::string digits = negative ? text.substr(1) : text;
  if (digits.rfind("0.", 0) == 0) digits.erase(0, 1);
  if (digits == ".") return ".";  // no "-." for a ratio that rounds to 0
  return negative ? "-" + digits : digits;
}

std::string plain_text(double value, int significant_digits) {
  std::string text = decimal_text(value, significant_digits);
  if (!text.empty() && text[0] == ' ') text.erase(0, 1);
  return text;
}

int configured_span(const Settings& settings) {
  const double span = round_half_even(number_or_zero(settings.search_span));
  return static_cast<int>(std::clamp(span, static_cast<double>(std::numeric_limits<int>::min()),
                                     static_cast<double>(std::numeric_limits<int>::max())));
}

}  // namespace stellacq
