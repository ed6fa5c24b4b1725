// An indiserver with indi_stellacq_ccd on this machine and an INDI client
// on it, for the driver's tests and benchmark.
//
// The server gets a free TCP port, a local socket of its own and a scratch
// HOME (where the driver keeps its configuration); the client (libindiclient)
// keeps a copy of every property of one device ("STELLACQ CCD" unless told)
// as it arrives, the BLOBs and the driver's messages, and waits for
// conditions on them.
#pragma once

#include <baseclient.h>
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace stellacq::indi::testing {

inline constexpr const char* kDevice = "STELLACQ CCD";

struct ServerOptions {
  std::string home;                                // scratch HOME of the driver
  std::map<std::string, std::string> environment;  // more variables for the driver
  std::vector<std::string> more_drivers;           // started beside it ("indi_simulator_ccd")
};

class IndiServer {
 public:
  explicit IndiServer(const ServerOptions& options);
  ~IndiServer();  // stops the server and with it the driver
  IndiServer(const IndiServer&) = delete;
  IndiServer& operator=(const IndiServer&) = delete;

  bool running() const { return pid_ > 0; }
  int port() const { return port_; }
  // The process of a driver this server started, by its program's name
  // ("indi_stellacq_ccd"); -1 when there is none.
  pid_t driver_pid(const std::string& program) const;

 private:
  pid_t pid_ = -1;
  pid_t group_ = -1;  // the server's process group, its drivers' too
  int port_ = 0;
  std::string socket_;
};

// A property as last seen.
struct PropertyCopy {
  IPState state = IPS_IDLE;
  std::map<std::string, double> numbers;
  std::map<std::string, double> minimum, step;  // as defined
  std::map<std::string, bool> switches;
  std::map<std::string, std::string> texts;
  std::chrono::steady_clock::time_point at;  // when it arrived
  int updates = 0;
};

struct BlobCopy {
  std::vector<unsigned char> bytes;
  std::string format;
  std::chrono::steady_clock::time_point at;
};

class Client final : public INDI::BaseClient {
 public:
  using Clock = std::chrono::steady_clock;

  // The connection ends before the copies go: libindiclient's reading
  // thread calls this client back until it has ended.
  ~Client() override { disconnectServer(); }

  // Connects to the server on `port` (retrying while it starts) and asks
  // for the device's BLOBs too. False when no server answered.
  bool start(int port, const std::string& device = kDevice);

  // Waits up to `timeout` for `ready` to hold over the copies; true if it did.
  bool wait(const std::function<bool(Client&)>& ready, std::chrono::milliseconds timeout);
  bool wait_state(const std::string& property, IPState state, std::chrono::milliseconds timeout);

  // Copies, taken under the client's lock (call from wait's predicate or alone).
  PropertyCopy property(const std::string& name);
  // Every copy of the property as it arrived, in order: an update that the
  // next one overwrote at once is still here.
  std::vector<PropertyCopy> updates(const std::string& name);
  bool has(const std::string& name);
  std::vector<BlobCopy> blobs();
  std::vector<std::string> messages();
  // True when a message after the first `from` contains `text`.
  bool said(const std::string& text, std::size_t from = 0);

  void set_switch(const std::string& property, const std::string& element);
  void set_number(const std::string& property, const std::map<std::string, double>& values);
  void set_text(const std::string& property, const std::string& element, const std::string& text);

 protected:
  void newProperty(INDI::Property property) override;
  void updateProperty(INDI::Property property) override;
  void newMessage(INDI::BaseDevice device, int id) override;

 private:
  void keep(INDI::Property property);
  std::string device_ = kDevice;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, PropertyCopy> properties_;
  std::map<std::string, std::vector<PropertyCopy>> updates_;
  std::vector<BlobCopy> blobs_;
  std::vector<std::string> messages_;
};

}  // namespace stellacq::indi::testing
