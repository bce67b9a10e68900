// A simulated cable between the console and an emulated device, on virtual
// time. Bytes travel one byte time apart in each direction; the device side
// sees each host byte with its arrival time and schedules its answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "link/clock.h"

namespace mc {

// Where a device sends its bytes: `at` is the earliest time the first byte
// may leave the device; the wire serialises bytes one byte time apart.
class HostSink {
 public:
  virtual ~HostSink() = default;
  virtual void Send(Duration at, const std::uint8_t* data, std::size_t count) = 0;
  void Send(Duration at, std::uint8_t byte) { Send(at, &byte, 1); }
  void Send(Duration at, const std::vector<std::uint8_t>& bytes) {
    Send(at, bytes.data(), bytes.size());
  }
};

// What the host's side of a line reaches: an emulated switcher or board.
class DeviceSide {
 public:
  virtual ~DeviceSide() = default;
  // The line was opened at `baud` (0 for a TCP connection).
  virtual void OnOpen(Duration t, int baud, HostSink& sink) {
    (void)t;
    (void)baud;
    (void)sink;
  }
  virtual void OnClose(Duration t) { (void)t; }
  // One byte from the host, arriving at time t.
  virtual void OnHostByte(Duration t, std::uint8_t byte, HostSink& sink) = 0;
  // Line break state changed.
  virtual void OnBreak(Duration t, bool on) {
    (void)t;
    (void)on;
  }
};

struct TimedByte {
  Duration at;
  std::uint8_t byte;
};

class SimWire final : public HostSink {
 public:
  explicit SimWire(VirtualClock& clock, DeviceSide* device = nullptr);

  void Attach(DeviceSide* device) { device_ = device; }
  VirtualClock& clock() { return clock_; }

  // Time one byte takes on the line: 10 bit times at `baud`; 0 for baud 0.
  void SetBaud(int baud);

  // Host side.
  void HostOpen(int baud);
  void HostClose();
  void HostWrite(const std::uint8_t* data, std::size_t count);
  // Waits on virtual time until `count` bytes arrived or `timeout` passed.
  std::size_t HostRead(std::uint8_t* buffer, std::size_t count, Duration timeout);
  // Waits until at least one byte is available or `timeout` passed.
  bool HostWaitReadable(Duration timeout);
  // Drops the bytes that have arrived by now; later ones stay on the way.
  void HostPurge();
  void HostBreak(bool on);
  bool BreakHeld() const { return breakHeld_; }

  // Device side.
  using HostSink::Send;
  void Send(Duration at, const std::uint8_t* data, std::size_t count) override;

  // Every byte the host has written, with the time it reached the device.
  const std::vector<TimedByte>& HostBytes() const { return hostLog_; }
  void ClearHostBytes() { hostLog_.clear(); }
  // Bytes still on their way to the host or waiting to be read.
  std::size_t Pending() const { return toHost_.size(); }

 private:
  VirtualClock& clock_;
  DeviceSide* device_;
  Duration byteTime_{0};
  Duration hostTxFreeAt_{0};
  bool breakHeld_ = false;
  std::deque<TimedByte> toHost_;
  std::vector<TimedByte> hostLog_;
};

}  // namespace mc
