// NetSocket on BSD sockets or Winsock 2.
#include "link/stream_socket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using SockLen = int;
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
using SockLen = socklen_t;
#endif

#include <cstring>

namespace mc {

namespace {

#ifdef _WIN32
using Native = SOCKET;
constexpr Native kBad = INVALID_SOCKET;
void CloseNative(Native s) {
  closesocket(s);
}
bool SetNonBlocking(Native s, bool on) {
  u_long mode = on ? 1 : 0;
  return ioctlsocket(s, FIONBIO, &mode) == 0;
}
bool ConnectInProgress() {
  return WSAGetLastError() == WSAEWOULDBLOCK;
}
#else
using Native = int;
constexpr Native kBad = -1;
void CloseNative(Native s) {
  ::close(s);
}
bool SetNonBlocking(Native s, bool on) {
  int flags = fcntl(s, F_GETFL, 0);
  if (flags < 0) return false;
  flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return fcntl(s, F_SETFL, flags) == 0;
}
bool ConnectInProgress() {
  return errno == EINPROGRESS;
}
#endif

Native ToNative(std::intptr_t fd) {
  return static_cast<Native>(fd);
}

timeval ToTimeval(Duration d) {
  if (d < Duration::zero()) d = Duration::zero();
  timeval tv{};
  tv.tv_sec = static_cast<decltype(tv.tv_sec)>(d.count() / 1'000'000);
  tv.tv_usec = static_cast<decltype(tv.tv_usec)>(d.count() % 1'000'000);
  return tv;
}

// select() on one socket for reading or writing.
int SelectOne(Native s, bool forWrite, Duration timeout) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv = ToTimeval(timeout);
#ifdef _WIN32
  return select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &tv);
#else
  int r;
  do {
    r = select(s + 1, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &tv);
  } while (r < 0 && errno == EINTR);
  return r;
#endif
}

}  // namespace

bool StartNetworking() {
#ifdef _WIN32
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
#else
  return true;
#endif
}

void StopNetworking() {
#ifdef _WIN32
  WSACleanup();
#endif
}

bool NetSocket::Connect(const std::string& host, std::uint16_t port, Duration timeout) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) return false;
  Native s = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
  if (s == kBad) {
    freeaddrinfo(found);
    return false;
  }
  // Connect without blocking so that an absent switcher costs `timeout`,
  // not the system's connect timeout.
  bool ok = SetNonBlocking(s, true);
  if (ok) {
    int r = ::connect(s, found->ai_addr, static_cast<SockLen>(found->ai_addrlen));
    if (r != 0) {
      ok = ConnectInProgress() && SelectOne(s, true, timeout) == 1;
      if (ok) {
        int err = 0;
        SockLen len = sizeof err;
        ok = getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) == 0 &&
             err == 0;
      }
    }
  }
  freeaddrinfo(found);
  if (!ok || !SetNonBlocking(s, false)) {
    CloseNative(s);
    return false;
  }
  int one = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  fd_ = static_cast<std::intptr_t>(s);
  return true;
}

void NetSocket::Close() {
  if (fd_ == kInvalid) return;
  CloseNative(ToNative(fd_));
  fd_ = kInvalid;
}

long NetSocket::Send(const std::uint8_t* data, std::size_t count) {
  if (fd_ == kInvalid) return -1;
#ifdef _WIN32
  return ::send(ToNative(fd_), reinterpret_cast<const char*>(data), static_cast<int>(count), 0);
#else
  return static_cast<long>(::send(ToNative(fd_), data, count, MSG_NOSIGNAL));
#endif
}

int NetSocket::WaitReadable(Duration timeout) {
  if (fd_ == kInvalid) return -1;
  return SelectOne(ToNative(fd_), false, timeout);
}

long NetSocket::Recv(std::uint8_t* buffer, std::size_t count) {
  if (fd_ == kInvalid) return -1;
#ifdef _WIN32
  return ::recv(ToNative(fd_), reinterpret_cast<char*>(buffer), static_cast<int>(count), 0);
#else
  return static_cast<long>(::recv(ToNative(fd_), buffer, count, 0));
#endif
}

}  // namespace mc
