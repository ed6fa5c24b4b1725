// The camera session against the simulated control unit, with this test as
// the front-end: its loop polls the session's eventfd and runs the replies.
#include "camera/camera_session.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "sim/control_unit.h"

namespace stellacq {
namespace {

using namespace std::chrono_literals;
using Clock_ = std::chrono::steady_clock;

// The unit behind a port that can be made slow (a millisecond's rest every
// 200 accesses), so a download lasts long enough to be aborted.
struct SimHardware final : CameraHardware, PortIo {
  SimHardware() {
    apply_parallel_port(2, ports);
    camera_ = std::make_unique<Camera>(*this, ports, clock, busy);
  }
  Camera& camera() override { return *camera_; }
  std::uint8_t PortIn(std::uint16_t address) override {
    pace();
    return unit.PortIn(address);
  }
  void PortOut(std::uint16_t address, std::uint8_t value) override {
    pace();
    unit.PortOut(address, value);
  }
  void pace() {
    if (slow && ++accesses % 200 == 0) std::this_thread::sleep_for(1ms);
  }

  SystemClock clock;
  sim::Sky sky;
  sim::ControlUnit unit{clock, sky};
  PortAddresses ports;
  CalibratedBusyCount busy{clock};
  std::unique_ptr<Camera> camera_;
  std::atomic<bool> slow{false};
  long accesses = 0;
};

struct FrontEnd {
  // Runs the replies until `until` holds; false after `limit`.
  bool pump(const std::function<bool()>& until, std::chrono::seconds limit = 20s) {
    const auto end = Clock_::now() + limit;
    while (!until()) {
      if (Clock_::now() > end) return false;
      pollfd p{wake.fd(), POLLIN, 0};
      if (poll(&p, 1, 50) > 0) {
        wake.clear();
        session->run_replies();
      }
    }
    return true;
  }
  // Opens a SimHardware and keeps a pointer to it for the test.
  HardwareOpener opener() {
    return [this](HardwareOpenResult& r) {
      auto h = std::make_unique<SimHardware>();
      hardware = h.get();
      r.ok = true;
      return std::unique_ptr<CameraHardware>(std::move(h));
    };
  }
  void connect() {
    bool done = false;
    session->connect(opener(), [&](const ConnectOutcome& o) {
      EXPECT_TRUE(o.ok());
      done = true;
    });
    ASSERT_TRUE(pump([&] { return done; }));
  }
  // Takes a frame, calling `during` with each progress reply.
  FrameOutcome frame(ExposureRequest request, const std::function<void(const CameraProgress&)>& during = {}) {
    std::optional<FrameOutcome> got;
    FrameCallbacks callbacks;
    callbacks.progress = [&](const CameraProgress& p) {
      if (during) during(p);
    };
    callbacks.done = [&](const FrameOutcome& o) { got = o; };
    EXPECT_TRUE(session->start_frame(request, callbacks));
    EXPECT_TRUE(pump([&] { return got.has_value(); }, 60s));
    return got.value_or(FrameOutcome{});
  }

  EventFdWakeUp wake;
  std::unique_ptr<CameraSession> session = std::make_unique<CameraSession>(wake);
  SimHardware* hardware = nullptr;
};

TEST(CameraSession, RepliesComeInTheOrderOfTheJobsOnTheFrontEndsThread) {
  FrontEnd f;
  f.connect();
  const std::thread::id front = std::this_thread::get_id();
  std::vector<std::string> order;
  const auto note = [&](const std::string& what) {
    EXPECT_EQ(std::this_thread::get_id(), front) << what;
    order.push_back(what);
  };
  std::optional<FrameOutcome> frame;
  f.session->cooling_on(-100, [&](const CameraStatus& s) { note(s.ok() ? "cooling" : "cooling failed"); });
  FrameCallbacks callbacks;
  callbacks.progress = [&](const CameraProgress&) {
    if (order.back() != "progress") note("progress");
  };
  callbacks.on_session_thread = [&](FrameOutcome&) { EXPECT_NE(std::this_thread::get_id(), front); };
  callbacks.done = [&](const FrameOutcome& o) {
    note("frame");
    frame = o;
  };
  ASSERT_TRUE(f.session->start_frame({FrameKind::Light, 1, 2}, callbacks));
  EXPECT_FALSE(f.session->start_frame({FrameKind::Light, 1, 2}, {})) << "one frame at a time";
  f.session->read_temperature(
      [&](const TemperatureResult& t) { note(t.status.ok() ? "temperature" : "no"); });
  ASSERT_TRUE(f.pump([&] { return order.size() >= 4 && f.session->jobs_in_flight() == 0; }));
  EXPECT_EQ(order, (std::vector<std::string>{"cooling", "progress", "frame", "temperature"}));

  ASSERT_TRUE(frame);
  ASSERT_TRUE(frame->result.status.ok());
  ASSERT_TRUE(frame->frame);
  EXPECT_FALSE(frame->aborted);
  EXPECT_TRUE(frame->frame->ccd_temp_c.has_value());
  ASSERT_EQ(std::tuple(frame->frame->width, frame->frame->height), std::tuple(768, 512));
  const std::vector<std::uint16_t>& sent = f.hardware->unit.frame();
  for (int y = 0; y < 512; y += 7)
    for (int x = 0; x < 768; x += 5)
      ASSERT_EQ(frame->frame->counts.at(x, y), sent[y * 768 + x]) << x << "," << y;
  EXPECT_FALSE(f.session->frame_running());
}

TEST(CameraSession, AnAbortDuringTheExposureOrTheDownloadLeavesTheNextFrameWhole) {
  FrontEnd f;
  f.connect();
  const auto started = Clock_::now();
  FrameOutcome exposure = f.frame({FrameKind::Light, 30, 2}, [&](const CameraProgress& p) {
    if (p.phase == CameraProgress::Phase::Exposure) f.session->abort();
  });
  EXPECT_TRUE(exposure.aborted);
  EXPECT_EQ(exposure.result.status.error, CameraError::Cancelled);
  EXPECT_LT(Clock_::now() - started, 10s) << "the 30 s exposure was cut short";

  f.hardware->slow = true;
  bool saw_download = false;
  std::optional<FrameOutcome> whole;
  FrameCallbacks next;
  next.done = [&](const FrameOutcome& o) { whole = o; };
  FrameOutcome download = f.frame({FrameKind::Light, 1, 1}, [&](const CameraProgress& p) {
    if (p.phase == CameraProgress::Phase::Download && !saw_download) {
      saw_download = true;
      f.session->abort();
      f.hardware->slow = false;
      // Started at once (as a client that aborts and exposes again does),
      // the next frame runs when the aborted one has ended.
      EXPECT_TRUE(f.session->start_frame({FrameKind::Dark, 1, 2}, next));
    }
  });
  EXPECT_TRUE(saw_download);
  EXPECT_TRUE(download.aborted);
  EXPECT_EQ(download.result.status.error, CameraError::Cancelled);
  EXPECT_FALSE(download.frame);

  ASSERT_TRUE(f.pump([&] { return whole.has_value(); }, 60s));
  ASSERT_TRUE(whole->result.status.ok());
  ASSERT_FALSE(whole->aborted);
  const std::vector<std::uint16_t>& sent = f.hardware->unit.frame();
  ASSERT_EQ(sent.size(), 768u * 512u);
  for (int y = 0; y < 512; y += 3) ASSERT_EQ(whole->frame->counts.at(767, y), sent[y * 768 + 767]);
}

TEST(CameraSession, EndingDuringALongExposureCancelsItInsteadOfWaiting) {
  FrontEnd f;
  f.connect();
  bool exposing = false;
  FrameCallbacks callbacks;
  callbacks.progress = [&](const CameraProgress& p) {
    exposing = p.phase == CameraProgress::Phase::Exposure;
  };
  bool done_ran = false;
  callbacks.done = [&](const FrameOutcome&) { done_ran = true; };
  ASSERT_TRUE(f.session->start_frame({FrameKind::Light, 60, 2}, callbacks));
  ASSERT_TRUE(f.pump([&] { return exposing; }));
  const auto started = Clock_::now();
  f.session.reset();
  EXPECT_LT(Clock_::now() - started, 10s) << "the session waited for the 60 s exposure";
  EXPECT_FALSE(done_ran) << "no reply runs after the session is gone";
}

}  // namespace
}  // namespace stellacq
