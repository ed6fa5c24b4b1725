#include "alpaca/answer.h"

#include <strings.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace stellacq::alpaca {

using nlohmann::json;

Answer value(json v) {
  Answer a;
  a.value = std::move(v);
  return a;
}
Answer done() { return {}; }
Answer refuse(int number, std::string message) {
  Answer a;
  a.error_number = number;
  a.message = std::move(message);
  return a;
}
Answer bad_request(std::string message) {
  Answer a;
  a.http_status = 400;
  a.message = std::move(message);
  return a;
}

const std::string* find(const Params& params, const std::string& name, Answer& failure) {
  const auto it = params.find(name);
  if (it == params.end()) {
    failure = bad_request("Missing parameter " + name + ".");
    return nullptr;
  }
  return &it->second;
}

bool read_int(const Params& params, const std::string& name, int& out, Answer& failure) {
  const std::string* text = find(params, name, failure);
  if (!text) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text->c_str(), &end, 10);
  if (text->empty() || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) {
    failure = bad_request("Parameter " + name + " must be an integer, not \"" + *text + "\".");
    return false;
  }
  out = static_cast<int>(v);
  return true;
}

bool read_double(const Params& params, const std::string& name, double& out, Answer& failure) {
  const std::string* text = find(params, name, failure);
  if (!text) return false;
  // Alpaca numbers use the period whatever the locale; strtod of the "C"
  // locale, which this program keeps.
  char* end = nullptr;
  const double v = std::strtod(text->c_str(), &end);
  if (text->empty() || *end != '\0' || !std::isfinite(v)) {
    failure = bad_request("Parameter " + name + " must be a number, not \"" + *text + "\".");
    return false;
  }
  out = v;
  return true;
}

bool read_bool(const Params& params, const std::string& name, bool& out, Answer& failure) {
  const std::string* text = find(params, name, failure);
  if (!text) return false;
  if (strcasecmp(text->c_str(), "true") == 0) {
    out = true;
  } else if (strcasecmp(text->c_str(), "false") == 0) {
    out = false;
  } else {
    failure = bad_request("Parameter " + name + " must be true or false, not \"" + *text + "\".");
    return false;
  }
  return true;
}

}  // namespace stellacq::alpaca
