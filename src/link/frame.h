#pragma once
// Frames on the RS-485 line: [address][length N][command][N-1 data][sum lo][sum hi].

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

// 16-bit sum of the bytes, modulo 65536.
std::uint16_t ComputeChecksum(std::span<const std::uint8_t> bytes);

// The frame that carries commandAndData (the command byte and its data, N bytes)
// to address: the address, N, the bytes, and their checksum low byte first.
Bytes MakeFrame(std::uint8_t address, std::span<const std::uint8_t> commandAndData);

// True when the sum of all bytes but the last two equals the last two, read low byte
// first. A reply of fewer than two bytes carries no checksum and never verifies.
bool VerifyReply(std::span<const std::uint8_t> reply);

// How far the bytes received so far go towards one reply frame.
enum class FrameProgress {
  Incomplete,  // fewer bytes than the length byte announces (or no length byte yet)
  Complete,    // exactly the announced N + 4 bytes, and their checksum holds
  NotAFrame,   // more bytes than announced, a length that cannot fit, or a checksum that fails
};
FrameProgress JudgeFrameSoFar(std::span<const std::uint8_t> bytes);

// The text shown for a device error reply's code.
std::string_view DeviceErrorText(std::uint8_t code);

}  // namespace tarnwick::link
