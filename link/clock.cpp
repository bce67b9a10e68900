#include "link/clock.h"

#include <thread>

namespace mc {

RealClock::RealClock() : origin_(std::chrono::steady_clock::now()) {}

Duration RealClock::Now() const {
  return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now() - origin_);
}

void RealClock::Sleep(Duration d) {
  if (d > Duration::zero()) std::this_thread::sleep_for(d);
}

Duration VirtualClock::Now() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return now_;
}

void VirtualClock::Sleep(Duration d) {
  std::lock_guard<std::mutex> lock(mutex_);
  sleeps_.push_back(d);
  if (d > Duration::zero()) now_ += d;
}

void VirtualClock::AdvanceTo(Duration t) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (t > now_) now_ = t;
}

std::vector<Duration> VirtualClock::Sleeps() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sleeps_;
}

void VirtualClock::ClearSleeps() {
  std::lock_guard<std::mutex> lock(mutex_);
  sleeps_.clear();
}

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace mc
