#include "fits/header_builder.h"

#include <gtest/gtest.h>

#include <string>

#include "fits/cards.h"
#include "fits/tests/test_world.h"

namespace stellacq {
namespace {

using testing::World;

std::string pad(const std::string& s) { return s + std::string(80 - s.size(), ' '); }

class HeaderBuilderTest : public ::testing::Test {
 protected:
  HeaderBuilderTest() {
    w.clock.now_value = {2026, 12, 6, 21, 3, 9};
    w.p.settings.head_model = 16;
    w.p.frames.binning = 1;
    w.p.form.Text5 = "30";
    w.p.form.Text4 = "-10.5";
  }
  World w;
};

TEST_F(HeaderBuilderTest, LightHeaderCardsByteForByte) {
  make_light_header(w.p);
  const CardTable& h = w.p.headers.light_header;
  const std::string expected[] = {
      "",
      "SIMPLE  =                    T",
      "BITPIX  =                   16",
      "NAXIS   =                    2",
      "NAXIS1  =                 1536",
      "NAXIS2  =                 1024",
      "DATE-OBS= '2026-12-06'         / DATE OF START (ASSUMES PC CLOCK)",
      "UT      = '21:03:09'           / TIME OF START (ASSUMES PC CLOCK)",
      "INSTRUME= 'KERNO TX-11'",
      "BZERO   =                32768",
      "BSCALE  =                    1",
      "EXPTIME =                   30 / EXPOSURE IN SECONDS",
      "TEMPERAT=                -10.5 / TEMPERATURE IN DEGREES C",
      "COMMENT File created by the ASTRIDE software from T.Arven",
      "END",
  };
  for (int slot = 1; slot <= 14; ++slot) EXPECT_EQ(h[slot], pad(expected[slot])) << "slot " << slot;
  for (int slot = 15; slot <= 36; ++slot) EXPECT_EQ(h[slot], std::string(80, ' ')) << "slot " << slot;
  EXPECT_EQ(h[6].find('/'), 31u);  // comment in column 32
  EXPECT_EQ(h[7].find('/'), 31u);
  EXPECT_EQ(w.p.headers.obs_date, "2026-12-06");
  EXPECT_EQ(w.p.headers.obs_time, "21:03:09");
  EXPECT_EQ(w.p.headers.fits_exptime, 30);
  EXPECT_EQ(w.p.headers.fits_temperature, -10.5);
  EXPECT_EQ(w.p.headers.light_bitpix, 16);
  EXPECT_EQ(w.p.headers.light_bzero, 32768);
  EXPECT_EQ(w.p.headers.light_bscale, 1);
}

TEST_F(HeaderBuilderTest, SizesByHeadAndBinningGoToTheirOwnFrameKind) {
  struct Case {
    int head, binning;
    const char *naxis1, *naxis2;
    int width, height;
  };
  const Case cases[] = {
      {4, 1, "NAXIS1  =                  768", "NAXIS2  =                  512", 768, 512},
      {4, 2, "NAXIS1  =                  384", "NAXIS2  =                  256", 384, 256},
      {16, 1, "NAXIS1  =                 1536", "NAXIS2  =                 1024", 1536, 1024},
      {16, 2, "NAXIS1  =                  768", "NAXIS2  =                  512", 768, 512},
      {0, 2, "NAXIS1  =                  768", "NAXIS2  =                  512", 768, 512},
  };
  for (const Case& c : cases) {
    World fresh;
    fresh.p.settings.head_model = static_cast<std::int16_t>(c.head);
    fresh.p.frames.binning = c.binning;
    make_dark_header(fresh.p);
    EXPECT_EQ(fresh.p.headers.dark_header[4], pad(c.naxis1)) << c.head << "/" << c.binning;
    EXPECT_EQ(fresh.p.headers.dark_header[5], pad(c.naxis2));
    EXPECT_EQ(fresh.p.frames.dark_width, c.width);
    EXPECT_EQ(fresh.p.frames.dark_height, c.height);
    // The light side is untouched by a dark build.
    EXPECT_EQ(fresh.p.frames.image_width, 0);
    EXPECT_EQ(fresh.p.headers.light_header[1], "");
    EXPECT_EQ(fresh.p.headers.dark_header[8], pad("INSTRUME= 'KERNO TX-11'"));
  }
}

TEST_F(HeaderBuilderTest, NumberTextsEndInColumn30) {
  struct Case {
    const char* field;
    const char* exptime_card;
  };
  const Case cases[] = {
      {"30", "EXPTIME =                   30 / EXPOSURE IN SECONDS"},
      {" 0.5", "EXPTIME =                   .5 / EXPOSURE IN SECONDS"},
      {"abc", "EXPTIME =                    0 / EXPOSURE IN SECONDS"},
      {"-2.25s", "EXPTIME =                -2.25 / EXPOSURE IN SECONDS"},
      {"1e20", "EXPTIME =                1E+20 / EXPOSURE IN SECONDS"},
      {"0.123456789012345", "EXPTIME =     .123456789012345 / EXPOSURE IN SECONDS"},
      {"-0.0000123456789012345", "EXPTIME =-.0000123456789012345 / EXPOSURE IN SECONDS"},
      // 15 significant digits would need 22 columns: fewer digits are kept.
      {"-0.00000111111111111111", "EXPTIME =-.0000011111111111111 / EXPOSURE IN SECONDS"},
  };
  for (const Case& c : cases) {
    w.p.form.Text5 = c.field;
    make_light_header(w.p);
    EXPECT_EQ(w.p.headers.light_header[11], pad(c.exptime_card)) << c.field;
    EXPECT_EQ(w.p.headers.light_header[11].size(), 80u);
  }
}

TEST_F(HeaderBuilderTest, IdleTemperatureReadsZeroAndIsReadAfterTheYield) {
  w.p.form.Text4 = " --.-";
  make_light_header(w.p);
  EXPECT_EQ(w.p.headers.light_header[12], pad("TEMPERAT=                    0 / TEMPERATURE IN DEGREES C"));

  // A temperature shown during the one yield is the one recorded.
  int yields_seen = 0;
  w.ui.on_yield = [&] {
    ++yields_seen;
    w.p.form.Text4 = "-20";
  };
  make_light_header(w.p);
  EXPECT_EQ(yields_seen, 1);
  EXPECT_EQ(w.p.headers.fits_temperature, -20);
  EXPECT_EQ(w.p.headers.light_header[12], pad("TEMPERAT=                  -20 / TEMPERATURE IN DEGREES C"));
}

TEST_F(HeaderBuilderTest, KeepsSlotsBeyond36AndSlot0) {
  w.p.headers.light_header[0] = "zero";
  w.p.headers.light_header[37] = pad("HISTORY kept");
  w.p.headers.light_header[20] = pad("HISTORY gone");
  make_light_header(w.p);
  EXPECT_EQ(w.p.headers.light_header[0], "zero");
  EXPECT_EQ(w.p.headers.light_header[37], pad("HISTORY kept"));
  EXPECT_EQ(w.p.headers.light_header[20], std::string(80, ' '));
}

}  // namespace
}  // namespace stellacq
