// stellacq-mount-sim: the simulated observatory's mount on a pseudo-terminal,
// in real time, for STELLACQ's real serial path (STELLACQ_COM1=<device>) and
// for other LX200 clients (INDI's LX200 drivers, KStars). Prints the device
// on the first line of its output and serves until interrupted.
#include <signal.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "sim/observatory.h"
#include "sim/pty_server.h"

namespace {

constexpr const char* kUsage =
    "usage: stellacq-mount-sim [options]\n"
    "Serves the simulated LX200 mount on a pseudo-terminal and prints its device.\n"
    "  --link PATH         also make a symbolic link PATH to the device\n"
    "  --log FILE          log both directions with times (- for the standard output)\n"
    "  --ra HOURS          start pointing, right ascension (default 5.588)\n"
    "  --dec DEGREES       start pointing, declination (default -5.39)\n"
    "  --no-drift          no periodic error and no declination drift\n"
    "  --slew-rate DEG/S   slewing rate of a goto and of moves at the slewing rate (default 3)\n"
    "faults, for testing clients:\n"
    "  --reply-delay MS    wait before every reply\n"
    "  --reply-pause MS    pause in the middle of every reply\n"
    "  --silent            take every command and answer none\n"
    "  --low-precision     start in low precision (HH:MM.T, sDD*MM)\n"
    "  --degree-mark-df    send the degree mark as the byte 0xDF, as Meade's controllers do\n";

bool number(const char* text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text, &end);
  return end != text && *end == '\0';
}

// What the command line asks for.
struct CommandLine {
  stellacq::sim::ObservatoryOptions options;
  stellacq::sim::PtyServerOptions server_options;
  std::string log_path;
  double ra_hours = -1, dec_deg = 100;
};

// Reads the options into `command_line`; answers the exit code when the program
// ends here (after the usage text, or on a wrong option).
std::optional<int> parse_options(int argc, char** argv, CommandLine& command_line) {
  stellacq::sim::ObservatoryOptions& options = command_line.options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    double value = 0;
    const auto numeric = [&](double low, double high) {
      if (!has_value || !number(argv[i + 1], &value) || value < low || value > high) {
        std::cerr << "stellacq-mount-sim: " << arg << " needs a number from " << low << " to " << high
                  << "\n";
        std::exit(2);
      }
      ++i;
      return value;
    };
    if (arg == "--link" && has_value) {
      command_line.server_options.link_path = argv[++i];
    } else if (arg == "--log" && has_value) {
      command_line.log_path = argv[++i];
    } else if (arg == "--ra") {
      command_line.ra_hours = numeric(0, 24);
    } else if (arg == "--dec") {
      command_line.dec_deg = numeric(-90, 90);
    } else if (arg == "--no-drift") {
      options.mount_axes.periodic_error_arcsec = 0;
      options.mount_axes.dec_drift_arcsec_per_s = 0;
    } else if (arg == "--slew-rate") {
      options.mount_axes.slew_rate_deg_per_s = numeric(0.01, 180);
    } else if (arg == "--reply-delay") {
      options.mount_controller.reply_delay_us = static_cast<std::int64_t>(numeric(0, 60000) * 1000);
    } else if (arg == "--reply-pause") {
      options.mount_controller.reply_pause_us = static_cast<std::int64_t>(numeric(0, 60000) * 1000);
    } else if (arg == "--silent") {
      options.mount_controller.powered = false;
    } else if (arg == "--low-precision") {
      options.mount_controller.high_precision = false;
    } else if (arg == "--degree-mark-df") {
      options.mount_controller.degree_mark = '\xDF';
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else {
      std::cerr << "stellacq-mount-sim: unknown option or missing value: " << arg << "\n" << kUsage;
      return 2;
    }
  }
  return std::nullopt;
}

// Points the log at the standard output ("-") or at the file `log_path`
// (appended to), or nowhere if it is empty. False if the file cannot be
// opened, which it has told.
bool open_log(const std::string& log_path, std::ofstream& log_file,
              stellacq::sim::PtyServerOptions& server_options) {
  if (log_path == "-") {
    server_options.log = &std::cout;
  } else if (!log_path.empty()) {
    log_file.open(log_path, std::ios::app);
    if (!log_file) {
      std::cerr << "stellacq-mount-sim: cannot write the log " << log_path << ": " << std::strerror(errno)
                << "\n";
      return false;
    }
    server_options.log = &log_file;
  }
  return true;
}

// Syncs the mount to the pointing given by --ra and --dec; an axis not given
// (hours below 0, degrees above 90) keeps the observatory's own start.
void start_pointing(stellacq::sim::Observatory& observatory, double ra_hours, double dec_deg) {
  if (ra_hours >= 0 || dec_deg <= 90) {
    std::lock_guard lock(observatory.mount_mutex());
    stellacq::sim::MountAxes& axes = observatory.mount_axes();
    axes.sync(ra_hours >= 0 ? ra_hours * 15.0 : axes.ra_deg(), dec_deg <= 90 ? dec_deg : axes.dec_deg());
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace stellacq;
  CommandLine command_line;
  if (const std::optional<int> code = parse_options(argc, argv, command_line)) return *code;

  // The site's hours from UTC are this computer's, so that the local time
  // and date the mount reports agree with the UTC a client works out.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  command_line.options.mount_controller.utc_offset_hours = static_cast<int>(local.tm_gmtoff / 3600);

  std::ofstream log_file;
  if (!open_log(command_line.log_path, log_file, command_line.server_options)) return 1;

  // A log on a pipe whose reader has gone fails its writes instead of ending
  // the program; the server then stops logging and goes on serving.
  ::signal(SIGPIPE, SIG_IGN);
  // The signals that end it are taken by this thread only, in sigwait below,
  // so that it removes its link whichever ends it.
  sigset_t signals;
  sigemptyset(&signals);
  for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  SystemClock clock;
  sim::Observatory observatory(clock, command_line.options);
  start_pointing(observatory, command_line.ra_hours, command_line.dec_deg);
  sim::PtyServer server(observatory.mount_controller(), observatory.mount_mutex(),
                        command_line.server_options);
  std::string error;
  if (!server.start(&error)) {
    std::cerr << "stellacq-mount-sim: " << error << "\n";
    return 1;
  }
  std::cout << server.path() << std::endl;
  std::cerr << "stellacq-mount-sim: the simulated mount answers on " << server.path()
            << (command_line.server_options.link_path.empty()
                    ? ""
                    : " (" + command_line.server_options.link_path + ")")
            << "; Ctrl+C ends it\n";
  int signal = 0;
  sigwait(&signals, &signal);
  server.stop();
  return 0;
}
