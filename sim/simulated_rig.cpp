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

}  // namespace

class SimulatedSite {
 public:
  SimulatedSite(const std::string& link, const ObservatoryOptions& options)
      : observatory_(clock_, options),
        mount_server_(observatory_.mount_controller(), observatory_.mount_mutex(), PtyServerOptions{link}) {}
  SystemClock& clock() { return clock_; }
  Observatory& observatory() { return observatory_; }
  PtyServer& mount_server() { return mount_server_; }
  const std::string& mount_device() const { return device_; }
  void set_mount_device(std::string device) { device_ = std::move(device); }

 private:
  SystemClock clock_;
  Observatory observatory_;
  // Feeds the mount from its own thread under the observatory's mount mutex,
  // which the unit also takes when an exposure ends to read the pointing.
  PtyServer mount_server_;
  std::string device_;  // the link, else the pseudo-terminal
};

namespace {

class Rig final : public SimulatedRig {
 public:
  Rig(std::shared_ptr<SimulatedSite> site, const RigOptions& options)
      : site_(std::move(site)), paced_(site_->observatory().unit()) {
    site_->observatory().unit().options().unit_model = options.unit_model;
    camera_.set_models(options.head_model, options.unit_model);
  }
  Camera& camera() override { return camera_; }
  void set_access_us(double us) override { paced_.set_access_us(us); }

 private:
  std::shared_ptr<SimulatedSite> site_;
  CalibratedBusyCount busy_{site_->clock()};
  PortAddresses ports_ = port_addresses(kSimBase);
  PacedPort paced_;
  Camera camera_{paced_, ports_, site_->clock(), busy_};
};

std::shared_ptr<SimulatedSite> make_site(const std::string& link, int unit_model, std::string* error) {
  ObservatoryOptions options;
  options.unit.unit_model = unit_model;
  auto site = std::make_shared<SimulatedSite>(link, options);
  if (!site->mount_server().start(error)) return nullptr;
  site->set_mount_device(link.empty() ? site->mount_server().path() : link);
  return site;
}

}  // namespace

std::shared_ptr<SimulatedSite> start_simulated_site(const std::string& link, std::string* error) {
  return make_site(link, kUnitTu22, error);
}

HardwareOpener simulated_opener(std::shared_ptr<SimulatedSite> site, const RigOptions& options,
                                double access_us) {
  return [site, options, access_us](HardwareOpenResult& result) -> std::unique_ptr<CameraHardware> {
    auto rig = std::make_unique<Rig>(site, options);
    rig->set_access_us(access_us);
    result.mount_device = site->mount_device();
    result.ok = true;
    return rig;
  };
}

HardwareOpener simulated_opener(const RigOptions& options, double access_us) {
  return [options, access_us](HardwareOpenResult& result) -> std::unique_ptr<CameraHardware> {
    std::string error;
    std::shared_ptr<SimulatedSite> site = make_site("", options.unit_model, &error);
    if (!site) {
      // The camera works without the mount.
      result.message = "The simulated mount could not be served: " + error;
      ObservatoryOptions sim_options;
      sim_options.unit.unit_model = options.unit_model;
      site = std::make_shared<SimulatedSite>("", sim_options);
    }
    auto rig = std::make_unique<Rig>(site, options);
    rig->set_access_us(access_us);
    result.mount_device = site->mount_device();
    result.ok = true;
    return rig;
  };
}

}  // namespace stellacq::sim
