// matrixctl hex2bin --board main|db|hdbt IN OUT
//   The board's image of a firmware file, as the firmware dialog would send
//   it (HEX converted with the board's variant, raw files unchanged).
// matrixctl firmware main|db|hdbt --port PATH FILE
//   Updates a board over the serial device PATH: the Load File checks, then
//   the board's loader with its status texts and a progress bar. Ctrl-C
//   aborts as the dialog's Abort button does.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/commands.h"
#include "firmware/loaders.h"
#include "link/clock.h"
#include "link/serial_port_posix.h"

namespace mc::cli {
namespace {

constexpr const char* kHexUsage = "usage: matrixctl hex2bin --board main|db|hdbt IN OUT\n";
constexpr const char* kFirmwareUsage = "usage: matrixctl firmware main|db|hdbt --port PATH FILE\n";

bool ParseBoard(const std::string& name, Board* board) {
  if (name == "main")
    *board = Board::kMain;
  else if (name == "db")
    *board = Board::kDb;
  else if (name == "hdbt")
    *board = Board::kHdbt;
  else
    return false;
  return true;
}

// The texts are 8-bit; the retry text's dash is code page 950.
std::string ForTerminal(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) == 0xA1 && i + 1 < text.size() && text[i + 1] == 0x56) {
      out += "\xE2\x80\x93";
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Status lines on stdout, one a line; the progress bar redrawn on stderr.
class TerminalReport : public LoaderReport {
 public:
  explicit TerminalReport(int statusLine) : statusLine_(statusLine) {}

  void SetItemText(int id, const std::string& text) override {
    if (id != statusLine_) return;
    last_ = text;
    if (text.empty()) return;
    EndBar();
    std::printf("%s\n", ForTerminal(text).c_str());
    std::fflush(stdout);
  }
  void EnableItem(int, bool) override {}
  void SetProgressRange(int low, int high) override {
    low_ = low;
    high_ = high;
  }
  void SetProgressPos(int pos) override {
    const int span = high_ > low_ ? high_ - low_ : 1;
    const int percent = std::min(100, std::max(0, (pos - low_) * 100 / span));
    if (percent == percent_) return;
    percent_ = percent;
    const int filled = percent * 40 / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                 std::string(40 - filled, '.').c_str(), percent);
    std::fflush(stderr);
    barShown_ = true;
  }
  void SetWaitCursor(bool) override {}
  void ShowMessage(const std::string& text) override {
    EndBar();
    std::fprintf(stderr, "%s\n", ForTerminal(text).c_str());
  }
  const std::string& last() const { return last_; }
  void EndBar() {
    if (barShown_) std::fputc('\n', stderr);
    barShown_ = false;
    percent_ = -1;
  }

 private:
  int statusLine_;
  std::string last_;
  int low_ = 0, high_ = 10, percent_ = -1;
  bool barShown_ = false;
};

std::atomic<std::uint8_t>* g_abort = nullptr;

extern "C" void OnInterrupt(int) {
  if (g_abort) g_abort->store(1);
}

}  // namespace

int CmdHex2Bin(const Args& args) {
  Board board{};
  if (args.size() != 4 || args[0] != "--board" || !ParseBoard(args[1], &board)) {
    std::fputs(kHexUsage, stderr);
    return 2;
  }
  std::ifstream in(args[2], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "matrixctl hex2bin: cannot open %s\n", args[2].c_str());
    return 1;
  }
  std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
  FirmwareImage image;
  std::string message;
  if (!MakeFirmwareImage(board, std::move(file), image, &message)) {
    std::fprintf(stderr, "matrixctl hex2bin: %s\n", message.c_str());
    return 1;
  }
  std::ofstream out(args[3], std::ios::binary);
  out.write(reinterpret_cast<const char*>(image.ImageBuffer.data()), image.ImageLength);
  if (!out.flush()) {
    std::fprintf(stderr, "matrixctl hex2bin: cannot write %s\n", args[3].c_str());
    return 1;
  }
  std::printf("%d bytes\n", image.ImageLength);
  if (image.VectorBlockUsed) {
    std::printf("vector block (128 bytes at 0xFF80, sent last, not in %s):\n", args[3].c_str());
    for (std::size_t i = 0; i < image.VectorBlock.size(); ++i) {
      std::printf("%02X%c", image.VectorBlock[i], i % 16 == 15 ? '\n' : ' ');
    }
  }
  return 0;
}

int CmdFirmware(const Args& args) {
  Board board{};
  if (args.size() != 4 || !ParseBoard(args[0], &board) || args[1] != "--port") {
    std::fputs(kFirmwareUsage, stderr);
    return 2;
  }
  const std::string& device = args[2];
  const std::string& path = args[3];

  const LoadFileResult loaded = LoadFirmwareFile(board, path);
  if (!loaded.accepted) {
    std::fprintf(stderr, "%s\n", loaded.message.c_str());
    return 1;
  }
  std::printf("%s %s\n", path.c_str(), loaded.sizeText.c_str());

  PosixSerialPort port(PosixSerialPort::FixedPath(device));
  TerminalReport report(StatusLineOf(board));
  FirmwareLoader loader(port, SystemClock(), report);
  loader.ComPortNumber = 1;
  loader.FirmwarePath = path;

  g_abort = &loader.AbortFlag;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  struct sigaction previous {};
  sigaction(SIGINT, &action, &previous);

  loader.BusyFlag = 1;
  switch (board) {
    case Board::kMain:
      if (!loader.Break()) {
        sigaction(SIGINT, &previous, nullptr);
        return 1;
      }
      std::printf("Power-cycle the switcher now, then press Enter.\n");
      std::fflush(stdout);
      for (int c = std::getchar(); c != '\n' && c != EOF; c = std::getchar()) {
      }
      if (loader.AbortFlag) {
        report.SetItemText(fwid::kMainStatus, fwtext::kWriteFailed);
        break;
      }
      loader.MainBoardThread();
      break;
    case Board::kDb: loader.DbBoardThread(); break;
    case Board::kHdbt: loader.HdbtBoardThread(); break;
  }
  port.Close();
  report.EndBar();
  sigaction(SIGINT, &previous, nullptr);
  g_abort = nullptr;
  return report.last() == fwtext::kComplete ? 0 : 1;
}

}  // namespace mc::cli
