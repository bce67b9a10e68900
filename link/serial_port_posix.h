// SerialPort on a POSIX terminal device (termios), for matrixctl and the
// native tests. A read returns when all bytes arrived or after about one
// second with what arrived, as the Win32 port does with its timeouts.
#pragma once

#include <functional>
#include <string>

#include "link/serial_port.h"

namespace mc {

class PosixSerialPort : public SerialPort {
 public:
  // Maps a port number to a device path; the default maps COM n to
  // /dev/ttyS(n-1).
  using PathForPort = std::function<std::string(int port)>;
  explicit PosixSerialPort(PathForPort pathForPort = {});
  // A port that opens `path` whatever number Open() is given.
  static PathForPort FixedPath(std::string path);
  ~PosixSerialPort() override { PosixSerialPort::Close(); }

  using SerialPort::Open;
  bool Open(int port, int baud, int parity, int dataBits, int stopBits, int flowControl,
            std::uint32_t overlapped) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
  using SerialPort::Write;
  std::size_t Write(const std::uint8_t* buffer, std::size_t count) override;
  bool Purge(std::uint32_t flags) override;
  bool SetBreak() override;
  bool ClearBreak() override;
  bool FlushBuffers() override;
  bool Escape(std::uint32_t code) override;
  bool WriteAsync(const std::uint8_t* buffer, std::size_t count) override;

  const std::string& path() const { return path_; }

 private:
  PathForPort pathForPort_;
  std::string path_;
  int fd_ = -1;
  std::uint32_t overlapped_ = 0;
};

}  // namespace mc
