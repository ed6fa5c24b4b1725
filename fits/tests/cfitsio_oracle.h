// cfitsio as the outside judge: reads what our writer wrote and writes files
// our reader must understand.
#pragma once

#include <fitsio.h>

#include <cstdio>
#include <string>
#include <vector>

namespace stellacq::testing {

struct CfitsioImage {
  int status = 0;
  int bitpix = 0;
  int equivalent_bitpix = 0;  // USHORT_IMG for unsigned 16-bit
  long width = 0, height = 0;
  std::vector<long long> values;  // with BZERO and BSCALE applied
};

inline CfitsioImage cfitsio_read(const std::string& path) {
  CfitsioImage image;
  fitsfile* f = nullptr;
  if (fits_open_file(&f, path.c_str(), READONLY, &image.status)) return image;
  int naxis = 0;
  long axes[3] = {0, 0, 0};
  fits_get_img_param(f, 3, &image.bitpix, &naxis, axes, &image.status);
  fits_get_img_equivtype(f, &image.equivalent_bitpix, &image.status);
  image.width = axes[0];
  image.height = axes[1];
  image.values.resize(static_cast<std::size_t>(image.width * image.height));
  long first[3] = {1, 1, 1};
  fits_read_pix(f, TLONGLONG, first, static_cast<LONGLONG>(image.values.size()), nullptr, image.values.data(),
                nullptr, &image.status);
  int close_status = 0;
  fits_close_file(f, &close_status);
  return image;
}

// Runs fitsverify and returns its one-line summary.
inline std::string fitsverify_summary(const std::string& path) {
  std::string command = "/usr/bin/fitsverify -q '" + path + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "no fitsverify";
  std::string out;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  pclose(pipe);
  return out;
}

}  // namespace stellacq::testing
