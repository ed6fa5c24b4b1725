// Simulated sky seen through the camera: a deterministic star field around
// the telescope's pointing, blurred by the seeing, on a sky background, with
// the CCD's bias, read noise, dark current and hot pixels.
//
// The star field depends only on the pointing (right ascension and
// declination) and the seed, so moving the mount moves the stars across the
// frame and pointing back brings the same stars back to the same pixels.
// Orientation: the sky as it looks overhead, north up and east to the left:
// right ascension grows to the left (towards smaller x), declination
// upwards (towards smaller y). So a move west ("#:Mw#", move right) carries
// the stars to the left and a move north ("#:Mn#", move up) carries them
// down, and guiding corrects with both axes set to normal direction, as on
// a camera that sees the sky unmirrored. Values are ADU; one electron is one
// ADU.
#pragma once

#include <cstdint>
#include <vector>

namespace stellacq::sim {

struct SkyConditions {
  double seeing_fwhm_arcsec = 5.0;
  double sky_adu_per_s = 10.0;  // background of one full-resolution pixel
  double bias_adu = 1000.0;
  double read_noise_adu = 100.0;
  double dark_adu_per_s_at_20c = 1.0;  // dark current of one pixel at +20 C
  double dark_doubling_c = 6.0;        // dark current doubles every this many degrees
  double mag10_adu_per_s = 20000.0;    // total signal of a 10th-magnitude star
  double limiting_magnitude = 15.0;
  double stars_per_square_degree = 2500.0;
  int hot_pixels = 12;
  std::uint64_t seed = 20100501;
};

// What the camera does in one exposure.
struct ExposureSetup {
  int sensor_width = 1536;  // full-resolution pixels
  int sensor_height = 1024;
  int binning = 1;  // 1 or 2 (2 x 2, summed on the chip)
  double arcsec_per_pixel = 1.5;
  double seconds = 1.0;
  double ccd_temp_c = 20.0;
  bool dark = false;  // shutter closed: no sky, no stars
};

// A star as it falls on the full-resolution sensor.
struct StarImage {
  double x = 0, y = 0;   // centre, pixels (pixel centres at integer + 0.5)
  double adu_per_s = 0;  // total signal rate
};

class Sky {
 public:
  explicit Sky(const SkyConditions& conditions = {});

  void set_pointing(double ra_deg, double dec_deg);
  double ra_deg() const { return ra_deg_; }
  double dec_deg() const { return dec_deg_; }

  // Stars whose centre falls on the sensor of `setup`.
  std::vector<StarImage> stars_in_field(const ExposureSetup& setup) const;

  // Dark current of one full-resolution pixel at `ccd_temp_c`, ADU/s.
  double dark_rate(double ccd_temp_c) const;

  // Renders one exposure into `out`: (sensor_width / binning) x
  // (sensor_height / binning) values, row by row, each 0..65535. Successive
  // calls draw fresh noise; the sequence is the same for the same seed.
  void render(const ExposureSetup& setup, std::vector<std::uint16_t>& out);

 private:
  SkyConditions conditions_;
  double ra_deg_ = 83.82;  // default pointing: the Orion nebula region
  double dec_deg_ = -5.39;
  std::uint64_t exposures_ = 0;
  std::vector<float> signal_;  // full-resolution scratch, kept between calls
};

}  // namespace stellacq::sim
