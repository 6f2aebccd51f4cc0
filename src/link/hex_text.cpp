#include "hex_text.h"

namespace tarnwick::link {
namespace {

constexpr std::string_view kDigits = "0123456789ABCDEF";

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::uint32_t ParseHexText(std::string_view text) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  std::uint32_t value = 0;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) break;
    value = value * 16u + static_cast<std::uint32_t>(digit);
  }
  return value;
}

std::optional<std::uint8_t> ParseDeviceAddress(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  if (text.empty() || text.size() > 2) return std::nullopt;
  for (const char c : text)
    if (HexDigitValue(c) < 0) return std::nullopt;
  return static_cast<std::uint8_t>(ParseHexText(text));
}

std::string NotADeviceAddress(std::string_view text) {
  return "'" + std::string(text) + "' is not a device address: one or two hex digits, 0x allowed";
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text, std::string* badWord) {
  std::vector<std::uint8_t> bytes;
  constexpr std::string_view kSpace = " \t\r\n\f\v";
  for (std::size_t start = text.find_first_not_of(kSpace); start != std::string_view::npos;
       start = text.find_first_not_of(kSpace, start)) {
    const std::string_view word = text.substr(start, text.find_first_of(kSpace, start) - start);
    start += word.size();
    const bool hex = word.size() <= 2 && HexDigitValue(word[0]) >= 0 && HexDigitValue(word.back()) >= 0;
    if (!hex) {
      if (badWord) *badWord = std::string(word);
      return std::nullopt;
    }
    bytes.push_back(static_cast<std::uint8_t>(ParseHexText(word)));
  }
  return bytes;
}

std::string FormatHexDump(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 3);
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

std::string FormatHexByte(std::uint8_t byte) { return FormatHexDump(std::span(&byte, 1)); }

}  // namespace tarnwick::link
