#include "alpaca/http_server.h"

#include <httplib.h>

#include <array>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

namespace stellacq::alpaca {

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;

// Query text as forms and targets write it; the decoding is cpp-httplib's.
Fields decoded(const std::string& text) {
  httplib::Params params;
  httplib::detail::parse_query_text(text, params);
  return {params.begin(), params.end()};
}

std::string text_of(beast::string_view view) { return std::string(view.data(), view.size()); }

bool caseless_equal(beast::string_view a, beast::string_view b) { return beast::iequals(a, b); }

}  // namespace

struct HttpServer::Impl {
  Impl(Handler h, const HttpLimits& l) : handler(std::move(h)), limits(l), workers(l.workers) {}

  Handler handler;
  HttpLimits limits;
  // Open connections, in all and by address; released by the connection,
  // which may end on a worker thread or when the loop is taken down.
  std::mutex count_mutex;
  std::size_t open = 0;
  std::map<std::string, std::size_t> per_peer;

  net::io_context io{1};
  tcp::acceptor acceptor{io};
  net::thread_pool workers;
  std::thread thread;
  int port = 0;
  bool loopback = false, ipv4 = false, ipv6 = false;

  bool admit(const std::string& peer) {
    std::lock_guard<std::mutex> lock(count_mutex);
    std::size_t& mine = per_peer[peer];
    if (open >= limits.connections || mine >= limits.per_peer) {
      if (mine == 0) per_peer.erase(peer);
      return false;
    }
    ++open;
    ++mine;
    return true;
  }
  void release(const std::string& peer) {
    std::lock_guard<std::mutex> lock(count_mutex);
    --open;
    if (--per_peer[peer] == 0) per_peer.erase(peer);
  }

  void accept();
};

namespace {

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(HttpServer::Impl& server, tcp::socket socket, std::string peer)
      : server_(server), stream_(std::move(socket)), peer_(std::move(peer)) {}
  ~Connection() { server_.release(peer_); }

  void start() { wait_for_request(); }

 private:
  using Parser = http::request_parser<http::string_body>;

  // A kept-alive connection may be quiet for the idle time; a request
  // already begun (pipelined behind the last one) is read at once. One
  // request is answered before the next is read, so the answers go out in
  // the order the requests came (RFC 9112 9.3.2).
  void wait_for_request() {
    if (buffer_.size() > 0) return read_head();
    stream_.expires_after(server_.limits.idle);
    stream_.async_read_some(buffer_.prepare(server_.limits.head_bytes),
                            [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                              if (ec) return self->close();
                              self->buffer_.commit(n);
                              self->read_head();
                            });
  }

  void read_head() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(server_.limits.head_bytes));
    parser_->body_limit(server_.limits.body_bytes);
    // One deadline for the head and the body together: a client that
    // trickles either in is cut off when it runs out.
    stream_.expires_after(server_.limits.request);
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = shared_from_this()](beast::error_code ec, std::size_t) {
                              if (ec) return self->refuse_request(ec);
                              self->after_head();
                            });
  }

  void after_head() {
    const auto& request = parser_->get();
    if (parser_->is_done()) return dispatch();
    // Clients that ask first (many .NET ones do for PUT) are told to go on,
    // rather than left to wait for their own time-out.
    const auto expect = request.find(http::field::expect);
    if (expect != request.end() && caseless_equal(expect->value(), "100-continue")) {
      static const std::string go_on = "HTTP/1.1 100 Continue\r\n\r\n";
      net::async_write(stream_, net::buffer(go_on),
                       [self = shared_from_this()](beast::error_code ec, std::size_t) {
                         if (ec) return self->close();
                         self->read_body();
                       });
      return;
    }
    read_body();
  }

  void read_body() {
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) {
                       if (ec) return self->refuse_request(ec);
                       self->dispatch();
                     });
  }

  void refuse_request(beast::error_code ec) {
    if (ec == http::error::end_of_stream || ec == net::error::eof || ec == beast::error::timeout ||
        ec == net::error::connection_reset || ec == net::error::operation_aborted)
      return close();
    HttpResponse answer;
    if (ec == http::error::body_limit) {
      answer.status = 413;
      answer.body = "The request is too large.\n";
    } else if (ec == http::error::header_limit) {
      answer.status = 431;
      answer.body = "The request's header is too large.\n";
    } else {
      answer.status = 400;
      answer.body = "The request was not understood.\n";
    }
    keep_alive_ = false;
    write(std::move(answer));
  }

  void dispatch() {
    stream_.expires_never();
    const auto& message = parser_->get();
    keep_alive_ = message.keep_alive();
    HttpRequest request;
    request.method = text_of(message.method_string());
    const std::string target = text_of(message.target());
    const std::size_t question = target.find('?');
    request.path = target.substr(0, question);
    if (question != std::string::npos) request.query = decoded(target.substr(question + 1));
    const auto field = [&](http::field name) { return text_of(message[name]); };
    request.content_type = field(http::field::content_type);
    if (request.content_type.rfind("application/x-www-form-urlencoded", 0) == 0)
      request.form = decoded(message.body());
    request.host = field(http::field::host);
    request.origin = field(http::field::origin);
    request.referer = field(http::field::referer);
    request.accept = field(http::field::accept);
    request.peer = peer_;
    parser_.reset();
    net::post(server_.workers, [self = shared_from_this(), request = std::move(request)] {
      HttpResponse answer;
      try {
        answer = self->server_.handler(request);
      } catch (const std::exception& e) {
        answer = {};
        answer.status = 500;
        answer.body = std::string("The server failed: ") + e.what() + "\n";
      }
      net::post(self->stream_.get_executor(),
                [self, answer = std::move(answer)]() mutable { self->write(std::move(answer)); });
    });
  }

  void write(HttpResponse answer) {
    answer_ = std::move(answer);
    http::response<http::empty_body> head;
    head.version(11);
    head.result(static_cast<unsigned>(answer_.status));
    head.set(http::field::server, "stellacq-alpaca");
    head.set(http::field::content_type, answer_.content_type);
    for (const auto& [name, value] : answer_.headers) head.set(name, value);
    head.content_length(answer_.body.size() + (answer_.tail ? answer_.tail->size() : 0) +
                        (answer_.source ? answer_.source->size() : 0));
    head.keep_alive(keep_alive_);
    std::ostringstream text;
    text << head.base();
    head_ = text.str();
    const std::array<net::const_buffer, 3> buffers = {
        net::buffer(head_), net::buffer(answer_.body),
        answer_.tail ? net::buffer(*answer_.tail) : net::const_buffer()};
    stream_.expires_after(server_.limits.write);
    net::async_write(stream_, buffers, [self = shared_from_this()](beast::error_code ec, std::size_t) {
      if (ec) return self->close();
      self->sent_ = 0;
      self->send_source();
    });
  }

  // The made body, a piece at a time as the client takes them.
  void send_source() {
    if (!answer_.source) return finish_answer();
    piece_.clear();
    const bool more = answer_.source->next(piece_);
    sent_ += piece_.size();
    // A source that gives more or less than it announced would break the
    // connection's framing: the connection ends instead.
    if (sent_ > answer_.source->size() || (!more && sent_ != answer_.source->size())) return close();
    if (!more) answer_.source.reset();
    if (piece_.empty()) return send_source();
    net::async_write(stream_, net::buffer(piece_),
                     [self = shared_from_this()](beast::error_code ec, std::size_t) {
                       if (ec) return self->close();
                       self->send_source();
                     });
  }

  void finish_answer() {
    answer_ = {};
    piece_ = {};
    if (!keep_alive_) return drain();
    wait_for_request();
  }

  // After the last answer: what the client still sends (the rest of a
  // refused body) is read and dropped for a moment, so that the answer is
  // not lost to a reset of the connection.
  void drain() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(std::chrono::seconds(1));
    drop_input();
  }
  void drop_input() {
    buffer_.clear();
    stream_.async_read_some(buffer_.prepare(4096),
                            [self = shared_from_this()](beast::error_code ec, std::size_t) {
                              if (ec) return self->close();
                              self->drop_input();
                            });
  }

  void close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

  HttpServer::Impl& server_;
  beast::tcp_stream stream_;
  std::string peer_;
  beast::flat_buffer buffer_{64 * 1024 + 8 * 1024};
  std::optional<Parser> parser_;
  bool keep_alive_ = true;
  HttpResponse answer_;
  std::string head_;
  std::string piece_;  // the source's piece being sent
  std::size_t sent_ = 0;
};

// The answer to a connection beyond the bounds, written at once without
// waiting for the client (it fits any socket buffer), then closed.
void turn_away(tcp::socket& socket) {
  static const std::string busy =
      "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; charset=utf-8\r\n"
      "Connection: close\r\nRetry-After: 5\r\nContent-Length: 48\r\n\r\n"
      "The server has too many connections; try again.\n";
  beast::error_code ignored;
  socket.non_blocking(true, ignored);
  socket.write_some(net::buffer(busy), ignored);
  socket.shutdown(tcp::socket::shutdown_both, ignored);
  socket.close(ignored);
}

}  // namespace

void HttpServer::Impl::accept() {
  acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
    if (ec == net::error::operation_aborted || !acceptor.is_open()) return;
    if (!ec) {
      beast::error_code unknown;
      const tcp::endpoint from = socket.remote_endpoint(unknown);
      std::string peer = unknown ? std::string() : from.address().to_string();
      if (unknown || !admit(peer)) {
        turn_away(socket);
      } else {
        socket.set_option(tcp::no_delay(true), unknown);
        std::make_shared<Connection>(*this, std::move(socket), std::move(peer))->start();
      }
    }
    accept();
  });
}

HttpServer::HttpServer(Handler handler, const HttpLimits& limits)
    : impl_(std::make_unique<Impl>(std::move(handler), limits)) {}

HttpServer::~HttpServer() { stop(); }

bool HttpServer::bind(const std::string& address, int port, std::string* error) {
  const auto fail = [&](const std::string& why) {
    if (error) *error = "Cannot listen on " + address + " port " + std::to_string(port) + ": " + why;
    return false;
  };
  beast::error_code ec;
  tcp::resolver resolver(impl_->io);
  const auto found = resolver.resolve(address, std::to_string(port),
                                      tcp::resolver::passive | tcp::resolver::numeric_service, ec);
  if (ec || found.empty()) return fail("the address is not this machine's.");
  const tcp::endpoint at = found.begin()->endpoint();
  tcp::acceptor& acceptor = impl_->acceptor;
  acceptor.open(at.protocol(), ec);
  // The port is this server's alone: SO_REUSEADDR for a quick restart, but
  // not SO_REUSEPORT, which would let a second server share it.
  if (!ec) acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec) acceptor.bind(at, ec);
  if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
  if (ec) {
    acceptor.close(ec);
    return fail("the address is not this machine's, or another program has the port.");
  }
  impl_->port = acceptor.local_endpoint().port();
  const net::ip::address bound = at.address();
  impl_->loopback = bound.is_loopback();
  impl_->ipv4 = bound.is_v4();
  // An IPv6 socket takes IPv4 too unless the system keeps them apart.
  net::ip::v6_only v6_only(true);
  if (bound.is_v6()) acceptor.get_option(v6_only, ec);
  impl_->ipv6 = bound.is_v6();
  if (bound.is_v6() && !v6_only.value() && bound.to_v6().is_unspecified()) impl_->ipv4 = true;
  return true;
}

int HttpServer::port() const { return impl_->port; }
bool HttpServer::loopback() const { return impl_->loopback; }
bool HttpServer::takes_ipv4() const { return impl_->ipv4; }
bool HttpServer::takes_ipv6() const { return impl_->ipv6; }

void HttpServer::start() {
  impl_->accept();
  impl_->thread = std::thread([this] { impl_->io.run(); });
}

void HttpServer::stop() {
  if (!impl_->thread.joinable()) return;
  net::post(impl_->io, [this] {
    beast::error_code ignored;
    impl_->acceptor.close(ignored);
  });
  impl_->io.stop();
  impl_->thread.join();
  impl_->workers.join();
}

}  // namespace stellacq::alpaca
