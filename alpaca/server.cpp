#include "alpaca/server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "camera/geometry.h"
#include "core/durable_file.h"

namespace stellacq::alpaca {

namespace {

using nlohmann::json;

constexpr const char* kDiscoveryMessage = "alpacadiscovery1";
constexpr const char* kDiscoveryGroupV6 = "ff12::a1:9aca";
// A PUT body is a handful of short parameters.
constexpr std::size_t kMaxBody = 64 * 1024;
constexpr int kImageElementInt32 = 2;
constexpr int kTransmissionUInt16 = 8;
constexpr std::size_t kImageBytesHeader = 44;
// A connection holds a worker while it is open: between a client's polls
// (keep-alive), while a request comes in slowly, while an image goes out to
// a slow reader. Enough of them that a few such clients -- a browser on the
// setup page, several imaging programs each with its own connections -- do
// not hold up the others.
constexpr std::size_t kWorkers = 32;
constexpr double kPixelMinUm = 1, kPixelMaxUm = 40;

std::uint32_t transaction_id(const httplib::Request& request) {
  for (const auto& [name, text] : request.params) {
    if (strcasecmp(name.c_str(), "ClientTransactionID") != 0) continue;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || text[0] == '-' || v > 0xFFFFFFFFull) return 0;
    return static_cast<std::uint32_t>(v);
  }
  return 0;
}

void put_le32(std::string& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string metadata(int error_number, std::uint32_t client, std::uint32_t server, int rank, int x, int y) {
  std::string out(kImageBytesHeader, '\0');
  const std::uint32_t fields[] = {1,
                                  static_cast<std::uint32_t>(error_number),
                                  client,
                                  server,
                                  static_cast<std::uint32_t>(kImageBytesHeader),
                                  static_cast<std::uint32_t>(kImageElementInt32),
                                  static_cast<std::uint32_t>(kTransmissionUInt16),
                                  static_cast<std::uint32_t>(rank),
                                  static_cast<std::uint32_t>(x),
                                  static_cast<std::uint32_t>(y),
                                  0};
  for (std::size_t i = 0; i < std::size(fields); ++i) put_le32(out, 4 * i, fields[i]);
  return out;
}

std::uint16_t clipped(std::int32_t count) {
  return static_cast<std::uint16_t>(std::clamp<std::int32_t>(count, 0, 65535));
}

// {"Type":2,"Rank":2,"Value":[[column 0],[column 1],...], ...}: the array
// written straight from the counts, the rest of the object by the JSON
// library.
std::string image_json(const Image& image, std::uint32_t client, std::uint32_t server) {
  std::string out;
  out.reserve(static_cast<std::size_t>(image.width) * image.height * 6 + 256);
  out += R"({"Type":2,"Rank":2,"Value":[)";
  char number[16];
  for (int x = 0; x < image.width; ++x) {
    out += x ? ",[" : "[";
    for (int y = 0; y < image.height; ++y) {
      if (y) out += ',';
      const auto [end, ec] = std::to_chars(number, number + sizeof number, image.counts.at(x, y));
      out.append(number, end);
    }
    out += ']';
  }
  out += "],";
  const json rest = {{"ClientTransactionID", client},
                     {"ServerTransactionID", server},
                     {"ErrorNumber", 0},
                     {"ErrorMessage", ""}};
  const std::string tail = rest.dump();
  out.append(tail, 1, std::string::npos);  // without its opening brace
  return out;
}

std::string html_escape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string setup_page(const DeviceSettings& s, bool connected, const std::string& mount,
                       const std::string& note) {
  const auto selected = [](bool on) { return on ? " selected" : ""; };
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>STELLACQ camera "
      "setup</title></head><body>\n"
      "<h1>STELLACQ CCD</h1>\n<p>ASCOM Alpaca camera 0: a TX-11 or TX-22 head on a TU-11 or TU-22 control "
      "unit, on the parallel port.</p>\n";
  page += std::string("<p>The camera is ") + (connected ? "connected" : "not connected") + ".</p>\n";
  if (!mount.empty()) page += "<p>The simulated mount answers LX200 on " + html_escape(mount) + ".</p>\n";
  if (!note.empty()) page += "<p><strong>" + html_escape(note) + "</strong></p>\n";
  page +=
      "<form method=\"post\" action=\"/setup/v1/camera/0/setup\">\n<input type=\"hidden\" name=\"form\" "
      "value=\"1\">\n<p><label>Camera head <select name=\"head\"><option value=\"TX22\"" +
      std::string(selected(s.head_model != kHeadTx11)) +
      ">TX-22 (1536 x 1024)</option><option value=\"TX11\"" + selected(s.head_model == kHeadTx11) +
      ">TX-11 (768 x 512)</option></select></label></p>\n"
      "<p><label>Control unit <select name=\"unit\"><option value=\"TU22\"" +
      selected(s.unit_model != kUnitTu11) + ">TU-22</option><option value=\"TU11\"" +
      selected(s.unit_model == kUnitTu11) + ">TU-11</option></select></label></p>\n" +
      "<p><label>Parallel port <input name=\"port\" value=\"" + html_escape(s.port) + "\"></label></p>\n" +
      "<p><label>TX-11 pixel (um) <input name=\"pixel_tx11\" value=\"" + std::to_string(s.pixel_tx11_um) +
      "\"></label> <label>TX-22 pixel (um) <input name=\"pixel_tx22\" value=\"" +
      std::to_string(s.pixel_tx22_um) + "\"></label></p>\n" +
      "<p><label><input type=\"checkbox\" name=\"simulate\"" + (s.simulate ? " checked" : "") +
      "> Simulated observatory</label></p>\n" +
      "<p><label>FITS folder on the server <input name=\"fits_folder\" value=\"" +
      html_escape(s.fits_folder) +
      "\"></label> (empty: no copy)</p>\n<p><input type=\"submit\" "
      "value=\"Save\"></p>\n</form>\n</body></html>\n";
  return page;
}

// The setup form's values over `current`; false with the reason when a
// field is malformed.
bool settings_from_form(const httplib::Request& request, DeviceSettings& s, std::string& why) {
  const auto field = [&](const char* name) -> const std::string* {
    const auto it = request.params.find(name);
    return it == request.params.end() ? nullptr : &it->second;
  };
  if (const std::string* head = field("head")) {
    if (*head != "TX11" && *head != "TX22") return why = "Unknown camera head " + *head + ".", false;
    s.head_model = *head == "TX11" ? kHeadTx11 : kHeadTx22;
  }
  if (const std::string* unit = field("unit")) {
    if (*unit != "TU11" && *unit != "TU22") return why = "Unknown control unit " + *unit + ".", false;
    s.unit_model = *unit == "TU11" ? kUnitTu11 : kUnitTu22;
  }
  if (const std::string* port = field("port")) s.port = *port;
  for (const auto& [name, target] :
       {std::pair<const char*, double*>{"pixel_tx11", &s.pixel_tx11_um}, {"pixel_tx22", &s.pixel_tx22_um}}) {
    if (const std::string* text = field(name)) {
      char* end = nullptr;
      const double v = std::strtod(text->c_str(), &end);
      if (text->empty() || *end != '\0' || !(v >= kPixelMinUm && v <= kPixelMaxUm))
        return why = std::string("The pixel size must be a number from 1 to 40 um."), false;
      *target = v;
    }
  }
  if (field("form")) s.simulate = field("simulate") != nullptr;
  if (const std::string* folder = field("fits_folder")) s.fits_folder = *folder;
  return true;
}

bool is_loopback(const std::string& address) {
  return address == "127.0.0.1" || address == "localhost" || address == "::1";
}

}  // namespace

std::string default_settings_path() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    return std::string(xdg) + "/stellacq/alpaca.json";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.config/stellacq/alpaca.json";
}

DeviceSettings load_settings(const std::string& path, const DeviceSettings& defaults) {
  DeviceSettings s = defaults;
  std::ifstream in(path);
  if (!in) return s;
  const json j = json::parse(in, nullptr, false);
  if (!j.is_object()) return s;
  const auto take = [&](const char* key, auto& target) {
    using T = std::decay_t<decltype(target)>;
    const auto it = j.find(key);
    if (it == j.end()) return;
    if constexpr (std::is_same_v<T, bool>) {
      if (it->is_boolean()) target = it->template get<bool>();
    } else if constexpr (std::is_same_v<T, std::string>) {
      if (it->is_string()) target = it->template get<std::string>();
    } else {
      if (it->is_number()) target = it->template get<T>();
    }
  };
  take("simulate", s.simulate);
  take("port", s.port);
  take("head_model", s.head_model);
  take("unit_model", s.unit_model);
  take("pixel_tx11_um", s.pixel_tx11_um);
  take("pixel_tx22_um", s.pixel_tx22_um);
  take("fits_folder", s.fits_folder);
  take("sim_access_us", s.sim_access_us);
  take("unique_id", s.unique_id);
  // A hand-edited file may hold what the setup page and the command line
  // refuse: those values keep their defaults.
  if (s.head_model != kHeadTx11 && s.head_model != kHeadTx22) s.head_model = defaults.head_model;
  if (s.unit_model != kUnitTu11 && s.unit_model != kUnitTu22) s.unit_model = defaults.unit_model;
  if (!(s.pixel_tx11_um >= kPixelMinUm && s.pixel_tx11_um <= kPixelMaxUm))
    s.pixel_tx11_um = defaults.pixel_tx11_um;
  if (!(s.pixel_tx22_um >= kPixelMinUm && s.pixel_tx22_um <= kPixelMaxUm))
    s.pixel_tx22_um = defaults.pixel_tx22_um;
  if (!(s.sim_access_us >= 0 && s.sim_access_us <= 10)) s.sim_access_us = defaults.sim_access_us;
  return s;
}

namespace {

// A random (version 4) UUID.
std::string new_unique_id() {
  std::random_device random;
  std::uint8_t b[16];
  for (int i = 0; i < 16; i += 4) {
    const std::uint32_t r = random();
    for (int k = 0; k < 4; ++k) b[i + k] = static_cast<std::uint8_t>(r >> (8 * k));
  }
  b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);
  b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);
  char text[37];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return text;
}

}  // namespace

DeviceSettings load_settings_with_id(const std::string& path) {
  DeviceSettings s = load_settings(path, DeviceSettings{});
  if (s.unique_id.empty()) {
    s.unique_id = new_unique_id();
    save_settings(path, s);
  }
  return s;
}

std::string save_settings(const std::string& path, const DeviceSettings& s) {
  const json j = {{"simulate", s.simulate},           {"port", s.port},
                  {"head_model", s.head_model},       {"unit_model", s.unit_model},
                  {"pixel_tx11_um", s.pixel_tx11_um}, {"pixel_tx22_um", s.pixel_tx22_um},
                  {"fits_folder", s.fits_folder},     {"sim_access_us", s.sim_access_us},
                  {"unique_id", s.unique_id}};
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  const std::string bytes = j.dump(2) + "\n";
  return replace_file(path, [&bytes](int fd) { return write_all(fd, bytes.data(), bytes.size()); }).reason;
}

std::string image_bytes(const Image& image, std::uint32_t client, std::uint32_t server) {
  std::string out = metadata(0, client, server, 2, image.width, image.height);
  out.resize(kImageBytesHeader + static_cast<std::size_t>(image.width) * image.height * 2);
  char* p = out.data() + kImageBytesHeader;
  for (int x = 0; x < image.width; ++x)
    for (int y = 0; y < image.height; ++y) {
      const std::uint16_t v = clipped(image.counts.at(x, y));
      *p++ = static_cast<char>(v & 0xFF);
      *p++ = static_cast<char>(v >> 8);
    }
  return out;
}

std::string image_bytes_error(int error_number, const std::string& message, std::uint32_t client,
                              std::uint32_t server) {
  return metadata(error_number, client, server, 0, 0, 0) + message;
}

AlpacaServer::AlpacaServer(const ServerOptions& options, const DeviceSettings& settings)
    : options_(options), device_(settings, wake_), http_(std::make_unique<httplib::Server>()) {
  routes();
}

AlpacaServer::~AlpacaServer() { stop(); }

void AlpacaServer::routes() {
  httplib::Server& http = *http_;
  http.set_payload_max_length(kMaxBody);
  http.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
  // The port is this server's alone: SO_REUSEADDR for a quick restart, but
  // not SO_REUSEPORT, which would let a second server share it.
  http.set_socket_options([](int fd) {
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  http.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (!response.body.empty()) return;
    const std::string text = response.status == 404   ? "Not found.\n"
                             : response.status == 413 ? "The request is too large.\n"
                                                      : "The request was not understood.\n";
    response.set_content(text, "text/plain");
  });

  const auto device_api = [this](const httplib::Request& request, httplib::Response& response) {
    const bool put = request.method == "PUT";
    const std::string type = request.matches[1], number = request.matches[2], member = request.matches[3];
    if (type != "camera" || number != "0") {
      response.status = 404;
      response.set_content("There is no " + type + " device " + number + ".\n", "text/plain");
      return;
    }
    Params params;
    for (const auto& [name, text] : request.params) params.emplace(name, text);
    const std::uint32_t client = transaction_id(request);
    const std::uint32_t server = ++server_transaction_;
    const Answer a = device_.answer(put, member, params);
    if (a.http_status != 200) {
      response.status = a.http_status;
      response.set_content(a.message + "\n", "text/plain");
      return;
    }
    const bool wants_bytes =
        request.get_header_value("Accept").find("application/imagebytes") != std::string::npos &&
        (member == "imagearray" || member == "imagearrayvariant");
    if (wants_bytes) {
      response.set_content(a.image ? image_bytes(*a.image, client, server)
                                   : image_bytes_error(a.error_number, a.message, client, server),
                           "application/imagebytes");
      return;
    }
    if (a.image) {
      response.set_content(image_json(*a.image, client, server), "application/json");
      return;
    }
    json j = json::object();
    if (a.value) j["Value"] = *a.value;
    j["ClientTransactionID"] = client;
    j["ServerTransactionID"] = server;
    j["ErrorNumber"] = a.error_number;
    j["ErrorMessage"] = a.message;
    response.set_content(j.dump(), "application/json");
  };
  http.Get(R"(/api/v1/([^/]+)/([^/]+)/([^/]+))", device_api);
  http.Put(R"(/api/v1/([^/]+)/([^/]+)/([^/]+))", device_api);

  const auto management = [this](const httplib::Request& request, json value) {
    return json{{"Value", std::move(value)},
                {"ClientTransactionID", transaction_id(request)},
                {"ServerTransactionID", ++server_transaction_},
                {"ErrorNumber", 0},
                {"ErrorMessage", ""}}
        .dump();
  };
  http.Get("/management/apiversions",
           [management](const httplib::Request& request, httplib::Response& response) {
             response.set_content(management(request, json::array({1})), "application/json");
           });
  http.Get("/management/v1/description",
           [management](const httplib::Request& request, httplib::Response& response) {
             response.set_content(management(request, {{"ServerName", "STELLACQ Alpaca server"},
                                                       {"Manufacturer", "STELLACQ"},
                                                       {"ManufacturerVersion", STELLACQ_VERSION},
                                                       {"Location", ""}}),
                                  "application/json");
           });
  http.Get("/management/v1/configureddevices", [this, management](const httplib::Request& request,
                                                                  httplib::Response& response) {
    response.set_content(management(request, json::array({{{"DeviceName", "STELLACQ CCD"},
                                                           {"DeviceType", "Camera"},
                                                           {"DeviceNumber", 0},
                                                           {"UniqueID", device_.settings().unique_id}}})),
                         "application/json");
  });

  const auto show_setup = [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(setup_page(device_.settings(), device_.connected(), device_.mount_device(), ""),
                         "text/html; charset=utf-8");
  };
  const auto change_setup = [this](const httplib::Request& request, httplib::Response& response) {
    DeviceSettings wanted = device_.settings();
    std::string note;
    if (!settings_from_form(request, wanted, note)) {
      response.status = 400;
    } else if (const auto refused = device_.change_settings(wanted)) {
      note = *refused;
      response.status = 409;
    } else if (!options_.settings_path.empty()) {
      // A value the form only echoes from the command line stays the file's own.
      DeviceSettings to_save = wanted;
      const DeviceSettings in_file = load_settings(options_.settings_path, DeviceSettings{});
      const CommandLineSettings& given = options_.command_line;
      if (given.simulate == wanted.simulate) to_save.simulate = in_file.simulate;
      if (given.fits_folder == wanted.fits_folder) to_save.fits_folder = in_file.fits_folder;
      if (given.sim_access_us == wanted.sim_access_us) to_save.sim_access_us = in_file.sim_access_us;
      const std::string error = save_settings(options_.settings_path, to_save);
      note = error.empty() ? "Saved." : "The settings apply, but could not be saved: " + error;
    } else {
      note = "Applied.";
    }
    response.set_content(setup_page(device_.settings(), device_.connected(), device_.mount_device(), note),
                         "text/html; charset=utf-8");
  };
  for (const char* path : {"/setup", "/setup/v1/camera/0/setup"}) {
    http.Get(path, show_setup);
    http.Post(path, change_setup);
  }
}

bool AlpacaServer::open_discovery(std::string* error) {
  if (options_.discovery_port <= 0) return true;
  const bool loopback = is_loopback(options_.listen);
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
  const int v4 = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in a4{};
  a4.sin_family = AF_INET;
  a4.sin_port = htons(static_cast<std::uint16_t>(options_.discovery_port));
  a4.sin_addr.s_addr = htonl(loopback ? INADDR_LOOPBACK : INADDR_ANY);
  if (v4 < 0 || !bound(v4, reinterpret_cast<sockaddr*>(&a4), sizeof a4)) {
    if (error)
      *error = "The discovery port " + std::to_string(options_.discovery_port) +
               " cannot be used: " + std::strerror(errno);
    return false;
  }
  // IPv6 where the machine has it: the Alpaca multicast group on every
  // interface, or the loopback only.
  const int v6 = socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (v6 >= 0) {
    int yes = 1;
    setsockopt(v6, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
    sockaddr_in6 a6{};
    a6.sin6_family = AF_INET6;
    a6.sin6_port = a4.sin_port;
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
  if (options_.port == 0) {
    bound_port_ = http_->bind_to_any_port(options_.listen);
  } else if (http_->bind_to_port(options_.listen, options_.port)) {
    bound_port_ = options_.port;
  }
  if (bound_port_ <= 0) {
    if (error)
      *error = "Cannot listen on " + options_.listen + " port " + std::to_string(options_.port) +
               ": the address is not this machine's, or another program has the port.";
    return false;
  }
  if (!open_discovery(error)) {
    http_->stop();
    return false;
  }
  http_thread_ = std::thread([this] { http_->listen_after_bind(); });
  loop_thread_ = std::thread([this] { loop(); });
  return true;
}

void AlpacaServer::stop() {
  if (http_thread_.joinable()) {
    http_->stop();
    http_thread_.join();
  }
  if (loop_thread_.joinable()) {
    stop_.wake();
    loop_thread_.join();
  }
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
