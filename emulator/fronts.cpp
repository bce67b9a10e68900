#include "emulator/fronts.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace mc::emu {

std::string HexBytes(const std::uint8_t* data, std::size_t count) {
  std::string s;
  char b[4];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", data[i]);
    s += b;
  }
  return s;
}

void ScheduledSink::Send(Duration at, const std::uint8_t* data, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) queue_.emplace(at, data[i]);
}

std::vector<std::uint8_t> ScheduledSink::TakeDue(Duration now) {
  std::vector<std::uint8_t> out;
  auto end = queue_.upper_bound(now);
  for (auto it = queue_.begin(); it != end; ++it) out.push_back(it->second);
  queue_.erase(queue_.begin(), end);
  return out;
}

Duration ScheduledSink::NextDue() const {
  return queue_.empty() ? Duration(-1) : queue_.begin()->first;
}

namespace {

// One serving loop for both fronts: read what the peer sends, hand it to
// the device byte by byte, write what falls due.
// Returns false when the connection ended.
bool Serve(int fd, DeviceSide& device, Clock& clock, ScheduledSink& sink,
           const FrontOptions& options) {
  while (!(options.stop && options.stop->load())) {
    Duration now = clock.Now();
    if (options.tick) options.tick(now, sink);
    std::vector<std::uint8_t> due = sink.TakeDue(now);
    if (!due.empty()) {
      if (options.verbose) {
        std::fprintf(stderr, "emu -> %s\n", HexBytes(due.data(), due.size()).c_str());
      }
      std::size_t done = 0;
      while (done < due.size()) {
        const ssize_t n = ::write(fd, due.data() + done, due.size() - done);
        if (n > 0) {
          done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
          pollfd p{fd, POLLOUT, 0};
          ::poll(&p, 1, 50);
        } else {
          return false;
        }
      }
    }
    int waitMs = 50;
    const Duration next = sink.NextDue();
    if (next >= Duration::zero()) {
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
      waitMs = static_cast<int>(std::max<long long>(0, std::min<long long>(waitMs, ms)));
    }
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, waitMs);
    if (r < 0 && errno != EINTR) return false;
    if (r <= 0) continue;
    if (p.revents & POLLIN) {
      std::uint8_t buf[512];
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n == 0) return false;
      if (n < 0) {
        if (errno == EAGAIN || errno == EINTR || errno == EIO) {
          if (errno == EIO) ::poll(nullptr, 0, 20);
          continue;
        }
        return false;
      }
      const Duration t = clock.Now();
      if (options.verbose) {
        std::fprintf(stderr, "host -> %s\n", HexBytes(buf, static_cast<std::size_t>(n)).c_str());
      }
      for (ssize_t i = 0; i < n; ++i) device.OnHostByte(t, buf[i], sink);
    } else if (p.revents & (POLLHUP | POLLERR)) {
      return false;
    }
  }
  return true;
}

}  // namespace

PtyFront::PtyFront() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) return;
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    ::close(master_);
    master_ = -1;
    return;
  }
  const char* name = ::ptsname(master_);
  slave_ = name ? name : "";
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  // Raw mode on the slave: no echo, no line editing, no CR/LF mapping. The
  // slave is kept open so the master side never reads a hang-up while no
  // client is connected.
  slaveKeep_ = ::open(slave_.c_str(), O_RDWR | O_NOCTTY);
  if (slaveKeep_ >= 0) {
    termios tio{};
    if (::tcgetattr(slaveKeep_, &tio) == 0) {
      ::cfmakeraw(&tio);
      ::cfsetispeed(&tio, B9600);
      ::cfsetospeed(&tio, B9600);
      ::tcsetattr(slaveKeep_, TCSANOW, &tio);
    }
  }
}

PtyFront::~PtyFront() {
  if (!link_.empty()) ::unlink(link_.c_str());
  if (slaveKeep_ >= 0) ::close(slaveKeep_);
  if (master_ >= 0) ::close(master_);
}

bool PtyFront::MakeLink(const std::string& link) {
  ::unlink(link.c_str());
  if (::symlink(slave_.c_str(), link.c_str()) != 0) return false;
  link_ = link;
  return true;
}

int PtyFront::Run(DeviceSide& device, Clock& clock, const FrontOptions& options) {
  ScheduledSink sink;
  device.OnOpen(clock.Now(), 0, sink);
  return Serve(master_, device, clock, sink, options) || (options.stop && options.stop->load()) ? 0
                                                                                                : 1;
}

TcpFront::TcpFront(const std::string& address, std::uint16_t port) {
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_ < 0) {
    error_ = std::strerror(errno);
    return;
  }
  int one = 1;
  ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1) {
    error_ = "not an IPv4 address: " + address;
    ::close(listen_);
    listen_ = -1;
    return;
  }
  if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listen_, 1) != 0) {
    error_ = std::strerror(errno);
    ::close(listen_);
    listen_ = -1;
    return;
  }
  socklen_t len = sizeof a;
  ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
}

TcpFront::~TcpFront() {
  if (listen_ >= 0) ::close(listen_);
}

int TcpFront::Run(DeviceSide& device, Clock& clock, const FrontOptions& options) {
  while (!(options.stop && options.stop->load())) {
    pollfd p{listen_, POLLIN, 0};
    const int r = ::poll(&p, 1, 100);
    if (r < 0 && errno != EINTR) return 1;
    if (r <= 0) continue;
    const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (options.verbose) std::fprintf(stderr, "emu: connection accepted\n");
    ScheduledSink sink;
    device.OnOpen(clock.Now(), 0, sink);
    Serve(fd, device, clock, sink, options);
    device.OnClose(clock.Now());
    ::close(fd);
    if (options.verbose) std::fprintf(stderr, "emu: connection closed\n");
  }
  return 0;
}

}  // namespace mc::emu
