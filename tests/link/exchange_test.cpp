// The exchanges of the main window's commands on virtual time: bytes sent,
// waits, retries and what counts as an answer.
#include "link/exchange.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/switcher_ops.h"
#include "sim_fixture.h"

namespace mc {
namespace {

using emu::Fault;
using emu::FaultRule;
using std::chrono::microseconds;
using test::SimSwitcher;
using ms = std::chrono::milliseconds;

std::vector<Duration> Ms(std::initializer_list<int> values) {
  std::vector<Duration> out;
  for (int v : values) out.push_back(ms(v));
  return out;
}

struct SerialCase {
  const char* name;
  const ExchangeParams* params;
  CommandFrame frame;
  std::vector<FaultRule> faults;
  bool ok;  // acknowledged / full reply
  int attempts;
  std::vector<Duration> sleeps;  // every sleep of the exchange, in order
  int elapsedMs;                 // besides line time; a read that times out waits 1 s
};

void PrintTo(const SerialCase& c, std::ostream* os) {
  *os << c.name;
}

class SerialExchange : public ::testing::TestWithParam<SerialCase> {};

TEST_P(SerialExchange, SendsWaitsAndRetriesAsItsRowSays) {
  const SerialCase& c = GetParam();
  SimSwitcher sim;
  sim.UseSerial();
  for (const FaultRule& f : c.faults) sim.model.AddFault(f);
  const Duration start = sim.clock.Now();

  const ExchangeResult r = sim.link.Exchange(c.frame, *c.params);

  const bool ok = c.params->serial.accept == Accept::kAck
                      ? r.Acked()
                      : r.received == c.params->serial.replyLength;
  EXPECT_EQ(ok, c.ok);
  EXPECT_EQ(r.attempts, c.attempts);
  EXPECT_EQ(sim.clock.Sleeps(), c.sleeps);
  // A blocking write lasts as long as its bytes take on the line at 9600 baud.
  const Duration lineTime = Duration(1041) * static_cast<long>(c.frame.size()) * c.attempts;
  EXPECT_EQ(sim.clock.Now() - start, milliseconds(c.elapsedMs) + lineTime);
  // Every attempt writes the same whole frame.
  ASSERT_EQ(sim.wire.HostBytes().size(), c.frame.size() * static_cast<std::size_t>(c.attempts));
  for (std::size_t i = 0; i < sim.wire.HostBytes().size(); ++i) {
    EXPECT_EQ(sim.wire.HostBytes()[i].byte, c.frame.data()[i % c.frame.size()]);
  }
}

const RouteMap kMap{1, 2, 3, 4, 5, 6, 7, 8};
const FaultRule kSilent{Fault::kSilence};

INSTANTIATE_TEST_SUITE_P(
    MainWindowRows, SerialExchange,
    ::testing::Values(SerialCase{"RouteOneAcked",
                                 &exchange::kRouteOne,
                                 RouteCrosspointFrame(kMap, 5, 3),
                                 {},
                                 true,
                                 1,
                                 Ms({100}),
                                 100},
                      SerialCase{"RouteOneSilentRetriesOnce",
                                 &exchange::kRouteOne,
                                 RouteCrosspointFrame(kMap, 5, 3),
                                 {kSilent},
                                 false,
                                 2,
                                 Ms({100, 100, 100}),
                                 100 + 1000 + 100 + 100 + 1000},
                      SerialCase{"RouteAllRetriesUntilAck",
                                 &exchange::kRouteAll,
                                 RouteAllFrame(3),
                                 {{Fault::kWrongAck, 3}},
                                 true,
                                 4,
                                 Ms({100, 500, 500, 500, 500, 500, 500}),
                                 100 + 6 * 500},
                      SerialCase{"RouteAllGivesUpAfterTen",
                                 &exchange::kRouteAll,
                                 RouteAllFrame(3),
                                 {kSilent},
                                 false,
                                 11,
                                 Ms({100, 500, 500, 500, 500, 500, 500, 500, 500, 500, 500,
                                     500, 500, 500, 500, 500, 500, 500, 500, 500, 500}),
                                 100 + 1000 + 10 * (500 + 500 + 1000)},
                      SerialCase{"PowerWrongAckRetriesOnce",
                                 &exchange::kPower,
                                 PowerFrame(1),
                                 {{Fault::kWrongAck, 1}},
                                 true,
                                 2,
                                 Ms({100, 100, 100}),
                                 300},
                      SerialCase{"StatusUserRetriesWhileShort",
                                 &exchange::kStatusUser,
                                 CommandFrame(kCmdStatus, {}),
                                 {{Fault::kShortReply, 2}},
                                 true,
                                 3,
                                 Ms({500, 500, 500}),
                                 500 + 1000 + 500 + 1000 + 500},
                      SerialCase{"StatusUserGivesUpAfterNine",
                                 &exchange::kStatusUser,
                                 CommandFrame(kCmdStatus, {}),
                                 {kSilent},
                                 false,
                                 9,
                                 Ms({500, 500, 500, 500, 500, 500, 500, 500, 500}),
                                 9 * 1500},
                      SerialCase{"StatusPollNoRetry",
                                 &exchange::kStatusPoll,
                                 CommandFrame(kCmdStatus, {}),
                                 {{Fault::kShortReply, 1}},
                                 false,
                                 1,
                                 Ms({500}),
                                 1500},
                      SerialCase{"FactoryReset",
                                 &exchange::kFactoryReset,
                                 CommandFrame(kCmdFactoryReset, {}),
                                 {},
                                 true,
                                 1,
                                 Ms({30}),
                                 30}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SerialExchange, MissingReplyNeverReadsAsAck) {
  SimSwitcher sim;
  sim.UseSerial();
  sim.model.AddFault(kSilent);
  const ExchangeResult r = sim.link.Exchange(PowerFrame(1), exchange::kPower);
  EXPECT_EQ(r.received, 0u);
  EXPECT_FALSE(r.Acked());
  EXPECT_NE(r.reply[0], kAck);
}

TEST(TcpExchange, WaitsAsItsRowSays) {
  struct Case {
    const char* name;
    const ExchangeParams* params;
    CommandFrame frame;
    bool silent;
    std::size_t received;
    std::vector<Duration> sleeps;
    Duration elapsed;
  };
  const Case cases[] = {
      // Status: drain 500 us finds nothing, pause 1500 ms, reply waiting.
      {"status", &exchange::kStatusUser, CommandFrame(kCmdStatus, {}), false, 21, Ms({1500}),
       microseconds(500) + ms(1500)},
      // No reply: the whole select() wait of 4 s + 10 us passes.
      {"route one silent",
       &exchange::kRouteOne,
       RouteCrosspointFrame(kMap, 1, 2),
       true,
       0,
       {},
       seconds(4) + microseconds(10)},
      {"power silent",
       &exchange::kPower,
       PowerFrame(0),
       true,
       0,
       {},
       microseconds(10) + microseconds(100)},
      // Factory reset: a 3 s drain, then nothing is read.
      {"factory reset",
       &exchange::kFactoryReset,
       CommandFrame(kCmdFactoryReset, {}),
       false,
       0,
       {},
       seconds(3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimSwitcher sim;
    sim.model.config().replyDelay = Duration(0);
    sim.UseTcp();
    if (c.silent) sim.model.AddFault(kSilent);
    const Duration start = sim.clock.Now();
    const ExchangeResult r = sim.link.Exchange(c.frame, *c.params);
    EXPECT_EQ(r.received, c.received);
    EXPECT_EQ(sim.clock.Sleeps(), c.sleeps);
    EXPECT_EQ(sim.clock.Now() - start, c.elapsed);
    EXPECT_EQ(sim.tcpWire.HostBytes().size(), c.frame.size());
  }
}

TEST(TcpExchange, FactoryResetSendCountsAsAcknowledged) {
  SimSwitcher sim;
  sim.UseTcp();
  sim.model.AddFault(kSilent);
  EXPECT_TRUE(
      sim.link.Exchange(CommandFrame(kCmdFactoryReset, {}), exchange::kFactoryReset).Acked());
}

TEST(TcpExchange, DrainDiscardsAStaleReply) {
  // A late 0x55 from an earlier exchange waits in the socket. Power drains it
  // first; route-one-crosspoint has no drain and reads it as its answer.
  for (bool drained : {true, false}) {
    SimSwitcher sim;
    sim.model.config().replyDelay = Duration(0);
    sim.UseTcp();
    sim.tcpWire.Send(sim.clock.Now(), std::uint8_t{0x55});
    const ExchangeResult r =
        drained ? sim.link.Exchange(PowerFrame(1), exchange::kPower)
                : sim.link.Exchange(RouteCrosspointFrame(kMap, 1, 1), exchange::kRouteOne);
    EXPECT_EQ(r.Acked(), drained);
    EXPECT_EQ(r.reply[0], drained ? kAck : 0x55);
  }
}

TEST(Link, NotUsableSendsNothing) {
  SimSwitcher sim;
  // Serial mode with the port closed; Ethernet mode without a connection.
  EXPECT_FALSE(sim.link.Usable());
  EXPECT_FALSE(sim.link.Exchange(PowerFrame(1), exchange::kPower).sent);
  sim.link.ethernetMode = true;
  EXPECT_FALSE(sim.link.Usable());
  EXPECT_FALSE(sim.link.Exchange(PowerFrame(1), exchange::kPower).sent);
  EXPECT_TRUE(sim.wire.HostBytes().empty());
  EXPECT_TRUE(sim.tcpWire.HostBytes().empty());
  EXPECT_TRUE(sim.model.Frames().empty());
  EXPECT_EQ(sim.clock.Now(), Duration(0));
}

TEST(SwitcherOps, RouteFrameMarksAReRoute) {
  // Re-clicking the lit crosspoint of input 3 sets bit 0x10 in that byte only.
  const CommandFrame same = RouteCrosspointFrame(kMap, 3, 3);
  EXPECT_EQ(same.data()[9 + 2], 0x13);
  const CommandFrame other = RouteCrosspointFrame(kMap, 3, 5);
  EXPECT_EQ(other.data()[9 + 2], 0x05);
  for (int k : {0, 1, 3, 4, 5, 6, 7})
    EXPECT_EQ(other.data()[9 + k], kMap[static_cast<std::size_t>(k)]);
  EXPECT_EQ(RouteAllFrame(3).size(), 18u);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(RouteAllFrame(3).data()[9 + k], 3);
  EXPECT_EQ(PowerFrame(2).data()[9], 0xAA);
  EXPECT_EQ(PowerFrame(0).data()[9], 0x55);
}

TEST(SwitcherOps, RoutingAndPowerChangeTheSwitcher) {
  SimSwitcher sim;
  sim.UseSerial();
  ASSERT_TRUE(RouteCrosspoint(sim.link, kMap, 5, 3));
  ASSERT_TRUE(SetPower(sim.link, 0));
  const auto s = QueryStatus(sim.link, test::kCom, false);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->RoutedInput(4), 3);
  EXPECT_EQ(s->power, 0);
  ASSERT_TRUE(RouteInputToAll(sim.link, 7));
  const auto all = QueryStatus(sim.link, test::kCom, true);
  ASSERT_TRUE(all);
  for (int k = 0; k < kOutputs; ++k) EXPECT_EQ(all->RoutedInput(k), 7);
}

TEST(SwitcherOps, StatusQueryReopensThePortAndRejectsBadReplies) {
  SimSwitcher sim;
  // The port is closed: the query opens it on the given COM number.
  EXPECT_TRUE(QueryStatus(sim.link, test::kCom, false));
  EXPECT_TRUE(sim.serial.IsOpen());
  EXPECT_EQ(sim.serial.baud(), 9600);
  for (Fault f : {Fault::kBadChecksum, Fault::kWrongAck, Fault::kShortReply}) {
    sim.model.AddFault({f, 1});
    EXPECT_FALSE(QueryStatus(sim.link, test::kCom, true)) << emu::FaultName(f);
  }
}

}  // namespace
}  // namespace mc
