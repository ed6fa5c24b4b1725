// The real serial line (Qt SerialPort) against the simulated mount on a
// pseudo-terminal: the same code path stellacq takes on hardware.
#include "telescope/qt_serial_line.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <memory>

#include "program/parts.h"
#include "telescope/mount_link.h"
#include "telescope/telescope.h"
#include "test_support/pty_mount.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

// Busy counts that keep the far end of the pseudo-terminal going.
struct PumpingBusyCount final : BusyCount {
  explicit PumpingBusyCount(testing::PtyMount& pty) : pty_(pty) {}
  void count(std::int64_t n) override {
    pty_.pump();
    delay_.count(n);
  }
  testing::PtyMount& pty_;
  SystemClock clock_;
  CalibratedBusyCount delay_{clock_};
};

struct PtyWorld {
  PtyWorld() {
    axes.options().periodic_error_arcsec = 0;
    axes.options().dec_drift_arcsec_per_s = 0;
    ::setenv("STELLACQ_COM2", pty->device().c_str(), 1);
    p.settings.com_port = 2;
  }
  SystemClock clock;
  sim::MountAxes axes{clock, 83.82, -5.39};
  sim::Lx200Controller mount{clock, axes};
  std::unique_ptr<testing::PtyMount> pty = std::make_unique<testing::PtyMount>(mount);
  PumpingBusyCount busy{*pty};
  testing::OfflinePort port;
  ScriptedInteraction ui;
  QtSerialLine line;
  Program p{{port, clock, ui, busy, line}};
};

TEST(QtSerialLine, QueriesAndMovesThroughAPseudoTerminal) {
  PtyWorld w;
  ASSERT_FALSE(w.pty->device().empty());
  ASSERT_EQ(w.p.telescope.mount().open(2), LineError::None);
  EXPECT_EQ(w.line.device_name(), w.pty->device());
  EXPECT_EQ(w.p.telescope.mount().line_name(2), "COM2 (" + w.pty->device() + ")");

  const Reply ra = w.p.telescope.mount().query_ra();
  EXPECT_EQ(ra.end, ReplyEnd::Complete);
  EXPECT_EQ(ra.text, "05:35:17#");
  const Reply dec = w.p.telescope.mount().query_dec();
  EXPECT_EQ(dec.text, "-05*23'24#");
  w.p.telescope.mount().close();

  w.p.settings.x_tracking_factor = 1000;
  w.p.settings.x_move_repeat = 1;
  ASSERT_TRUE(w.p.telescope.open_link_for_guiding());
  EXPECT_EQ(w.p.telescope.timed_move(Direction::Right, 20),
            MoveEnd::Done);  // 20 ms west
  w.p.telescope.close_link_after_guiding();
  const std::string stops = "#:Qn#\r\n#:Qs#\r\n#:Qe#\r\n#:Qw#\r\n";  // each opening stops all motion
  EXPECT_EQ(w.mount.received(), stops + "#:GR#\r\n#:GD#\r\n" + stops + "#:Mw#\r\n#:Qw#\r\n");
  const sim::MoveTimes t = w.axes.move_times();
  EXPECT_GT(t.west_us, 0);
  EXPECT_EQ(t.east_us + t.north_us + t.south_us, 0);
  EXPECT_FALSE(w.line.is_open());  // the step closes what it opened
}

TEST(QtSerialLine, RefusesWhatItCannotOpenAndNoticesAVanishedDevice) {
  PtyWorld w;
  ::setenv("STELLACQ_COM3", "/dev/stellacq-no-such-device", 1);
  w.line.set_settings(kLineSettingsText);
  const struct {
    int com;
    const char* settings;
    LineError error;
  } cases[] = {
      {3, kLineSettingsText, LineError::NoDevice},
      {0, kLineSettingsText, LineError::BadPortNumber},
      {2, "9600,Z,8,1", LineError::BadSettings},
  };
  for (const auto& c : cases) {
    w.line.set_port_number(c.com);
    w.line.set_settings(c.settings);
    EXPECT_EQ(w.line.open(), c.error) << c.com;
    EXPECT_FALSE(w.line.is_open());
  }
  EXPECT_EQ(w.line.send("#:Mn#\r\n"), LineError::NotOpen);

  ASSERT_EQ(w.p.telescope.mount().open(2), LineError::None);
  w.pty.reset();  // the far end goes away, like an adapter pulled out
  for (int i = 0; i < 100 && w.line.is_open(); ++i) w.line.take_received();
  EXPECT_FALSE(w.line.is_open());
  EXPECT_EQ(mount_send(w.line, "#:GR#"), LineError::NotOpen);
}

}  // namespace
}  // namespace stellacq

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
