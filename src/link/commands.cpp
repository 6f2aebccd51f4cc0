#include "commands.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <string>

namespace tarnwick::link {

const CommandInfo* FindCommand(std::uint8_t codeByte) {
  const auto found = std::ranges::find(kCommands, codeByte, [](const CommandInfo& c) { return CodeByte(c.code); });
  return found == kCommands.end() ? nullptr : &*found;
}

const CommandInfo& CommandInfoOf(CommandCode code) {
  const CommandInfo* info = FindCommand(CodeByte(code));
  if (!info) throw std::out_of_range("no command with code " + std::to_string(CodeByte(code)));
  return *info;
}

const CommandInfo* FindCommandNamed(std::string_view name) {
  const auto sameLetters = [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
  };
  const auto found = std::ranges::find_if(kCommands, [&](const CommandInfo& c) {
    return std::ranges::equal(c.name, name, sameLetters);
  });
  return found == kCommands.end() ? nullptr : &*found;
}

}  // namespace tarnwick::link
