// stellacq-sim: the program wired to the simulated observatory, a control
// unit with its camera head answering on base address 0x378 and looking at a
// simulated sky.
#include <QApplication>

#include "app/application.h"
#include "core/program.h"
#include "sim/control_unit.h"

namespace {

// The simulated unit is whichever model the settings name, so that the
// model dialog behaves as it would with the matching real unit attached.
class SettingsFollowingUnit final : public stellacq::PortIo {
 public:
  explicit SettingsFollowingUnit(stellacq::SimControlUnit& unit) : unit_(unit) {}
  void follow(const stellacq::Program& program) { program_ = &program; }

  std::uint8_t PortIn(std::uint16_t address) override { return unit_.PortIn(address); }
  // Follows the settings on the data register only: commands and block
  // counts pass there, the per-sample handshakes of a download do not.
  void PortOut(std::uint16_t address, std::uint8_t value) override {
    if (program_ && address == program_->ports.port_data) unit_.options().unit_model = program_->settings.unit_model;
    unit_.PortOut(address, value);
  }

 private:
  stellacq::SimControlUnit& unit_;
  const stellacq::Program* program_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("stellacq-sim"));
  stellacq::SystemClock unit_clock;
  stellacq::SimControlUnit unit(unit_clock);
  SettingsFollowingUnit port(unit);
  return stellacq::run_stellacq(port, [&port](stellacq::Program& program) { port.follow(program); });
}
