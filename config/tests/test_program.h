// A Program wired to inert seams, a fresh temporary folder and file helpers
// for the settings tests.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/program.h"
#include "telescope/busy_count.h"

namespace stellacq::testing {

struct SilentPort final : PortIo {
  std::uint8_t PortIn(std::uint16_t) override { return 0; }
  void PortOut(std::uint16_t, std::uint8_t) override {}
};

struct TestWorld {
  SilentPort port;
  ManualClock clock;
  ScriptedInteraction ui;
  RecordingBusyCount busy;
  Program p{port, clock, ui, busy};
};

// A fresh folder under the system's temporary folder, removed at the end.
struct TempFolder {
  std::string path_ = (std::filesystem::temp_directory_path() / "stellacq_config_XXXXXX").string();
  TempFolder() { ::mkdtemp(path_.data()); }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
};

inline std::string read_bytes(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

}  // namespace stellacq::testing
