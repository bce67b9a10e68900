// One request/answer exchange with the switcher over TCP or serial.
//
// The switcher's replies carry no framing: the requester knows how many
// bytes to read. Each command has a row of exchange parameters (drain,
// waits, reply length, retries); the rows are data (see exchange_table.cpp),
// the mechanics are here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>

#include "link/clock.h"
#include "link/command_frame.h"
#include "link/serial_port.h"
#include "link/stream_socket.h"

namespace mc {

// When is a serial reply good enough to stop retrying?
enum class Accept {
  kAck,        // exactly one byte, 0xAA
  kFullReply,  // the whole reply length arrived
};

struct TcpParams {
  bool drain = false;           // clear a late reply of an earlier exchange first
  Duration drainWait{0};        // select() timeout of the drain
  std::size_t drainLength = 0;  // one receive of at most this many bytes
  Duration pause{0};            // plain sleep between send and wait
  Duration replyWait{0};        // select() timeout for the reply
  std::size_t replyLength = 0;  // one receive of at most this many bytes
  bool readReply = true;        // false: the send counts as acknowledged
};

struct SerialParams {
  Duration settle{0};           // sleep after the write
  std::size_t replyLength = 0;  // one read of at most this many bytes
  int retries = 0;              // further attempts while the reply is not acceptable
  Duration retryPause{0};       // sleep before each further attempt
  Duration retrySettle{0};      // settle delay of the further attempts
  Accept accept = Accept::kAck;
};

struct ExchangeParams {
  const char* name;
  TcpParams tcp;
  SerialParams serial;
};

// The rows of the main window's commands.
namespace exchange {
extern const ExchangeParams kRouteOne;
extern const ExchangeParams kRouteAll;
extern const ExchangeParams kPower;
extern const ExchangeParams kStatusUser;  // connect: up to 8 more attempts
extern const ExchangeParams kStatusPoll;  // periodic poll: no retry
extern const ExchangeParams kFactoryReset;
// The common exchange of the sub-dialogs: TCP select 1 s, serial 300 ms.
ExchangeParams Dialog(std::size_t replyLength);
}  // namespace exchange

constexpr std::size_t kMaxReply = 64;

struct ExchangeResult {
  bool sent = false;         // the frame went out
  std::size_t received = 0;  // bytes in `reply`
  int attempts = 0;          // serial attempts made
  bool assumedAck = false;   // TCP exchange that reads no reply
  std::array<std::uint8_t, kMaxReply> reply{};

  std::span<const std::uint8_t> bytes() const { return {reply.data(), received}; }
  // Exactly the acknowledge byte arrived (or the send counts as one).
  bool Acked() const { return assumedAck || (received == 1 && reply[0] == kAck); }
  // A reply that starts with the acknowledge byte.
  bool StartsWithAck() const { return received >= 1 && reply[0] == kAck; }
};

// The link to the switcher: a serial port, a socket and the mode flags.
// Exchanges on one link run one at a time under its lock. The lock is
// never held while the user interface is called.
class Link {
 public:
  Link(Clock& clock, SerialPort& serial, StreamSocket& socket)
      : clock_(clock), serial_(serial), socket_(socket) {}

  bool ethernetMode = false;
  bool tcpConnected = false;

  // (Ethernet mode and TCP connected) or (serial mode and the port open).
  bool Usable() const;

  // Runs one exchange. On a link that is not usable nothing is sent and the
  // result is empty.
  ExchangeResult Exchange(const CommandFrame& frame, const ExchangeParams& params);

  // For callers that run several exchanges as one step (the status query
  // re-opens the port first).
  std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock(mutex_); }

  Clock& clock() { return clock_; }
  SerialPort& serial() { return serial_; }
  StreamSocket& socket() { return socket_; }

 private:
  ExchangeResult OverTcp(const CommandFrame& frame, const TcpParams& p);
  ExchangeResult OverSerial(const CommandFrame& frame, const SerialParams& p);

  Clock& clock_;
  SerialPort& serial_;
  StreamSocket& socket_;
  std::recursive_mutex mutex_;
};

}  // namespace mc
