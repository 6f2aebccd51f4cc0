#include "board/codec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "link/hex_text.h"

namespace tarnwick::board {
namespace {

constexpr std::uint8_t kReplyFlag = 0x80;

bool IsChecked(std::string_view text) { return text == "1" || text == "true"; }

int WidthOf(const Field& field) { return field.bitCount > 0 ? field.bitCount : static_cast<int>(field.size * 8); }

std::uint32_t WidthMask(const Field& field) {
  const int bits = WidthOf(field);
  return bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
}

std::string HexText(std::int64_t value) { return link::FormatHexByte(static_cast<std::uint8_t>(value)); }

// "Stop, Forward, Reversal or ShortBrake"
std::string NamesText(const Enumeration& values, std::string_view last = " or ") {
  std::string text;
  for (std::size_t i = 0; i < values.values.size(); ++i) {
    if (i > 0) text += i + 1 == values.values.size() ? std::string(last) : ", ";
    text += values.values[i].name;
  }
  return text;
}

// Why a field's text is refused: the first refusal is the one reported.
class Refusal {
 public:
  explicit Refusal(std::string* reason, std::string* field = nullptr) : reason_(reason), field_(field) {}
  std::nullopt_t Say(std::string why) {
    if (!refused_ && reason_) *reason_ = std::move(why);
    refused_ = true;
    return std::nullopt;
  }
  std::nullopt_t Say(const Field& field, std::string why) {
    if (!refused_ && field_) *field_ = field.name;
    return Say(std::move(why));
  }
  bool Refused() const { return refused_; }

 private:
  std::string* reason_;
  std::string* field_;
  bool refused_ = false;
};

std::uint32_t BitsOf(const Field& field, std::int64_t number) {
  return static_cast<std::uint32_t>(number) & WidthMask(field);
}

// The raw value nearest a scaled field's text; one beyond the range is refused, or
// capped as the page reads it.
std::optional<std::uint32_t> ReadPhysical(const Field& field, std::string_view text, link::Reading reading,
                                          Refusal& refusal) {
  const auto physical = link::ReadFieldDecimal(text, reading);
  if (physical) {
    double steps = std::round((*physical - field.valueOffset) / field.scale);
    if (reading == link::Reading::AsTyped && field.outOfRange == OutOfRange::Cap)
      steps = std::clamp(steps, static_cast<double>(field.min), static_cast<double>(field.max));
    if (steps >= static_cast<double>(field.min) && steps <= static_cast<double>(field.max))
      return BitsOf(field, static_cast<std::int64_t>(steps));
  }
  return refusal.Say(field.label + " must be " + RangeText(field));
}

}  // namespace

link::NumberForm FormOf(const Field& field) {
  switch (field.text) {
    case TextRule::Hex: return link::NumberForm::Hex;
    case TextRule::Count: return link::NumberForm::Count;
    case TextRule::Decimal: break;
  }
  return field.IsSigned() ? link::NumberForm::Signed : link::NumberForm::Decimal;
}

double PhysicalValue(const Field& field, std::int64_t raw) {
  const double scaled = static_cast<double>(raw) * field.scale + field.valueOffset;
  const double unit = std::pow(10.0, field.decimals);
  return std::round(scaled * unit) / unit + 0.0;  // + 0.0: no "-0.0"
}

std::string PhysicalText(const Field& field, std::int64_t raw) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, PhysicalValue(field, raw), std::chars_format::fixed,
                                 field.decimals).ptr;
  return std::string(text, end);
}

std::string RangeText(const Field& field) {
  if (field.IsScaled()) return PhysicalText(field, field.min) + " to " + PhysicalText(field, field.max);
  if (field.text == TextRule::Hex) return HexText(field.min) + " to " + HexText(field.max);
  return std::to_string(field.min) + " to " + std::to_string(field.max);
}

std::int64_t NumberOf(const Field& field, std::uint32_t raw) {
  if (!field.IsSigned()) return raw;
  const std::uint32_t sign = std::uint32_t{1} << (WidthOf(field) - 1);
  const std::uint32_t bits = raw & WidthMask(field);
  return static_cast<std::int64_t>(bits ^ sign) - static_cast<std::int64_t>(sign);
}

std::optional<std::uint32_t> ReadNumber(const Field& field, std::string_view text, link::Reading reading,
                                        std::string* reason) {
  Refusal refusal(reason);
  const bool asTyped = reading == link::Reading::AsTyped;
  if (field.IsScaled()) return ReadPhysical(field, text, reading, refusal);
  const auto value = link::ReadFieldNumber(text, FormOf(field), reading);
  if (value && asTyped && field.text == TextRule::Count) {
    if (*value < 0) return refusal.Say(field.label + " must not be negative");
    return static_cast<std::uint32_t>(*value) & WidthMask(field);
  }
  if (value && asTyped && field.outOfRange == OutOfRange::Cap) {
    if (*value > field.max || (*value < 0 && !field.IsSigned())) return BitsOf(field, field.max);  // unsigned: -1 is very large
    if (*value < field.min) return BitsOf(field, field.min);
  }
  if (!value || *value < field.min || *value > field.max) return refusal.Say(field.label + " must be " + RangeText(field));
  return BitsOf(field, *value);
}

namespace {

std::string TextOf(const FieldTexts& texts, const Field& field) {
  const auto given = texts.find(field.name);
  return link::TrimFieldText(given != texts.end() ? given->second : field.defaultText);
}

// The request fields an encoding reads: those before the switch and those of the
// case its field chose, by name.
class ActiveFields {
 public:
  ActiveFields(const Layout& layout, const SwitchCase* chosen) : layout_(layout), chosen_(chosen) {}
  const Field* Find(std::string_view name) const {
    for (const Field& field : layout_.fields)
      if (field.name == name) return &field;
    if (chosen_)
      for (const Field& field : chosen_->fields)
        if (field.name == name) return &field;
    return nullptr;
  }
  std::size_t Size() const { return chosen_ ? chosen_->size : layout_.size; }
  template <typename Visit>
  void ForEach(Visit visit) const {
    for (const Field& field : layout_.fields) visit(field);
    if (chosen_)
      for (const Field& field : chosen_->fields) visit(field);
  }

 private:
  const Layout& layout_;
  const SwitchCase* chosen_;
};

bool IsCheckedField(const ActiveFields& active, const FieldTexts& texts, std::string_view name) {
  const Field* check = active.Find(name);
  return check && IsChecked(TextOf(texts, *check));
}

// The value a request field's text stands for.
std::optional<std::uint32_t> ValueOf(const Field& field, const ActiveFields& active, const FieldTexts& texts,
                                     Refusal& refusal) {
  if (!field.specialWhen.empty() && IsCheckedField(active, texts, field.specialWhen)) return field.specialValue;
  const std::string text = TextOf(texts, field);
  if (field.IsCheck()) return IsChecked(text) ? 1u : 0u;
  if (field.values) {
    if (const NamedValue* named = field.values->FindNamed(text)) return named->value;
    return refusal.Say(field, field.label + " must be " + NamesText(*field.values));
  }
  if (text.empty() && field.required) return refusal.Say(field, field.label + " is empty");
  std::string why;
  if (const auto value = ReadNumber(field, text, link::Reading::AsTyped, &why)) return value;
  return refusal.Say(field, why);
}

const SwitchCase* CaseFor(const Layout& layout, std::uint32_t value) {
  for (const SwitchCase& branch : layout.cases)
    if (branch.value == value) return &branch;
  return nullptr;
}

// "+50", "-5", "0": an i8's duty as the page shows it.
std::string WithSign(std::int64_t value) { return (value > 0 ? "+" : "") + std::to_string(value); }

DecodedField Shown(const Field& field, std::uint32_t raw) {
  DecodedField shown{&field, field.label, field.Key(), {}, nullptr, raw};
  if (field.values) {
    if (const NamedValue* named = field.values->Find(raw)) shown.text = named->name;
    if (!shown.text.empty()) shown.value = shown.text;
  } else if (field.IsCheck()) {
    shown.text = raw ? "checked" : "unchecked";
    shown.value = raw != 0;
  } else if (field.type == WireType::I8) {
    shown.text = WithSign(NumberOf(field, raw));
    shown.value = NumberOf(field, raw);
  } else if (field.IsScaled()) {
    shown.text = PhysicalText(field, NumberOf(field, raw));
    shown.value = PhysicalValue(field, NumberOf(field, raw));
  } else {
    shown.value = NumberOf(field, raw);
    shown.text = field.text == TextRule::Hex ? HexText(raw) : std::to_string(std::get<std::int64_t>(shown.value));
  }
  return shown;
}

DecodedField Empty(const Field& field) { return {&field, field.label, field.Key(), {}, nullptr, 0}; }

bool IsFailure(const Field& status, std::uint32_t value) {
  if (status.failure.empty()) return value != 0;
  return std::find(status.failure.begin(), status.failure.end(), value) != status.failure.end();
}

}  // namespace

FieldTexts DefaultTexts(const Command& command) {
  FieldTexts texts;
  for (const Field* field : command.request.AllFields()) texts.emplace(field->name, field->defaultText);
  return texts;
}

std::optional<std::vector<std::uint8_t>> Encode(const Command& command, const FieldTexts& texts, bool flagged,
                                                std::string* reason, std::string* refusedField) {
  Refusal refusal(reason, refusedField);
  const Layout& layout = command.request;
  const SwitchCase* chosen = nullptr;
  if (!layout.switchOn.empty()) {
    const Field* selector = layout.Find(layout.switchOn);
    const auto value = selector ? ValueOf(*selector, ActiveFields(layout, nullptr), texts, refusal) : std::nullopt;
    if (!value) return std::nullopt;
    chosen = CaseFor(layout, *value);
    if (!chosen) return refusal.Say(*selector, selector->label + " must be one of its cases");
  }
  const ActiveFields active(layout, chosen);
  std::map<std::string, std::uint32_t, std::less<>> values;
  for (const Field* formField : command.RequestForm())
    if (const Field* field = active.Find(formField->name))
      if (const auto value = ValueOf(*field, active, texts, refusal)) values[field->name] = *value;
  if (refusal.Refused()) return std::nullopt;

  std::vector<std::uint8_t> bytes(1 + active.Size(), 0);
  const bool withFlag = flagged || command.flag == FlagRule::Always;
  bytes[0] = static_cast<std::uint8_t>(command.code | (withFlag ? kReplyFlag : 0));
  const std::span<std::uint8_t> data = std::span(bytes).subspan(1);
  active.ForEach([&](const Field& field) {
    if (!field.OnWire() || field.type == WireType::Pad) return;
    std::uint32_t value = values[field.name];
    if (!field.signFrom.empty() && IsCheckedField(active, texts, field.signFrom)) value = 0u - value;
    if (!field.setIf.empty() && values[field.setIf] == 0) value = 0;
    Put(field, value, data);
  });
  return bytes;
}

Decoded Decode(const Command& command, const Layout& layout, std::span<const std::uint8_t> data) {
  Decoded decoded;
  for (const Field& field : layout.fields)
    if (field.isStatus) {
      if (data.size() < field.offset + field.size) return decoded.tooShort = true, decoded;
      decoded.status = Get(field, data);
      decoded.failed = IsFailure(field, *decoded.status);
      if (decoded.failed) return decoded;
    }
  const SwitchCase* chosen = nullptr;
  std::size_t needed = layout.size;
  if (!layout.switchOn.empty() && data.size() >= layout.size) {
    chosen = CaseFor(layout, Get(*layout.Find(layout.switchOn), data));
    if (chosen) needed = chosen->size;
  }
  if (data.size() < needed) return decoded.tooShort = true, decoded;
  const ActiveFields active(layout, chosen);
  const auto form = &layout == &command.request ? command.RequestForm() : command.ResponseForm();
  for (const Field* formField : form) {
    if (formField->isStatus || !formField->OnWire()) continue;
    const Field* field = active.Find(formField->name);
    decoded.fields.push_back(field ? Shown(*field, Get(*field, data)) : Empty(*formField));
  }
  return decoded;
}

std::string Describe(const DecodedField& field) {
  return field.text.empty() ? field.label : field.label + " " + field.text;
}

std::string HelpOf(const Field& field) {
  if (!field.help.empty()) {
    if (field.values) return field.help + ": " + NamesText(*field.values);
    return field.help;
  }
  if (field.IsCheck()) return "Check " + field.label;
  if (field.values) return field.label + ": " + NamesText(*field.values);
  const std::string unit = field.unit.empty() ? "" : " in " + field.unit;
  const std::string hex = field.text == TextRule::Hex ? " in hex" : "";
  return field.label + unit + hex + ", " + RangeText(field);
}

namespace {

// The byte of a word at position i on the wire: its significance in bits.
int ShiftOf(const Field& field, std::size_t i) {
  const bool bigEndian = ShapeOf(field.type).bigEndian;
  return static_cast<int>(8 * (bigEndian ? field.size - 1 - i : i));
}

std::uint32_t WordAt(const Field& field, std::span<const std::uint8_t> data) {
  std::uint32_t word = 0;
  for (std::size_t i = 0; i < field.size; ++i) word |= std::uint32_t{data[field.offset + i]} << ShiftOf(field, i);
  return word;
}

}  // namespace

void Put(const Field& field, std::uint32_t value, std::span<std::uint8_t> data) {
  if (data.size() < field.offset + field.size || field.size == 0) return;
  std::uint32_t word = WordAt(field, data);
  if (field.bitCount > 0) {
    const std::uint32_t mask = WidthMask(field) << field.bitLow;
    word = (word & ~mask) | ((value << field.bitLow) & mask);
  } else {
    word = value & WidthMask(field);
  }
  for (std::size_t i = 0; i < field.size; ++i) data[field.offset + i] = static_cast<std::uint8_t>(word >> ShiftOf(field, i));
}

std::uint32_t Get(const Field& field, std::span<const std::uint8_t> data) {
  if (data.size() < field.offset + field.size || field.size == 0) return 0;
  const std::uint32_t word = WordAt(field, data);
  return field.bitCount > 0 ? (word >> field.bitLow) & WidthMask(field) : word;
}

std::uint32_t StartValue(const Field& field) {
  const std::string text = link::TrimFieldText(field.defaultText);
  if (field.values)
    if (const NamedValue* named = field.values->FindNamed(text)) return named->value;
  if (field.IsCheck()) return IsChecked(text) ? 1u : 0u;
  return ReadNumber(field, text, link::Reading::AsTyped).value_or(0);
}

}  // namespace tarnwick::board
