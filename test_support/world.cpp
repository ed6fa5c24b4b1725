#include "test_support/world.h"

#include <algorithm>
#include <csignal>

namespace stellacq::testing {

void fill(Frame& frame, int width, int height, std::int32_t value) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) frame.counts.at(x, y) = value;
}

void advance(LocalDateTime& t, int seconds) {
  int s = ((t.day * 24 + t.hour) * 60 + t.minute) * 60 + t.second + seconds;
  t.second = s % 60;
  s /= 60;
  t.minute = s % 60;
  s /= 60;
  t.hour = s % 24;
  t.day = s / 24;
}

int statuses_starting(const ScriptedInteraction& ui, const std::string& prefix) {
  return static_cast<int>(std::count_if(ui.statuses.begin(), ui.statuses.end(),
                                        [&](const std::string& s) { return s.starts_with(prefix); }));
}

void World::set_light(int width, int height, std::int32_t value) {
  fill(f.light, f.light.width = width, f.light.height = height, value);
  f.light.max = f.light.min = value;
}

void World::set_dark(int width, int height, std::int32_t value) {
  fill(f.dark, f.dark.width = width, f.dark.height = height, value);
  f.dark.max = f.dark.min = value;
}

void World::set_flat(std::int32_t value, std::int32_t mean) {
  fill(f.flat, f.light.width, f.light.height, value);
  f.flat.max = f.flat.min = value;
  f.flat_mean = mean;
  f.flat_loaded = 1;
}

LineError RecordingSerialLine::open(std::string* detail) {
  events.push_back("open COM" + std::to_string(com) + " " + settings);
  if (open_error != LineError::None) {
    if (detail) *detail = "scripted failure";
    return open_error;
  }
  open_now = true;
  return LineError::None;
}

void RecordingSerialLine::close() {
  events.push_back("close");
  open_now = false;
}

LineError RecordingSerialLine::send(const std::string& text) {
  if (!open_now) return LineError::NotOpen;
  if (send_error != LineError::None) return send_error;
  events.push_back("send " + text);
  sent += text;
  if (on_send) on_send(text);
  return LineError::None;
}

std::string RecordingSerialLine::take_received() {
  if (!open_now || incoming.empty()) return {};
  std::string piece = incoming.front();
  incoming.pop_front();
  return piece;
}

SimWorld::SimWorld(const sim::ObservatoryOptions& options) : observatory(unit_clock, options) {
  apply_parallel_port(2, p.ports);  // 0x378
  p.settings.unit_model = 16;
  p.settings.head_model = 16;
  p.settings.com_port = 1;
  busy.on_count = [this](std::int64_t us) { unit_clock.advance_us(us); };
  clock.on_sleep = [this](std::int64_t us) { unit_clock.advance_us(us); };
  // A silent unit must end a wait at once in a test.
  clock.auto_step_us = 250'000;
}

int SimWorld::sent(const std::string& command) {
  const std::vector<std::string>& c = traffic().commands;
  return static_cast<int>(std::count(c.begin(), c.end(), command));
}

void SimWorld::connect_tx11() {
  p.settings.unit_model = 4;
  p.settings.head_model = 4;
  unit().options().unit_model = sim::kUnitTu11;
  p.connection.camera_menu_link_sumi_Click();
  traffic().clear();
  ui.statuses.clear();
}

sim::ObservatoryOptions SimWorld::default_options() {
  sim::ObservatoryOptions o;
  o.unit.record = true;
  o.unit.instant_exposures = true;
  return o;
}

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "stellacq_XXXXXX").string();
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> folder_names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
  ::getrlimit(RLIMIT_FSIZE, &old_);
  old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{bytes, old_.rlim_max};
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  ::setrlimit(RLIMIT_FSIZE, &old_);
  std::signal(SIGXFSZ, old_handler_);
}

}  // namespace stellacq::testing
