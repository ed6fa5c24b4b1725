#include "alpaca/server.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>

#include "alpaca/setup_form.h"
#include "camera/geometry.h"
#include "core/durable_file.h"
#include "core/utf8.h"

namespace stellacq::alpaca {

namespace {

using nlohmann::json;

constexpr const char* kDiscoveryMessage = "alpacadiscovery1";
constexpr const char* kDiscoveryGroupV6 = "ff12::a1:9aca";
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
// written straight from the counts as it is sent, some columns at a time,
// the rest of the object by the JSON library.
class ImageJson final : public BodySource {
 public:
  // `columns_bytes`: the length of the columns and the commas between them
  // (columns_bytes() of the image).
  ImageJson(std::shared_ptr<const Image> image, std::size_t columns_bytes, std::uint32_t client,
            std::uint32_t server)
      : image_(std::move(image)), columns_bytes_(columns_bytes) {
    const json rest = {{"ClientTransactionID", client},
                       {"ServerTransactionID", server},
                       {"ErrorNumber", 0},
                       {"ErrorMessage", ""}};
    tail_ = "]," + rest.dump().substr(1);  // without its opening brace
  }
  std::size_t size() const override { return kHead.size() + columns_bytes_ + tail_.size(); }
  bool next(std::string& out) override {
    constexpr std::size_t kPiece = 64 * 1024;
    if (x_ == 0) out += kHead;
    char number[16];
    for (; x_ < image_->width && out.size() < kPiece; ++x_) {
      out += x_ ? ",[" : "[";
      for (int y = 0; y < image_->height; ++y) {
        if (y) out += ',';
        const auto [end, ec] = std::to_chars(number, number + sizeof number, image_->counts.at(x_, y));
        out.append(number, end);
      }
      out += ']';
    }
    if (x_ < image_->width) return true;
    out += tail_;
    return false;
  }
  static std::size_t columns_bytes(const Image& image) {
    std::size_t n = 0;
    char number[16];
    for (int x = 0; x < image.width; ++x)
      for (int y = 0; y < image.height; ++y)
        n += static_cast<std::size_t>(
            std::to_chars(number, number + sizeof number, image.counts.at(x, y)).ptr - number);
    // Brackets and the commas between the values and between the columns.
    const std::size_t w = image.width, h = image.height;
    return n + 2 * w + (h > 0 ? (h - 1) * w : 0) + (w > 0 ? w - 1 : 0);
  }

 private:
  static inline const std::string kHead = R"({"Type":2,"Rank":2,"Value":[)";
  std::shared_ptr<const Image> image_;
  std::size_t columns_bytes_;
  std::string tail_;
  int x_ = 0;
};

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
  if (!check_port(s.port).empty()) s.port = defaults.port;
  if (const std::string why = check_fits_folder(s.fits_folder, ""); !why.empty()) {
    std::cerr << "The settings file names the FITS folder \"" << s.fits_folder << "\": " << why
              << " No FITS copies are kept.\n";
    s.fits_folder.clear();
  }
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

namespace {

// The pixels as ImageBytes carry them: UInt16 little-endian, x the outer
// index.
std::string image_pixels(const Image& image) {
  std::string out(static_cast<std::size_t>(image.width) * image.height * 2, '\0');
  char* p = out.data();
  for (int x = 0; x < image.width; ++x)
    for (int y = 0; y < image.height; ++y) {
      const std::uint16_t v = clipped(image.counts.at(x, y));
      *p++ = static_cast<char>(v & 0xFF);
      *p++ = static_cast<char>(v >> 8);
    }
  return out;
}

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

// The first field whose name or value is not UTF-8 text, or null.
const std::pair<std::string, std::string>* not_utf8(const Fields& fields) {
  for (const auto& field : fields)
    if (!is_utf8(field.first) || !is_utf8(field.second)) return &field;
  return nullptr;
}

// A ClientTransactionID, or 0 when there is none or it is not a number from
// 0 to 4294967295. (ConformU takes 200 or 400 for a malformed one unless it
// runs its strict checks; 0 keeps answering the clients that send them.)
std::uint32_t transaction_id(const Params& params) {
  const auto it = params.find("ClientTransactionID");
  if (it == params.end()) return 0;
  const std::string& text = it->second;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || !std::isdigit(static_cast<unsigned char>(text[0])) || v > 0xFFFFFFFFull)
    return 0;
  return static_cast<std::uint32_t>(v);
}

// The weight a client's Accept gives `type` (0 = not acceptable): its own
// q-value, or 1 without one; 0 when it is not listed. RFC 9110 12.5.1 (a
// media range with q=0 is "not acceptable").
double accept_weight(const std::string& accept, const std::string& type) {
  std::size_t at = 0;
  while (at <= accept.size()) {
    std::size_t comma = accept.find(',', at);
    if (comma == std::string::npos) comma = accept.size();
    const std::string range = accept.substr(at, comma - at);
    at = comma + 1;
    const std::size_t semicolon = range.find(';');
    std::string name = range.substr(0, semicolon);
    name.erase(0, name.find_first_not_of(" \t"));
    name.erase(name.find_last_not_of(" \t") + 1);
    if (strcasecmp(name.c_str(), type.c_str()) != 0) continue;
    double q = 1;
    for (std::size_t p = semicolon; p != std::string::npos;) {
      const std::size_t next = range.find(';', p + 1);
      std::string parameter =
          range.substr(p + 1, next == std::string::npos ? std::string::npos : next - p - 1);
      parameter.erase(0, parameter.find_first_not_of(" \t"));
      if (parameter.size() > 2 && (parameter[0] == 'q' || parameter[0] == 'Q') && parameter[1] == '=')
        q = std::strtod(parameter.c_str() + 2, nullptr);
      p = next;
    }
    return q > 0 && q <= 1 ? q : 0;
  }
  return 0;
}

std::string random_token() {
  std::random_device random;
  char text[33];
  for (int i = 0; i < 4; ++i) std::snprintf(text + 8 * i, 9, "%08x", static_cast<unsigned>(random()));
  return text;
}

std::vector<std::string> split_path(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t at = 1;
  while (at <= path.size()) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    parts.push_back(path.substr(at, slash - at));
    at = slash + 1;
  }
  return parts;
}

}  // namespace

std::string default_fits_root() {
  if (const char* state = std::getenv("STATE_DIRECTORY"); state && *state) {
    // systemd may list several, separated by colons: the first is ours.
    const std::string first(state);
    return first.substr(0, first.find(':'));
  }
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
    return std::string(xdg) + "/stellacq/alpaca";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.local/share/stellacq/alpaca";
}

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
      r.body = metadata(0, client, server, 2, a.image->width, a.image->height);
      r.tail = frame_bodies(a.image, true).pixels;
    } else {
      r.body = metadata(a.error_number, client, server, 0, 0, 0) + a.message;
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
