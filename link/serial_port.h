// The serial port of the console: one communications handle opened by COM
// number, used in blocking mode with a one-second read timeout.
//
// SerialPort is the interface; the backends are Win32 (serial_port_win32.cpp),
// POSIX termios (serial_port_posix.cpp, for matrixctl and the native tests)
// and Sim (serial_port_sim.cpp, wired to an emulated device on virtual time).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace mc {

// Selector values of Open(). Every caller of the console passes
// kParityNone, 8 data bits, kOneStopBit, kFlowNone and overlapped 0.
enum ParitySelector : int {
  kParityEven = 0,
  kParityMark = 1,
  kParityNone = 2,
  kParityOdd = 3,
  kParitySpace = 4,
};
enum StopBitsSelector : int { kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2 };
enum FlowSelector : int {
  kFlowNone = 0,
  kFlowCtsRts = 1,
  kFlowCtsDtr = 2,
  kFlowDsrRts = 3,
  kFlowDsrDtr = 4,
  kFlowXonXoff = 5,
};

// PurgeComm flags, with the Win32 values.
enum PurgeFlags : std::uint32_t {
  kPurgeTxAbort = 0x0001,
  kPurgeRxAbort = 0x0002,
  kPurgeTxClear = 0x0004,
  kPurgeRxClear = 0x0008,
};

// EscapeCommFunction codes, with the Win32 values.
enum EscapeCode : std::uint32_t {
  kSetXoff = 1,
  kSetXon = 2,
  kSetRts = 3,
  kClrRts = 4,
  kSetDtr = 5,
  kClrDtr = 6,
};

constexpr int kMinPort = 0;
constexpr int kMaxPort = 255;
constexpr int kReadTimeoutMs = 1000;

// The Win32 device path of COM n: "\\.\COM%d" (works for n >= 10 too).
std::string ComDevicePath(int port);

// Shows a message box for an out-of-range line-setting selector. Core code
// never opens a window itself: the console installs a reporter that calls
// MessageBoxA(NULL, text, caption, MB_OK); tests install one that records.
using ErrorReporter = std::function<void(const std::string& text, const std::string& caption)>;
void SetSerialErrorReporter(ErrorReporter reporter);
void ReportSerialError(const std::string& text, const std::string& caption);

// The DCB fields that Open() sets, as a portable record. The Win32 backend
// copies them into and out of its DCB; keeping the selector tables here lets
// them be tested without Windows.
struct LineFields {
  std::uint32_t baudRate = 0;
  std::uint8_t byteSize = 8;
  std::uint8_t parity = 0;    // NOPARITY=0 ODDPARITY=1 EVENPARITY=2 MARKPARITY=3 SPACEPARITY=4
  std::uint8_t stopBits = 0;  // ONESTOPBIT=0 ONE5STOPBITS=1 TWOSTOPBITS=2
  bool fDsrSensitivity = false;
  bool fOutxCtsFlow = false;
  bool fOutxDsrFlow = false;
  bool fOutX = false;
  bool fInX = false;
  std::uint8_t fRtsControl = 1;  // RTS_CONTROL_DISABLE=0 ENABLE=1 HANDSHAKE=2 TOGGLE=3
  std::uint8_t fDtrControl = 1;  // DTR_CONTROL_DISABLE=0 ENABLE=1 HANDSHAKE=2
  char xonChar = 0;
  char xoffChar = 0;
  std::uint16_t xonLim = 0;
  std::uint16_t xoffLim = 0;
};

// Win32 constant values used in LineFields.
namespace win32 {
constexpr std::uint8_t NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3, SPACEPARITY = 4;
constexpr std::uint8_t ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2;
constexpr std::uint8_t RTS_CONTROL_HANDSHAKE = 2, DTR_CONTROL_HANDSHAKE = 2;
}  // namespace win32

// Step 4 of Open(): applies baud, parity, data bits, stop bits and flow
// control to the fields as the port had them. An out-of-range selector
// reports "Error" and leaves that setting as it was; the rest still applies.
void ApplyLineSettings(LineFields& f, int baud, int parity, int dataBits, int stopBits,
                       int flowControl);

class SerialPort {
 public:
  SerialPort() = default;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;
  virtual ~SerialPort() = default;

  // Opens COM `port` (0-255). Returns false, changing nothing, for a port
  // out of range; false with the port closed when it cannot be opened.
  virtual bool Open(int port, int baud, int parity, int dataBits, int stopBits, int flowControl,
                    std::uint32_t overlapped) = 0;
  // The settings every caller of the console uses: 8N1, no flow control.
  bool Open(int port, int baud) {
    return Open(port, baud, kParityNone, 8, kOneStopBit, kFlowNone, 0);
  }
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  // Blocking read: returns when `count` bytes arrived or after about one
  // second with what arrived (possibly nothing). 0 when closed.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t count) = 0;
  // Blocking write of all bytes. 0 when closed.
  virtual std::size_t Write(const std::uint8_t* buffer, std::size_t count) = 0;
  std::size_t Write(std::uint8_t byte) { return Write(&byte, 1); }

  virtual bool Purge(std::uint32_t flags) = 0;
  bool PurgeRx() { return Purge(kPurgeRxClear); }
  bool PurgeTxAbort() { return Purge(kPurgeTxAbort); }
  bool PurgeRxAbort() { return Purge(kPurgeRxAbort); }
  bool PurgeTxClear() { return Purge(kPurgeTxClear); }

  virtual bool SetBreak() = 0;
  virtual bool ClearBreak() = 0;
  virtual bool FlushBuffers() = 0;
  virtual bool Escape(std::uint32_t code) = 0;
  bool SetRts() { return Escape(kSetRts); }
  bool ClrDtr() { return Escape(kClrDtr); }

  // Starts an asynchronous write; OnWriteComplete() is called when it ends.
  // Returns false when the write could not be started.
  virtual bool WriteAsync(const std::uint8_t* buffer, std::size_t count) = 0;
  // Completion handler of WriteAsync(); the default does nothing more than
  // the backend's own clean-up.
  virtual void OnWriteComplete(std::uint32_t error, std::uint32_t bytesTransferred) {
    (void)error;
    (void)bytesTransferred;
  }
};

// Makes the port object of the platform the program runs on.
using SerialPortFactory = std::function<std::unique_ptr<SerialPort>()>;

}  // namespace mc
