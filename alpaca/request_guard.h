// Who may speak to stellacq-alpaca: the names a request may give as its
// Host, and the pages a change may come from.
//
// A web page of another site can make the browser send requests to the
// server: a form posted across origins, or -- through DNS rebinding, a name
// of the attacker's that resolves to this machine -- scripts that read the
// answers as if the server were the page's own. Refusing any Host that is
// not one of the server's own names stops the second; a per-server token in
// the setup form and the check of Origin and Referer stop the first.
// Neither is a password: anyone who reaches the port with a program of
// their own may still use the camera, as Alpaca intends.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "alpaca/http_server.h"

namespace stellacq::alpaca {

class RequestGuard {
 public:
  // `loopback_only`: the server listens on a loopback address, and only
  // loopback names and addresses may be given. Otherwise the machine's
  // addresses and names and `allowed_names` may too.
  RequestGuard(bool loopback_only, std::vector<std::string> allowed_names);

  // Whether a Host field (a name or an address, with or without a port)
  // names this server. An absent Host (HTTP/1.0 clients) passes: browsers
  // always send one.
  bool host_allowed(const std::string& host);
  // Whether the request comes from a page of this server: its Origin, or
  // without one its Referer, is http://<its Host>. A request with neither
  // (a program, not a browser) passes.
  static bool same_origin(const HttpRequest& request);

 private:
  bool machine_address(const std::string& address);
  bool machine_name(const std::string& name) const;
  void refresh_addresses();

  bool loopback_only_;
  std::vector<std::string> allowed_names_;
  std::mutex mutex_;
  std::vector<std::string> addresses_;  // the interfaces' addresses, in binary form
  std::chrono::steady_clock::time_point refreshed_{};
};

}  // namespace stellacq::alpaca
