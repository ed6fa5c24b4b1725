// stellacq-alpaca --simulate on this machine, with cpp-httplib's client:
//  - StartExposure of a 1 s full frame (1 x 1) to its ImageBytes fully
//    received, polling ImageReady every 5 ms, less the exposure, against the
//    download alone (the same Camera and simulated unit in this process).
//    Goal: within the download + 150 ms.
//  - the same with the JSON ImageArray. Goal: within the download + 1.5 s.
//  - a second client's CameraState answered during a download. Goal: < 50 ms.
//  - the server's processor time during a 6 s exposure, from /proc. Goal:
//    under 5 % of a core.
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
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

constexpr int kFrames = 3;
constexpr double kExposureMs = 1000.0;

double median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The download alone, from the first download progress to the end of the call.
double download_ms() {
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
    if (!camera.take_frame({FrameKind::Light, 1, 1}, frame, progress, cancel).status.ok()) return -1;
    times.push_back(Ms(Steady::now() - began).count());
  }
  return median(times);
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
  std::vector<std::string> args = {STELLACQ_ALPACA,      "--simulate",       "--port",
                                   std::to_string(port), "--discovery-port", "0"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string home_env = "HOME=" + home.string();
  char* envp[] = {home_env.data(), nullptr};
  pid_t server = 0;
  if (posix_spawn(&server, argv[0], nullptr, nullptr, argv.data(), envp) != 0) return 1;

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
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  std::filesystem::remove_all(home);

  const double alone = download_ms();
  const double bytes = median(bytes_ms), json = median(json_ms);
  const double answer = answers.empty() ? -1 : *std::max_element(answers.begin(), answers.end());
  std::printf("stellacq-alpaca --simulate, full frame 1536 x 1024, %d frames of 1 s each, medians\n\n",
              kFrames);
  std::printf("%-44s %10s %12s\n", "", "ms", "goal ms");
  std::printf("%-44s %10.1f\n", "download alone", alone);
  std::printf("%-44s %10.1f %12.1f%s\n", "StartExposure to ImageBytes, less the 1 s", bytes, alone + 150,
              bytes >= 0 && bytes <= alone + 150 ? "" : "  <- goal missed");
  std::printf("%-44s %10.1f %12.1f%s\n", "StartExposure to JSON ImageArray, less 1 s", json, alone + 1500,
              json >= 0 && json <= alone + 1500 ? "" : "  <- goal missed");
  std::printf("%-44s %10.1f %12.1f%s  (%zu answers)\n", "slowest answer during a download", answer, 50.0,
              answer >= 0 && answer < 50 ? "" : "  <- goal missed", answers.size());
  std::printf("%-44s %9.1f%% %11.1f%%%s\n", "server's processor during an exposure", cpu_percent, 5.0,
              cpu_percent >= 0 && cpu_percent < 5 ? "" : "  <- goal missed");
  return 0;
}
