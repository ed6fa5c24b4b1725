// A fresh little world for camera tests: the simulated unit on port 0x378,
// a manual clock, a scripted user and the program state wired to them.
#pragma once

#include "core/program.h"
#include "sim/control_unit.h"
#include "sim/sky.h"

namespace stellacq::test {

struct SimWorld {
  explicit SimWorld(sim::ControlUnitOptions options = default_options())
      : unit(unit_clock, sky, options), p(unit, clock, ui, busy) {
    apply_parallel_port(2, p.ports);  // 0x378
    p.settings.unit_model = 16;
    p.settings.head_model = 16;
    // A silent unit must end a wait at once in a test.
    clock.auto_step_us = 250'000;
  }
  static sim::ControlUnitOptions default_options() {
    sim::ControlUnitOptions o;
    o.record = true;
    o.instant_exposures = true;
    return o;
  }
  std::uint8_t control_register() { return unit.PortIn(sim::kSimBase + 2); }
  sim::Traffic& traffic() { return unit.recorder(); }

  ManualClock clock;       // the program's clock
  ManualClock unit_clock;  // the unit's clock, moved by the tests
  sim::Sky sky;
  sim::ControlUnit unit;
  ScriptedInteraction ui;
  RecordingBusyCount busy;
  Program p;
};

}  // namespace stellacq::test
