// Test and benchmark support: a Program wired to inert seams (no camera on
// the port, a manual clock, a scripted person at the screen), a scratch
// folder of its own, whole-file reads and header cards.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/program.h"

namespace stellacq::testing {

// A port with nothing attached: reads float high, writes go nowhere.
struct OfflinePort final : PortIo {
  std::uint8_t PortIn(std::uint16_t) override { return 0xFF; }
  void PortOut(std::uint16_t, std::uint8_t) override {}
};

struct OfflineWorld {
  OfflinePort port;
  ManualClock clock;
  ScriptedInteraction ui;
  RecordingBusyCount busy;
  Program p{port, clock, ui, busy};
};

// A fresh folder under the temporary folder, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "stellacq_XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A FITS header card: the text filled with blanks to 80 characters.
inline std::string pad(const std::string& s) { return s + std::string(80 - s.size(), ' '); }

inline std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// While it lives, no file of this process may grow beyond `bytes`: a write
// past it fails with EFBIG, as on a full disk (the signal is ignored).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, old_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit old_{};
  void (*old_handler_)(int) = nullptr;
};

// The names in a folder, sorted.
inline std::vector<std::string> folder_names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace stellacq::testing
