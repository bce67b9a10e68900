// The POSIX serial port and the TCP socket against a running switcher-emu,
// on a pseudo-terminal and on loopback, in real time.
#include <gtest/gtest.h>

#include <chrono>

#include "emu_process.h"
#include "link/serial_port_posix.h"
#include "link/switcher_ops.h"

namespace mc {
namespace {

using test::EmuProcess;

TEST(RealIo, SerialStatusRouteAndPowerOverAPseudoTerminal) {
  EmuProcess emu({"--pty", "--model", "k720-6x4", "--power", "2", "--inputs", "0,1,0,0,0,0,0,0"});
  ASSERT_TRUE(emu.running());
  PosixSerialPort serial(PosixSerialPort::FixedPath(emu.where()));
  NetSocket socket;
  Link link(SystemClock(), serial, socket);

  auto s = QueryStatus(link, 1, false);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->modelCode(), kModelK720_6x4);
  EXPECT_EQ(s->power, 2);
  EXPECT_EQ(s->inputFlags[1], 1);
  ASSERT_TRUE(RouteCrosspoint(link, s->outputs, 2, 6));
  ASSERT_TRUE(SetPower(link, 0));
  s = QueryStatus(link, 1, true);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->RoutedInput(1), 6);
  EXPECT_EQ(s->power, 0);
}

TEST(RealIo, SerialReadWithNothingArrivingReturnsNothingWithinAboutASecond) {
  EmuProcess emu({"--pty"});
  ASSERT_TRUE(emu.running());
  PosixSerialPort serial(PosixSerialPort::FixedPath(emu.where()));
  ASSERT_TRUE(serial.Open(1, 9600));
  std::uint8_t b[4];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(serial.Read(b, sizeof b), 0u);
  // A loose bound: this checks that the read gives up, not how fast.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  serial.Close();
  serial.Close();  // closing a closed port is harmless
  EXPECT_EQ(serial.Read(b, sizeof b), 0u);
  EXPECT_EQ(serial.Write(b, sizeof b), 0u);
}

TEST(RealIo, OpenRefusesPortsOutOfRange) {
  for (int port : {-1, 256}) {
    bool asked = false;
    PosixSerialPort serial([&](int) {
      asked = true;
      return std::string("/dev/null");
    });
    EXPECT_FALSE(serial.Open(port, 9600)) << port;
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_FALSE(asked) << "port " << port << " reached the device";
  }
}

TEST(RealIo, TcpStatusAndRouteOverLoopback) {
  EmuProcess emu({"--tcp", "127.0.0.1:0", "--model", "k720"});
  ASSERT_TRUE(emu.running());
  const std::string where = emu.where();
  const auto port = static_cast<std::uint16_t>(std::stoi(where.substr(where.rfind(':') + 1)));
  PosixSerialPort serial;
  NetSocket socket;
  ASSERT_TRUE(socket.Connect("127.0.0.1", port, seconds(2)));
  Link link(SystemClock(), serial, socket);
  link.ethernetMode = true;
  link.tcpConnected = true;

  auto s = QueryStatus(link, 1, false);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->modelCode(), kModelK720);
  EXPECT_TRUE(RouteCrosspoint(link, s->outputs, 8, 1));
  s = QueryStatus(link, 1, true);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->RoutedInput(7), 1);
}

TEST(RealIo, TcpConnectToAClosedPortFails) {
  int port = 0;
  {
    EmuProcess emu({"--tcp", "127.0.0.1:0"});
    ASSERT_TRUE(emu.running());
    const std::string where = emu.where();
    port = std::stoi(where.substr(where.rfind(':') + 1));
  }  // the emulator has gone: nothing listens on its port now
  NetSocket socket;
  EXPECT_FALSE(socket.Connect("127.0.0.1", static_cast<std::uint16_t>(port), seconds(1)));
  EXPECT_FALSE(socket.IsOpen());
}

}  // namespace
}  // namespace mc
