#include "indi/tests/indi_session.h"

#include <basedevice.h>
#include <indipropertyblob.h>
#include <indipropertynumber.h>
#include <indipropertyswitch.h>
#include <indipropertytext.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace stellacq::indi::testing {

namespace {

// A TCP port nobody listens on now (the kernel's choice for port 0).
int free_port() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

}  // namespace

IndiServer::IndiServer(const ServerOptions& options) {
  port_ = free_port();
  socket_ = "/tmp/stellacq-indi-test-" + std::to_string(getpid()) + "-" + std::to_string(port_);
  std::vector<std::string> arguments{"indiserver", "-p", std::to_string(port_), "-u", socket_,
                                     "-r",         "0",  STELLACQ_INDI_DRIVER};
  arguments.insert(arguments.end(), options.more_drivers.begin(), options.more_drivers.end());
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    setpgid(0, 0);
    setenv("HOME", options.home.c_str(), 1);
    // Drivers named without a path come from the server's own INDI first.
    const char* path = std::getenv("PATH");
    const std::string bin = std::filesystem::path(STELLACQ_INDISERVER).parent_path();
    setenv("PATH", (bin + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
    for (const auto& [name, value] : options.environment) setenv(name.c_str(), value.c_str(), 1);
    execv(STELLACQ_INDISERVER, argv.data());
    _exit(127);
  }
  group_ = pid_;
}

pid_t IndiServer::driver_pid(const std::string& program) const {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    std::getline(stat, line);
    // pid (comm) state ppid pgrp ...
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    char state = 0;
    long parent = 0, group = 0;
    rest >> state >> parent >> group;
    if (group != group_ || state == 'Z') continue;
    std::ifstream command_line(entry.path() / "cmdline");
    std::string first;
    std::getline(command_line, first, '\0');
    if (std::filesystem::path(first).filename() == program) return static_cast<pid_t>(std::stol(name));
  }
  return -1;
}

IndiServer::~IndiServer() {
  if (pid_ <= 0) return;
  // The server and the driver it started, by the group this server leads.
  kill(-pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 50 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (waitpid(pid_, &status, WNOHANG) == 0) {
    kill(-pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
}

bool Client::start(int port, const std::string& device) {
  device_ = device;
  setServer("127.0.0.1", static_cast<unsigned>(port));
  watchDevice(device_.c_str());
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (connectServer()) {
      setBLOBMode(B_ALSO, device_.c_str(), nullptr);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

void Client::keep(INDI::Property property) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (property.getType() == INDI_BLOB) {
    INDI::PropertyBlob blob(property);
    for (auto& element : blob) {
      if (element.getBlobLen() <= 0) continue;
      const auto* data = static_cast<const unsigned char*>(element.getBlob());
      blobs_.push_back({std::vector<unsigned char>(data, data + element.getBlobLen()),
                        element.getFormat() ? element.getFormat() : "", Clock::now()});
    }
  }
  PropertyCopy& copy = properties_[property.getName()];
  copy.state = property.getState();
  copy.at = Clock::now();
  ++copy.updates;
  switch (property.getType()) {
    case INDI_NUMBER:
      for (auto& element : INDI::PropertyNumber(property)) {
        copy.numbers[element.getName()] = element.getValue();
        copy.minimum[element.getName()] = element.getMin();
        copy.step[element.getName()] = element.getStep();
      }
      break;
    case INDI_SWITCH:
      for (auto& element : INDI::PropertySwitch(property))
        copy.switches[element.getName()] = element.getState() == ISS_ON;
      break;
    case INDI_TEXT:
      for (auto& element : INDI::PropertyText(property))
        copy.texts[element.getName()] = element.getText() ? element.getText() : "";
      break;
    default:
      break;
  }
  updates_[property.getName()].push_back(copy);
  changed_.notify_all();
}

void Client::newProperty(INDI::Property property) { keep(property); }
void Client::updateProperty(INDI::Property property) { keep(property); }

void Client::newMessage(INDI::BaseDevice device, int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.push_back(device.messageQueue(id));
  changed_.notify_all();
}

bool Client::wait(const std::function<bool(Client&)>& ready, std::chrono::milliseconds timeout) {
  // Looks again at least every 50 ms: a change between a look and the wait
  // is not lost.
  const auto until = Clock::now() + timeout;
  while (!ready(*this)) {
    if (Clock::now() >= until) return false;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_until(lock, std::min(until, Clock::now() + std::chrono::milliseconds(50)));
  }
  return true;
}

bool Client::wait_state(const std::string& name, IPState state, std::chrono::milliseconds timeout) {
  return wait([&](Client& c) { return c.has(name) && c.property(name).state == state; }, timeout);
}

// A copy of what `read` gives, taken under the lock.
template <typename Read>
auto locked(std::mutex& mutex, Read read) {
  std::lock_guard<std::mutex> lock(mutex);
  return read();
}

PropertyCopy Client::property(const std::string& name) {
  return locked(mutex_, [&] { return properties_.count(name) ? properties_.at(name) : PropertyCopy{}; });
}
std::vector<PropertyCopy> Client::updates(const std::string& name) {
  return locked(mutex_,
                [&] { return updates_.count(name) ? updates_.at(name) : std::vector<PropertyCopy>{}; });
}
bool Client::has(const std::string& name) {
  return locked(mutex_, [&] { return properties_.count(name) != 0; });
}
std::vector<BlobCopy> Client::blobs() {
  return locked(mutex_, [&] { return blobs_; });
}
std::vector<std::string> Client::messages() {
  return locked(mutex_, [&] { return messages_; });
}
bool Client::said(const std::string& text, std::size_t from) {
  return locked(mutex_, [&] {
    return std::any_of(messages_.begin() + std::min(from, messages_.size()), messages_.end(),
                       [&](const std::string& m) { return m.find(text) != std::string::npos; });
  });
}

// Requests are built afresh, not made on the library's copy of the property,
// which its own thread overwrites as the driver's updates arrive.
void Client::set_switch(const std::string& name, const std::string& element) {
  INDI::PropertySwitch property(1);
  property[0].fill(element.c_str(), "", ISS_ON);
  property.fill(device_.c_str(), name.c_str(), "", "", IP_RW, ISR_1OFMANY, 0, IPS_IDLE);
  sendNewSwitch(property);
}

void Client::set_number(const std::string& name, const std::map<std::string, double>& values) {
  INDI::PropertyNumber property(values.size());
  std::size_t i = 0;
  for (const auto& [element, value] : values) property[i++].fill(element.c_str(), "", "%g", 0, 0, 0, value);
  property.fill(device_.c_str(), name.c_str(), "", "", IP_RW, 0, IPS_IDLE);
  sendNewNumber(property);
}

void Client::set_text(const std::string& name, const std::string& element, const std::string& text) {
  sendNewText(device_.c_str(), name.c_str(), element.c_str(), text.c_str());
}

}  // namespace stellacq::indi::testing
