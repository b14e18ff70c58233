// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "os.h"

namespace corvio::server {
namespace {

// Write end of the pipe that wakes the listener; read by the signal handler.
std::atomic<int> g_signal_wake{-1};

void on_stop_signal(int) {
  int fd = g_signal_wake.load();
  if (fd >= 0) {
    char byte = 1;
    ssize_t ignored = write(fd, &byte, 1);
    (void)ignored;
  }
}

std::string address_text(const sockaddr* addr, socklen_t len) {
  char host[NI_MAXHOST];
  char port[NI_MAXSERV];
  if (getnameinfo(addr, len, host, sizeof host, port, sizeof port,
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return "?";
  }
  if (addr->sa_family == AF_INET6) return "[" + std::string(host) + "]:" + port;
  return std::string(host) + ":" + port;
}

}  // namespace

std::unique_ptr<Listener> Listener::open(const std::string& host, const std::string& port,
                                         std::string* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  int rc = getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &found);
  if (rc != 0) {
    *error = "cannot resolve " + host + ": " + gai_strerror(rc);
    return nullptr;
  }
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> owner(found, freeaddrinfo);
  UniqueFd fd(socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol));
  if (fd.get() < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return nullptr;
  }
  int one = 1;
  setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (bind(fd.get(), found->ai_addr, found->ai_addrlen) != 0 || listen(fd.get(), 128) != 0) {
    *error = "cannot listen on " + host + ":" + port + ": " + std::strerror(errno);
    return nullptr;
  }
  sockaddr_storage bound{};
  socklen_t len = sizeof bound;
  getsockname(fd.get(), reinterpret_cast<sockaddr*>(&bound), &len);
  int wake[2];
  if (pipe2(wake, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<Listener>(
      new Listener(std::move(fd), UniqueFd(wake[0]), UniqueFd(wake[1]),
                   address_text(reinterpret_cast<sockaddr*>(&bound), len)));
}

Listener::~Listener() {
  // The signal handler must stop writing to the pipe before it is closed.
  int expected = wake_write_.get();
  g_signal_wake.compare_exchange_strong(expected, -1);
}

int Listener::accept(std::string* peer) {
  for (;;) {
    pollfd fds[2] = {{fd_.get(), POLLIN, 0}, {wake_read_.get(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (fds[1].revents != 0) return -1;
    if (fds[0].revents == 0) continue;
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    int fd = accept4(fd_.get(), reinterpret_cast<sockaddr*>(&addr), &len, SOCK_CLOEXEC);
    if (fd < 0) {
      // A connection that went away before it was taken, or a momentary lack of descriptors:
      // keep listening.
      if (errno == EMFILE || errno == ENFILE) usleep(100 * 1000);
      continue;
    }
    *peer = address_text(reinterpret_cast<sockaddr*>(&addr), len);
    return fd;
  }
}

void Listener::stop() {
  char byte = 1;
  ssize_t ignored = write(wake_write_.get(), &byte, 1);
  (void)ignored;
}

void Listener::stop_on_signals() {
  g_signal_wake.store(wake_write_.get());
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

void set_idle_timeouts(int fd, int seconds) {
  timeval tv{};
  tv.tv_sec = seconds;
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

void set_no_delay(int fd) {
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void shutdown_socket(int fd) { shutdown(fd, SHUT_RDWR); }

bool sync_filesystem(const std::string& path) {
  UniqueFd dir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return dir.get() >= 0 && syncfs(dir.get()) == 0;
}

namespace {

constexpr mode_t kPrivateFile = 0600;
constexpr mode_t kPrivateDir = 0700;

std::string errno_text(const std::string& what, const std::string& path) {
  return "cannot " + what + " " + path + ": " + std::strerror(errno);
}

FileHandle open_private(const std::string& path, int flags, const char* mode, std::string* error) {
  UniqueFd fd(::open(path.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC, kPrivateFile));
  if (fd.get() < 0) {
    *error = errno_text("create", path);
    return FileHandle();
  }
  // The umask may have taken bits from the mode asked for, or the file existed already.
  if (fchmod(fd.get(), kPrivateFile) != 0) {
    *error = errno_text("set the mode of", path);
    return FileHandle();
  }
  FileHandle file(fdopen(fd.get(), mode));
  if (!file) {
    *error = errno_text("open", path);
    return FileHandle();
  }
  fd.release();  // the stream closes it now
  return file;
}

}  // namespace

bool make_private_dir(const std::string& path, std::string* error) {
  if (mkdir(path.c_str(), kPrivateDir) != 0 && errno != EEXIST) {
    *error = errno_text("create", path);
    return false;
  }
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = "cannot create " + path + ": not a folder";
    return false;
  }
  if ((st.st_mode & 07777) != kPrivateDir && chmod(path.c_str(), kPrivateDir) != 0) {
    *error = errno_text("set the mode of", path);
    return false;
  }
  return true;
}

FileHandle create_private_file(const std::string& path, std::string* error, bool replace) {
  return open_private(path, (replace ? 0 : O_EXCL) | O_TRUNC, "wb", error);
}

FileHandle open_private_append(const std::string& path, std::string* error) {
  return open_private(path, O_APPEND, "a", error);
}

bool make_private(const std::string& path, std::string* error, bool* loose) {
  if (loose) *loose = false;
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;
    *error = errno_text("read the mode of", path);
    return false;
  }
  if (S_ISLNK(st.st_mode)) return true;  // a link's own mode means nothing; its target is kept
  mode_t want = S_ISDIR(st.st_mode) ? kPrivateDir : kPrivateFile;
  if ((st.st_mode & 07777) == want) return true;
  if (loose) *loose = true;
  if (chmod(path.c_str(), want) != 0) {
    *error = errno_text("set the mode of", path);
    return false;
  }
  return true;
}

}  // namespace corvio::server
