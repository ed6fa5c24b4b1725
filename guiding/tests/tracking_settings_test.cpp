// Tracking settings without a window: what typed text reads as, the repeat
// counts stored and rewritten at once, and the limits OK refuses.
#include "guiding/tracking_settings.h"

#include <gtest/gtest.h>

#include "app/program_parts.h"
#include "config/ini_file.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

TEST(TrackingFields, TypedTextReadsLenientlyAndWholeFieldsRoundTiesToEven) {
  // Text, its number, its whole number.
  const std::tuple<const char*, double, double> rows[] = {
      {"", 0, 0},      {"1 2 3", 123, 123},   {"\t4\r\n5", 45, 45},     {"-2.5e1", -25, -25},
      {"1e400", 0, 0}, {"& h f F", 255, 255}, {"&HFFFF", 65535, 65535}, {"&HFFG1", 255, 255},
      {"&o19", 1, 1},  {"&X12", 0, 0},        {"-&H10", 0, 0},          {"\xEF\xBC\x91\xEF\xBC\x92", 0, 0},
      {"3.5", 3.5, 4}, {"-3.5", -3.5, -4},    {".5", 0.5, 0},           {"7 .5", 7.5, 8},
  };
  for (const auto& [text, value, whole] : rows) {
    EXPECT_EQ(std::pair(field_value(text), whole_field_value(text)), std::pair(value, whole))
        << '"' << text << '"';
  }
}

TEST(TrackingFields, RepeatCountsAreStoredAndRewrittenAtOnce) {
  const std::tuple<const char*, double, std::int16_t> rows[] = {
      {"", 1, 1},       {"0", 1, 1},     {"2.", 2, 2},     {"1.5", 1.5, 2},
      {"2.5", 2.5, 2},  {"-3", 1, 1},    {"&H10", 16, 16}, {"40000", 40000, 32767},
      {"-40000", 1, 1}, {"seven", 1, 1},
  };
  for (const auto& [text, x, y] : rows) {
    Settings s;
    EXPECT_EQ(std::tuple(x_move_repeat_edited(s, text), y_move_repeat_edited(s, text), s.x_move_repeat,
                         s.y_move_repeat),
              std::tuple(plain_text(x), plain_text(y), x, y))
        << text;
  }
}

TEST(TrackingOk, RefusesWhatCannotBeStoredOrMeasured) {
  // Factor, span, aperture, threshold; the field the message names, "" when OK stores.
  struct Row {
    const char *factor, *span, *aperture, *threshold, *names;
  };
  const Row rows[] = {
      {"150", "10", "2", "1.5", ""},
      {"-2147483648", "63", "62", "-3.4e38", ""},  // spans above 62 are allowed
      {"2147483648", "10", "2", "1.5", "X : Tracking factor"},
      {"150", "0", "0", "1.5", "Sarch Span"},
      {"150", "&H8000", "2", "1.5", "Sarch Span"},  // 32768 does not fit 16 bits
      {"150", "10", "10", "1.5", "Aperture"},       // no sky left around the box
      {"150", "10", "-1", "1.5", "Aperture"},
      {"150", "10", "2", "1e39", "Threshold"},  // beyond single precision
      {"junk", "10", "2", "junk", ""},
  };
  for (const Row& r : rows) {
    testing::World w;
    testing::ScratchDir folder;
    w.p.ini_path = ini_path_for(folder.path());
    TrackingEdits e = tracking_edits(w.p.settings);
    e.x_tracking_factor = whole_field_value(r.factor), e.search_span = whole_field_value(r.span);
    e.aperture = whole_field_value(r.aperture), e.threshold = field_value(r.threshold);
    const TrackingOk result = tracking_ok(settings_file(w.p), w.p.ui, e);
    if (*r.names == '\0') {
      EXPECT_EQ(std::tuple(result, w.p.settings.search_span, testing::file_bytes(w.p.ini_path)),
                std::tuple(TrackingOk::Stored, whole_field_value(r.span), settings_file_text(w.p.settings)));
      continue;
    }
    EXPECT_EQ(result, TrackingOk::Refused);
    ASSERT_EQ(w.ui.boxes.size(), 1u);
    EXPECT_NE(w.ui.boxes[0].text.find(r.names), std::string::npos) << w.ui.boxes[0].text;
    EXPECT_EQ(w.p.settings, Settings{});  // nothing stored
    EXPECT_FALSE(std::filesystem::exists(w.p.ini_path));
  }
}

}  // namespace
}  // namespace stellacq
