#include "link/switcher_ops.h"

namespace mc {

std::optional<StatusReply> QueryStatus(Link& link, int comPort, bool periodic) {
  auto lock = link.Lock();
  if (!link.ethernetMode) {
    link.serial().Close();
    link.serial().Open(comPort, 9600);
  }
  const ExchangeResult r = link.Exchange(CommandFrame(kCmdStatus, {}),
                                         periodic ? exchange::kStatusPoll : exchange::kStatusUser);
  return StatusReply::Parse(r.bytes());
}

CommandFrame RouteCrosspointFrame(const RouteMap& map, int output, int input) {
  RouteMap next = map;
  const std::size_t k = static_cast<std::size_t>(output - 1);
  next[k] = static_cast<std::uint8_t>(input);
  if (input == map[k]) next[k] |= 0x10;
  return CommandFrame(kCmdRoute, next);
}

CommandFrame RouteAllFrame(int input) {
  RouteMap all;
  all.fill(static_cast<std::uint8_t>(input));
  return CommandFrame(kCmdRoute, all);
}

CommandFrame PowerFrame(int powerState) {
  return CommandFrame(kCmdPower, {powerState != 0 ? kAck : std::uint8_t{0x55}});
}

bool RouteCrosspoint(Link& link, const RouteMap& map, int output, int input) {
  return link.Exchange(RouteCrosspointFrame(map, output, input), exchange::kRouteOne).Acked();
}

bool RouteInputToAll(Link& link, int input) {
  return link.Exchange(RouteAllFrame(input), exchange::kRouteAll).Acked();
}

bool SetPower(Link& link, int powerState) {
  return link.Exchange(PowerFrame(powerState), exchange::kPower).Acked();
}

}  // namespace mc
