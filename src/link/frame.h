#pragma once
// Frames on the RS-485 line: [address][length N][command][N-1 data][check lo][check hi]
// (framing.h builds, verifies and measures them).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tarnwick::link {

inline constexpr std::size_t kFrameBufferSize = 20;
using FrameBuffer = std::array<std::uint8_t, kFrameBufferSize>;
using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kBroadcastAddress = 0xFF;
// A board's own address: 00 is no board's, FF every board's.
inline constexpr std::uint8_t kFirstBoardAddress = 0x01;
inline constexpr std::uint8_t kLastBoardAddress = 0xFE;
inline constexpr std::uint8_t kReplyFlag = 0x80;
inline constexpr std::uint8_t kDeviceErrorCommand = 0xFF;
// Offsets inside a frame.
inline constexpr std::size_t kAddressOffset = 0;
inline constexpr std::size_t kLengthOffset = 1;
inline constexpr std::size_t kCommandOffset = 2;
inline constexpr std::size_t kFirstDataOffset = 3;
// The largest N whose frame still fits the buffer.
inline constexpr std::size_t kMaxCommandLength = kFrameBufferSize - 4;

// How far the bytes received so far go towards one reply frame.
enum class FrameProgress {
  Incomplete,  // fewer bytes than the length byte announces (or no length byte yet)
  Complete,    // exactly the announced N + 4 bytes, and their check holds
  NotAFrame,   // more bytes than announced, a length that cannot fit, or a check that fails
};

// The text shown for a device error reply's code.
std::string_view DeviceErrorText(std::uint8_t code);

}  // namespace tarnwick::link
