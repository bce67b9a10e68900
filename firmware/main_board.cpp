// The main board's serial bootloader: sync byte 0x0F before every command,
// escaped frames with CRC-16/XMODEM, replies counted, never decoded.
#include <algorithm>
#include <array>

#include "firmware/loaders.h"

namespace mc {

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    table[i] = crc;
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = MakeCrcTable();

void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Sync: write 0x0F alone, wait, and expect the echo.
bool Sync(LoaderIo& io, bool purge, int waitMs) {
  if (purge) io.port.PurgeRx();
  io.Write(boot::kSync);
  if (waitMs > 0) io.Sleep(waitMs);
  return io.ReadByte() == boot::kSync;
}

// Writes an escaped frame and reads up to `replyLength` bytes: true when
// exactly that many arrived.
bool SendFrame(LoaderIo& io, const std::vector<std::uint8_t>& frame, int waitMs,
               std::size_t replyLength) {
  const std::vector<std::uint8_t> wire = EscapeFrame(frame);
  io.Write(wire);
  io.Sleep(waitMs);
  std::uint8_t reply[8];
  return io.port.Read(reply, replyLength) == replyLength;
}

}  // namespace

std::optional<std::uint8_t> LoaderIo::ReadByte() {
  std::uint8_t byte = 0;
  if (port.Read(&byte, 1) != 1) return std::nullopt;
  return byte;
}

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0;
  for (std::uint8_t b : bytes) {
    crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ b) & 0xFF]);
  }
  return crc;
}

std::vector<std::uint8_t> EscapeFrame(std::span<const std::uint8_t> frame) {
  std::vector<std::uint8_t> out;
  out.reserve(2 * frame.size() + 1);
  for (std::uint8_t b : frame) {
    if (b == boot::kSync || b == boot::kEtx || b == boot::kDle) out.push_back(boot::kDle);
    out.push_back(b);
  }
  out.push_back(boot::kEtx);
  return out;
}

void AppendCrc(std::vector<std::uint8_t>& frame) {
  const std::uint16_t crc = Crc16(frame);
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

bool EraseFlash(LoaderIo& io) {
  io.port.PurgeRx();
  io.Write(boot::kSync);
  io.Sleep(50);
  (void)io.ReadByte();

  std::int64_t address = boot::kEraseStart;
  do {
    if (!Sync(io, true, 50)) return false;
    const std::int64_t count =
        address + boot::kPage >= 4096 ? 4 : (address + boot::kPage) / boot::kPage;
    std::vector<std::uint8_t> frame{boot::kCmdErase};
    PutLe32(frame, static_cast<std::uint32_t>(address));
    frame.push_back(static_cast<std::uint8_t>(count));
    AppendCrc(frame);
    io.port.PurgeRx();
    if (!SendFrame(io, frame, 200, boot::kEraseReply)) return false;
    address -= count * boot::kPage;
  } while (address > 0);
  return true;
}

bool WriteImage(LoaderIo& io, std::span<const std::uint8_t> image) {
  // The reset vector at address 0 jumps into the bootloader; the image's own
  // first four bytes go to the top of the vector block.
  std::array<std::uint8_t, 4> kept{};
  std::copy_n(image.begin(), std::min<std::size_t>(4, image.size()), kept.begin());
  auto imageByte = [&](std::size_t i) -> std::uint8_t {
    if (i < 4) return boot::kResetVector[i];
    return image[i];
  };

  if (!EraseFlash(io)) return false;
  const std::size_t length = image.size();
  io.report.SetProgressRange(0, static_cast<int>(length / 5));
  io.report.SetProgressPos(0);

  io.Sleep(50);
  io.Write(boot::kSync);
  io.Sleep(200);
  (void)io.ReadByte();

  std::size_t offset = 0;
  std::size_t dataSize = 0;
  do {
    if (io.Aborted()) return false;
    if (!Sync(io, true, 200)) return false;
    const std::size_t left = length - offset;
    const std::size_t blocks = left > boot::kMaxFrameData
                                   ? boot::kMaxBlocks
                                   : left / boot::kBlock + (left % boot::kBlock ? 1 : 0);
    dataSize = blocks * boot::kBlock;
    std::vector<std::uint8_t> frame{boot::kCmdWrite};
    PutLe32(frame, static_cast<std::uint32_t>(offset));
    frame.push_back(static_cast<std::uint8_t>(blocks));
    // Bytes past the end of the image fill the last block with 0xFF.
    for (std::size_t i = 0; i < dataSize; ++i) {
      frame.push_back(offset + i < length ? imageByte(offset + i) : std::uint8_t{0xFF});
    }
    AppendCrc(frame);
    if (io.Aborted()) return false;
    if (!SendFrame(io, frame, 300, boot::kWriteReply)) return false;
    offset += dataSize;
    io.report.SetProgressPos(static_cast<int>(offset / 5));
  } while (dataSize == boot::kMaxFrameData && offset <= length);

  if (!Sync(io, false, 0)) return false;
  std::vector<std::uint8_t> vector{boot::kCmdWrite};
  PutLe32(vector, boot::kVectorAddress);
  vector.push_back(1);
  vector.insert(vector.end(), 60, std::uint8_t{0xFF});
  vector.insert(vector.end(), kept.begin(), kept.end());
  AppendCrc(vector);
  if (!SendFrame(io, vector, 300, boot::kWriteReply)) return false;

  if (!Sync(io, false, 200)) return false;
  io.Write(std::span<const std::uint8_t>(boot::kFinish));
  io.Sleep(1000);
  return true;
}

}  // namespace mc
