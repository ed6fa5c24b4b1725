#include "config/startup.h"

#include <gtest/gtest.h>

#include "config/ini_file.h"
#include "config/settings_choices.h"
#include "config/tests/test_program.h"

namespace stellacq {
namespace {

using testing::read_bytes;
using testing::TempFolder;
using testing::TestWorld;
using testing::write_bytes;

class Startup : public ::testing::Test {
 protected:
  TempFolder folder;
  TestWorld world;
  Program& p = world.p;

  void write_ports(int com, int parallel) {
    Settings s;
    s.com_port = static_cast<std::int16_t>(com);
    s.parallel_port = static_cast<std::int16_t>(parallel);
    s.head_model = 16;
    ASSERT_TRUE(write_settings_file(ini_path_for(folder.path()), s));
  }
};

TEST_F(Startup, ResetsRunTimeStateBeforeReadingTheFile) {
  p.link.camera_connected = 1;
  p.link.unit_silent = true;
  p.frames.binning = 1;
  p.form.Option1 = true;
  p.form.Option2 = false;
  p.exposure.display_after_shooting = 0;
  p.frames.flat_loaded = 1;
  p.series.series_running = 1;
  p.series.frames_remaining = 7;
  write_ports(1, 2);

  settings_startup(p, folder.path());
  EXPECT_EQ(p.link.camera_connected, 0);
  EXPECT_FALSE(p.link.unit_silent);
  EXPECT_EQ(p.frames.binning, 2);
  EXPECT_TRUE(p.form.Option2);
  EXPECT_FALSE(p.form.Option1);
  EXPECT_EQ(p.exposure.display_after_shooting, 1);
  EXPECT_EQ(p.frames.flat_loaded, 0);
  EXPECT_EQ(p.series.series_running, 0);
  EXPECT_EQ(p.series.frames_remaining, -1);
  EXPECT_FALSE(p.form.exp_menu_grab_auto_enabled);
  EXPECT_FALSE(p.form.exp_menu_grab_auto_stop_enabled);
  EXPECT_EQ(p.ini_path, folder.path() + "/STELLACQ.INI");
  EXPECT_EQ(p.settings.head_model, 16);
  EXPECT_TRUE(world.ui.statuses.empty());
}

struct PortCase {
  int com, parallel;
  bool com_dialog, parallel_dialog;
  bool ports_set;
  std::uint16_t data, status, control;
};

TEST_F(Startup, OpensPortDialogsForUnchosenPortsAndDerivesAddresses) {
  const PortCase cases[] = {
      {0, 0, true, true, false, 0, 0, 0},
      {2, 1, false, false, true, 0x278, 0x279, 0x27A},
      {3, 2, false, false, true, 0x378, 0x379, 0x37A},
      {1, 3, false, false, true, 0x3BC, 0x3BD, 0x3BE},
      {0, 3, true, false, true, 0x3BC, 0x3BD, 0x3BE},
      {1, 0, false, true, false, 0, 0, 0},
      {1, 5, false, false, false, 0, 0, 0},  // out of range: no dialog, addresses unset
      {1, -1, false, false, false, 0, 0, 0},
  };
  for (const auto& c : cases) {
    TestWorld fresh;
    write_ports(c.com, c.parallel);
    const StartupDialogs d = settings_startup(fresh.p, folder.path());
    const std::string label = "com " + std::to_string(c.com) + " parallel " + std::to_string(c.parallel);
    EXPECT_EQ(d.open_com_dialog, c.com_dialog) << label;
    EXPECT_EQ(d.open_parallel_dialog, c.parallel_dialog) << label;
    EXPECT_EQ(fresh.p.ports.set, c.ports_set) << label;
    EXPECT_EQ(fresh.p.ports.port_data, c.data) << label;
    EXPECT_EQ(fresh.p.ports.port_status, c.status) << label;
    EXPECT_EQ(fresh.p.ports.port_control, c.control) << label;
  }
}

TEST_F(Startup, MissingOrGarbledFileAsksForBothPorts) {
  // First start: no file, no message.
  StartupDialogs d = settings_startup(p, folder.path());
  EXPECT_TRUE(d.open_com_dialog && d.open_parallel_dialog);
  EXPECT_FALSE(p.ports.set);
  EXPECT_TRUE(world.ui.statuses.empty());

  // A damaged file: fresh values and a word on the status line.
  write_bytes(ini_path_for(folder.path()), "\x01\x02 not a settings file");
  TestWorld again;
  d = settings_startup(again.p, folder.path());
  EXPECT_TRUE(d.open_com_dialog && d.open_parallel_dialog);
  EXPECT_EQ(again.p.settings, Settings{});
  ASSERT_EQ(again.ui.statuses.size(), 1u);
  EXPECT_EQ(again.ui.statuses[0].substr(0, 1), " ");
  EXPECT_NE(again.ui.statuses[0].find("STELLACQ.INI"), std::string::npos);
}

TEST_F(Startup, ConfirmingBothPortDialogsMeansNoDialogAtTheNextStart) {
  settings_startup(p, folder.path());
  p.settings.save_folder = "/data/night";
  p.settings.program_count = 5;
  EXPECT_TRUE(confirm_com_port(p, 2));
  EXPECT_TRUE(confirm_parallel_port(p, 3));
  EXPECT_TRUE(p.ports.set);
  EXPECT_EQ(p.ports.port_data, 0x3BC);
  EXPECT_EQ(p.ports.port_status, 0x3BD);
  EXPECT_EQ(p.ports.port_control, 0x3BE);

  TestWorld next;
  const StartupDialogs d = settings_startup(next.p, folder.path());
  EXPECT_FALSE(d.open_com_dialog);
  EXPECT_FALSE(d.open_parallel_dialog);
  EXPECT_EQ(next.p.settings, p.settings);  // the other dialogs' fields kept too
}

TEST_F(Startup, ConfirmReportsAFileThatCannotBeWritten) {
  settings_startup(p, folder.path());
  p.ini_path = folder.path();  // a folder: the rename cannot replace it
  EXPECT_FALSE(confirm_com_port(p, 1));
  EXPECT_EQ(p.settings.com_port, 1);  // still in effect for this run
  EXPECT_FALSE(confirm_parallel_port(p, 2));
  EXPECT_EQ(p.ports.port_data, 0x378);
  EXPECT_FALSE(confirm_models(p, true, false));
}

}  // namespace
}  // namespace stellacq
