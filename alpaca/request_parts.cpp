#include "alpaca/request_parts.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "core/utf8.h"

namespace stellacq::alpaca {

std::vector<std::string> split_path(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t at = 1;
  while (at <= path.size()) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    parts.push_back(path.substr(at, slash - at));
    at = slash + 1;
  }
  return parts;
}

const std::pair<std::string, std::string>* not_utf8(const Fields& fields) {
  for (const auto& field : fields)
    if (!is_utf8(field.first) || !is_utf8(field.second)) return &field;
  return nullptr;
}

std::uint32_t transaction_id(const Params& params) {
  const auto it = params.find("ClientTransactionID");
  if (it == params.end()) return 0;
  const std::string& text = it->second;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || !std::isdigit(static_cast<unsigned char>(text[0])) || v > 0xFFFFFFFFull)
    return 0;
  return static_cast<std::uint32_t>(v);
}

double accept_weight(const std::string& accept, const std::string& type) {
  std::size_t at = 0;
  while (at <= accept.size()) {
    std::size_t comma = accept.find(',', at);
    if (comma == std::string::npos) comma = accept.size();
    const std::string range = accept.substr(at, comma - at);
    at = comma + 1;
    const std::size_t semicolon = range.find(';');
    std::string name = range.substr(0, semicolon);
    name.erase(0, name.find_first_not_of(" \t"));
    name.erase(name.find_last_not_of(" \t") + 1);
    if (strcasecmp(name.c_str(), type.c_str()) != 0) continue;
    double q = 1;
    for (std::size_t p = semicolon; p != std::string::npos;) {
      const std::size_t next = range.find(';', p + 1);
      std::string parameter =
          range.substr(p + 1, next == std::string::npos ? std::string::npos : next - p - 1);
      parameter.erase(0, parameter.find_first_not_of(" \t"));
      if (parameter.size() > 2 && (parameter[0] == 'q' || parameter[0] == 'Q') && parameter[1] == '=')
        q = std::strtod(parameter.c_str() + 2, nullptr);
      p = next;
    }
    return q > 0 && q <= 1 ? q : 0;
  }
  return 0;
}

}  // namespace stellacq::alpaca
