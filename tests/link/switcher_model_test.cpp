// The emulated switcher: what the console relies on in its answers.
#include "emulator/switcher_model.h"

#include <gtest/gtest.h>

#include "link/switcher_ops.h"
#include "sim_fixture.h"

namespace mc {
namespace {

using test::SimSwitcher;

TEST(SwitcherModel, RouteKeepsEachOutputsOffBit) {
  SimSwitcher sim;
  sim.model.config().outputs = {1, 2, 0x83, 4, 5, 6, 7, 8};
  sim.UseSerial();
  // Bit 0x10 (a re-route of the same input) is accepted and not stored.
  ASSERT_TRUE(RouteCrosspoint(sim.link, {1, 2, 3, 4, 5, 6, 7, 8}, 2, 2));
  ASSERT_TRUE(RouteInputToAll(sim.link, 5));
  const auto s = QueryStatus(sim.link, test::kCom, false);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->outputs[2], 0x85);
  EXPECT_EQ(s->outputs[1], 0x05);
}

TEST(SwitcherModel, RefusesARouteToAnInputThatDoesNotExist) {
  SimSwitcher sim;
  sim.UseSerial();
  RouteMap bad{1, 2, 3, 4, 5, 6, 7, 8};
  bad[4] = 9;
  EXPECT_FALSE(sim.link.Exchange(CommandFrame(kCmdRoute, bad), exchange::kRouteOne).Acked());
  EXPECT_EQ(sim.model.config().outputs[4], 5);
}

TEST(SwitcherModel, ReportsEveryModelAndPowerState) {
  for (int model : {0, 1, 2}) {
    for (std::uint8_t power : {0, 1, 2}) {
      SimSwitcher sim;
      sim.model.config().modelByte = model;
      sim.model.config().power = power;
      const auto s = QueryStatus(sim.link, test::kCom, false);
      ASSERT_TRUE(s);
      EXPECT_EQ(s->modelCode(), model + 1);
      EXPECT_EQ(s->power, power);
    }
  }
}

TEST(SwitcherModel, FactoryResetAcknowledgesThenSendsReadyThenAnswersAgain) {
  SimSwitcher sim;
  sim.model.config().resetReady = seconds(20);
  sim.model.config().resetStatus = seconds(25);
  sim.model.config().outputs = {3, 3, 3, 3, 3, 3, 3, 3};
  sim.UseSerial();
  const Duration start = sim.clock.Now();
  ASSERT_TRUE(
      sim.link.Exchange(CommandFrame(kCmdFactoryReset, {}), exchange::kFactoryReset).Acked());

  // Nothing more until the reset is done; then one ready byte.
  std::uint8_t b = 0;
  sim.clock.Sleep(milliseconds(15000));
  EXPECT_EQ(sim.serial.Read(&b, 1), 0u);
  sim.clock.Sleep(milliseconds(5000));
  ASSERT_EQ(sim.serial.Read(&b, 1), 1u);
  EXPECT_EQ(b, kAck);
  // The ready byte was waiting: the read took no time.
  EXPECT_EQ(sim.clock.Now() - start, Duration(10 * 1041) + milliseconds(30 + 15000 + 1000 + 5000));

  // Still busy: a status query goes unanswered until 25 s after the reset.
  const CommandFrame status(kCmdStatus, {});
  const ExchangeParams probe = exchange::Dialog(1);
  EXPECT_FALSE(sim.link.Exchange(status, probe).Acked());
  sim.clock.Sleep(seconds(5));
  EXPECT_TRUE(sim.link.Exchange(status, probe).StartsWithAck());
  const auto s = QueryStatus(sim.link, test::kCom, false);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->RoutedInput(0), 1);  // defaults again
  EXPECT_EQ(s->RoutedInput(7), 8);
}

TEST(SwitcherModel, FaultsApplyToTheRepliesTheyNameAndRunOut) {
  SimSwitcher sim;
  sim.UseSerial();
  sim.model.AddFault({emu::Fault::kSilence, 2, kCmdPower});
  EXPECT_TRUE(QueryStatus(sim.link, test::kCom, false));  // other commands unaffected
  EXPECT_FALSE(SetPower(sim.link, 1));                    // two attempts, both silent
  EXPECT_TRUE(SetPower(sim.link, 1));
  sim.model.AddFault({emu::Fault::kLate, 1});
  // A reply 1.5 s late misses the 100 ms settle and the 1 s read; the retry
  // purges what arrived by then and gets a fresh answer.
  const ExchangeResult r = sim.link.Exchange(PowerFrame(0), exchange::kPower);
  EXPECT_TRUE(r.Acked());
  EXPECT_EQ(r.attempts, 2);
}

TEST(SwitcherModel, IgnoresGarbageAndResynchronises) {
  SimSwitcher sim;
  sim.UseSerial();
  const std::uint8_t junk[] = {0x00, 0xFF, 0x42, 0x07};
  sim.serial.Write(junk, sizeof junk);
  sim.clock.Sleep(seconds(1));  // a gap starts a new frame
  EXPECT_TRUE(QueryStatus(sim.link, test::kCom, false));
  // A frame with a wrong sum is not answered.
  CommandFrame f(kCmdPower, {kAck});
  std::vector<std::uint8_t> bytes(f.data(), f.data() + f.size());
  bytes.back() ^= 0xFF;
  sim.serial.PurgeRx();
  sim.serial.Write(bytes.data(), bytes.size());
  std::uint8_t b = 0;
  EXPECT_EQ(sim.serial.Read(&b, 1), 0u);
}

}  // namespace
}  // namespace mc
