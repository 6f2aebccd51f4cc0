#pragma once
// What every exchange shares: the line as the user set it up, the result texts,
// how far an exchange got, and sending frames nobody answers (board/exchange.h
// holds the exchange of a command).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "baud_rates.h"
#include "line_control.h"
#include "serial_port.h"
#include "traffic_log.h"

namespace tarnwick::link {

// Result-line texts.
namespace result {
inline constexpr std::string_view kSuccess = "Success";
inline constexpr std::string_view kFailed = "Failed";
inline constexpr std::string_view kReadFailed = "Fail to read res";
inline constexpr std::string_view kNoResponse = "No response data";
inline constexpr std::string_view kDataError = "Data recv Error";
inline constexpr std::string_view kSendFailed = "Fail to send";
}  // namespace result

inline constexpr std::string_view kInvalidParameterMessage = "Invalid or Missing Parameter";
inline constexpr std::string_view kInvalidParameterCaption = "Error";

// Which verified replies count. Any: the checksum decides, as the line protocol
// has it; a reply from another board or to another command is only noted. Asked:
// only a reply from the address asked that answers the command asked (or is that
// board's device error); any other fails the exchange. A broadcast may be
// answered by any board either way.
enum class ReplyAcceptance { Any, Asked };

// The line as the user set it up: which port, how fast, which device, and
// whether a reply is wanted (the "Res" check box).
struct LineSettings {
  std::string portPath;                // empty: no port selected
  int baudIndex = kDefaultBaudIndex;   // position in kBaudRates; outside it: no rate selected
  std::string addressText = "FF";      // hexadecimal, as typed
  bool replyWanted = true;
  ReadRule read;                       // when the reply's read ends: the window keeps the gap rule
  DirectionSettings direction{};       // who turns the line round between sending and receiving
  EchoHandling echo = EchoHandling::Off;  // Skip: the adapter hears our frame; read it back first
  ReplyAcceptance accept = ReplyAcceptance::Any;
};

// How far an exchange got, for callers that report it (exit codes).
enum class ExchangeStage {
  NoPortSelected,    // or no baud rate selected
  PortUnavailable,
  InvalidParameter,
  NothingToSend,     // a page that sends by itself
  SendFailed,        // the frame did not leave: "Fail to send", nothing read
  Sent,              // no reply awaited
  ReplyEvaluated,    // the result text says how it went
};

struct ExchangeOutcome {
  ExchangeStage stage = ExchangeStage::NoPortSelected;
  std::string result;  // the result line's text
  // Why a reply was "Data recv Error" ("bad checksum: computed 0x0104, received
  // 0x0105") or the frame failed to send; empty otherwise. The window shows only
  // the result line.
  std::string detail;
  std::optional<std::uint8_t> deviceErrorCode;  // the code of a device error reply
};

// Writes bytes (whole frames, all to be read by nobody) in one write: the live
// test pages' updates and stops. source names the sender in the log ("Stepper
// Test"). The stage is Sent, PortUnavailable (with error filled) or SendFailed
// (with the result "Fail to send" and why).
ExchangeOutcome SendFrames(const std::string& portPath, int baudRate, std::span<const std::uint8_t> bytes,
                std::string_view source, TrafficLog* log, OpenError* error = nullptr,
                const DirectionSettings& direction = {});

// The device address from the address field's text: trimmed, empty means
// broadcast, otherwise the low 8 bits of its hex value.
std::uint8_t ParseAddressText(std::string_view text);

}  // namespace tarnwick::link
