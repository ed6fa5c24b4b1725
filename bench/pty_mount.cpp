#include "bench/pty_mount.h"

#include <unistd.h>

#include "sim/pty_server.h"

namespace stellacq::testing {

PtyMount::PtyMount(sim::Lx200Controller& mount) : mount_(mount) { master_ = sim::open_pty_master(device_); }

PtyMount::~PtyMount() {
  if (master_ >= 0) ::close(master_);
}

void PtyMount::pump() {
  if (master_ < 0) return;
  char buffer[256];
  for (;;) {
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) break;
    mount_.receive(std::string_view(buffer, static_cast<std::size_t>(n)));
  }
  const std::string out = mount_.take_output();
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::write(master_, out.data() + done, out.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace stellacq::testing
