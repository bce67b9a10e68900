#include "link/serial_port.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace mc {

std::string ComDevicePath(int port) {
  char path[32];
  std::snprintf(path, sizeof path, "\\\\.\\COM%d", port);
  return path;
}

namespace {
std::mutex& ReporterMutex() {
  static std::mutex m;
  return m;
}
ErrorReporter& Reporter() {
  static ErrorReporter r;
  return r;
}
}  // namespace

void SetSerialErrorReporter(ErrorReporter reporter) {
  std::lock_guard<std::mutex> lock(ReporterMutex());
  Reporter() = std::move(reporter);
}

void ReportSerialError(const std::string& text, const std::string& caption) {
  ErrorReporter r;
  {
    std::lock_guard<std::mutex> lock(ReporterMutex());
    r = Reporter();
  }
  if (r) r(text, caption);
}

namespace {

constexpr std::uint8_t kParityTable[] = {win32::EVENPARITY, win32::MARKPARITY, win32::NOPARITY,
                                         win32::ODDPARITY, win32::SPACEPARITY};
constexpr std::uint8_t kStopTable[] = {win32::ONESTOPBIT, win32::ONE5STOPBITS, win32::TWOSTOPBITS};

struct FlowRow {
  bool ctsFlow;
  bool dsrFlow;
  int rtsHandshake;  // -1: unchanged
  int dtrHandshake;  // -1: unchanged
  bool xonXoff;
};
constexpr FlowRow kFlowTable[] = {
    {false, false, -1, -1, false},                           // none
    {true, false, win32::RTS_CONTROL_HANDSHAKE, -1, false},  // CTS/RTS
    {true, false, -1, win32::DTR_CONTROL_HANDSHAKE, false},  // CTS/DTR
    {false, true, win32::RTS_CONTROL_HANDSHAKE, -1, false},  // DSR/RTS
    {false, true, -1, win32::DTR_CONTROL_HANDSHAKE, false},  // DSR/DTR
    {false, false, -1, -1, true},                            // XON/XOFF
};

template <typename T, std::size_t N>
bool InTable(int selector, const T (&)[N]) {
  return selector >= 0 && static_cast<std::size_t>(selector) < N;
}

}  // namespace

void ApplyLineSettings(LineFields& f, int baud, int parity, int dataBits, int stopBits,
                       int flowControl) {
  f.baudRate = static_cast<std::uint32_t>(baud);
  if (InTable(parity, kParityTable)) {
    f.parity = kParityTable[parity];
  } else {
    ReportSerialError("Error", "Error");
  }
  if (InTable(stopBits, kStopTable)) {
    f.stopBits = kStopTable[stopBits];
  } else {
    ReportSerialError("Error", "Error");
  }
  f.byteSize = static_cast<std::uint8_t>(dataBits);
  f.fDsrSensitivity = false;
  if (!InTable(flowControl, kFlowTable)) {
    ReportSerialError("Error", "Error");
    return;
  }
  const FlowRow& row = kFlowTable[flowControl];
  f.fOutxCtsFlow = row.ctsFlow;
  f.fOutxDsrFlow = row.dsrFlow;
  if (row.rtsHandshake >= 0) f.fRtsControl = static_cast<std::uint8_t>(row.rtsHandshake);
  if (row.dtrHandshake >= 0) f.fDtrControl = static_cast<std::uint8_t>(row.dtrHandshake);
  f.fOutX = row.xonXoff;
  f.fInX = row.xonXoff;
  if (row.xonXoff) {
    f.xonChar = 0x11;
    f.xoffChar = 0x13;
    f.xonLim = 100;
    f.xoffLim = 100;
  }
}

}  // namespace mc
