// The mount served on a pseudo-terminal, reached through STELLACQ's real
// serial line (Qt SerialPort) the way STELLACQ_COM1 points it at a device:
// the program's polling, the link to the device and the log of both
// directions, and a refused link that leaves nothing behind; what the real
// line refuses to open and a device that vanishes under it; the program
// stellacq-mount-sim with its log on a closed pipe.
#include "sim/pty_server.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <fstream>
#include <sstream>

#include "core/busy_count.h"
#include "telescope/mount.h"
#include "telescope/mount_link.h"
#include "telescope/qt_serial_line.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

// The simulated mount at 5h35m17s -5d23'24", with the lock its server takes.
struct SimMount {
  explicit SimMount(const sim::MountAxesOptions& options = {}) : axes(clock, 83.82, -5.39, options) {}
  SystemClock clock;
  sim::MountAxes axes;
  sim::Lx200Controller mount{clock, axes};
  std::mutex mutex;
};

// The program's line on COM1, opened.
void open_com1(QtSerialLine& line) {
  line.set_port_number(1);
  line.set_settings(kLineSettingsText);
  ASSERT_EQ(line.open(), LineError::None);
}

TEST(PtyServer, TheProgramsSerialLinePollsTheMountThroughTheLink) {
  testing::ScratchDir dir;
  SimMount m({.periodic_error_arcsec = 0, .dec_drift_arcsec_per_s = 0});
  CalibratedBusyCount busy(m.clock);
  std::ostringstream log;
  sim::PtyServer server(m.mount, m.mutex, {dir.file("mount"), &log});
  std::string error;
  ASSERT_TRUE(server.start(&error)) << error;
  ::setenv("STELLACQ_COM1", dir.file("mount").c_str(), 1);

  QtSerialLine line;
  ASSERT_NO_FATAL_FAILURE(open_com1(line));
  EXPECT_EQ(line.device_name(), dir.file("mount"));
  Mount program_side(line, busy, m.clock);
  for (int poll = 0; poll < 3; ++poll) {  // the telescope window's ticks
    EXPECT_EQ(program_side.query_ra().text, "05:35:17#");
    EXPECT_EQ(program_side.query_dec().text, "-05*23'24#");
  }
  EXPECT_EQ(mount_send(line, "#:XY#"), LineError::None);
  // The mount takes its input in order: once the next reply has come, the
  // unknown command before it has been seen and logged.
  EXPECT_EQ(program_side.query_ra().text, "05:35:17#");
  {
    std::lock_guard lock(m.mutex);  // as a camera thread reads the pointing
    EXPECT_NEAR(m.axes.dec_deg(), -5.39, 1e-9);
  }
  line.close();
  server.stop();

  struct stat st {};
  EXPECT_NE(::lstat(dir.file("mount").c_str(), &st), 0);  // the link went with the server
  const std::string text = log.str();
  for (const char* line_end :
       {" <- #:GR#\\x0D\\x0A\n", " -> 05:35:17#\n", " -> -05*23'24#\n", " ?? :XY#\n"}) {
    EXPECT_NE(text.find(line_end), std::string::npos) << line_end << " not in\n" << text;
  }
}

TEST(PtyServer, RefusesToReplaceAFileWithItsLink) {
  testing::ScratchDir dir;
  std::ofstream(dir.file("settings")) << "kept";
  SimMount m;
  sim::PtyServer server(m.mount, m.mutex, {dir.file("settings"), nullptr});
  std::string error;
  EXPECT_FALSE(server.start(&error));
  EXPECT_NE(error.find(dir.file("settings")), std::string::npos) << error;
  EXPECT_EQ(std::tuple(server.running(), server.path()), std::tuple(false, ""));
  EXPECT_EQ(testing::file_bytes(dir.file("settings")), "kept");
}

// The real line refuses a device, a port number or settings it cannot use,
// and notices when the device goes away under it, like an adapter pulled
// out.
TEST(QtSerialLine, RefusesWhatItCannotOpenAndNoticesAVanishedDevice) {
  SimMount m;
  sim::PtyServer server(m.mount, m.mutex);
  ASSERT_TRUE(server.start());
  ::setenv("STELLACQ_COM2", server.path().c_str(), 1);
  ::setenv("STELLACQ_COM3", "/dev/stellacq-no-such-device", 1);
  QtSerialLine line;
  const struct {
    int com;
    const char* settings;
    LineError error;
  } cases[] = {
      {3, kLineSettingsText, LineError::NoDevice},
      {0, kLineSettingsText, LineError::BadPortNumber},
      {2, "9600,Z,8,1", LineError::BadSettings},
  };
  for (const auto& c : cases) {
    line.set_port_number(c.com);
    line.set_settings(c.settings);
    EXPECT_EQ(line.open(), c.error) << c.com;
    EXPECT_FALSE(line.is_open());
  }
  EXPECT_EQ(line.send("#:Mn#\r\n"), LineError::NotOpen);

  line.set_settings(kLineSettingsText);
  ASSERT_EQ(line.open(), LineError::None);
  server.stop();
  for (int i = 0; i < 100 && line.is_open(); ++i) line.take_received();
  EXPECT_FALSE(line.is_open());
  EXPECT_EQ(mount_send(line, "#:GR#"), LineError::NotOpen);
}

// stellacq-mount-sim logging to the standard output, a pipe whose reader has
// gone: it answers on, and the link goes with it when it is ended.
TEST(MountSimProgram, ServesOnAfterItsLogPipeClosesAndRemovesItsLink) {
  testing::ScratchDir dir;
  std::string link = dir.file("mount");
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, out[1]);
  std::string program = STELLACQ_MOUNT_SIM, link_option = "--link", log_option = "--log", dash = "-";
  char* const argv[] = {program.data(),    link_option.data(), link.data(),
                        log_option.data(), dash.data(),        nullptr};
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  struct Ended {  // a failed check leaves no server behind
    pid_t& pid;
    ~Ended() {
      if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
    }
  } ended{pid};
  ::close(out[0]);  // nobody reads what it writes
  ::close(out[1]);

  struct stat st {};
  for (int i = 0; i < 500 && ::stat(link.c_str(), &st) != 0; ++i) ::usleep(10'000);
  ::setenv("STELLACQ_COM1", link.c_str(), 1);
  SystemClock clock;
  CalibratedBusyCount busy(clock);
  QtSerialLine line;
  ASSERT_NO_FATAL_FAILURE(open_com1(line));
  Mount program_side(line, busy, clock);
  for (int poll = 0; poll < 3; ++poll) EXPECT_EQ(program_side.query_ra().text.size(), 9u);
  line.close();

  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  pid = 0;
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(::lstat(link.c_str(), &st), 0);
}

}  // namespace
}  // namespace stellacq

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
