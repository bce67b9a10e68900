#include "link/stream_socket.h"

namespace mc {

bool SimSocket::Connect(const std::string& host, std::uint16_t port, Duration timeout) {
  (void)port;
  (void)timeout;
  if (host.empty()) return false;
  if (!open_) wire_.HostOpen(0);
  open_ = true;
  return true;
}

void SimSocket::Close() {
  if (!open_) return;
  wire_.HostClose();
  open_ = false;
}

long SimSocket::Send(const std::uint8_t* data, std::size_t count) {
  if (!open_) return -1;
  wire_.HostWrite(data, count);
  return static_cast<long>(count);
}

int SimSocket::WaitReadable(Duration timeout) {
  if (!open_) return -1;
  return wire_.HostWaitReadable(timeout) ? 1 : 0;
}

long SimSocket::Recv(std::uint8_t* buffer, std::size_t count) {
  if (!open_) return -1;
  // One receive takes what has arrived by now, as recv() on a stream does.
  return static_cast<long>(wire_.HostRead(buffer, count, Duration(0)));
}

}  // namespace mc
