#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "link/port_discovery.h"
#include "tests/win/peer_ports.h"

namespace mc {
namespace {

using DiscoverComPortsTest = test::WithPeers;

TEST_F(DiscoverComPortsTest, ListsTheMappedPortsOnce) {
  const std::vector<int> ports = DiscoverComPorts();
  EXPECT_NE(std::find(ports.begin(), ports.end(), low_), ports.end()) << "COM" << low_;
  EXPECT_NE(std::find(ports.begin(), ports.end(), high_), ports.end()) << "COM" << high_;
  EXPECT_EQ(std::set<int>(ports.begin(), ports.end()).size(), ports.size());
}

}  // namespace
}  // namespace mc
