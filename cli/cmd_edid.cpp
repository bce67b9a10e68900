// matrixctl edid decode FILE: the EDID dialog's text report of an EDID file,
// written to stdout byte for byte (CR LF line ends, the monitor name's raw
// bytes, no newline added).
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "edid/edid_data.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace mc::cli {
namespace {

constexpr const char* kUsage = "usage: matrixctl edid decode FILE\n";

}  // namespace

int CmdEdid(const Args& args) {
  if (args.size() != 2 || args[0] != "decode") {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string& path = args[1];

  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "matrixctl edid: cannot open %s: %s\n", path.c_str(),
                 std::strerror(errno));
    return 1;
  }
  // One byte more than an image, to tell a longer file from a whole one.
  std::uint8_t bytes[EdidData::kSize + 1];
  const std::size_t count = std::fread(bytes, 1, sizeof bytes, file);
  const bool failed = std::ferror(file) != 0;
  const int read_errno = errno;
  std::fclose(file);
  if (failed) {
    std::fprintf(stderr, "matrixctl edid: cannot read %s: %s\n", path.c_str(),
                 std::strerror(read_errno));
    return 1;
  }
  if (count == 0) {
    std::fprintf(stderr, "matrixctl edid: %s is empty\n", path.c_str());
    return 1;
  }
  if (count > EdidData::kSize) {
    std::fprintf(stderr,
                 "matrixctl edid: warning: %s is longer than 256 bytes; decoding the first 256\n",
                 path.c_str());
  }

  // A shorter file (a lone 128-byte base block) fills a zeroed image from byte 0.
  EdidData edid;
  edid.Load(bytes, count);
  std::string report;
  edid.ToText(report);

#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  if (std::fwrite(report.data(), 1, report.size(), stdout) != report.size() ||
      std::fflush(stdout) != 0) {
    std::fprintf(stderr, "matrixctl edid: cannot write the report\n");
    return 1;
  }
  return 0;
}

}  // namespace mc::cli
