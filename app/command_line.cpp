#include "app/command_line.h"

#include <string_view>

namespace stellacq {

namespace {

// The options both programs take, after their description.
constexpr const char* kOptionsHelp =
    "options:\n"
    "  -h, --help        show this text and end\n"
    "  --version         show the version and end\n"
    "  -platform NAME    Qt's window system plugin (xcb, wayland, offscreen)\n"
    "  -display DISPLAY  the X display to use\n"
    "\n";

// Each program's description and its environment.
constexpr const char* kRealDescription =
    "usage: stellacq [Qt options]\n"
    "Drives a cooled CCD camera (TX-11 or TX-22 head on a TU-11 or TU-22 control\n"
    "unit) on the parallel port and a telescope mount on a serial port: cooling,\n"
    "light and dark frames, series, FITS files, the mount's position and guiding.\n"
    "The settings file STELLACQ.INI is kept in the folder the program is started\n"
    "from.\n"
    "\n";
constexpr const char* kRealEnvironment =
    "environment:\n"
    "  STELLACQ_PARPORT  the camera's port instead of the one chosen in the program:\n"
    "                    a device (/dev/parport1) or a base address (0xd010)\n"
    "  STELLACQ_COM1, STELLACQ_COM2, STELLACQ_COM3\n"
    "                    the device of that COM port (by default /dev/ttyS0,\n"
    "                    /dev/ttyS1, /dev/ttyS2), for example /dev/ttyUSB0\n"
    "  STELLACQ_DEBUG=1  write every exchange with the unit and the mount to\n"
    "                    standard error\n";

constexpr const char* kSimulatorDescription =
    "usage: stellacq-sim [Qt options]\n"
    "STELLACQ wired to a simulated observatory: a control unit with its camera head\n"
    "on base address 0x378, an LX200 mount on whichever COM port is chosen, and a\n"
    "simulated sky that follows the mount. The settings file STELLACQ.INI is kept\n"
    "in the folder the program is started from.\n"
    "\n";
constexpr const char* kSimulatorEnvironment =
    "environment:\n"
    "  STELLACQ_DEBUG=1  write every exchange with the simulated unit and mount to\n"
    "                    standard error\n";

}  // namespace

std::optional<int> answer_informational_options(DesktopProgram program, int argc, const char* const* argv,
                                                std::ostream& out) {
  const bool real = program == DesktopProgram::Real;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      out << (real ? kRealDescription : kSimulatorDescription) << kOptionsHelp
          << (real ? kRealEnvironment : kSimulatorEnvironment);
      return 0;
    }
    if (arg == "--version") {
      out << (real ? "stellacq " : "stellacq-sim ") << STELLACQ_VERSION << "\n";
      return 0;
    }
  }
  return std::nullopt;
}

}  // namespace stellacq
