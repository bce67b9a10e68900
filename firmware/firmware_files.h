// Firmware files of the three boards: the Load File checks (name, and for
// the HDBaseT board the first bytes and the size), the image read at Start
// and the Intel HEX conversion with its three board variants.
//
// Everything here is a pure function of a path and of the file's bytes; the
// Documents folder and the open-file dialog belong to the dialog.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mc {

enum class Board { kMain, kDb, kHdbt };

// The system's texts about files.
namespace fwtext {
inline constexpr const char* kErrorFormat = "Error Format!";
inline constexpr const char* kFileFormatError = "File fromat error!";
inline constexpr const char* kLoadFileFirst = "Please load file first!";
inline constexpr const char* kConvertFailed = "Fail to convert the input from hex to bin!";
inline constexpr const char* kFileSizeFormat = "%d byte.";
}  // namespace fwtext

// "%d byte." for a file length.
std::string FileSizeText(long long length);

constexpr std::size_t kMaxFirmwarePath = 255;
constexpr std::size_t kHdbtHeadBytes = 100;
constexpr long long kHdbtMaxFileSize = 240000;

// What Load File decides for a chosen file.
struct LoadFileResult {
  bool accepted = false;
  std::string message;   // message box text when refused
  std::string sizeText;  // "%d byte." when accepted
  int pathField = 0;     // hidden field that shows the path
  std::vector<int> enable;
  std::vector<int> disable;
};

// The name test of `board` on the full path (folders included): nullptr
// when it passes, else the text to show.
const char* CheckFirmwareName(Board board, const std::string& path);

// The whole Load File check of a file that opened: `head` is at most its
// first 100 bytes, `length` its size in bytes.
LoadFileResult CheckFirmwareFile(Board board, const std::string& path,
                                 std::span<const std::uint8_t> head, long long length);

// Load File on a path from the file dialog: opens the file to read its head
// and length, then CheckFirmwareFile. A file that cannot be opened is
// refused with "Error Format!".
LoadFileResult LoadFirmwareFile(Board board, const std::string& path);

// The image that a worker thread sends.
struct FirmwareImage {
  std::vector<std::uint8_t> ImageBuffer;  // empty: no image
  std::int32_t ImageLength = 0;
  std::array<std::uint8_t, 128> VectorBlock{};
  std::uint32_t VectorBlockUsed = 0;  // 0 or 128

  bool HasImage() const { return !ImageBuffer.empty(); }
  void Release() {
    ImageBuffer.clear();
    ImageBuffer.shrink_to_fit();
    ImageLength = 0;
  }
  std::span<const std::uint8_t> Bytes() const {
    return {ImageBuffer.data(), static_cast<std::size_t>(ImageLength)};
  }
};

// The HEX conversion variants differ only in which data records they skip
// (main board), drop (DB board) or send to the vector block (HDBaseT).
enum class HexVariant { kMain, kDb, kHdbt };
HexVariant VariantOf(Board board);

constexpr std::uint32_t kVectorBlockOffset = 0xFF80;

// Converts the HEX text in image.ImageBuffer[0, ImageLength) in place.
// Records are whitespace-separated; the type is the character at position 8
// and record checksums are not checked. Fails on a text without an
// end-of-file record, on a malformed field, and on any data byte that would
// land outside the buffer or the vector block.
bool ConvertHexImage(HexVariant variant, FirmwareImage& image);

// Start's first step without the file system: `file` is the whole file.
// Returns false with the status-line text in *message.
bool MakeFirmwareImage(Board board, std::vector<std::uint8_t> file, FirmwareImage& image,
                       std::string* message);

}  // namespace mc
