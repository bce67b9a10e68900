#include "edid/edid_data.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mc {
namespace {

constexpr std::size_t kExt = 128;  // first byte of the extension block

constexpr const char* kNote =
    "Note:  The EDID checksum returned by this device is incorrect.\r\n"
    "Please review this data carefully before using.\r\n";

// Established timings: bytes 35, 36 and bit 7 of 37, most significant bit first.
constexpr const char* kEstablished[17] = {
    "\t720x400@70 Hz\r\n",  "\t720x400@88 Hz\r\n",  "\t640x480@60 Hz\r\n",  "\t640x480@67 Hz\r\n",
    "\t640x480@72 Hz\r\n",  "\t640x480@75 Hz\r\n",  "\t800x600@56 Hz\r\n",  "\t800x600@60 Hz\r\n",
    "\t800x600@72 Hz\r\n",  "\t800x600@75 Hz\r\n",  "\t832x624@75 Hz\r\n",  "\t1024x768@87 Hz\r\n",
    "\t1024x768@60 Hz\r\n", "\t1024x768@70 Hz\r\n", "\t1024x768@75 Hz\r\n", "\t1280x1024@75 Hz\r\n",
    "\t1152x870@75 Hz\r\n",
};

// Standard timings: V / H by bits 7-6 of the second byte (16:10, 4:3, 5:4, 16:9).
constexpr double kAspect[4] = {0.625, 0.75, 0.8, 0.5625};

// Horizontal blanking widths of the 50 Hz television formats.
constexpr int kBlanking50Hz[] = {144, 288, 384, 576, 700, 720};

// Short audio descriptor format names, by format code 1-14 (11 is plain DTS-HD;
// DTS-HD Master is chosen by the third byte).
constexpr const char* kAudioFormat[15] = {
    nullptr,   "LPCM",  "Dolby Digital", "MPEG1(Layers 1 & 2)", "MP3",    "MPEG2",        "AAC",
    "DTS",     "ATRAC", "One Bit Audio", "Dolby Digital +",     "DTS-HD", "Dolby TrueHD", "DST",
    "WMA Pro",
};

// Video identification codes 1-64 (index 0 unused).
constexpr const char* kVic[65] = {
    nullptr,
    "640x480p@59.94(60)Hz\r\n",          // 1
    "720x480p@59.94(60)Hz\r\n",          // 2
    "720x480p@59.94(60)Hz\r\n",          // 3
    "1280x720p@59.94(60)Hz\r\n",         // 4
    "1920x1080i@59.94(60)Hz\r\n",        // 5
    "720(1440)x480i@59.94(60)Hz\r\n",    // 6
    "720(1440)x480i@59.94(60)Hz\r\n",    // 7
    "720(1440)x240p@59.94(60)Hz\r\n",    // 8
    "720(1440)x240p@59.94(60)Hz\r\n",    // 9
    "2880x480i@59.94(60)Hz\r\n",         // 10
    "2880x480i@59.94(60)Hz\r\n",         // 11
    "2880x240p@59.94(60)Hz\r\n",         // 12
    "2880x240p@59.94(60)Hz\r\n",         // 13
    "1440x480p@59.94(60)Hz\r\n",         // 14
    "1440x480p@59.94(60)Hz\r\n",         // 15
    "1920x1080p@59.94(60)Hz\r\n",        // 16
    "720x576p@50Hz\r\n",                 // 17
    "720x576p@50Hz\r\n",                 // 18
    "1280x720p@50Hz\r\n",                // 19
    "1920x1080i@50Hz\r\n",               // 20
    "720(1440)x576i@50Hz\r\n",           // 21
    "720(1440)x576i@50Hz\r\n",           // 22
    "720(1440)x288p@50Hz\r\n",           // 23
    "720(1440)x288p@50Hz\r\n",           // 24
    "2880x576i@50Hz\r\n",                // 25
    "2880x576i@50Hz\r\n",                // 26
    "2880x288p@50Hz\r\n",                // 27
    "2880x288p@50Hz\r\n",                // 28
    "1440x576p@50Hz\r\n",                // 29
    "1440x576p@50Hz\r\n",                // 30
    "1920x1080p@50Hz\r\n",               // 31
    "1920x1080p@23.97(24)Hz\r\n",        // 32
    "1920x1080p@25Hz\r\n",               // 33
    "1920x1080p@29.97(30)Hz\r\n",        // 34
    "2880x480p@59.94(60)Hz\r\n",         // 35
    "2880x480p@59.94(60)Hz\r\n",         // 36
    "2880x576p@50Hz\r\n",                // 37
    "2880x576p@50Hz\r\n",                // 38
    "1920x1080i@50Hz\r\n",               // 39
    "1920x1080i@100Hz\r\n",              // 40
    "1280x720p@100Hz\r\n",               // 41
    "720x576p@100Hz\r\n",                // 42
    "720x576p@100Hz\r\n",                // 43
    "720(1440)x576i@100Hz\r\n",          // 44
    "720(1440)x576i@100Hz\r\n",          // 45
    "1920x1080i@119.88(120)Hz\r\n",      // 46
    "1280x720p@119.88(120)Hz\r\n",       // 47
    "720x480p@119.88(120)Hz\r\n",        // 48
    "720x480p@119.88(120)Hz\r\n",        // 49
    "720(1440)x480i@119.88(120)Hz\r\n",  // 50
    "720(1440)x480i@119.88(120)Hz\r\n",  // 51
    "720x576p@200Hz\r\n",                // 52
    "720x576p@200Hz\r\n",                // 53
    "720(1440)x576i@200Hz\r\n",          // 54
    "720(1440)x576i@200Hz\r\n",          // 55
    "720x480p@239.76(240)Hz\r\n",        // 56
    "720x480p@239.76(240)Hz\r\n",        // 57
    "720(1440)x480i@239.76(240)Hz\r\n",  // 58
    "720(1440)x480i@239.76(240)Hz\r\n",  // 59
    "1280x720p@23.97(24)Hz\r\n",         // 60
    "1280x720p@25Hz\r\n",                // 61
    "1280x720p@29.97(30)Hz\r\n",         // 62
    "1920x1080p@119.88(120)Hz\r\n",      // 63
    "1920x1080p@100Hz\r\n",              // 64
};

// HDMI VICs 1-4 of the vendor-specific block.
constexpr const char* kHdmiVic[5] = {
    nullptr,
    "4K x 2K@(29.97)30 Hz\r\n",
    "4K x 2K@25 Hz\r\n",
    "4K x 2K@(23.98)24 Hz\r\n",
    "4K x 2K@24 Hz(SMPTE)\r\n",
};

// 3D structures of the low "3D structure all" byte, bits 0-5.
constexpr const char* k3dStructure[6] = {
    "Frame packing\r\n",      "Field alternative\r\n", "Line alternative\r\n",
    "Side-by-Side(Full)\r\n", "L + depth\r\n",         "L + depth + graphics + graphics-depth\r\n",
};

constexpr const char* kDeepColour[4] = {
    "4:4:4 in deep color modes\r\n",      // bit 3
    "10-bit-per-channel deep color\r\n",  // bit 4
    "12-bit-per-channel deep color\r\n",  // bit 5
    "16-bit-per-channel deep color\r\n",  // bit 6
};

void AppendInt(std::string& out, long value) {
  out += std::to_string(value);
}

void AppendHexDigit(std::string& out, unsigned nibble) {
  out += "0123456789ABCDEF"[nibble & 0x0F];
}

// Nearest integer, a value exactly halfway going away from zero (std::round;
// printf's "%.0f" would round 760.5 to the even 760).
long RoundHalfAway(double v) {
  return std::lround(v);
}

}  // namespace

void EdidData::Clear() {
  std::memset(image_, 0, kSize);
}

void EdidData::Load(const std::uint8_t* source, std::size_t count) {
  const std::size_t n = std::min(count, kSize);
  if (n > 0) std::memcpy(image_, source, n);
}

void EdidData::ToText(std::string& report) const {
  // Header 00 FF FF FF FF FF FF 00. The middle bytes have their own
  // lower-case message.
  if (image_[0] != 0x00) {
    report += "error EDID format";
    return;
  }
  for (std::size_t i = 1; i <= 6; ++i) {
    if (image_[i] != 0xFF) {
      report += "error edid format";
      return;
    }
  }
  if (image_[7] != 0x00) {
    report += "error EDID format";
    return;
  }

  // An unprogrammed EEPROM reads as 0xFF; the last two bytes are not looked at.
  if (std::all_of(image_ + 8, image_ + 254, [](std::uint8_t b) { return b == 0xFF; })) {
    report += "EDID is empty!";
    return;
  }

  unsigned sum = 0;
  for (std::size_t i = 0; i < 128; ++i) sum += image_[i];
  bool checksum_ok = (sum & 0xFF) == 0;
  if (checksum_ok && image_[126] == 1) {
    sum = 0;
    for (std::size_t i = kExt; i < kSize; ++i) sum += image_[i];
    checksum_ok = (sum & 0xFF) == 0;
  }
  if (!checksum_ok) report += kNote;

  // Three 5-bit letters, 1 = 'A'; bit 15 is not part of them.
  const unsigned id = image_[8] * 256u + image_[9];
  report += "Manufacturer ID: ";
  report += static_cast<char>(((id >> 10) & 0x1F) + 0x40);
  report += static_cast<char>(((id >> 5) & 0x1F) + 0x40);
  report += static_cast<char>((id & 0x1F) + 0x40);
  report += "\r\n";

  for (std::size_t i = 0; i < 17; ++i) {
    const std::uint8_t byte = image_[35 + i / 8];
    if (byte & (0x80 >> (i % 8))) report += kEstablished[i];
  }

  for (std::size_t i = 38; i < 54; i += 2) {
    const std::uint8_t a = image_[i];
    const std::uint8_t b = image_[i + 1];
    if (a == 0x01) continue;  // unused entry, whatever its second byte
    const int h = a * 8 + 248;
    const double v = h * kAspect[b >> 6];
    report += "Resolution : ";
    AppendInt(report, h);
    report += " x ";
    AppendInt(report, RoundHalfAway(v));
    report += '@';
    AppendInt(report, (b & 0x3F) + 60);
    report += "\r\n";
  }

  for (std::size_t offset = 54; offset < 126;) offset = DecodeDescriptor(report, offset);

  if (image_[126] == 1) DecodeExtension(report);
}

std::size_t EdidData::DecodeDescriptor(std::string& report, std::size_t offset) const {
  if (offset > kSize - 18) return offset + 18;
  const std::uint8_t* d = image_ + offset;

  if (d[0] != 0 || d[1] != 0) {
    const int ha = d[2] + (d[4] >> 4) * 256;
    const int hb = d[3] + (d[4] & 0x0F) * 256;
    const int va = d[5] + (d[7] >> 4) * 256;
    report += "Descriptor Block: ";
    if (d[17] & 0x80) {
      AppendInt(report, 2 * va);
      report += 'i';
    } else {
      AppendInt(report, ha);
      report += 'x';
      AppendInt(report, va);
    }
    // The rate is not computed: the 50 Hz television formats are told apart
    // by their blanking width alone.
    const bool tv50 = std::find(std::begin(kBlanking50Hz), std::end(kBlanking50Hz), hb) !=
                      std::end(kBlanking50Hz);
    report += tv50 ? "@50Hz\r\n" : "@60Hz\r\n";
    return offset + 18;
  }

  switch (d[3]) {
    case 0xFC:  // monitor name, copied with its terminator and padding
      report += "Monitor name : ";
      report.append(reinterpret_cast<const char*>(d + 5), 13);
      report += "\r\n";
      break;
    case 0xFE:  // text
    case 0xFF:  // serial number
      report += "\r\n";
      break;
    default: break;  // range limits and the rest show nothing
  }
  return offset + 18;
}

void EdidData::DecodeExtension(std::string& report) const {
  if (image_[kExt] != 0x02) return;  // only the CEA-861 timing extension
  const std::size_t d = image_[kExt + 2];
  if (d == 0 || d == 255) return;

  std::size_t p = kExt + 4;
  if (d > 4 && d < 124) p = DecodeDataBlocks(report, kExt + 4, d - 4);
  while (p + 18 < kSize) p = DecodeDescriptor(report, p);
  report += "\r\n";
}

std::size_t EdidData::DecodeDataBlocks(std::string& report, std::size_t start,
                                       std::size_t length) const {
  if (start > 255 || length > 255 - start) return kSize;
  const std::size_t end = start + length;

  std::size_t p = start;
  while (p < end) {
    const unsigned tag = image_[p] >> 5;
    const std::size_t len = image_[p] & 0x1F;
    const std::size_t last = p + len;  // index of the block's last byte
    switch (tag) {
      case 1:  // audio
        if (last >= 255) return kSize;
        report += "**********Audio Format Support**********\r\n";
        // Three bytes per descriptor, read on up to the block's last byte
        // even when the length is not a multiple of three.
        for (p = p + 1; p <= last; p += 3) {
          const std::uint8_t s0 = image_[p];
          const unsigned f = (s0 >> 3) & 0x0F;
          const unsigned c = s0 & 0x07;
          if (f == 15) {
            report += "Reserved for audio format 15 ";
            AppendInt(report, c + 1);
            report += " channels  ";
          } else if (f != 0) {
            const char* name = kAudioFormat[f];
            if (f == 11) {
              // The third byte would lie past the image: end the walk here.
              if (p + 2 >= kSize) return kSize;
              if (image_[p + 2] & 0x01) name = "DTS-HD Master";
            }
            report += name;
            report += ' ';
            if (c == 5 || c == 7) {
              AppendInt(report, c);
              report += ".1";
            } else {
              AppendInt(report, c + 1);
            }
            report += " channels ";
          }
          report += "\r\n";
        }
        break;
      case 2:  // video
        if (last >= 255) return kSize;
        report += "**********Video Format Support**********\r\n";
        for (p = p + 1; p <= last; ++p) {
          const unsigned vic = image_[p] & 0x7F;  // bit 7: native format, not shown
          if (vic >= 1 && vic <= 64) report += kVic[vic];
        }
        break;
      case 3:  // vendor-specific, always read as the HDMI block
        if (last >= 255) return kSize;
        if (!DecodeVendorBlock(report, p, len)) return kSize;
        p = last + 1;
        break;
      case 4:  // speaker allocation: one empty line per three bytes
        if (last >= 255) return kSize;
        for (p = p + 1; p < last; p += 3) report += "\r\n";
        break;
      case 0:  // reserved
        if (last >= 255) return kSize;
        p = last + 1;
        break;
      default:  // VESA transfer characteristic, reserved, extended tag
        p = last + 1;
        break;
    }
  }
  return std::min(p, kSize);
}

bool EdidData::DecodeVendorBlock(std::string& report, std::size_t t, std::size_t len) const {
  // Byte k of the block is image byte t + k. The optional fields are found by
  // their flag bits, not by the block length, so each is checked against the
  // end of the image before it is read.
  const auto in_image = [t](std::size_t k) { return t + k < kSize; };

  if (!in_image(5)) return false;
  report += "CEC Physical Address:";
  AppendHexDigit(report, image_[t + 4] >> 4);
  report += '.';
  AppendHexDigit(report, image_[t + 4]);
  report += '.';
  AppendHexDigit(report, image_[t + 5] >> 4);
  report += '.';
  AppendHexDigit(report, image_[t + 5]);
  report += "\r\n";

  if (len < 6) return true;
  if (!in_image(6)) return false;
  for (unsigned bit = 3; bit <= 6; ++bit) {
    if (image_[t + 6] & (1u << bit)) report += kDeepColour[bit - 3];
  }

  if (len < 8) return true;
  if (!in_image(8)) return false;
  const std::uint8_t flags = image_[t + 8];
  std::size_t k = 0;
  if (flags & 0x80) k = 2;           // video and audio latency
  if (flags & 0x40) k += 2;          // interlaced latency
  if (!(flags & 0x20)) return true;  // no HDMI video fields

  if (!in_image(10 + k)) return false;
  const std::size_t n = image_[t + 10 + k] >> 5;
  for (std::size_t i = 0; i < n; ++i) {
    if (!in_image(11 + k + i)) return false;
    const std::uint8_t vic = image_[t + 11 + k + i];
    if (vic >= 1 && vic <= 4) report += kHdmiVic[vic];
  }

  const std::uint8_t video = image_[t + 9 + k];  // in the image: 10 + k was
  if (!(video & 0x80)) return true;              // no 3D
  const unsigned multi = (video >> 5) & 0x03;
  k += n;
  if (multi != 1 && multi != 2) return true;

  report += "3D Support:\r\n";
  if (!in_image(11 + k)) return false;
  if (image_[t + 11 + k] != 0) report += "Side-by-Side(Half) with all sub-sampling\r\n";
  if (!in_image(12 + k)) return false;
  const std::uint8_t structures = image_[t + 12 + k];
  for (unsigned bit = 0; bit < 6; ++bit) {
    if (structures & (1u << bit)) report += k3dStructure[bit];
  }
  return true;
}

}  // namespace mc
