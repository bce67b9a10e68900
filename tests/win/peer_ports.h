// The COM ports that the Wine test run maps onto pseudo-terminals, each with
// the emulated switcher (or a stand-in) behind it answering the status query.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

namespace mc::test {

// Skips its tests unless scripts/wine-tests.sh passed the mapped ports: one
// below 10 and one above, so that both forms of port number are exercised.
class WithPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    low_ = Port("MC_WIN_PEER_COM");
    high_ = Port("MC_WIN_PEER_COM_HIGH");
    if (low_ <= 0 || high_ <= 0) {
      GTEST_SKIP() << "no COM ports mapped to a peer; run scripts/wine-tests.sh";
    }
  }

  int low_ = 0;
  int high_ = 0;

 private:
  static int Port(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr ? std::atoi(value) : 0;
  }
};

}  // namespace mc::test
