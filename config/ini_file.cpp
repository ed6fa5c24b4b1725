// Reading and writing STELLACQ.INI; see ini_file.h for the file format.

#include "config/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <vector>

#include "core/numeric.h"

namespace stellacq {

namespace {

// The file is a few hundred bytes; anything past this is not ours to read.
constexpr std::size_t kMaxFileBytes = 1 << 20;

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

// A whole (already trimmed) text that is one decimal number: optional sign,
// digits with at most one point (a leading "." is fine), optional exponent.
std::optional<double> whole_number(std::string_view s) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  bool digits = false;
  while (i < s.size() && is_digit(s[i])) ++i, digits = true;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && is_digit(s[i])) ++i, digits = true;
  }
  if (!digits) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    bool exponent_digits = false;
    while (i < s.size() && is_digit(s[i])) ++i, exponent_digits = true;
    if (!exponent_digits) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;
  // The syntax is checked above, so strtod reads exactly this text; an
  // exponent too large for a double is not a value this program wrote.
  const double value = std::strtod(std::string(s).c_str(), nullptr);
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

// Integer fields take the nearest integer (ties to even) and floating
// fields the value itself, when it fits the field's type; anything else
// leaves the field as it is.
template <typename T>
requires std::is_arithmetic_v<T>
bool read_field(std::string_view line, T& field) {
  const auto value = whole_number(trim_blanks(line));
  if (!value) return false;
  const double v = std::is_integral_v<T> ? round_half_even(*value) : *value;
  if (v < static_cast<double>(std::numeric_limits<T>::lowest()) ||
      v > static_cast<double>(std::numeric_limits<T>::max()))
    return false;
  field = static_cast<T>(v);
  return true;
}

bool read_field(std::string_view line, OptionalNumber& field) {
  const std::string_view s = trim_blanks(line);
  if (s.empty()) {
    field.reset();
    return true;
  }
  const auto value = whole_number(s);
  if (!value) return false;
  field = *value;
  return true;
}

// A folder line in double quotes is the text between them, commas and all;
// any other folder line ends at its first comma.
bool read_field(std::string_view line, std::string& field) {
  const std::string_view s = trim_blanks(line);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
    field = std::string(s.substr(1, s.size() - 2));
  else
    field = std::string(trim_blanks(s.substr(0, s.find(','))));
  return true;
}

// Integers (16- and 32-bit alike) and numbers carry a sign position; the
// float keeps 7 significant digits, the double 15.
std::string field_text(std::int32_t value) { return decimal_text(value); }
// Plain decimals however large or small: the file holds no exponents.
std::string field_text(float value) { return plain_decimal_text(static_cast<double>(value), 7); }
std::string field_text(double value) { return plain_decimal_text(value, 15); }
std::string field_text(const OptionalNumber& value) {
  return value ? plain_decimal_text(*value) : std::string();
}

// A folder name holding a line break would shift every later line of the
// file; the line is cut there. A folder that would not read back as it is
// (a comma, a leading quote, blanks at either end) is written in double
// quotes; any other folder is written as held, as older files have it.
std::string field_text(const std::string& folder) {
  const std::string line = folder.substr(0, folder.find_first_of("\r\n"));
  const bool quoted = line.find(',') != std::string::npos || (!line.empty() && line.front() == '"') ||
                      (!line.empty() && (is_blank(line.front()) || is_blank(line.back())));
  return quoted ? '"' + line + '"' : line;
}

// Calls `f` on each of the 25 fields in file order (S is Settings or const
// Settings).
template <typename S, typename F>
void for_each_field(S& s, F&& f) {
  f(s.x_reverse);
  f(s.y_reverse);
  f(s.x_tracking_on);
  f(s.y_tracking_on);
  f(s.x_tracking_factor);
  f(s.y_tracking_factor);
  f(s.search_span);
  f(s.aperture);
  f(s.threshold);
  f(s.guide_dark_sub);
  f(s.guide_flat_sub);
  f(s.com_port);
  f(s.parallel_port);
  f(s.x_move_repeat);
  f(s.y_move_repeat);
  f(s.unit_model);
  f(s.head_model);
  f(s.small_shift_ignore);
  f(s.save_folder);
  f(s.save_in_series);
  f(s.program_shutter);
  f(s.program_interval);
  f(s.program_count);
  f(s.program_repeat);
  f(s.program_wait);
}

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::string error_text(int error) { return std::error_code(error, std::generic_category()).message(); }

}  // namespace

std::string ini_path_for(const std::string& start_dir) {
  if (!start_dir.empty() && start_dir.back() == '/') return start_dir + kSettingsFileName;
  return start_dir + "/" + kSettingsFileName;
}

std::string settings_file_text(const Settings& settings) {
  std::string text;
  for_each_field(settings, [&](const auto& field) { text += field_text(field) + "\r\n"; });
  return text;
}

SettingsFileState parse_settings_text(const std::string& text, Settings& settings) {
  settings = Settings{};
  const std::vector<std::string_view> lines = split_lines(text);
  bool complete = lines.size() >= static_cast<std::size_t>(kSettingsLines);
  std::size_t i = 0;
  for_each_field(settings, [&](auto& field) {
    const std::string_view line = i < lines.size() ? lines[i] : std::string_view();
    ++i;
    complete = read_field(line, field) && complete;
  });
  // A repeat count below 1 would make every guiding move on that axis a
  // no-op; it is not a value the program writes.
  const Settings fresh;
  if (!(settings.x_move_repeat >= 1)) {
    settings.x_move_repeat = fresh.x_move_repeat;
    complete = false;
  }
  if (settings.y_move_repeat < 1) {
    settings.y_move_repeat = fresh.y_move_repeat;
    complete = false;
  }
  return complete ? SettingsFileState::Complete : SettingsFileState::Partial;
}

SettingsFileState read_settings_file(const std::string& path, Settings& settings, std::string* reason) {
  settings = Settings{};
  const auto unreadable = [reason](const std::string& why) {
    if (reason) *reason = why;
    return SettingsFileState::Unreadable;
  };
  // The kind is checked before the open: a pipe would hold it for good.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    return errno == ENOENT ? SettingsFileState::Missing : unreadable(error_text(errno));
  if (S_ISDIR(st.st_mode)) return unreadable(error_text(EISDIR));
  if (!S_ISREG(st.st_mode)) return unreadable("not a regular file");
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return unreadable(error_text(errno));
  std::string text(kMaxFileBytes, '\0');
  std::size_t done = 0;
  int error = 0;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) error = EINVAL;
  while (error == 0 && done < text.size()) {
    const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (error != 0) return unreadable(error_text(error));
  text.resize(done);
  return parse_settings_text(text, settings);
}

ReplaceResult replace_settings_file(const std::string& path, const Settings& settings) {
  const std::string bytes = settings_file_text(settings);
  return replace_file(path, [&bytes](int fd) { return write_all(fd, bytes.data(), bytes.size()); });
}

bool write_settings_file(const std::string& path, const Settings& settings) {
  return replace_settings_file(path, settings).ok;
}

}  // namespace stellacq
