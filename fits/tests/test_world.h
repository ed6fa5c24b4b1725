// A fresh program world for the FITS tests (manual clock, scripted user, a
// port and busy count never used here), a scratch folder removed at the end,
// and small file helpers.
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
struct NullBusy final : BusyCount {
  void count(std::int64_t) override {}
};
struct World {
  NullPort port;
  ManualClock clock;
  ScriptedInteraction ui;
  NullBusy busy;
  Program p{port, clock, ui, busy};
};

struct ScratchDir {
  std::filesystem::path path = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "fits_test_XXXXXX").string();
    return std::filesystem::path(mkdtemp(pattern.data()));
  }();
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string file(const std::string& name) const { return (path / name).string(); }
};

inline std::string pad(const std::string& s) { return s + std::string(80 - s.size(), ' '); }

inline std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace stellacq::testing
