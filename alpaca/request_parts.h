// The parts of a request the Alpaca server reads before it answers: the
// path's segments, whether the fields are text, the ClientTransactionID and
// the weight the client's Accept gives a type.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "alpaca/camera_device.h"
#include "alpaca/http_server.h"

namespace stellacq::alpaca {

// The segments of a path after its leading '/' ("/api/v1" gives "api" and
// "v1"; an empty one where two slashes meet or the path ends in one).
std::vector<std::string> split_path(const std::string& path);

// The first field whose name or value is not UTF-8 text, or null.
const std::pair<std::string, std::string>* not_utf8(const Fields& fields);

// A ClientTransactionID, or 0 when there is none or it is not a number from
// 0 to 4294967295. (ConformU takes 200 or 400 for a malformed one unless it
// runs its strict checks; 0 keeps answering the clients that send them.)
std::uint32_t transaction_id(const Params& params);

// The weight a client's Accept gives `type` (0 = not acceptable): its own
// q-value, or 1 without one; 0 when it is not listed. RFC 9110 12.5.1 (a
// media range with q=0 is "not acceptable").
double accept_weight(const std::string& accept, const std::string& type);

}  // namespace stellacq::alpaca
