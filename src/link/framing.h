#pragma once
// How a board frames its bytes on the line: [address][length N][command][N-1 data]
// [check lo][check hi], the check being either the 16-bit sum or CRC-16/MODBUS of
// everything before it. Every place that builds, verifies or measures a frame asks
// a Framing, so a board's choice reaches them all.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "frame.h"

namespace tarnwick::link {

enum class FrameCheck : std::uint8_t { Sum16Le, Crc16Modbus };

// Polynomial 0x8005 reflected, starting at 0xFFFF, no final XOR.
std::uint16_t Crc16Modbus(std::span<const std::uint8_t> bytes);

class Framing {
 public:
  // Address, length, and the two check bytes around the command and its data.
  static constexpr std::size_t kOverhead = 4;

  constexpr Framing() = default;
  constexpr explicit Framing(FrameCheck check) : check_(check) {}
  constexpr FrameCheck Check() const { return check_; }
  friend constexpr bool operator==(Framing, Framing) = default;

  // The check of the bytes it covers.
  std::uint16_t CheckOf(std::span<const std::uint8_t> covered) const;
  // The frame that carries commandAndData (the command byte and its data, N bytes) to address.
  Bytes Make(std::uint8_t address, std::span<const std::uint8_t> commandAndData) const;
  // True when the last two bytes, low byte first, are the check of all before them.
  // Fewer than two bytes carry no check and never verify.
  bool Verify(std::span<const std::uint8_t> frame) const;
  // How far the bytes received so far go towards one frame.
  FrameProgress Judge(std::span<const std::uint8_t> bytes) const;

  // The whole frame's size that its length byte announces; nullopt before that byte.
  static std::optional<std::size_t> AnnouncedSize(std::span<const std::uint8_t> bytes) {
    if (bytes.size() <= kLengthOffset) return std::nullopt;
    return std::size_t{bytes[kLengthOffset]} + kOverhead;
  }
  // The two check bytes a frame carries, low byte first.
  static std::uint16_t Carried(std::span<const std::uint8_t> frame) {
    return static_cast<std::uint16_t>(frame[frame.size() - 2] | frame[frame.size() - 1] << 8);
  }

 private:
  FrameCheck check_ = FrameCheck::Sum16Le;
};

// The framing of the board in use; the 16-bit sum until a board says otherwise.
const Framing& FramingInUse();
void UseFraming(Framing framing);

}  // namespace tarnwick::link
