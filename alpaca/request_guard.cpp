#include "alpaca/request_guard.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace stellacq::alpaca {

namespace {

using namespace std::chrono_literals;

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The name or address of a Host field, without its port or the brackets of
// an IPv6 address, in lower case, without a final dot.
std::string host_name(const std::string& host) {
  std::string name;
  if (!host.empty() && host[0] == '[') {
    const std::size_t close = host.find(']');
    name = close == std::string::npos ? host : host.substr(1, close - 1);
  } else {
    const std::size_t colon = host.find(':');
    name = host.substr(0, colon);
  }
  name = lower(name);
  if (!name.empty() && name.back() == '.') name.pop_back();
  return name;
}

// An IP literal in binary form (4 or 16 bytes), or none.
std::optional<std::string> address_bytes(const std::string& text) {
  unsigned char bytes[16];
  if (inet_pton(AF_INET, text.c_str(), bytes) == 1) return std::string(reinterpret_cast<char*>(bytes), 4);
  if (inet_pton(AF_INET6, text.c_str(), bytes) == 1) {
    // An IPv4 address written as IPv6 (::ffff:a.b.c.d) is that IPv4 address.
    static const unsigned char mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(bytes, mapped, 12) == 0) return std::string(reinterpret_cast<char*>(bytes) + 12, 4);
    return std::string(reinterpret_cast<char*>(bytes), 16);
  }
  return std::nullopt;
}

bool loopback_address(const std::string& bytes) {
  static const std::string v6_loopback("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\1", 16);
  return (bytes.size() == 4 && bytes[0] == 127) || bytes == v6_loopback;
}

// "localhost" and the names under it are the loopback's by definition (RFC
// 6761 6.3); browsers resolve them without asking DNS.
bool loopback_name(const std::string& name) {
  const std::string suffix = ".localhost";
  return name == "localhost" || (name.size() > suffix.size() &&
                                 name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0);
}

// scheme://authority of a URL, in lower case.
std::string origin_of(const std::string& url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string::npos) return lower(url);
  const std::size_t end = url.find_first_of("/?#", scheme + 3);
  return lower(url.substr(0, end));
}

}  // namespace

RequestGuard::RequestGuard(bool loopback_only, std::vector<std::string> allowed_names)
    : loopback_only_(loopback_only) {
  for (const std::string& name : allowed_names) allowed_names_.push_back(host_name(name));
}

bool RequestGuard::host_allowed(const std::string& host) {
  if (host.empty()) return true;
  const std::string name = host_name(host);
  if (name.empty()) return false;
  const std::optional<std::string> address = address_bytes(name);
  if (loopback_name(name) || (address && loopback_address(*address))) return true;
  if (loopback_only_) return false;
  return address ? machine_address(*address) : machine_name(name);
}

bool RequestGuard::machine_name(const std::string& name) const {
  if (std::find(allowed_names_.begin(), allowed_names_.end(), name) != allowed_names_.end()) return true;
  char own[256] = {};
  if (gethostname(own, sizeof own - 1) != 0) return false;
  const std::string full = lower(own);
  const std::string shortened = full.substr(0, full.find('.'));
  // The machine's name, plain, qualified, or as mDNS (Avahi) gives it.
  return name == full || name == shortened || name == shortened + ".local";
}

bool RequestGuard::machine_address(const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto known = [&] {
    return std::find(addresses_.begin(), addresses_.end(), address) != addresses_.end();
  };
  if (known()) return true;
  // The interfaces' addresses change (DHCP, a cable plugged in): looked up
  // again when an unknown one is named, at most once a second.
  if (std::chrono::steady_clock::now() - refreshed_ < 1s) return false;
  refresh_addresses();
  return known();
}

void RequestGuard::refresh_addresses() {
  refreshed_ = std::chrono::steady_clock::now();
  addresses_.clear();
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return;
  for (const ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr) continue;
    if (i->ifa_addr->sa_family == AF_INET) {
      const auto* a = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
      addresses_.emplace_back(reinterpret_cast<const char*>(&a->sin_addr), 4);
    } else if (i->ifa_addr->sa_family == AF_INET6) {
      const auto* a = reinterpret_cast<const sockaddr_in6*>(i->ifa_addr);
      addresses_.emplace_back(reinterpret_cast<const char*>(&a->sin6_addr), 16);
    }
  }
  freeifaddrs(list);
}

bool RequestGuard::same_origin(const HttpRequest& request) {
  const std::string& from = !request.origin.empty() ? request.origin : request.referer;
  if (from.empty()) return true;
  return origin_of(from) == "http://" + lower(request.host);
}

}  // namespace stellacq::alpaca
