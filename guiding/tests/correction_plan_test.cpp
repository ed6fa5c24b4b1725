// Search levels and the moves a found star turns into, one row per rule.
#include "guiding/correction_plan.h"

#include <gtest/gtest.h>

namespace stellacq {
namespace {

TEST(CorrectionPlan, LevelSpans) {
  const struct {
    int span, height;
    int spans[kSearchLevels];
  } rows[] = {
      {10, 512, {10, 15, 30, 512}},
      {7, 1024, {7, 10, 20, 1024}},  // floor(10.5)
      {1, 256, {1, 1, 2, 256}},
  };
  for (const auto& row : rows)
    for (int level = 0; level < kSearchLevels; ++level)
      EXPECT_EQ(level_span(level, row.span, row.height), row.spans[level]) << row.span << " level " << level;
}

TEST(CorrectionPlan, MovesPerLevel) {
  using D = Direction;
  struct Row {
    const char* what;
    int level, dx, dy;
    std::int16_t x_reverse, y_reverse, x_on, y_on, ignore_small;
    std::vector<GuideMove> moves;
  };
  // clang-format off
  const Row rows[] = {
      {"worked level 0: (203, 146) locked at (200, 150), Y reversed", 0, 3, -4, 0, 1, 1, 1, 0,
       {{D::Right, 3}, {D::Down, 4}}},
      {"dead band: 5 stays, 6 moves", 0, 5, -6, 0, 0, 1, 1, 1, {{D::Up, 6}}},
      {"dead band: -6 moves left, 5 down stays", 0, -6, 5, 0, 0, 1, 1, 1, {{D::Left, 6}}},
      {"without the dead band 1 pixel moves", 0, 1, 0, 0, 0, 1, 1, 0, {{D::Right, 1}}},
      {"level 1: X 4 x floor(1.5), Y floor(0.5) = 0", 1, 3, 1, 0, 0, 1, 1, 0, {{D::Right, 4}}},
      {"level 1 has no dead band", 1, -7, -5, 0, 0, 1, 1, 1, {{D::Left, 12}, {D::Up, 2}}},
      {"level 2: 8 x floor(0.3 x 10) = 24", 2, 10, 10, 0, 0, 1, 1, 0, {{D::Right, 24}, {D::Down, 3}}},
      {"level 3: floor(0.3 x 10), floor(0.25 x 8)", 3, 10, -8, 0, 0, 1, 1, 0, {{D::Right, 3}, {D::Up, 2}}},
      {"X reversed: +3 runs left", 0, 3, 0, 1, 0, 1, 1, 0, {{D::Left, 3}}},
      {"X switched off", 0, 3, 4, 0, 0, 0, 1, 0, {{D::Down, 4}}},
      {"both switched off", 0, 30, 40, 0, 0, 0, 0, 0, {}},
      {"no offset", 2, 0, 0, 0, 0, 1, 1, 0, {}},
  };
  // clang-format on
  for (const Row& row : rows) {
    Settings s;
    std::tie(s.x_reverse, s.y_reverse, s.x_tracking_on, s.y_tracking_on, s.small_shift_ignore) =
        std::tuple(row.x_reverse, row.y_reverse, row.x_on, row.y_on, row.ignore_small);
    EXPECT_EQ(plan_correction(row.level, row.dx, row.dy, s), row.moves) << row.what;
  }
}

}  // namespace
}  // namespace stellacq
