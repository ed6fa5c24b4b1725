// stellacq-alpaca [--simulate] [--listen ADDRESS] [--port N] [--allow-host NAME]...
//                 [--fits-folder DIR] [--fits-root DIR] [--discovery-port N]
//                 [--sim-port-access US] [--debug]
//
// Serves the camera as ASCOM Alpaca camera 0 until SIGINT or SIGTERM. The
// settings file (see the setup page) gives the defaults; options given on
// the command line win over it. --debug writes every exchange with the
// control unit to standard error (the wire log).
#include <malloc.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "alpaca/server.h"
#include "alpaca/settings_file.h"
#include "alpaca/setup_form.h"
#include "core/wire_log.h"

namespace {

constexpr const char* kUsage =
    "usage: stellacq-alpaca [--simulate] [--listen ADDRESS] [--port N] [--allow-host NAME]...\n"
    "                       [--fits-folder DIR] [--fits-root DIR] [--discovery-port N (0 = off)]\n"
    "                       [--sim-port-access US] [--debug] | --help | --version\n";

int usage() {
  std::cerr << kUsage;
  return 2;
}

int help() {
  std::cout << kUsage
            << "Serves the camera as ASCOM Alpaca camera 0, with discovery and a setup page at\n"
               "http://HOST:PORT/setup, until SIGINT or SIGTERM.\n"
               "  --simulate            the simulated observatory instead of the camera\n"
               "  --listen ADDRESS      the address to listen on (default 127.0.0.1)\n"
               "  --port N              the HTTP port (default 11111)\n"
               "  --allow-host NAME     a further host name clients reach the server by\n"
               "  --fits-folder DIR     keep a FITS copy of every frame in DIR (existing, absolute)\n"
               "  --fits-root DIR       the folder within which the setup page may choose it\n"
               "  --discovery-port N    the UDP port of Alpaca discovery (default 32227, 0 = off)\n"
               "  --sim-port-access US  in simulation, the time of one port access\n"
               "  --debug               write every exchange with the control unit to standard error\n";
  return 0;
}

bool number(const char* text, double low, double high, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return *text != '\0' && *end == '\0' && out >= low && out <= high;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace stellacq::alpaca;
  // Frames and their answers are megabytes each, made and dropped on several
  // threads: with a fixed threshold they are mapped and given back to the
  // system when dropped, rather than kept in growing per-thread heaps (a
  // frame's worth in each).
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  mallopt(M_ARENA_MAX, 2);
  ServerOptions options;
  options.settings_path = default_settings_path();
  DeviceSettings settings = load_settings_with_id(options.settings_path);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    double v = 0;
    if (arg == "--help" || arg == "-h") {
      return help();
    } else if (arg == "--version") {
      std::cout << "stellacq-alpaca " << STELLACQ_VERSION << "\n";
      return 0;
    } else if (arg == "--simulate") {
      settings.simulate = true;
      options.command_line.simulate = true;
    } else if (arg == "--debug") {
      stellacq::set_wire_sink(stellacq::stderr_wire_sink());
    } else if (arg == "--listen" && has_value) {
      options.listen = argv[++i];
    } else if (arg == "--port" && has_value && number(argv[i + 1], 1, 65535, v)) {
      options.port = static_cast<int>(v);
      ++i;
    } else if (arg == "--discovery-port" && has_value && number(argv[i + 1], 0, 65535, v)) {
      options.discovery_port = static_cast<int>(v);
      ++i;
    } else if (arg == "--allow-host" && has_value) {
      options.allow_hosts.push_back(argv[++i]);
    } else if (arg == "--fits-folder" && has_value) {
      std::string folder;
      if (const std::string why = check_fits_folder(argv[++i], "", &folder); !why.empty()) {
        std::cerr << "stellacq-alpaca: --fits-folder " << argv[i] << ": " << why << "\n";
        return 2;
      }
      settings.fits_folder = folder;
      options.command_line.fits_folder = settings.fits_folder;
    } else if (arg == "--fits-root" && has_value) {
      if (const std::string why = check_fits_folder(argv[++i], "", &options.fits_root); !why.empty()) {
        std::cerr << "stellacq-alpaca: --fits-root " << argv[i] << ": " << why << "\n";
        return 2;
      }
    } else if (arg == "--sim-port-access" && has_value && number(argv[i + 1], 0, 10, v)) {
      settings.sim_access_us = v;
      options.command_line.sim_access_us = v;
      ++i;
    } else {
      return usage();
    }
  }

  // The signals are taken by sigwait below, not by a handler.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  // The server's own data folder, the setup page's FITS folders' default
  // bounds, is its own to make.
  if (options.fits_root.empty()) {
    options.fits_root = default_fits_root();
    std::error_code ignored;
    std::filesystem::create_directories(options.fits_root, ignored);
  }
  AlpacaServer server(options, settings);
  std::string error;
  if (!server.start(&error)) {
    std::cerr << "stellacq-alpaca: " << error << "\n";
    return 1;
  }
  std::cerr << "stellacq-alpaca: camera 0 on http://" << options.listen << ":" << server.port() << "/"
            << (settings.simulate ? " (simulated observatory)" : "") << "\n";
  int taken = 0;
  sigwait(&signals, &taken);
  server.stop();
  return 0;
}
