// A fresh program world for the FITS tests: manual clock, scripted user,
// a port and busy count that are never used here, and a scratch folder.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/program.h"

namespace stellacq::testing {

class NullPort final : public PortIo {
 public:
  std::uint8_t PortIn(std::uint16_t) override { return 0; }
  void PortOut(std::uint16_t, std::uint8_t) override {}
};

class NullBusy final : public BusyCount {
 public:
  void count(std::int64_t) override {}
};

struct World {
  NullPort port;
  ManualClock clock;
  ScriptedInteraction ui;
  NullBusy busy;
  Program p{port, clock, ui, busy};
};

// A folder of its own under the system's temporary folder, removed at the end.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fits_test_XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace stellacq::testing
