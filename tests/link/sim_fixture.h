// A switcher on a simulated cable and on a simulated TCP connection, on
// virtual time, with the console's Link on top.
#pragma once

#include "emulator/switcher_model.h"
#include "link/exchange.h"
#include "link/serial_port_sim.h"
#include "link/stream_socket.h"

namespace mc::test {

constexpr int kCom = 3;

struct SimSwitcher {
  VirtualClock clock;
  emu::SwitcherModel model;
  SimWire wire{clock, &model};
  SimWire tcpWire{clock, &model};
  SimPortBank bank;
  SimSerialPort serial{bank};
  SimSocket socket{tcpWire};
  Link link{clock, serial, socket};

  SimSwitcher() { bank.Add(kCom, wire); }

  void UseSerial() {
    link.ethernetMode = false;
    serial.Open(kCom, 9600);
  }
  void UseTcp() {
    link.ethernetMode = true;
    link.tcpConnected = socket.Connect("127.0.0.1", kSwitcherTcpPort, seconds(1));
  }
};

}  // namespace mc::test
