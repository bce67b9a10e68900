#include "emulator/boards/boards.h"

namespace mc::emu {

Boards::Boards(SwitcherModel& model) : model_(model) {}
Boards::~Boards() = default;

bool Boards::Configure(const std::string& key, const std::string& value, std::string* error) {
  (void)value;
  if (error) *error = "unknown board option: " + key;
  return false;
}

std::string Boards::OptionsHelp() { return ""; }

}  // namespace mc::emu
