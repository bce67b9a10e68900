// SerialPort on a SimWire: the console's serial code against an emulated
// device on virtual time. A read waits (in virtual time) for the device's
// next byte or for the one-second timeout.
#pragma once

#include <functional>
#include <map>

#include "link/serial_port.h"
#include "link/sim_wire.h"

namespace mc {

// The COM ports of a simulated PC: port number -> wire. A wire opens
// exclusively, as a COM port does.
class SimPortBank {
 public:
  void Add(int port, SimWire& wire) { wires_[port] = {&wire, false}; }
  void Remove(int port) { wires_.erase(port); }
  // The wire of `port` if it exists and is free; marks it taken.
  SimWire* Take(int port);
  void Release(int port);

 private:
  struct Entry {
    SimWire* wire;
    bool taken;
  };
  std::map<int, Entry> wires_;
};

class SimSerialPort : public SerialPort {
 public:
  explicit SimSerialPort(SimPortBank& bank) : bank_(bank) {}
  ~SimSerialPort() override { SimSerialPort::Close(); }

  using SerialPort::Open;
  bool Open(int port, int baud, int parity, int dataBits, int stopBits, int flowControl,
            std::uint32_t overlapped) override;
  void Close() override;
  bool IsOpen() const override { return wire_ != nullptr; }
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
  using SerialPort::Write;
  std::size_t Write(const std::uint8_t* buffer, std::size_t count) override;
  bool Purge(std::uint32_t flags) override;
  bool SetBreak() override;
  bool ClearBreak() override;
  bool FlushBuffers() override { return IsOpen(); }
  bool Escape(std::uint32_t code) override;
  bool WriteAsync(const std::uint8_t* buffer, std::size_t count) override;

  int port() const { return port_; }
  int baud() const { return baud_; }
  const LineFields& line() const { return line_; }
  SimWire* wire() { return wire_; }

 private:
  void WaitSent();

  SimPortBank& bank_;
  SimWire* wire_ = nullptr;
  int port_ = -1;
  int baud_ = 0;
  std::uint32_t overlapped_ = 0;
  LineFields line_;
};

}  // namespace mc
