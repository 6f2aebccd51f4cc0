#include "commands.h"

#include <algorithm>
#include <cctype>

namespace tarnwick::link {

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
