// A TCP stream socket as the exchanges use it: send, wait for readability
// with a timeout (select), one receive. Backends: BSD sockets / Winsock
// (stream_socket.cpp) and a simulated socket on virtual time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/clock.h"
#include "link/sim_wire.h"

namespace mc {

constexpr std::uint16_t kSwitcherTcpPort = 9760;

class StreamSocket {
 public:
  virtual ~StreamSocket() = default;
  // Connects to host (dotted IPv4 address or name) and port; false when it
  // cannot connect within `timeout`.
  virtual bool Connect(const std::string& host, std::uint16_t port, Duration timeout) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // As send(): bytes sent, or -1.
  virtual long Send(const std::uint8_t* data, std::size_t count) = 0;
  // As select() on a read set of this socket: 1 readable, 0 timed out, -1 error.
  virtual int WaitReadable(Duration timeout) = 0;
  // As recv(): bytes received, 0 when the peer closed, -1 on error.
  virtual long Recv(std::uint8_t* buffer, std::size_t count) = 0;
};

// Winsock must be started once per process before sockets are used
// (WSAStartup 2.2); elsewhere these do nothing.
bool StartNetworking();
void StopNetworking();

// The platform's socket.
class NetSocket final : public StreamSocket {
 public:
  NetSocket() = default;
  ~NetSocket() override { NetSocket::Close(); }
  NetSocket(const NetSocket&) = delete;
  NetSocket& operator=(const NetSocket&) = delete;

  bool Connect(const std::string& host, std::uint16_t port, Duration timeout) override;
  void Close() override;
  bool IsOpen() const override { return fd_ != kInvalid; }
  long Send(const std::uint8_t* data, std::size_t count) override;
  int WaitReadable(Duration timeout) override;
  long Recv(std::uint8_t* buffer, std::size_t count) override;

 private:
  static constexpr std::intptr_t kInvalid = -1;
  std::intptr_t fd_ = kInvalid;
};

// A socket connected to an emulated device over a SimWire (no line time).
class SimSocket final : public StreamSocket {
 public:
  explicit SimSocket(SimWire& wire) : wire_(wire) {}
  ~SimSocket() override { SimSocket::Close(); }

  // Connects when `host` is not empty; the wire stands for the peer.
  bool Connect(const std::string& host, std::uint16_t port, Duration timeout) override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  long Send(const std::uint8_t* data, std::size_t count) override;
  int WaitReadable(Duration timeout) override;
  long Recv(std::uint8_t* buffer, std::size_t count) override;

 private:
  SimWire& wire_;
  bool open_ = false;
};

}  // namespace mc
