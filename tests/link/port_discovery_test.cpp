#include "link/port_discovery.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace mc {
namespace {

struct NameCase {
  const char* friendlyName;
  std::optional<int> port;
};

TEST(ParseComNumber, TakesTheNumberAfterTheFirstUpperCaseCom) {
  const NameCase cases[] = {
      {"Communications Port (COM1)", 1},  // "Com" of the word does not match
      {"USB Serial Port (COM12)", 12},
      {"Prolific USB-to-Serial Comm Port (COM255)", 255},
      {"COM3", 3},
      {"Port (COMx)", 0},                       // no digits: 0, as atoi gives
      {"Port (COM 7)", 7},                      // atoi skips blanks
      {"COM4 then COM9", 4},                    // the first "COM" counts
      {"Bluetooth link (com5)", std::nullopt},  // case-sensitive
      {"Printer Port (LPT1)", std::nullopt},
      {"", std::nullopt},
      {"Port (COM99999999999999999999)", 2147483647},  // saturates, no overflow
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(ParseComNumber(c.friendlyName), c.port) << c.friendlyName;
  }
}

TEST(ComboText, HasASpaceBeforeTheNumber) {
  EXPECT_EQ(ComboText(12), "COM 12");
  EXPECT_EQ(ComboText(1), "COM 1");
}

TEST(MergePorts, KeepsOrderAndAddsOnlyNewPorts) {
  std::vector<int> ports = {7, 3};
  EXPECT_FALSE(AppendUnique(ports, 7));
  EXPECT_TRUE(AppendUnique(ports, 12));
  MergeUnique(ports, {3, 5, 5, 1});
  EXPECT_EQ(ports, (std::vector<int>{7, 3, 12, 5, 1}));
}

TEST(MergePorts, ComNamesOfTheDeviceMapAppendInOrderSkippingOthers) {
  // The Ports class gave COM7 then COM3; the device map lists COM3 too.
  std::vector<int> ports = {7, 3};
  MergeComNames(ports, {"COM3", "COM12", "garbage", "COM5", "COM12"});
  EXPECT_EQ(ports, (std::vector<int>{7, 3, 12, 5}));
}

TEST(MergePorts, GrowsPastTwentyFivePorts) {
  std::vector<int> ports;
  std::vector<std::string> names;
  for (int n = 1; n <= 40; ++n) names.push_back("COM" + std::to_string(n));
  MergeComNames(ports, names);
  ASSERT_EQ(ports.size(), 40u);
  EXPECT_EQ(ports.back(), 40);
}

#if !defined(_WIN32)
TEST(DiscoverSerialDevices, ListsOnlySerialNodesThatExist) {
  for (const std::string& path : DiscoverSerialDevices()) {
    EXPECT_TRUE(path.rfind("/dev/ttyS", 0) == 0 || path.rfind("/dev/ttyUSB", 0) == 0 ||
                path.rfind("/dev/ttyACM", 0) == 0)
        << path;
  }
}
#endif

}  // namespace
}  // namespace mc
