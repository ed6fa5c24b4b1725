// Finding the parallel port by its base address on a fake /proc tree, and
// the message when it cannot be used.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "camera/parport_linux.h"

namespace stellacq {
namespace {

namespace fs = std::filesystem;

class FakeProc : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("stellacq_parport_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "proc");
    fs::create_directories(root_ / "dev");
  }
  void TearDown() override { fs::remove_all(root_); }
  void add_port(const std::string& name, const std::string& base_addr) {
    fs::create_directories(root_ / "proc" / name);
    std::ofstream(root_ / "proc" / name / "base-addr") << base_addr;
  }
  std::string proc() const { return (root_ / "proc").string(); }
  std::string dev() const { return (root_ / "dev").string(); }
  fs::path root_;
};

TEST_F(FakeProc, FindsThePortWhoseFirstAddressMatches) {
  add_port("parport0", "632\t1656\n");  // 0x278
  add_port("parport1", "888\t1912\n");  // 0x378
  add_port("parport2", "956\t-1\n");    // 0x3BC
  add_port("default", "888\n");         // not a port directory
  add_port("parportX", "888\n");
  EXPECT_EQ(find_parport_by_base(proc(), 0x278), 0);
  EXPECT_EQ(find_parport_by_base(proc(), 0x378), 1);
  EXPECT_EQ(find_parport_by_base(proc(), 0x3BC), 2);
  EXPECT_EQ(find_parport_by_base(proc(), 0x1912 & 0xFFF), std::nullopt);  // a second number never matches
  EXPECT_EQ(find_parport_by_base(proc(), 0x2F8), std::nullopt);
}

TEST_F(FakeProc, UnreadableTreesFindNothing) {
  add_port("parport0", "garbage");
  EXPECT_EQ(find_parport_by_base(proc(), 0x378), std::nullopt);
  EXPECT_EQ(find_parport_by_base((root_ / "missing").string(), 0x378), std::nullopt);
}

TEST_F(FakeProc, NoMatchingPortGivesAMessageInsteadOfAHang) {
  add_port("parport0", "632\n");
  LinuxParallelPort port(/*allow_raw=*/false);
  const ParportOpenResult r = port.open(0x378, proc(), dev());
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(port.is_open());
  EXPECT_NE(r.message.find("0x378"), std::string::npos) << r.message;
  EXPECT_NE(r.message.find("modprobe"), std::string::npos) << r.message;
  EXPECT_EQ(port.PortIn(0x379), 0xFF);  // a closed port reads all ones
}

TEST_F(FakeProc, DeviceThatIsNotAParallelPortIsNamedInTheMessage) {
  add_port("parport1", "888\n");
  // Missing device node, then a regular file where the device should be.
  LinuxParallelPort port(false);
  ParportOpenResult r = port.open(0x378, proc(), dev());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find(dev() + "/parport1"), std::string::npos) << r.message;
  std::ofstream(root_ / "dev" / "parport1") << "not a device";
  r = port.open(0x378, proc(), dev());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("PPCLAIM"), std::string::npos) << r.message;
  EXPECT_NE(r.message.find("lp"), std::string::npos) << r.message;
}

}  // namespace
}  // namespace stellacq
