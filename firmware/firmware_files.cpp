#include "firmware/firmware_files.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>

#include "firmware/firmware_ids.h"

namespace mc {

std::string FileSizeText(long long length) {
  char text[40];
  std::snprintf(text, sizeof text, fwtext::kFileSizeFormat, static_cast<int>(length));
  return text;
}

namespace {

struct NameRule {
  std::vector<const char*> mustContainOneOf;
  std::vector<const char*> mustNotContain;
  int pathField;
  std::vector<int> enable;
  std::vector<int> disable;
};

const NameRule& RuleOf(Board board) {
  static const NameRule kMain{{"8x8"},
                              {"bin", "BIN"},
                              fwid::kMainPath,
                              {fwid::kBreak, fwid::kMainStart},
                              {fwid::kHdbtStart, fwid::kDbStart}};
  static const NameRule kDb{{"-DB.8x8", "-470-TX-GRDX_"},
                            {"hex", "HEX"},
                            fwid::kDbPath,
                            {fwid::kDbStart},
                            {fwid::kBreak, fwid::kHdbtStart, fwid::kMainStart}};
  static const NameRule kHdbt{{"_Tavlen_HDBaseT_470_Source", "-470-TX-GRDX_"},
                              {"bin", "BIN"},
                              fwid::kHdbtPath,
                              {fwid::kHdbtStart},
                              {fwid::kBreak, fwid::kMainStart, fwid::kDbStart}};
  switch (board) {
    case Board::kMain: return kMain;
    case Board::kDb: return kDb;
    case Board::kHdbt: return kHdbt;
  }
  return kMain;
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

}  // namespace

const char* CheckFirmwareName(Board board, const std::string& path) {
  const NameRule& rule = RuleOf(board);
  // FirmwarePath holds at most 255 characters; a longer path is refused
  // rather than cut.
  if (path.empty() || path.size() > kMaxFirmwarePath) return fwtext::kErrorFormat;
  const bool named = std::any_of(rule.mustContainOneOf.begin(), rule.mustContainOneOf.end(),
                                 [&](const char* p) { return Contains(path, p); });
  if (!named) return fwtext::kErrorFormat;
  for (const char* p : rule.mustNotContain) {
    if (Contains(path, p)) return fwtext::kErrorFormat;
  }
  return nullptr;
}

LoadFileResult CheckFirmwareFile(Board board, const std::string& path,
                                 std::span<const std::uint8_t> head, long long length) {
  LoadFileResult result;
  if (const char* error = CheckFirmwareName(board, path)) {
    result.message = error;
    return result;
  }
  if (board == Board::kHdbt) {
    const std::string_view text(reinterpret_cast<const char*>(head.data()),
                                std::min(head.size(), kHdbtHeadBytes));
    if (Contains(text, ".bin") || Contains(text, ".BIN") || length > kHdbtMaxFileSize) {
      result.message = fwtext::kFileFormatError;
      return result;
    }
  }
  const NameRule& rule = RuleOf(board);
  result.accepted = true;
  result.sizeText = FileSizeText(length);
  result.pathField = rule.pathField;
  result.enable = rule.enable;
  result.disable = rule.disable;
  return result;
}

LoadFileResult LoadFirmwareFile(Board board, const std::string& path) {
  if (const char* error = CheckFirmwareName(board, path)) {
    LoadFileResult refused;
    refused.message = error;
    return refused;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    LoadFileResult refused;
    refused.message = fwtext::kErrorFormat;
    return refused;
  }
  std::vector<std::uint8_t> head(kHdbtHeadBytes);
  file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(file.gcount()));
  file.clear();
  file.seekg(0, std::ios::end);
  const long long length = static_cast<long long>(file.tellg());
  return CheckFirmwareFile(board, path, head, length);
}

HexVariant VariantOf(Board board) {
  switch (board) {
    case Board::kMain: return HexVariant::kMain;
    case Board::kDb: return HexVariant::kDb;
    case Board::kHdbt: return HexVariant::kHdbt;
  }
  return HexVariant::kMain;
}

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The value of `digits` hex digits from position `at` of a record.
std::optional<std::uint32_t> HexField(std::string_view record, std::size_t at, std::size_t digits) {
  if (at + digits > record.size()) return std::nullopt;
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const int d = HexDigit(record[at + i]);
    if (d < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(d);
  }
  return value;
}

// What happens to the data of one record.
enum class Target { kImage, kSkip, kVector };

Target TargetOf(HexVariant variant, std::uint64_t base, std::uint32_t offset) {
  switch (variant) {
    case HexVariant::kMain: return offset >= 0xFFF8 ? Target::kSkip : Target::kImage;
    case HexVariant::kDb: return offset > 0xEFFF && base != 0 ? Target::kSkip : Target::kImage;
    case HexVariant::kHdbt: return offset > 0xEFFF && base != 0 ? Target::kVector : Target::kImage;
  }
  return Target::kImage;
}

}  // namespace

bool ConvertHexImage(HexVariant variant, FirmwareImage& image) {
  const std::size_t capacity = image.ImageBuffer.size();
  const std::size_t textLength =
      std::min(capacity, static_cast<std::size_t>(std::max<std::int32_t>(image.ImageLength, 0)));
  // The text ends at its first zero byte, as a C string would.
  std::string text(image.ImageBuffer.begin(),
                   image.ImageBuffer.begin() + static_cast<std::ptrdiff_t>(textLength));
  text.resize(std::min(text.size(), text.find('\0')));

  std::fill(image.ImageBuffer.begin(), image.ImageBuffer.end(), std::uint8_t{0});
  image.ImageLength = 0;
  std::uint64_t base = 0;
  if (variant == HexVariant::kHdbt) {
    image.VectorBlock.fill(0xFF);
    image.VectorBlockUsed = 0;
  }

  std::size_t pos = 0;
  for (;;) {
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    if (pos >= text.size()) return false;  // no end-of-file record
    const std::size_t start = pos;
    while (pos < text.size() && !IsSpace(text[pos])) ++pos;
    const std::string_view record(text.data() + start, pos - start);
    if (record.size() < 9) continue;  // no type character: not a record

    switch (record[8]) {
      case '0': {
        const auto count = HexField(record, 1, 2);
        const auto offset = HexField(record, 3, 4);
        if (!count || !offset) return false;
        const Target target = TargetOf(variant, base, *offset);
        if (target == Target::kSkip) break;
        // The data pairs lie between the type and the checksum.
        if (record.size() < 9 + 2 * std::size_t{*count} + 2) return false;
        std::vector<std::uint8_t> data(*count);
        for (std::uint32_t i = 0; i < *count; ++i) {
          const auto byte = HexField(record, 9 + 2 * i, 2);
          if (!byte) return false;
          data[i] = static_cast<std::uint8_t>(*byte);
        }
        if (target == Target::kVector) {
          // Only the top 128 bytes of the segment have a place in the block.
          if (*offset < kVectorBlockOffset || *offset + *count > 0x10000) return false;
          std::copy(data.begin(), data.end(),
                    image.VectorBlock.begin() + (*offset - kVectorBlockOffset));
          image.VectorBlockUsed = 128;
          break;
        }
        const std::uint64_t at = base + *offset;
        if (at + *count > capacity) return false;
        std::copy(data.begin(), data.end(),
                  image.ImageBuffer.begin() + static_cast<std::ptrdiff_t>(at));
        if (at + *count > static_cast<std::uint64_t>(image.ImageLength)) {
          image.ImageLength = static_cast<std::int32_t>(at + *count);
        }
        break;
      }
      case '4': {
        const auto value = HexField(record, 9, 4);
        if (!value) return false;
        base = std::uint64_t{*value} * 65536;
        break;
      }
      case '2': {
        const auto value = HexField(record, 9, 4);
        if (!value) return false;
        base = std::uint64_t{*value} * 16;
        break;
      }
      case '1': return true;
      default: break;
    }
  }
}

bool MakeFirmwareImage(Board board, std::vector<std::uint8_t> file, FirmwareImage& image,
                       std::string* message) {
  image.Release();
  // A file of 256 bytes or less gives no image; nothing may be sent for it.
  if (file.size() <= 256 || file.size() > 0x7FFFFFFF) {
    if (message) *message = fwtext::kConvertFailed;
    return false;
  }
  image.ImageLength = static_cast<std::int32_t>(file.size());
  image.ImageBuffer = std::move(file);
  const bool hex = board == Board::kHdbt || image.ImageBuffer[0] == ':';
  // A conversion that yields no byte leaves nothing to send either.
  if (hex && (!ConvertHexImage(VariantOf(board), image) || image.ImageLength == 0)) {
    image.Release();
    if (message) *message = fwtext::kConvertFailed;
    return false;
  }
  if (message) message->clear();
  return true;
}

}  // namespace mc
