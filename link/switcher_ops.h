// The main window's requests to the switcher, shared with matrixctl:
// status query, routing and power, each one exchange on a Link.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "link/command_frame.h"
#include "link/exchange.h"
#include "link/status_reply.h"

namespace mc {

using RouteMap = std::array<std::uint8_t, kOutputs>;

// Status query. Over serial the port is closed and re-opened on `comPort`
// at 9600 8N1 first. A user-started query retries while the reply is short;
// a periodic poll does not. Anything but a valid reply gives nullopt.
std::optional<StatusReply> QueryStatus(Link& link, int comPort, bool periodic);

// Route frame for a click on (output, input), both 1-based, on the map the
// console holds: the whole map with that output's byte changed, bit 0x10 set
// when the input is the one already routed there.
CommandFrame RouteCrosspointFrame(const RouteMap& map, int output, int input);
// Route frame sending one input to every output.
CommandFrame RouteAllFrame(int input);
// Power frame: 0xAA for a non-zero power state, 0x55 for 0.
CommandFrame PowerFrame(int powerState);

bool RouteCrosspoint(Link& link, const RouteMap& map, int output, int input);
bool RouteInputToAll(Link& link, int input);
bool SetPower(Link& link, int powerState);

}  // namespace mc
