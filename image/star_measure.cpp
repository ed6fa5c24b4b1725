// Star measurement; see star_measure.h.
//
// Finding: the sky and its noise come from a ring around the clicked pixel
// (median and median deviation, then the mean and deviation of what lies
// within three deviations of the median, so that stars in the ring do not
// count). A star is a local maximum of the 3 x 3 mean that stands out of
// that noise, with light in its neighbours.
//
// Measuring: the centroid and the width come from moments weighted by a
// Gaussian whose width is adjusted until it matches the star's (adaptive
// moments): for a Gaussian star of sigma s under a weight of sigma w the
// weighted second moment is 2 s^2 w^2 / (s^2 + w^2), which gives s back
// from any w; noise far from the star carries almost no weight. The
// half-flux radius comes from the growth curve of the background-subtracted
// light, each pixel spread over its square (5 x 5 sub-pixels for a small
// star); the spreading widens the star by nearly 1/12 pixel^2 of variance on
// each axis, which is taken out again.
#include "image/star_measure.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace stellacq {

namespace {

constexpr double kSigmaToFwhm = 2.3548200450309493;  // 2 sqrt(2 ln 2)
constexpr double kDetectSigmas = 5;                  // of the noise of a 3 x 3 mean
constexpr double kMinRing = 12;                      // inner ring radius, pixels
constexpr double kRingWidth = 8;
constexpr double kMaxSigma = 20;     // broader light is not taken for a star
constexpr double kGrowthBin = 0.02;  // pixels

struct Counts {
  const FrameBuffer& buffer;
  int width, height;
  bool inside(int x, int y) const { return x >= 0 && x < width && y >= 0 && y < height; }
  double at(int x, int y) const { return buffer.at(x, y); }
};

// Pixel columns or rows within `radius` of `centre`, held inside 0..size-1.
struct Span {
  int lo, hi;
};
Span span_around(double centre, double radius, int size) {
  return {std::max(0, static_cast<int>(std::floor(centre - radius))),
          std::min(size - 1, static_cast<int>(std::ceil(centre + radius)))};
}

struct Sky {
  double background = 0;
  double noise = 0;
  bool known = false;
};

double median(std::vector<double>& values) {
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// The sky between radii `inner` and `outer` around (cx, cy).
Sky ring_sky(const Counts& c, double cx, double cy, double inner, double outer) {
  std::vector<double> values;
  const Span xs = span_around(cx, outer, c.width), ys = span_around(cy, outer, c.height);
  for (int y = ys.lo; y <= ys.hi; ++y)
    for (int x = xs.lo; x <= xs.hi; ++x) {
      const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
      if (r2 >= inner * inner && r2 <= outer * outer) values.push_back(c.at(x, y));
    }
  Sky sky;
  if (values.size() < 16) return sky;
  const double centre = median(values);
  std::vector<double> deviations(values.size());
  std::transform(values.begin(), values.end(), deviations.begin(),
                 [centre](double v) { return std::abs(v - centre); });
  const double spread = 1.4826 * median(deviations);
  double sum = 0, sum2 = 0;
  int n = 0;
  for (const double v : values)
    if (std::abs(v - centre) <= 3 * spread) {
      sum += v;
      sum2 += v * v;
      ++n;
    }
  sky.background = sum / n;
  // Counts are whole numbers: their rounding alone is a noise of 1/sqrt(12).
  sky.noise =
      std::max(std::sqrt(std::max(0.0, sum2 / n - sky.background * sky.background)), 1 / std::sqrt(12.0));
  sky.known = true;
  return sky;
}

double mean3(const Counts& c, int x, int y) {
  double sum = 0;
  int n = 0;
  for (int v = y - 1; v <= y + 1; ++v)
    for (int u = x - 1; u <= x + 1; ++u)
      if (c.inside(u, v)) {
        sum += c.at(u, v);
        ++n;
      }
  return sum / n;
}

struct Candidate {
  int x = 0, y = 0;
  bool found = false;
};

// The star nearest (x, y) in the search box: a local maximum of the 3 x 3
// mean standing out of the noise, with at least three neighbours lit.
Candidate find_candidate(const Counts& c, double x, double y, const Sky& sky) {
  constexpr int kHalf = kStarSearchBox / 2;
  const int cx = static_cast<int>(std::floor(x + 0.5)), cy = static_cast<int>(std::floor(y + 0.5));
  const double threshold = sky.background + kDetectSigmas * sky.noise / 3;
  const double lit = sky.background + 2 * sky.noise;
  Candidate best;
  double best_distance = 0, best_mean = 0;
  for (int j = std::max(0, cy - kHalf); j <= std::min(c.height - 1, cy + kHalf); ++j)
    for (int i = std::max(0, cx - kHalf); i <= std::min(c.width - 1, cx + kHalf); ++i) {
      const double m = mean3(c, i, j);
      if (m <= threshold) continue;
      bool peak = true;
      int lit_pixels = 0;
      for (int v = j - 1; v <= j + 1 && peak; ++v)
        for (int u = i - 1; u <= i + 1; ++u) {
          if (!c.inside(u, v)) continue;
          if (c.at(u, v) > lit) ++lit_pixels;
          if ((u != i || v != j) && mean3(c, u, v) > m) {
            peak = false;
            break;
          }
        }
      if (!peak || lit_pixels < 4) continue;
      const double distance = (i - x) * (i - x) + (j - y) * (j - y);
      if (!best.found || distance < best_distance || (distance == best_distance && m > best_mean)) {
        best = {i, j, true};
        best_distance = distance;
        best_mean = m;
      }
    }
  return best;
}

struct Moments {
  double x = 0, y = 0, sigma = 0;
  bool converged = false;
};

// Adaptive Gaussian-weighted moments from (x, y), within `radius`.
Moments adaptive_moments(const Counts& c, double x, double y, double background, double radius) {
  Moments m{x, y, 1.5, false};
  for (int iteration = 0; iteration < 100; ++iteration) {
    const double window = std::min(radius, 5 * m.sigma + 1);
    const Span xs = span_around(m.x, window, c.width), ys = span_around(m.y, window, c.height);
    const double a = 1 / (2 * m.sigma * m.sigma);
    double s0 = 0, sx = 0, sy = 0, srr = 0;
    for (int v = ys.lo; v <= ys.hi; ++v)
      for (int u = xs.lo; u <= xs.hi; ++u) {
        const double dx = u - m.x, dy = v - m.y, r2 = dx * dx + dy * dy;
        if (r2 > window * window) continue;
        const double wd = std::exp(-a * r2) * (c.at(u, v) - background);
        s0 += wd;
        sx += wd * dx;
        sy += wd * dy;
        srr += wd * r2;
      }
    if (!(s0 > 0)) return m;
    const double mx = sx / s0, my = sy / s0;
    const double second = srr / s0 - (mx * mx + my * my);
    if (!(second > 0)) return m;
    const double inverse = 2 / second - 1 / (m.sigma * m.sigma);
    if (!(inverse > 1 / (kMaxSigma * kMaxSigma))) return m;
    const double sigma = std::max(0.25, 1 / std::sqrt(inverse));
    // A step is held to a pixel so that noise cannot throw the search away.
    m.x += std::clamp(mx, -1.0, 1.0);
    m.y += std::clamp(my, -1.0, 1.0);
    const bool settled = std::abs(sigma - m.sigma) < 1e-5 * m.sigma && mx * mx + my * my < 1e-10;
    m.sigma = sigma;
    if (settled) {
      m.converged = true;
      return m;
    }
  }
  m.converged = true;  // slow but bounded: the last estimate stands
  return m;
}

struct Growth {
  double flux = 0, hfr = 0, area = 0;
  std::int32_t peak = 0;
};

// Light within `radius` of (x, y) above the background, and the radius of
// half of it.
Growth growth_curve(const Counts& c, double x, double y, double background, double radius,
                    double peak_radius) {
  Growth g;
  // Sub-pixels a side: fine for small stars, where they matter; a broad
  // star is long enough in radius for whole pixels.
  const int n = radius <= 8 ? 5 : radius <= 16 ? 3 : 1;
  const double sub_area = 1.0 / (n * n);
  std::vector<double> bins(static_cast<std::size_t>(radius / kGrowthBin) + 2, 0.0);
  const Span xs = span_around(x, radius + 1, c.width), ys = span_around(y, radius + 1, c.height);
  g.peak = std::numeric_limits<std::int32_t>::min();
  for (int v = ys.lo; v <= ys.hi; ++v)
    for (int u = xs.lo; u <= xs.hi; ++u) {
      const double share = (c.at(u, v) - background) * sub_area;
      if ((u - x) * (u - x) + (v - y) * (v - y) <= peak_radius * peak_radius)
        g.peak = std::max(g.peak, c.buffer.at(u, v));
      for (int sv = 0; sv < n; ++sv)
        for (int su = 0; su < n; ++su) {
          const double dx = u + (su + 0.5) / n - 0.5 - x;
          const double dy = v + (sv + 0.5) / n - 0.5 - y;
          const double r = std::sqrt(dx * dx + dy * dy);
          if (r > radius) continue;
          bins[static_cast<std::size_t>(r / kGrowthBin)] += share;
          g.flux += share;
          g.area += sub_area;
        }
    }
  if (!(g.flux > 0)) return g;
  double below = 0;
  for (std::size_t b = 0; b < bins.size(); ++b) {
    if (below + bins[b] >= g.flux / 2 && bins[b] > 0) {
      const double r = (static_cast<double>(b) + (g.flux / 2 - below) / bins[b]) * kGrowthBin;
      // Spreading over n x n points adds a variance of (n^2 - 1) / (12 n^2)
      // on each axis; a Gaussian's half-flux radius squared is 2 ln 2 times
      // its variance.
      const double spread = 2 * std::log(2.0) * (n * n - 1) / (12.0 * n * n);
      g.hfr = std::sqrt(std::max(r * r - spread, 0.0));
      break;
    }
    below += bins[b];
  }
  return g;
}

void append_fixed(std::string& text, const char* label, double value, int decimals) {
  char buffer[64];
  const auto end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals).ptr;
  text += label;
  text.append(buffer, end);
}

}  // namespace

StarMeasurement measure_star(const FrameBuffer& counts, int width, int height, double x, double y) {
  const Counts c{counts, std::clamp(width, 0, kFrameColumns), std::clamp(height, 0, kFrameRows)};
  StarMeasurement star;
  if (c.width <= 0 || c.height <= 0 || !std::isfinite(x) || !std::isfinite(y)) return star;
  const Sky around_click =
      ring_sky(c, std::floor(x + 0.5), std::floor(y + 0.5), kMinRing, kMinRing + kRingWidth);
  if (!around_click.known) return star;
  const Candidate candidate = find_candidate(c, x, y, around_click);
  if (!candidate.found) return star;

  // The ring moves out for broad stars until it holds no light of the star.
  double inner = kMinRing;
  Moments m;
  Sky sky;
  for (int pass = 0; pass < 3; ++pass) {
    sky = ring_sky(c, candidate.x, candidate.y, inner, inner + kRingWidth);
    if (!sky.known) return star;
    m = adaptive_moments(c, candidate.x, candidate.y, sky.background, inner - 1);
    if (!m.converged) return star;
    const double needed = std::ceil(2 * kSigmaToFwhm * m.sigma) + 4;
    if (needed <= inner) break;
    inner = needed;
  }
  const double fwhm = kSigmaToFwhm * m.sigma;
  if (std::hypot(m.x - candidate.x, m.y - candidate.y) > std::max(3.0, fwhm)) return star;

  const Growth g = growth_curve(c, m.x, m.y, sky.background, std::max(3.0, 2 * fwhm), std::max(2.0, fwhm));
  if (!(g.flux > 0) || !(g.hfr > 0)) return star;
  star.found = true;
  star.x = m.x;
  star.y = m.y;
  star.fwhm = fwhm;
  star.hfr = g.hfr;
  star.peak = g.peak;
  star.background = sky.background;
  star.noise = sky.noise;
  star.flux = g.flux;
  star.snr = g.flux / (sky.noise * std::sqrt(g.area));
  return star;
}

std::string star_text(const StarMeasurement& star) {
  if (!star.found) return kNoStarText;
  std::string text;
  append_fixed(text, "x ", star.x, 1);
  append_fixed(text, " y ", star.y, 1);
  append_fixed(text, " FWHM ", star.fwhm, 2);
  append_fixed(text, " px HFR ", star.hfr, 2);
  text += " px peak " + std::to_string(star.peak);
  append_fixed(text, " SNR ", star.snr, 0);
  return text;
}

}  // namespace stellacq
