#include "link/sim_wire.h"

#include <algorithm>

namespace mc {

SimWire::SimWire(VirtualClock& clock, DeviceSide* device) : clock_(clock), device_(device) {}

void SimWire::SetBaud(int baud) {
  byteTime_ = baud > 0 ? Duration(10'000'000 / baud) : Duration(0);
}

void SimWire::HostOpen(int baud) {
  SetBaud(baud);
  if (device_) device_->OnOpen(clock_.Now(), baud, *this);
}

void SimWire::HostClose() {
  if (breakHeld_) HostBreak(false);
  if (device_) device_->OnClose(clock_.Now());
}

void SimWire::HostWrite(const std::uint8_t* data, std::size_t count) {
  Duration t = std::max(clock_.Now(), hostTxFreeAt_);
  for (std::size_t i = 0; i < count; ++i) {
    t += byteTime_;
    hostLog_.push_back({t, data[i]});
    if (device_) device_->OnHostByte(t, data[i], *this);
  }
  hostTxFreeAt_ = t;
}

void SimWire::Send(Duration at, const std::uint8_t* data, std::size_t count) {
  // The line carries one byte at a time: start after any bytes already
  // scheduled around `at` (a reply scheduled far ahead, such as a ready
  // byte at the end of a reset, does not hold back a quick one).
  Duration t = at;
  for (const TimedByte& b : toHost_) {
    if (b.at > t && b.at <= t + byteTime_) t = b.at;
  }
  for (std::size_t i = 0; i < count; ++i) {
    t += byteTime_;
    toHost_.push_back({t, data[i]});
  }
  // A device may answer out of order in time (a late reply scheduled before
  // a quick one); keep the queue ordered by arrival.
  std::stable_sort(toHost_.begin(), toHost_.end(),
                   [](const TimedByte& a, const TimedByte& b) { return a.at < b.at; });
}

std::size_t SimWire::HostRead(std::uint8_t* buffer, std::size_t count, Duration timeout) {
  const Duration deadline = clock_.Now() + timeout;
  std::size_t got = 0;
  while (got < count) {
    if (toHost_.empty() || toHost_.front().at > deadline) {
      clock_.AdvanceTo(deadline);
      break;
    }
    clock_.AdvanceTo(toHost_.front().at);
    buffer[got++] = toHost_.front().byte;
    toHost_.pop_front();
  }
  return got;
}

bool SimWire::HostWaitReadable(Duration timeout) {
  const Duration deadline = clock_.Now() + timeout;
  if (toHost_.empty() || toHost_.front().at > deadline) {
    clock_.AdvanceTo(deadline);
    return false;
  }
  clock_.AdvanceTo(toHost_.front().at);
  return true;
}

void SimWire::HostPurge() {
  const Duration now = clock_.Now();
  while (!toHost_.empty() && toHost_.front().at <= now) toHost_.pop_front();
}

void SimWire::HostBreak(bool on) {
  breakHeld_ = on;
  if (device_) device_->OnBreak(clock_.Now(), on);
}

}  // namespace mc
