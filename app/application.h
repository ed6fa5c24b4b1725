// Start-up shared by the two programs: builds the program state on the given
// parallel port, shows the main window and runs its load step.
#pragma once

#include <functional>

namespace stellacq {

class PortIo;
class Program;
class SerialLine;

// Runs the main window until the program ends, with the camera on `port`
// and the mount on `serial`. `after_load` runs once the settings have been
// read (the simulated observatory takes the unit model from them). Needs a
// QApplication.
int run_stellacq(PortIo& port, SerialLine& serial, const std::function<void(Program&)>& after_load = {});

}  // namespace stellacq
