#pragma once
// One codec for every command of a board: field texts to a command's bytes, and a
// reply's (or a request's) data bytes to field values. The window, the command
// line and the simulated board all go through it.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "board/board.h"
#include "link/field_text.h"

namespace tarnwick::board {

// Field texts by field name, as a page or the command line holds them. A check
// field's text is "1" or "0"; a named value's is its name.
using FieldTexts = std::map<std::string, std::string, std::less<>>;

// The start texts of a command's request fields (its page's start values).
FieldTexts DefaultTexts(const Command& command);

// The command byte (its code, with the reply flag when flagged) and its data, or
// nullopt when a field is invalid or missing; reason (when given) then says which
// field and why, in the page's words ("Pulse Duty must be 0 to 100"), and
// refusedField (when given) the field's name. Fields are checked in form order, so
// the first refused one is named. Texts missing from texts take the field's start text.
std::optional<std::vector<std::uint8_t>> Encode(const Command& command, const FieldTexts& texts, bool flagged,
                                                std::string* reason = nullptr, std::string* refusedField = nullptr);

// How a field's number is written: its text rule, signed for a two's complement word.
link::NumberForm FormOf(const Field& field);

// The bits a number field's text stands for (the one reading of field texts,
// link::ReadFieldNumber; a negative value of a signed word as its two's complement),
// or nothing with reason (when given) in the page's words. Exact: the whole text is a
// number within the range. AsTyped: as the page reads it, a count cut to its bits and a
// capped field capped.
std::optional<std::uint32_t> ReadNumber(const Field& field, std::string_view text, link::Reading reading,
                                        std::string* reason = nullptr);

// The value the field's start text stands for: a named value, a check box's, or a number.
std::uint32_t StartValue(const Field& field);

// A decoded value as a script reads it: a number (a scaled field's a double, to its
// decimals), a check box, a text, or nothing (a field the reply leaves empty).
using FieldValue = std::variant<std::nullptr_t, bool, std::int64_t, std::string, double>;

struct DecodedField {
  const Field* field = nullptr;
  std::string label;  // "Step count"
  std::string key;    // "step_count"
  std::string text;   // as the window shows it: "8000", "checked", "+50", "Stepper"; "" for empty
  FieldValue value;
  std::uint32_t raw = 0;  // the bits on the wire
};

struct Decoded {
  std::vector<DecodedField> fields;  // form order; the status field is not among them
  std::optional<std::uint32_t> status;
  bool failed = false;    // the status field holds a failure value
  bool tooShort = false;  // data too short for the layout (fields then empty)
};

// The fields of data (the bytes from the first data byte up to the checksum)
// under layout: a command's response, or its request (the simulated board reads
// requests with it). A failed status leaves the other fields out.
Decoded Decode(const Command& command, const Layout& layout, std::span<const std::uint8_t> data);
inline Decoded DecodeReply(const Command& command, std::span<const std::uint8_t> data) {
  return Decode(command, command.response, data);
}
inline Decoded DecodeRequest(const Command& command, std::span<const std::uint8_t> data) {
  return Decode(command, command.request, data);
}

// "Left +50", or the label alone for an empty field: the log's words.
std::string Describe(const DecodedField& field);

// The help line of a request field: "Pulse Duty in %, 0 to 100", "Left: stop,
// forward, reversal or shortbrake".
std::string HelpOf(const Field& field);

// The number a field's bits stand for: sign-extended for a signed word.
std::int64_t NumberOf(const Field& field, std::uint32_t raw);
// A scaled field's value for raw, as a person reads it: "-12.5" with one decimal.
std::string PhysicalText(const Field& field, std::int64_t raw);
// The range as a refusal and a help line give it: "0 to 100", "-40 to 125", "01 to FE".
std::string RangeText(const Field& field);

// Writes value into data under field (the simulated board builds replies with it).
void Put(const Field& field, std::uint32_t value, std::span<std::uint8_t> data);
// The field's bits in data; 0 when data is too short.
std::uint32_t Get(const Field& field, std::span<const std::uint8_t> data);

}  // namespace tarnwick::board
