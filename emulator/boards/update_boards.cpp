#include "emulator/boards/update_boards.h"

#include <algorithm>

#include "link/command_frame.h"

namespace mc::emu {

namespace {

constexpr std::uint8_t kNakDb = 0xA4;
constexpr std::uint8_t kReady = 0xCC;
constexpr std::uint8_t kBlockDone = 0xDD;
constexpr std::uint8_t kRefused = 0x55;
constexpr std::size_t kBlockSize = 128;

std::uint8_t Swap(std::uint8_t b) {
  return static_cast<std::uint8_t>((b << 4) | (b >> 4));
}

std::uint8_t DecodeDb(std::uint8_t w, std::size_t q) {
  return Swap(static_cast<std::uint8_t>(w - (q & 0xFF) - ((q >> 8) & 0xFF)));
}

std::uint16_t Crc16(const std::uint8_t* data, std::size_t n) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < n; ++i) {
    crc = static_cast<std::uint16_t>(crc ^ (data[i] << 8));
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return crc;
}

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

}  // namespace

// ---- EntryFrameCollector ---------------------------------------------------

bool EntryFrameCollector::Feed(std::uint8_t byte) {
  if (bytes_.empty() && byte != CommandFrame::kMinSize) return false;
  bytes_.push_back(byte);
  if (bytes_.size() < CommandFrame::kMinSize) return false;
  const CommandFrame entry(code_, {}, kHeaderAlt);
  const bool match = std::equal(bytes_.begin(), bytes_.end(), entry.bytes().begin());
  bytes_.clear();
  return match;
}

// ---- DbBoard ---------------------------------------------------------------

void DbBoard::OnEnter(Duration t, HostSink& sink) {
  ++session_;
  Start(t, sink);
}

void DbBoard::Start(Duration t, HostSink& sink) {
  state_ = State::kReady;
  completed_ = false;
  length_ = 0;
  position_ = 0;
  naksLeft_ = FaultsOn() ? faults.nakTimes : 0;
  blockSum_ = 0;
  block_.clear();
  received_.clear();
  wire_.clear();
  entry_.Reset();
  lastByte_ = t;
  if (!(FaultsOn() && faults.noReady)) sink.Send(t + readyDelay, kReady);
}

std::vector<std::uint8_t> DbBoard::Received() const {
  std::vector<std::uint8_t> bytes = received_;
  if (bytes.size() > length_) bytes.resize(length_);
  return bytes;
}

void DbBoard::OnHostByte(Duration t, std::uint8_t byte, HostSink& sink) {
  const bool handshake = state_ == State::kLengthLow || state_ == State::kLengthHigh;
  const Duration timeout = handshake ? handshakeTimeout : sessionTimeout;
  const Duration gap = t - lastByte_;
  lastByte_ = t;
  if (state_ != State::kDone && gap > timeout) state_ = State::kExpired;
  const Duration at = t + replyDelay;
  // The host's entry command after a pause, in the middle of a transfer:
  // the host gave up on it and starts again.
  if (state_ == State::kData &&
      (entry_.Collecting() || (byte == CommandFrame::kMinSize && gap >= resumeGap))) {
    if (entry_.Feed(byte)) {
      sink.Send(at, kAck);
      ++session_;
      Start(at, sink);
    }
    return;
  }
  switch (state_) {
    case State::kExpired:
    case State::kReady:
      // The host may send the entry command again (it missed the switcher's
      // acknowledge, or it gave up a transfer): acknowledge and start over.
      if (entry_.Collecting() || byte == CommandFrame::kMinSize) {
        if (entry_.Feed(byte)) {
          sink.Send(at, kAck);
          ++session_;
          Start(at, sink);
        }
        return;
      }
      if (state_ == State::kReady && byte == 0x00) {
        sink.Send(at, byte);
        state_ = State::kLengthLow;
      }
      return;
    case State::kLengthLow:
      length_ = byte;
      if (!(FaultsOn() && faults.lostEcho)) sink.Send(at, byte);
      state_ = State::kLengthHigh;
      return;
    case State::kLengthHigh:
      length_ = static_cast<std::uint16_t>(length_ | byte << 8);
      sink.Send(at, byte);
      sink.Send(at + replyDelay, kAck);
      state_ = State::kData;
      return;
    case State::kData: OnData(t, byte, sink); return;
    case State::kSum:
      sumAnswers_.push_back(byte);
      if (byte != kAck) {
        state_ = State::kDone;
        return;
      }
      received_.insert(received_.end(), block_.begin(), block_.end());
      block_.clear();
      blockSum_ = 0;
      sink.Send(at, kAck);
      if (received_.size() >= length_) {
        completed_ = true;
        state_ = State::kDone;
      } else {
        state_ = State::kData;
      }
      return;
    case State::kDone: return;
  }
}

void DbBoard::OnData(Duration t, std::uint8_t byte, HostSink& sink) {
  const std::size_t q = position_;
  wire_.push_back({q, byte});
  const bool faulty = FaultsOn();
  if (faulty && static_cast<int>(q) == faults.silentByte) {
    state_ = State::kDone;  // back to the switcher, which does not answer data
    return;
  }
  Duration at = t + replyDelay;
  if (faulty && static_cast<int>(q) == faults.lateByte) at += faults.lateBy;
  if (faulty && static_cast<int>(q) == faults.nakByte && naksLeft_ > 0) {
    --naksLeft_;
    sink.Send(at, kNakDb);
    return;
  }
  block_.push_back(DecodeDb(byte, q));
  blockSum_ = static_cast<std::uint8_t>(blockSum_ + byte);
  ++position_;
  if (block_.size() < kBlockSize) {
    sink.Send(at, kAck);
    return;
  }
  std::uint8_t sum = blockSum_;
  if (faulty && static_cast<int>(q / kBlockSize) == faults.wrongSumBlock) ++sum;
  sink.Send(at, std::vector<std::uint8_t>{kBlockDone, sum});
  state_ = State::kSum;
}

// ---- HdbtBoard -------------------------------------------------------------

void HdbtBoard::OnEnter(Duration t, HostSink& sink) {
  (void)sink;
  ++session_;
  Start(t);
}

void HdbtBoard::Start(Duration t) {
  state_ = State::kCountHigh;
  completed_ = false;
  count_ = 0;
  index_ = 0;
  filled_ = 0;
  blocks_.clear();
  entry_.Reset();
  lastByte_ = t;
}

void HdbtBoard::OnHostByte(Duration t, std::uint8_t byte, HostSink& sink) {
  const Duration gap = t - lastByte_;
  lastByte_ = t;
  if (state_ != State::kDone && gap > sessionTimeout) state_ = State::kExpired;
  const Duration at = t + replyDelay;
  const bool faulty = FaultsOn();
  // The entry command again, after a pause: the host gave up and starts over.
  if (state_ == State::kExpired || entry_.Collecting() ||
      (state_ != State::kDone && byte == CommandFrame::kMinSize && gap >= resumeGap)) {
    if (entry_.Feed(byte)) {
      sink.Send(at, kAck);
      ++session_;
      Start(at);
    }
    return;
  }
  switch (state_) {
    case State::kExpired: return;
    case State::kCountHigh:
      count_ = static_cast<std::uint16_t>(byte << 8);
      state_ = State::kCountLow;
      return;
    case State::kCountLow:
      count_ = static_cast<std::uint16_t>(count_ | byte);
      sink.Send(at, faulty && faults.nakCount ? kRefused : kAck);
      state_ = State::kAddrHigh;
      return;
    case State::kAddrHigh:
      current_.address = static_cast<std::uint16_t>(byte << 8);
      state_ = State::kAddrLow;
      return;
    case State::kAddrLow:
      current_.address = static_cast<std::uint16_t>(current_.address | byte);
      sink.Send(at, faulty && index_ == faults.nakAddressBlock ? kRefused : kAck);
      filled_ = 0;
      state_ = State::kData;
      return;
    case State::kData: {
      current_.data[filled_++] = byte;
      if (filled_ < kBlockSize) return;
      if (faulty && index_ == faults.silentBlock) {
        state_ = State::kDone;
        return;
      }
      Duration doneAt = at;
      if (faulty && index_ == faults.lateBlock) doneAt += faults.lateBy;
      std::uint8_t sum = Sum8(current_.data);
      if (faulty && index_ == faults.wrongSumBlock) ++sum;
      sink.Send(doneAt, std::vector<std::uint8_t>{kBlockDone, sum});
      state_ = State::kConfirm;
      return;
    }
    case State::kConfirm:
      sumAnswers_.push_back(byte);
      if (byte != kAck) {
        state_ = State::kDone;
        return;
      }
      blocks_.push_back(current_);
      std::copy(current_.data.begin(), current_.data.end(),
                memory_.begin() + std::min<std::size_t>(current_.address, 0x10000 - kBlockSize));
      sink.Send(at, kAck);
      if (++index_ >= count_) {
        completed_ = true;
        state_ = State::kDone;
      } else {
        state_ = State::kAddrHigh;
      }
      return;
    case State::kDone: return;
  }
}

// ---- MainBootloader --------------------------------------------------------

namespace {
constexpr std::uint8_t kSync = 0x0F;
constexpr std::uint8_t kEtx = 0x04;
constexpr std::uint8_t kDle = 0x05;
const std::vector<std::uint8_t> kEraseDone = {0x0F, 0x03, 0x06, 0x04};
const std::vector<std::uint8_t> kWriteDone = {0x0F, 0x04, 0x06, 0x06, 0x04};
const std::vector<std::uint8_t> kFrameRefused = {0x0F, 0x15, 0x04};
}  // namespace

MainBootloader::MainBootloader() : flash_(FactoryFlash()) {}

std::vector<std::uint8_t> MainBootloader::FactoryFlash() {
  std::vector<std::uint8_t> flash(kFlashSize);
  for (std::size_t i = 0; i < kFlashSize; ++i) {
    flash[i] = static_cast<std::uint8_t>(i < kAppEnd ? (i * 7 + 0x3C) : (0xB0 ^ i));
  }
  return flash;
}

void MainBootloader::OnEnter(Duration t, HostSink& sink) {
  (void)t;
  (void)sink;
  finished_ = false;
  frame_.clear();
  escaped_ = false;
  badEscape_ = false;
}

void MainBootloader::OnOpen(Duration t, int baud) {
  (void)t;
  baud_ = baud;
  frame_.clear();
  escaped_ = false;
}

void MainBootloader::Reply(Duration t, const std::vector<std::uint8_t>& bytes, HostSink& sink) {
  sink.Send(t + faults.lateBy, bytes);
}

void MainBootloader::OnHostByte(Duration t, std::uint8_t byte, HostSink& sink) {
  // Another speed is noise; 0 is a line without one (a pseudo-terminal).
  if (finished_ || (baud_ != 19200 && baud_ != 0)) return;
  if (escaped_) {
    escaped_ = false;
    if (byte != kSync && byte != kEtx && byte != kDle) badEscape_ = true;
    frame_.push_back(byte);
    return;
  }
  switch (byte) {
    case kDle: escaped_ = true; return;
    case kSync: {
      // A sync drops any partial frame and is echoed.
      frame_.clear();
      badEscape_ = false;
      const int n = syncs_++;
      const bool bad = faults.badEchoFrom >= 0 && n >= faults.badEchoFrom &&
                       (faults.badEchoCount < 0 || n < faults.badEchoFrom + faults.badEchoCount);
      if (!bad) {
        Reply(t + echoDelay, {kSync}, sink);
      } else if (!faults.lostEcho) {
        Reply(t + echoDelay, {0x00}, sink);
      }
      return;
    }
    case kEtx: OnFrame(t, sink); return;
    default: frame_.push_back(byte); return;
  }
}

void MainBootloader::OnFrame(Duration t, HostSink& sink) {
  std::vector<std::uint8_t> f;
  f.swap(frame_);
  const bool escapeOk = !badEscape_;
  badEscape_ = false;
  const bool crcOk =
      f.size() >= 3 && Crc16(f.data(), f.size() - 2) == (f[f.size() - 2] | f[f.size() - 1] << 8);
  if (!escapeOk || !crcOk) {
    frames_.push_back({f.empty() ? std::uint8_t{0} : f[0], 0, 0, false, {}});
    Reply(t, kFrameRefused, sink);
    return;
  }
  switch (f[0]) {
    case 0x03: {
      if (f.size() != 8) break;
      const std::uint32_t address = Le32(&f[1]);
      const int count = f[5];
      const bool ok = address % kPage == 0 && count >= 1 && address + kPage <= kAppEnd &&
                      address + kPage >= kPage * count;
      frames_.push_back({f[0], address, count, ok, {}});
      if (!ok) break;
      // Pages from `address` downwards.
      const std::size_t low = address + kPage - kPage * static_cast<std::size_t>(count);
      std::fill(flash_.begin() + static_cast<std::ptrdiff_t>(low),
                flash_.begin() + static_cast<std::ptrdiff_t>(address + kPage), std::uint8_t{0xFF});
      Reply(t + pageEraseTime * count, kEraseDone, sink);
      return;
    }
    case 0x04: {
      if (f.size() < 8) break;
      const std::uint32_t address = Le32(&f[1]);
      const int blocks = f[5];
      const std::size_t size = 64 * static_cast<std::size_t>(blocks);
      const int n = writes_++;
      const bool refused = faults.nakWriteFrom >= 0 && n >= faults.nakWriteFrom &&
                           n < faults.nakWriteFrom + faults.nakWriteCount;
      const bool ok = f.size() == 8 + size && address + size <= kFlashSize && !refused;
      frames_.push_back({f[0], address, blocks, ok, {}});
      if (!ok) break;
      frames_.back().data.assign(f.begin() + 6, f.end() - 2);
      // Programming clears bits only; the bootloader's own pages are locked.
      for (std::size_t i = 0; i < size && address + i < kAppEnd; ++i) {
        flash_[address + i] &= f[6 + i];
      }
      Reply(t + writeTime, kWriteDone, sink);
      return;
    }
    case 0x09:
      if (f.size() != 3) break;
      frames_.push_back({f[0], 0, 0, true, {}});
      finishSeen_ = true;
      finished_ = true;  // the new application starts
      return;
    default: break;
  }
  Reply(t, kFrameRefused, sink);
}

}  // namespace mc::emu
