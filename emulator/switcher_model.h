// The emulated switcher: routing, power, model byte, input flags and the
// factory reset, answering command frames on a line. One model serves the
// tests (in-process on virtual time), the pseudo-terminal front and the TCP
// front of switcher-emu.
//
// Commands are dispatched through a table of handlers (see the constructor);
// further commands are added there as rows.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "emulator/board_mode.h"
#include "link/clock.h"
#include "link/sim_wire.h"
#include "link/status_reply.h"

namespace mc::emu {

// What can go wrong with a reply.
enum class Fault {
  kSilence,      // no reply at all
  kWrongAck,     // the first byte is 0x55 instead of 0xAA
  kBadChecksum,  // the last byte of the reply is off by one
  kShortReply,   // the last byte of the reply is missing
  kStaleBytes,   // the reply is sent twice: the copy lingers as stale bytes
  kLate,         // the reply comes `lateBy` after its normal time
};
const char* FaultName(Fault f);
std::optional<Fault> ParseFault(const std::string& name);

struct FaultRule {
  Fault fault;
  int remaining = -1;  // replies still affected; -1 = every reply
  int command = -1;    // only replies to this command code; -1 = any
};

struct SwitcherConfig {
  int modelByte = 0;  // 0 K700 8x8, 1 K720 8x8, 2 K720 6x4+2
  std::array<std::uint8_t, kOutputs> outputs{1, 2, 3, 4, 5, 6, 7, 8};
  std::array<std::uint8_t, kInputs> inputFlags{};
  std::uint8_t power = 1;  // 0, 1 or 2
  std::uint8_t reserved = 0;
  // Time from the last byte of a frame to the first byte of the reply.
  Duration replyDelay = milliseconds(2);
  // Factory reset: acknowledge at once, the ready byte after resetReady,
  // status queries answered again after resetStatus.
  Duration resetReady = seconds(20);
  Duration resetStatus = seconds(25);
  Duration lateBy = milliseconds(1500);
  // Bytes further apart than this start a new frame.
  Duration frameGap = milliseconds(500);
};

class SwitcherModel : public DeviceSide {
 public:
  explicit SwitcherModel(SwitcherConfig config = {});

  // DeviceSide.
  void OnOpen(Duration t, int baud, HostSink& sink) override;
  void OnClose(Duration t) override;
  void OnHostByte(Duration t, std::uint8_t byte, HostSink& sink) override;
  void OnBreak(Duration t, bool on) override;

  // State, for tests and for the emulator's own display.
  SwitcherConfig& config() { return config_; }
  const SwitcherConfig& config() const { return config_; }
  StatusReply Status() const;

  // Faults apply to the replies that follow, first matching rule first.
  void AddFault(FaultRule rule) { faults_.push_back(rule); }
  void ClearFaults() { faults_.clear(); }

  // The boards' update modes: `board` takes the line after the switcher
  // acknowledges `entryCode` (sent with header variant 0x03).
  void AttachBoard(std::uint8_t entryCode, BoardMode* board) { boards_[entryCode] = board; }
  // The main board's bootloader, entered by PowerCycle() while the line is
  // held in break.
  void AttachBootloader(BoardMode* bootloader) { bootloader_ = bootloader; }
  // Switches the switcher off and on at time t. With the line in break (or
  // `forceBootloader`), the main board starts in its bootloader.
  void PowerCycle(Duration t, HostSink& sink, bool forceBootloader = false);
  bool InBoardMode() const { return active_ != nullptr; }

  // Every valid frame received, for tests.
  const std::vector<std::vector<std::uint8_t>>& Frames() const { return frames_; }

 private:
  using Handler = void (SwitcherModel::*)(Duration t, const std::vector<std::uint8_t>& frame,
                                          HostSink& sink);
  void OnFrame(Duration t, const std::vector<std::uint8_t>& frame, HostSink& sink);
  void Reply(Duration t, std::uint8_t command, std::vector<std::uint8_t> bytes, HostSink& sink);

  void CmdPower(Duration t, const std::vector<std::uint8_t>& frame, HostSink& sink);
  void CmdStatus(Duration t, const std::vector<std::uint8_t>& frame, HostSink& sink);
  void CmdRoute(Duration t, const std::vector<std::uint8_t>& frame, HostSink& sink);
  void CmdFactoryReset(Duration t, const std::vector<std::uint8_t>& frame, HostSink& sink);

  SwitcherConfig config_;
  std::map<std::uint8_t, Handler> handlers_;
  std::map<std::uint8_t, BoardMode*> boards_;
  BoardMode* bootloader_ = nullptr;
  BoardMode* active_ = nullptr;
  std::vector<FaultRule> faults_;
  std::vector<std::uint8_t> pending_;
  Duration lastByte_{-1};
  Duration busyUntil_{0};  // factory reset: nothing answered before this
  int baud_ = 0;
  bool breakHeld_ = false;
  std::vector<std::vector<std::uint8_t>> frames_;
};

}  // namespace mc::emu
