#pragma once
// How every field's text is read: trimmed of white space at both ends, and, for a
// decimal field, an optional sign and the digits of any script the field accepts.
// Texts are UTF-8 throughout the core; the window converts at its edge.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick::link {

// White space as wide-character classification knows it: tab to carriage return,
// space, next line, no-break space and the other Unicode space separators.
bool IsWideSpace(char32_t c);

// The decimal value of c when it is a digit of a script the conversion knows
// (ASCII, fullwidth, Arabic-Indic, Devanagari, Thai, ...), else -1.
int WideDigitValue(char32_t c);

// The field text: the text without white space at its end and at its start.
std::string TrimFieldText(std::string_view text);

// How a number is written in a field: decimal; hex digits, 0x allowed; a count:
// decimal, or hex after 0x; or signed: decimal with an optional sign, even exact.
enum class NumberForm : std::uint8_t { Decimal, Hex, Count, Signed };

// How much of the text is the number. Exact: all of it, ASCII digits without sign
// or space (the command line, sequences, board files). AsTyped: as a window's field
// reads it: white space and a sign (decimal) first, then digits (decimal ones of any
// script) up to the first other character; no digits give 0.
enum class Reading : std::uint8_t { Exact, AsTyped };

// The one reader of a field's number: nothing when an Exact text is no number.
// Magnitudes stop at 2^40, beyond every field's range, so none wraps round into it.
std::optional<std::int64_t> ReadFieldNumber(std::string_view text, NumberForm form, Reading reading);

// A physical value with decimals ("-12.75", "+3", ".5"): the reader of a scaled
// field's text, with the same Exact and AsTyped readings and ASCII digits only.
// Nothing when an Exact text is not such a number, or either reading has more
// than 15 significant digits (beyond what a double holds exactly).
std::optional<double> ReadFieldDecimal(std::string_view text, Reading reading);

}  // namespace tarnwick::link
