#pragma once
// One exchange with the board for the tab on display: the window's Send button,
// a `tarnwick-cli send`, and the tests all run this same code through a host.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "serial_port.h"

namespace tarnwick::link {

// Tab indices of the main window, in tab-strip order.
enum Tab : int {
  kTabCmd00, kTabCmd11, kTabCmd12, kTabCmd13, kTabCmd21, kTabCmd22, kTabCmd23, kTabCmd24,
  kTabCmd38, kTabCmd3F, kTabCmd40, kTabCmd41, kTabCmd42, kTabCmd43, kTabStepperTest, kTabDcTest,
  kTabCount
};

// The command code each command tab sends (without the reply flag).
std::optional<std::uint8_t> CommandCodeOfTab(int tab);

// Result-line texts.
namespace result {
inline constexpr std::string_view kSuccess = "Success";
inline constexpr std::string_view kFailed = "Failed";
inline constexpr std::string_view kReadFailed = "Fail to read res";
inline constexpr std::string_view kNoResponse = "No response data";
inline constexpr std::string_view kDataError = "Data recv Error";
}  // namespace result

inline constexpr std::string_view kInvalidParameterMessage = "Invalid or Missing Parameter";
inline constexpr std::string_view kInvalidParameterCaption = "Error";

// What the transaction asks of, and tells to, whoever shows it.
class TransactionHost {
 public:
  virtual ~TransactionHost() = default;

  // The main window's state.
  virtual std::string SelectedPortPath() const = 0;      // empty: no port selected
  virtual std::optional<int> SelectedBaudIndex() const = 0;
  virtual std::string AddressText() const = 0;
  virtual bool ReplyWanted() const = 0;                  // the "Res" check box
  virtual int CurrentTab() const = 0;

  // The panels. BuildCommand is asked for the tabs whose panel encodes its own
  // command (CMD11, CMD12, CMD21, CMD23, CMD40, CMD42): it writes the command byte
  // and data to out and returns their count, or 0 for invalid input.
  virtual std::uint8_t BuildCommand(int tab, std::uint8_t replyFlag, std::span<std::uint8_t> out) = 0;
  // CMD22's stored drive modes, 0 to 3 each.
  virtual std::uint8_t LeftMode() const = 0;
  virtual std::uint8_t RightMode() const = 0;
  // The list position chosen on the CMD41 tab.
  virtual int NewBaudIndex() const = 0;
  // Reply data for the CMD13, CMD24 and CMD43 panels: the bytes that arrived between
  // the panel's first byte and the checksum. Returns false, changing nothing, when
  // they are too few for what the panel shows.
  virtual bool ShowReply(std::uint8_t command, std::span<const std::uint8_t> data) = 0;

  // What the exchange produced.
  virtual void ClearOutputs() = 0;  // Send Data, Recv Data and the result line
  virtual void ShowFrameBytes(std::span<const std::uint8_t> bytes, bool sent) = 0;
  virtual void SetResultText(std::string_view text) = 0;
  virtual void SetAddressText(const std::string& text) = 0;
  virtual void SelectBaudIndex(int index) = 0;
  virtual void ShowInvalidParameter() = 0;
  // The window stays silent here; a command line says why.
  virtual void PortUnavailable(const std::string& /*path*/, const OpenError& /*error*/) {}
};

// How far an exchange got, for callers that report it (exit codes).
enum class ExchangeStage {
  NoPortSelected,    // or no baud rate selected
  PortUnavailable,
  InvalidParameter,
  NothingToSend,     // a live test tab
  Sent,              // no reply awaited
  ReplyEvaluated,    // the result text says how it went
};

struct ExchangeOutcome {
  ExchangeStage stage = ExchangeStage::NoPortSelected;
  std::string result;  // the result line's text
};

// Runs one exchange for host.CurrentTab().
ExchangeOutcome SendCommand(TransactionHost& host);

// A frame with the given command byte and data, to the address field's address,
// awaiting a reply exactly when the command byte carries the reply flag. For
// trying commands the panels do not offer; the reply is evaluated as any other.
ExchangeOutcome SendRawCommand(TransactionHost& host, std::span<const std::uint8_t> commandAndData);

// The device address from the address field's text: trimmed, empty means
// broadcast, otherwise the low 8 bits of its hex value.
std::uint8_t ParseAddressText(std::string_view text);

}  // namespace tarnwick::link
