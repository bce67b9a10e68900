// Time as the console sees it. Every sleep, every select() wait and every
// serial read timeout goes through a Clock, so the same code runs on the
// wall clock in the product and on virtual time in tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

namespace mc {

using Duration = std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::seconds;

class Clock {
 public:
  virtual ~Clock() = default;
  // Time since an arbitrary origin that never goes backwards.
  virtual Duration Now() const = 0;
  // A plain sleep.
  virtual void Sleep(Duration d) = 0;
};

// Wall-clock time (std::chrono::steady_clock) and std::this_thread::sleep_for.
class RealClock final : public Clock {
 public:
  RealClock();
  Duration Now() const override;
  void Sleep(Duration d) override;

 private:
  std::chrono::steady_clock::time_point origin_;
};

// Virtual time: Sleep() advances time at once. Simulated ports and sockets
// advance it with AdvanceTo() while they wait for the next byte. Every call
// of Sleep() is recorded so that tests can assert the waits of an exchange.
class VirtualClock final : public Clock {
 public:
  Duration Now() const override;
  void Sleep(Duration d) override;
  // Moves time forward to t (never backwards).
  void AdvanceTo(Duration t);

  std::vector<Duration> Sleeps() const;
  void ClearSleeps();

 private:
  mutable std::mutex mutex_;
  Duration now_{0};
  std::vector<Duration> sleeps_;
};

// The process-wide real clock, for code that has none injected.
Clock& SystemClock();

}  // namespace mc
