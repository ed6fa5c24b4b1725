// stellacq-alpaca's server: the Alpaca device API of camera 0, the
// management API, the setup pages and the UDP discovery responder.
//
// Threads: the HTTP server's event loop holds the connections and its few
// workers answer the requests; one loop thread runs the camera session's
// replies (woken through an eventfd) and answers discovery datagrams. An
// image's ImageBytes are made once per frame and shared by every download
// of it, so a slow download holds up no one else and costs no copy.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "alpaca/camera_device.h"
#include "alpaca/http_server.h"
#include "alpaca/request_guard.h"

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
  // The folder the setup page may set the FITS folder within ("" = the
  // server's own data folder, default_fits_root()).
  std::string fits_root;
  // Names besides the machine's own a request may give as its Host when
  // the server listens on a network.
  std::vector<std::string> allow_hosts;
  HttpLimits limits;
  CommandLineSettings command_line;
};

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
  // The token the setup form carries.
  const std::string& form_token() const { return token_; }

 private:
  HttpResponse answer(const HttpRequest& request);
  HttpResponse device_api(const HttpRequest& request, const std::string& type, const std::string& number,
                          const std::string& member);
  HttpResponse management(const HttpRequest& request, const std::string& path);
  HttpResponse setup(const HttpRequest& request);
  // What the answers of the last frame share, made once for it: the pixels
  // as ImageBytes carry them (when `pixels`), the length of its JSON array.
  struct FrameBodies {
    std::shared_ptr<const std::string> pixels;
    std::size_t json_columns = 0;
  };
  FrameBodies frame_bodies(const std::shared_ptr<const Image>& image, bool pixels = false);
  void loop();
  void answer_discovery(int fd);
  bool open_discovery(std::string* error);

  ServerOptions options_;
  EventFdWakeUp wake_;
  EventFdWakeUp stop_;
  CameraDevice device_;
  HttpServer http_;
  std::unique_ptr<RequestGuard> guard_;
  std::string token_;
  std::mutex bodies_mutex_;
  std::shared_ptr<const Image> bodies_image_;
  FrameBodies bodies_;
  std::vector<int> discovery_fds_;
  std::atomic<std::uint32_t> server_transaction_{0};
  int bound_port_ = 0;
  bool serving_ = false;
  std::thread loop_thread_;
};

}  // namespace stellacq::alpaca
