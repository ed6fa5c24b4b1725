// What the Alpaca camera answers a member with, apart from HTTP: a value,
// an Alpaca error, or a refusal of the request itself; and the request's
// parameters read as the API spells and types them.
#pragma once

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "core/frame.h"

namespace stellacq::alpaca {

// Alpaca error numbers.
inline constexpr int kNotImplemented = 0x400;
inline constexpr int kInvalidValue = 0x401;
inline constexpr int kValueNotSet = 0x402;
inline constexpr int kNotConnected = 0x407;
inline constexpr int kInvalidOperation = 0x40B;
inline constexpr int kActionNotImplemented = 0x40C;
inline constexpr int kDriverError = 0x500;  // the port or the unit failed

// Request parameters by name, as the API spells them (the server brings a
// GET's names to that spelling).
using Params = std::map<std::string, std::string>;

// A frame as the clients get it: the binned subframe asked for, cut to the
// top left of its counts.
using Image = Frame;

struct Answer {
  int http_status = 200;  // 400 / 404: `message` is the plain text sent
  std::string message;    // the HTTP error text, or the Alpaca ErrorMessage
  int error_number = 0;
  std::optional<nlohmann::json> value;  // the Value, when the member has one
  std::shared_ptr<const Image> image;   // ImageArray: sent by the server
};

Answer value(nlohmann::json v);
Answer done();
Answer refuse(int number, std::string message);
Answer bad_request(std::string message);

// A parameter the member needs: missing or malformed is the client's fault
// (HTTP 400, in `failure`); a well-formed value out of range is the
// device's refusal, for the member to give.
const std::string* find(const Params& params, const std::string& name, Answer& failure);
bool read_int(const Params& params, const std::string& name, int& out, Answer& failure);
bool read_double(const Params& params, const std::string& name, double& out, Answer& failure);
bool read_bool(const Params& params, const std::string& name, bool& out, Answer& failure);

}  // namespace stellacq::alpaca
