// The bodies of the three worker threads and the Break button.
#include <fstream>
#include <iterator>

#include "firmware/loaders.h"
#include "link/command_frame.h"

namespace mc {

int StatusLineOf(Board board) {
  switch (board) {
    case Board::kMain: return fwid::kMainStatus;
    case Board::kDb: return fwid::kDbStatus;
    case Board::kHdbt: return fwid::kHdbtStatus;
  }
  return fwid::kMainStatus;
}

bool FirmwareLoader::ReadFirmwareImage(Board board) {
  const int status = StatusLineOf(board);
  std::ifstream file(FirmwarePath, std::ios::binary);
  if (FirmwarePath.empty() || !file) {
    Status(status, fwtext::kLoadFileFirst);
    return false;
  }
  Image.Release();
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
  file.close();
  report_.SetItemText(fwid::kFileSize, FileSizeText(static_cast<long long>(bytes.size())));
  std::string message;
  if (!MakeFirmwareImage(board, std::move(bytes), Image, &message)) {
    Status(status, message);
    return false;
  }
  return true;
}

bool FirmwareLoader::Break() {
  if (port_.IsOpen()) port_.Close();
  if (!port_.Open(ComPortNumber, boot::kBaud)) {
    report_.ShowMessage(fwtext::kPortOccupied);
    return false;
  }
  port_.SetRts();
  port_.ClrDtr();
  port_.FlushBuffers();
  // The break stays on until the port is closed: the board, powered up
  // meanwhile, then starts in its bootloader.
  port_.SetBreak();
  Status(fwid::kMainStatus, fwtext::kPowerCycle);
  report_.EnableItem(fwid::kBreak, false);
  report_.EnableItem(fwid::kMainStart, true);
  report_.SetProgressRange(0, 10);
  report_.SetProgressPos(0);
  return true;
}

void FirmwareLoader::MainBoardThread() {
  report_.EnableItem(fwid::kMainStart, false);
  if (!ReadFirmwareImage(Board::kMain)) {
    report_.EnableItem(fwid::kMainStart, true);
    BusyFlag = 0;
    return;
  }
  if (port_.IsOpen()) port_.Close();
  if (!port_.Open(ComPortNumber, boot::kBaud)) {
    Status(fwid::kMainStatus, fwtext::kOpenFailed);
    port_.Close();
    report_.EnableItem(fwid::kMainStart, true);
    BusyFlag = 0;
    return;
  }
  Status(fwid::kMainStatus, fwtext::kConnected);
  report_.SetWaitCursor(true);
  Status(fwid::kMainStatus, fwtext::kWritingMain);

  LoaderIo io = Io();
  bool written = false;
  for (int attempt = 0; attempt < 6 && !written; ++attempt) {
    if (AbortFlag) break;
    written = WriteImage(io, Image.Bytes());
  }
  if (written && !AbortFlag) {
    Status(fwid::kMainStatus, fwtext::kComplete);
    report_.SetWaitCursor(false);
    port_.Close();
    BusyFlag = 0;
    report_.EnableItem(fwid::kBreak, true);
    report_.EnableItem(fwid::kMainStart, false);
    return;
  }
  report_.SetWaitCursor(false);
  Status(fwid::kMainStatus, fwtext::kWriteFailed);
  port_.Close();
  report_.EnableItem(fwid::kMainStart, true);
  BusyFlag = 0;
}

bool FirmwareLoader::DbEnter(LoaderIo& io) {
  const CommandFrame entry(kCmdDbUpdate, {}, kHeaderAlt);
  io.Write(entry.bytes());
  io.Sleep(6000);
  if (io.ReadByte() == kAck) return true;
  io.Sleep(500);
  io.Write(entry.bytes());
  io.Sleep(30);
  return io.ReadByte() == kAck;
}

void FirmwareLoader::DbBoardThread() {
  if (!ReadFirmwareImage(Board::kDb)) {
    BusyFlag = 0;
    return;
  }
  // The transfer length is 16 bits: a longer image cannot be described.
  if (Image.ImageLength >= 65536) {
    Status(fwid::kDbStatus, fwtext::kImageTooLarge);
    BusyFlag = 0;
    return;
  }
  if (port_.IsOpen()) port_.Close();
  Status(fwid::kDbStatus, "");
  if (!port_.Open(ComPortNumber, 9600)) {
    Status(fwid::kDbStatus, fwtext::kOpenFailed);
    BusyFlag = 0;
    return;
  }
  LoaderIo io = Io();
  auto fail = [&](bool cursorShown) {
    if (cursorShown) report_.SetWaitCursor(false);
    Status(fwid::kDbStatus, fwtext::kDbFailed);
    port_.Close();
    BusyFlag = 0;
  };
  if (!DbEnter(io)) return fail(false);
  Status(fwid::kDbStatus, fwtext::kConnected);
  report_.SetWaitCursor(true);
  Status(fwid::kDbStatus, fwtext::kWriting);

  const auto length = static_cast<std::uint16_t>(Image.ImageLength);
  if (!SendDbImage(io, Image.Bytes(), length)) {
    Status(fwid::kDbStatus, fwtext::kDbRetrying);
    io.Sleep(1000);
    if (!DbEnter(io)) return fail(true);
    if (!SendDbImage(io, Image.Bytes(), length)) return fail(true);
  }
  if (AbortFlag) {
    report_.SetWaitCursor(false);
    Status(fwid::kDbStatus, fwtext::kWriteFailed);
  } else {
    Status(fwid::kDbStatus, fwtext::kComplete);
    report_.SetWaitCursor(false);
  }
  port_.Close();
  BusyFlag = 0;
}

namespace {

// Read with retries (k): one read, then up to k more, 500 ms apart, while
// nothing arrives.
std::optional<std::uint8_t> ReadWithRetries(LoaderIo& io, int k) {
  auto b = io.ReadByte();
  for (int retry = 0; !b && retry < k; ++retry) {
    io.Sleep(500);
    b = io.ReadByte();
  }
  return b;
}

// One read; if it is not `want`, a read with retries (10).
bool Expect(LoaderIo& io, std::uint8_t want) {
  if (io.ReadByte() == want) return true;
  return ReadWithRetries(io, 10) == want;
}

// Data, 0xDD, the board's sum and the host's confirmation of one block
// whose address has been accepted. Image blocks allow the board time (read
// retries, 30 ms pauses); the vector block gets one read for each answer.
bool SendHdbtBlock(LoaderIo& io, std::span<const std::uint8_t> block, bool imageBlock) {
  const std::uint8_t sum = Sum8(block);
  io.Write(block);
  if (imageBlock ? !Expect(io, hdbt::kBlockDone) : io.ReadByte() != hdbt::kBlockDone) {
    return false;
  }
  if (imageBlock) io.Sleep(30);
  // A sum that does not arrive does not match either.
  if (io.ReadByte() != sum) {
    io.Write(hdbt::kSumBad);
    return false;
  }
  io.Write(kAck);
  if (imageBlock) io.Sleep(30);
  return io.ReadByte() == kAck;
}

void WriteAddress(LoaderIo& io, std::uint32_t offset) {
  const std::uint8_t address[2] = {static_cast<std::uint8_t>(offset >> 8),
                                   static_cast<std::uint8_t>(offset)};
  io.Write(address);
}

}  // namespace

void FirmwareLoader::HdbtBoardThread() {
  if (!ReadFirmwareImage(Board::kHdbt)) {
    BusyFlag = 0;
    return;
  }
  // Block addresses are 16 bits: a longer image would wrap onto itself.
  if (Image.ImageLength > 65535) {
    Status(fwid::kHdbtStatus, fwtext::kImageTooLarge);
    BusyFlag = 0;
    return;
  }
  report_.SetWaitCursor(true);
  Status(fwid::kHdbtStatus, fwtext::kWriting);
  if (port_.IsOpen()) port_.Close();
  port_.Open(ComPortNumber, 9600);  // a port that did not open shows as no reply

  LoaderIo io = Io();
  const auto length = static_cast<std::size_t>(Image.ImageLength);
  // Block `offset` of the image; past the end of the image, 0xFF.
  auto block = [&](std::size_t offset) {
    std::vector<std::uint8_t> data(hdbt::kBlock, 0xFF);
    for (std::size_t i = 0; i < hdbt::kBlock && offset + i < length; ++i) {
      data[i] = Image.ImageBuffer[offset + i];
    }
    return data;
  };
  auto run = [&]() -> bool {
    const CommandFrame entry(kCmdHdbtUpdate, {}, kHeaderAlt);
    io.Write(entry.bytes());
    if (ReadWithRetries(io, 5) != kAck) return false;

    const std::uint32_t total = HdbtBlockCount(Image.ImageLength, Image.VectorBlockUsed);
    report_.SetProgressRange(0, static_cast<int>(total));
    report_.SetProgressPos(0);
    WriteAddress(io, total);
    io.Sleep(10);
    if (io.ReadByte() != kAck) return false;

    std::uint32_t remaining = total - (Image.VectorBlockUsed ? 1 : 0);
    std::size_t offset = 0;
    while (remaining > 0) {
      io.Sleep(50);
      WriteAddress(io, static_cast<std::uint32_t>(offset));
      if (!Expect(io, kAck)) return false;
      if (!SendHdbtBlock(io, block(offset), true)) return false;
      offset += hdbt::kBlock;
      --remaining;
      if (length % hdbt::kBlock != 0 && remaining == 1) {
        // The last, partial block follows at once, filled with 0xFF.
        WriteAddress(io, static_cast<std::uint32_t>(offset));
        if (io.ReadByte() != kAck) return false;
        if (!SendHdbtBlock(io, block(offset), true)) return false;
        --remaining;
      }
      report_.SetProgressPos(static_cast<int>(total - remaining));
      if (AbortFlag) return false;
    }
    if (Image.VectorBlockUsed) {
      WriteAddress(io, hdbt::kVectorAddress);
      if (io.ReadByte() != kAck) return false;
      if (!SendHdbtBlock(io, Image.VectorBlock, false)) return false;
      report_.SetProgressPos(static_cast<int>(total));
    }
    return true;
  };
  if (!run()) {
    // The port stays open; the dialog closes it when it closes.
    report_.SetWaitCursor(false);
    Status(fwid::kHdbtStatus, fwtext::kWriteFailed);
    BusyFlag = 0;
    return;
  }
  port_.Close();
  Status(fwid::kHdbtStatus, fwtext::kComplete);
  report_.SetWaitCursor(false);
  BusyFlag = 0;
}

}  // namespace mc
