// The byte stream of the DB board's update mode and the block count of the
// HDBaseT board's.
#include "firmware/loaders.h"
#include "link/command_frame.h"

namespace mc {

namespace {

std::uint8_t Swap(std::uint8_t b) {
  return static_cast<std::uint8_t>((b << 4) | (b >> 4));
}

std::uint8_t PositionCode(std::size_t q) {
  return static_cast<std::uint8_t>((q & 0xFF) + ((q >> 8) & 0xFF));
}

// One read of one byte into `held`; a read that returns nothing leaves it
// as it was. True when a byte arrived.
bool ReadInto(LoaderIo& io, std::uint8_t& held) {
  if (auto b = io.ReadByte()) {
    held = *b;
    return true;
  }
  return false;
}

void WriteAsync(LoaderIo& io, std::uint8_t byte) {
  io.port.WriteAsync(&byte, 1);
}

// One wire byte: acknowledged 0xAA, or 0xDD at the end of a block, after
// which the block sums are compared.
bool SendDbByte(LoaderIo& io, std::uint8_t w, std::uint8_t blockSum) {
  std::uint8_t held = 0;
  WriteAsync(io, w);
  io.Sleep(20);
  bool arrived = ReadInto(io, held);  // the last read after a write of w
  for (int check = 0; check < 3; ++check) {
    if (!arrived) {
      io.Sleep(6200);
      ReadInto(io, held);
    }
    if (check < 2 && held == db::kNak) {
      WriteAsync(io, w);
      io.Sleep(20);
      arrived = ReadInto(io, held);
    }
  }
  if (held != kAck && held != db::kBlockDone) return false;
  if (held == db::kBlockDone) {
    io.Sleep(20);
    // A sum that does not arrive does not match.
    const auto boardSum = io.ReadByte();
    const bool match = boardSum == blockSum;
    WriteAsync(io, match ? kAck : db::kSumBad);
    if (!match) return false;
    io.Sleep(50);
    if (io.ReadByte() != kAck) return false;
  }
  return true;
}

}  // namespace

std::uint8_t DbWireByte(std::uint8_t b, std::size_t q) {
  return static_cast<std::uint8_t>(Swap(b) + PositionCode(q));
}

std::uint8_t DbImageByte(std::uint8_t w, std::size_t q) {
  return Swap(static_cast<std::uint8_t>(w - PositionCode(q)));
}

bool SendDbImage(LoaderIo& io, std::span<const std::uint8_t> image, std::uint16_t length) {
  if (length < 256) return false;
  io.Sleep(1500);
  if (io.ReadByte() != db::kReady) return false;

  // The length, each byte echoed, then the board's acknowledge.
  const std::uint8_t handshake[3] = {0x00, static_cast<std::uint8_t>(length & 0xFF),
                                     static_cast<std::uint8_t>(length >> 8)};
  for (std::uint8_t b : handshake) {
    io.Write(b);
    io.Sleep(25);
    if (io.ReadByte() != b) return false;
  }
  io.Sleep(25);
  if (io.ReadByte() != kAck) return false;

  io.report.SetProgressRange(0, length / 64);
  io.report.SetProgressPos(0);
  int remaining = length;
  std::size_t q = 0;
  for (;;) {
    if (io.Aborted()) return false;
    std::uint8_t wire[db::kBlock];
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < db::kBlock; ++i, ++q) {
      const std::uint8_t b = q < length && q < image.size() ? image[q] : std::uint8_t{0xFF};
      wire[i] = DbWireByte(b, q);
      sum = static_cast<std::uint8_t>(sum + wire[i]);
    }
    for (std::uint8_t w : wire) {
      if (!SendDbByte(io, w, sum)) return false;
    }
    remaining -= static_cast<int>(db::kBlock);
    if (remaining <= 0) return true;
    io.report.SetProgressPos((length - remaining) / 64);
  }
}

std::uint32_t HdbtBlockCount(std::int32_t imageLength, std::uint32_t vectorBlockUsed) {
  const std::uint32_t length = imageLength > 0 ? static_cast<std::uint32_t>(imageLength) : 0;
  return length / hdbt::kBlock + (length % hdbt::kBlock ? 1 : 0) + (vectorBlockUsed ? 1 : 0);
}

}  // namespace mc
