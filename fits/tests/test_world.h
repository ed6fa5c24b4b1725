// A fresh program world for the FITS tests (manual clock, scripted user, a
// port and busy count never used here), a scratch folder, file helpers.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/program.h"

namespace stellacq::testing {

struct NullPort final : PortIo {
  std::uint8_t PortIn(std::uint16_t) override { return 0; }
  void PortOut(std::uint16_t, std::uint8_t) override {}
};
struct World {
  NullPort port;
  ManualClock clock;
  ScriptedInteraction ui;
  RecordingBusyCount busy;
  Program p{port, clock, ui, busy};
};

// A folder of its own under the temporary folder, removed at the end.
struct ScratchDir {
  std::string pattern = (std::filesystem::temp_directory_path() / "fits_test_XXXXXX").string();
  std::filesystem::path path = mkdtemp(pattern.data());
  ~ScratchDir() { std::filesystem::remove_all(path); }
  std::string file(const std::string& name) const { return (path / name).string(); }
};

inline std::string pad(const std::string& s) { return s + std::string(80 - s.size(), ' '); }

inline std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace stellacq::testing
