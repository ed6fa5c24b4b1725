#include "indi/compressed_fits.h"

#include <fitsio.h>
#include <malloc.h>

#include <cstdlib>
#include <cstring>

namespace stellacq::indi {

namespace {

// cfitsio's memory files read back parts of a growing file they have not
// written yet; memory that comes to them zeroed reads as a disk file's
// unwritten end does. Every byte of the block past what the file held is
// kept zero.
void* zeroed_realloc(void* block, std::size_t size) {
  const std::size_t held = block ? malloc_usable_size(block) : 0;
  void* grown = std::realloc(block, size);
  if (grown) {
    const std::size_t usable = malloc_usable_size(grown);
    if (usable > held) std::memset(static_cast<char*>(grown) + held, 0, usable - held);
  }
  return grown;
}

}  // namespace

std::string compress_fits(const std::vector<std::uint8_t>& fits, std::vector<std::uint8_t>& compressed) {
  int status = 0;
  char reason[FLEN_STATUS] = "";
  // cfitsio reads the input in place and grows the output with realloc.
  void* in_memory = const_cast<std::uint8_t*>(fits.data());
  std::size_t in_size = fits.size();
  fitsfile* in = nullptr;
  if (fits_open_memfile(&in, "frame.fits", READONLY, &in_memory, &in_size, 0, nullptr, &status)) {
    fits_get_errstatus(status, reason);
    return std::string("the frame could not be read for compression: ") + reason;
  }
  void* out_memory = nullptr;
  std::size_t out_size = 0;
  fitsfile* out = nullptr;
  if (!fits_create_memfile(&out, &out_memory, &out_size, fits.size() / 2 + 2880, zeroed_realloc, &status)) {
    fits_set_compression_type(out, RICE_1, &status);
    fits_img_compress(in, out, &status);
    int closed = 0;
    fits_close_file(out, &closed);
    if (!status) status = closed;
  }
  int closed = 0;
  fits_close_file(in, &closed);
  // The memory block is larger than the file: the file ends where its image
  // extension does, as the finished header says.
  LONGLONG end = 0;
  if (!status) {
    fitsfile* packed = nullptr;
    if (!fits_open_memfile(&packed, "frame.fits.fz", READONLY, &out_memory, &out_size, 0, nullptr, &status)) {
      LONGLONG header_start = 0, data_start = 0;
      fits_movabs_hdu(packed, 2, nullptr, &status);
      fits_get_hduaddrll(packed, &header_start, &data_start, &end, &status);
      closed = 0;
      fits_close_file(packed, &closed);
    }
  }
  if (!status && end > 0 && static_cast<std::size_t>(end) <= out_size) {
    const auto* bytes = static_cast<const std::uint8_t*>(out_memory);
    compressed.assign(bytes, bytes + end);
  }
  std::free(out_memory);
  if (status) {
    fits_get_errstatus(status, reason);
    return std::string("the frame could not be compressed: ") + reason;
  }
  if (compressed.empty()) return "the frame could not be compressed";
  return {};
}

}  // namespace stellacq::indi
