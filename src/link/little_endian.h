#pragma once
// Multi-byte values in frames go low byte first.

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarnwick::link {

inline void PutLe16(std::span<std::uint8_t> out, std::size_t at, std::uint16_t value) {
  out[at] = static_cast<std::uint8_t>(value & 0xFF);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutLe32(std::span<std::uint8_t> out, std::size_t at, std::uint32_t value) {
  PutLe16(out, at, static_cast<std::uint16_t>(value & 0xFFFF));
  PutLe16(out, at + 2, static_cast<std::uint16_t>(value >> 16));
}

inline std::uint16_t Le16(std::span<const std::uint8_t> data, std::size_t at) {
  return static_cast<std::uint16_t>(data[at] | (data[at + 1] << 8));
}

inline std::uint32_t Le32(std::span<const std::uint8_t> data, std::size_t at) {
  return Le16(data, at) | (static_cast<std::uint32_t>(Le16(data, at + 2)) << 16);
}

}  // namespace tarnwick::link
