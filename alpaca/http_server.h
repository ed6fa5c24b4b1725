// The HTTP/1.1 server under stellacq-alpaca: Boost.Beast on one Asio event
// loop, so that a connection costs a socket and its buffers, not a thread.
//
// Every connection is bounded: the time to wait for a request on a kept-
// alive connection, the time from a request's first byte to its last, the
// size of its head and body, and the time a reader has to take an answer.
// Connections beyond the bound (in all, or from one address) are refused at
// once with 503. Requests that come pipelined are answered one after the
// other, in their order.
//
// Handlers run on a small pool of worker threads (a member such as
// Connected may wait for the camera); the sockets stay with the event loop.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace stellacq::alpaca {

// Names and values in the order sent, decoded.
using Fields = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
  std::string method;  // "GET", "PUT", "POST", ...
  std::string path;    // the target up to '?', as sent
  Fields query;        // the target's query
  Fields form;         // an application/x-www-form-urlencoded body
  std::string host, origin, referer, accept, content_type;
  std::string peer;  // the client's address
};

// A body made as it is sent, a piece at a time, so that a large answer
// never lies whole in memory: `size()` bytes in all.
class BodySource {
 public:
  virtual ~BodySource() = default;
  virtual std::size_t size() const = 0;
  // Appends the next piece to `out`; false once everything has been given.
  virtual bool next(std::string& out) = 0;
};

struct HttpResponse {
  int status = 200;
  std::string content_type = "text/plain; charset=utf-8";
  std::string body;
  // Sent after `body` as it is, shared with other answers: an image's bytes.
  std::shared_ptr<const std::string> tail;
  // Sent last, made as it goes out (on the event loop).
  std::shared_ptr<BodySource> source;
  std::vector<std::pair<std::string, std::string>> headers;  // further header fields
};

struct HttpLimits {
  std::size_t connections = 128;             // open at once, in all
  std::size_t per_peer = 16;                 // open at once from one address
  std::chrono::milliseconds idle{30000};     // waiting for the next request
  std::chrono::milliseconds request{10000};  // a request's head and body, from its first byte
  std::chrono::milliseconds write{120000};   // an answer's bytes to be taken
  std::size_t head_bytes = 8 * 1024;
  std::size_t body_bytes = 64 * 1024;
  int workers = 4;
};

class HttpServer {
 public:
  using Handler = std::function<HttpResponse(const HttpRequest&)>;
  HttpServer(Handler handler, const HttpLimits& limits);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds `address` (a numeric address or a name such as "localhost") and
  // `port` (0 = any free port). False with the reason otherwise.
  bool bind(const std::string& address, int port, std::string* error);
  int port() const;
  // The address bound is a loopback address (127.0.0.0/8, ::1).
  bool loopback() const;
  // The address families it takes connections on.
  bool takes_ipv4() const;
  bool takes_ipv6() const;
  void start();
  // Closes every connection; waits for the handlers under way.
  void stop();

  struct Impl;  // the event loop and its connections (http_server.cpp)

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace stellacq::alpaca
