#pragma once
// One exchange with the board for one command: the window's Send button, a
// `tarnwick-cli send`, scan, watch and run all call this, and read what happened
// from the record it returns.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "board/board.h"
#include "board/codec.h"
#include "link/frame.h"
#include "link/framing.h"
#include "link/line_control.h"
#include "link/serial_port.h"
#include "link/traffic_log.h"
#include "link/transaction.h"

namespace tarnwick::board {

// A reply frame as it arrived: [address][N][command][data][check lo][check hi]. Every
// accessor stays within the bytes that arrived.
class FrameView {
 public:
  explicit FrameView(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::span<const std::uint8_t> Bytes() const { return bytes_; }
  bool Verified() const { return link::FramingInUse().Verify(bytes_); }
  // The frame without its checksum (all of it when it is too short to carry one).
  std::span<const std::uint8_t> Body() const { return bytes_.size() >= 2 ? bytes_.first(bytes_.size() - 2) : bytes_; }
  bool HasCommand() const { return Body().size() > link::kCommandOffset; }
  std::uint8_t Address() const { return bytes_.empty() ? 0 : bytes_[link::kAddressOffset]; }
  std::uint8_t CommandByte() const { return HasCommand() ? bytes_[link::kCommandOffset] : 0; }
  // From the first data byte up to the checksum.
  std::span<const std::uint8_t> Data() const {
    return Body().size() > link::kFirstDataOffset ? Body().subspan(link::kFirstDataOffset) : std::span<const std::uint8_t>();
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

// What one exchange did, for whoever shows it.
struct ExchangeRecord {
  link::ExchangeOutcome outcome;          // how far it got, the result text, why, a device error's code
  std::string command;                    // "CMD13"; "" for raw bytes
  std::optional<link::Bytes> sent;        // the frame, once built (also when it failed to leave)
  std::optional<link::Bytes> received;    // the bytes read as the reply
  std::vector<DecodedField> fields;       // what the reply filled, in the page's order (Addr, Baudrate too)
  std::optional<std::uint8_t> address;    // an address the reply reported (the address box shows it)
  std::optional<int> baudIndex;           // the rate position the board moved to
  std::string refusal;                    // InvalidParameter: which field and why
  std::string refusedField;               // InvalidParameter: the field's name, when a field was refused
  link::OpenError openError;              // PortUnavailable: why
  std::optional<link::LineReport> line;   // what the driver made of kernel direction control
  // How a verified reply differs from the one asked for: "Reply from 01 (asked 05)",
  // "Reply to CMD13 (asked CMD43)", or both; "" when it is the one asked for.
  std::string replyMismatch;

  FrameView Reply() const { return FrameView(received ? std::span<const std::uint8_t>(*received) : std::span<const std::uint8_t>()); }
};

// Runs one exchange of command with the field texts given (missing ones take
// their start texts). log: where its entries go, none when null.
ExchangeRecord SendCommand(const link::LineSettings& line, const Command& command, const FieldTexts& texts,
                           link::TrafficLog* log = nullptr);

// A frame with the given command byte and data, to the line's address, awaiting a
// reply exactly when the command byte carries the reply flag. For trying commands
// the board description lacks; the reply is evaluated as any other.
ExchangeRecord SendRawCommand(const link::LineSettings& line, std::span<const std::uint8_t> commandAndData,
                              link::TrafficLog* log = nullptr);

// Send on a page without a command: opens and closes the port as every Send does,
// but sends nothing.
ExchangeRecord SendNothing(const link::LineSettings& line, link::TrafficLog* log = nullptr);

// The JSON keys of the fields a command's reply fills, in order.
std::vector<std::string> ReplyFieldKeys(const Command& command);

// What a verified reply (without its checksum) comes to under the current board:
// the result, why, and the fields it fills. For the exchange and the fuzz target.
struct Verdict {
  std::string text;
  std::string detail;
  std::optional<std::uint8_t> deviceErrorCode;
};
Verdict EvaluateReply(const FrameView& reply, ExchangeRecord& record, std::vector<std::string>& filled);

// A reply's bytes as the log describes them: "CMD13 from 01: Reverse unchecked, ...",
// or why they fail their checksum.
std::string DescribeReplyFrame(std::span<const std::uint8_t> bytes);

}  // namespace tarnwick::board
