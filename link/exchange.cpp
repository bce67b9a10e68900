#include "link/exchange.h"

#include <algorithm>

namespace mc {

namespace exchange {

using std::chrono::microseconds;

// Route one crosspoint: no drain; 4 s + 10 us; serial 100 ms, one retry.
const ExchangeParams kRouteOne{"route one",
                               {.replyWait = seconds(4) + microseconds(10), .replyLength = 1},
                               {.settle = milliseconds(100),
                                .replyLength = 1,
                                .retries = 1,
                                .retryPause = milliseconds(100),
                                .retrySettle = milliseconds(100)}};

// Route one input to all outputs: drain 10 us / 20 bytes; 2 s + 10 us;
// serial 100 ms, up to 10 retries of 500 ms + 500 ms.
const ExchangeParams kRouteAll{"route all",
                               {.drain = true,
                                .drainWait = microseconds(10),
                                .drainLength = 20,
                                .replyWait = seconds(2) + microseconds(10),
                                .replyLength = 1},
                               {.settle = milliseconds(100),
                                .replyLength = 1,
                                .retries = 10,
                                .retryPause = milliseconds(500),
                                .retrySettle = milliseconds(500)}};

// Power: drain 10 us / 20 bytes; 100 us; serial 100 ms, one retry.
const ExchangeParams kPower{"power",
                            {.drain = true,
                             .drainWait = microseconds(10),
                             .drainLength = 20,
                             .replyWait = microseconds(100),
                             .replyLength = 1},
                            {.settle = milliseconds(100),
                             .replyLength = 1,
                             .retries = 1,
                             .retryPause = milliseconds(100),
                             .retrySettle = milliseconds(100)}};

// Status: drain 500 us / 21 bytes; pause 1500 ms, then 500 us for 21 bytes;
// serial 500 ms, the user's query up to 8 more attempts while short.
const ExchangeParams kStatusUser{"status",
                                 {.drain = true,
                                  .drainWait = microseconds(500),
                                  .drainLength = 21,
                                  .pause = milliseconds(1500),
                                  .replyWait = microseconds(500),
                                  .replyLength = 21},
                                 {.settle = milliseconds(500),
                                  .replyLength = 21,
                                  .retries = 8,
                                  .retryPause = Duration(0),
                                  .retrySettle = milliseconds(500),
                                  .accept = Accept::kFullReply}};

const ExchangeParams kStatusPoll{
    "status poll",
    kStatusUser.tcp,
    {.settle = milliseconds(500), .replyLength = 21, .accept = Accept::kFullReply}};

// Factory reset: drain 3 s / 45 bytes, nothing read over TCP; serial 30 ms.
const ExchangeParams kFactoryReset{
    "factory reset",
    {.drain = true, .drainWait = seconds(3), .drainLength = 45, .readReply = false},
    {.settle = milliseconds(30), .replyLength = 1}};

ExchangeParams Dialog(std::size_t replyLength) {
  return {"dialog",
          {.replyWait = seconds(1), .replyLength = replyLength},
          {.settle = milliseconds(300), .replyLength = replyLength}};
}

}  // namespace exchange

bool Link::Usable() const {
  return ethernetMode ? (tcpConnected && socket_.IsOpen()) : serial_.IsOpen();
}

ExchangeResult Link::Exchange(const CommandFrame& frame, const ExchangeParams& params) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!Usable()) return {};
  return ethernetMode ? OverTcp(frame, params.tcp) : OverSerial(frame, params.serial);
}

ExchangeResult Link::OverTcp(const CommandFrame& frame, const TcpParams& p) {
  ExchangeResult r;
  std::array<std::uint8_t, kMaxReply> scratch{};
  if (p.drain && socket_.WaitReadable(p.drainWait) == 1) {
    socket_.Recv(scratch.data(), std::min(p.drainLength, scratch.size()));
  }
  r.attempts = 1;
  r.sent = socket_.Send(frame.data(), frame.size()) == static_cast<long>(frame.size());
  if (!r.sent) return r;
  if (p.pause > Duration::zero()) clock_.Sleep(p.pause);
  if (!p.readReply) {
    r.assumedAck = true;
    return r;
  }
  if (socket_.WaitReadable(p.replyWait) != 1) return r;
  const long n = socket_.Recv(r.reply.data(), std::min(p.replyLength, r.reply.size()));
  r.received = n > 0 ? static_cast<std::size_t>(n) : 0;
  return r;
}

ExchangeResult Link::OverSerial(const CommandFrame& frame, const SerialParams& p) {
  ExchangeResult r;
  const std::size_t want = std::min(p.replyLength, r.reply.size());
  auto acceptable = [&] { return p.accept == Accept::kAck ? r.Acked() : r.received == want; };
  for (int attempt = 0; attempt <= p.retries; ++attempt) {
    if (attempt > 0) {
      if (p.retryPause > Duration::zero()) clock_.Sleep(p.retryPause);
    }
    r.attempts = attempt + 1;
    r.received = 0;
    r.reply.fill(0);
    serial_.PurgeRx();
    r.sent = serial_.Write(frame.data(), frame.size()) == frame.size() || r.sent;
    clock_.Sleep(attempt == 0 ? p.settle : p.retrySettle);
    r.received = serial_.Read(r.reply.data(), want);
    if (acceptable()) break;
  }
  return r;
}

}  // namespace mc
