// The wire log on the simulated observatory: what an exchange with the
// control unit and with the mount writes, byte for byte and in order, and
// nothing once the log is off.
#include "core/wire_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "camera/camera.h"
#include "telescope/mount.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

// Keeps each line without its time while installed.
struct WireRecorder {
  WireRecorder() {
    set_wire_sink([this](const WireEntry& entry) {
      const std::string line = wire_line(entry);
      // "21:04:05.123 " first, the local time of day to the millisecond.
      EXPECT_TRUE(std::regex_match(line.substr(0, 13), std::regex(R"(\d\d:[0-5]\d:[0-6]\d\.\d{3} )")))
          << line;
      lines.push_back(line.substr(13));
    });
  }
  ~WireRecorder() { set_wire_sink(nullptr); }
  std::vector<std::string> lines;
};

TEST(WireLog, ExchangesWithTheUnitAndTheMountAreLoggedInOrderAndNothingWhenOff) {
  testing::SimWorld w;
  w.clock.auto_step_us = 100'000;  // lets a silent unit's wait run out
  Camera& camera = w.p.camera;
  Mount& mount = w.p.telescope.mount();
  CancelToken cancel;
  // Cancelled once the first block is in: the unit is reset and set up again.
  const auto after_first_block = [&cancel](const CameraProgress&) { cancel.request(); };
  const auto exchanges = [&] {
    ASSERT_TRUE(camera.connect().ok());
    ASSERT_TRUE(camera.set_binning(2).ok());
    w.unit().options().temperature_reply = "-100";
    ASSERT_TRUE(camera.read_temperature().status.ok());
    ASSERT_TRUE(camera.set_exposure_time(1).ok());
    ASSERT_TRUE(camera.expose(FrameKind::Light, {}, cancel).ok());
    EXPECT_EQ(camera.download(w.p.frames.light, after_first_block, cancel).status.error,
              CameraError::Cancelled);
    ASSERT_EQ(mount.open(1), LineError::None);
    ASSERT_TRUE(mount.query_ra().whole());
    w.observatory.mount_controller().options().powered = false;
    EXPECT_EQ(mount.query_dec().end, ReplyEnd::NoReply);
    mount.close();
    w.unit().options().powered = false;
    EXPECT_FALSE(camera.read_temperature().status.ok());
  };

  WireRecorder log;
  exchanges();
  const std::string greeting = "camera <  TU-22 CCD CONTROLLER READY\\xDB";
  // clang-format off
  const std::vector<std::string> expected = {
      "camera ! reset pulse", greeting, "camera > I 1536 1024\\r", "camera < OK\\xDB",
      "camera > N 2 2\\r", "camera < OK\\xDB", "camera > T\\r", "camera < -100\\xDB",
      "camera > S 1000\\r", "camera < OK\\xDB", "camera > V\\r", "camera < OK\\xDB",
      "camera > X\\r", "camera < 768 512\\xDB", "camera > U\\r", "camera < 768 512\\r\\n",
      "camera ! download: the unit announces 393216 samples, the frame takes 393216",
      "camera ! block count 30720 (00 78)", "camera < K",
      // The cancel is seen at the first sample of the next block.
      "camera ! block count 30720 (00 78)", "camera < K",
      "camera ! download cancelled after 30720 of 393216 samples", "camera ! cancelled: recovering the unit",
      "camera ! reset pulse", greeting, "camera > I 1536 1024\\r", "camera < OK\\xDB",
      "camera > S 1000\\r", "camera < OK\\xDB", "camera > N 2 2\\r", "camera < OK\\xDB",
      "mount ! open COM1 (" + w.observatory.serial_line().device_name() + ") 9600,N,8,1; the four stops follow",
      "mount > #:Qn#\\r\\n", "mount > #:Qs#\\r\\n", "mount > #:Qe#\\r\\n", "mount > #:Qw#\\r\\n",
      "mount > #:GR#\\r\\n", "mount < 05:35:17#", "mount > #:GD#\\r\\n", "mount ! no reply", "mount ! close",
      "camera > T\\r", "camera ! no handshake for a command byte (send timed out)",
  };
  // clang-format on
  EXPECT_EQ(log.lines, expected);

  // Off: the same exchanges reach no sink.
  set_wire_sink(nullptr);
  EXPECT_FALSE(wire_log_on());
  log.lines.clear();
  w.unit().options().powered = true;
  w.observatory.mount_controller().options().powered = true;
  cancel.clear();
  exchanges();
  EXPECT_TRUE(log.lines.empty());
}

}  // namespace
}  // namespace stellacq
