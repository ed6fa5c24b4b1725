// indi_stellacq_ccd in simulation under indiserver, with an INDI client on
// this machine, each figure beside INDI's own CCD simulator set to the same
// frame size and bit depth, under the same server in the same run:
//  - from the end of the exposure (the driver shows 0 s left as the download
//    begins) to the frame's BLOB at the client, for 1 x 1 and 2 x 2 frames,
//    against the download alone (the same Camera and simulated unit run in
//    this process). Goal: within the download + 100 ms.
//  - the driver's answer to a property request sent during a download: a
//    getProperties for PIXEL_SIZE on a connection of its own (one write,
//    no Nagle delay), timed to the definition coming back. Goal: < 50 ms.
//  - the driver's processor time during a 10 s exposure, as a share of one
//    core. Goal: < 5 %.
//  - the driver's processor time per 1 s frame (exposure, download, file and
//    BLOB), and its memory (resident now and at most) after the frames:
//    figures beside the simulator's, no goal.
// The bench runs against the INDI it was built with (INDI 1.9 or 2.x);
// scripts/indi-bench.sh runs it for both in one go.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "camera/camera.h"
#include "core/busy_count.h"
#include "core/clock.h"
#include "indi/tests/indi_session.h"
#include "sim/observatory.h"

namespace {

using namespace stellacq;
using namespace stellacq::indi::testing;
using namespace std::chrono_literals;
using Ms = std::chrono::duration<double, std::milli>;

constexpr int kFrames = 5;

double median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The download alone: a 1 s exposure on the simulated unit through the
// Camera, timed from the first download progress to the end of the call.
double download_ms(int binning) {
  SystemClock clock;
  CalibratedBusyCount busy(clock);
  sim::Observatory observatory(clock);
  PortAddresses ports{true, 0x378, 0x379, 0x37A};
  Camera camera(observatory.unit(), ports, clock, busy);
  camera.set_models(16, 16);
  if (!camera.connect().ok()) return -1;
  Frame frame;
  CancelToken cancel;
  std::vector<double> times;
  for (int i = 0; i < kFrames; ++i) {
    std::chrono::steady_clock::time_point began{};
    const ProgressHook progress = [&](const CameraProgress& p) {
      if (p.phase == CameraProgress::Phase::Download && began == std::chrono::steady_clock::time_point{})
        began = std::chrono::steady_clock::now();
    };
    const FrameResult result = camera.take_frame({FrameKind::Light, 1, binning}, frame, progress, cancel);
    if (!result.status.ok()) return -1;
    times.push_back(Ms(std::chrono::steady_clock::now() - began).count());
  }
  return median(times);
}

// A bare INDI connection asking a driver for one property.
class Probe {
 public:
  explicit Probe(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~Probe() {
    if (fd_ >= 0) close(fd_);
  }
  // Milliseconds from the request to the end of the answer; -1 without one.
  double ask(const std::string& device, const std::string& property) {
    if (fd_ < 0) return -1;
    const std::string request =
        "<getProperties version='1.7' device='" + device + "' name='" + property + "'/>\n";
    const std::string name = "name=\"" + property + "\"";
    std::string seen;
    const auto asked = std::chrono::steady_clock::now();
    if (write(fd_, request.data(), request.size()) != static_cast<ssize_t>(request.size())) return -1;
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 2000) <= 0) return -1;
      char buffer[4096];
      const ssize_t got = read(fd_, buffer, sizeof buffer);
      if (got <= 0) return -1;
      seen.append(buffer, static_cast<std::size_t>(got));
      const std::size_t at = seen.find(name);
      if (at != std::string::npos && seen.find("</def", at) != std::string::npos)
        return Ms(std::chrono::steady_clock::now() - asked).count();
    }
  }

 private:
  int fd_ = -1;
};

// One device under the bench's server: this driver, or INDI's CCD
// simulator set to the same frame (1536 x 1024, 9 um, 16 bits).
struct Device {
  const char* device;
  const char* program;
  const char* probed;  // a property asked for during the download
  Client client;
};

constexpr const char* kSimulatorDevice = "CCD Simulator";

struct Session {
  std::string home;
  std::unique_ptr<IndiServer> server;
  Device ours{kDevice, "indi_stellacq_ccd", "PIXEL_SIZE", {}};
  Device simulator{kSimulatorDevice, "indi_simulator_ccd", "SIMULATOR_SETTINGS", {}};
  bool start() {
    char pattern[] = "/tmp/stellacq-indi-bench-XXXXXX";
    home = mkdtemp(pattern);
    server = std::make_unique<IndiServer>(ServerOptions{home, {}, {"indi_simulator_ccd"}});
    if (!server->running() || !ours.client.start(server->port()) ||
        !simulator.client.start(server->port(), kSimulatorDevice))
      return false;
    Client& c = ours.client;
    if (!c.wait([](Client& c) { return c.has("SIMULATION"); }, 10s)) return false;
    c.set_switch("SIMULATION", "ENABLE");
    c.wait([](Client& c) { return c.property("SIMULATION").switches["ENABLE"]; }, 5s);
    c.set_switch("CONNECTION", "CONNECT");
    if (!c.wait_state("CONNECTION", IPS_OK, 15s) ||
        !c.wait([](Client& c) { return c.has("CCD_BINNING"); }, 5s))
      return false;
    Client& s = simulator.client;
    if (!s.wait([](Client& c) { return c.has("SIMULATOR_SETTINGS"); }, 10s)) return false;
    s.set_number("SIMULATOR_SETTINGS",
                 {{"SIM_XRES", 1536}, {"SIM_YRES", 1024}, {"SIM_XSIZE", 9}, {"SIM_YSIZE", 9}});
    if (!s.wait([](Client& c) { return c.property("SIMULATOR_SETTINGS").numbers["SIM_XRES"] == 1536; }, 5s))
      return false;
    s.set_switch("CONNECTION", "CONNECT");
    return s.wait_state("CONNECTION", IPS_OK, 15s) && s.wait(
                                                          [](Client& c) {
                                                            PropertyCopy info = c.property("CCD_INFO");
                                                            return info.numbers["CCD_MAX_X"] == 1536 &&
                                                                   info.numbers["CCD_BITSPERPIXEL"] == 16;
                                                          },
                                                          5s);
  }
  ~Session() {
    server.reset();
    if (!home.empty()) std::filesystem::remove_all(home);
  }
};

// When the device showed the end of the exposure (Busy, 0 s left) in an
// update after the first `from`: every update counts, also one that the
// next overwrote before anyone looked.
std::optional<Client::Clock::time_point> end_shown(Client& c, std::size_t from) {
  const std::vector<PropertyCopy> updates = c.updates("CCD_EXPOSURE");
  for (std::size_t i = from; i < updates.size(); ++i) {
    PropertyCopy e = updates[i];
    if (e.state == IPS_BUSY && e.numbers["CCD_EXPOSURE_VALUE"] == 0) return e.at;
  }
  return std::nullopt;
}

struct Figures {
  double blob_ms = -1;    // median, exposure end to BLOB at the client
  double answer_ms = -1;  // median, request at the exposure end to its answer
  int answers_during_download = 0;
  double cpu_ms_per_frame = -1;  // the driver's processor time, exposure to BLOB
};

double cpu_seconds(pid_t pid);

Figures measure(Session& s, Device& camera, int binning) {
  Figures f;
  Client& c = camera.client;
  const pid_t pid = s.server->driver_pid(camera.program);
  const double cpu_before = cpu_seconds(pid);
  int frames = 0;
  Probe probe(s.server->port());
  c.set_number("CCD_BINNING", {{"HOR_BIN", binning}, {"VER_BIN", binning}});
  c.wait([binning](Client& c) { return c.property("CCD_BINNING").numbers["HOR_BIN"] == binning; }, 5s);
  std::vector<double> blob, answer;
  for (int i = 0; i < kFrames; ++i) {
    const std::size_t before = c.blobs().size();
    const std::size_t from = c.updates("CCD_EXPOSURE").size();
    c.set_number("CCD_EXPOSURE", {{"CCD_EXPOSURE_VALUE", 1}});
    if (!c.wait([from](Client& c) { return end_shown(c, from).has_value(); }, 10s)) continue;
    const double answered_ms = probe.ask(camera.device, camera.probed);
    const auto answered_at = Client::Clock::now();
    if (!c.wait([before](Client& c) { return c.blobs().size() > before; }, 30s)) continue;
    const BlobCopy frame = c.blobs()[before];
    blob.push_back(Ms(frame.at - *end_shown(c, from)).count());
    ++frames;
    if (answered_ms >= 0) {
      answer.push_back(answered_ms);
      if (answered_at < frame.at) ++f.answers_during_download;
    }
    c.wait_state("CCD_EXPOSURE", IPS_OK, 5s);
  }
  f.blob_ms = median(blob);
  f.answer_ms = median(answer);
  if (frames > 0 && cpu_before >= 0) f.cpu_ms_per_frame = 1000.0 * (cpu_seconds(pid) - cpu_before) / frames;
  return f;
}

// A process's resident memory now and at most so far, in MiB.
std::pair<double, double> memory_mib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  double now = -1, peak = -1;
  for (std::string line; std::getline(status, line);) {
    std::istringstream fields(line);
    std::string key;
    double kib = 0;
    fields >> key >> kib;
    if (key == "VmRSS:") now = kib / 1024;
    if (key == "VmHWM:") peak = kib / 1024;
  }
  return {now, peak};
}

// A full 1 x 1 frame with CCD_COMPRESSION off and on: the BLOB's bytes and
// the time from the exposure's end to the BLOB at the client (medians).
struct Transfer {
  double bytes = -1;
  double blob_ms = -1;
};

Transfer full_frame_transfer(Session& s, bool compressed) {
  Client& c = s.ours.client;
  c.set_switch("CCD_COMPRESSION", compressed ? "INDI_ENABLED" : "INDI_DISABLED");
  c.wait([compressed](
             Client& c) { return c.property("CCD_COMPRESSION").switches["INDI_ENABLED"] == compressed; },
         5s);
  c.set_number("CCD_BINNING", {{"HOR_BIN", 1}, {"VER_BIN", 1}});
  c.wait([](Client& c) { return c.property("CCD_BINNING").numbers["HOR_BIN"] == 1; }, 5s);
  std::vector<double> bytes, blob;
  for (int i = 0; i < 3; ++i) {
    const std::size_t before = c.blobs().size();
    const std::size_t from = c.updates("CCD_EXPOSURE").size();
    c.set_number("CCD_EXPOSURE", {{"CCD_EXPOSURE_VALUE", 1}});
    if (!c.wait([from](Client& c) { return end_shown(c, from).has_value(); }, 10s)) continue;
    if (!c.wait([before](Client& c) { return c.blobs().size() > before; }, 30s)) continue;
    const BlobCopy frame = c.blobs()[before];
    bytes.push_back(static_cast<double>(frame.bytes.size()));
    blob.push_back(Ms(frame.at - *end_shown(c, from)).count());
    c.wait_state("CCD_EXPOSURE", IPS_OK, 5s);
  }
  return {median(bytes), median(blob)};
}

// Processor time of a process so far, in seconds (user and system).
double cpu_seconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const std::size_t close = line.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(line.substr(close + 2));
  std::string field;
  unsigned long long user = 0, system = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) user = std::stoull(field);
    if (i == 15) system = std::stoull(field);
  }
  return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Share of one core a device's driver used during a 10 s exposure (from the
// request to the end shown), both devices exposing at once; -1 on failure.
std::pair<double, double> exposure_cpu(Session& s) {
  constexpr double kSeconds = 10;
  Device* cameras[] = {&s.ours, &s.simulator};
  pid_t pids[2];
  double cpu[2], share[2] = {-1, -1};
  std::size_t from[2];
  Client::Clock::time_point asked[2];
  for (int i = 0; i < 2; ++i) {
    pids[i] = s.server->driver_pid(cameras[i]->program);
    cpu[i] = cpu_seconds(pids[i]);
    from[i] = cameras[i]->client.updates("CCD_EXPOSURE").size();
    asked[i] = Client::Clock::now();
    cameras[i]->client.set_number("CCD_EXPOSURE", {{"CCD_EXPOSURE_VALUE", kSeconds}});
  }
  for (int i = 0; i < 2; ++i) {
    Client& c = cameras[i]->client;
    const std::size_t start = from[i];
    if (!c.wait([start](Client& c) { return end_shown(c, start).has_value(); }, 30s)) continue;
    const double used = cpu_seconds(pids[i]) - cpu[i];
    share[i] = 100.0 * used / std::chrono::duration<double>(*end_shown(c, start) - asked[i]).count();
    c.wait_state("CCD_EXPOSURE", IPS_OK, 30s);
  }
  return {share[0], share[1]};
}

double ratio(double ours, double theirs) { return ours >= 0 && theirs > 0 ? ours / theirs : -1; }

}  // namespace

int main() {
  Session session;
  if (!session.start()) {
    std::fprintf(stderr, "indi_bench: the drivers did not come up under indiserver\n");
    return 1;
  }
  std::printf(
      "indi_stellacq_ccd in simulation beside INDI's CCD simulator (indi_simulator_ccd) at the\n"
      "same frame (1536 x 1024, 16 bits), same server, same run, INDI %d.%d.%d (%s);\n"
      "%d frames of 1 s each, medians\n\n",
      INDI_VERSION_MAJOR, INDI_VERSION_MINOR, INDI_VERSION_RELEASE, STELLACQ_INDISERVER, kFrames);
  std::printf("%-8s %12s | %-44s | %-36s\n", "", "", "end to BLOB ms", "answer at the exposure end ms");
  std::printf("%-8s %12s | %8s %9s %8s %5s %5s | %8s %8s %5s %13s\n", "binning", "download ms", "stellacq",
              "-download", "INDI sim", "ratio", "goal", "stellacq", "INDI sim", "ratio", "in download");
  bool all_met = true;
  Figures cpu[2][2];  // binning 1, 2 x ours, simulator
  for (int binning : {1, 2}) {
    const double alone = download_ms(binning);
    const Figures f = measure(session, session.ours, binning);
    const Figures sim = measure(session, session.simulator, binning);
    cpu[binning - 1][0] = f;
    cpu[binning - 1][1] = sim;
    const double goal = alone + 100.0;
    const bool met = f.blob_ms >= 0 && f.blob_ms <= goal && f.answer_ms >= 0 && f.answer_ms < 50.0;
    all_met = all_met && met;
    const double beyond = f.blob_ms >= 0 && alone >= 0 ? f.blob_ms - alone : -1;
    std::printf("%-8s %12.1f | %8.1f %9.1f %8.1f %5.2f %5.0f | %8.1f %8.1f %5.2f %8d/%d %s\n",
                binning == 1 ? "1 x 1" : "2 x 2", alone, f.blob_ms, beyond, sim.blob_ms,
                ratio(beyond, sim.blob_ms), goal, f.answer_ms, sim.answer_ms,
                ratio(f.answer_ms, sim.answer_ms), f.answers_during_download, kFrames,
                met ? "" : " <- goal missed");
  }
  std::printf(
      "\n(-download: end to BLOB less the simulated download, the part INDI's simulator also has.)\n");
  std::printf(
      "\nDriver CPU per 1 s frame (exposure, download, file, BLOB), ms: 1 x 1 stellacq %.1f, INDI sim "
      "%.1f; 2 x 2 stellacq %.1f, INDI sim %.1f (figures, no goal)\n",
      cpu[0][0].cpu_ms_per_frame, cpu[0][1].cpu_ms_per_frame, cpu[1][0].cpu_ms_per_frame,
      cpu[1][1].cpu_ms_per_frame);
  const auto [ours_cpu, sim_cpu] = exposure_cpu(session);
  const bool cpu_met = ours_cpu >= 0 && ours_cpu < 5.0;
  all_met = all_met && cpu_met;
  std::printf(
      "\nDriver CPU during a 10 s exposure: stellacq %.1f %% of a core, INDI sim %.1f %%, ratio %.2f, "
      "goal < 5 %%%s\n",
      ours_cpu, sim_cpu, ratio(ours_cpu, sim_cpu), cpu_met ? "" : " <- goal missed");
  std::printf(
      "\nGoals: end to BLOB within the download + 100 ms; an answer during a download < 50 ms;\n"
      "a driver that rests while the unit exposes (< 5 %% of a core).\n");

  // What CCD_COMPRESSION saves on a network between server and client
  // (a figure, no goal).
  const Transfer plain = full_frame_transfer(session, false);
  const Transfer packed = full_frame_transfer(session, true);
  std::printf("\nFull 1536 x 1024 frame, 3 frames, medians:\n");
  std::printf("  CCD_COMPRESSION off: %9.0f bytes (.fits),    exposure end to BLOB %7.1f ms\n", plain.bytes,
              plain.blob_ms);
  std::printf(
      "  CCD_COMPRESSION on:  %9.0f bytes (.fits.fz), exposure end to BLOB %7.1f ms (%.0f %% of the bytes)\n",
      packed.bytes, packed.blob_ms, plain.bytes > 0 ? 100.0 * packed.bytes / plain.bytes : -1.0);
  const auto [ours_now, ours_peak] = memory_mib(session.server->driver_pid(session.ours.program));
  const auto [sim_now, sim_peak] = memory_mib(session.server->driver_pid(session.simulator.program));
  std::printf(
      "\nDriver memory after the frames, MiB resident (peak): stellacq %.1f (%.1f), INDI sim %.1f (%.1f)\n",
      ours_now, ours_peak, sim_now, sim_peak);
  return all_met ? 0 : 2;
}
