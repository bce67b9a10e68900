// Builds EDID images in code for the report tests: a valid header, the
// manufacturer SAM, unused standard timings and empty descriptors, so the base
// block alone reports "Manufacturer ID: SAM\r\n"; checksums are made right
// unless a test asks otherwise.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "edid/edid_data.h"

namespace mc::test {

inline const std::string kBaseText = "Manufacturer ID: SAM\r\n";
inline const std::string kNoteText =
    "Note:  The EDID checksum returned by this device is incorrect.\r\n"
    "Please review this data carefully before using.\r\n";

// An 18-byte detailed timing descriptor with a non-zero pixel clock.
inline std::array<std::uint8_t, 18> Dtd(int ha, int hb, int va, bool interlaced = false) {
  std::array<std::uint8_t, 18> d{};
  d[0] = 0x1D;
  d[1] = 0x01;
  d[2] = static_cast<std::uint8_t>(ha & 0xFF);
  d[3] = static_cast<std::uint8_t>(hb & 0xFF);
  d[4] = static_cast<std::uint8_t>(((ha >> 8) << 4) | (hb >> 8));
  d[5] = static_cast<std::uint8_t>(va & 0xFF);
  d[6] = 0x2D;
  d[7] = static_cast<std::uint8_t>((va >> 8) << 4);
  d[17] = interlaced ? 0x9E : 0x1E;
  return d;
}

// A display descriptor: zero clock, tag, then 13 bytes of payload.
inline std::array<std::uint8_t, 18> Display(int tag, std::initializer_list<int> payload = {}) {
  std::array<std::uint8_t, 18> d{};
  d[3] = static_cast<std::uint8_t>(tag);
  std::size_t i = 5;
  for (int v : payload) d[i++] = static_cast<std::uint8_t>(v);
  return d;
}

class TestImage {
 public:
  TestImage() {
    Set(0, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x4C, 0x2D});
    for (std::size_t i = 38; i < 54; ++i) b_[i] = 0x01;
  }

  TestImage& Set(std::size_t at, std::initializer_list<int> bytes) {
    for (int v : bytes) b_[at++] = static_cast<std::uint8_t>(v);
    return *this;
  }

  template <std::size_t N>
  TestImage& Set(std::size_t at, const std::array<std::uint8_t, N>& bytes) {
    for (std::uint8_t v : bytes) b_[at++] = v;
    return *this;
  }

  // A CEA-861 extension with DTD offset `d`; blocks are then added from byte 132.
  TestImage& Cta(int d) {
    b_[126] = 1;
    b_[128] = 0x02;
    b_[130] = static_cast<std::uint8_t>(d);
    pos_ = 132;
    return *this;
  }

  template <std::size_t N>
  TestImage& Block(const std::array<std::uint8_t, N>& bytes) {
    Set(pos_, bytes);
    pos_ += N;
    return *this;
  }

  TestImage& Block(std::initializer_list<int> bytes) {
    Set(pos_, bytes);
    pos_ += bytes.size();
    return *this;
  }

  // Fills up to image byte `to` (exclusive) with blocks of tag 5, which the
  // report skips without text.
  TestImage& PadTo(std::size_t to) {
    while (pos_ < to) {
      const std::size_t n = std::min<std::size_t>(to - pos_, 32);
      b_[pos_] = static_cast<std::uint8_t>(0xA0 | (n - 1));
      for (std::size_t i = 1; i < n; ++i) b_[pos_ + i] = 0;
      pos_ += n;
    }
    return *this;
  }

  // Byte 255 is data in this image: leave it, so the extension sum is wrong.
  TestImage& Keep255() {
    keep255_ = true;
    return *this;
  }

  // Bytes 127 and 255 as set: no checksum fixed at all.
  TestImage& NoSums() {
    no_sums_ = true;
    return *this;
  }

  TestImage& BreakBaseSum() {
    base_sum_delta_ = 1;
    return *this;
  }
  TestImage& BreakExtSum() {
    ext_sum_delta_ = 1;
    return *this;
  }

  std::array<std::uint8_t, 256> Bytes() const {
    auto b = b_;
    if (no_sums_) return b;
    unsigned sum = 0;
    for (std::size_t i = 0; i < 127; ++i) sum += b[i];
    b[127] = static_cast<std::uint8_t>(0x100 - (sum & 0xFF) + base_sum_delta_);
    if (!keep255_) {
      sum = 0;
      for (std::size_t i = 128; i < 255; ++i) sum += b[i];
      b[255] = static_cast<std::uint8_t>(0x100 - (sum & 0xFF) + ext_sum_delta_);
    }
    return b;
  }

  EdidData Edid() const {
    EdidData e;
    const auto b = Bytes();
    e.Load(b.data(), b.size());
    return e;
  }

  std::string Report() const {
    std::string r;
    Edid().ToText(r);
    return r;
  }

  // The report after the base block's text (and the checksum note, if any).
  std::string Tail() const {
    const std::string r = Report();
    const std::size_t at = r.find(kBaseText);
    if (at == std::string::npos) return "<no base text> " + r;
    return r.substr(at + kBaseText.size());
  }

 private:
  std::array<std::uint8_t, 256> b_{};
  std::size_t pos_ = 132;
  bool keep255_ = false;
  bool no_sums_ = false;
  int base_sum_delta_ = 0;
  int ext_sum_delta_ = 0;
};

}  // namespace mc::test
