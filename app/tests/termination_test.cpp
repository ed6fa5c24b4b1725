// A program killed in the middle of a guiding move: a forked child runs a
// long move on a line that hands every byte to the parent, which signals it
// once the start command has gone out. The mount must have been stopped
// before the program ended, and the program ends by the signal it got.
#include "app/termination.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <csignal>
#include <string>

#include "app/program.h"
#include "app/qt_interaction.h"
#include "telescope/telescope.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

// The program's side: a 30-second move left on the real clock and event loop.
[[noreturn]] void run_child(int fd) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "termination_child";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  SystemClock clock;
  QtInteraction ui;
  CalibratedBusyCount busy(clock);
  // Every byte sent goes on into the pipe as it is sent.
  testing::RecordingSerialLine line;
  line.on_send = [fd](const std::string& text) {
    if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) ::_exit(4);
  };
  testing::OfflinePort port;
  Program p({port, clock, ui, busy, line});
  p.settings.com_port = 1;
  p.settings.x_tracking_factor = 1'000'000;
  p.settings.x_move_repeat = 1;
  TerminationGuard guard(p.telescope.mount());
  if (p.telescope.open_link_for_guiding()) p.telescope.timed_move(Direction::Left, 30);
  ::_exit(3);  // the move ran to its end: the signal was not handled
}

// Reads from `fd` until `until` has come (or the pipe ends, or 20 s pass).
void read_until(int fd, std::string& got, const std::string& until) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (until.empty() || got.find(until) == std::string::npos) {
    if (std::chrono::steady_clock::now() > give_up) return;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return;
    got.append(buffer, static_cast<std::size_t>(n));
  }
}

TEST(Termination, ASignalDuringAMoveStopsTheMountBeforeTheProgramEnds) {
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(fds[0]);
      run_child(fds[1]);
    }
    ::close(fds[1]);
    std::string bytes;
    read_until(fds[0], bytes, "#:Me#\r\n");
    ::kill(child, signal_number);
    read_until(fds[0], bytes, "");
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    // The four stops of a freshly opened line, the move, and its stop.
    EXPECT_EQ(bytes, "#:Qn#\r\n#:Qs#\r\n#:Qe#\r\n#:Qw#\r\n#:Me#\r\n#:Qe#\r\n");
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), signal_number);
  }
}

}  // namespace
}  // namespace stellacq
