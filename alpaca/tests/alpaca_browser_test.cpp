// The setup page in a real browser: Debian's chromium, headless, driven
// through its remote debugging protocol (a WebSocket spoken with Beast).
// It loads the page, saves a value, sees a refusal kept in its field, and
// sees a form posted from a page of another origin refused. Skipped, with
// the reason, where chromium is not installed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "alpaca/server.h"
#include "alpaca/settings_file.h"

namespace stellacq::alpaca {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
namespace fs = std::filesystem;
namespace net = boost::asio;
namespace websocket = boost::beast::websocket;
using tcp = net::ip::tcp;

std::string chromium_path() {
  for (const char* name : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
    if (access(name, X_OK) == 0) return name;
  return {};
}

// A headless chromium with a page open, spoken to over its DevTools socket.
class Browser {
 public:
  Browser(const std::string& program, const fs::path& profile) {
    std::vector<std::string> args = {program,
                                     "--headless=new",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--no-first-run",
                                     "--remote-debugging-port=0",
                                     "--remote-debugging-address=127.0.0.1",
                                     "--user-data-dir=" + profile.string(),
                                     "about:blank"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // Its own complaints (no D-Bus here) stay out of the test's output.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawn(&pid_, argv[0], &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) return;
    // Chromium writes the port it took into the profile.
    int port = 0;
    for (int i = 0; i < 200 && port == 0; ++i) {
      std::ifstream(profile / "DevToolsActivePort") >> port;
      if (port == 0) std::this_thread::sleep_for(50ms);
    }
    if (port == 0) return;
    httplib::Client devtools("127.0.0.1", port);
    std::string target;
    for (int i = 0; i < 100 && target.empty(); ++i) {
      if (auto r = devtools.Get("/json/list"))
        for (const json& t : json::parse(r->body, nullptr, false))
          if (t.value("type", "") == "page") target = t.value("webSocketDebuggerUrl", "");
      if (target.empty()) std::this_thread::sleep_for(50ms);
    }
    const std::string prefix = "ws://127.0.0.1:" + std::to_string(port);
    if (target.rfind(prefix, 0) != 0) return;
    tcp::resolver resolver(io_);
    net::connect(socket_.next_layer(), resolver.resolve("127.0.0.1", std::to_string(port)));
    timeval patience{10, 0};
    setsockopt(socket_.next_layer().native_handle(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    socket_.handshake("127.0.0.1:" + std::to_string(port), target.substr(prefix.size()));
    ready_ = true;
  }
  ~Browser() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool ready() const { return ready_; }

  json call(const std::string& method, const json& params) {
    const int id = ++last_id_;
    socket_.write(net::buffer(json{{"id", id}, {"method", method}, {"params", params}}.dump()));
    for (;;) {
      boost::beast::flat_buffer buffer;
      socket_.read(buffer);
      const json message = json::parse(boost::beast::buffers_to_string(buffer.data()), nullptr, false);
      if (message.value("id", 0) == id) return message;
    }
  }
  // A script's value in the page ("" when it fails, as while a page loads).
  std::string evaluate(const std::string& script) {
    const json r = call("Runtime.evaluate", {{"expression", script}, {"returnByValue", true}});
    const json value = r.value("/result/result/value"_json_pointer, json());
    return value.is_string() ? value.get<std::string>() : "";
  }
  // Waits until `script` gives a text that is not empty.
  std::string wait_for(const std::string& script) {
    for (int i = 0; i < 200; ++i) {
      if (std::string v = evaluate(script); !v.empty()) return v;
      std::this_thread::sleep_for(50ms);
    }
    return {};
  }
  void open(const std::string& url) { call("Page.navigate", {{"url", url}}); }

 private:
  pid_t pid_ = -1;
  bool ready_ = false;
  int last_id_ = 0;
  net::io_context io_;
  websocket::stream<tcp::socket> socket_{io_};
};

TEST(AlpacaBrowser, TheSetupPageSavesRefusesAndTurnsAwayAForeignPage) {
  const std::string chromium = chromium_path();
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed (Debian: apt-get install chromium)";
  signal(SIGPIPE, SIG_IGN);
  const fs::path scratch =
      fs::temp_directory_path() / ("stellacq-alpaca-browser-" + std::to_string(getpid()));
  fs::create_directories(scratch / "profile");
  ServerOptions options;
  options.port = 0;
  options.discovery_port = 0;
  options.settings_path = (scratch / "alpaca.json").string();
  options.fits_root = scratch.string();
  DeviceSettings settings;
  settings.simulate = true;
  AlpacaServer server(options, settings);
  std::string error;
  ASSERT_TRUE(server.start(&error)) << error;
  const std::string setup = "http://127.0.0.1:" + std::to_string(server.port()) + "/setup";

  // Another origin (another port): a page that posts the setup form, token
  // and all, as soon as it loads.
  HttpServer foreign(
      [&](const HttpRequest&) {
        HttpResponse r;
        r.content_type = "text/html";
        r.body = "<!DOCTYPE html><html><body><form id=\"f\" method=\"post\" action=\"" + setup +
                 "\"><input name=\"form\" value=\"1\"><input name=\"token\" value=\"" + server.form_token() +
                 "\"><input name=\"pixel_tx22\" value=\"33\"></form>"
                 "<script>document.getElementById('f').submit()</script></body></html>";
        return r;
      },
      HttpLimits{});
  ASSERT_TRUE(foreign.bind("127.0.0.1", 0, &error)) << error;
  foreign.start();

  Browser browser(chromium, scratch / "profile");
  ASSERT_TRUE(browser.ready()) << "chromium's remote debugging did not come up";
  const auto field = [](const char* name) {
    return "(document.querySelector('[name=" + std::string(name) + "]')||{}).value||''";
  };

  browser.open(setup);
  ASSERT_EQ(browser.wait_for(field("pixel_tx22")), "9");
  EXPECT_EQ(browser.evaluate(field("pixel_tx11")), "18");
  EXPECT_NE(browser.evaluate("document.body.innerText").find("TX-22 pixel (µm)"), std::string::npos);
  EXPECT_EQ(browser.evaluate("String(document.querySelector('meta[name=viewport]') !== null)"), "true");
  // The folder field is wide enough for a path (about 40 characters at
  // least) on an ordinary window.
  EXPECT_EQ(browser.evaluate("String(document.querySelector('[name=fits_folder]').offsetWidth >= 300)"),
            "true");

  const auto submit = [&](const std::string& name, const std::string& value) {
    // The page before the answer is marked, so that the wait sees the next.
    browser.evaluate("window.before = true; document.querySelector('[name=" + name + "]').value='" + value +
                     "'; document.querySelector('form').submit(); ''");
    return browser.wait_for(
        "!window.before && document.readyState === 'complete' && "
        "document.getElementById('note') ? document.getElementById('note').innerText : ''");
  };
  EXPECT_EQ(submit("pixel_tx22", "9.5"), "Saved.");
  EXPECT_EQ(server.device().settings().pixel_tx22_um, 9.5);
  EXPECT_EQ(browser.evaluate(field("pixel_tx22")), "9.5");

  EXPECT_EQ(submit("pixel_tx22", "95"), "Nothing was changed: correct the values marked.");
  EXPECT_EQ(browser.evaluate(field("pixel_tx22")), "95") << "the refused value stays in its field";
  EXPECT_EQ(browser.evaluate("(document.getElementById('error-pixel_tx22')||{}).innerText||''"),
            "The pixel size must be a number from 1 to 40 µm.");
  EXPECT_EQ(server.device().settings().pixel_tx22_um, 9.5);

  browser.open("http://127.0.0.1:" + std::to_string(foreign.port()) + "/");
  EXPECT_NE(browser
                .wait_for("location.href.indexOf('/setup') > 0 && document.readyState === 'complete' ? "
                          "document.body.innerText : ''")
                .find("Changes from the pages of another site are refused."),
            std::string::npos);
  EXPECT_EQ(server.device().settings().pixel_tx22_um, 9.5) << "a foreign page changed the setup";
  EXPECT_EQ(load_settings(options.settings_path, DeviceSettings{}).pixel_tx22_um, 9.5);
  foreign.stop();
  server.stop();
  fs::remove_all(scratch);
}

}  // namespace
}  // namespace stellacq::alpaca
