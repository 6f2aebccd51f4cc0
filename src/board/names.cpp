#include "board/names.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace tarnwick::board {
namespace {

bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return IsLower(c) || (c >= 'A' && c <= 'Z'); }

// Words of letters and digits joined by single hyphens, a letter first.
bool FitsGrammar(std::string_view name, bool (*isLetter)(char)) {
  if (name.empty() || name.size() > kMaxNameLength || !isLetter(name.front()) || name.back() == '-') return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (c == '-' ? name[i - 1] == '-' : !isLetter(c) && !IsDigit(c)) return false;
  }
  return true;
}

std::string CodePoint(std::uint32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  return text;
}

// The code point at text[pos] (advancing pos), or nothing when the bytes there are
// no UTF-8: a stray continuation, a sequence cut short, an overlong form, a surrogate.
std::optional<std::uint32_t> NextCodePoint(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  const int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
  if (extra < 0 || text.size() - pos <= static_cast<std::size_t>(extra)) return std::nullopt;
  std::uint32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + static_cast<std::size_t>(i)]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (next & 0x3F);
  }
  constexpr std::uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  pos += static_cast<std::size_t>(extra) + 1;
  return c;
}

}  // namespace

std::string FieldNameProblem(std::string_view name, bool inResponse) {
  if (!FitsGrammar(name, IsLower))
    return "a field name is lower-case letters and digits in words joined by single hyphens, a letter first, at most " +
           std::to_string(kMaxNameLength) + " characters";
  const auto reserved = [name](const auto& names) { return std::find(names.begin(), names.end(), name) != names.end(); };
  const std::string quoted = "field name \"" + std::string(name) + "\" ";
  if (reserved(kReservedFieldNames)) return quoted + "would hide the command line's own --" + std::string(name);
  if (inResponse && reserved(kReportKeys)) return quoted + "is a key the reply's report fills itself";
  return {};
}

std::string CommandNameProblem(std::string_view name) {
  if (FitsGrammar(name, IsLetter)) return {};
  return "a command name is letters and digits in words joined by single hyphens, a letter first, at most " +
         std::to_string(kMaxNameLength) + " characters";
}

std::string TextProblem(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t at = pos;
    const auto c = NextCodePoint(text, pos);
    if (!c) return "is not UTF-8 (byte " + std::to_string(at + 1) + ")";
    if (*c < 0x20 || (*c >= 0x7F && *c <= 0x9F)) return "holds the control character " + CodePoint(*c);
  }
  return {};
}

}  // namespace tarnwick::board
