// Tracking settings without a window: what typed text reads as, the repeat
// counts stored and rewritten at once, the limits OK refuses, and OK's
// writing of the settings file.
#include "guiding/tracking_settings.h"

#include <gtest/gtest.h>

#include "config/ini_file.h"
#include "core/tests/offline_world.h"

namespace stellacq {
namespace {

TEST(TrackingFields, TypedTextReadsLeniently) {
  struct Row {
    const char* text;
    double value;
  };
  const Row rows[] = {
      {"", 0},          {"  12 ", 12},     {"1 2 3", 123},  {"\t4\r\n5", 45}, {"12abc", 12},
      {"abc", 0},       {"-2.5e1", -25},   {".5", 0.5},     {"1e400", 0},     {"&H1F", 31},
      {"& h f F", 255}, {"&HFFFF", 65535}, {"&HFFG1", 255}, {"&O17", 15},     {"&o19", 1},
      {"&H", 0},        {"&X12", 0},       {"-&H10", 0},    {"１２", 0},      {"&", 0},
  };
  for (const Row& r : rows) EXPECT_EQ(field_value(r.text), r.value) << '"' << r.text << '"';
}

TEST(TrackingFields, WholeFieldsRoundTiesToEven) {
  const std::pair<const char*, double> rows[] = {{"2.5", 2},   {"3.5", 4},        {"-2.5", -2},
                                                 {"-3.5", -4}, {"0.5", 0},        {"1.5", 2},
                                                 {"2.49", 2},  {"&H8000", 32768}, {"7 .5", 8}};
  for (const auto& [text, value] : rows) EXPECT_EQ(whole_field_value(text), value) << text;
}

TEST(TrackingFields, RepeatCountsAreStoredAndRewrittenAtOnce) {
  struct Row {
    const char* text;
    double x_stored;
    const char* x_shown;
    std::int16_t y_stored;
    const char* y_shown;
  };
  const Row rows[] = {
      {"", 1, "1", 1, "1"},         {"0", 1, "1", 1, "1"},
      {"2.", 2, "2", 2, "2"},       {"1.5", 1.5, "1.5", 2, "2"},
      {"2.5", 2.5, "2.5", 2, "2"},  {"-3", 1, "1", 1, "1"},
      {"&H10", 16, "16", 16, "16"}, {"40000", 40000, "40000", 32767, "32767"},
      {"-40000", 1, "1", 1, "1"},   {"seven", 1, "1", 1, "1"},
  };
  for (const Row& r : rows) {
    Settings s;
    EXPECT_EQ(x_move_repeat_edited(s, r.text), r.x_shown) << r.text;
    EXPECT_EQ(y_move_repeat_edited(s, r.text), r.y_shown) << r.text;
    EXPECT_EQ(s.x_move_repeat, r.x_stored) << r.text;
    EXPECT_EQ(s.y_move_repeat, r.y_stored) << r.text;
  }
}

TEST(TrackingFields, OpeningTextsAndDirectionPairs) {
  Settings s;
  s.x_tracking_factor = 150;
  s.y_tracking_factor = -5;
  s.threshold = 1.5f;
  s.aperture = 2;
  s.x_move_repeat = 2.5;
  s.y_move_repeat = 3;
  const TrackingTexts t = tracking_texts(s);  // a span never set shows as 0
  EXPECT_EQ((std::vector<std::string>{t.Text1, t.Text2, t.Text3, t.Text4, t.Text5, t.Text6, t.Text7}),
            (std::vector<std::string>{" 150", "-5", " 0", " 2", " 1.5", "2.5", "3"}));
  // (box is the reversed one, ticked after the click) -> reversal flag.
  EXPECT_EQ(direction_clicked(false, true), 0);
  EXPECT_EQ(direction_clicked(false, false), 1);
  EXPECT_EQ(direction_clicked(true, true), 1);
  EXPECT_EQ(direction_clicked(true, false), 0);
}

TEST(TrackingOk, RefusesWhatCannotBeStoredOrMeasured) {
  struct Row {
    const char* factor;
    const char* span;
    const char* aperture;
    const char* threshold;
    const char* names;  // the field the message names, "" when OK stores
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
    testing::OfflineWorld w;
    testing::ScratchDir folder;
    w.p.ini_path = ini_path_for(folder.path());
    TrackingEdits e = tracking_edits(w.p.settings);
    e.x_tracking_factor = whole_field_value(r.factor);
    e.search_span = whole_field_value(r.span);
    e.aperture = whole_field_value(r.aperture);
    e.threshold = field_value(r.threshold);
    const std::optional<std::string> problem = tracking_edits_problem(e);
    const TrackingOk result = tracking_ok(w.p, e);
    if (*r.names == '\0') {
      EXPECT_FALSE(problem) << *problem;
      EXPECT_EQ(result, TrackingOk::Stored) << r.span;
      EXPECT_EQ(w.p.settings.search_span, whole_field_value(r.span));
      continue;
    }
    ASSERT_TRUE(problem) << r.names;
    EXPECT_NE(problem->find(r.names), std::string::npos) << *problem;
    EXPECT_EQ(result, TrackingOk::Refused);
    ASSERT_EQ(w.ui.boxes.size(), 1u);
    EXPECT_EQ(w.ui.boxes[0].text, *problem);
    EXPECT_EQ(w.p.settings, Settings{});  // nothing stored
    EXPECT_FALSE(std::filesystem::exists(w.p.ini_path));
  }
}

TEST(TrackingOk, StoresEveryEditAndWritesTheFile) {
  testing::OfflineWorld w;
  testing::ScratchDir folder;
  w.p.ini_path = ini_path_for(folder.path());
  w.p.settings.save_folder = "/data/night";  // another dialog's field is written as it stands
  TrackingEdits e = tracking_edits(w.p.settings);
  e.x_reverse = 1;
  e.y_tracking_on = e.guide_flat_sub = e.small_shift_ignore = true;
  e.x_tracking_factor = 1200;
  e.y_tracking_factor = -7;
  e.search_span = 15;
  e.aperture = 3;
  e.threshold = 2.25;
  ASSERT_EQ(tracking_ok(w.p, e), TrackingOk::Stored);
  Settings expected;
  expected.save_folder = "/data/night";
  expected.x_reverse = 1;
  expected.y_tracking_on = expected.guide_flat_sub = expected.small_shift_ignore = 1;
  expected.x_tracking_factor = 1200;
  expected.y_tracking_factor = -7;
  expected.search_span = 15;
  expected.aperture = 3;
  expected.threshold = 2.25f;
  EXPECT_EQ(w.p.settings, expected);
  EXPECT_EQ(testing::file_bytes(w.p.ini_path), settings_file_text(expected));

  w.p.ini_path = folder.path();  // a folder cannot be replaced by the file
  e.aperture = 4;
  EXPECT_EQ(tracking_ok(w.p, e), TrackingOk::NotWritten);
  EXPECT_EQ(w.p.settings.aperture, 4);  // in effect for this run
  ASSERT_EQ(w.ui.boxes.size(), 1u);
  EXPECT_NE(w.ui.boxes[0].text.find(folder.path()), std::string::npos);
}

}  // namespace
}  // namespace stellacq
