#include "cli/option_values.h"

#include <algorithm>
#include <cctype>

#include "link/hex_text.h"

namespace tarnwick::cli {
namespace {

bool IsHexPrefix(std::string_view text) { return text.size() >= 2 && text[0] == '0' && (text[1] | 0x20) == 'x'; }

// The value of digits in base, or nullopt when a character is no digit of it or
// the value passes limit (checked as it grows, so no length overflows).
std::optional<std::uint64_t> DigitsValue(std::string_view digits, int base, std::uint64_t limit) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : digits) {
    const auto u = static_cast<unsigned char>(c);
    int digit = -1;
    if (std::isdigit(u)) digit = c - '0';
    else if (base == 16 && std::isxdigit(u)) digit = (c | 0x20) - 'a' + 10;
    if (digit < 0) return std::nullopt;
    value = value * base + static_cast<std::uint64_t>(digit);
    if (value > limit) value = limit + 1;  // stays out of range without growing
  }
  return value;
}

std::optional<std::uint64_t> ParseNumber(std::string_view text, const NumberRule& rule) {
  const std::uint64_t limit = std::uint64_t{rule.max} + 1;
  switch (rule.kind) {
    case NumberKind::kDecimal: return DigitsValue(text, 10, limit);
    case NumberKind::kHex: {
      const std::string_view digits = IsHexPrefix(text) ? text.substr(2) : text;
      if (digits.size() > 2) return std::nullopt;
      return DigitsValue(digits, 16, limit);
    }
    case NumberKind::kStepCount:
      return IsHexPrefix(text) ? DigitsValue(text.substr(2), 16, limit) : DigitsValue(text, 10, limit);
  }
  return std::nullopt;
}

std::string RangeText(const NumberRule& rule) {
  switch (rule.kind) {
    case NumberKind::kHex:
      return "hex number in " + link::FormatHexByte(static_cast<std::uint8_t>(rule.min)) + ".." +
             link::FormatHexByte(static_cast<std::uint8_t>(rule.max)) + " (one or two hex digits)";
    case NumberKind::kStepCount:
      return "number in " + std::to_string(rule.min) + ".." + std::to_string(rule.max) + " (decimal, or hex after 0x)";
    case NumberKind::kDecimal: break;
  }
  return "number in " + std::to_string(rule.min) + ".." + std::to_string(rule.max);
}

}  // namespace

std::string Lowercase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

std::string ShownValue(std::string_view value) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const bool startsACharacter = (static_cast<unsigned char>(value[i]) & 0xC0) != 0x80;
    if (startsACharacter && ++characters > kShownValueLength)
      return std::string(value.substr(0, i)) + "\xE2\x80\xA6";  // …
  }
  return std::string(value);
}

std::string WithLongWordsShortened(std::string_view message) {
  std::string shortened;
  while (!message.empty()) {
    const std::size_t end = std::min(message.find(' '), message.size());
    shortened += ShownValue(message.substr(0, end));
    if (end < message.size()) shortened += ' ';
    message.remove_prefix(std::min(end + 1, message.size()));
  }
  return shortened;
}

std::optional<std::uint32_t> CheckNumber(std::string_view option, std::string_view text, const NumberRule& rule,
                                         std::string& error) {
  if (rule.kind == NumberKind::kHex && !link::ParseDeviceAddress(text)) {
    error = std::string(option) + ": " + link::NotADeviceAddress(ShownValue(text));
    return std::nullopt;
  }
  const auto value = ParseNumber(text, rule);
  if (value && *value >= rule.min && *value <= rule.max) return static_cast<std::uint32_t>(*value);
  error = std::string(option) + ": '" + ShownValue(text) + "' is not a " + RangeText(rule);
  return std::nullopt;
}

std::string HelpRange(const NumberRule& rule) {
  if (rule.kind == NumberKind::kHex)
    return link::FormatHexByte(static_cast<std::uint8_t>(rule.min)) + " to " +
           link::FormatHexByte(static_cast<std::uint8_t>(rule.max));
  return std::to_string(rule.min) + " to " + std::to_string(rule.max);
}

std::string FieldTextOf(std::uint32_t value, const NumberRule& rule) {
  return rule.kind == NumberKind::kHex ? link::FormatHexByte(static_cast<std::uint8_t>(value)) : std::to_string(value);
}

std::optional<int> CheckChoice(std::string_view option, std::string_view text, const Choices& choices,
                               std::string& error) {
  const std::string wanted = Lowercase(text);
  for (const auto& [name, value] : choices)
    if (Lowercase(name) == wanted) return value;
  error = std::string(option) + ": '" + ShownValue(text) + "' is not one of ";
  for (std::size_t i = 0; i < choices.size(); ++i) error += (i ? ", " : "") + choices[i].first;
  return std::nullopt;
}

}  // namespace tarnwick::cli
