// matrixctl ports, status, route and power.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "link/port_discovery.h"
#include "link/serial_port_posix.h"
#include "link/stream_socket.h"
#include "link/switcher_ops.h"

namespace mc::cli {

namespace {

// The nominal COM number of a port given by path.
constexpr int kPathPort = 1;

struct LinkArgs {
  std::string port;  // serial device path
  std::string host;  // TCP address
  std::uint16_t tcpPort = kSwitcherTcpPort;
  bool json = false;
  std::vector<std::string> rest;
};

int Usage(const char* synopsis) {
  std::fprintf(stderr, "usage: matrixctl %s\n", synopsis);
  std::fprintf(stderr, "  LINK is --port PATH (serial, 9600 8N1) or --host ADDR[:PORT] (TCP)\n");
  return 2;
}

// Parses --port/--host/--json and collects the other words; false on a
// malformed option.
bool ParseLinkArgs(const Args& args, bool allowJson, LinkArgs* out, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--port" || a == "--host") {
      if (i + 1 >= args.size()) {
        *error = a + " needs a value";
        return false;
      }
      std::string v = args[++i];
      if (a == "--port") {
        out->port = v;
        continue;
      }
      const std::size_t colon = v.rfind(':');
      if (colon != std::string::npos) {
        char* end = nullptr;
        const long p = std::strtol(v.c_str() + colon + 1, &end, 10);
        if (*end != '\0' || p < 1 || p > 65535) {
          *error = "bad TCP port in " + v;
          return false;
        }
        out->tcpPort = static_cast<std::uint16_t>(p);
        v.resize(colon);
      }
      out->host = v;
    } else if (allowJson && a == "--json") {
      out->json = true;
    } else if (a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9')) {
      *error = "unknown option " + a;
      return false;
    } else {
      out->rest.push_back(a);
    }
  }
  if (out->port.empty() == out->host.empty()) {
    *error = "give exactly one of --port PATH and --host ADDR[:PORT]";
    return false;
  }
  return true;
}

// An open link to the switcher, over serial or TCP.
class CliLink {
 public:
  explicit CliLink(const LinkArgs& a)
      : serial_(PosixSerialPort::FixedPath(a.port)), link_(SystemClock(), serial_, socket_) {
    if (!a.host.empty()) {
      link_.ethernetMode = true;
      where_ = a.host + ":" + std::to_string(a.tcpPort);
      link_.tcpConnected = socket_.Connect(a.host, a.tcpPort, seconds(3));
    } else {
      where_ = a.port;
      serial_.Open(kPathPort, 9600);
    }
  }
  bool usable() const { return link_.Usable(); }
  const std::string& where() const { return where_; }
  Link& link() { return link_; }

 private:
  PosixSerialPort serial_;
  NetSocket socket_;
  Link link_;
  std::string where_;
};

int Failed(const std::string& what) {
  std::fprintf(stderr, "matrixctl: %s\n", what.c_str());
  return 1;
}

std::optional<int> Number(const std::string& s, int lo, int hi) {
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || v < lo || v > hi) return std::nullopt;
  return static_cast<int>(v);
}

const char* PowerText(int power) {
  switch (power) {
    case 0: return "off";
    case 2: return "standby";
    default: return "on";
  }
}

void PrintStatus(const StatusReply& s) {
  std::printf("Model: %s\n", ModelName(s.modelCode()));
  std::printf("Power: %s (%d)\n", PowerText(s.power), s.power);
  std::printf("Output  Input  State\n");
  for (int k = 0; k < kOutputs; ++k) {
    std::printf("%6d  %5d  %s\n", k + 1, s.RoutedInput(k), s.OutputOff(k) ? "off" : "on");
  }
  std::printf("Input signal:");
  for (int i = 0; i < kInputs; ++i) {
    std::printf(" %d:%s", i + 1, s.inputFlags[static_cast<std::size_t>(i)] ? "yes" : "no");
  }
  std::printf("\n");
}

void PrintStatusJson(const StatusReply& s) {
  std::printf("{\"model\": \"%s\", \"modelCode\": %d, \"power\": %d, \"outputs\": [",
              ModelName(s.modelCode()), s.modelCode(), s.power);
  for (int k = 0; k < kOutputs; ++k) {
    std::printf("%s{\"output\": %d, \"input\": %d, \"off\": %s}", k ? ", " : "", k + 1,
                s.RoutedInput(k), s.OutputOff(k) ? "true" : "false");
  }
  std::printf("], \"inputs\": [");
  for (int i = 0; i < kInputs; ++i) {
    std::printf("%s{\"input\": %d, \"signal\": %s}", i ? ", " : "", i + 1,
                s.inputFlags[static_cast<std::size_t>(i)] ? "true" : "false");
  }
  std::printf("]}\n");
}

// Opens the link and reads the status: the common start of every command.
int OpenAndQuery(CliLink& cli, std::optional<StatusReply>* status) {
  if (!cli.usable()) return Failed("cannot open " + cli.where());
  *status = QueryStatus(cli.link(), kPathPort, false);
  if (!*status) return Failed("no valid status reply from the switcher on " + cli.where());
  return 0;
}

}  // namespace

int CmdPorts(const Args& args) {
  if (!args.empty()) return Usage("ports");
  for (const std::string& path : DiscoverSerialDevices()) std::printf("%s\n", path.c_str());
  return 0;
}

int CmdStatus(const Args& args) {
  constexpr const char* kSynopsis = "status [--json] LINK";
  LinkArgs a;
  std::string error;
  if (!ParseLinkArgs(args, true, &a, &error) || !a.rest.empty()) {
    if (!error.empty()) std::fprintf(stderr, "matrixctl status: %s\n", error.c_str());
    return Usage(kSynopsis);
  }
  CliLink cli(a);
  std::optional<StatusReply> status;
  if (int rc = OpenAndQuery(cli, &status)) return rc;
  a.json ? PrintStatusJson(*status) : PrintStatus(*status);
  return 0;
}

int CmdRoute(const Args& args) {
  constexpr const char* kSynopsis = "route OUT IN LINK   (OUT and IN 1-8)";
  LinkArgs a;
  std::string error;
  if (!ParseLinkArgs(args, false, &a, &error) || a.rest.size() != 2) {
    if (!error.empty()) std::fprintf(stderr, "matrixctl route: %s\n", error.c_str());
    return Usage(kSynopsis);
  }
  const auto out = Number(a.rest[0], 1, kOutputs);
  const auto in = Number(a.rest[1], 1, kInputs);
  if (!out || !in) {
    std::fprintf(stderr, "matrixctl route: OUT and IN must be numbers from 1 to 8\n");
    return Usage(kSynopsis);
  }
  CliLink cli(a);
  std::optional<StatusReply> status;
  if (int rc = OpenAndQuery(cli, &status)) return rc;
  if (!RouteCrosspoint(cli.link(), status->outputs, *out, *in)) {
    return Failed("the switcher did not acknowledge the route of input " + a.rest[1] +
                  " to output " + a.rest[0]);
  }
  std::printf("Output %d: input %d\n", *out, *in);
  return 0;
}

int CmdPower(const Args& args) {
  constexpr const char* kSynopsis = "power on|off LINK";
  LinkArgs a;
  std::string error;
  if (!ParseLinkArgs(args, false, &a, &error) || a.rest.size() != 1 ||
      (a.rest[0] != "on" && a.rest[0] != "off")) {
    if (!error.empty()) std::fprintf(stderr, "matrixctl power: %s\n", error.c_str());
    return Usage(kSynopsis);
  }
  const int state = a.rest[0] == "on" ? 1 : 0;
  CliLink cli(a);
  if (!cli.usable()) return Failed("cannot open " + cli.where());
  // The console waits only 100 us for the answer over TCP; a script wants
  // to know, so give the switcher a second as the dialogs do.
  ExchangeParams params = exchange::kPower;
  params.tcp.replyWait = seconds(1);
  if (!cli.link().Exchange(PowerFrame(state), params).Acked()) {
    return Failed("the switcher did not acknowledge power " + a.rest[0]);
  }
  std::printf("Power: %s\n", a.rest[0].c_str());
  return 0;
}

}  // namespace mc::cli
