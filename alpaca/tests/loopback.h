// Sockets on the loopback for the Alpaca tests: free ports, and raw
// connections from a chosen loopback address (127.0.0.2 is another client
// to the server than 127.0.0.1).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace stellacq::alpaca {

inline sockaddr_in loopback(int port, const char* address = "127.0.0.1") {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  inet_pton(AF_INET, address, &a.sin_addr);
  return a;
}

inline int free_port(int type = SOCK_DGRAM) {
  const int fd = socket(AF_INET, type, 0);
  sockaddr_in a = loopback(0);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t size = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  close(fd);
  return ntohs(a.sin_port);
}

// A TCP connection from `from` to the server's `port`, with receives that
// give up after `patience_ms`; -1 when it cannot be made.
inline int connect_from(const char* from, int port, int patience_ms = 2000) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in here = loopback(0, from), there = loopback(port);
  timeval patience{patience_ms / 1000, (patience_ms % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&here), sizeof here) != 0 ||
      connect(fd, reinterpret_cast<const sockaddr*>(&there), sizeof there) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace stellacq::alpaca
