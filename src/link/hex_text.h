#pragma once
// The two text forms that bytes and fields share: hex text in, hex dump out.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarnwick::link {

// Reads hexadecimal digits after an optional 0x or 0X up to the first other
// character, keeping the low 32 bits. No digits give 0. The caller trims the text.
std::uint32_t ParseHexText(std::string_view text);

// "FF 01 80 80 01": two upper-case digits a byte, single spaces between.
std::string FormatHexDump(std::span<const std::uint8_t> bytes);

// Single bytes shown in fields: two upper-case digits.
std::string FormatHexByte(std::uint8_t byte);

}  // namespace tarnwick::link
