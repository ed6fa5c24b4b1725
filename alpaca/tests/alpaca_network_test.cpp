// stellacq-alpaca among slow, many and hostile clients, foreign names and
// pages, and ConformU's protocol rules: the server on the simulated
// observatory, on a free loopback port, with short deadlines so that the
// cases stay within seconds.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "alpaca/server.h"
#include "alpaca/settings_file.h"
#include "alpaca/setup_form.h"
#include "alpaca/tests/loopback.h"

namespace stellacq::alpaca {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
namespace fs = std::filesystem;
namespace http = boost::beast::http;
using Steady = std::chrono::steady_clock;
constexpr const char* kForm = "application/x-www-form-urlencoded";

class AlpacaGuarded : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    signal(SIGPIPE, SIG_IGN);
    scratch = fs::temp_directory_path() / ("stellacq-alpaca-guarded-" + std::to_string(getpid()));
    fs::create_directories(scratch / "root/frames");
    ServerOptions options;
    options.port = 0;
    options.discovery_port = discovery_port = free_port();
    options.settings_path = (scratch / "alpaca.json").string();
    options.fits_root = (scratch / "root").string();
    options.limits.request = 1s;
    options.limits.idle = 2s;
    options.limits.per_peer = 8;
    DeviceSettings settings;
    settings.simulate = true;
    server = new AlpacaServer(options, settings);
    std::string error;
    ASSERT_TRUE(server->start(&error)) << error;
  }
  static void TearDownTestSuite() {
    delete server;
    fs::remove_all(scratch);
  }

  static httplib::Client client() {
    httplib::Client c("127.0.0.1", server->port());
    c.set_read_timeout(2, 0);
    return c;
  }
  static std::string api(const std::string& member) { return "/api/v1/camera/0/" + member; }
  static json body_of(const httplib::Result& r) {
    return r && r->status == 200 ? json::parse(r->body) : json{{"http", r ? r->status : -1}};
  }
  static httplib::Result setup(const std::string& form, const httplib::Headers& headers = {}) {
    return client().Post("/setup/v1/camera/0/setup", headers, form, kForm);
  }
  static std::string token() { return "form=1&simulate=on&token=" + server->form_token(); }

  static inline fs::path scratch;
  static inline AlpacaServer* server = nullptr;
  static inline int discovery_port = 0;
};

TEST_F(AlpacaGuarded, SlowClientsAreCutOffAndTheExcessRefusedWhileOthersAreAnswered) {
  // Twelve connections from one address trickle a request in: eight are
  // taken, the rest refused at once.
  std::vector<int> slow;
  for (int i = 0; i < 12; ++i) {
    slow.push_back(connect_from("127.0.0.2", server->port(), 1500));
    ASSERT_GE(slow.back(), 0);
    ASSERT_EQ(send(slow.back(), "GET /api/v1/camera/0/name HTTP/1.1\r\n", 36, 0), 36);
    std::this_thread::sleep_for(5ms);  // taken in this order
  }
  for (int i = 8; i < 12; ++i) {
    char reply[64] = {};
    ASSERT_GT(recv(slow[i], reply, sizeof reply - 1, 0), 0)
        << "connection " << i << " was not refused at once";
    EXPECT_EQ(std::string(reply).rfind("HTTP/1.1 503", 0), 0u) << reply;
  }
  // While they trickle, another client is answered at once, again and again.
  std::atomic<bool> trickling{true};
  std::thread trickle([&] {
    while (trickling)
      for (int i = 0; i < 8; ++i) {
        send(slow[i], "X", 1, MSG_NOSIGNAL);
        std::this_thread::sleep_for(20ms);
      }
  });
  const Steady::time_point began = Steady::now();
  httplib::Client other = client();
  for (int i = 0; i < 20; ++i) {
    auto r = other.Get(api("name"));
    ASSERT_TRUE(r) << "request " << i;
    ASSERT_EQ(r->status, 200) << "request " << i;
  }
  // The request deadline (1 s) ends every trickling connection.
  int cut = 0;
  for (int i = 0; i < 8; ++i) {
    char rest[256];
    ssize_t got = 0;
    while ((got = recv(slow[i], rest, sizeof rest, 0)) > 0) {
    }
    cut += got == 0 || errno == ECONNRESET;
  }
  trickling = false;
  trickle.join();
  EXPECT_EQ(cut, 8);
  EXPECT_LT(Steady::now() - began, 3s);
  for (const int fd : slow) close(fd);
}

TEST_F(AlpacaGuarded, PipelinedRequestsAreAnsweredInTheirOrder) {
  const int fd = connect_from("127.0.0.1", server->port());
  ASSERT_GE(fd, 0);
  std::string requests;
  for (const auto& [member, id] : std::vector<std::pair<std::string, int>>{
           {"name", 1}, {"interfaceversion", 2}, {"nosuchmember", 3}, {"description", 4}})
    requests += "GET " + api(member) + "?ClientTransactionID=" + std::to_string(id) +
                " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  ASSERT_EQ(send(fd, requests.data(), requests.size(), 0), static_cast<ssize_t>(requests.size()));
  boost::asio::io_context io;
  boost::asio::ip::tcp::socket socket(io, boost::asio::ip::tcp::v4(), fd);
  boost::beast::flat_buffer buffer;
  std::vector<std::pair<unsigned, int>> answers;
  for (int i = 0; i < 4; ++i) {
    http::response<http::string_body> response;
    boost::beast::error_code ec;
    http::read(socket, buffer, response, ec);
    ASSERT_FALSE(ec) << "answer " << i << ": " << ec.message();
    const json j = json::parse(response.body(), nullptr, false);
    answers.emplace_back(response.result_int(), j.is_object() ? j.value("ClientTransactionID", -1) : 0);
  }
  EXPECT_EQ(answers, (std::vector<std::pair<unsigned, int>>{{200, 1}, {200, 2}, {404, 0}, {200, 4}}));
}

TEST_F(AlpacaGuarded, ForeignNamesPagesAndFormsChangeNothing) {
  const std::string port = ":" + std::to_string(server->port());
  for (const auto& [host, status] : std::vector<std::pair<std::string, int>>{{"attacker.example" + port, 403},
                                                                             {"127.0.0.1.nip.io" + port, 403},
                                                                             {"localhost" + port, 200},
                                                                             {"[::1]" + port, 200},
                                                                             {"127.0.0.1", 200}}) {
    auto r = client().Get(api("name"), {{"Host", host}});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, status) << host;
    EXPECT_EQ(client().Get("/setup", {{"Host", host}})->status, status) << host;
  }

  const std::string own = "http://127.0.0.1" + port;
  const std::string form = token() + "&pixel_tx22=12";
  EXPECT_EQ(setup("form=1&pixel_tx22=12")->status, 403) << "no token";
  EXPECT_EQ(setup("form=1&token=0123&pixel_tx22=12")->status, 403) << "another token";
  EXPECT_EQ(setup(form, {{"Origin", "http://attacker.example"}})->status, 403);
  EXPECT_EQ(setup(form, {{"Origin", "null"}})->status, 403);
  EXPECT_EQ(setup(form, {{"Referer", "http://attacker.example/page.html"}})->status, 403);
  EXPECT_EQ(client()
                .Put(api("connected"), {{"Origin", "http://attacker.example"}}, "Connected=true", kForm)
                ->status,
            403);
  EXPECT_EQ(server->device().settings().pixel_tx22_um, 9.0);
  EXPECT_FALSE(fs::exists(scratch / "alpaca.json"));
  auto page = setup(form, {{"Origin", own}, {"Referer", own + "/setup"}});
  ASSERT_TRUE(page);
  ASSERT_EQ(page->status, 200) << page->body;
  EXPECT_EQ(server->device().settings().pixel_tx22_um, 12.0);
  EXPECT_EQ(load_settings((scratch / "alpaca.json").string(), DeviceSettings{}).pixel_tx22_um, 12.0);

  // Listening on a network: the machine's names and addresses and the
  // names allowed.
  RequestGuard network(false, {"Observatory.lan"});
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  for (const std::string& allowed : {std::string(name), std::string("observatory.lan:11111"),
                                     std::string("127.0.0.1:11111"), std::string("localhost")})
    EXPECT_TRUE(network.host_allowed(allowed)) << allowed;
  for (const char* refused : {"attacker.example", "observatory.lan.attacker.example", "192.0.2.1"})
    EXPECT_FALSE(network.host_allowed(refused)) << refused;
}

TEST_F(AlpacaGuarded, BytesThatAreNotUtf8AreRefusedAndHarmNoOne) {
  ASSERT_EQ(body_of(client().Put(api("connected"), "Connected=true", kForm)).at("ErrorNumber"), 0);
  EXPECT_EQ(client().Put(api("startexposure"), "Duration=1&Light=true&ClientID=%FF%FE", kForm)->status, 400);
  EXPECT_EQ(client().Get(api("name") + "?ClientID=%C0%AF")->status, 400) << "an overlong form";
  EXPECT_EQ(body_of(client().Get(api("camerastate"))).at("Value"), 0) << "no exposure started";
  // Another client's exposure goes on as usual.
  EXPECT_EQ(body_of(client().Put(api("startexposure"), "Duration=1&Light=true&ClientID=7", kForm))
                .at("ErrorNumber"),
            0);
  EXPECT_EQ(body_of(client().Put(api("abortexposure"), "", kForm)).at("ErrorNumber"), 0);

  const DeviceSettings before = server->device().settings();
  auto r = setup(token() + "&port=%2Fdev%2Fparport%FF&pixel_tx22=15");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 400);
  const DeviceSettings after = server->device().settings();
  EXPECT_EQ(std::tie(after.port, after.pixel_tx22_um), std::tie(before.port, before.pixel_tx22_um));
  ASSERT_EQ(body_of(client().Put(api("disconnect"), "", kForm)).at("ErrorNumber"), 0);
}

TEST_F(AlpacaGuarded, TheFitsFolderAndThePortStayWithinTheirBounds) {
  const std::string root = (scratch / "root").string(), inside = root + "/frames";
  fs::create_directories(scratch / "outside");
  fs::create_symlink(scratch / "outside", scratch / "root/link");
  std::ofstream(scratch / "root/file") << "x";
  const std::string refused = check_fits_folder("/nowhere", root);
  EXPECT_FALSE(refused.empty());
  // The same words whether the path exists or not.
  for (const std::string& folder :
       {std::string("frames"), (scratch / "outside").string(), root + "/link", root + "/file",
        root + "/absent", root + "/../outside", std::string("/etc")})
    EXPECT_EQ(check_fits_folder(folder, root), refused) << folder;
  std::string resolved;
  EXPECT_EQ(check_fits_folder(inside + "/", root, &resolved), "");
  EXPECT_EQ(resolved, inside);
  for (const char* port : {"/dev/parport0", "/dev/parport12", "0x378", "0xD010", "0x3bc"})
    EXPECT_EQ(check_port(port), "") << port;
  for (const char* port : {"/dev/parport", "/dev/parport0/../../etc/passwd", "/etc/passwd", "/dev/ttyS0",
                           "parport0", "0x1", "0xFF", "0xFFFE", "0x10000", "888", ""})
    EXPECT_FALSE(check_port(port).empty()) << port;

  // From the page: a folder outside the bounds is refused, shown in its
  // field with the reason, neither applied nor saved, and not made.
  auto r = setup(token() + "&fits_folder=" + (scratch / "made/here").string());
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 400);
  EXPECT_NE(r->body.find("value=\"" + (scratch / "made/here").string() + "\""), std::string::npos);
  EXPECT_NE(r->body.find("id=\"error-fits_folder\""), std::string::npos);
  EXPECT_FALSE(fs::exists(scratch / "made"));
  EXPECT_EQ(server->device().settings().fits_folder, "");
  ASSERT_EQ(setup(token() + "&fits_folder=" + inside)->status, 200);
  EXPECT_EQ(load_settings((scratch / "alpaca.json").string(), DeviceSettings{}).fits_folder, inside);
  ASSERT_EQ(setup(token() + "&fits_folder=")->status, 200);
}

TEST_F(AlpacaGuarded, ProtocolRulesAsConformUChecksThem) {
  const auto put = [](const std::string& member, const std::string& form, const std::string& query = "") {
    return body_of(client().Put(api(member) + query, form, kForm));
  };
  EXPECT_EQ(body_of(client().Get(api("interfaceversion"))).at("Value"), 4);
  // PUT names as the API spells them; a GET's in any case.
  EXPECT_EQ(put("connected", "connected=true&ClientTransactionID=5"), json({{"http", 400}}));
  EXPECT_EQ(put("connected", "", "?Connected=true"), json({{"http", 400}})) << "a PUT's query is not its own";
  const json lower_id = put("connected", "Connected=true&clienttransactionid=5");
  EXPECT_EQ(std::tie(lower_id.at("ErrorNumber"), lower_id.at("ClientTransactionID")), std::tuple(0, 0));
  EXPECT_EQ(body_of(client().Get(api("connected") + "?clienttransactionid=6")).at("ClientTransactionID"), 6);

  std::map<std::string, json> state;
  const json device_state = body_of(client().Get(api("devicestate")));
  for (const json& item : device_state.at("Value"))
    state[item.at("Name").get<std::string>()] = item.at("Value");
  EXPECT_EQ(state.at("CameraState"), 0);
  EXPECT_EQ(state.at("ImageReady"), false);
  EXPECT_EQ(state.at("TimeStamp").get<std::string>().size(), 23u);
  for (const char* absent : {"IsPulseGuiding", "CoolerPower", "HeatSinkTemperature"})
    EXPECT_EQ(state.count(absent), 0u) << absent;

  // An image, then Accept with q-values: q=0 refuses ImageBytes.
  for (const std::string form : {"BinX=2", "NumX=8", "NumY=6"}) {
    std::string member = form.substr(0, form.find('='));
    for (char& c : member) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_EQ(put(member, form).at("ErrorNumber"), 0) << form;
  }
  ASSERT_EQ(put("startexposure", "Duration=1&Light=true").at("ErrorNumber"), 0);
  const Steady::time_point end = Steady::now() + 20s;
  while (body_of(client().Get(api("imageready"))).at("Value") != true && Steady::now() < end)
    std::this_thread::sleep_for(20ms);
  for (const auto& [accept, type] : std::vector<std::pair<std::string, std::string>>{
           {"application/imagebytes", "application/imagebytes"},
           {"application/json, application/imagebytes;q=0.9", "application/json"},
           {"application/imagebytes;q=0, application/json", "application/json"},
           {"application/imagebytes; q=0.5, application/json;q=0.1", "application/imagebytes"}}) {
    auto r = client().Get(api("imagearray"), {{"Accept", accept}});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->get_header_value("Content-Type"), type) << accept;
    if (type == "application/imagebytes") {
      EXPECT_EQ(r->body.size(), 44u + 8 * 6 * 2) << accept;
    } else {
      EXPECT_NE(r->body.size(), 44u + 8 * 6 * 2) << accept;
    }
  }
  ASSERT_EQ(put("disconnect", "").at("ErrorNumber"), 0);

  // Discovery answers on IPv4 only, where HTTP listens.
  const int fd = socket(AF_INET6, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  timeval patience{0, 500000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
  sockaddr_in6 to{};
  to.sin6_family = AF_INET6;
  to.sin6_port = htons(static_cast<std::uint16_t>(discovery_port));
  to.sin6_addr = in6addr_loopback;
  sendto(fd, "alpacadiscovery1", 16, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  char reply[64];
  EXPECT_LT(recv(fd, reply, sizeof reply, 0), 0) << "an answer on IPv6";
  close(fd);
}

}  // namespace
}  // namespace stellacq::alpaca
