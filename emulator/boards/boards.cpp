#include "emulator/boards/boards.h"

#include <charconv>
#include <functional>
#include <vector>

#include "link/command_frame.h"

namespace mc::emu {

Boards::Boards(SwitcherModel& model) : model_(model) {
  model_.AttachBoard(kCmdDbUpdate, &db_);
  model_.AttachBoard(kCmdHdbtUpdate, &hdbt_);
  model_.AttachBootloader(&bootloader_);
}

Boards::~Boards() {
  model_.AttachBoard(kCmdDbUpdate, nullptr);
  model_.AttachBoard(kCmdHdbtUpdate, nullptr);
  model_.AttachBootloader(nullptr);
}

namespace {

// "N" or "N:M"; false for anything else.
bool ParseInts(const std::string& text, int& first, int* second) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  auto r = std::from_chars(begin, end, first);
  if (r.ec != std::errc()) return false;
  if (r.ptr == end) return true;
  if (!second || *r.ptr != ':') return false;
  auto r2 = std::from_chars(r.ptr + 1, end, *second);
  return r2.ec == std::errc() && r2.ptr == end;
}

struct Option {
  const char* key;
  const char* help;
  // Applies the value; false when it is malformed.
  std::function<bool(Boards&, const std::string&)> apply;
};

bool Flag(const std::string& v, bool& out) {
  if (v == "1" || v == "on") return out = true, true;
  if (v == "0" || v == "off") return out = false, true;
  return false;
}

bool Millis(const std::string& v, Duration& out) {
  int ms = 0;
  if (!ParseInts(v, ms, nullptr) || ms < 0) return false;
  out = milliseconds(ms);
  return true;
}

// "AT" or "AT:MS": a position and an optional delay.
bool AtAndDelay(const std::string& v, int& at, Duration& delay) {
  int ms = -1;
  if (!ParseInts(v, at, &ms)) return false;
  if (ms >= 0) delay = milliseconds(ms);
  return true;
}

const std::vector<Option>& Options() {
  static const std::vector<Option> kOptions = {
      {"db.sessions", "N: DB faults hit only the first N update sessions (-1 all)",
       [](Boards& b, const std::string& v) {
         return ParseInts(v, b.db().faults.sessions, nullptr);
       }},
      {"db.no-ready", "1: the DB board never sends 0xCC",
       [](Boards& b, const std::string& v) { return Flag(v, b.db().faults.noReady); }},
      {"db.lost-echo", "1: the DB board does not echo the length's low byte",
       [](Boards& b, const std::string& v) { return Flag(v, b.db().faults.lostEcho); }},
      {"db.nak", "POS[:TIMES]: DB data byte POS is answered 0xA4 TIMES times (default 1)",
       [](Boards& b, const std::string& v) {
         int times = 1;
         if (!ParseInts(v, b.db().faults.nakByte, &times)) return false;
         b.db().faults.nakTimes = times;
         return true;
       }},
      {"db.wrong-sum", "BLOCK: the DB board reports a wrong sum for BLOCK",
       [](Boards& b, const std::string& v) {
         return ParseInts(v, b.db().faults.wrongSumBlock, nullptr);
       }},
      {"db.silent", "POS: the DB board stops answering at data byte POS",
       [](Boards& b, const std::string& v) {
         return ParseInts(v, b.db().faults.silentByte, nullptr);
       }},
      {"db.late", "POS[:MS]: the DB board answers data byte POS late (default 3000 ms)",
       [](Boards& b, const std::string& v) {
         return AtAndDelay(v, b.db().faults.lateByte, b.db().faults.lateBy);
       }},
      {"db.ready-delay", "MS: time from entry to 0xCC (default 200)",
       [](Boards& b, const std::string& v) { return Millis(v, b.db().readyDelay); }},
      {"hdbt.sessions", "N: HDBaseT faults hit only the first N update sessions (-1 all)",
       [](Boards& b, const std::string& v) {
         return ParseInts(v, b.hdbt().faults.sessions, nullptr);
       }},
      {"hdbt.nak-count", "1: the HDBaseT board refuses the block count",
       [](Boards& b, const std::string& v) { return Flag(v, b.hdbt().faults.nakCount); }},
      {"hdbt.nak-address", "BLOCK: the HDBaseT board refuses the address of BLOCK",
       [](Boards& b, const std::string& v) {
         return ParseInts(v, b.hdbt().faults.nakAddressBlock, nullptr);
       }},
      {"hdbt.wrong-sum", "BLOCK: the HDBaseT board reports a wrong sum for BLOCK",
       [](Boards& b, const std::string& v) {
         return ParseInts(v, b.hdbt().faults.wrongSumBlock, nullptr);
       }},
      {"hdbt.silent", "BLOCK: the HDBaseT board never sends 0xDD for BLOCK",
       [](Boards& b, const std::string& v) {
         return ParseInts(v, b.hdbt().faults.silentBlock, nullptr);
       }},
      {"hdbt.late", "BLOCK[:MS]: the HDBaseT board sends 0xDD for BLOCK late (default 3000 ms)",
       [](Boards& b, const std::string& v) {
         return AtAndDelay(v, b.hdbt().faults.lateBlock, b.hdbt().faults.lateBy);
       }},
      {"boot.bad-echo",
       "FROM[:COUNT]: bootloader syncs FROM on are echoed 0x00 (COUNT of them; all)",
       [](Boards& b, const std::string& v) {
         int count = -1;
         if (!ParseInts(v, b.bootloader().faults.badEchoFrom, &count)) return false;
         b.bootloader().faults.badEchoCount = count;
         return true;
       }},
      {"boot.lost-echo", "1: the bad echoes of boot.bad-echo are missing instead of wrong",
       [](Boards& b, const std::string& v) { return Flag(v, b.bootloader().faults.lostEcho); }},
      {"boot.nak-write", "FROM[:COUNT]: write frames FROM on are refused (COUNT of them; 1)",
       [](Boards& b, const std::string& v) {
         int count = 1;
         if (!ParseInts(v, b.bootloader().faults.nakWriteFrom, &count)) return false;
         b.bootloader().faults.nakWriteCount = count;
         return true;
       }},
      {"boot.late", "MS: every bootloader reply comes MS later",
       [](Boards& b, const std::string& v) { return Millis(v, b.bootloader().faults.lateBy); }},
      {"session-timeout", "MS: an update mode gives up after MS of host silence (default 30000)",
       [](Boards& b, const std::string& v) {
         Duration d{};
         if (!Millis(v, d)) return false;
         b.db().sessionTimeout = d;
         b.hdbt().sessionTimeout = d;
         return true;
       }},
  };
  return kOptions;
}

}  // namespace

bool Boards::Configure(const std::string& key, const std::string& value, std::string* error) {
  for (const Option& option : Options()) {
    if (key != option.key) continue;
    if (option.apply(*this, value)) return true;
    if (error) {
      *error = "bad value for board option ";
      *error += key;
      *error += ": ";
      *error += value;
    }
    return false;
  }
  if (error) *error = "unknown board option: " + key;
  return false;
}

std::string Boards::OptionsHelp() {
  std::string help;
  for (const Option& option : Options()) {
    help += std::string("  ") + option.key + "=" + option.help + "\n";
  }
  return help;
}

}  // namespace mc::emu
