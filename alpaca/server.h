// stellacq-alpaca's server: the Alpaca device API of camera 0, the
// management API, the setup pages and the UDP discovery responder.
//
// Threads: cpp-httplib's pool answers the HTTP requests; one loop thread
// runs the camera session's replies (woken through an eventfd) and answers
// discovery datagrams. Image arrays are encoded on the requesting client's
// thread from the image it holds, so a slow download holds up no one else.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "alpaca/camera_device.h"

namespace httplib {
class Server;
}

namespace stellacq::alpaca {

// Settings given on the command line: they serve this run, and the settings
// file keeps its own value unless the setup page changes them.
struct CommandLineSettings {
  std::optional<bool> simulate;
  std::optional<std::string> fits_folder;
  std::optional<double> sim_access_us;
};

struct ServerOptions {
  std::string listen = "127.0.0.1";  // the address the HTTP server binds
  int port = 11111;                  // 0 = any free port (tests)
  int discovery_port = 32227;        // 0 = no discovery responder
  std::string settings_path;         // where the setup page saves ("" = nowhere)
  CommandLineSettings command_line;
};

// The settings file: the setup page's values as JSON. Missing or unreadable
// fields keep `defaults`.
DeviceSettings load_settings(const std::string& path, const DeviceSettings& defaults);
// Empty on success, else why the file could not be written.
std::string save_settings(const std::string& path, const DeviceSettings& settings);
// load_settings, and a UniqueID made and saved when the file has none (the
// first start); one that cannot be saved still serves this run.
DeviceSettings load_settings_with_id(const std::string& path);
// $XDG_CONFIG_HOME/stellacq/alpaca.json, or ~/.config/stellacq/alpaca.json.
std::string default_settings_path();

// The ImageBytes form of an image: the 44-byte metadata (version 1, Int32
// image elements sent as UInt16) then the counts, x the outer index.
std::string image_bytes(const Image& image, std::uint32_t client_transaction,
                        std::uint32_t server_transaction);
// An ImageBytes error answer: the metadata, then the message.
std::string image_bytes_error(int error_number, const std::string& message, std::uint32_t client_transaction,
                              std::uint32_t server_transaction);

class AlpacaServer {
 public:
  AlpacaServer(const ServerOptions& options, const DeviceSettings& settings);
  ~AlpacaServer();
  AlpacaServer(const AlpacaServer&) = delete;
  AlpacaServer& operator=(const AlpacaServer&) = delete;

  // Binds the HTTP port and the discovery sockets and starts serving.
  // False, with the reason in `error`, when the address cannot be bound.
  bool start(std::string* error);
  // Stops serving and waits for the threads.
  void stop();
  int port() const { return bound_port_; }
  CameraDevice& device() { return device_; }

 private:
  void routes();
  void loop();
  void answer_discovery(int fd);
  bool open_discovery(std::string* error);

  ServerOptions options_;
  EventFdWakeUp wake_;
  EventFdWakeUp stop_;
  CameraDevice device_;
  std::unique_ptr<httplib::Server> http_;
  std::vector<int> discovery_fds_;
  std::atomic<std::uint32_t> server_transaction_{0};
  int bound_port_ = 0;
  std::thread http_thread_;
  std::thread loop_thread_;
};

}  // namespace stellacq::alpaca
