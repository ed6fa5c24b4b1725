// Star field generation and exposure rendering of the simulated sky.
#include "sim/sky.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace stellacq::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr double kBandDeg = 0.1;  // height of one declination band of the star catalogue

std::uint64_t splitmix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Uniform in [0, 1).
double unit(std::uint64_t& state) {
  state = splitmix(state);
  return static_cast<double>(state >> 11) * (1.0 / 9007199254740992.0);
}

// Fast generator for per-pixel noise.
struct Xorshift {
  std::uint64_t s;
  std::uint64_t next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
  }
};

// Standard normal deviates by table look-up: 65536 quantiles of the normal
// distribution, picked by 16 random bits. Plenty for image noise and far
// cheaper than a transcendental function per pixel.
const std::array<float, 65536>& normal_table() {
  static const std::array<float, 65536> table = [] {
    std::array<float, 65536> t{};
    for (std::size_t i = 0; i < t.size(); ++i) {
      const double p = (static_cast<double>(i) + 0.5) / static_cast<double>(t.size());
      // Inverse of the normal distribution by Newton steps on erfc.
      double z = 0;
      for (int k = 0; k < 40; ++k) {
        const double cdf = 0.5 * std::erfc(-z / std::sqrt(2.0));
        const double pdf = std::exp(-0.5 * z * z) / std::sqrt(2.0 * kPi);
        const double step = (cdf - p) / std::max(pdf, 1e-300);
        z -= std::clamp(step, -1.0, 1.0);
        if (std::fabs(step) < 1e-12) break;
      }
      t[i] = static_cast<float>(z);
    }
    return t;
  }();
  return table;
}

// Fraction of a Gaussian of width sigma centred at c that falls in [a, b).
double gauss_fraction(double a, double b, double c, double sigma) {
  const double k = 1.0 / (sigma * std::sqrt(2.0));
  return 0.5 * (std::erf((b - c) * k) - std::erf((a - c) * k));
}

}  // namespace

Sky::Sky(const SkyConditions& conditions) : conditions_(conditions) {}

void Sky::set_pointing(double ra_deg, double dec_deg) {
  ra_deg_ = std::fmod(ra_deg, 360.0);
  if (ra_deg_ < 0) ra_deg_ += 360.0;
  dec_deg_ = std::clamp(dec_deg, -90.0, 90.0);
}

double Sky::dark_rate(double ccd_temp_c) const {
  return conditions_.dark_adu_per_s_at_20c * std::exp2((ccd_temp_c - 20.0) / conditions_.dark_doubling_c);
}

std::vector<StarImage> Sky::stars_in_field(const ExposureSetup& setup) const {
  std::vector<StarImage> stars;
  const double scale = setup.arcsec_per_pixel / 3600.0;  // degrees per pixel
  const double half_w = 0.5 * setup.sensor_width * scale;
  const double half_h = 0.5 * setup.sensor_height * scale;
  const double margin = kBandDeg;
  const double ra0 = ra_deg_ * kDeg;
  const double dec0 = dec_deg_ * kDeg;
  const double sin_d0 = std::sin(dec0), cos_d0 = std::cos(dec0);

  const double dec_lo = std::max(-90.0, dec_deg_ - half_h - margin);
  const double dec_hi = std::min(90.0, dec_deg_ + half_h + margin);
  const int band_lo = static_cast<int>(std::floor((dec_lo + 90.0) / kBandDeg));
  const int band_hi = std::min(static_cast<int>(std::floor((dec_hi + 90.0) / kBandDeg)),
                               static_cast<int>(180.0 / kBandDeg) - 1);
  const double mean_per_cell = conditions_.stars_per_square_degree * kBandDeg * kBandDeg;

  for (int band = band_lo; band <= band_hi; ++band) {
    const double band_dec = -90.0 + (band + 0.5) * kBandDeg;
    const double cos_band = std::max(std::cos(band_dec * kDeg), 1e-3);
    const int cells = std::max(1, static_cast<int>(std::floor(360.0 * cos_band / kBandDeg)));
    const double cell_w = 360.0 / cells;
    // Right-ascension reach of the field in this band (wide near the pole).
    const double nearest_dec = std::clamp(dec_deg_, band_dec - kBandDeg, band_dec + kBandDeg);
    const double cos_near = std::cos(std::min(89.9, std::fabs(nearest_dec) + half_h + margin) * kDeg);
    const double reach = std::min(180.0, (half_w + margin) / std::max(cos_near, 1e-3));
    const int first = static_cast<int>(std::floor((ra_deg_ - reach) / cell_w));
    const int last = static_cast<int>(std::floor((ra_deg_ + reach) / cell_w));
    const int count = std::min(last - first, cells - 1);
    for (int k = first; k <= first + count; ++k) {
      const int cell = ((k % cells) + cells) % cells;
      std::uint64_t state = splitmix(conditions_.seed ^ (static_cast<std::uint64_t>(band) << 32) ^
                                     static_cast<std::uint64_t>(cell));
      const int n = static_cast<int>(unit(state) * (2.0 * mean_per_cell + 1.0));
      for (int s = 0; s < n; ++s) {
        const double ra = (cell + unit(state)) * cell_w * kDeg;
        const double dec = (-90.0 + (band + unit(state)) * kBandDeg) * kDeg;
        // Brighter stars are rarer: N(< m) grows as 10^(0.3 m).
        const double u = std::max(unit(state), 1e-12);
        const double mag = std::max(5.0, conditions_.limiting_magnitude + std::log10(u) / 0.3);
        // Gnomonic projection onto the plane of the sensor.
        const double dra = ra - ra0;
        const double cos_c = sin_d0 * std::sin(dec) + cos_d0 * std::cos(dec) * std::cos(dra);
        if (cos_c <= 0.1) continue;
        const double xi = std::cos(dec) * std::sin(dra) / cos_c / kDeg;
        const double eta = (cos_d0 * std::sin(dec) - sin_d0 * std::cos(dec) * std::cos(dra)) / cos_c / kDeg;
        StarImage star;
        star.x = 0.5 * setup.sensor_width - xi / scale;  // east to the left
        star.y = 0.5 * setup.sensor_height - eta / scale;
        if (star.x < 0 || star.y < 0 || star.x >= setup.sensor_width || star.y >= setup.sensor_height)
          continue;
        star.adu_per_s = conditions_.mag10_adu_per_s * std::pow(10.0, -0.4 * (mag - 10.0));
        stars.push_back(star);
      }
    }
  }
  return stars;
}

void Sky::render(const ExposureSetup& setup, std::vector<std::uint16_t>& out) {
  const int w = std::max(1, setup.sensor_width);
  const int h = std::max(1, setup.sensor_height);
  const int bin = setup.binning == 2 ? 2 : 1;
  const double t = std::max(0.0, setup.seconds);

  // Mean charge of every full-resolution pixel.
  const double base = dark_rate(setup.ccd_temp_c) * t + (setup.dark ? 0.0 : conditions_.sky_adu_per_s * t);
  signal_.assign(static_cast<std::size_t>(w) * h, static_cast<float>(base));

  if (!setup.dark) {
    const double sigma = std::max(0.2, conditions_.seeing_fwhm_arcsec / 2.3548 / setup.arcsec_per_pixel);
    const int radius = static_cast<int>(std::ceil(4.0 * sigma)) + 1;
    std::vector<double> wx(2 * radius + 1), wy(2 * radius + 1);
    for (const StarImage& star : stars_in_field(setup)) {
      const int cx = static_cast<int>(star.x), cy = static_cast<int>(star.y);
      for (int i = -radius; i <= radius; ++i) {
        wx[i + radius] = gauss_fraction(cx + i, cx + i + 1, star.x, sigma);
        wy[i + radius] = gauss_fraction(cy + i, cy + i + 1, star.y, sigma);
      }
      const double total = star.adu_per_s * t;
      for (int j = -radius; j <= radius; ++j) {
        const int y = cy + j;
        if (y < 0 || y >= h) continue;
        float* row = signal_.data() + static_cast<std::size_t>(y) * w;
        const double fy = total * wy[j + radius];
        for (int i = -radius; i <= radius; ++i) {
          const int x = cx + i;
          if (x < 0 || x >= w) continue;
          row[x] += static_cast<float>(fy * wx[i + radius]);
        }
      }
    }
  }

  // Hot pixels: fixed sites of the chip with a high dark current.
  std::uint64_t hot = splitmix(conditions_.seed ^ 0x484F54ull);
  for (int i = 0; i < conditions_.hot_pixels; ++i) {
    const int x = static_cast<int>(unit(hot) * w);
    const int y = static_cast<int>(unit(hot) * h);
    const double rate = 20.0 + 480.0 * unit(hot);
    signal_[static_cast<std::size_t>(y) * w + x] += static_cast<float>(rate * t);
  }

  // On-chip binning sums the charge of 2 x 2 pixels; the read adds bias and
  // read noise once per output pixel; shot noise follows the charge.
  const int ow = w / bin, oh = h / bin;
  out.resize(static_cast<std::size_t>(ow) * oh);
  const auto& normal = normal_table();
  Xorshift rng{splitmix(conditions_.seed + 0x51ED270Bull * ++exposures_) | 1};
  const float bias = static_cast<float>(conditions_.bias_adu);
  const float read_noise = static_cast<float>(conditions_.read_noise_adu);
  for (int y = 0; y < oh; ++y) {
    const float* r0 = signal_.data() + static_cast<std::size_t>(y * bin) * w;
    const float* r1 = signal_.data() + static_cast<std::size_t>(y * bin + bin - 1) * w;
    std::uint16_t* o = out.data() + static_cast<std::size_t>(y) * ow;
    for (int x = 0; x < ow; ++x) {
      float charge;
      if (bin == 1) {
        charge = r0[x];
      } else {
        charge = r0[2 * x] + r0[2 * x + 1] + r1[2 * x] + r1[2 * x + 1];
      }
      const std::uint64_t bits = rng.next();
      const float shot = normal[bits & 0xFFFF] * std::sqrt(std::max(charge, 0.0f));
      const float read = normal[(bits >> 16) & 0xFFFF] * read_noise;
      const float v = bias + charge + shot + read;
      o[x] = static_cast<std::uint16_t>(std::clamp(v + 0.5f, 0.0f, 65535.0f));
    }
  }
}

}  // namespace stellacq::sim
