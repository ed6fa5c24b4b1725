// The camera service on its own against the simulated control unit: the
// bytes of a whole frame, cancels that leave the unit ready for the next
// frame, and the failures a caller is told.
#include "camera/camera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "camera/geometry.h"
#include "camera/transfer.h"
#include "sim/control_unit.h"

namespace stellacq {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

// The unit on its own clock, the camera on a clock of its own: a manual one
// that moves a quarter second at every reading (a silent unit ends a wait
// at once), or the system clock for a cancel from another thread.
struct Bench {
  explicit Bench(int unit_model, bool real_time = false) : real_time(real_time) {
    sim::ControlUnitOptions o;
    o.unit_model = unit_model;
    o.record = true;
    o.instant_exposures = true;
    unit = std::make_unique<sim::ControlUnit>(unit_clock, sky, o);
    apply_parallel_port(2, ports);
    camera_clock.auto_step_us = 250'000;
    camera = std::make_unique<Camera>(*unit, ports, clock(), busy);
    camera->set_models(4, 4);  // TX-11 on TU-11
  }
  Clock& clock() { return real_time ? static_cast<Clock&>(system_clock) : camera_clock; }
  // Whether `into` holds the unit's last frame of width x height.
  bool holds_unit_frame(const Frame& into, int width, int height) const {
    const std::vector<std::uint16_t>& f = unit->frame();
    if (f.size() != static_cast<std::size_t>(width) * height) return false;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (into.counts.at(x, y) != f[static_cast<std::size_t>(y) * width + x]) return false;
    return true;
  }

  bool real_time;
  ManualClock unit_clock;
  ManualClock camera_clock;
  SystemClock system_clock;
  sim::Sky sky;
  std::unique_ptr<sim::ControlUnit> unit;
  PortAddresses ports;
  RecordingBusyCount busy;
  std::unique_ptr<Camera> camera;
  std::unique_ptr<Frame> frame = std::make_unique<Frame>();
  CancelToken cancel;
};

Bytes bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

// TX-11 on TU-11 at 2 x 2: three blocks of 30720 samples and one of 6144.
TEST(CameraFrame, AWholeLightFrameCrossesThePortByteForByte) {
  Bench b(sim::kUnitTu11);
  std::string greeting;
  ASSERT_TRUE(b.camera->connect(&greeting).ok());
  EXPECT_EQ(greeting, b.unit->greeting());
  b.unit->recorder().clear();

  std::vector<CameraProgress> told;
  const FrameResult r = b.camera->take_frame(
      {FrameKind::Light, 1, 2}, *b.frame, [&](const CameraProgress& p) { told.push_back(p); }, b.cancel);
  ASSERT_TRUE(r.status.ok());
  Bytes sent = bytes_of("S 1000\rN 2 2\rV\rX\rU\r");
  sent.insert(sent.end(), {0x00, 0x78, 0x00, 0x78, 0x00, 0x78, 0x00, 0x18, 0x00, 0x00});
  EXPECT_EQ(b.unit->recorder().received, sent);
  EXPECT_EQ(b.unit->recorder().commands, (Lines{"S 1000", "N 2 2", "V", "X", "U"}));
  EXPECT_EQ(b.unit->recorder().controls.back(), kControlIdle);
  EXPECT_EQ(std::pair(b.frame->width, b.frame->height), std::pair(384, 256));
  // The frame records what was taken, with which head on which unit.
  EXPECT_EQ(std::tuple(b.frame->seconds, b.frame->binning, b.frame->head_model, b.frame->unit_model),
            std::tuple(1.0, 2, 4, 4));
  EXPECT_TRUE(b.holds_unit_frame(*b.frame, 384, 256));
  ASSERT_FALSE(told.empty());
  EXPECT_EQ(told.back().phase, CameraProgress::Phase::Download);
  EXPECT_EQ(told.back().done, told.back().total);
}

// A cancel ends the call, resets the unit and brings it back: head size,
// cooling at its set point, time and binning; the next exposure and
// download, without "S" or "N" of their own, give a whole frame.
TEST(CameraCancel, TheNextFrameIsWholeAndTheCoolingIsBack) {
  enum class Where { ExposureFromAnotherThread, DownloadFromTheProgressHook };
  for (const Where where : {Where::ExposureFromAnotherThread, Where::DownloadFromTheProgressHook}) {
    const bool in_exposure = where == Where::ExposureFromAnotherThread;
    SCOPED_TRACE(in_exposure ? "exposure" : "download");
    Bench b(sim::kUnitTu11, in_exposure);
    ASSERT_TRUE(b.camera->connect().ok());
    ASSERT_TRUE(b.camera->cooling_on(-100).ok());
    // The unit's clock stands still: an exposure it times never ends.
    b.unit->options().instant_exposures = !in_exposure;
    b.unit->recorder().clear();

    ProgressHook hook;
    std::thread canceller;
    if (in_exposure) {
      canceller = std::thread([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        b.cancel.request();
      });
    } else {
      hook = [&](const CameraProgress& p) {
        if (p.phase == CameraProgress::Phase::Download && p.done >= 30720) b.cancel.request();
      };
    }
    const FrameResult r = b.camera->take_frame({FrameKind::Light, 30, 2}, *b.frame, hook, b.cancel);
    if (canceller.joinable()) canceller.join();
    EXPECT_EQ(r.status.error, CameraError::Cancelled);
    EXPECT_LT(b.unit->recorder().samples_sent, 384 * 256);
    Lines expected{"S 30000", "N 2 2", "V"};
    if (!in_exposure) expected.insert(expected.end(), {"X", "U"});
    expected.insert(expected.end(), {"I 768 512", "F 99", "C -100", "S 30000", "N 2 2"});
    EXPECT_EQ(b.unit->recorder().commands, expected);
    const Bytes& controls = b.unit->recorder().controls;
    EXPECT_EQ(std::count(controls.begin(), controls.end(), kControlReset), 1);
    EXPECT_FALSE(b.camera->link().unit_silent);

    b.cancel.clear();
    b.unit->options().instant_exposures = true;
    b.unit->recorder().clear();
    ASSERT_TRUE(b.camera->expose(FrameKind::Light, nullptr, b.cancel).ok());
    const FrameResult next = b.camera->download(*b.frame, nullptr, b.cancel);
    ASSERT_TRUE(next.status.ok());
    EXPECT_EQ(b.unit->recorder().commands, (Lines{"V", "X", "U"}));
    EXPECT_EQ(std::pair(b.frame->width, b.frame->height), std::pair(384, 256));
    EXPECT_TRUE(b.holds_unit_frame(*b.frame, 384, 256));
  }
}

// The exposure wait rests between its polls: a 2 s exposure costs a batch
// of polls and one poll a rest, where a wait without pause would poll for
// the whole two seconds; and the end is still seen within a rest.
TEST(CameraExposure, TheWaitRestsBetweenPollsAndSeesTheEndWithinARest) {
  // One clock for unit and camera, moved a microsecond by every reading and
  // by the rests.
  ManualClock clock;
  clock.auto_step_us = 1;
  sim::Sky sky;
  sim::ControlUnitOptions o;
  o.unit_model = sim::kUnitTu11;
  sim::ControlUnit unit(clock, sky, o);
  struct CountingPort final : PortIo {
    PortIo& inner;
    std::uint16_t status;
    long long status_reads = 0;
    CountingPort(PortIo& inner, std::uint16_t status) : inner(inner), status(status) {}
    std::uint8_t PortIn(std::uint16_t a) override {
      if (a == status) ++status_reads;
      return inner.PortIn(a);
    }
    void PortOut(std::uint16_t a, std::uint8_t v) override { inner.PortOut(a, v); }
  };
  PortAddresses ports;
  apply_parallel_port(2, ports);
  CountingPort port(unit, ports.port_status);
  RecordingBusyCount busy;
  Camera camera(port, ports, clock, busy);
  camera.set_models(4, 4);
  ASSERT_TRUE(camera.connect().ok());
  ASSERT_TRUE(camera.set_exposure_time(2).ok());

  port.status_reads = 0;
  const std::int64_t start = clock.monotonic_value_us;
  const CancelToken cancel;
  ASSERT_TRUE(camera.expose(FrameKind::Light, nullptr, cancel).ok());
  const std::int64_t took = clock.monotonic_value_us - start;
  EXPECT_LT(port.status_reads, kPollsPerClockRead + 2 * 2'000'000 / kExposureRestUs);
  EXPECT_GE(took, 2'000'000);
  EXPECT_LE(took, 2'000'000 + kExposureRestUs + 20'000);
}

TEST(CameraFailure, EachFaultIsToldAndNothingPassesForAFrame) {
  struct Case {
    const char* name;
    std::function<void(Bench&)> fault;
    CameraError error;
    LinkResult link;
    const char* command;
    bool silent;
    bool temperature = false;  // the fault shows in the temperature query, not in a frame
  };
  const Case cases[] = {
      {"silent unit", [](Bench& b) { b.unit->options().powered = false; }, CameraError::NoReply,
       LinkResult::SendTimeout, "S 1000", true},
      {"endless reply",
       [](Bench& b) { b.unit->options().temperature_reply = std::string(kMaxReplyBytes, 'A'); },
       CameraError::GarbledReply, LinkResult::ReplyOverlong, "T", true, true},
      {"no port", [](Bench& b) { b.ports = {}; }, CameraError::NoPort, LinkResult::NoPort, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b(sim::kUnitTu11);
    ASSERT_TRUE(b.camera->assume_connected().ok());
    b.frame->counts.at(0, 0) = -5;
    b.unit->recorder().clear();
    c.fault(b);
    const FrameResult r = c.temperature
                              ? FrameResult{b.camera->read_temperature().status, {}, false}
                              : b.camera->take_frame({FrameKind::Light, 1, 2}, *b.frame, nullptr, b.cancel);
    EXPECT_EQ(std::tuple(r.status.error, r.status.link, r.status.command, b.camera->link().unit_silent),
              std::tuple(c.error, c.link, std::string(c.command), c.silent));
    EXPECT_EQ(b.frame->counts.at(0, 0), -5);
    if (c.error == CameraError::NoPort) {
      EXPECT_TRUE(b.unit->recorder().controls.empty());
    }
  }

  Bench b(sim::kUnitTu11);  // never connected: nothing is sent
  EXPECT_EQ(b.camera->take_frame({}, *b.frame, nullptr, b.cancel).status.error, CameraError::NotConnected);
  EXPECT_EQ(b.camera->read_temperature().status.error, CameraError::NotConnected);
  EXPECT_TRUE(b.unit->recorder().controls.empty());
}

}  // namespace
}  // namespace stellacq
