// Finding the parallel port by its base address on a fake /proc tree, and
// the message when it cannot be used.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "camera/chosen_port.h"
#include "camera/parport_linux.h"
#include "sim/observatory.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

TEST(Parport, FindsThePortByItsFirstAddressOrExplainsWhyItCannotBeUsed) {
  testing::ScratchDir root;
  const std::string proc = root.file("proc"), dev = root.file("dev");
  std::filesystem::create_directories(dev);
  LinuxParallelPort port(/*allow_raw=*/false);
  ParportOpenResult r = port.open(0x378, proc, dev);  // no such port
  EXPECT_FALSE(r.ok || port.is_open());
  EXPECT_NE(r.message.find("modprobe"), std::string::npos) << r.message;
  EXPECT_EQ(port.PortIn(0x379), 0xFF);  // a closed port reads all ones

  for (const auto& [name, base_addr] : {std::pair{"parport0", "632\t1656\n"},
                                        {"parport1", "888\t1912\n"},
                                        {"parport3", "garbage"},
                                        {"parportX", "888\n"}}) {
    std::filesystem::create_directories(proc + "/" + name);
    std::ofstream(proc + "/" + name + "/base-addr") << base_addr;
  }
  EXPECT_EQ(find_parport_by_base(proc, 0x378), 1);            // not parportX: not a port directory
  EXPECT_EQ(find_parport_by_base(proc, 1912), std::nullopt);  // a second number never matches
  EXPECT_EQ(find_parport_by_base(root.file("missing"), 0x378), std::nullopt);
  std::ofstream(dev + "/parport1") << "not a device";
  r = port.open(0x378, proc, dev);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("PPCLAIM"), std::string::npos) << r.message;
}

TEST(ChosenPort, OpensTheChosenPortAgainWhenTheChoiceChangesAndTellsWhyOncePerAddress) {
  testing::ScratchDir root;  // an empty /proc tree: no port can be opened
  ChosenParallelPort port(/*allow_raw=*/false, root.file("proc"), root.file("dev"));
  PortAddresses ports;
  std::vector<std::string> reports;
  port.follow(ports, [&](const std::string& m) { reports.push_back(m); });
  EXPECT_TRUE(reports.empty());  // nothing chosen yet: nothing opened

  apply_parallel_port(2, ports);        // 0x378, chosen in the dialog while running
  EXPECT_EQ(port.PortIn(0x379), 0xFF);  // a port that could not be opened reads all ones
  port.PortOut(0x37A, 0x04);
  ASSERT_EQ(reports.size(), 1u);  // the reason once, not at every access
  EXPECT_NE(reports[0].find("modprobe"), std::string::npos) << reports[0];

  port.PortIn(0x279);  // a register of a port that is not the chosen one opens nothing
  EXPECT_EQ(reports.size(), 1u);
  apply_parallel_port(1, ports);  // 0x278
  port.PortIn(0x279);
  EXPECT_EQ(reports.size(), 2u);
  EXPECT_FALSE(port.is_open());
}

TEST(SimulatedPort, TheUnitFollowsTheModelOfTheSettingsOnCommandsOnly) {
  ManualClock clock;
  sim::Observatory observatory(clock);
  sim::SettingsFollowingPort& port = observatory.parallel_port();
  Settings settings;
  PortAddresses ports;
  apply_parallel_port(2, ports);
  settings.unit_model = sim::kUnitTu11;
  port.PortOut(0x37A, 0x04);  // before follow(): the unit keeps its own model
  EXPECT_EQ(observatory.unit().options().unit_model, sim::kUnitTu22);
  port.follow(settings, ports);
  port.PortOut(0x37A, 0x04);  // control register: no command passes there
  EXPECT_EQ(observatory.unit().options().unit_model, sim::kUnitTu22);
  port.PortOut(0x378, 'X');
  EXPECT_EQ(observatory.unit().options().unit_model, sim::kUnitTu11);
}

}  // namespace
}  // namespace stellacq
