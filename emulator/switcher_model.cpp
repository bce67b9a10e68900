#include "emulator/switcher_model.h"

#include "link/command_frame.h"

namespace mc::emu {

namespace {
constexpr int kCommandBaud = 9600;
constexpr std::uint8_t kNak = 0x55;
}  // namespace

const char* FaultName(Fault f) {
  switch (f) {
    case Fault::kSilence: return "silence";
    case Fault::kWrongAck: return "wrong-ack";
    case Fault::kBadChecksum: return "bad-checksum";
    case Fault::kShortReply: return "short";
    case Fault::kStaleBytes: return "stale";
    case Fault::kLate: return "late";
  }
  return "?";
}

std::optional<Fault> ParseFault(const std::string& name) {
  for (Fault f : {Fault::kSilence, Fault::kWrongAck, Fault::kBadChecksum, Fault::kShortReply,
                  Fault::kStaleBytes, Fault::kLate}) {
    if (name == FaultName(f)) return f;
  }
  return std::nullopt;
}

SwitcherModel::SwitcherModel(SwitcherConfig config) : config_(config) {
  // The command table. Commands of the EDID, output/POC, network and IR
  // dialogs are added here as rows.
  handlers_[kCmdPower] = &SwitcherModel::CmdPower;
  handlers_[kCmdStatus] = &SwitcherModel::CmdStatus;
  handlers_[kCmdRoute] = &SwitcherModel::CmdRoute;
  handlers_[kCmdFactoryReset] = &SwitcherModel::CmdFactoryReset;
}

StatusReply SwitcherModel::Status() const {
  StatusReply r;
  r.reserved = config_.reserved;
  r.outputs = config_.outputs;
  r.inputFlags = config_.inputFlags;
  r.power = config_.power;
  r.modelByte = static_cast<std::uint8_t>(config_.modelByte);
  return r;
}

void SwitcherModel::OnOpen(Duration t, int baud, HostSink& sink) {
  (void)sink;
  baud_ = baud;
  pending_.clear();
  if (active_) active_->OnOpen(t, baud);
}

void SwitcherModel::OnClose(Duration t) {
  (void)t;
  pending_.clear();
}

void SwitcherModel::OnBreak(Duration t, bool on) {
  (void)t;
  breakHeld_ = on;
}

void SwitcherModel::PowerCycle(Duration t, HostSink& sink, bool forceBootloader) {
  pending_.clear();
  busyUntil_ = Duration(0);
  active_ = nullptr;
  if ((breakHeld_ || forceBootloader) && bootloader_) {
    active_ = bootloader_;
    active_->OnOpen(t, baud_);
    active_->OnEnter(t, sink);
  }
}

void SwitcherModel::OnHostByte(Duration t, std::uint8_t byte, HostSink& sink) {
  if (active_) {
    active_->OnHostByte(t, byte, sink);
    if (active_->Finished()) active_ = nullptr;
    return;
  }
  // A serial line at another speed delivers garbage: the command mode
  // listens at 9600 baud (0 stands for a TCP connection).
  if (baud_ != 0 && baud_ != kCommandBaud) return;
  if (breakHeld_) return;
  if (!pending_.empty() && t - lastByte_ > config_.frameGap) pending_.clear();
  lastByte_ = t;
  pending_.push_back(byte);
  // Resynchronise on a byte that cannot start a frame.
  while (!pending_.empty() &&
         (pending_[0] < CommandFrame::kMinSize || pending_[0] > CommandFrame::kMaxSize)) {
    pending_.erase(pending_.begin());
  }
  if (pending_.empty() || pending_.size() < pending_[0]) return;
  std::vector<std::uint8_t> frame(pending_.begin(), pending_.begin() + pending_[0]);
  pending_.erase(pending_.begin(), pending_.begin() + pending_[0]);
  if (!IsValidFrame(frame)) {
    pending_.clear();
    return;
  }
  frames_.push_back(frame);
  OnFrame(t, frame, sink);
}

void SwitcherModel::OnFrame(Duration t, const std::vector<std::uint8_t>& frame, HostSink& sink) {
  if (t < busyUntil_) return;  // resetting: deaf
  const std::uint8_t code = frame[8];
  auto board = boards_.find(code);
  if (board != boards_.end() && board->second && frame[2] == kHeaderAlt) {
    Reply(t, code, {kAck}, sink);
    active_ = board->second;
    active_->OnEnter(t + config_.replyDelay, sink);
    return;
  }
  auto h = handlers_.find(code);
  if (h == handlers_.end()) return;  // unknown commands go unanswered
  (this->*(h->second))(t, frame, sink);
}

void SwitcherModel::Reply(Duration t, std::uint8_t command, std::vector<std::uint8_t> bytes,
                          HostSink& sink) {
  Duration at = t + config_.replyDelay;
  bool twice = false;
  for (auto it = faults_.begin(); it != faults_.end(); ++it) {
    if (it->command >= 0 && it->command != command) continue;
    switch (it->fault) {
      case Fault::kSilence: bytes.clear(); break;
      case Fault::kWrongAck:
        if (!bytes.empty()) bytes[0] = kNak;
        break;
      case Fault::kBadChecksum:
        if (!bytes.empty()) bytes.back() = static_cast<std::uint8_t>(bytes.back() + 1);
        break;
      case Fault::kShortReply:
        if (!bytes.empty()) bytes.pop_back();
        break;
      case Fault::kStaleBytes: twice = true; break;
      case Fault::kLate: at += config_.lateBy; break;
    }
    if (it->remaining > 0 && --it->remaining == 0) faults_.erase(it);
    break;
  }
  if (bytes.empty()) return;
  sink.Send(at, bytes);
  if (twice) sink.Send(at, bytes);
}

void SwitcherModel::CmdPower(Duration t, const std::vector<std::uint8_t>& frame, HostSink& sink) {
  if (frame.size() != 11 || (frame[9] != kAck && frame[9] != kNak)) {
    Reply(t, kCmdPower, {kNak}, sink);
    return;
  }
  config_.power = frame[9] == kAck ? 1 : 0;
  Reply(t, kCmdPower, {kAck}, sink);
}

void SwitcherModel::CmdStatus(Duration t, const std::vector<std::uint8_t>& frame, HostSink& sink) {
  (void)frame;
  const auto bytes = Status().Encode();
  Reply(t, kCmdStatus, {bytes.begin(), bytes.end()}, sink);
}

void SwitcherModel::CmdRoute(Duration t, const std::vector<std::uint8_t>& frame, HostSink& sink) {
  if (frame.size() != 18) {
    Reply(t, kCmdRoute, {kNak}, sink);
    return;
  }
  std::array<std::uint8_t, kOutputs> next = config_.outputs;
  for (std::size_t k = 0; k < kOutputs; ++k) {
    // Bits 0-3 the input; bit 0x10 marks a re-route of the same input. The
    // off bit 0x80 belongs to the output, not to the route.
    const int input = frame[9 + k] & 0x0F;
    if (input < 1 || input > kInputs) {
      Reply(t, kCmdRoute, {kNak}, sink);
      return;
    }
    next[k] = static_cast<std::uint8_t>((config_.outputs[k] & 0x80) | input);
  }
  config_.outputs = next;
  Reply(t, kCmdRoute, {kAck}, sink);
}

void SwitcherModel::CmdFactoryReset(Duration t, const std::vector<std::uint8_t>& frame,
                                    HostSink& sink) {
  (void)frame;
  Reply(t, kCmdFactoryReset, {kAck}, sink);
  // The ready byte follows when the reset is done; commands are answered
  // again a little later.
  sink.Send(t + config_.resetReady, kAck);
  busyUntil_ = t + config_.resetStatus;
  for (std::size_t k = 0; k < kOutputs; ++k) config_.outputs[k] = static_cast<std::uint8_t>(k + 1);
  config_.power = 1;
}

}  // namespace mc::emu
