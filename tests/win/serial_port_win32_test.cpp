// The Win32 serial port against the emulated switcher on a pseudo-terminal.
#include "link/serial_port_win32.h"

#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "link/status_reply.h"
#include "tests/win/peer_ports.h"

namespace mc {
namespace {

// The status query as the console sends it.
constexpr std::array<std::uint8_t, 10> kStatusQuery = {0x0A, 0x42, 0x01, 0x00, 0x08,
                                                       0x08, 0x00, 0xFF, 0x01, 0x5D};

class Win32SerialPortTest : public test::WithPeers {
 protected:
  void TearDown() override { SetSerialErrorReporter({}); }

  // Reads the 21-byte status reply; true when it parses.
  static bool ReadStatusReply(SerialPort& port) {
    std::array<std::uint8_t, StatusReply::kSize> reply{};
    const std::size_t got = port.Read(reply.data(), reply.size());
    EXPECT_EQ(got, reply.size());
    return got == reply.size() && StatusReply::Parse(reply).has_value();
  }

  static void ExpectStatusExchange(SerialPort& port) {
    ASSERT_TRUE(port.PurgeRx());
    ASSERT_EQ(port.Write(kStatusQuery.data(), kStatusQuery.size()), kStatusQuery.size());
    EXPECT_TRUE(ReadStatusReply(port));
  }
};

// Records the completions of asynchronous writes.
class RecordingPort : public Win32SerialPort {
 public:
  void OnWriteComplete(std::uint32_t error, std::uint32_t bytes) override {
    completions.emplace_back(error, bytes);
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> completions;
};

TEST_F(Win32SerialPortTest, StatusQueryIsAnsweredOnPortsBelowAndAboveTen) {
  for (int com : {low_, high_}) {
    SCOPED_TRACE(ComDevicePath(com));
    Win32SerialPort port;
    ASSERT_TRUE(port.Open(com, 9600)) << "error " << GetLastError();
    ExpectStatusExchange(port);
  }
}

TEST_F(Win32SerialPortTest, ReadWithNothingArrivingReturnsZeroAfterAboutOneSecond) {
  Win32SerialPort port;
  ASSERT_TRUE(port.Open(low_, 9600));
  ASSERT_TRUE(port.PurgeRx());
  std::uint8_t byte = 0x5A;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(&byte, 1), 0u);
  const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(byte, 0x5A);
  // Real time under Wine: a generous band around the one-second timeout.
  EXPECT_GE(waited.count(), 0.8);
  EXPECT_LE(waited.count(), 3.0);
}

TEST_F(Win32SerialPortTest, OpenRefusesPortsOutOfRangeAndLeavesTheOpenPortAlone) {
  Win32SerialPort port;
  EXPECT_FALSE(port.Open(-1, 9600));
  EXPECT_FALSE(port.Open(256, 9600));
  EXPECT_FALSE(port.IsOpen());

  ASSERT_TRUE(port.Open(low_, 9600));
  void* const handle = port.handle();
  EXPECT_FALSE(port.Open(256, 9600));
  EXPECT_FALSE(port.Open(-1, 9600));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.handle(), handle);
  ExpectStatusExchange(port);
}

TEST_F(Win32SerialPortTest, AbsentPortStaysClosedAndClosingTwiceIsHarmless) {
  Win32SerialPort port;
  EXPECT_FALSE(port.Open(250, 9600));  // nothing mapped there
  EXPECT_FALSE(port.IsOpen());
  std::uint8_t byte = 0;
  EXPECT_EQ(port.Read(&byte, 1), 0u);
  EXPECT_EQ(port.Write(&byte, 1), 0u);
  port.Close();
  port.Close();
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(Win32SerialPortTest, ReopeningAnOpenPortReleasesTheOldHandleFirst) {
  Win32SerialPort port;
  ASSERT_TRUE(port.Open(low_, 9600));
  void* const first = port.handle();
  ASSERT_TRUE(port.Open(low_, 9600)) << "error " << GetLastError();
  // Either the old handle's slot was reused or the old handle is gone.
  DWORD flags = 0;
  EXPECT_TRUE(port.handle() == first || !GetHandleInformation(first, &flags));
  ExpectStatusExchange(port);
}

TEST_F(Win32SerialPortTest, OutOfRangeSelectorReportsErrorAndTheOpenGoesOn) {
  std::vector<std::pair<std::string, std::string>> reports;
  SetSerialErrorReporter([&](const std::string& text, const std::string& caption) {
    reports.emplace_back(text, caption);
  });
  Win32SerialPort port;
  ASSERT_TRUE(port.Open(low_, 9600, 7, 8, kOneStopBit, kFlowNone, 0));
  EXPECT_EQ(reports, (std::vector<std::pair<std::string, std::string>>{{"Error", "Error"}}));
  ExpectStatusExchange(port);
}

TEST_F(Win32SerialPortTest, AsyncWriteOnABlockingPortCompletesAtOnce) {
  RecordingPort port;
  ASSERT_TRUE(port.Open(low_, 9600));
  ASSERT_TRUE(port.PurgeRx());
  ASSERT_TRUE(port.WriteAsync(kStatusQuery.data(), kStatusQuery.size()));
  ASSERT_EQ(port.completions.size(), 1u);
  EXPECT_EQ(port.completions[0], std::make_pair(std::uint32_t{0}, std::uint32_t{10}));
  EXPECT_TRUE(ReadStatusReply(port));
}

TEST_F(Win32SerialPortTest, OverlappedModeRefusesBlockingIoAndCompletesAsyncWrites) {
  RecordingPort port;
  ASSERT_TRUE(port.Open(low_, 9600, kParityNone, 8, kOneStopBit, kFlowNone, 1));
  std::uint8_t buffer[4] = {0x55, 0x55, 0x55, 0x55};
  EXPECT_EQ(port.Read(buffer, 1), 0u);
  EXPECT_EQ(port.Write(buffer, 1), 0u);

  // Bytes that the stand-in ignores; the completion runs in an alertable wait.
  ASSERT_TRUE(port.WriteAsync(buffer, sizeof buffer));
  for (int i = 0; i < 30 && port.completions.empty(); ++i) SleepEx(100, TRUE);
  ASSERT_EQ(port.completions.size(), 1u);
  EXPECT_EQ(port.completions[0], std::make_pair(std::uint32_t{0}, std::uint32_t{4}));

  // A write still under way completes before Close() returns, not later on a
  // port object that may be gone by then.
  ASSERT_TRUE(port.WriteAsync(buffer, 2));
  port.Close();
  EXPECT_EQ(port.completions.size(), 2u);
  EXPECT_EQ(port.overlapped(), 0u);
}

}  // namespace
}  // namespace mc
