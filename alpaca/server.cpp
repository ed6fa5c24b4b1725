#include "alpaca/server.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

#include "alpaca/image_array.h"
#include "alpaca/request_parts.h"
#include "alpaca/settings_file.h"
#include "alpaca/setup_form.h"

namespace stellacq::alpaca {

namespace {

using nlohmann::json;

constexpr const char* kDiscoveryMessage = "alpacadiscovery1";
constexpr const char* kDiscoveryGroupV6 = "ff12::a1:9aca";

HttpResponse text(int status, std::string body) {
  HttpResponse r;
  r.status = status;
  r.body = std::move(body);
  return r;
}

HttpResponse json_answer(const json& j) {
  HttpResponse r;
  r.content_type = "application/json";
  // Every text in an answer is valid UTF-8 (the requests' are checked); a
  // byte that is not would be replaced rather than fail the answer.
  r.body = j.dump(-1, ' ', false, json::error_handler_t::replace);
  return r;
}

std::string random_token() {
  std::random_device random;
  char text[33];
  for (int i = 0; i < 4; ++i) std::snprintf(text + 8 * i, 9, "%08x", static_cast<unsigned>(random()));
  return text;
}

}  // namespace

AlpacaServer::AlpacaServer(const ServerOptions& options, const DeviceSettings& settings)
    : options_(options),
      device_(settings, wake_),
      http_([this](const HttpRequest& request) { return answer(request); }, options.limits),
      token_(random_token()) {
  if (options_.fits_root.empty()) options_.fits_root = default_fits_root();
}

AlpacaServer::~AlpacaServer() { stop(); }

AlpacaServer::FrameBodies AlpacaServer::frame_bodies(const std::shared_ptr<const Image>& image, bool pixels) {
  {
    std::lock_guard<std::mutex> lock(bodies_mutex_);
    if (bodies_image_ == image && (!pixels || bodies_.pixels)) return bodies_;
  }
  // Made outside the lock (a few milliseconds for a full frame); two
  // first requests at once make it twice, and either is kept.
  FrameBodies made;
  made.json_columns = ImageJson::columns_bytes(*image);
  if (pixels) made.pixels = std::make_shared<const std::string>(image_pixels(*image));
  std::lock_guard<std::mutex> lock(bodies_mutex_);
  if (bodies_image_ == image && !made.pixels) made.pixels = bodies_.pixels;
  bodies_image_ = image;
  bodies_ = made;
  return made;
}

HttpResponse AlpacaServer::answer(const HttpRequest& request) {
  // Only the server's own names: a foreign name that resolves to this
  // machine (DNS rebinding) would make a web page this server's own origin.
  if (!guard_->host_allowed(request.host))
    return text(403,
                "This server answers only to its own names and addresses; start it with --allow-host NAME "
                "to add a name.\n");
  if (const auto* bad = not_utf8(request.query); bad)
    return text(400, "A parameter of the request is not UTF-8 text.\n");
  if (const auto* bad = not_utf8(request.form); bad)
    return text(400, "A parameter of the request is not UTF-8 text.\n");
  if (request.method != "GET" && !RequestGuard::same_origin(request))
    return text(403, "Changes from the pages of another site are refused.\n");

  const std::vector<std::string> parts = split_path(request.path);
  if (parts.size() == 5 && parts[0] == "api" && parts[1] == "v1") {
    if (request.method != "GET" && request.method != "PUT") {
      HttpResponse r = text(405, "The device API takes GET and PUT.\n");
      r.headers.emplace_back("Allow", "GET, PUT");
      return r;
    }
    return device_api(request, parts[2], parts[3], parts[4]);
  }
  if (request.path.rfind("/management/", 0) == 0) return management(request, request.path);
  if (request.path == "/setup" || request.path == "/setup/v1/camera/0/setup") return setup(request);
  return text(404, "Not found.\n");
}

HttpResponse AlpacaServer::device_api(const HttpRequest& request, const std::string& type,
                                      const std::string& number, const std::string& member) {
  if (type != "camera" || number != "0")
    return text(404, "There is no " + type + " device " + number + ".\n");
  const bool put = request.method == "PUT";
  // Alpaca API, "Alpaca Device API" / ConformU's protocol checks: a PUT's
  // parameters come in the form body, their names as the API spells them
  // (a name in other casing is not that parameter: "Bad casing" expects 400,
  // a lower-case ClientTransactionID is not echoed); parameters in a PUT's
  // query are not its own. A GET's query names are compared without regard
  // to case ("Inverted casing" and "Different ClientTransactionID casing"
  // expect 200 and the ID echoed).
  Params params;
  if (put) {
    for (const auto& [name, value] : request.form) params.emplace(name, value);
  } else {
    for (const auto& [name, value] : request.query) {
      std::string canonical = name;
      for (const char* known : {"ClientID", "ClientTransactionID"})
        if (strcasecmp(name.c_str(), known) == 0) canonical = known;
      params.emplace(canonical, value);
    }
  }
  const std::uint32_t client = transaction_id(params);
  const std::uint32_t server = ++server_transaction_;
  const Answer a = device_.answer(put, member, params);
  if (a.http_status != 200) return text(a.http_status, a.message + "\n");
  // Alpaca ImageBytes: sent when the client lists application/imagebytes in
  // Accept with a q-value above 0 and not below that of application/json.
  const double bytes_weight = accept_weight(request.accept, "application/imagebytes");
  const bool wants_bytes = (member == "imagearray" || member == "imagearrayvariant") && bytes_weight > 0 &&
                           bytes_weight >= accept_weight(request.accept, "application/json");
  if (wants_bytes) {
    HttpResponse r;
    r.content_type = "application/imagebytes";
    if (a.image) {
      r.body = image_bytes_metadata(0, client, server, 2, a.image->width, a.image->height);
      r.tail = frame_bodies(a.image, true).pixels;
    } else {
      r.body = image_bytes_metadata(a.error_number, client, server, 0, 0, 0) + a.message;
    }
    return r;
  }
  if (a.image) {
    HttpResponse r;
    r.content_type = "application/json";
    r.source = std::make_shared<ImageJson>(a.image, frame_bodies(a.image).json_columns, client, server);
    return r;
  }
  json j = json::object();
  if (a.value) j["Value"] = *a.value;
  j["ClientTransactionID"] = client;
  j["ServerTransactionID"] = server;
  j["ErrorNumber"] = a.error_number;
  j["ErrorMessage"] = a.message;
  return json_answer(j);
}

HttpResponse AlpacaServer::management(const HttpRequest& request, const std::string& path) {
  if (request.method != "GET") return text(405, "The management API takes GET.\n");
  Params params;
  for (const auto& [name, value] : request.query)
    params.emplace(strcasecmp(name.c_str(), "ClientTransactionID") == 0 ? "ClientTransactionID" : name,
                   value);
  json value;
  if (path == "/management/apiversions") {
    value = json::array({1});
  } else if (path == "/management/v1/description") {
    value = {{"ServerName", "STELLACQ Alpaca server"},
             {"Manufacturer", "STELLACQ"},
             {"ManufacturerVersion", STELLACQ_VERSION},
             {"Location", ""}};
  } else if (path == "/management/v1/configureddevices") {
    value = json::array({{{"DeviceName", "STELLACQ CCD"},
                          {"DeviceType", "Camera"},
                          {"DeviceNumber", 0},
                          {"UniqueID", device_.settings().unique_id}}});
  } else {
    return text(404, "Not found.\n");
  }
  return json_answer({{"Value", std::move(value)},
                      {"ClientTransactionID", transaction_id(params)},
                      {"ServerTransactionID", ++server_transaction_},
                      {"ErrorNumber", 0},
                      {"ErrorMessage", ""}});
}

HttpResponse AlpacaServer::setup(const HttpRequest& request) {
  SetupView view;
  view.settings = device_.settings();
  view.token = token_;
  view.fits_root = options_.fits_root;
  HttpResponse r;
  r.content_type = "text/html; charset=utf-8";
  // The page may not be shown inside another site's frame.
  r.headers = {{"X-Frame-Options", "DENY"}, {"Content-Security-Policy", "frame-ancestors 'none'"}};
  if (request.method == "POST") {
    const auto token = std::find_if(request.form.begin(), request.form.end(),
                                    [](const auto& field) { return field.first == "token"; });
    if (token == request.form.end() || token->second != token_) {
      r.status = 403;
      view.note = "Nothing was changed: the form is not this server's own. Change the settings on this page.";
    } else if (!settings_from_form(request.form, view)) {
      r.status = 400;
      view.note = "Nothing was changed: correct the values marked.";
    } else if (const auto refused = device_.change_settings(view.settings)) {
      r.status = 409;
      view.note = *refused;
      view.settings = device_.settings();
    } else if (!options_.settings_path.empty()) {
      // A value the form only echoes from the command line stays the file's own.
      DeviceSettings to_save = view.settings;
      const DeviceSettings in_file = load_settings(options_.settings_path, DeviceSettings{});
      const CommandLineSettings& given = options_.command_line;
      if (given.simulate == to_save.simulate) to_save.simulate = in_file.simulate;
      if (given.fits_folder == to_save.fits_folder) to_save.fits_folder = in_file.fits_folder;
      if (given.sim_access_us == to_save.sim_access_us) to_save.sim_access_us = in_file.sim_access_us;
      const std::string error = save_settings(options_.settings_path, to_save);
      view.note = error.empty() ? "Saved." : "The settings apply, but could not be saved: " + error;
    } else {
      view.note = "Applied.";
    }
  } else if (request.method != "GET") {
    return text(405, "The setup page takes GET and POST.\n");
  }
  view.connected = device_.connected();
  view.mount = device_.mount_device();
  r.body = setup_page(view);
  return r;
}

// Discovery answers on the address families the HTTP server takes
// connections on, no other: a client that finds the server must reach it
// (Alpaca API, "Alpaca Discovery Protocol": the reply names only the port,
// to be used at the address the answer came from).
bool AlpacaServer::open_discovery(std::string* error) {
  if (options_.discovery_port <= 0) return true;
  const bool loopback = http_.loopback();
  const auto bound = [&](int fd, const sockaddr* address, socklen_t size) {
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (bind(fd, address, size) != 0) {
      close(fd);
      return false;
    }
    discovery_fds_.push_back(fd);
    return true;
  };
  const auto port = htons(static_cast<std::uint16_t>(options_.discovery_port));
  if (http_.takes_ipv4()) {
    const int v4 = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in a4{};
    a4.sin_family = AF_INET;
    a4.sin_port = port;
    a4.sin_addr.s_addr = htonl(loopback ? INADDR_LOOPBACK : INADDR_ANY);
    if (v4 < 0 || !bound(v4, reinterpret_cast<sockaddr*>(&a4), sizeof a4)) {
      if (error)
        *error = "The discovery port " + std::to_string(options_.discovery_port) +
                 " cannot be used: " + std::strerror(errno);
      http_.stop();
      return false;
    }
  }
  // IPv6 where the machine has it: the Alpaca multicast group on every
  // interface, or the loopback only.
  const int v6 = http_.takes_ipv6() ? socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0) : -1;
  if (v6 >= 0) {
    int yes = 1;
    setsockopt(v6, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
    sockaddr_in6 a6{};
    a6.sin6_family = AF_INET6;
    a6.sin6_port = port;
    a6.sin6_addr = loopback ? in6addr_loopback : in6addr_any;
    if (bound(v6, reinterpret_cast<sockaddr*>(&a6), sizeof a6) && !loopback) {
      ipv6_mreq group{};
      inet_pton(AF_INET6, kDiscoveryGroupV6, &group.ipv6mr_multiaddr);
      setsockopt(v6, IPPROTO_IPV6, IPV6_JOIN_GROUP, &group, sizeof group);
    }
  }
  return true;
}

bool AlpacaServer::start(std::string* error) {
  if (wake_.fd() < 0 || stop_.fd() < 0) {
    if (error) *error = "The server could not make its wake-up descriptors.";
    return false;
  }
  if (!http_.bind(options_.listen, options_.port, error)) return false;
  bound_port_ = http_.port();
  guard_ = std::make_unique<RequestGuard>(http_.loopback(), options_.allow_hosts);
  if (!open_discovery(error)) return false;
  http_.start();
  loop_thread_ = std::thread([this] { loop(); });
  serving_ = true;
  return true;
}

void AlpacaServer::stop() {
  if (!serving_) return;
  serving_ = false;
  http_.stop();
  stop_.wake();
  loop_thread_.join();
  for (const int fd : discovery_fds_) close(fd);
  discovery_fds_.clear();
}

void AlpacaServer::answer_discovery(int fd) {
  char buffer[512];
  sockaddr_storage from{};
  socklen_t from_size = sizeof from;
  const ssize_t got = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &from_size);
  const std::size_t prefix = std::strlen(kDiscoveryMessage);
  if (got < static_cast<ssize_t>(prefix) || std::memcmp(buffer, kDiscoveryMessage, prefix) != 0) return;
  const std::string reply = json{{"AlpacaPort", bound_port_}}.dump();
  sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), from_size);
}

void AlpacaServer::loop() {
  for (;;) {
    std::vector<pollfd> watched{{wake_.fd(), POLLIN, 0}, {stop_.fd(), POLLIN, 0}};
    for (const int fd : discovery_fds_) watched.push_back({fd, POLLIN, 0});
    if (poll(watched.data(), watched.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents) return;
    if (watched[0].revents) {
      wake_.clear();
      device_.run_replies();
    }
    for (std::size_t i = 2; i < watched.size(); ++i)
      if (watched[i].revents & POLLIN) answer_discovery(watched[i].fd);
  }
}

}  // namespace stellacq::alpaca
