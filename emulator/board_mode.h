// A mode in which one of the switcher's boards takes over the serial line:
// the DB and HDBaseT update modes (entered by command 0x17 / 0x10) and the
// main board's bootloader (entered by a power-up with the line in break).
#pragma once

#include <cstdint>

#include "link/clock.h"
#include "link/sim_wire.h"

namespace mc::emu {

class BoardMode {
 public:
  virtual ~BoardMode() = default;
  // The mode starts at time t (after the switcher acknowledged the entry
  // command, or at power-up for the bootloader).
  virtual void OnEnter(Duration t, HostSink& sink) = 0;
  virtual void OnHostByte(Duration t, std::uint8_t byte, HostSink& sink) = 0;
  // The host opened the line at `baud` (the bootloader listens at 19200).
  virtual void OnOpen(Duration t, int baud) {
    (void)t;
    (void)baud;
  }
  // True once the board hands the line back to the switcher's command mode.
  virtual bool Finished() const = 0;
};

}  // namespace mc::emu
