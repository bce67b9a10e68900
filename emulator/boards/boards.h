// The three emulated boards of a switcher, attached to its model: the DB
// board (update mode 0x17), the HDBaseT board (update mode 0x10) and the
// main board's bootloader (power-up with the line in break).
#pragma once

#include <memory>
#include <string>

#include "emulator/boards/update_boards.h"
#include "emulator/switcher_model.h"

namespace mc::emu {

class Boards {
 public:
  // Creates the boards and attaches them to `model`.
  explicit Boards(SwitcherModel& model);
  ~Boards();
  Boards(const Boards&) = delete;
  Boards& operator=(const Boards&) = delete;

  // switcher-emu's --board-opt KEY=VALUE. False, with a one-line message in
  // *error, for an unknown key or a bad value.
  bool Configure(const std::string& key, const std::string& value, std::string* error);
  // Help lines for switcher-emu --help, one option a line.
  static std::string OptionsHelp();

  DbBoard& db() { return db_; }
  HdbtBoard& hdbt() { return hdbt_; }
  MainBootloader& bootloader() { return bootloader_; }

 private:
  SwitcherModel& model_;
  DbBoard db_;
  HdbtBoard hdbt_;
  MainBootloader bootloader_;
};

}  // namespace mc::emu
