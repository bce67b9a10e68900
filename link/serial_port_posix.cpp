#include "link/serial_port_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>

namespace mc {

namespace {

speed_t BaudConstant(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

// Puts the selectors into termios through the same tables as the Win32 port.
void ApplyToTermios(termios& tio, int baud, int parity, int dataBits, int stopBits, int flow) {
  LineFields f;
  f.parity = win32::NOPARITY;
  f.stopBits = win32::ONESTOPBIT;
  ApplyLineSettings(f, baud, parity, dataBits, stopBits, flow);
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  switch (f.byteSize) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
  }
  if (f.parity == win32::EVENPARITY) tio.c_cflag |= PARENB;
  if (f.parity == win32::ODDPARITY) tio.c_cflag |= PARENB | PARODD;
  if (f.stopBits == win32::TWOSTOPBITS) tio.c_cflag |= CSTOPB;
  if (f.fOutxCtsFlow) tio.c_cflag |= CRTSCTS;
  if (f.fOutX) tio.c_iflag |= IXON | IXOFF;
  const speed_t speed = BaudConstant(baud);
  if (speed != B0) {
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
  }
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
}

}  // namespace

PosixSerialPort::PosixSerialPort(PathForPort pathForPort) : pathForPort_(std::move(pathForPort)) {
  if (!pathForPort_) {
    pathForPort_ = [](int port) { return "/dev/ttyS" + std::to_string(port > 0 ? port - 1 : 0); };
  }
}

PosixSerialPort::PathForPort PosixSerialPort::FixedPath(std::string path) {
  return [path = std::move(path)](int) { return path; };
}

bool PosixSerialPort::Open(int port, int baud, int parity, int dataBits, int stopBits,
                           int flowControl, std::uint32_t overlapped) {
  if (port < kMinPort || port > kMaxPort) return false;
  Close();  // a second Open must not leak the first descriptor
  path_ = pathForPort_(port);
  fd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  overlapped_ = overlapped;
  if (fd_ < 0) return false;
  // A COM port opens exclusively; a terminal only when asked.
  ioctl(fd_, TIOCEXCL);
  termios tio{};
  if (tcgetattr(fd_, &tio) == 0) {
    ApplyToTermios(tio, baud, parity, dataBits, stopBits, flowControl);
    tcsetattr(fd_, TCSANOW, &tio);
  }
  return true;
}

void PosixSerialPort::Close() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  overlapped_ = 0;
}

std::size_t PosixSerialPort::Read(std::uint8_t* buffer, std::size_t count) {
  if (fd_ < 0 || overlapped_ != 0) return 0;
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + std::chrono::milliseconds(kReadTimeoutMs);
  std::size_t got = 0;
  while (got < count) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    const ssize_t n = ::read(fd_, buffer + got, count - got);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      continue;
    } else {
      // Hang-up (the peer went away) or an error: report what arrived.
      break;
    }
  }
  return got;
}

std::size_t PosixSerialPort::Write(const std::uint8_t* buffer, std::size_t count) {
  if (fd_ < 0 || overlapped_ != 0) return 0;
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd_, buffer + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, kReadTimeoutMs) > 0) continue;
    }
    break;
  }
  return done;
}

bool PosixSerialPort::Purge(std::uint32_t flags) {
  if (fd_ < 0) return false;
  const bool rx = (flags & (kPurgeRxClear | kPurgeRxAbort)) != 0;
  const bool tx = (flags & (kPurgeTxClear | kPurgeTxAbort)) != 0;
  if (rx && tx) return tcflush(fd_, TCIOFLUSH) == 0;
  if (rx) return tcflush(fd_, TCIFLUSH) == 0;
  if (tx) return tcflush(fd_, TCOFLUSH) == 0;
  return true;
}

bool PosixSerialPort::SetBreak() {
  return fd_ >= 0 && ioctl(fd_, TIOCSBRK) == 0;
}
bool PosixSerialPort::ClearBreak() {
  return fd_ >= 0 && ioctl(fd_, TIOCCBRK) == 0;
}
bool PosixSerialPort::FlushBuffers() {
  return fd_ >= 0 && tcdrain(fd_) == 0;
}

bool PosixSerialPort::Escape(std::uint32_t code) {
  if (fd_ < 0) return false;
  int bits = 0;
  switch (code) {
    case kSetRts: bits = TIOCM_RTS; return ioctl(fd_, TIOCMBIS, &bits) == 0;
    case kClrRts: bits = TIOCM_RTS; return ioctl(fd_, TIOCMBIC, &bits) == 0;
    case kSetDtr: bits = TIOCM_DTR; return ioctl(fd_, TIOCMBIS, &bits) == 0;
    case kClrDtr: bits = TIOCM_DTR; return ioctl(fd_, TIOCMBIC, &bits) == 0;
    default: return false;
  }
}

bool PosixSerialPort::WriteAsync(const std::uint8_t* buffer, std::size_t count) {
  if (fd_ < 0) return false;
  // The write is short (one byte at a time in practice): do it at once and
  // report completion.
  const std::size_t n = Write(buffer, count);
  OnWriteComplete(n == count ? 0 : 1, static_cast<std::uint32_t>(n));
  return true;
}

}  // namespace mc
