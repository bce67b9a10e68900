#include "link/serial_port_win32.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace mc {

namespace {

// CancelIo is looked up at start and kept for the life of the process.
class CancelIoLoader {
 public:
  using CancelIoFn = BOOL(WINAPI*)(HANDLE);

  CancelIoLoader() {
    module_ = LoadLibraryA("KERNEL32.DLL");
    if (module_ != nullptr) {
      FARPROC proc = GetProcAddress(module_, "CancelIo");
      // Through void(*)(), the one function pointer type that every other
      // converts to without a cast warning.
      cancelIo_ = reinterpret_cast<CancelIoFn>(reinterpret_cast<void (*)()>(proc));
    }
  }
  ~CancelIoLoader() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  CancelIoLoader(const CancelIoLoader&) = delete;
  CancelIoLoader& operator=(const CancelIoLoader&) = delete;

  CancelIoFn cancelIo() const { return cancelIo_; }

 private:
  HMODULE module_ = nullptr;
  CancelIoFn cancelIo_ = nullptr;
};

const CancelIoLoader gCancelIo;

HANDLE H(void* h) {
  return static_cast<HANDLE>(h);
}

DWORD ClampCount(std::size_t count) {
  return static_cast<DWORD>(std::min<std::size_t>(count, std::numeric_limits<DWORD>::max()));
}

void DcbToFields(const DCB& d, LineFields& f) {
  f.baudRate = d.BaudRate;
  f.byteSize = d.ByteSize;
  f.parity = d.Parity;
  f.stopBits = d.StopBits;
  f.fDsrSensitivity = d.fDsrSensitivity != 0;
  f.fOutxCtsFlow = d.fOutxCtsFlow != 0;
  f.fOutxDsrFlow = d.fOutxDsrFlow != 0;
  f.fOutX = d.fOutX != 0;
  f.fInX = d.fInX != 0;
  f.fRtsControl = static_cast<std::uint8_t>(d.fRtsControl);
  f.fDtrControl = static_cast<std::uint8_t>(d.fDtrControl);
  f.xonChar = d.XonChar;
  f.xoffChar = d.XoffChar;
  f.xonLim = d.XonLim;
  f.xoffLim = d.XoffLim;
}

void FieldsToDcb(const LineFields& f, DCB& d) {
  d.BaudRate = f.baudRate;
  d.ByteSize = f.byteSize;
  d.Parity = f.parity;
  d.StopBits = f.stopBits;
  d.fDsrSensitivity = f.fDsrSensitivity;
  d.fOutxCtsFlow = f.fOutxCtsFlow;
  d.fOutxDsrFlow = f.fOutxDsrFlow;
  d.fOutX = f.fOutX;
  d.fInX = f.fInX;
  d.fRtsControl = f.fRtsControl & 3u;
  d.fDtrControl = f.fDtrControl & 3u;
  d.XonChar = f.xonChar;
  d.XoffChar = f.xoffChar;
  d.XonLim = f.xonLim;
  d.XoffLim = f.xoffLim;
}

// One asynchronous write: the OVERLAPPED record first, so that the pointer
// the completion routine gets is the record itself, and the bytes, which
// must outlive the call of WriteFileEx.
struct AsyncWrite {
  OVERLAPPED overlapped;
  std::vector<std::uint8_t> bytes;
};

}  // namespace

bool Win32SerialPort::Open(int port, int baud, int parity, int dataBits, int stopBits,
                           int flowControl, std::uint32_t overlapped) {
  if (port < kMinPort || port > kMaxPort) return false;
  Close();

  const std::string path = ComDevicePath(port);
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         overlapped != 0 ? FILE_FLAG_OVERLAPPED : 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = h;
  overlapped_ = overlapped;

  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (GetCommState(h, &dcb)) {
    LineFields fields;
    DcbToFields(dcb, fields);
    ApplyLineSettings(fields, baud, parity, dataBits, stopBits, flowControl);
    FieldsToDcb(fields, dcb);
    SetCommState(h, &dcb);
  }

  // Without these timeouts a read would wait until every byte it asked for
  // arrived, for ever if the switcher is silent. A handle that does not take
  // them is not a port the console can use.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = kReadTimeoutMs;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 0;
  if (!SetCommTimeouts(h, &timeouts)) {
    Close();
    return false;
  }
  return true;
}

void Win32SerialPort::Close() {
  if (!IsOpen()) return;
  // Completion routines of writes still under way point at this object: let
  // them run now (they are queued to the thread that started the writes, as
  // a rule this one) rather than later on an object that may be gone.
  if (pendingWrites_ > 0) {
    Cancel();
    for (int i = 0; i < 100 && pendingWrites_ > 0; ++i) SleepEx(10, TRUE);
  }
  CloseHandle(H(handle_));
  handle_ = INVALID_HANDLE_VALUE;
  overlapped_ = 0;
}

bool Win32SerialPort::IsOpen() const {
  return H(handle_) != INVALID_HANDLE_VALUE;
}

std::size_t Win32SerialPort::Read(std::uint8_t* buffer, std::size_t count) {
  if (!IsOpen() || overlapped_ != 0 || count == 0) return 0;
  DWORD got = 0;
  if (!ReadFile(H(handle_), buffer, ClampCount(count), &got, nullptr)) return 0;
  return got;
}

std::size_t Win32SerialPort::Write(const std::uint8_t* buffer, std::size_t count) {
  if (!IsOpen() || overlapped_ != 0 || count == 0) return 0;
  DWORD put = 0;
  if (!WriteFile(H(handle_), buffer, ClampCount(count), &put, nullptr)) return 0;
  return put;
}

bool Win32SerialPort::Purge(std::uint32_t flags) {
  return IsOpen() && PurgeComm(H(handle_), flags) != 0;
}

bool Win32SerialPort::SetBreak() {
  return IsOpen() && SetCommBreak(H(handle_)) != 0;
}
bool Win32SerialPort::ClearBreak() {
  return IsOpen() && ClearCommBreak(H(handle_)) != 0;
}
bool Win32SerialPort::FlushBuffers() {
  return IsOpen() && FlushFileBuffers(H(handle_)) != 0;
}

bool Win32SerialPort::Escape(std::uint32_t code) {
  return IsOpen() && EscapeCommFunction(H(handle_), code) != 0;
}

// The completion routine of WriteAsync(); a friend of the port.
struct AsyncWriteRoutine {
  static void CALLBACK Done(DWORD error, DWORD bytes, LPOVERLAPPED record);
};

void CALLBACK AsyncWriteRoutine::Done(DWORD error, DWORD bytes, LPOVERLAPPED record) {
  auto* write = reinterpret_cast<AsyncWrite*>(record);
  auto* port = static_cast<Win32SerialPort*>(record->hEvent);
  --port->pendingWrites_;
  port->OnWriteComplete(error, bytes);
  delete write;
}

bool Win32SerialPort::WriteAsync(const std::uint8_t* buffer, std::size_t count) {
  if (!IsOpen()) return false;
  if (overlapped_ == 0) {
    DWORD put = 0;
    const BOOL ok = WriteFile(H(handle_), buffer, ClampCount(count), &put, nullptr);
    OnWriteComplete(ok ? ERROR_SUCCESS : GetLastError(), put);
    return ok != 0;
  }
  auto* write = new AsyncWrite{};
  write->bytes.assign(buffer, buffer + count);
  write->overlapped.hEvent = this;
  if (!WriteFileEx(H(handle_), write->bytes.data(), ClampCount(count), &write->overlapped,
                   &AsyncWriteRoutine::Done)) {
    delete write;
    return false;
  }
  ++pendingWrites_;
  return true;
}

bool Win32SerialPort::Cancel() {
  auto cancelIo = gCancelIo.cancelIo();
  return IsOpen() && cancelIo != nullptr && cancelIo(H(handle_)) != 0;
}

std::uint32_t Win32SerialPort::ClearError() {
  DWORD errors = 0;
  if (!IsOpen() || !ClearCommError(H(handle_), &errors, nullptr)) return 0;
  return errors;
}

void InstallMessageBoxErrorReporter() {
  SetSerialErrorReporter([](const std::string& text, const std::string& caption) {
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
  });
}

}  // namespace mc
