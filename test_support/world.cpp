#include "test_support/world.h"

namespace stellacq::testing {

void fill(FrameBuffer& frame, int width, int height, std::int32_t value) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) frame.at(x, y) = value;
}

void World::set_light(int width, int height, std::int32_t value) {
  fill(f.light_frame, f.image_width = width, f.image_height = height, value);
  f.light_max = f.light_min = value;
}

void World::set_dark(int width, int height, std::int32_t value) {
  fill(f.dark_frame, f.dark_width = width, f.dark_height = height, value);
  f.dark_max = f.dark_min = value;
}

void World::set_flat(std::int32_t value, std::int32_t mean) {
  fill(f.flat_frame, f.image_width, f.image_height, value);
  f.flat_max = f.flat_min = value;
  f.flat_mean = mean;
  f.flat_loaded = 1;
}

SimWorld::SimWorld(const sim::ObservatoryOptions& options) : observatory(unit_clock, options) {
  apply_parallel_port(2, p.ports);  // 0x378
  p.settings.unit_model = 16;
  p.settings.head_model = 16;
  // A silent unit must end a wait at once in a test.
  clock.auto_step_us = 250'000;
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

}  // namespace stellacq::testing
