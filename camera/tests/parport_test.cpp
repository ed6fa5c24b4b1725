// Finding the parallel port by its base address on a fake /proc tree, and
// the message when it cannot be used.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "camera/parport_linux.h"
#include "core/tests/offline_world.h"

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

  for (const auto& [name, base_addr] : {std::pair{"parport0", "632\t1656\n"}, {"parport1", "888\t1912\n"},
                                        {"parport3", "garbage"}, {"parportX", "888\n"}}) {
    std::filesystem::create_directories(proc + "/" + name);
    std::ofstream(proc + "/" + name + "/base-addr") << base_addr;
  }
  EXPECT_EQ(find_parport_by_base(proc, 0x378), 1);  // not parportX: not a port directory
  EXPECT_EQ(find_parport_by_base(proc, 1912), std::nullopt);  // a second number never matches
  EXPECT_EQ(find_parport_by_base(root.file("missing"), 0x378), std::nullopt);
  std::ofstream(dev + "/parport1") << "not a device";
  r = port.open(0x378, proc, dev);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("PPCLAIM"), std::string::npos) << r.message;
}

}  // namespace
}  // namespace stellacq
