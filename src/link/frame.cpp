#include "frame.h"

#include <numeric>

namespace tarnwick::link {

std::uint16_t ComputeChecksum(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint16_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

Bytes MakeFrame(std::uint8_t address, std::span<const std::uint8_t> commandAndData) {
  Bytes frame{address, static_cast<std::uint8_t>(commandAndData.size())};
  frame.reserve(commandAndData.size() + 4);
  frame.insert(frame.end(), commandAndData.begin(), commandAndData.end());
  const std::uint16_t sum = ComputeChecksum(frame);
  frame.push_back(static_cast<std::uint8_t>(sum & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(sum >> 8));
  return frame;
}

bool VerifyReply(std::span<const std::uint8_t> reply) {
  if (reply.size() < 2) return false;
  const std::size_t summed = reply.size() - 2;
  const unsigned expected = reply[summed] + 256u * reply[summed + 1];
  return ComputeChecksum(reply.first(summed)) == expected;
}

FrameProgress JudgeFrameSoFar(std::span<const std::uint8_t> bytes) {
  if (bytes.size() <= kLengthOffset) return FrameProgress::Incomplete;
  const std::size_t announced = std::size_t{bytes[kLengthOffset]} + 4;
  if (announced > kFrameBufferSize || bytes.size() > announced) return FrameProgress::NotAFrame;
  if (bytes.size() < announced) return FrameProgress::Incomplete;
  return VerifyReply(bytes) ? FrameProgress::Complete : FrameProgress::NotAFrame;
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
