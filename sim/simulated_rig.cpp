#include "sim/simulated_rig.h"

#include <chrono>
#include <thread>

#include "core/busy_count.h"
#include "core/clock.h"
#include "sim/control_unit.h"
#include "sim/observatory.h"
#include "sim/pty_server.h"

namespace stellacq::sim {

namespace {

// The simulated unit behind a port as slow as a real one: the time owed for
// the accesses made is slept off in steps of a millisecond, so the download
// takes the hardware's time without keeping a processor busy.
class PacedPort final : public PortIo {
 public:
  explicit PacedPort(PortIo& inner) : inner_(inner) {}
  void set_access_us(double us) { access_ns_ = us > 0 ? us * 1000.0 : 0; }
  std::uint8_t PortIn(std::uint16_t address) override {
    pace();
    return inner_.PortIn(address);
  }
  void PortOut(std::uint16_t address, std::uint8_t value) override {
    pace();
    inner_.PortOut(address, value);
  }

 private:
  void pace() {
    if (access_ns_ <= 0) return;
    owed_ns_ += access_ns_;
    if (owed_ns_ < 1e6) return;
    std::this_thread::sleep_for(std::chrono::nanoseconds(static_cast<long long>(owed_ns_)));
    owed_ns_ = 0;
  }
  PortIo& inner_;
  double access_ns_ = 0;
  double owed_ns_ = 0;
};

class Rig final : public SimulatedRig {
 public:
  Rig(const RigOptions& options, const ObservatoryOptions& sim_options)
      : observatory_(clock_, sim_options), paced_(observatory_.unit()) {
    camera_.set_models(options.head_model, options.unit_model);
  }
  Camera& camera() override { return camera_; }
  void set_access_us(double us) override { paced_.set_access_us(us); }
  PtyServer& mount_server() { return mount_server_; }

 private:
  SystemClock clock_;
  CalibratedBusyCount busy_{clock_};
  PortAddresses ports_ = port_addresses(kSimBase);
  Observatory observatory_;
  // Feeds the mount from its own thread under the observatory's mount mutex,
  // which the unit also takes when an exposure ends to read the pointing.
  PtyServer mount_server_{observatory_.mount_controller(), observatory_.mount_mutex()};
  PacedPort paced_;
  Camera camera_{paced_, ports_, clock_, busy_};
};

}  // namespace

HardwareOpener simulated_opener(const RigOptions& options, double access_us) {
  return [options, access_us](HardwareOpenResult& result) -> std::unique_ptr<CameraHardware> {
    ObservatoryOptions sim_options;
    sim_options.unit.unit_model = options.unit_model;
    auto rig = std::make_unique<Rig>(options, sim_options);
    rig->set_access_us(access_us);
    std::string error;
    if (rig->mount_server().start(&error))
      result.mount_device = rig->mount_server().path();
    else
      result.message = "The simulated mount could not be served: " + error;
    result.ok = true;
    return rig;
  };
}

}  // namespace stellacq::sim
