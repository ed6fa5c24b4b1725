// stellacq-alpaca --simulate on this machine, with cpp-httplib's client:
//  - StartExposure of a 1 s full frame (1 x 1) to its ImageBytes fully
//    received, polling ImageReady every 5 ms, less the exposure, against the
//    download alone (the same Camera and simulated unit in this process).
//    Goal: within the download + 150 ms.
//  - the same with the JSON ImageArray. Goal: within the download + 1.5 s.
//  - a second client's CameraState answered during a download. Goal: < 50 ms.
//  - the server's processor time during a 6 s exposure, from /proc. Goal:
//    under 5 % of a core.
//  - ImageReady after the download's end, at 1 x 1 and 2 x 2: from the
//    last DeviceState a client sees with the download under way, polling
//    every 1 ms, to the first with ImageReady (an upper bound). Goal:
//    within 10 ms.
//  - ImageBytes of a full frame, a new connection each time, beside
//    `python3 -m http.server` serving the same bytes from a file. Goal:
//    within 1.2 times its time.
//  - the server's resident memory and threads after 40 full frames, each
//    fetched by 5 clients at once (3 as ImageBytes, 2 as JSON). Goal: under
//    40 MB (python's static server's beside it); then what each of 100 open
//    connections, begun and silent, adds. Goal: under 64 KB each, with no
//    thread more.
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "camera/camera.h"
#include "core/busy_count.h"
#include "core/clock.h"
#include "sim/observatory.h"

namespace {

using namespace stellacq;
using namespace std::chrono_literals;
using Ms = std::chrono::duration<double, std::milli>;
using Steady = std::chrono::steady_clock;
namespace http = boost::beast::http;

constexpr int kFrames = 3;
constexpr double kExposureMs = 1000.0;

double median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The download alone, from the first download progress to the end of the call.
double download_ms(int binning = 1) {
  SystemClock clock;
  CalibratedBusyCount busy(clock);
  sim::Observatory observatory(clock);
  PortAddresses ports{true, 0x378, 0x379, 0x37A};
  Camera camera(observatory.unit(), ports, clock, busy);
  if (!camera.connect().ok()) return -1;
  Frame frame;
  CancelToken cancel;
  std::vector<double> times;
  for (int i = 0; i < kFrames; ++i) {
    Steady::time_point began{};
    const ProgressHook progress = [&](const CameraProgress& p) {
      if (p.phase == CameraProgress::Phase::Download && began == Steady::time_point{}) began = Steady::now();
    };
    if (!camera.take_frame({FrameKind::Light, 1, binning}, frame, progress, cancel).status.ok()) return -1;
    times.push_back(Ms(Steady::now() - began).count());
  }
  return median(times);
}

// A field of /proc/PID/status ("VmRSS", "Threads") as a number (kB for
// sizes).
double status_field(pid_t pid, const std::string& name) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(name + ":", 0) == 0) return std::stod(line.substr(name.size() + 1));
  return -1;
}

pid_t spawn(std::vector<std::string> args, const std::string& home) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string home_env = "HOME=" + home;
  std::string path_env = std::string("PATH=") + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
  char* envp[] = {home_env.data(), path_env.data(), nullptr};
  pid_t pid = 0;
  return posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp) == 0 ? pid : -1;
}

double cpu_seconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // Fields after the command's closing parenthesis: utime and stime are the
  // 12th and 13th of them.
  std::size_t at = text.rfind(')');
  if (at == std::string::npos) return -1;
  std::vector<std::string> fields;
  std::string field;
  for (const char c : text.substr(at + 2)) {
    if (c == ' ') {
      fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  if (fields.size() < 13) return -1;
  return (std::stod(fields[11]) + std::stod(fields[12])) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

int main() {
  const std::filesystem::path home = std::filesystem::temp_directory_path() / "stellacq-alpaca-bench";
  std::filesystem::create_directories(home);
  const int port = 39000 + getpid() % 20000;
  const pid_t server =
      spawn({STELLACQ_ALPACA, "--simulate", "--port", std::to_string(port), "--discovery-port", "0"},
            home.string());
  if (server < 0) return 1;

  httplib::Client c("127.0.0.1", port);
  for (int i = 0; i < 100 && !c.Get("/management/apiversions"); ++i) std::this_thread::sleep_for(50ms);
  const std::string api = "/api/v1/camera/0/";
  if (!c.Put(api + "connected", httplib::Params{{"Connected", "true"}})) {
    std::fprintf(stderr, "alpaca_bench: the server did not come up\n");
    return 1;
  }
  const auto get = [&](httplib::Client& client, const std::string& member) {
    auto r = client.Get(api + member);
    return r ? r->body : std::string();
  };

  // One frame from StartExposure to the image received; the answers of a
  // second client during its download.
  std::vector<double> answers;
  const auto frame_ms = [&](bool bytes) {
    const Steady::time_point start = Steady::now();
    c.Put(api + "startexposure", httplib::Params{{"Duration", "1"}, {"Light", "true"}});
    httplib::Client other("127.0.0.1", port);
    while (get(c, "imageready").find("\"Value\":true") == std::string::npos) {
      if (get(c, "camerastate").find("\"Value\":4") != std::string::npos) {
        const Steady::time_point asked = Steady::now();
        get(other, "camerastate");
        answers.push_back(Ms(Steady::now() - asked).count());
      }
      std::this_thread::sleep_for(5ms);
    }
    httplib::Headers headers;
    if (bytes) headers.emplace("Accept", "application/imagebytes");
    auto r = c.Get(api + "imagearray", headers);
    const double ms = Ms(Steady::now() - start).count() - kExposureMs;
    return r && r->status == 200 && r->body.size() > 1'000'000 ? ms : -1.0;
  };
  std::vector<double> bytes_ms, json_ms;
  for (int i = 0; i < kFrames; ++i) bytes_ms.push_back(frame_ms(true));
  for (int i = 0; i < kFrames; ++i) json_ms.push_back(frame_ms(false));

  // Processor time of the server while the unit exposes, no client asking.
  c.Put(api + "startexposure", httplib::Params{{"Duration", "6"}, {"Light", "true"}});
  std::this_thread::sleep_for(500ms);
  const double cpu_before = cpu_seconds(server);
  const Steady::time_point window = Steady::now();
  std::this_thread::sleep_for(4s);
  const double cpu_percent = 100.0 * (cpu_seconds(server) - cpu_before) /
                             std::chrono::duration<double>(Steady::now() - window).count();
  c.Put(api + "abortexposure");
  while (get(c, "camerastate").find("\"Value\":0") == std::string::npos) std::this_thread::sleep_for(50ms);

  // ImageReady after the download's end, at each binning: from the last
  // DeviceState that shows the download still under way (CameraState 4,
  // PercentCompleted below 100) to the first that shows ImageReady. The
  // download ended between the two: the delay is at most this.
  const auto ready_after_download_ms = [&](int binning) {
    c.Put(api + "binx", httplib::Params{{"BinX", std::to_string(binning)}});
    c.Put(api + "numx", httplib::Params{{"NumX", std::to_string(1536 / binning)}});
    c.Put(api + "numy", httplib::Params{{"NumY", std::to_string(1024 / binning)}});
    std::vector<double> times;
    for (int i = 0; i < kFrames; ++i) {
      c.Put(api + "startexposure", httplib::Params{{"Duration", "1"}, {"Light", "true"}});
      Steady::time_point downloading{};
      for (;;) {
        const Steady::time_point asked = Steady::now();
        const nlohmann::json state = nlohmann::json::parse(get(c, "devicestate"), nullptr, false);
        std::map<std::string, nlohmann::json> value;
        if (state.is_object())
          for (const auto& item : state.value("Value", nlohmann::json::array()))
            value[item.value("Name", "")] = item.value("Value", nlohmann::json());
        if (value["ImageReady"] == true) {
          if (downloading != Steady::time_point{}) times.push_back(Ms(Steady::now() - downloading).count());
          break;
        }
        if (value["CameraState"] == 4 && value["PercentCompleted"].is_number() &&
            value["PercentCompleted"] < 100)
          downloading = asked;
        std::this_thread::sleep_for(1ms);
      }
    }
    return median(times);
  };
  const double seen_1 = ready_after_download_ms(1), seen_2 = ready_after_download_ms(2);
  ready_after_download_ms(1);

  // The last full frame as ImageBytes, a new connection each time, read
  // with Beast's client for both servers.
  std::string image;
  const auto fetch_ms = [&](int at_port, const std::string& path, bool bytes) {
    std::vector<double> times;
    for (int i = 0; i < 10; ++i) {
      const Steady::time_point began = Steady::now();
      boost::asio::io_context io;
      boost::asio::ip::tcp::socket socket(io);
      boost::beast::error_code ec;
      socket.connect({boost::asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(at_port)}, ec);
      http::request<http::empty_body> request(http::verb::get, path, 11);
      request.set(http::field::host, "127.0.0.1");
      if (bytes) request.set(http::field::accept, "application/imagebytes");
      http::write(socket, request, ec);
      boost::beast::flat_buffer buffer;
      http::response_parser<http::string_body> parser;
      parser.body_limit(64 << 20);
      http::read(socket, buffer, parser, ec);
      if (ec || parser.get().result_int() != 200) return -1.0;
      times.push_back(Ms(Steady::now() - began).count());
      image = parser.get().body();
    }
    return median(times);
  };
  const double ours_ms = fetch_ms(port, api + "imagearray", true);

  // 40 full frames, each fetched by 5 clients at once.
  for (int frame = 0; frame < 40; ++frame) {
    c.Put(api + "startexposure", httplib::Params{{"Duration", "1"}, {"Light", "true"}});
    while (get(c, "imageready").find("\"Value\":true") == std::string::npos)
      std::this_thread::sleep_for(20ms);
    std::vector<std::thread> clients;
    for (int k = 0; k < 5; ++k)
      clients.emplace_back([&, k] {
        httplib::Client reader("127.0.0.1", port);
        httplib::Headers headers;
        if (k < 3) headers.emplace("Accept", "application/imagebytes");
        reader.Get(api + "imagearray", headers);
      });
    for (std::thread& t : clients) t.join();
  }
  const double rss_mb = status_field(server, "VmRSS") / 1024, threads = status_field(server, "Threads");

  // 100 connections that have begun a request and say no more, from seven
  // addresses (the server takes 16 from one): what each one costs.
  std::vector<int> open;
  for (int i = 0; i < 100; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    inet_pton(AF_INET, ("127.0.0." + std::to_string(2 + i / 15)).c_str(), &from.sin_addr);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
        connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0)
      send(fd, "GET /api/v1/camera/0/name HTTP/1.1\r\n", 36, MSG_NOSIGNAL);
    open.push_back(fd);
  }
  std::this_thread::sleep_for(300ms);
  const double per_connection_kb = (status_field(server, "VmRSS") - rss_mb * 1024) / 100;
  const double threads_open = status_field(server, "Threads");
  for (const int fd : open) close(fd);
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);

  // The same bytes from python's static file server.
  const int static_port = port + 1;
  std::ofstream(home / "image.bin", std::ios::binary) << image;
  const pid_t python = spawn({"python3", "-m", "http.server", std::to_string(static_port), "--bind",
                              "127.0.0.1", "--directory", home.string()},
                             home.string());
  httplib::Client probe("127.0.0.1", static_port);
  for (int i = 0; i < 100 && !probe.Get("/"); ++i) std::this_thread::sleep_for(50ms);
  const double static_ms = python > 0 ? fetch_ms(static_port, "/image.bin", false) : -1;
  const double static_rss_mb = python > 0 ? status_field(python, "VmRSS") / 1024 : -1;
  if (python > 0) {
    kill(python, SIGTERM);
    waitpid(python, nullptr, 0);
  }
  std::filesystem::remove_all(home);

  const double alone = download_ms(), alone_2 = download_ms(2);
  const double bytes = median(bytes_ms), json = median(json_ms);
  const double answer = answers.empty() ? -1 : *std::max_element(answers.begin(), answers.end());
  const double ready_1 = seen_1, ready_2 = seen_2;
  const auto missed = [](bool met) { return met ? "" : "  <- goal missed"; };
  std::printf("stellacq-alpaca --simulate, full frame 1536 x 1024, %d frames of 1 s each, medians\n\n",
              kFrames);
  std::printf("%-48s %10s %12s\n", "", "ms", "goal ms");
  std::printf("%-48s %10.1f\n", "download alone, 1 x 1", alone);
  std::printf("%-48s %10.1f\n", "download alone, 2 x 2", alone_2);
  std::printf("%-48s %10.1f %12.1f%s\n", "StartExposure to ImageBytes, less the 1 s", bytes, alone + 150,
              missed(bytes >= 0 && bytes <= alone + 150));
  std::printf("%-48s %10.1f %12.1f%s\n", "StartExposure to JSON ImageArray, less 1 s", json, alone + 1500,
              missed(json >= 0 && json <= alone + 1500));
  std::printf("%-48s %10.1f %12.1f%s  (%zu answers)\n", "slowest answer during a download", answer, 50.0,
              missed(answer >= 0 && answer < 50), answers.size());
  std::printf("%-48s %10.1f %12.1f%s\n", "ImageReady after the download's end, 1 x 1", ready_1, 10.0,
              missed(seen_1 >= 0 && ready_1 <= 10));
  std::printf("%-48s %10.1f %12.1f%s\n", "ImageReady after the download's end, 2 x 2", ready_2, 10.0,
              missed(seen_2 >= 0 && ready_2 <= 10));
  std::printf("%-48s %10.1f\n", "ImageBytes of a full frame, python3 -m http.server", static_ms);
  std::printf("%-48s %10.1f %12.1f%s\n", "ImageBytes of a full frame, stellacq-alpaca", ours_ms,
              1.2 * static_ms, missed(ours_ms >= 0 && static_ms > 0 && ours_ms <= 1.2 * static_ms));
  std::printf("\n%-48s %10s %12s\n", "", "MB", "goal MB");
  std::printf("%-48s %10.1f %12.1f%s  (%.0f threads)\n", "resident after 40 frames x 5 clients", rss_mb, 40.0,
              missed(rss_mb > 0 && rss_mb < 40), threads);
  std::printf("%-48s %10.1f\n", "python3 -m http.server, resident", static_rss_mb);
  std::printf("%-48s %10.1f %12.1f%s  (%.0f threads)\n", "KB more for each of 100 slow connections",
              per_connection_kb, 64.0, missed(per_connection_kb < 64), threads_open);
  std::printf("%-48s %9.1f%% %11.1f%%%s\n", "server's processor during an exposure", cpu_percent, 5.0,
              missed(cpu_percent >= 0 && cpu_percent < 5));
  return 0;
}
