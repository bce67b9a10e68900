// The three board loaders: the main board through its serial bootloader,
// the DB and HDBaseT boards through the switcher's update modes.
//
// A loader runs on the firmware dialog's worker thread. It talks to the
// board through the dialog's SerialPort, sleeps through the injected Clock,
// polls the dialog's AbortFlag and reports through LoaderReport, which the
// dialog implements by posting to its own thread (and matrixctl by drawing
// on the terminal).
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "firmware/firmware_files.h"
#include "firmware/firmware_ids.h"
#include "link/clock.h"
#include "link/serial_port.h"

namespace mc {

// What a loader shows of its work.
class LoaderReport {
 public:
  virtual ~LoaderReport() = default;
  // Text of a status line (1091-1093) or of the file-size field (1090).
  virtual void SetItemText(int id, const std::string& text) = 0;
  virtual void EnableItem(int id, bool enable) = 0;
  virtual void SetProgressRange(int low, int high) = 0;
  virtual void SetProgressPos(int pos) = 0;
  // true: the wait cursor; false: the arrow.
  virtual void SetWaitCursor(bool wait) = 0;
  // A message box with an empty caption and an OK button.
  virtual void ShowMessage(const std::string& text) = 0;
};

// The loaders' texts.
namespace fwtext {
inline constexpr const char* kPowerCycle = "Power Cycle the Matrix and then Press Start.";
inline constexpr const char* kPortOccupied = "COM port is occupied!";
inline constexpr const char* kOpenFailed = "Fail to open COM port!";
inline constexpr const char* kConnected = "COM port Connected!";
inline constexpr const char* kWritingMain = "Writing...!";
inline constexpr const char* kWriting = "Writing ... !";
inline constexpr const char* kComplete = "Complete!";
inline constexpr const char* kWriteFailed = "Fail to write flash!";
inline constexpr const char* kDbFailed = "Failed to Write Flash.";
// The dash is 0xA1 0x56, an en dash in code page 950.
inline constexpr const char* kDbRetrying = "Failed to Write Flash \xA1\x56 Trying again.";
// An image that the board's 16-bit length or address cannot describe.
inline constexpr const char* kImageTooLarge = "File is too large for this board!";
}  // namespace fwtext

// The port, clock, report and abort flag of one running loader.
struct LoaderIo {
  SerialPort& port;
  Clock& clock;
  LoaderReport& report;
  const std::atomic<std::uint8_t>& abort;

  bool Aborted() const { return abort.load() != 0; }
  void Sleep(int ms) { clock.Sleep(milliseconds(ms)); }
  void Write(std::uint8_t byte) { port.Write(byte); }
  void Write(std::span<const std::uint8_t> bytes) { port.Write(bytes.data(), bytes.size()); }
  // One read of one byte: the byte, or nothing within the read timeout.
  std::optional<std::uint8_t> ReadByte();
};

// ---- Main board ------------------------------------------------------------

namespace boot {
constexpr std::uint8_t kSync = 0x0F;
constexpr std::uint8_t kEtx = 0x04;
constexpr std::uint8_t kDle = 0x05;
constexpr std::uint8_t kCmdErase = 0x03;
constexpr std::uint8_t kCmdWrite = 0x04;
constexpr std::uint8_t kCmdFinish = 0x09;
constexpr int kBaud = 19200;
constexpr std::size_t kBlock = 64;
constexpr std::size_t kMaxBlocks = 57;
constexpr std::size_t kMaxFrameData = kBlock * kMaxBlocks;  // 3648
constexpr std::int64_t kEraseStart = 0x1F400;
constexpr std::int64_t kPage = 1024;
constexpr std::uint32_t kVectorAddress = 0x1F7C0;
constexpr std::uint8_t kResetVector[4] = {0x01, 0xEF, 0xFC, 0xF0};
constexpr std::uint8_t kFinish[4] = {0x09, 0x29, 0x91, 0x04};
constexpr std::size_t kEraseReply = 4;
constexpr std::size_t kWriteReply = 5;
}  // namespace boot

// CRC-16/XMODEM (polynomial 0x1021, initial 0, MSB first), table driven.
std::uint16_t Crc16(std::span<const std::uint8_t> bytes);
// A DLE (0x05) before every 0x0F, 0x04 and 0x05, then ETX (0x04).
std::vector<std::uint8_t> EscapeFrame(std::span<const std::uint8_t> frame);
// Appends the CRC of `frame` (low byte first).
void AppendCrc(std::vector<std::uint8_t>& frame);

// The erase sequence: 32 frames from 0x1F400 downwards.
bool EraseFlash(LoaderIo& io);
// One attempt: erase, write the image with bytes 0-3 relocated to the
// vector block at 0x1F7C0, finish. `image` is the image as loaded; it is
// not changed, so every attempt relocates the same four bytes.
bool WriteImage(LoaderIo& io, std::span<const std::uint8_t> image);

// ---- DB board --------------------------------------------------------------

namespace db {
constexpr std::uint8_t kReady = 0xCC;
constexpr std::uint8_t kNak = 0xA4;
constexpr std::uint8_t kBlockDone = 0xDD;
constexpr std::uint8_t kSumBad = 0x55;
constexpr std::size_t kBlock = 128;
}  // namespace db

// The wire byte of image byte b at image position q.
std::uint8_t DbWireByte(std::uint8_t b, std::size_t q);
// The image byte that wire byte w at position q stands for.
std::uint8_t DbImageByte(std::uint8_t w, std::size_t q);

// The byte stream after the switcher entered DB update mode. Bytes beyond
// `length` in the last block are sent as 0xFF.
bool SendDbImage(LoaderIo& io, std::span<const std::uint8_t> image, std::uint16_t length);

// ---- HDBaseT board ---------------------------------------------------------

namespace hdbt {
constexpr std::uint8_t kBlockDone = 0xDD;
constexpr std::uint8_t kSumBad = 0xA4;
constexpr std::size_t kBlock = 128;
constexpr std::uint16_t kVectorAddress = 0xFF80;
}  // namespace hdbt

// Number of blocks the HDBaseT board is told: full and partial image
// blocks, plus the vector block when it holds data.
std::uint32_t HdbtBlockCount(std::int32_t imageLength, std::uint32_t vectorBlockUsed);

// ---- The worker threads ----------------------------------------------------

// The firmware dialog's state that the worker threads use, with their
// bodies. The dialog owns one; its Start buttons set BusyFlag and run a
// thread body on a worker thread.
class FirmwareLoader {
 public:
  FirmwareLoader(SerialPort& port, Clock& clock, LoaderReport& report)
      : port_(port), clock_(clock), report_(report) {}

  int ComPortNumber = 0;
  std::string FirmwarePath;
  FirmwareImage Image;
  std::atomic<std::uint8_t> AbortFlag{0};
  std::atomic<std::uint8_t> BusyFlag{0};

  // Reads FirmwarePath into Image (converting HEX); reports on the board's
  // status line. True when Image holds an image to send.
  bool ReadFirmwareImage(Board board);

  // The Break button: the port at 19200 baud with the line held in break.
  // False (after "COM port is occupied!") when the port does not open.
  bool Break();

  void MainBoardThread();
  void DbBoardThread();
  void HdbtBoardThread();

  SerialPort& port() { return port_; }

 private:
  LoaderIo Io() { return LoaderIo{port_, clock_, report_, AbortFlag}; }
  void Status(int id, const std::string& text) { report_.SetItemText(id, text); }
  bool DbEnter(LoaderIo& io);

  SerialPort& port_;
  Clock& clock_;
  LoaderReport& report_;
};

// The status line of a board.
int StatusLineOf(Board board);

}  // namespace mc
