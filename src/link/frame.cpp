#include "frame.h"

#include <numeric>

namespace tarnwick::link {

std::uint16_t ComputeChecksum(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint16_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

std::size_t CompleteFrame(FrameBuffer& frame, std::uint8_t address, std::uint8_t n) {
  frame[kAddressOffset] = address;
  frame[kLengthOffset] = n;
  const std::size_t summed = std::size_t{n} + 2;
  const std::uint16_t sum = ComputeChecksum(std::span(frame).first(summed));
  frame[summed] = static_cast<std::uint8_t>(sum & 0xFF);
  frame[summed + 1] = static_cast<std::uint8_t>(sum >> 8);
  return summed + 2;
}

bool VerifyReply(std::span<const std::uint8_t> reply) {
  if (reply.size() < 2) return false;
  const std::size_t summed = reply.size() - 2;
  const unsigned expected = reply[summed] + 256u * reply[summed + 1];
  return ComputeChecksum(reply.first(summed)) == expected;
}

std::string_view DeviceErrorText(std::uint8_t code) {
  switch (code) {
    case 1: return "Invalid Command";
    case 2: return "Data Check Error";
    case 3: return "CMD Syntax Error";
    case 4: return "Motor Type Error";
    default: return "Unknown Error";
  }
}

}  // namespace tarnwick::link
