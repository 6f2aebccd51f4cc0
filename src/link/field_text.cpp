#include "field_text.h"

#include <algorithm>
#include <array>
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

std::int32_t DecimalFieldValue(std::string_view text) {
  std::size_t pos = 0;
  char32_t c = 0;
  auto next = [&] { return pos < text.size() ? (c = DecodeAt(text, pos), true) : false; };
  bool more = next();
  while (more && IsWideSpace(c)) more = next();
  bool negative = false;
  if (more && (c == '+' || c == '-')) {
    negative = c == '-';
    more = next();
  }
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; more; more = next()) {
    const int digit = WideDigitValue(c);
    if (digit < 0) break;
    magnitude = std::min<std::int64_t>(magnitude * 10 + digit, kLimit);
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

}  // namespace tarnwick::link
