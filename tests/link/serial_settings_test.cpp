// The line settings that opening a serial port applies to the port's DCB.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "link/serial_port.h"

namespace mc {
namespace {

using Report = std::pair<std::string, std::string>;

class LineSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSerialErrorReporter([this](const std::string& text, const std::string& caption) {
      reports_.emplace_back(text, caption);
    });
  }
  void TearDown() override { SetSerialErrorReporter({}); }

  // Fields as a port might have them before Open: every flow flag set, so
  // that the rows that clear them show it.
  static LineFields Before() {
    LineFields f;
    f.baudRate = 115200;
    f.byteSize = 7;
    f.parity = win32::ODDPARITY;
    f.stopBits = win32::TWOSTOPBITS;
    f.fDsrSensitivity = true;
    f.fOutxCtsFlow = f.fOutxDsrFlow = f.fOutX = f.fInX = true;
    f.fRtsControl = 1;
    f.fDtrControl = 1;
    return f;
  }

  std::vector<Report> reports_;
};

TEST_F(LineSettings, ConsoleSettingsGive9600EightNoneOne) {
  LineFields f = Before();
  ApplyLineSettings(f, 9600, kParityNone, 8, kOneStopBit, kFlowNone);
  EXPECT_EQ(f.baudRate, 9600u);
  EXPECT_EQ(f.byteSize, 8);
  EXPECT_EQ(f.parity, win32::NOPARITY);
  EXPECT_EQ(f.stopBits, win32::ONESTOPBIT);
  EXPECT_FALSE(f.fDsrSensitivity);
  EXPECT_FALSE(f.fOutxCtsFlow || f.fOutxDsrFlow || f.fOutX || f.fInX);
  EXPECT_EQ(f.fRtsControl, 1);  // untouched by "none"
  EXPECT_EQ(f.fDtrControl, 1);
  EXPECT_TRUE(reports_.empty());
}

TEST_F(LineSettings, ParityAndStopBitSelectorsMapToTheDcbValues) {
  const std::uint8_t parity[] = {win32::EVENPARITY, win32::MARKPARITY, win32::NOPARITY,
                                 win32::ODDPARITY, win32::SPACEPARITY};
  for (int sel = 0; sel < 5; ++sel) {
    LineFields f = Before();
    ApplyLineSettings(f, 9600, sel, 8, kOneStopBit, kFlowNone);
    EXPECT_EQ(f.parity, parity[sel]) << "parity selector " << sel;
  }
  const std::uint8_t stop[] = {win32::ONESTOPBIT, win32::ONE5STOPBITS, win32::TWOSTOPBITS};
  for (int sel = 0; sel < 3; ++sel) {
    LineFields f = Before();
    ApplyLineSettings(f, 9600, kParityNone, 8, sel, kFlowNone);
    EXPECT_EQ(f.stopBits, stop[sel]) << "stop-bits selector " << sel;
  }
  EXPECT_TRUE(reports_.empty());
}

TEST_F(LineSettings, FlowControlRows) {
  struct Row {
    int selector;
    bool cts, dsr, outX, inX;
    std::uint8_t rts, dtr;
  };
  const Row rows[] = {
      {kFlowNone, false, false, false, false, 1, 1},
      {kFlowCtsRts, true, false, false, false, win32::RTS_CONTROL_HANDSHAKE, 1},
      {kFlowCtsDtr, true, false, false, false, 1, win32::DTR_CONTROL_HANDSHAKE},
      {kFlowDsrRts, false, true, false, false, win32::RTS_CONTROL_HANDSHAKE, 1},
      {kFlowDsrDtr, false, true, false, false, 1, win32::DTR_CONTROL_HANDSHAKE},
      {kFlowXonXoff, false, false, true, true, 1, 1},
  };
  for (const Row& r : rows) {
    LineFields f = Before();
    ApplyLineSettings(f, 9600, kParityNone, 8, kOneStopBit, r.selector);
    SCOPED_TRACE(r.selector);
    EXPECT_FALSE(f.fDsrSensitivity);
    EXPECT_EQ(f.fOutxCtsFlow, r.cts);
    EXPECT_EQ(f.fOutxDsrFlow, r.dsr);
    EXPECT_EQ(f.fOutX, r.outX);
    EXPECT_EQ(f.fInX, r.inX);
    EXPECT_EQ(f.fRtsControl, r.rts);
    EXPECT_EQ(f.fDtrControl, r.dtr);
    if (r.selector == kFlowXonXoff) {
      EXPECT_EQ(f.xonChar, 0x11);
      EXPECT_EQ(f.xoffChar, 0x13);
      EXPECT_EQ(f.xonLim, 100);
      EXPECT_EQ(f.xoffLim, 100);
    } else {
      EXPECT_EQ(f.xonChar, 0);
      EXPECT_EQ(f.xonLim, 0);
    }
  }
  EXPECT_TRUE(reports_.empty());
}

TEST_F(LineSettings, OutOfRangeSelectorReportsAndKeepsOnlyThatSetting) {
  struct Case {
    int parity, stopBits, flow;
  };
  const Case cases[] = {{5, kOneStopBit, kFlowNone},   {-1, kOneStopBit, kFlowNone},
                        {kParityNone, 3, kFlowNone},   {kParityNone, -1, kFlowNone},
                        {kParityNone, kOneStopBit, 6}, {kParityNone, kOneStopBit, -1}};
  for (const Case& c : cases) {
    reports_.clear();
    const LineFields before = Before();
    LineFields f = before;
    ApplyLineSettings(f, 19200, c.parity, 8, c.stopBits, c.flow);
    SCOPED_TRACE(testing::Message() << c.parity << "/" << c.stopBits << "/" << c.flow);
    EXPECT_EQ(reports_, (std::vector<Report>{{"Error", "Error"}}));
    // The rest is applied.
    EXPECT_EQ(f.baudRate, 19200u);
    EXPECT_EQ(f.byteSize, 8);
    EXPECT_FALSE(f.fDsrSensitivity);
    EXPECT_EQ(f.parity, c.parity == kParityNone ? win32::NOPARITY : before.parity);
    EXPECT_EQ(f.stopBits, c.stopBits == kOneStopBit ? win32::ONESTOPBIT : before.stopBits);
    EXPECT_EQ(f.fOutxCtsFlow, c.flow == kFlowNone ? false : before.fOutxCtsFlow);
    EXPECT_EQ(f.fOutX, c.flow == kFlowNone ? false : before.fOutX);
  }
}

}  // namespace
}  // namespace mc
