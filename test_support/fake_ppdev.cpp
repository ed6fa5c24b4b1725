// A parallel port for machines without one, preloaded into the INDI driver
// and the Alpaca server by their tests (LD_PRELOAD): /dev/parportN opens (as
// /dev/null), and its exclusive claim behaves as ppdev's does between
// processes: PPCLAIM fails with EBUSY while another process holds the lock
// file named by STELLACQ_FAKE_PPDEV_LOCK (the test takes it to play the
// program that has the port). Every other ioctl on the port succeeds and
// reads 0xFF, as a port with nothing on it.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/ioctl.h>
#include <linux/ppdev.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace {

std::mutex ports_mutex;
std::set<int>& fake_ports() {
  static std::set<int> ports;
  return ports;
}

bool is_parport(const char* path) { return path != nullptr && std::strncmp(path, "/dev/parport", 12) == 0; }

bool is_fake(int fd) {
  std::lock_guard<std::mutex> lock(ports_mutex);
  return fake_ports().count(fd) != 0;
}

int open_fake() {
  using OpenFn = int (*)(const char*, int, ...);
  static auto real_open = reinterpret_cast<OpenFn>(dlsym(RTLD_NEXT, "open"));
  const int fd = real_open("/dev/null", O_RDWR | O_CLOEXEC);
  if (fd >= 0) {
    std::lock_guard<std::mutex> lock(ports_mutex);
    fake_ports().insert(fd);
  }
  return fd;
}

int claim() {
  const char* lock_path = std::getenv("STELLACQ_FAKE_PPDEV_LOCK");
  if (lock_path == nullptr) return 0;
  using OpenFn = int (*)(const char*, int, ...);
  static auto real_open = reinterpret_cast<OpenFn>(dlsym(RTLD_NEXT, "open"));
  const int fd = real_open(lock_path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return 0;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    errno = EBUSY;
    return -1;
  }
  return 0;  // the lock stays with the process, as a claim stays with its port
}

int real_open_with(const char* name, const char* path, int flags, mode_t mode) {
  using OpenFn = int (*)(const char*, int, ...);
  auto real = reinterpret_cast<OpenFn>(dlsym(RTLD_NEXT, name));
  return real(path, flags, mode);
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  if (is_parport(path)) return open_fake();
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
  va_end(args);
  return real_open_with("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  if (is_parport(path)) return open_fake();
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
  va_end(args);
  return real_open_with("open64", path, flags, mode);
}

int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  if (!is_fake(fd)) {
    using IoctlFn = int (*)(int, unsigned long, ...);
    static auto real_ioctl = reinterpret_cast<IoctlFn>(dlsym(RTLD_NEXT, "ioctl"));
    return real_ioctl(fd, request, argument);
  }
  if (request == PPCLAIM) return claim();
  if ((request == PPRDATA || request == PPRSTATUS || request == PPRCONTROL) && argument != nullptr)
    *static_cast<unsigned char*>(argument) = 0xFF;
  return 0;
}

}  // extern "C"
