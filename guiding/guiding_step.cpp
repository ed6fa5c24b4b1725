// Stand-in for the guiding step until guide-star measurement and the timed
// mount moves are built: it only tells the user that tracking runs and lets
// pending commands run, so a guided series paces and stops as it will with
// the real step, which replaces this file.
#include "guiding/guiding_step.h"

#include "program/program.h"

namespace stellacq {

void guiding_step(Program& p) {
  set_status(p, " 追尾中");
  p.ui.yield();
}

void draw_guide_marker(Program& p) { p.ui.picture_changed(); }

}  // namespace stellacq
