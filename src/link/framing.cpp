#include "framing.h"

#include <numeric>

namespace tarnwick::link {
namespace {

Framing& Installed() {
  static Framing framing;
  return framing;
}

}  // namespace

std::uint16_t Crc16Modbus(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0xFFFF;
  for (const std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

std::uint16_t Framing::CheckOf(std::span<const std::uint8_t> covered) const {
  if (check_ == FrameCheck::Crc16Modbus) return Crc16Modbus(covered);
  return static_cast<std::uint16_t>(std::accumulate(covered.begin(), covered.end(), 0u));
}

Bytes Framing::Make(std::uint8_t address, std::span<const std::uint8_t> commandAndData) const {
  Bytes frame{address, static_cast<std::uint8_t>(commandAndData.size())};
  frame.reserve(commandAndData.size() + kOverhead);
  frame.insert(frame.end(), commandAndData.begin(), commandAndData.end());
  const std::uint16_t check = CheckOf(frame);
  frame.push_back(static_cast<std::uint8_t>(check & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(check >> 8));
  return frame;
}

bool Framing::Verify(std::span<const std::uint8_t> frame) const {
  if (frame.size() < 2) return false;
  return CheckOf(frame.first(frame.size() - 2)) == Carried(frame);
}

FrameProgress Framing::Judge(std::span<const std::uint8_t> bytes) const {
  const std::optional<std::size_t> announced = AnnouncedSize(bytes);
  if (!announced) return FrameProgress::Incomplete;
  if (*announced > kFrameBufferSize || bytes.size() > *announced) return FrameProgress::NotAFrame;
  if (bytes.size() < *announced) return FrameProgress::Incomplete;
  return Verify(bytes) ? FrameProgress::Complete : FrameProgress::NotAFrame;
}

const Framing& FramingInUse() { return Installed(); }

void UseFraming(Framing framing) { Installed() = framing; }

}  // namespace tarnwick::link
