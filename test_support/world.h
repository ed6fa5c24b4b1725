// Test and benchmark support: fresh program worlds, a scratch folder, file
// bytes and frames of one count.
//
// A world is the program state wired to test seams: a manual clock, a
// scripted person at the screen, a recording busy count, and a parallel port
// with either nothing on it (World) or the simulated observatory behind it
// (SimWorld). Every test builds its own.
#pragma once

#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/program.h"
#include "camera/link.h"
#include "sim/observatory.h"

namespace stellacq::testing {

// A port with nothing attached: reads float high, writes go nowhere.
struct OfflinePort final : PortIo {
  std::uint8_t PortIn(std::uint16_t) override { return 0xFF; }
  void PortOut(std::uint16_t, std::uint8_t) override {}
};

// A serial line that records what happened on it and answers from a
// script. `events` keeps the order: "open COM1 9600,N,8,1", "send #:GR#\r\n",
// "discard", "close" (a test adds the busy counts through the busy count's
// on_count to see what lies between two sends).
struct RecordingSerialLine final : SerialLine {
  int com = 0;
  std::string settings;
  bool open_now = false;
  LineError open_error = LineError::None;  // what opens answer
  LineError send_error = LineError::None;  // what sends answer; a failed send records nothing
  std::string sent;                        // every byte sent, in order
  std::vector<std::string> events;
  // Each take answers the next piece ("" = nothing has come yet); then "".
  std::deque<std::string> incoming;
  // Called with every text sent, after it is recorded: a test queues the
  // reply here.
  std::function<void(const std::string&)> on_send;
  std::string device = "/dev/ttyS0";

  void set_port_number(int n) override { com = n; }
  int port_number() const override { return com; }
  void set_settings(const std::string& s) override { settings = s; }
  LineError open(std::string* detail = nullptr) override;
  void close() override;
  bool is_open() const override { return open_now; }
  void discard_input() override { events.push_back("discard"); }
  LineError send(const std::string& text) override;
  std::string take_received() override;
  std::string device_name() const override { return device; }
};

// The seams every test world has besides its port.
struct TestSeams {
  ManualClock clock;
  ScriptedInteraction ui;
  RecordingBusyCount busy;
  RecordingSerialLine serial;
  Seams on(PortIo& port) { return {port, clock, ui, busy, serial}; }
  Seams on(PortIo& port, SerialLine& line, Clock* line_clock = nullptr) {
    return {port, clock, ui, busy, line, line_clock};
  }
};

// The program with no camera attached.
struct World : TestSeams {
  OfflinePort port;
  Program p{on(port)};
  Frames& f = p.frames;

  // A frame of one count with its size (the flat takes the light's) and extremes.
  void set_light(int width, int height, std::int32_t value);
  void set_dark(int width, int height, std::int32_t value);
  void set_flat(std::int32_t value, std::int32_t mean);
  // Drawings, beeps and busy pointers: 0 when a command did nothing.
  int activity() const { return ui.picture_updates + ui.beeps + ui.busy_on; }
};

// The program on the simulated observatory: the unit on port 0x378, a TU-22
// with a TX-22 head in the settings, exposures that end at once, the mount
// on the serial line (COM1 in the settings). The devices have a clock of
// their own, which the tests move; busy counts move it too, so a timed
// move lasts its counts on the mount.
struct SimWorld : TestSeams {
  explicit SimWorld(const sim::ObservatoryOptions& options = default_options());
  static sim::ObservatoryOptions default_options();

  std::uint8_t control_register() { return unit().PortIn(sim::kSimBase + 2); }
  sim::Traffic& traffic() { return unit().recorder(); }
  sim::ControlUnit& unit() { return observatory.unit(); }
  // How often `command` went to the unit since the traffic was cleared.
  int sent(const std::string& command);
  // Switches to a TX-11 head on a TU-11 unit and connects; the traffic and
  // the status lines start empty.
  void connect_tx11();

  ManualClock unit_clock;
  sim::Observatory observatory;
  // The mount's replies are waited on the devices' clock, which busy counts move.
  Program p{on(observatory.parallel_port(), observatory.serial_line(), &unit_clock)};
};

// The link primitives on a world's port, its addresses and its clock, and
// one exchange through them (true when it went through), below the camera.
inline CameraPort camera_port(SimWorld& w) { return {w.p.port, w.p.ports, w.p.clock}; }
inline bool exchange(SimWorld& w, std::string_view command, ReplyMode mode = ReplyMode::Framed) {
  CameraPort port = camera_port(w);
  return exchange_command(port, w.p.link, command, mode) == LinkResult::Ok;
}

// Worlds hold three full frames: tests keep them on the heap.
inline std::unique_ptr<World> make_world() { return std::make_unique<World>(); }

void fill(Frame& frame, int width, int height, std::int32_t value);

// Moves a clock reading on by `seconds` within its month.
void advance(LocalDateTime& t, int seconds);

// How many status lines written so far start with `prefix`.
int statuses_starting(const ScriptedInteraction& ui, const std::string& prefix);

// The colour of a grey level in the image area.
inline std::uint32_t grey(std::uint32_t g) { return 0xFF000000u | g << 16 | g << 8 | g; }

// A fresh folder under the temporary folder, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A FITS header card: the text filled with blanks to 80 characters.
inline std::string pad(const std::string& s) { return s + std::string(80 - s.size(), ' '); }

std::string file_bytes(const std::string& path);

// The names in a folder, sorted.
std::vector<std::string> folder_names(const std::string& folder);

// While it lives, no file of this process may grow beyond `bytes`: a write
// past it fails with EFBIG, as on a full disk (the signal is ignored).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit old_{};
  void (*old_handler_)(int) = nullptr;
};

}  // namespace stellacq::testing
