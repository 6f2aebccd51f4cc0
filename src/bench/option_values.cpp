#include "bench/option_values.h"

#include <algorithm>
#include <cctype>

#include "board/codec.h"
#include "link/baud_rates.h"
#include "link/field_text.h"
#include "link/hex_text.h"

namespace tarnwick::bench {
namespace {

std::optional<std::int64_t> ParseNumber(std::string_view text, const NumberRule& rule) {
  constexpr link::NumberForm kForms[] = {link::NumberForm::Decimal, link::NumberForm::Hex, link::NumberForm::Count};
  const bool isSigned = rule.kind == NumberKind::kDecimal && rule.min < 0;
  return link::ReadFieldNumber(text, isSigned ? link::NumberForm::Signed : kForms[static_cast<int>(rule.kind)],
                               link::Reading::Exact);
}

std::string RangeText(const NumberRule& rule) {
  switch (rule.kind) {
    case NumberKind::kScaled:
      return "number in " + board::PhysicalText(*rule.field, rule.min) + ".." + board::PhysicalText(*rule.field, rule.max);
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

std::optional<std::int64_t> CheckNumber(std::string_view option, std::string_view text, const NumberRule& rule,
                                         std::string& error) {
  if (rule.kind == NumberKind::kHex && !link::ParseDeviceAddress(text)) {
    error = std::string(option) + ": " + link::NotADeviceAddress(ShownValue(text));
    return std::nullopt;
  }
  if (rule.kind == NumberKind::kScaled) {
    if (const auto raw = board::ReadNumber(*rule.field, text, link::Reading::Exact))
      return board::NumberOf(*rule.field, *raw);
  } else if (const auto value = ParseNumber(text, rule); value && *value >= rule.min && *value <= rule.max) {
    return value;
  }
  error = std::string(option) + ": '" + ShownValue(text) + "' is not a " + RangeText(rule);
  return std::nullopt;
}

std::string HelpRange(const NumberRule& rule) {
  if (rule.kind == NumberKind::kScaled)
    return board::PhysicalText(*rule.field, rule.min) + " to " + board::PhysicalText(*rule.field, rule.max);
  if (rule.kind == NumberKind::kHex)
    return link::FormatHexByte(static_cast<std::uint8_t>(rule.min)) + " to " +
           link::FormatHexByte(static_cast<std::uint8_t>(rule.max));
  return std::to_string(rule.min) + " to " + std::to_string(rule.max);
}

std::string FieldTextOf(std::int64_t value, const NumberRule& rule) {
  if (rule.kind == NumberKind::kScaled) return board::PhysicalText(*rule.field, value);
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

NumberRule RuleOf(const board::Field& field) {
  if (field.IsScaled()) return {NumberKind::kScaled, field.min, field.max, &field};
  switch (field.text) {
    case board::TextRule::Hex: return {NumberKind::kHex, field.min, field.max};
    case board::TextRule::Count: return {NumberKind::kStepCount, field.min, field.max};
    case board::TextRule::Decimal: break;
  }
  return {NumberKind::kDecimal, field.min, field.max};
}

Choices ChoicesOf(const board::Enumeration& values) {
  Choices choices;
  for (const board::NamedValue& named : values.values)
    choices.emplace_back(Lowercase(named.name), static_cast<int>(named.value));
  return choices;
}

std::string OptionRefusal(const board::Field& field, std::string_view text) {
  const std::string flag = "--" + field.name;
  std::string error;
  if (field.values)
    CheckChoice(flag, text, ChoicesOf(*field.values), error);
  else if (!field.IsCheck())
    CheckNumber(flag, text, RuleOf(field), error);
  return error;
}

Choices BaudChoices() {
  Choices choices;
  for (std::size_t i = 0; i < link::kBaudRates.size(); ++i)
    choices.emplace_back(std::to_string(link::kBaudRates[i]), static_cast<int>(i));
  return choices;
}

namespace {

template <typename Named>
Choices ChoicesNamed(const std::vector<std::string>& names, Named named) {
  Choices list;
  for (const std::string& name : names) list.emplace_back(name, static_cast<int>(*named(name)));
  return list;
}

}  // namespace

Choices DirectionChoices() { return ChoicesNamed(link::DirectionControlNames(), link::DirectionControlNamed); }
Choices EchoChoices() { return ChoicesNamed(link::EchoHandlingNames(), link::EchoHandlingNamed); }
Choices ReadEndChoices() {
  return {{"gap", static_cast<int>(link::ReadEnd::Gap)}, {"frame", static_cast<int>(link::ReadEnd::Frame)}};
}

std::string DelayRefusal(std::string_view option, link::DirectionControl control) {
  if (control == link::DirectionControl::Kernel) return {};
  return std::string(option) + " takes effect with --rs485 kernel only";
}

std::string CommandNames() {
  std::string names;
  for (const board::Command& command : board::Current().commands)
    names += (names.empty() ? "" : ", ") + Lowercase(command.name);
  return names;
}

}  // namespace tarnwick::bench
