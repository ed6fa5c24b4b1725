// stellacq: the program driving the real camera control unit on the PC's
// parallel port.
#include <QApplication>
#include <QTimer>

#include "app/application.h"
#include "camera/parport_linux.h"
#include "core/program.h"

namespace {

// Opens the parallel port whose base address the settings chose, and again
// whenever that choice changes. A port that cannot be opened reads 0xFF, so
// the camera link gives up on it with its own message; why the port could not
// be opened is told once per address, in a message box shown after the
// running exchange, never inside it.
class ChosenParallelPort final : public stellacq::PortIo {
 public:
  void follow(stellacq::Program& program) {
    program_ = &program;
    if (program.ports.set) open(program.ports.port_data);
  }

  std::uint8_t PortIn(std::uint16_t address) override {
    follow_address(address);
    return port_.PortIn(address);
  }
  void PortOut(std::uint16_t address, std::uint8_t value) override {
    follow_address(address);
    port_.PortOut(address, value);
  }

 private:
  void follow_address(std::uint16_t address) {
    const auto base = static_cast<std::uint16_t>(address & ~0x3u);
    if (program_ && program_->ports.set && program_->ports.port_data != opened_for_ && base == program_->ports.port_data)
      open(base);
  }

  void open(std::uint16_t base) {
    opened_for_ = base;
    const stellacq::ParportOpenResult result = port_.open(base);
    if (result.ok || !program_) return;
    stellacq::Program* program = program_;
    QTimer::singleShot(0, [program, message = result.message] { program->ui.message_box(message); });
  }

  stellacq::LinuxParallelPort port_;
  stellacq::Program* program_ = nullptr;
  std::uint16_t opened_for_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("stellacq"));
  ChosenParallelPort port;
  return stellacq::run_stellacq(port, [&port](stellacq::Program& program) { port.follow(program); });
}
