#pragma once
// One exchange with the board for one command: the window's Send button, a
// `tarnwick-cli send`, and the tests all run this same code through a host.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "baud_rates.h"
#include "commands.h"
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
};

// What the exchange asks of, and tells to, whoever shows it.
class TransactionHost {
 public:
  virtual ~TransactionHost() = default;

  // The panels. Writes the command byte (the code, with the reply flag when
  // replyFlag is non-zero) and its data to out and returns their count, or 0
  // for invalid or missing input.
  virtual std::uint8_t BuildCommand(CommandCode code, std::uint8_t replyFlag, std::span<std::uint8_t> out) = 0;
  // Reply data for the panels that show it (stepper status, D-C status, set-up):
  // the bytes that arrived between the panel's first byte and the checksum.
  // Returns false, changing nothing, when they are too few for what it shows.
  virtual bool ShowReply(CommandCode command, std::span<const std::uint8_t> data) = 0;

  // What the exchange produced.
  virtual void ClearOutputs() = 0;  // Send Data, Recv Data and the result line
  virtual void ShowFrameBytes(std::span<const std::uint8_t> bytes, bool sent) = 0;
  virtual void SetResultText(std::string_view text) = 0;
  virtual void SetAddressText(const std::string& text) = 0;
  virtual void SelectBaudIndex(int index) = 0;
  virtual void ShowInvalidParameter() = 0;
  // The window stays silent here; a command line says why.
  virtual void PortUnavailable(const std::string& /*path*/, const OpenError& /*error*/) {}
  // What the driver made of the direction control asked for (DirectionControl::Kernel).
  virtual void LineControlled(const LineReport& /*report*/) {}

  // The log this host's exchanges report to; none by default.
  virtual TrafficLog* Traffic() { return nullptr; }
  // For the log: the fields that ShowReply filled from data, as "label value"
  // texts ("Left +50", "Right 0").
  virtual std::vector<std::string> DescribeReply(CommandCode /*command*/, std::span<const std::uint8_t> /*data*/) {
    return {};
  }
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

// Runs one exchange for command: the host's panel encodes it, the reply (where
// one is awaited) is evaluated and shown through the host.
ExchangeOutcome SendCommand(TransactionHost& host, const LineSettings& line, CommandCode command);

// A frame with the given command byte and data, to the line's address, awaiting
// a reply exactly when the command byte carries the reply flag. For trying
// commands the panels do not offer; the reply is evaluated as any other.
ExchangeOutcome SendRawCommand(TransactionHost& host, const LineSettings& line,
                               std::span<const std::uint8_t> commandAndData);

// Send on a page without a command: clears the outputs and opens and closes the
// port as every Send does, but sends nothing.
ExchangeOutcome SendNothing(TransactionHost& host, const LineSettings& line);

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
