// A Program wired to inert seams and a fresh temporary folder, for the
// settings tests.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "core/program.h"
#include "telescope/busy_count.h"

namespace stellacq::testing {

class SilentPort final : public PortIo {
 public:
  std::uint8_t PortIn(std::uint16_t) override { return 0; }
  void PortOut(std::uint16_t, std::uint8_t) override {}
};

// A fresh folder under the system's temporary folder, removed at the end.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> serial{0};
    path_ = std::filesystem::temp_directory_path() /
            ("stellacq_config_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string path() const { return path_.string(); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

struct TestWorld {
  SilentPort port;
  ManualClock clock;
  ScriptedInteraction ui;
  RecordingBusyCount busy;
  std::unique_ptr<Program> program = std::make_unique<Program>(port, clock, ui, busy);
  Program& p = *program;
};

inline std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace stellacq::testing
