// stellacq-sim: the program wired to the simulated observatory, a control
// unit with its camera head answering on base address 0x378 and an LX200
// mount on the serial line (any COM port), both on one simulated sky.
// STELLACQ_DEBUG=1 writes every exchange with them to standard error.
#include <QApplication>
#include <iostream>

#include "app/application.h"
#include "app/command_line.h"
#include "app/program.h"
#include "core/wire_log.h"
#include "sim/observatory.h"

int main(int argc, char** argv) {
  if (const auto ended =
          stellacq::answer_informational_options(stellacq::DesktopProgram::Simulator, argc, argv, std::cout))
    return *ended;
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("stellacq-sim"));
  stellacq::wire_log_from_environment();
  stellacq::SystemClock device_clock;
  stellacq::sim::Observatory observatory(device_clock);
  stellacq::sim::SettingsFollowingPort& port = observatory.parallel_port();
  return stellacq::run_stellacq(port, observatory.serial_line(), [&port](stellacq::Program& program) {
    port.follow(program.settings, program.ports);
  });
}
