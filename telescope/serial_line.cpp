#include "telescope/serial_line.h"

#include <cstdlib>
#include <sstream>
#include <vector>

namespace stellacq {

std::optional<LineSettings> parse_line_settings(const std::string& settings) {
  std::vector<std::string> parts;
  std::stringstream in(settings);
  for (std::string part; std::getline(in, part, ',');) parts.push_back(part);
  if (parts.size() != 4) return std::nullopt;
  LineSettings s;
  try {
    std::size_t used = 0;
    s.baud = std::stoi(parts[0], &used);
    if (used != parts[0].size() || s.baud <= 0) return std::nullopt;
    if (parts[1].size() != 1 || std::string("NEOMS").find(parts[1][0]) == std::string::npos)
      return std::nullopt;
    s.parity = parts[1][0];
    s.data_bits = std::stoi(parts[2], &used);
    if (used != parts[2].size() || s.data_bits < 5 || s.data_bits > 8) return std::nullopt;
    if (parts[3] == "1") {
      s.stop_bits = 1;
    } else if (parts[3] == "1.5") {
      s.stop_bits = 1.5;
    } else if (parts[3] == "2") {
      s.stop_bits = 2;
    } else {
      return std::nullopt;
    }
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return s;
}

std::string serial_device(int com, const EnvironmentLookup& environment) {
  if (com < 1 || com > 3) return {};
  const std::string variable = "STELLACQ_COM" + std::to_string(com);
  const char* chosen = environment ? environment(variable.c_str()) : std::getenv(variable.c_str());
  if (chosen != nullptr && *chosen != '\0') return chosen;
  return "/dev/ttyS" + std::to_string(com - 1);
}

}  // namespace stellacq
