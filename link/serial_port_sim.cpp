#include "link/serial_port_sim.h"

namespace mc {

SimWire* SimPortBank::Take(int port) {
  auto it = wires_.find(port);
  if (it == wires_.end() || it->second.taken) return nullptr;
  it->second.taken = true;
  return it->second.wire;
}

void SimPortBank::Release(int port) {
  auto it = wires_.find(port);
  if (it != wires_.end()) it->second.taken = false;
}

bool SimSerialPort::Open(int port, int baud, int parity, int dataBits, int stopBits,
                         int flowControl, std::uint32_t overlapped) {
  if (port < kMinPort || port > kMaxPort) return false;
  // Opening an open port closes it first, as the Win32 port does: the old
  // handle would otherwise stay open and keep the port taken.
  Close();
  wire_ = bank_.Take(port);
  overlapped_ = overlapped;
  if (!wire_) return false;
  port_ = port;
  baud_ = baud;
  ApplyLineSettings(line_, baud, parity, dataBits, stopBits, flowControl);
  wire_->HostOpen(baud);
  return true;
}

void SimSerialPort::Close() {
  if (!wire_) return;
  wire_->HostClose();
  bank_.Release(port_);
  wire_ = nullptr;
  port_ = -1;
  overlapped_ = 0;
}

std::size_t SimSerialPort::Read(std::uint8_t* buffer, std::size_t count) {
  if (!wire_ || overlapped_ != 0) return 0;
  return wire_->HostRead(buffer, count, milliseconds(kReadTimeoutMs));
}

std::size_t SimSerialPort::Write(const std::uint8_t* buffer, std::size_t count) {
  if (!wire_ || overlapped_ != 0) return 0;
  wire_->HostWrite(buffer, count);
  WaitSent();
  return count;
}

void SimSerialPort::WaitSent() {
  // A blocking write returns when its last byte has left the port, as a
  // Win32 WriteFile without write timeouts does.
  if (!wire_->HostBytes().empty()) wire_->clock().AdvanceTo(wire_->HostBytes().back().at);
}

bool SimSerialPort::Purge(std::uint32_t flags) {
  if (!wire_) return false;
  if (flags & (kPurgeRxClear | kPurgeRxAbort)) wire_->HostPurge();
  return true;
}

bool SimSerialPort::SetBreak() {
  if (!wire_) return false;
  wire_->HostBreak(true);
  return true;
}

bool SimSerialPort::ClearBreak() {
  if (!wire_) return false;
  wire_->HostBreak(false);
  return true;
}

bool SimSerialPort::Escape(std::uint32_t code) {
  (void)code;
  return wire_ != nullptr;
}

bool SimSerialPort::WriteAsync(const std::uint8_t* buffer, std::size_t count) {
  if (!wire_) return false;
  // On a blocking port the write completes at once (see the Win32 port).
  wire_->HostWrite(buffer, count);
  WaitSent();
  OnWriteComplete(0, static_cast<std::uint32_t>(count));
  return true;
}

}  // namespace mc
