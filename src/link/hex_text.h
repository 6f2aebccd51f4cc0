#pragma once
// The two text forms that bytes and fields share: hex text in, hex dump out.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::link {

// Reads hexadecimal digits after an optional 0x or 0X up to the first other
// character, keeping the low 32 bits. No digits give 0. The caller trims the text.
std::uint32_t ParseHexText(std::string_view text);

// A device address as every option, sequence step and board list takes it: one or
// two hex digits, after an optional 0x or 0X, and nothing else.
std::optional<std::uint8_t> ParseDeviceAddress(std::string_view text);
// The one refusal of a text that is no device address: "'1G' is not a device
// address: one or two hex digits, 0x allowed". Callers put the option first and
// shorten a long text.
std::string NotADeviceAddress(std::string_view text);
// How help texts describe a device address.
inline constexpr const char* kDeviceAddressForm = "one or two hex digits, 0x allowed (FF: broadcast)";

// Bytes written as hex: words of one or two hex digits between white space
// ("11 70 17 00 00"), as --raw takes them and the log writes them. nullopt for any
// other word, which badWord (when given) then holds.
std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text, std::string* badWord = nullptr);

// "FF 01 80 80 01": two upper-case digits a byte, single spaces between.
std::string FormatHexDump(std::span<const std::uint8_t> bytes);

// Single bytes shown in fields: two upper-case digits.
std::string FormatHexByte(std::uint8_t byte);

}  // namespace tarnwick::link
