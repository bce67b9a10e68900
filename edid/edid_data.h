// One 256-byte EDID image (base block and first extension block) and the
// plain-text report the EDID dialog shows for it.
//
// The report is an 8-bit byte string with CR LF line ends. The generator only
// appends to the string it is given (Read All keeps a running report), never
// throws and never reads outside the 256 bytes: problems with the data show up
// as text in the report, or as a report that stops early.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace mc {

class EdidData {
 public:
  static constexpr std::size_t kSize = 256;

  EdidData() { Clear(); }

  // All 256 bytes zero.
  void Clear();

  // Copies `count` bytes from `source` into the image from byte 0; the bytes
  // from `count` on keep their value. At most 256 bytes are taken.
  void Load(const std::uint8_t* source, std::size_t count);

  // Appends the report of the whole image.
  void ToText(std::string& report) const;

  // Appends the text of the 18-byte descriptor at image byte `offset` and
  // returns offset + 18. A descriptor that would not fit in the image adds
  // nothing.
  std::size_t DecodeDescriptor(std::string& report, std::size_t offset) const;

  // Appends the CEA-861 extension section (image bytes 128-255).
  void DecodeExtension(std::string& report) const;

  // Appends the text of the data blocks from image byte `start`, `length`
  // bytes of collection, and returns the index after the last block, or 256
  // when a block or a field it points at runs past the end of the image.
  std::size_t DecodeDataBlocks(std::string& report, std::size_t start, std::size_t length) const;

  std::span<const std::uint8_t, kSize> image() const {
    return std::span<const std::uint8_t, kSize>(image_);
  }

 private:
  // Decodes the vendor-specific block whose header is at `t` with payload
  // length `len`; false when a field it needs lies past the image.
  bool DecodeVendorBlock(std::string& report, std::size_t t, std::size_t len) const;

  // A plain array, so that an index past the image is caught by the bounds
  // sanitizer rather than read from a neighbouring member.
  std::uint8_t image_[kSize];
};

}  // namespace mc
