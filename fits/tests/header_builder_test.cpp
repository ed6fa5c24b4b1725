#include "fits/header_builder.h"

#include <gtest/gtest.h>

#include "test_support/world.h"

namespace stellacq {
namespace {

using testing::pad;
using World = testing::World;

// The temperature recorded is the unit's reading taken by the tick that runs
// in the one yield, not what the temperature field's text says.
TEST(HeaderBuilder, LightHeaderByteForByteWithTheTemperatureReadAfterTheOneYield) {
  sim::ObservatoryOptions o = testing::SimWorld::default_options();
  o.unit.temperature_reply = "-105";
  testing::SimWorld w(o);
  w.p.connection.camera_menu_link_sumi_Click();
  w.clock.now_value = {2026, 12, 6, 21, 3, 9};
  w.p.settings.head_model = 16, w.p.frames.binning = 1;
  w.p.form.Text5 = "30";
  w.ui.yields = 0;
  w.ui.on_yield = [&] {  // read before / after
    w.p.connection.Timer1_Timer();
    w.p.form.Text4 = "25", w.p.form.Text5 = "99";
  };
  CardTable& h = w.p.headers.light_header;
  h[0] = "zero", h[20] = "HISTORY gone", h[37] = "HISTORY kept";
  make_light_header(w.p.headers, w.p.shooting.record_start(w.p.frames.light));
  // clang-format off
  const char* expected[] = {
      "SIMPLE  =                    T", "BITPIX  =                   16",
      "NAXIS   =                    2", "NAXIS1  =                 1536",
      "NAXIS2  =                 1024", "DATE-OBS= '2026-12-06'         / DATE OF START (ASSUMES PC CLOCK)",
      "UT      = '21:03:09'           / TIME OF START (ASSUMES PC CLOCK)", "INSTRUME= 'KERNO TX-11'",
      "BZERO   =                32768", "BSCALE  =                    1",
      "EXPTIME =                   30 / EXPOSURE IN SECONDS", "TEMPERAT=                -10.5 / TEMPERATURE IN DEGREES C",
      "COMMENT File created by the ASTRIDE software from T.Arven", "END",
  };
  // clang-format on

  for (int slot = 1; slot <= 36; ++slot)
    EXPECT_EQ(h[slot], pad(slot <= 14 ? expected[slot - 1] : "")) << slot;
  EXPECT_EQ(std::tie(h[0], h[37], w.ui.yields), std::tuple("zero", "HISTORY kept", 1));
  const HeaderTables& v = w.p.headers;
  EXPECT_EQ(std::tie(v.obs_date, v.obs_time), std::tuple("2026-12-06", "21:03:09"));
  EXPECT_EQ((std::vector{v.fits_exptime, v.fits_temperature, v.light_bitpix, v.light_bzero, v.light_bscale}),
            (std::vector<double>{30, -10.5, 16, 32768, 1}));
}

// The number ends in column 30, whatever the field holds; sizes by head and
// binning; a temperature never read is recorded as 0.
TEST(HeaderBuilder, DarkHeaderFieldsAndSizes) {
  struct Case {
    int head, binning, width, height;
    const char *field, *number;
  };
  const Case cases[] = {
      {4, 1, 768, 512, " --.-", " 0"},
      {16, 2, 768, 512, "-2.25s", "-2.25"},
      {0, 2, 768, 512, "1e20", " 1E+20"},
      // 15 significant digits would need 22 columns: fewer digits are kept.
      {16, 1, 1536, 1024, "-0.00000111111111111111", "-.0000011111111111111"},
  };
  for (const Case& c : cases) {
    World w;
    w.p.settings.head_model = static_cast<std::int16_t>(c.head), w.p.frames.binning = c.binning;
    w.p.form.Text5 = c.field;
    make_dark_header(w.p.headers, w.p.shooting.record_start(w.p.frames.dark));
    const auto value = [](std::string n) { return std::string(21 - n.size(), ' ') + n; };
    const CardTable& h = w.p.headers.dark_header;
    EXPECT_EQ(h[4], pad("NAXIS1  =" + value(std::to_string(c.width)))) << c.field;
    EXPECT_EQ(h[5], pad("NAXIS2  =" + value(std::to_string(c.height))));
    EXPECT_EQ(h[11], pad("EXPTIME =" + value(c.number) + " / EXPOSURE IN SECONDS"));
    EXPECT_EQ(h[12], pad("TEMPERAT=" + value(" 0") + " / TEMPERATURE IN DEGREES C"));  // never read
    EXPECT_EQ(std::tie(w.p.frames.dark.width, w.p.frames.dark.height), std::tie(c.width, c.height));
    EXPECT_EQ(w.p.frames.light.width, 0);  // the light side is untouched
  }
}

}  // namespace
}  // namespace stellacq
