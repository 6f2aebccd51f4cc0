#include "field_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>

namespace tarnwick::link {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at text[pos], advancing pos. Malformed input gives
// U+FFFD and consumes one byte, so no byte is ever read twice or skipped unseen.
char32_t DecodeAt(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  int extra = 0;
  char32_t c = 0;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1, c = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, c = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, c = lead & 0x07;
  } else {
    ++pos;
    return kReplacement;
  }
  if (pos + static_cast<std::size_t>(extra) >= text.size()) {
    ++pos;
    return kReplacement;
  }
  for (int i = 1; i <= extra; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + static_cast<std::size_t>(i)]);
    if ((next & 0xC0) != 0x80) {
      ++pos;
      return kReplacement;
    }
    c = (c << 6) | (next & 0x3F);
  }
  pos += static_cast<std::size_t>(extra) + 1;
  return c;
}

// Start of the last code point that ends at text[end - 1].
std::size_t StartOfLastCodePoint(std::string_view text, std::size_t end) {
  std::size_t start = end - 1;
  for (int back = 0; back < 3 && start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80; ++back) --start;
  std::size_t pos = start;
  DecodeAt(text, pos);
  return pos == end ? start : end - 1;
}

// The zero of every run of ten decimal digits that the conversion accepts.
constexpr std::array<char32_t, 19> kDigitZeros = {
    0x0030, 0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66, 0x0AE6, 0x0B66, 0x0BE6, 0x0C66,
    0x0CE6, 0x0D66, 0x0E50, 0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10,
};

int HexDigitValue(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') return static_cast<int>((c | 0x20) - 'a' + 10);
  return -1;
}

}  // namespace

bool IsWideSpace(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

int WideDigitValue(char32_t c) {
  for (char32_t zero : kDigitZeros)
    if (c >= zero && c <= zero + 9) return static_cast<int>(c - zero);
  return -1;
}

std::string TrimFieldText(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0) {
    const std::size_t start = StartOfLastCodePoint(text, end);
    std::size_t pos = start;
    if (!IsWideSpace(DecodeAt(text, pos))) break;
    end = start;
  }
  std::size_t begin = 0;
  while (begin < end) {
    std::size_t pos = begin;
    if (!IsWideSpace(DecodeAt(text, pos))) break;
    begin = pos;
  }
  return std::string(text.substr(begin, end - begin));
}

std::optional<std::int64_t> ReadFieldNumber(std::string_view text, NumberForm form, Reading reading) {
  const bool asTyped = reading == Reading::AsTyped;
  std::size_t pos = 0;
  for (std::size_t next = 0; asTyped && pos < text.size() && IsWideSpace(DecodeAt(text, next)); next = pos) pos = next;
  const std::string_view rest = text.substr(pos);
  const bool prefixed = rest.size() >= 2 && rest[0] == '0' && (rest[1] | 0x20) == 'x';
  const bool hex = form == NumberForm::Hex || (form == NumberForm::Count && prefixed);
  bool negative = false;
  if (hex && prefixed) {
    pos += 2;
  } else if (!hex && (asTyped || form == NumberForm::Signed) && !rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
    negative = rest[0] == '-';
    ++pos;
  }
  constexpr std::int64_t kHuge = std::int64_t{1} << 40;
  std::int64_t magnitude = 0;
  std::size_t digits = 0;
  for (std::size_t next = pos; pos < text.size(); pos = next, ++digits) {
    const char32_t c = DecodeAt(text, next);
    const int digit = hex ? HexDigitValue(c) : asTyped ? WideDigitValue(c) : c >= '0' && c <= '9' ? int(c - '0') : -1;
    if (digit < 0) break;
    magnitude = std::min(magnitude * (hex ? 16 : 10) + digit, kHuge);
  }
  if (!asTyped && (digits == 0 || pos != text.size())) return std::nullopt;
  return negative ? -magnitude : magnitude;
}

std::optional<double> ReadFieldDecimal(std::string_view text, Reading reading) {
  const bool asTyped = reading == Reading::AsTyped;
  const std::string trimmed = asTyped ? TrimFieldText(text) : std::string(text);
  std::string number;
  std::size_t pos = 0;
  if (pos < trimmed.size() && (trimmed[pos] == '+' || trimmed[pos] == '-')) number += trimmed[pos++] == '-' ? "-" : "";
  std::size_t digits = 0;
  bool point = false;
  for (; pos < trimmed.size(); ++pos) {
    const char c = trimmed[pos];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      if (++digits > 15) return std::nullopt;
    } else {
      break;
    }
    number += c;
  }
  if (!asTyped && (digits == 0 || pos != trimmed.size())) return std::nullopt;
  if (digits == 0) return 0.0;
  double value = 0;
  std::from_chars(number.data(), number.data() + number.size(), value);  // the point whatever the locale
  return value;
}

}  // namespace tarnwick::link
