// SerialPort on a Win32 communications handle ("\\.\COM%d"), opened in
// blocking mode with a one-second read timeout.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/serial_port.h"

namespace mc {

class Win32SerialPort : public SerialPort {
 public:
  Win32SerialPort() = default;
  ~Win32SerialPort() override { Win32SerialPort::Close(); }

  using SerialPort::Open;
  // Opening an open port closes the old handle first, so that a re-open of
  // the same COM port (which opens exclusively) cannot fail on our own handle.
  bool Open(int port, int baud, int parity, int dataBits, int stopBits, int flowControl,
            std::uint32_t overlapped) override;
  void Close() override;
  bool IsOpen() const override;

  // Blocking ReadFile/WriteFile; 0 when closed or opened in overlapped mode.
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
  using SerialPort::Write;
  std::size_t Write(const std::uint8_t* buffer, std::size_t count) override;

  bool Purge(std::uint32_t flags) override;
  bool SetBreak() override;
  bool ClearBreak() override;
  bool FlushBuffers() override;
  bool Escape(std::uint32_t code) override;

  // Overlapped mode: WriteFileEx on a private copy of the bytes; the
  // completion routine runs in an alertable wait of the calling thread
  // (SleepEx, WaitFor...Ex) and calls OnWriteComplete(). Blocking mode
  // (how the console opens every port): WriteFileEx cannot run on such a
  // handle, so the bytes go out with a blocking write and OnWriteComplete()
  // is called before WriteAsync() returns. False, without a completion call,
  // when the write could not be started.
  bool WriteAsync(const std::uint8_t* buffer, std::size_t count) override;

  // Cancels the pending I/O of this thread on the port (CancelIo, looked up
  // in KERNEL32.DLL once per process). False where it is unavailable.
  bool Cancel();
  // ClearCommError: the error flags, or 0. Clears a break or overrun state.
  std::uint32_t ClearError();

  // The Win32 HANDLE (INVALID_HANDLE_VALUE when closed) and the overlapped
  // flag of the last Open().
  void* handle() const { return handle_; }
  std::uint32_t overlapped() const { return overlapped_; }

 private:
  friend struct AsyncWriteRoutine;

  void* handle_ = reinterpret_cast<void*>(static_cast<std::intptr_t>(-1));
  std::uint32_t overlapped_ = 0;
  // Asynchronous writes whose completion routine has not run yet; Close()
  // lets them finish, since each routine calls back into this object.
  int pendingWrites_ = 0;
};

// Makes the console's reporter of line-setting errors show
// MessageBoxA(NULL, text, caption, MB_OK). Called once at start.
void InstallMessageBoxErrorReporter();

}  // namespace mc
