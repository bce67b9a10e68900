// The emulated boards behind the switcher's update modes and the main
// board's bootloader. Each keeps what it received so that a test can compare
// it with the image that was sent, and each can be told to misbehave.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "emulator/board_mode.h"

namespace mc::emu {

// Collects a command frame that the host sends while a board holds the
// line, and tells whether it is the board's entry command.
class EntryFrameCollector {
 public:
  explicit EntryFrameCollector(std::uint8_t code) : code_(code) {}
  // Feeds a byte; true when it completed the entry frame. A frame starts
  // only with its length byte 0x0A.
  bool Feed(std::uint8_t byte);
  bool Collecting() const { return !bytes_.empty(); }
  void Reset() { bytes_.clear(); }

 private:
  std::uint8_t code_;
  std::vector<std::uint8_t> bytes_;
};

// Faults apply in the first `sessions` update sessions (-1: in every one).
struct DbFaults {
  int sessions = -1;
  bool noReady = false;    // no 0xCC after entry
  bool lostEcho = false;   // the length's low byte is not echoed
  int nakByte = -1;        // data position answered 0xA4 ...
  int nakTimes = 0;        // ... this many times before 0xAA
  int wrongSumBlock = -1;  // block whose sum is reported one too high
  int silentByte = -1;     // from this data position on, no answer
  int lateByte = -1;       // this data position is answered late
  Duration lateBy = seconds(3);
};

// The DB board's update mode: 0xCC, the length echoed byte by byte, each
// wire byte acknowledged, 0xDD and the block sum after every 128 bytes.
class DbBoard : public BoardMode {
 public:
  struct WireByte {
    std::size_t position;
    std::uint8_t byte;
  };

  void OnEnter(Duration t, HostSink& sink) override;
  void OnHostByte(Duration t, std::uint8_t byte, HostSink& sink) override;
  bool Finished() const override { return state_ == State::kDone; }

  DbFaults faults;
  Duration replyDelay = milliseconds(2);
  Duration readyDelay = milliseconds(200);
  // A transfer that hears nothing from the host for this long is given up;
  // the board then listens for its entry command again.
  Duration sessionTimeout = seconds(30);
  // An entry command that comes after this long a pause restarts the
  // transfer (the host gave up and tries again).
  Duration resumeGap = milliseconds(900);
  // The length handshake is given up sooner: the host sends its three bytes
  // at once.
  Duration handshakeTimeout = milliseconds(1500);

  int Sessions() const { return session_; }
  // The last session received every block and had each one confirmed.
  bool Completed() const { return completed_; }
  std::uint16_t Length() const { return length_; }
  // The decoded image bytes of the confirmed blocks of the last session.
  std::vector<std::uint8_t> Received() const;
  // Every data byte of the last session as it came, repeats included.
  const std::vector<WireByte>& WireBytes() const { return wire_; }
  // The host's answers to the block sums (0xAA or 0x55), all sessions.
  const std::vector<std::uint8_t>& SumAnswers() const { return sumAnswers_; }

 private:
  enum class State { kReady, kLengthLow, kLengthHigh, kData, kSum, kDone, kExpired };
  bool FaultsOn() const { return faults.sessions < 0 || session_ <= faults.sessions; }
  void Start(Duration t, HostSink& sink);
  void OnData(Duration t, std::uint8_t byte, HostSink& sink);

  State state_ = State::kDone;
  EntryFrameCollector entry_{0x17};
  Duration lastByte_{0};
  int session_ = 0;
  bool completed_ = false;
  std::uint16_t length_ = 0;
  std::size_t position_ = 0;  // data position of the next new byte
  int naksLeft_ = 0;
  std::uint8_t blockSum_ = 0;
  std::vector<std::uint8_t> block_;
  std::vector<std::uint8_t> received_;
  std::vector<WireByte> wire_;
  std::vector<std::uint8_t> sumAnswers_;
};

struct HdbtFaults {
  int sessions = -1;
  bool nakCount = false;     // the count answered 0x55
  int nakAddressBlock = -1;  // this block's address answered 0x55
  int wrongSumBlock = -1;    // this block's sum reported one too high
  int silentBlock = -1;      // no 0xDD for this block
  int lateBlock = -1;        // this block's 0xDD comes late
  Duration lateBy = seconds(3);
};

// The HDBaseT board's update mode: block count, then per block the address
// (high byte first), 128 data bytes, 0xDD, the sum and the host's verdict.
class HdbtBoard : public BoardMode {
 public:
  struct Block {
    std::uint16_t address;
    std::array<std::uint8_t, 128> data;
  };

  void OnEnter(Duration t, HostSink& sink) override;
  void OnHostByte(Duration t, std::uint8_t byte, HostSink& sink) override;
  bool Finished() const override { return state_ == State::kDone; }

  HdbtFaults faults;
  Duration replyDelay = milliseconds(2);
  Duration sessionTimeout = seconds(30);
  Duration resumeGap = milliseconds(900);

  int Sessions() const { return session_; }
  bool Completed() const { return completed_; }
  std::uint16_t Count() const { return count_; }
  // Blocks confirmed by the host in the last session, in order.
  const std::vector<Block>& Blocks() const { return blocks_; }
  // The board's 64 KB memory, 0xFF where nothing was written.
  const std::vector<std::uint8_t>& Memory() const { return memory_; }
  // The host's verdicts on the block sums (0xAA or 0xA4), all sessions.
  const std::vector<std::uint8_t>& SumAnswers() const { return sumAnswers_; }

 private:
  enum class State { kCountHigh, kCountLow, kAddrHigh, kAddrLow, kData, kConfirm, kDone, kExpired };
  bool FaultsOn() const { return faults.sessions < 0 || session_ <= faults.sessions; }
  void Start(Duration t);

  State state_ = State::kDone;
  EntryFrameCollector entry_{0x10};
  Duration lastByte_{0};
  int session_ = 0;
  bool completed_ = false;
  std::uint16_t count_ = 0;
  int index_ = 0;  // blocks confirmed in this session
  Block current_{};
  std::size_t filled_ = 0;
  std::vector<Block> blocks_;
  std::vector<std::uint8_t> memory_ = std::vector<std::uint8_t>(0x10000, 0xFF);
  std::vector<std::uint8_t> sumAnswers_;
};

struct BootFaults {
  int badEchoFrom = -1;   // syncs from this one on (0-based) are echoed 0x00 ...
  int badEchoCount = -1;  // ... this many of them (-1: all)
  bool lostEcho = false;  // the bad echoes are missing instead of wrong
  int nakWriteFrom = -1;  // write frames from this one on are refused ...
  int nakWriteCount = 1;  // ... this many of them
  Duration lateBy{0};     // added to every reply
};

// The main board's bootloader at 19200 baud, with a 128 KB flash array:
// the application below 0x1F800, the bootloader's own code above it.
class MainBootloader : public BoardMode {
 public:
  static constexpr std::size_t kFlashSize = 0x20000;
  static constexpr std::size_t kAppEnd = 0x1F800;
  static constexpr std::size_t kPage = 1024;

  struct Frame {
    std::uint8_t command;
    std::uint32_t address;
    int count;  // erase pages or write blocks
    bool ok;
    std::vector<std::uint8_t> data;  // a write frame's data
  };

  MainBootloader();
  void OnEnter(Duration t, HostSink& sink) override;
  void OnHostByte(Duration t, std::uint8_t byte, HostSink& sink) override;
  void OnOpen(Duration t, int baud) override;
  bool Finished() const override { return finished_; }

  BootFaults faults;
  Duration echoDelay = milliseconds(1);
  Duration pageEraseTime = milliseconds(20);
  Duration writeTime = milliseconds(30);

  const std::vector<std::uint8_t>& Flash() const { return flash_; }
  // What the flash held before any update: an older application and the
  // bootloader's own code.
  static std::vector<std::uint8_t> FactoryFlash();
  const std::vector<Frame>& Frames() const { return frames_; }
  int Syncs() const { return syncs_; }
  bool FinishSeen() const { return finishSeen_; }

 private:
  void OnFrame(Duration t, HostSink& sink);
  void Reply(Duration t, const std::vector<std::uint8_t>& bytes, HostSink& sink);

  std::vector<std::uint8_t> flash_;
  std::vector<std::uint8_t> frame_;
  bool escaped_ = false;
  bool badEscape_ = false;
  bool finished_ = true;
  bool finishSeen_ = false;
  int baud_ = 0;
  int syncs_ = 0;
  int writes_ = 0;
  std::vector<Frame> frames_;
};

}  // namespace mc::emu
