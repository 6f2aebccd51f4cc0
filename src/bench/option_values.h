#pragma once
// The rules for option values: a value is a number of its kind in its range, or
// one of a list of names, or it is refused with a message that names the option,
// the value and what is accepted. The command line's options, a sequence's steps
// and the window's fields check their values here before anything is opened or sent.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/live_test_logic.h"
#include "board/board.h"
#include "link/frame.h"
#include "link/line_control.h"

namespace tarnwick::bench {

enum class NumberKind {
  kDecimal,    // ASCII digits
  kHex,        // one or two hex digits, 0x allowed: a byte
  kStepCount,  // decimal, or hex after 0x
  kScaled,     // a scaled field's value, decimals allowed ("-12.5"); min and max are raw
};

struct NumberRule {
  NumberKind kind;
  std::int64_t min;  // below 0: a signed number, "-5" and "+5" taken
  std::int64_t max;
  const board::Field* field = nullptr;  // kScaled's field, whose scale and offset give the value
};

inline constexpr NumberRule kPercentRule{NumberKind::kDecimal, 0, bench::kMaxDuty};
inline constexpr NumberRule kAddressRule{NumberKind::kHex, 0x00, 0xFF};
inline constexpr NumberRule kNewAddressRule{NumberKind::kHex, link::kFirstBoardAddress, link::kLastBoardAddress};
inline constexpr NumberRule kStepperTestFrequencyRule{NumberKind::kDecimal, bench::kLiveTestMinFrequency,
                                                      bench::kStepperTestMaxFrequency};
inline constexpr NumberRule kDcTestFrequencyRule{NumberKind::kDecimal, bench::kLiveTestMinFrequency,
                                                 bench::kDcTestMaxFrequency};
inline constexpr NumberRule kRs485DelayRule{NumberKind::kDecimal, 0, link::kMaxDirectionDelayMs};

// "1 to 10000", as a help text gives a rule's range.
std::string HelpRange(const NumberRule& rule);

// The value of text under rule, or nullopt with error set to
// "--frequency: 'abc' is not a number in 0..65535".
std::optional<std::int64_t> CheckNumber(std::string_view option, std::string_view text, const NumberRule& rule,
                                         std::string& error);

// The text a panel field reads as the same value: decimal, or two hex digits
// for a byte.
std::string FieldTextOf(std::int64_t value, const NumberRule& rule);

// Names and the values they stand for; names match in any case.
using Choices = std::vector<std::pair<std::string, int>>;

// The value text names, or nullopt with error set to
// "--baud: '1200' is not one of 2400, 4800, ...".
std::optional<int> CheckChoice(std::string_view option, std::string_view text, const Choices& choices,
                               std::string& error);

std::string Lowercase(std::string_view text);

// A field's option: its rule, or its named values' choices (their names in lower
// case, which are taken in any case).
NumberRule RuleOf(const board::Field& field);
Choices ChoicesOf(const board::Enumeration& values);
// What the command line says of text as the value of field's option ("--setpoint:
// '5000' is not a number in 0..4000"); "" when the option takes it. A sequence's
// step and the window name a refused field in these words.
std::string OptionRefusal(const board::Field& field, std::string_view text);

// The line's options' choices: --baud, --rs485, --echo, --read-end.
Choices BaudChoices();
Choices DirectionChoices();
Choices EchoChoices();
Choices ReadEndChoices();
// The delays before and after a frame are the driver's: "" when the control is
// kernel, else why option cannot take effect.
std::string DelayRefusal(std::string_view option, link::DirectionControl control);

// "cmd00, cmd11, ...": the commands of the board in use, as options and steps name them.
std::string CommandNames();

// A value as a refusal quotes it: whole up to kShownValueLength characters, else
// its first ones and "…" (a refused value may be megabytes long).
inline constexpr std::size_t kShownValueLength = 60;
std::string ShownValue(std::string_view value);
// A parser's message with every word longer than that shortened the same way.
std::string WithLongWordsShortened(std::string_view message);

}  // namespace tarnwick::bench
