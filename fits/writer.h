// The FITS writer: stores the light or the dark frame with its header cards.
//
// File layout: the header (the frame kind's card table through its END card,
// with the data-describing cards set to what is written) padded with blank
// cards to whole 2880-byte blocks, then the pixel rows, row 0 first, x
// fastest, each count clipped to 0..65535 and stored in the standard
// unsigned 16-bit form (BITPIX 16, BZERO 32768: the signed big-endian number
// count - 32768), padded with zero bytes to a whole 2880-byte block.
//
// The file is replaced through core/durable_file: written to a temporary
// file in the target's folder, flushed and renamed over the target, so the
// name never holds a half-written file, a longer old file leaves no stale
// bytes behind, a symbolic link is saved through and a write-protected file
// is refused. The header never exceeds the 144 cards the reader keeps, so
// every file written here loads back.
//
// save_fits reads file_mode and save_file_name (FileState), the card tables,
// frames and sizes; writes the status line (Form1 Text7) and, on failure, a
// message box.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/durable_file.h"
#include "fits/header_tables.h"

namespace stellacq {

struct Frame;

struct WriteOptions {
  // Off only for measuring the writer itself (the benchmark).
  bool flush_to_disk = true;
  // Off to write through a named temporary file (see core/durable_file.h).
  bool unnamed_temporary = true;
};

struct WriteResult {
  bool ok = false;
  std::string reason;      // why the file could not be written
  int left_out_cards = 0;  // cards of an over-full table that did not fit
  std::string path;        // the name written (write_new_fits_file)
  bool all_taken = false;  // every name of the list existed (write_new_fits_file)
};

// The cards written for a frame of width x height from `table`: slots 1..END;
// SIMPLE, BITPIX 16, NAXIS 2, NAXIS1, NAXIS2 first; BZERO 32768 and BSCALE 1
// in place (or before END when missing); higher axis cards dropped; END
// added when the table lacks it; characters outside printable ASCII blanked;
// at most 144 cards through END (blank, then commentary, then other cards
// left out from the end, their number in `left_out`); blank cards up to a
// multiple of 36.
std::vector<std::string> cards_for_write(const CardTable& table, int width, int height,
                                         int* left_out = nullptr);

// Writes one frame file as described above, of the frame's width (1..1537)
// and height (1..1025).
WriteResult write_fits_file(const std::string& path, const CardTable& table, const Frame& frame,
                            const WriteOptions& options = {});

// Writes one frame file, as above, as a new file under the first name of
// `names` that is free when the file is published (core/durable_file.h
// create_new_file): never over an existing file, also not one that another
// program created while this one was written.
WriteResult write_new_fits_file(const NameList& names, const CardTable& table, const Frame& frame,
                                const WriteOptions& options = {});

// Writes the bytes write_fits_file would write to an open descriptor at its
// position, without replacing or flushing anything (for a file the caller
// manages). False, with errno, on a failed write; false with EINVAL for a
// size out of range.
bool write_fits_to(int fd, const CardTable& table, const Frame& frame);

// The bytes write_fits_file would write, in memory (for a frame sent over a
// network rather than saved); nothing when the size is out of range.
std::optional<std::vector<std::uint8_t>> fits_file_bytes(const CardTable& table, const Frame& frame);

}  // namespace stellacq
