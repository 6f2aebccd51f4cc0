#pragma once
// How every field's text is read: trimmed of white space at both ends, and, for a
// decimal field, an optional sign and the digits of any script the field accepts.
// Texts are UTF-8 throughout the core; the window converts at its edge.

#include <cstdint>
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

// Optional sign, then digits up to the first non-digit; no digits give 0; the value
// saturates to the signed 32-bit range.
std::int32_t DecimalFieldValue(std::string_view text);

}  // namespace tarnwick::link
