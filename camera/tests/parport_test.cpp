// Finding the parallel port by its base address on a fake /proc tree, and
// the message when it cannot be used.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "camera/parport_linux.h"

namespace stellacq {
namespace {

namespace fs = std::filesystem;

struct FakeTree {
  FakeTree() { fs::create_directories(root / "dev"); }
  ~FakeTree() { fs::remove_all(root); }
  void add_port(const std::string& name, const std::string& base_addr) {
    fs::create_directories(root / "proc" / name);
    std::ofstream(root / "proc" / name / "base-addr") << base_addr;
  }
  const fs::path root = fs::temp_directory_path() / ("stellacq_parport_" + std::to_string(::getpid()));
  const std::string proc = (root / "proc").string(), dev = (root / "dev").string();
};

TEST(Parport, FindsThePortWhoseFirstAddressMatches) {
  FakeTree t;
  t.add_port("parport0", "632\t1656\n");  // 0x278
  t.add_port("parport1", "888\t1912\n");  // 0x378
  t.add_port("parport3", "garbage");
  t.add_port("parportX", "888\n");  // not a port directory
  EXPECT_EQ(find_parport_by_base(t.proc, 0x378), 1);
  EXPECT_EQ(find_parport_by_base(t.proc, 1912), std::nullopt);  // a second number never matches
  EXPECT_EQ(find_parport_by_base((t.root / "missing").string(), 0x378), std::nullopt);
}

TEST(Parport, PortThatCannotBeUsedGivesAMessageInsteadOfAHang) {
  FakeTree t;
  LinuxParallelPort port(/*allow_raw=*/false);
  ParportOpenResult r = port.open(0x378, t.proc, t.dev);  // no such port
  EXPECT_FALSE(r.ok || port.is_open());
  EXPECT_NE(r.message.find("modprobe"), std::string::npos) << r.message;
  EXPECT_EQ(port.PortIn(0x379), 0xFF);  // a closed port reads all ones
  t.add_port("parport1", "888\n");
  std::ofstream(t.root / "dev" / "parport1") << "not a device";
  r = port.open(0x378, t.proc, t.dev);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("PPCLAIM"), std::string::npos) << r.message;
}

}  // namespace
}  // namespace stellacq
