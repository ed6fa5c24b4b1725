// Finding the parallel port by its name or base address on a fake /proc
// tree, claiming it exclusively on fake ppdev devices, and the message when
// it cannot be used.
#include <gtest/gtest.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "camera/chosen_port.h"
#include "camera/geometry.h"
#include "camera/parport_linux.h"
#include "sim/observatory.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

// Every one of `parts` is in the message.
void expect_all_in(const std::string& message, const std::vector<std::string>& parts) {
  for (const std::string& part : parts)
    EXPECT_NE(message.find(part), std::string::npos) << part << " in " << message;
}

TEST(Parport, FindsThePortByItsFirstAddressOrExplainsWhyItCannotBeUsed) {
  testing::ScratchDir root;
  const std::string proc = root.file("proc"), dev = root.file("dev");
  std::filesystem::create_directories(dev);
  LinuxParallelPort port(/*allow_raw=*/false);
  ParportOpenResult r = port.open(0x378, proc, dev);  // no such port
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(port.is_open());
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
  EXPECT_FALSE(r.held);
  EXPECT_NE(r.message.find(dev + "/parport1 を確保できません (PPEXCL)"), std::string::npos) << r.message;
}

TEST(Parport, NamesAreDevicesOrHexadecimalBaseAddressesAndAnythingElseIsRefusedWithTheReason) {
  struct Case {
    const char* text;
    const char* device;
    std::uint16_t base;
  };
  for (const Case& c :
       {Case{"/dev/parport1", "/dev/parport1", 0}, Case{"parport2", "parport2", 0},
        Case{" 0xd010\n", "", 0xD010}, Case{"0X378", "", 0x378}, Case{"0xFFFD", "", 0xFFFD}}) {
    const ParportName name = parse_parport_name(c.text);
    EXPECT_EQ(std::tuple(name.ok, name.device, name.base), std::tuple(true, c.device, c.base)) << c.text;
  }
  for (const char* text : {"", "d010", "0x", "0x0", "0xFFFE", "0xd010x", "parport", "0x00000000378"}) {
    const ParportName name = parse_parport_name(text);
    EXPECT_FALSE(name.ok) << text;
    EXPECT_NE(name.message, "") << text;
  }
}

// ppdev's claim rules for several openers of fake devices: an opener is
// registered at its first PPCLAIM, exclusively after PPEXCL; an exclusive
// registration fails while anything else is registered on the port, and
// nothing registers beside an exclusive one (ENXIO). A claim of a port that
// another opener has claimed waits in the kernel; here it is counted and
// fails instead. Register accesses are logged as (request, value).
using PpdevLog = std::vector<std::pair<unsigned long, int>>;
class FakePpdev final : public PpdevCalls {
 public:
  std::set<std::string> devices;
  std::set<std::string> printer_driver_on;  // paths where lp is registered
  int waits = 0;
  std::uint8_t status = 0x40;
  PpdevLog log;

  int open(const std::string& path) override {
    if (!devices.count(path)) return -ENOENT;
    openers_[next_fd_] = {path};
    return next_fd_++;
  }
  int ioctl(int fd, unsigned long request, void* argument) override {
    Opener& me = openers_.at(fd);
    if (request == PPEXCL) {
      if (me.registered) return me.exclusive ? 0 : -EINVAL;
      me.exclusive = true;
      return 0;
    }
    if (request == PPCLAIM) {
      if (me.claimed) return -EINVAL;
      bool others = printer_driver_on.count(me.path) > 0, exclusive_other = false, claimed_other = false;
      for (const auto& [other_fd, other] : openers_) {
        if (other_fd == fd || other.path != me.path || !other.registered) continue;
        others = true;
        exclusive_other |= other.exclusive;
        claimed_other |= other.claimed;
      }
      if (!me.registered && ((me.exclusive && others) || exclusive_other)) return -ENXIO;
      me.registered = true;
      waits += claimed_other;
      me.claimed = !claimed_other;
      return claimed_other ? -EINTR : 0;
    }
    if (!me.claimed) return -EINVAL;
    if (request == PPRELEASE) me.claimed = false;
    if (request == PPRSTATUS) *static_cast<unsigned char*>(argument) = status;
    if (request == PPWDATA || request == PPWCONTROL)
      log.emplace_back(request, *static_cast<unsigned char*>(argument));
    if (request == PPDATADIR) log.emplace_back(request, *static_cast<int*>(argument));
    return 0;
  }
  void close(int fd) override { openers_.erase(fd); }

 private:
  struct Opener {
    std::string path;
    bool exclusive = false, registered = false, claimed = false;
  };
  std::map<int, Opener> openers_;
  int next_fd_ = 3;
};

// A /proc tree with parport0 at 0x378 and a PCIe card's parport1 at 0xD010.
struct FakeKernel {
  testing::ScratchDir root;
  std::string proc = root.file("proc/sys/dev/parport"), dev = root.file("dev");
  std::string card = dev + "/parport1";
  FakePpdev ppdev;
  FakeKernel() {
    for (const auto& [name, base_addr] :
         {std::pair{"parport0", "888\t1912\n"}, {"parport1", "53264\t-1\n"}}) {
      std::filesystem::create_directories(proc + "/" + name + "/devices");
      std::ofstream(proc + "/" + name + "/base-addr") << base_addr;
      ppdev.devices.insert(dev + "/" + name);
    }
    std::filesystem::create_directories(dev);
  }
};

TEST(Parport, ASecondOpenerIsToldThePortIsHeldAndByWhomWithoutWaiting) {
  enum class Holder { Stellacq, OldProgram, PrinterDriver };
  struct Case {
    Holder holder;
    const char* named;  // how the second opener names the card
    const char* shown;  // who the message says holds it
  };
  const Case cases[] = {
      {Holder::Stellacq, "0xd010", "kstars (pid 4242)"},
      {Holder::OldProgram, "parport1", "ppdev1"},
      {Holder::PrinterDriver, "0xD010", "lp1"},
  };
  for (const Case& c : cases) {
    FakeKernel k;
    LinuxParallelPort first(/*allow_raw=*/false, k.ppdev);
    int old_fd = -1;
    if (c.holder == Holder::Stellacq) {
      ASSERT_TRUE(first.open_named(k.card, k.proc, k.dev).ok);
      std::filesystem::create_directories(k.root.file("proc/4242/fd"));
      std::filesystem::create_symlink(k.card, k.root.file("proc/4242/fd/7"));
      std::ofstream(k.root.file("proc/4242/comm")) << "kstars\n";
    } else if (c.holder == Holder::OldProgram) {  // claims without PPEXCL
      old_fd = k.ppdev.open(k.card);
      ASSERT_EQ(k.ppdev.ioctl(old_fd, PPCLAIM, nullptr), 0);
      std::ofstream(k.proc + "/parport1/devices/active") << "ppdev1\n";
    } else {
      k.ppdev.printer_driver_on.insert(k.card);
      std::filesystem::create_directories(k.proc + "/parport1/devices/lp1");
      std::ofstream(k.proc + "/parport1/devices/active") << "none\n";
    }

    LinuxParallelPort second(/*allow_raw=*/false, k.ppdev);
    const ParportOpenResult r = second.open_named(c.named, k.proc, k.dev);
    EXPECT_FALSE(r.ok) << c.named;
    EXPECT_FALSE(second.is_open()) << c.named;
    EXPECT_TRUE(r.held) << r.message;
    EXPECT_EQ(k.ppdev.waits, 0) << r.message;
    expect_all_in(r.message, {k.card, c.shown, "parport0 0x378, parport1 0xD010"});

    // The holder keeps the port; once it lets go, the port opens.
    EXPECT_TRUE(c.holder != Holder::Stellacq || first.PortIn(0xD011) == 0x40);
    first.close();
    if (old_fd >= 0) k.ppdev.close(old_fd);
    k.ppdev.printer_driver_on.clear();
    EXPECT_TRUE(second.open_named(c.named, k.proc, k.dev).ok) << c.named;
  }
}

TEST(Parport, ANamedPortIsReachedAtItsOwnBaseAddressAndAFailureNamesItAndTheKnownPorts) {
  FakeKernel k;
  LinuxParallelPort port(/*allow_raw=*/false, k.ppdev);
  struct Case {
    std::string named;
    std::uint16_t base;
  };
  for (const Case& c : {Case{"0xd010", 0xD010}, Case{k.card, 0xD010}, Case{" parport0", 0x378}}) {
    k.ppdev.log.clear();
    ASSERT_TRUE(port.open_named(c.named, k.proc, k.dev).ok) << c.named;
    EXPECT_EQ(port.base(), c.base) << c.named;
    // Data lines in, initialise, auto-feed; data; not a register of this port.
    for (const auto& [offset, value] : {std::pair{2, 0x26}, {0, 0x41}, {3, 0x00}})
      port.PortOut(static_cast<std::uint16_t>(c.base + offset), static_cast<std::uint8_t>(value));
    EXPECT_EQ(k.ppdev.log, (PpdevLog{{PPDATADIR, 1}, {PPWCONTROL, 0x06}, {PPWDATA, 0x41}})) << c.named;
  }

  std::filesystem::rename(k.proc + "/parport1", k.proc + "/parport7");
  k.ppdev.devices.insert(k.dev + "/parport9");  // a device the kernel tree does not list
  EXPECT_TRUE(port.open_named("parport9", k.proc, k.dev).ok);
  EXPECT_EQ(port.base(), 0x378);

  for (const char* named : {"0xe000", "parport5", "0xe00g"}) {
    const ParportOpenResult r = port.open_named(named, k.proc, k.dev);
    EXPECT_EQ(std::tuple(r.ok, r.held, port.is_open()), std::tuple(false, false, false)) << named;
    expect_all_in(r.message,
                  {named == std::string("0xe000") ? "0xE000" : named, "parport0 0x378, parport7 0xD010"});
  }
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

TEST(ChosenPort, ANamedPortReplacesTheChosenOneAndABadNameOpensNone) {
  FakeKernel k;
  std::vector<std::string> reports;
  auto report = [&](const std::string& m) { reports.push_back(m); };
  {
    ChosenParallelPort port(/*allow_raw=*/false, k.proc, k.dev, k.ppdev);
    PortAddresses ports;
    port.use_named("0xd010", ports, report);
    EXPECT_TRUE(reports.empty());
    EXPECT_TRUE(ports.set);
    EXPECT_TRUE(port.is_open());
    EXPECT_EQ(std::vector<int>({ports.port_data, ports.port_status, ports.port_control}),
              std::vector<int>({0xD010, 0xD011, 0xD012}));
    apply_parallel_port(2, ports);  // 0x378 chosen in the dialog while running
    port.PortOut(0x37A, 0x04);
    EXPECT_EQ(port.PortIn(0x379), 0x40);
    EXPECT_EQ(k.ppdev.log, (PpdevLog{{PPDATADIR, 0}, {PPWCONTROL, 0x04}}));
  }
  ChosenParallelPort port(/*allow_raw=*/false, k.proc, k.dev, k.ppdev);
  PortAddresses ports;
  apply_parallel_port(2, ports);
  port.use_named("d010", ports, report);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("STELLACQ_PARPORT=d010"), std::string::npos) << reports[0];
  EXPECT_FALSE(port.is_open());
  EXPECT_EQ(port.PortIn(0x379), 0xFF);  // parport0 is at 0x378, but it was not named
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
