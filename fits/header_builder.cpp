#include "fits/header_builder.h"

#include <string>

#include "core/numeric.h"
#include "fits/cards.h"
#include "program/program.h"

namespace stellacq {

namespace {

struct FrameSize {
  int width;
  int height;
};

// TX-11 (head 4) or TX-22 (anything else), without binning (1) or 2 x 2.
FrameSize frame_size_for(int head_model, int binning) {
  if (head_model == 4) return binning == 1 ? FrameSize{768, 512} : FrameSize{384, 256};
  return binning == 1 ? FrameSize{1536, 1024} : FrameSize{768, 512};
}

// The frame-kind values a header build sets.
struct KindValues {
  CardTable& table;
  double& bitpix;
  double& bzero;
  double& bscale;
  int& width;
  int& height;
};

void build_header(Program& p, KindValues kind) {
  // The writer stores counts 0..65535 as signed 16-bit numbers offset by
  // 32768, the standard unsigned 16-bit form; the header says so.
  kind.bitpix = 16;
  kind.bzero = 32768;
  kind.bscale = 1;

  CardTable& h = kind.table;
  h[1] = value_card("SIMPLE", "T");
  h[2] = integer_card("BITPIX", 16);
  h[3] = integer_card("NAXIS", 2);

  const FrameSize size = frame_size_for(p.settings.head_model, p.frames.binning);
  h[4] = integer_card("NAXIS1", size.width);
  h[5] = integer_card("NAXIS2", size.height);
  kind.width = size.width;
  kind.height = size.height;

  const LocalDateTime now = p.clock.local_now();
  p.headers.obs_date = date_text(now);  // YYYY-MM-DD: no two-digit year
  p.headers.obs_time = time_text(now);
  // The date string ends in column 22; the comment starts in column 32 as
  // on the UT card.
  h[6] = card_text("DATE-OBS= '" + p.headers.obs_date + "'         / DATE OF START (ASSUMES PC CLOCK)");
  // UT holds the PC's local time, as its comment says.
  h[7] = card_text("UT      = '" + p.headers.obs_time + "'           / TIME OF START (ASSUMES PC CLOCK)");
  h[8] = card_text("INSTRUME= 'KERNO TX-11'");
  h[9] = integer_card("BZERO", 32768);
  h[10] = integer_card("BSCALE", 1);

  p.headers.fits_exptime = numeric_value(p.form.Text5);
  h[11] = value_card("EXPTIME", fixed_number_text(p.headers.fits_exptime), " / EXPOSURE IN SECONDS");

  p.ui.yield();

  // The idle temperature text " --.-" reads as 0.
  p.headers.fits_temperature = numeric_value(p.form.Text4);
  h[12] =
      value_card("TEMPERAT", fixed_number_text(p.headers.fits_temperature), " / TEMPERATURE IN DEGREES C");

  h[13] = card_text(kLegacyComment);
  h[14] = card_text("END");
  for (int slot = 15; slot <= 36; ++slot) h[slot] = std::string(kCardLength, ' ');
}

}  // namespace

void make_light_header(Program& p) {
  build_header(p, {p.headers.light_header, p.headers.light_bitpix, p.headers.light_bzero,
                   p.headers.light_bscale, p.frames.image_width, p.frames.image_height});
}

void make_dark_header(Program& p) {
  build_header(p, {p.headers.dark_header, p.headers.dark_bitpix, p.headers.dark_bzero, p.headers.dark_bscale,
                   p.frames.dark_width, p.frames.dark_height});
}

}  // namespace stellacq
