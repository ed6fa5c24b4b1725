// A downloaded frame as the FITS file the driver sends to its clients and
// saves on the server's disk: the header cards that describe the exposure
// and the file bytes written by the program's own FITS writer.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "fits/header_tables.h"
#include "image/frames.h"

namespace stellacq::indi {

// What the client asked for; the unit knows light (shutter open) and dark
// (shutter closed) only: a bias is a dark of the shortest time, a flat a light.
enum class FrameType { Light, Bias, Dark, Flat };

// The exposure the unit takes for a requested time: the nearest whole second
// (halves to even), at least one second.
int exposure_seconds(double requested_seconds);

struct FrameDescription {
  FrameType type = FrameType::Light;
  int seconds = 1;  // what was taken
  int binning = 1;  // 1 or 2, the same on both axes
  int width = 0;    // of the downloaded frame
  int height = 0;
  std::optional<double> ccd_temp_c;  // the last reading before the exposure
  double pixel_um = 9.0;             // of the unbinned head
  std::string head_name;             // "TX-22"
  std::time_t start_utc = 0;         // when the exposure began
  // Where the frame lies on the binned chip: its top left pixel, 0-based
  // (a subframe starts elsewhere than 0, 0).
  int origin_x = 0;
  int origin_y = 0;
  // Cards from INDI's standard inputs (telescope, observer, object, mount
  // position, world coordinates), as libindi's camera base class writes
  // them; those whose keyword the cards above already have are left out.
  std::vector<std::string> indi_cards;
};

// A subframe of the binned chip: top left pixel and size, 0-based.
struct Subframe {
  int x = 0, y = 0, width = 0, height = 0;
};

// The part of the binned chip a request in unbinned chip pixels (INDI's
// CCD_FRAME: x, y, width, height) covers at `binning`, within the binned
// chip of `chip_width` x `chip_height` and at least one pixel each way.
Subframe binned_subframe(int x, int y, int width, int height, int binning, int chip_width, int chip_height);

// Moves the subframe `part` of a downloaded frame to the top left of
// `counts`, where the writers read a frame of part.width x part.height.
void cut_subframe(FrameBuffer& counts, const Subframe& part);

// The header cards, slots 1 onwards, END last (structure cards included;
// the writer puts its own BZERO and BSCALE in).
CardTable frame_cards(const FrameDescription& frame);

// Writes `counts` as a FITS file at `path` (replaced durably when `flush` is
// on). Empty text on success, else why it failed.
std::string write_frame_file(const std::string& path, const FrameDescription& frame,
                             const FrameBuffer& counts, bool flush);

// The file bytes of the frame in `bytes`, the same bytes write_frame_file
// writes. Empty text on success, else why it failed.
std::string frame_file_bytes(const FrameDescription& frame, const FrameBuffer& counts,
                             std::vector<std::uint8_t>& bytes);

// The FITS file `fits` tile-compressed as fpack does it by default (Rice,
// lossless for integer data), an empty primary HDU and the image in the
// first extension: the ".fits.fz" a client gets from libindi when it asks
// for compression. Empty text on success, else why it failed.
std::string compress_fits(const std::vector<std::uint8_t>& fits, std::vector<std::uint8_t>& compressed);

}  // namespace stellacq::indi
