// The Intel HEX conversion of all three board variants on arbitrary text.
// Every store must stay inside the image buffer or the vector block, and a
// successful conversion's length must fit the buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "firmware/firmware_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (mc::HexVariant variant :
       {mc::HexVariant::kMain, mc::HexVariant::kDb, mc::HexVariant::kHdbt}) {
    mc::FirmwareImage image;
    image.ImageBuffer.assign(data, data + size);
    image.ImageLength = static_cast<std::int32_t>(size);
    if (mc::ConvertHexImage(variant, image)) {
      if (image.ImageLength < 0 || static_cast<std::size_t>(image.ImageLength) > size) std::abort();
      if (image.VectorBlockUsed != 0 && image.VectorBlockUsed != 128) std::abort();
    }
  }
  return 0;
}
