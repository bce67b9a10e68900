// switcher-emu: the emulated switcher on a pseudo-terminal or on TCP.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "emulator/boards/boards.h"
#include "emulator/fronts.h"
#include "emulator/switcher_model.h"
#include "link/stream_socket.h"

namespace {

std::atomic<bool> g_stop{false};
std::atomic<int> g_powerCycle{0};  // 1 plain, 2 into the bootloader

void OnSignal(int sig) {
  if (sig == SIGUSR1) {
    g_powerCycle = 2;
  } else if (sig == SIGUSR2) {
    g_powerCycle = 1;
  } else {
    g_stop = true;
  }
}

const char kUsage[] =
    "usage: switcher-emu [options]\n"
    "The emulated 8x8 HDMI matrix switcher, on a pseudo-terminal (default) or on TCP.\n"
    "\n"
    "Front:\n"
    "  --pty                  serve on a new pseudo-terminal; its slave path is printed\n"
    "  --link PATH            also make PATH a symbolic link to the slave\n"
    "  --tcp [ADDR:]PORT      serve on TCP (default 127.0.0.1:9760); port 0 picks one\n"
    "\n"
    "Switcher:\n"
    "  --model k700|k720|k720-6x4|N   model byte of the status reply (default k700)\n"
    "  --route I1,...,I8      input routed to each output (default 1,...,8)\n"
    "  --off O1,...           outputs switched off (bit 0x80 of their status byte)\n"
    "  --inputs F1,...,F8     input indicator flags (default all 0)\n"
    "  --power 0|1|2          power state (default 1)\n"
    "  --bootloader           start as if powered up with the line in break\n"
    "\n"
    "Timing (milliseconds):\n"
    "  --reply-delay MS       frame to first reply byte (default 2)\n"
    "  --reset-ready MS       factory reset: acknowledge to ready byte (default 20000)\n"
    "  --reset-status MS      factory reset: until commands are answered again (default 25000)\n"
    "  --late MS              delay added by the 'late' fault (default 1500)\n"
    "\n"
    "Faults:\n"
    "  --fault NAME[:COUNT][@CODE]   NAME: silence, wrong-ack, bad-checksum, short, stale,\n"
    "                         late; COUNT replies (default every reply); CODE: only replies\n"
    "                         to that command code (hex, e.g. @01); may be repeated\n"
    "\n"
    "Boards:\n"
    "  --board-opt KEY=VALUE  option of the emulated boards (see below); may be repeated\n"
    "%s"
    "\n"
    "Other:\n"
    "  --verbose              log every byte on stderr\n"
    "  --help                 this text\n"
    "\n"
    "Signals: SIGUSR1 power-cycles the switcher into the main board's bootloader (a\n"
    "pseudo-terminal carries no line break); SIGUSR2 power-cycles it normally.\n";

void Usage(FILE* to) {
  std::string boards = mc::emu::Boards::OptionsHelp();
  std::fprintf(to, kUsage, boards.c_str());
}

int Fail(const std::string& msg) {
  std::fprintf(stderr, "switcher-emu: %s\n", msg.c_str());
  std::fprintf(stderr, "Try 'switcher-emu --help'.\n");
  return 2;
}

bool ParseInt(const std::string& s, long lo, long hi, long* out, int base = 10) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s.c_str(), &end, base);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ParseList(const std::string& s, long lo, long hi, std::vector<long>* out) {
  out->clear();
  std::size_t start = 0;
  while (start <= s.size()) {
    const std::size_t comma = s.find(',', start);
    const std::string item = s.substr(start, comma == std::string::npos ? comma : comma - start);
    long v;
    if (!ParseInt(item, lo, hi, &v)) return false;
    out->push_back(v);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace mc;
  using namespace mc::emu;

  SwitcherConfig config;
  std::vector<FaultRule> faults;
  std::vector<std::pair<std::string, std::string>> boardOpts;
  bool tcp = false;
  std::string tcpAddr = "127.0.0.1";
  long tcpPort = kSwitcherTcpPort;
  std::string link;
  bool verbose = false;
  bool bootloader = false;

  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= argc) return false;
      *v = argv[++i];
      return true;
    };
    std::string v;
    long n;
    std::vector<long> list;
    if (a == "--help" || a == "-h") {
      Usage(stdout);
      return 0;
    } else if (a == "--pty") {
      tcp = false;
    } else if (a == "--link") {
      if (!value(&link)) return Fail("--link needs a path");
    } else if (a == "--tcp") {
      tcp = true;
      if (i + 1 < argc && argv[i + 1][0] != '-') {
        v = argv[++i];
        const std::size_t colon = v.rfind(':');
        std::string port = v;
        if (colon != std::string::npos) {
          tcpAddr = v.substr(0, colon);
          port = v.substr(colon + 1);
        }
        if (!ParseInt(port, 0, 65535, &tcpPort)) return Fail("bad TCP port: " + port);
      }
    } else if (a == "--model") {
      if (!value(&v)) return Fail("--model needs a value");
      if (v == "k700") {
        config.modelByte = 0;
      } else if (v == "k720") {
        config.modelByte = 1;
      } else if (v == "k720-6x4") {
        config.modelByte = 2;
      } else if (ParseInt(v, 0, 255, &n)) {
        config.modelByte = static_cast<int>(n);
      } else {
        return Fail("bad model: " + v);
      }
    } else if (a == "--route") {
      if (!value(&v) || !ParseList(v, 1, 8, &list) || list.size() != 8) {
        return Fail("--route needs eight inputs 1-8, e.g. 1,2,3,4,5,6,7,8");
      }
      for (std::size_t k = 0; k < 8; ++k) {
        config.outputs[k] =
            static_cast<std::uint8_t>((config.outputs[k] & 0x80) | static_cast<int>(list[k]));
      }
    } else if (a == "--off") {
      if (!value(&v) || !ParseList(v, 1, 8, &list)) return Fail("--off needs outputs 1-8");
      for (long o : list) config.outputs[static_cast<std::size_t>(o - 1)] |= 0x80;
    } else if (a == "--inputs") {
      if (!value(&v) || !ParseList(v, 0, 255, &list) || list.size() != 8) {
        return Fail("--inputs needs eight flags, e.g. 1,0,0,0,0,0,0,0");
      }
      for (std::size_t k = 0; k < 8; ++k) config.inputFlags[k] = static_cast<std::uint8_t>(list[k]);
    } else if (a == "--power") {
      if (!value(&v) || !ParseInt(v, 0, 255, &n)) return Fail("--power needs 0, 1 or 2");
      config.power = static_cast<std::uint8_t>(n);
    } else if (a == "--bootloader") {
      bootloader = true;
    } else if (a == "--reply-delay" || a == "--reset-ready" || a == "--reset-status" ||
               a == "--late") {
      if (!value(&v) || !ParseInt(v, 0, 3'600'000, &n)) return Fail(a + " needs milliseconds");
      const Duration d = milliseconds(n);
      if (a == "--reply-delay") config.replyDelay = d;
      if (a == "--reset-ready") config.resetReady = d;
      if (a == "--reset-status") config.resetStatus = d;
      if (a == "--late") config.lateBy = d;
    } else if (a == "--fault") {
      if (!value(&v)) return Fail("--fault needs a name");
      FaultRule rule{Fault::kSilence};
      std::string name = v;
      const std::size_t at = name.find('@');
      if (at != std::string::npos) {
        if (!ParseInt(name.substr(at + 1), 0, 255, &n, 16)) return Fail("bad command code: " + v);
        rule.command = static_cast<int>(n);
        name.resize(at);
      }
      const std::size_t colon = name.find(':');
      if (colon != std::string::npos) {
        if (!ParseInt(name.substr(colon + 1), 1, 1'000'000, &n)) return Fail("bad count: " + v);
        rule.remaining = static_cast<int>(n);
        name.resize(colon);
      }
      auto f = ParseFault(name);
      if (!f) return Fail("unknown fault: " + name);
      rule.fault = *f;
      faults.push_back(rule);
    } else if (a == "--board-opt") {
      if (!value(&v) || v.find('=') == std::string::npos)
        return Fail("--board-opt needs KEY=VALUE");
      boardOpts.emplace_back(v.substr(0, v.find('=')), v.substr(v.find('=') + 1));
    } else if (a == "--verbose" || a == "-v") {
      verbose = true;
    } else {
      return Fail("unknown option: " + a);
    }
  }

  SwitcherModel model(config);
  Boards boards(model);
  for (const auto& [key, val] : boardOpts) {
    std::string error;
    if (!boards.Configure(key, val, &error)) return Fail(error);
  }
  for (const FaultRule& f : faults) model.AddFault(f);

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGUSR1, OnSignal);
  std::signal(SIGUSR2, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);

  RealClock clock;
  FrontOptions options;
  options.verbose = verbose;
  options.stop = &g_stop;
  bool startInBootloader = bootloader;
  options.tick = [&](Duration now, HostSink& sink) {
    if (startInBootloader) {
      startInBootloader = false;
      model.PowerCycle(now, sink, true);
      std::fprintf(stderr, "switcher-emu: main board in its bootloader\n");
    }
    const int cycle = g_powerCycle.exchange(0);
    if (cycle != 0) {
      model.PowerCycle(now, sink, cycle == 2);
      std::fprintf(stderr, "switcher-emu: power cycled%s\n",
                   model.InBoardMode() ? " into the bootloader" : "");
    }
  };

  const char* modelName = ModelName(config.modelByte + 1);
  if (tcp) {
    TcpFront front(tcpAddr, static_cast<std::uint16_t>(tcpPort));
    if (!front.ok()) {
      std::fprintf(stderr, "switcher-emu: cannot listen on %s:%ld: %s\n", tcpAddr.c_str(), tcpPort,
                   front.error().c_str());
      return 1;
    }
    std::printf("switcher-emu: %s listening on %s:%u\n", modelName, tcpAddr.c_str(), front.port());
    std::fflush(stdout);
    return front.Run(model, clock, options);
  }
  PtyFront front;
  if (!front.ok()) {
    std::fprintf(stderr, "switcher-emu: cannot create a pseudo-terminal: %s\n",
                 std::strerror(errno));
    return 1;
  }
  if (!link.empty() && !front.MakeLink(link)) {
    std::fprintf(stderr, "switcher-emu: cannot link %s to %s: %s\n", link.c_str(),
                 front.slavePath().c_str(), std::strerror(errno));
    return 1;
  }
  std::printf("switcher-emu: %s on %s\n", modelName, front.slavePath().c_str());
  std::fflush(stdout);
  return front.Run(model, clock, options);
}
