#pragma once
// Faults a simulated board can put into its replies, for tests and demonstrations.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "board.h"

namespace tarnwick::sim {

enum class FaultKind {
  None,
  NoReply,          // hears the frame, says nothing
  BadChecksum,      // the checksum's low byte is wrong
  SwappedChecksum,  // checksum high byte first
  SplitReply,       // a pause longer than the reader's 25 ms gap in the middle
  TrickleReply,     // byte by byte, each pause shorter than the gap
  ExtraBytes,       // noise after the frame
  TruncatedReply,   // the last bytes never come
  DeviceError,      // a device error reply with the chosen code instead
  FailedStatus,     // the status byte says the command failed
  Echo,             // every frame heard goes back on the line before the reply, as a half-duplex adapter echoes
  EchoGarbled,      // ...with one byte changed, as a collision on the line would
  OwnAddressOnly,   // a frame sent to every board (FF) gets no reply; one to its own address does
};

struct Fault {
  FaultKind kind = FaultKind::None;
  std::uint8_t errorCode = 2;                // for DeviceError
  std::chrono::milliseconds replyDelay{0};   // before any reply, whatever the kind
  int count = -1;                            // replies it applies to; -1: until changed
};

// One piece of a reply on the wire: bytes, then a pause before the next piece.
struct ReplyChunk {
  Bytes bytes;
  std::chrono::milliseconds pauseAfter{0};
};

// How a good reply to a frame sent to heardAddress goes out under the fault.
std::vector<ReplyChunk> ShapeReply(const Bytes& reply, const Fault& fault, std::uint8_t heardAddress);

// What goes back on the line the moment a frame is heard: the frame itself under
// the echo faults, nothing otherwise.
Bytes EchoOf(const Bytes& heard, const Fault& fault);

// "split", "device-error=4", "delay=50" ...; nullopt for an unknown word.
std::optional<Fault> ParseFault(std::string_view text);
std::string FaultNames();

}  // namespace tarnwick::sim
