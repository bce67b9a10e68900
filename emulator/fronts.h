// The real-time fronts of the emulator: a pseudo-terminal and a TCP listener
// (POSIX). Each feeds the bytes it receives to a DeviceSide with the wall
// clock's time and writes the device's answers when they fall due.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/sim_wire.h"

namespace mc::emu {

// Collects what a device sends, by due time.
class ScheduledSink final : public HostSink {
 public:
  void Send(Duration at, const std::uint8_t* data, std::size_t count) override;
  // Removes and returns the bytes due at `now`, in order.
  std::vector<std::uint8_t> TakeDue(Duration now);
  // Time of the next byte, or a negative duration when nothing is queued.
  Duration NextDue() const;
  void Clear() { queue_.clear(); }

 private:
  std::multimap<Duration, std::uint8_t> queue_;
};

struct FrontOptions {
  bool verbose = false;               // log traffic on stderr
  std::atomic<bool>* stop = nullptr;  // ends the loop when set
  // Called about every 50 ms with the current time and the sink, for
  // events that do not come from the line (a simulated power cycle).
  std::function<void(Duration now, HostSink& sink)> tick;
};

// A pseudo-terminal whose slave is the emulated switcher's serial port.
class PtyFront {
 public:
  PtyFront();
  ~PtyFront();
  PtyFront(const PtyFront&) = delete;
  PtyFront& operator=(const PtyFront&) = delete;

  bool ok() const { return master_ >= 0; }
  const std::string& slavePath() const { return slave_; }
  // Makes `link` a symbolic link to the slave (replacing an old link).
  bool MakeLink(const std::string& link);
  // Serves until options.stop is set. Returns 0, or 1 on an I/O error.
  int Run(DeviceSide& device, Clock& clock, const FrontOptions& options);

 private:
  int master_ = -1;
  int slaveKeep_ = -1;  // held open so that the master never sees a hang-up
  std::string slave_;
  std::string link_;
};

// A TCP listener; one connection at a time.
class TcpFront {
 public:
  TcpFront(const std::string& address, std::uint16_t port);
  ~TcpFront();
  TcpFront(const TcpFront&) = delete;
  TcpFront& operator=(const TcpFront&) = delete;

  bool ok() const { return listen_ >= 0; }
  std::uint16_t port() const { return port_; }  // the bound port (useful with port 0)
  const std::string& error() const { return error_; }
  int Run(DeviceSide& device, Clock& clock, const FrontOptions& options);

 private:
  int listen_ = -1;
  std::uint16_t port_ = 0;
  std::string error_;
};

std::string HexBytes(const std::uint8_t* data, std::size_t count);

}  // namespace mc::emu
