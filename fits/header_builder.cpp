#include "fits/header_builder.h"

#include <string>

#include "camera/geometry.h"
#include "config/settings.h"
#include "fits/cards.h"

namespace stellacq {

namespace {

// The frame-kind values a header build sets.
struct KindValues {
  CardTable& table;
  double& bitpix;
  double& bzero;
  double& bscale;
  int& width;
  int& height;
};

void build_header(HeaderTables& headers, const Frame& values, KindValues kind) {
  // The writer stores counts 0..65535 as signed 16-bit numbers offset by
  // 32768, the standard unsigned 16-bit form; the header says so.
  kind.bitpix = 16;
  kind.bzero = 32768;
  kind.bscale = 1;

  CardTable& h = kind.table;
  h[1] = value_card("SIMPLE", "T");
  h[2] = integer_card("BITPIX", 16);
  h[3] = integer_card("NAXIS", 2);

  const FrameShape size = frame_shape(values.head_model, values.binning);
  h[4] = integer_card("NAXIS1", size.width);
  h[5] = integer_card("NAXIS2", size.height);
  kind.width = size.width;
  kind.height = size.height;

  headers.obs_date = date_text(values.start);  // YYYY-MM-DD: no two-digit year
  headers.obs_time = time_text(values.start);
  // The date string ends in column 22; the comment starts in column 32 as
  // on the UT card.
  h[6] = card_text("DATE-OBS= '" + headers.obs_date + "'         / DATE OF START (ASSUMES PC CLOCK)");
  // UT holds the PC's local time, as its comment says.
  h[7] = card_text("UT      = '" + headers.obs_time + "'           / TIME OF START (ASSUMES PC CLOCK)");
  h[8] = card_text("INSTRUME= 'KERNO TX-11'");
  h[9] = integer_card("BZERO", 32768);
  h[10] = integer_card("BSCALE", 1);

  headers.fits_exptime = values.seconds;
  h[11] = value_card("EXPTIME", fixed_number_text(headers.fits_exptime), " / EXPOSURE IN SECONDS");

  headers.fits_temperature = values.ccd_temp_c.value_or(0);
  h[12] = value_card("TEMPERAT", fixed_number_text(headers.fits_temperature), " / TEMPERATURE IN DEGREES C");

  h[13] = card_text(kLegacyComment);
  h[14] = card_text("END");
  for (int slot = 15; slot <= 36; ++slot) h[slot] = std::string(kCardLength, ' ');
}

}  // namespace

void make_light_header(HeaderTables& h, Frame& light) {
  light.kind = FrameKind::Light;
  build_header(h, light,
               {h.light_header, h.light_bitpix, h.light_bzero, h.light_bscale, light.width, light.height});
}

void make_dark_header(HeaderTables& h, Frame& dark) {
  dark.kind = FrameKind::Dark;
  build_header(h, dark, {h.dark_header, h.dark_bitpix, h.dark_bzero, h.dark_bscale, dark.width, dark.height});
}

}  // namespace stellacq
