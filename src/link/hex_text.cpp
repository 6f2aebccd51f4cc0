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
