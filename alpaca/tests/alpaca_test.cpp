// stellacq-alpaca on the simulated observatory, spoken to over HTTP by
// cpp-httplib's client on a free port, with the settings and the FITS
// copies in a scratch folder.
#include <arpa/inet.h>
#include <fitsio.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "alpaca/server.h"
#include "alpaca/settings_file.h"
#include "alpaca/tests/loopback.h"
#include "camera/geometry.h"

namespace stellacq::alpaca {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
namespace fs = std::filesystem;

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

class Alpaca : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A client writing to a connection the server has closed gets EPIPE.
    signal(SIGPIPE, SIG_IGN);
    scratch = fs::temp_directory_path() / ("stellacq-alpaca-test-" + std::to_string(getpid()));
    fs::create_directories(scratch);
    setenv("HOME", scratch.c_str(), 1);
    ServerOptions options;
    options.port = 0;
    options.discovery_port = free_port();
    options.settings_path = (scratch / "alpaca.json").string();
    DeviceSettings settings;
    settings.simulate = true;
    settings.fits_folder = (scratch / "fits").string();
    fs::create_directories(settings.fits_folder);
    // A slow enough port that a download can be caught and aborted.
    settings.sim_access_us = 0.2;
    options.command_line = {settings.simulate, settings.fits_folder, settings.sim_access_us};
    server = new AlpacaServer(options, settings);
    std::string error;
    ASSERT_TRUE(server->start(&error)) << error;
    discovery_port = options.discovery_port;
  }
  static void TearDownTestSuite() {
    delete server;
    fs::remove_all(scratch);
  }
  void SetUp() override { ASSERT_EQ(put("connected", {{"Connected", "true"}}).at("ErrorNumber"), 0); }

  static httplib::Client client() { return httplib::Client("127.0.0.1", server->port()); }
  static std::string path(const std::string& member) { return "/api/v1/camera/0/" + member; }
  static json get(const std::string& member) {
    auto r = client().Get(path(member) + "?ClientID=7&ClientTransactionID=41");
    return r && r->status == 200 ? json::parse(r->body) : json{{"http", r ? r->status : -1}};
  }
  static json put(const std::string& member, const httplib::Params& params = {}) {
    auto r = client().Put(path(member), params);
    return r && r->status == 200 ? json::parse(r->body) : json{{"http", r ? r->status : -1}};
  }
  // Polls `member` until it answers `wanted`.
  static bool wait_for(const std::string& member, const json& wanted, std::chrono::seconds limit = 30s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      if (get(member).value("Value", json()) == wanted) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }
  static std::string image_bytes_of(httplib::Client& c) {
    auto r = c.Get(path("imagearray"), {{"Accept", "application/imagebytes"}});
    EXPECT_TRUE(r);
    if (r) {
      EXPECT_EQ(r->get_header_value("Content-Type"), "application/imagebytes");
    }
    return r ? r->body : "";
  }
  static std::int32_t le32(const std::string& b, int at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(b[at + i]);
    return static_cast<std::int32_t>(v);
  }

  static inline fs::path scratch;
  static inline AlpacaServer* server = nullptr;
  static inline int discovery_port = 0;
};

TEST_F(Alpaca, EveryMemberAnswersAsTheInterfaceSays) {
  struct Case {
    const char* verb;
    const char* member;
    httplib::Params params;
    int http;    // 200, 400, 404
    int error;   // the Alpaca error number
    json value;  // null: any value
  };
  const Case cases[] = {
      {"GET", "name", {}, 200, 0, "STELLACQ CCD"},
      {"GET", "cameraxsize", {}, 200, 0, 1536},
      {"GET", "cameraysize", {}, 200, 0, 1024},
      {"GET", "sensorname", {}, 200, 0, "TX-22"},
      {"GET", "pixelsizex", {}, 200, 0, 9.0},
      {"GET", "camerastate", {}, 200, 0, 0},
      {"GET", "connecting", {}, 200, 0, false},
      {"GET", "ccdtemperature", {}, 200, 0, nullptr},
      {"GET", "imageready", {}, 200, 0, false},
      {"GET", "imagearray", {}, 200, kInvalidOperation, nullptr},
      {"GET", "lastexposureduration", {}, 200, kValueNotSet, nullptr},
      {"GET", "percentcompleted", {}, 200, kInvalidOperation, nullptr},
      {"GET", "gain", {}, 200, kNotImplemented, nullptr},
      {"PUT", "stopexposure", {}, 200, kNotImplemented, nullptr},
      {"PUT", "pulseguide", {{"Direction", "0"}, {"Duration", "10"}}, 200, kNotImplemented, nullptr},
      {"PUT", "action", {{"Action", "x"}, {"Parameters", ""}}, 200, kActionNotImplemented, nullptr},
      {"PUT", "binx", {{"binx", "2"}}, 400, 0, nullptr},  // PUT names as the API spells them
      {"PUT", "binx", {{"BinX", "2"}}, 200, 0, nullptr},
      {"GET", "biny", {}, 200, 0, 2},                     // symmetric binning
      {"PUT", "BinX", {{"BinX", "1"}}, 404, 0, nullptr},  // members are lower case
      {"PUT", "binx", {{"BinX", "3"}}, 200, kInvalidValue, nullptr},
      {"PUT", "binx", {{"BinX", "two"}}, 400, 0, nullptr},
      {"PUT", "binx", {}, 400, 0, nullptr},
      {"PUT", "binx", {{"BinX", "1"}}, 200, 0, nullptr},
      {"PUT", "setccdtemperature", {{"SetCCDTemperature", "-80"}}, 200, kInvalidValue, nullptr},
      {"PUT", "setccdtemperature", {{"SetCCDTemperature", "-12.34"}}, 200, 0, nullptr},
      {"GET", "setccdtemperature", {}, 200, 0, -12.3},
      {"PUT", "cooleron", {{"CoolerOn", "TRUE"}}, 200, 0, nullptr},
      {"GET", "cooleron", {}, 200, 0, true},
      {"PUT", "cooleron", {{"CoolerOn", "maybe"}}, 400, 0, nullptr},
      {"PUT", "readoutmode", {{"ReadoutMode", "1"}}, 200, kInvalidValue, nullptr},
      {"PUT", "startexposure", {{"Duration", "1"}}, 400, 0, nullptr},
      {"PUT", "startexposure", {{"Duration", "soon"}, {"Light", "true"}}, 400, 0, nullptr},
      {"PUT", "startexposure", {{"Duration", "0.5"}, {"Light", "true"}}, 200, kInvalidValue, nullptr},
      {"PUT", "startx", {{"StartX", "1500"}}, 200, 0, nullptr},
      {"PUT", "startexposure", {{"Duration", "1"}, {"Light", "true"}}, 200, kInvalidValue, nullptr},
      {"PUT", "startx", {{"StartX", "0"}}, 200, 0, nullptr},
      {"PUT", "startexposure", {{"Duration", "1"}, {"Light", "true"}}, 200, 0, nullptr},
      {"GET", "lastexposurestarttime", {}, 200, kValueNotSet, nullptr},  // until one has completed
      {"PUT", "abortexposure", {}, 200, 0, nullptr},
      {"GET", "startexposure", {}, 400, 0, nullptr},  // a PUT member
      {"GET", "nosuchmember", {}, 404, 0, nullptr},
  };
  std::uint32_t last_server_id = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.verb) + " " + c.member);
    httplib::Client http = client();
    httplib::Params params = c.params;
    params.emplace("ClientTransactionID", "41");
    auto r = std::string(c.verb) == "GET" ? http.Get(path(c.member) + "?ClientTransactionID=41")
                                          : http.Put(path(c.member), params);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, c.http) << r->body;
    if (c.http != 200) {
      EXPECT_FALSE(r->body.empty()) << "a plain message says why";
      continue;
    }
    const json j = json::parse(r->body);
    EXPECT_EQ(j.at("ClientTransactionID"), 41);
    EXPECT_GT(j.at("ServerTransactionID").get<std::uint32_t>(), last_server_id);
    last_server_id = j.at("ServerTransactionID");
    EXPECT_EQ(j.at("ErrorNumber"), c.error) << j.at("ErrorMessage");
    EXPECT_EQ(j.at("ErrorMessage").get<std::string>().empty(), c.error == 0);
    if (!c.value.is_null()) {
      EXPECT_EQ(j.at("Value"), c.value);
    }
  }
  EXPECT_EQ(client().Get("/api/v1/camera/1/name")->status, 404);
  EXPECT_EQ(client().Get("/api/v1/telescope/0/name")->status, 404);
  ASSERT_EQ(put("cooleron", {{"CoolerOn", "false"}}).at("ErrorNumber"), 0);

  ASSERT_EQ(put("disconnect").at("ErrorNumber"), 0);
  EXPECT_EQ(get("connected").at("Value"), false);
  // A disconnect while connecting withdraws the connection.
  ASSERT_EQ(put("connect").at("ErrorNumber"), 0);
  ASSERT_EQ(put("disconnect").at("ErrorNumber"), 0);
  EXPECT_FALSE(wait_for("connected", true, 2s));
  ASSERT_EQ(put("connect").at("ErrorNumber"), 0);
  EXPECT_TRUE(wait_for("connected", true));
}

// The device's members are ICameraV4's, with its verbs, and each answers
// by its row of the table: the verb it lacks is refused (HTTP 400), one the
// camera does not have says so (0x400), and while disconnected one of the
// camera refuses (0x407) where one of the device answers.
TEST_F(Alpaca, EveryInterfaceMemberIsInTheTableAndAnswersByItsRow) {
  // ASCOM's ICameraV4 and the members every device has, as its Master
  // Interfaces give them: read only, read and written, or methods.
  std::map<std::string, std::string> interface;
  for (const char* name : {"bayeroffsetx",
                           "bayeroffsety",
                           "camerastate",
                           "cameraxsize",
                           "cameraysize",
                           "canabortexposure",
                           "canasymmetricbin",
                           "canfastreadout",
                           "cangetcoolerpower",
                           "canpulseguide",
                           "cansetccdtemperature",
                           "canstopexposure",
                           "ccdtemperature",
                           "coolerpower",
                           "electronsperadu",
                           "exposuremax",
                           "exposuremin",
                           "exposureresolution",
                           "fullwellcapacity",
                           "gainmax",
                           "gainmin",
                           "gains",
                           "hasshutter",
                           "heatsinktemperature",
                           "imagearray",
                           "imagearrayvariant",
                           "imageready",
                           "ispulseguiding",
                           "lastexposureduration",
                           "lastexposurestarttime",
                           "maxadu",
                           "maxbinx",
                           "maxbiny",
                           "offsetmax",
                           "offsetmin",
                           "offsets",
                           "percentcompleted",
                           "pixelsizex",
                           "pixelsizey",
                           "readoutmodes",
                           "sensorname",
                           "sensortype",
                           "connecting",
                           "devicestate",
                           "description",
                           "driverinfo",
                           "driverversion",
                           "interfaceversion",
                           "name",
                           "supportedactions"})
    interface[name] = "get";
  for (const char* name :
       {"binx", "biny", "cooleron", "fastreadout", "gain", "numx", "numy", "offset", "readoutmode",
        "setccdtemperature", "startx", "starty", "subexposureduration", "connected"})
    interface[name] = "get put";
  for (const char* name : {"abortexposure", "pulseguide", "startexposure", "stopexposure", "action",
                           "commandblind", "commandbool", "commandstring", "connect", "disconnect"})
    interface[name] = "put";
  std::map<std::string, std::string> table;
  for (const CameraDevice::MemberInfo& m : CameraDevice::members())
    table[m.name] = m.get && m.put ? "get put" : m.get ? "get" : "put";
  EXPECT_EQ(table, interface);

  ASSERT_EQ(put("disconnect").at("ErrorNumber"), 0);
  for (const CameraDevice::MemberInfo& m : CameraDevice::members()) {
    SCOPED_TRACE(m.name);
    if (!m.put) {
      EXPECT_EQ(put(m.name).value("http", 0), 400);
    }
    if (!m.get) {
      EXPECT_EQ(get(m.name).value("http", 0), 400);
      continue;
    }
    const int expected = !m.implemented ? kNotImplemented : m.needs_connection ? kNotConnected : 0;
    const json answer = get(m.name);
    EXPECT_EQ(answer.value("ErrorNumber", -1), expected) << answer.dump();
  }
  ASSERT_EQ(put("connect").at("ErrorNumber"), 0);
  EXPECT_TRUE(wait_for("connected", true));
}

// An image as ImageBytes brings it: x the outer index.
struct Received {
  int width = 0, height = 0;
  std::string bytes;
  int at(int x, int y) const {
    const std::size_t i = 44 + 2 * (static_cast<std::size_t>(x) * height + y);
    return static_cast<std::uint8_t>(bytes[i]) | static_cast<std::uint8_t>(bytes[i + 1]) << 8;
  }
  // The brightest pixel of a box and the centroid of the pixels above half
  // of it around it: a star's centre and peak.
  struct Star {
    double x = 0, y = 0;
    int peak = 0;
  };
  Star star(int x0, int y0, int x1, int y1) const {
    Star s;
    int bx = x0, by = y0;
    for (int x = x0; x < x1; ++x)
      for (int y = y0; y < y1; ++y)
        if (at(x, y) > s.peak) s.peak = at(x, y), bx = x, by = y;
    double n = 0;
    for (int x = bx - 3; x <= bx + 3; ++x)
      for (int y = by - 3; y <= by + 3; ++y)
        if (x >= 0 && y >= 0 && x < width && y < height && at(x, y) >= s.peak / 2) s.x += x, s.y += y, ++n;
    s.x /= n;
    s.y /= n;
    return s;
  }
};

TEST_F(Alpaca, ASubframeBinnedAndADarkAsImageBytesJsonAndTheirFitsCopy) {
  const auto frame = [&](bool light, int x, int y, int w, int h) {
    for (const auto& [name, v] : std::vector<std::pair<std::string, int>>{
             {"BinX", 2}, {"StartX", x}, {"StartY", y}, {"NumX", w}, {"NumY", h}})
      EXPECT_EQ(put(lower(name), {{name, std::to_string(v)}}).at("ErrorNumber"), 0);
    EXPECT_EQ(
        put("startexposure", {{"Duration", "1"}, {"Light", light ? "true" : "false"}}).at("ErrorNumber"), 0);
    EXPECT_TRUE(wait_for("imageready", true));
    httplib::Client c = client();
    auto r = c.Get(path("imagearray") + "?ClientTransactionID=9", {{"Accept", "application/imagebytes"}});
    Received got{w, h, r ? r->body : ""};
    EXPECT_EQ(got.bytes.size(), 44u + 2u * w * h);
    // [3] is the server's transaction number: any count from 1 on.
    const std::int32_t header[] = {1, 0, 9, 0, 44, 2, 8, 2, w, h, 0};
    for (int i = 0; i < 11 && got.bytes.size() >= 44; ++i)
      EXPECT_TRUE(i == 3 ? le32(got.bytes, 12) > 0 : le32(got.bytes, 4 * i) == header[i]) << i;
    return got;
  };
  // A star of the full binned frame, then a subframe around it.
  const Received full = frame(true, 0, 0, 768, 512);
  ASSERT_EQ(full.bytes.size(), 44u + 768u * 512u * 2u);
  const Received::Star bright = full.star(80, 60, 688, 452);
  const int x0 = static_cast<int>(bright.x) - 60, y0 = static_cast<int>(bright.y) - 40;
  const Received part = frame(true, x0, y0, 120, 80);
  ASSERT_EQ(part.bytes.size(), 44u + 120u * 80u * 2u);
  // The same star where the subframe puts it.
  const Received::Star same = part.star(55, 35, 66, 46);
  EXPECT_NEAR(same.x + x0, bright.x, 1.5);
  EXPECT_NEAR(same.y + y0, bright.y, 1.5);
  EXPECT_GT(same.peak, bright.peak / 2);
  EXPECT_EQ(std::tuple(get("percentcompleted").at("Value"), get("lastexposureduration").at("Value")),
            std::tuple(100, 1.0));

  // The FITS copy kept on the server holds the same pixels, row 0 first.
  const auto fits = [](const std::string& file, std::vector<int>& pixels, std::string& kind) {
    fitsfile* f = nullptr;
    int status = 0;
    long axes[2] = {0, 0};
    char text[FLEN_VALUE] = "";
    int any_null = 0;
    fits_open_file(&f, file.c_str(), READONLY, &status);
    fits_get_img_size(f, 2, axes, &status);
    fits_read_key(f, TSTRING, "IMAGETYP", text, nullptr, &status);
    pixels.assign(axes[0] * axes[1], 0);
    fits_read_img(f, TINT, 1, pixels.size(), nullptr, pixels.data(), &any_null, &status);
    fits_close_file(f, &status);
    kind = text;
    return status == 0 ? std::pair<long, long>{axes[0], axes[1]} : std::pair<long, long>{-1, -1};
  };
  std::vector<int> pixels;
  std::string kind;
  ASSERT_EQ(fits(server->device().last_fits_path(), pixels, kind), (std::pair<long, long>{120, 80}));
  EXPECT_EQ(kind, "Light Frame");
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 120; ++x) ASSERT_EQ(part.at(x, y), pixels[y * 120 + x]) << x << "," << y;

  auto j = client().Get(path("imagearray"));
  ASSERT_TRUE(j);
  ASSERT_EQ(j->get_header_value("Content-Type"), "application/json");
  const json image = json::parse(j->body);
  EXPECT_EQ(std::tie(image.at("Type"), image.at("Rank")), std::tuple(2, 2));
  ASSERT_EQ(image.at("Value").size(), 120u);
  ASSERT_EQ(image.at("Value")[0].size(), 80u);
  for (int x = 0; x < 120; ++x)
    for (int y = 0; y < 80; ++y) ASSERT_EQ(image["Value"][x][y], part.at(x, y));

  // The shutter stays closed for a dark: no star.
  const Received dark = frame(false, x0, y0, 120, 80);
  ASSERT_EQ(fits(server->device().last_fits_path(), pixels, kind), (std::pair<long, long>{120, 80}));
  EXPECT_EQ(kind, "Dark Frame");
  EXPECT_LT(*std::max_element(pixels.begin(), pixels.end()), same.peak / 2);
  EXPECT_EQ(dark.at(119, 79), pixels.back());
  frame(true, 0, 0, 768, 512);
  put("binx", {{"BinX", "1"}});
  put("numx", {{"NumX", "1536"}});
  put("numy", {{"NumY", "1024"}});
}

TEST_F(Alpaca, AbortDuringTheExposureAndTheDownloadThenAWholeFrameForTwoClients) {
  ASSERT_EQ(
      put("startexposure", {{"Duration", "30"}, {"Light", "true"}, {"ClientID", "1"}}).at("ErrorNumber"), 0);
  ASSERT_TRUE(wait_for("camerastate", 2));
  // Another client may look, not expose.
  EXPECT_EQ(put("startexposure", {{"Duration", "1"}, {"Light", "true"}, {"ClientID", "2"}}).at("ErrorNumber"),
            kInvalidOperation);
  ASSERT_EQ(put("abortexposure").at("ErrorNumber"), 0);
  EXPECT_EQ(get("camerastate").at("Value"), 0);
  EXPECT_EQ(get("imageready").at("Value"), false);

  ASSERT_EQ(put("startexposure", {{"Duration", "1"}, {"Light", "true"}}).at("ErrorNumber"), 0);
  ASSERT_TRUE(wait_for("camerastate", 4));
  ASSERT_EQ(put("abortexposure").at("ErrorNumber"), 0);
  EXPECT_EQ(get("imageready").at("Value"), false);

  ASSERT_EQ(put("startexposure", {{"Duration", "1"}, {"Light", "true"}}).at("ErrorNumber"), 0);
  ASSERT_TRUE(wait_for("imageready", true));
  // One client walks away after the first bytes; the other gets it all.
  httplib::Client leaving = client();
  std::size_t taken = 0;
  leaving.Get(path("imagearray"), {{"Accept", "application/imagebytes"}}, [&](const char*, std::size_t n) {
    taken += n;
    return false;
  });
  EXPECT_GT(taken, 0u);
  httplib::Client staying = client();
  const std::string whole = image_bytes_of(staying);
  ASSERT_EQ(whole.size(), 44u + 1536u * 1024u * 2u);
  EXPECT_TRUE(image_bytes_of(staying).substr(16) == whole.substr(16))
      << "the image stays until the next exposure";
}

TEST_F(Alpaca, MalformedRequestsDoNoHarm) {
  httplib::Client c = client();
  const std::string huge(1 << 20, 'x');
  auto r = c.Put(path("binx"), "BinX=" + huge, "application/x-www-form-urlencoded");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 413);
  for (const auto& [body, type] : {std::pair{"{\"BinX\": 2}", "application/json"},
                                   {"BinX=%zz&&==", "application/x-www-form-urlencoded"},
                                   {"BinX=99999999999", "application/x-www-form-urlencoded"}})
    EXPECT_EQ(c.Put(path("binx"), body, type)->status, 400) << body;
  EXPECT_EQ(c.Get("/api/v1/camera/0/")->status, 404);
  EXPECT_EQ(c.Get("/api/v1/camera/0/../../etc/passwd")->status, 404);
  // Connections left open (kept alive between polls, or a request still
  // coming in) do not hold up another client.
  std::vector<int> idle;
  for (int i = 0; i < 12; ++i) {
    idle.push_back(socket(AF_INET, SOCK_STREAM, 0));
    const sockaddr_in to = loopback(server->port());
    ASSERT_EQ(connect(idle.back(), reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
    ASSERT_GT(send(idle.back(), "GET /api/v1/camera/0/name HTTP/1.1\r\n", 37, 0), 0);
  }
  std::this_thread::sleep_for(200ms);
  httplib::Client waiting = client();
  waiting.set_read_timeout(2, 0);
  EXPECT_TRUE(waiting.Get(path("name"))) << "a client waited for the idle connections' time-out";
  for (const int fd : idle) close(fd);
  // A transaction number that is not one reads as 0.
  EXPECT_EQ(json::parse(c.Get(path("name") + "?ClientTransactionID=-5")->body).at("ClientTransactionID"), 0);
  EXPECT_EQ(get("name").at("Value"), "STELLACQ CCD");
}

TEST_F(Alpaca, ManagementDiscoveryAndTheSetupPage) {
  httplib::Client c = client();
  EXPECT_EQ(json::parse(c.Get("/management/apiversions")->body).at("Value"), json::array({1}));
  const json devices = json::parse(c.Get("/management/v1/configureddevices")->body).at("Value");
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(std::tie(devices[0].at("DeviceType"), devices[0].at("DeviceNumber")), std::tuple("Camera", 0));
  EXPECT_TRUE(json::parse(c.Get("/management/v1/description")->body).at("Value").contains("ServerName"));

  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  timeval patience{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
  const sockaddr_in to = loopback(discovery_port);
  sendto(fd, "alpacadiscovery1", 16, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  char reply[256] = {};
  const ssize_t got = recv(fd, reply, sizeof reply - 1, 0);
  close(fd);
  ASSERT_GT(got, 0);
  EXPECT_EQ(json::parse(reply).at("AlpacaPort"), server->port());

  // The HTTP port is this server's alone.
  ServerOptions same;
  same.port = server->port();
  same.discovery_port = 0;
  AlpacaServer second(same, DeviceSettings{});
  std::string why;
  EXPECT_FALSE(second.start(&why));
  EXPECT_NE(why.find("another program has the port"), std::string::npos) << why;

  auto page = c.Get("/setup/v1/camera/0/setup");
  ASSERT_TRUE(page);
  ASSERT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("/dev/parport0"), std::string::npos);
  // The head does not change under a connected camera.
  const std::string token = "token=" + server->form_token() + "&";
  auto refused = c.Post("/setup/v1/camera/0/setup", token + "form=1&simulate=on&head=TX11",
                        "application/x-www-form-urlencoded");
  EXPECT_EQ(refused->status, 409);
  EXPECT_EQ(server->device().settings().head_model, kHeadTx22);
  ASSERT_EQ(put("connected", {{"Connected", "false"}}).at("ErrorNumber"), 0);
  auto saved = c.Post("/setup", token + "form=1&simulate=on&head=TX11&pixel_tx11=17.5",
                      "application/x-www-form-urlencoded");
  EXPECT_EQ(saved->status, 200);
  const DeviceSettings kept = load_settings((scratch / "alpaca.json").string(), DeviceSettings{});
  // The simulation and the folder came from the command line: the file
  // keeps its own (none yet: the defaults).
  EXPECT_EQ(std::tie(kept.head_model, kept.pixel_tx11_um, kept.simulate, kept.fits_folder),
            std::tuple(kHeadTx11, 17.5, false, ""));
  // What the page refuses, a hand-edited file does not bring in either.
  std::ofstream((scratch / "edited.json").string()) << R"({"pixel_tx11_um": -3, "head_model": 99})";
  const DeviceSettings edited = load_settings((scratch / "edited.json").string(), DeviceSettings{});
  EXPECT_EQ(std::tie(edited.pixel_tx11_um, edited.head_model),
            std::tuple(DeviceSettings{}.pixel_tx11_um, kHeadTx22));
  ASSERT_EQ(put("connected", {{"Connected", "true"}}).at("ErrorNumber"), 0);
  EXPECT_EQ(get("cameraxsize").at("Value"), 768);
  EXPECT_EQ(get("pixelsizey").at("Value"), 17.5);
  ASSERT_EQ(put("connected", {{"Connected", "false"}}).at("ErrorNumber"), 0);
  c.Post("/setup", token + "form=1&simulate=on&head=TX22", "application/x-www-form-urlencoded");

  // A server's UniqueID is made on its first start and kept; another
  // settings file, another server, gets its own.
  const std::string first = (scratch / "first.json").string(), other = (scratch / "other.json").string();
  const std::string id = load_settings_with_id(first).unique_id;
  EXPECT_EQ(id.size(), 36u);
  EXPECT_EQ(load_settings_with_id(first).unique_id, id);
  EXPECT_NE(load_settings_with_id(other).unique_id, id);
}

// The program itself, as a user starts it: its settings file names a port
// another program holds (the fake ppdev preloaded), which it refuses as the
// INDI driver does; and it ends at once when stopped during an exposure.
TEST(AlpacaProgram, RefusesAHeldPortAndStopsAtOnceDuringAnExposure) {
  const fs::path home = fs::temp_directory_path() / ("stellacq-alpaca-program-" + std::to_string(getpid()));
  fs::create_directories(home / ".config/stellacq");
  DeviceSettings settings;
  settings.port = "/dev/parport3";
  ASSERT_EQ(save_settings((home / ".config/stellacq/alpaca.json").string(), settings), "");
  const std::string lock = (home / "parport.lock").string();
  const int holder = open(lock.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);

  const auto run = [&](std::vector<std::string> args) {
    const int port = free_port(SOCK_STREAM);
    args.insert(args.begin(), {STELLACQ_ALPACA, "--port", std::to_string(port), "--discovery-port", "0"});
    std::vector<std::string> env = {"HOME=" + home.string(), "LD_PRELOAD=" STELLACQ_FAKE_PPDEV,
                                    "STELLACQ_FAKE_PPDEV_LOCK=" + lock};
    std::vector<char*> argv, envp;
    for (auto [from, to] : {std::pair{&args, &argv}, {&env, &envp}}) {
      for (std::string& a : *from) to->push_back(a.data());
      to->push_back(nullptr);
    }
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()), 0);
    httplib::Client c("127.0.0.1", port);
    for (int i = 0; i < 100 && !c.Get("/management/apiversions"); ++i) std::this_thread::sleep_for(50ms);
    return std::pair{pid, port};
  };
  const auto connect = [](int port) {
    auto r = httplib::Client("127.0.0.1", port)
                 .Put("/api/v1/camera/0/connected", httplib::Params{{"Connected", "true"}});
    return r ? json::parse(r->body) : json();
  };

  auto [held, held_port] = run({});
  const json refused = connect(held_port);
  EXPECT_EQ(refused.value("ErrorNumber", 0), kDriverError);
  EXPECT_EQ(
      refused.value("ErrorMessage", ""),
      "The parallel port /dev/parport3 is in use by another program or driver; close it and connect again.")
      << "the protocol's texts are English, the port's details go to the log";
  // Free, the port has no unit on it: the greeting never comes.
  flock(holder, LOCK_UN);
  const json silent = connect(held_port);
  EXPECT_EQ(silent.value("ErrorMessage", "").rfind("Connecting failed: The control unit did not answer", 0),
            0u)
      << silent.dump();
  kill(held, SIGTERM);
  waitpid(held, nullptr, 0);

  auto [simulated, port] = run({"--simulate"});
  ASSERT_EQ(connect(port).value("ErrorNumber", -1), 0);
  httplib::Client c("127.0.0.1", port);
  ASSERT_TRUE(
      c.Put("/api/v1/camera/0/startexposure", httplib::Params{{"Duration", "60"}, {"Light", "true"}}));
  std::this_thread::sleep_for(500ms);
  const auto stopping = std::chrono::steady_clock::now();
  kill(simulated, SIGTERM);
  int status = -1;
  waitpid(simulated, &status, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, 10s) << "the server waited for the 60 s exposure";
  EXPECT_TRUE(WIFEXITED(status)) << "wait status " << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  close(holder);
  fs::remove_all(home);
}

}  // namespace
}  // namespace stellacq::alpaca
