#include "alpaca/settings_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <random>
#include <system_error>
#include <type_traits>

#include "alpaca/setup_form.h"
#include "camera/geometry.h"
#include "core/durable_file.h"

namespace stellacq::alpaca {

namespace {

using nlohmann::json;

constexpr double kPixelMinUm = 1, kPixelMaxUm = 40;

// A random (version 4) UUID.
std::string new_unique_id() {
  std::random_device random;
  std::uint8_t b[16];
  for (int i = 0; i < 16; i += 4) {
    const std::uint32_t r = random();
    for (int k = 0; k < 4; ++k) b[i + k] = static_cast<std::uint8_t>(r >> (8 * k));
  }
  b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);
  b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);
  char text[37];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return text;
}

}  // namespace

std::string default_settings_path() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    return std::string(xdg) + "/stellacq/alpaca.json";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.config/stellacq/alpaca.json";
}

DeviceSettings load_settings(const std::string& path, const DeviceSettings& defaults) {
  DeviceSettings s = defaults;
  std::ifstream in(path);
  if (!in) return s;
  const json j = json::parse(in, nullptr, false);
  if (!j.is_object()) return s;
  const auto take = [&](const char* key, auto& target) {
    using T = std::decay_t<decltype(target)>;
    const auto it = j.find(key);
    if (it == j.end()) return;
    if constexpr (std::is_same_v<T, bool>) {
      if (it->is_boolean()) target = it->template get<bool>();
    } else if constexpr (std::is_same_v<T, std::string>) {
      if (it->is_string()) target = it->template get<std::string>();
    } else {
      if (it->is_number()) target = it->template get<T>();
    }
  };
  take("simulate", s.simulate);
  take("port", s.port);
  take("head_model", s.head_model);
  take("unit_model", s.unit_model);
  take("pixel_tx11_um", s.pixel_tx11_um);
  take("pixel_tx22_um", s.pixel_tx22_um);
  take("fits_folder", s.fits_folder);
  take("sim_access_us", s.sim_access_us);
  take("unique_id", s.unique_id);
  // A hand-edited file may hold what the setup page and the command line
  // refuse: those values keep their defaults.
  if (s.head_model != kHeadTx11 && s.head_model != kHeadTx22) s.head_model = defaults.head_model;
  if (s.unit_model != kUnitTu11 && s.unit_model != kUnitTu22) s.unit_model = defaults.unit_model;
  if (!(s.pixel_tx11_um >= kPixelMinUm && s.pixel_tx11_um <= kPixelMaxUm))
    s.pixel_tx11_um = defaults.pixel_tx11_um;
  if (!(s.pixel_tx22_um >= kPixelMinUm && s.pixel_tx22_um <= kPixelMaxUm))
    s.pixel_tx22_um = defaults.pixel_tx22_um;
  if (!(s.sim_access_us >= 0 && s.sim_access_us <= 10)) s.sim_access_us = defaults.sim_access_us;
  if (!check_port(s.port).empty()) s.port = defaults.port;
  if (const std::string why = check_fits_folder(s.fits_folder, ""); !why.empty()) {
    std::cerr << "The settings file names the FITS folder \"" << s.fits_folder << "\": " << why
              << " No FITS copies are kept.\n";
    s.fits_folder.clear();
  }
  return s;
}

DeviceSettings load_settings_with_id(const std::string& path) {
  DeviceSettings s = load_settings(path, DeviceSettings{});
  if (s.unique_id.empty()) {
    s.unique_id = new_unique_id();
    save_settings(path, s);
  }
  return s;
}

std::string save_settings(const std::string& path, const DeviceSettings& s) {
  const json j = {{"simulate", s.simulate},           {"port", s.port},
                  {"head_model", s.head_model},       {"unit_model", s.unit_model},
                  {"pixel_tx11_um", s.pixel_tx11_um}, {"pixel_tx22_um", s.pixel_tx22_um},
                  {"fits_folder", s.fits_folder},     {"sim_access_us", s.sim_access_us},
                  {"unique_id", s.unique_id}};
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  const std::string bytes = j.dump(2) + "\n";
  return replace_file(path, [&bytes](int fd) { return write_all(fd, bytes.data(), bytes.size()); }).reason;
}

std::string default_fits_root() {
  if (const char* state = std::getenv("STATE_DIRECTORY"); state && *state) {
    // systemd may list several, separated by colons: the first is ours.
    const std::string first(state);
    return first.substr(0, first.find(':'));
  }
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
    return std::string(xdg) + "/stellacq/alpaca";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.local/share/stellacq/alpaca";
}

}  // namespace stellacq::alpaca
