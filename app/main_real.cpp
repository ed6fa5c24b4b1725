// stellacq: the program driving the real camera control unit on the PC's
// parallel port and the mount's hand controller on its serial port. The
// environment variable STELLACQ_PARPORT names a port to use instead of the
// one chosen in the settings ("/dev/parport1", or a card's base address
// such as "0xd010"). STELLACQ_DEBUG=1 writes every exchange with the unit and
// the mount to standard error.
#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <iostream>

#include "app/application.h"
#include "app/command_line.h"
#include "app/program.h"
#include "camera/chosen_port.h"
#include "core/wire_log.h"
#include "telescope/qt_serial_line.h"

int main(int argc, char** argv) {
  if (const auto ended =
          stellacq::answer_informational_options(stellacq::DesktopProgram::Real, argc, argv, std::cout))
    return *ended;
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("stellacq"));
  stellacq::wire_log_from_environment();
  stellacq::ChosenParallelPort port;
  stellacq::QtSerialLine serial;
  return stellacq::run_stellacq(port, serial, [&port](stellacq::Program& program) {
    // The box waits until the running exchange with the port has ended.
    auto report = [&program](const std::string& message) {
      QTimer::singleShot(0, [&program, message] { program.ui.message_box(message); });
    };
    const char* named = std::getenv("STELLACQ_PARPORT");
    if (named && *named)
      port.use_named(named, program.ports, report);
    else
      port.follow(program.ports, report);
  });
}
