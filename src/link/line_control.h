#pragma once
// Who turns an RS-485 line between sending and receiving. Most USB adapters do it
// themselves; a built-in UART needs the driver's RS-485 mode, or RTS raised by the
// program around each frame. The driver's calls sit behind LineControl, so the
// rules here are tested with a stand-in.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "serial_port.h"

namespace tarnwick::link {

enum class DirectionControl {
  Off,     // the adapter switches direction itself
  Kernel,  // the driver's RS-485 mode raises RTS while it sends
  Rts,     // the program raises RTS, writes, waits for the line to empty, lowers RTS
};

// An adapter that hears its own frames (Skip: read them back before the reply).
enum class EchoHandling { Off, Skip };

struct DirectionSettings {
  DirectionControl control = DirectionControl::Off;
  int delayBeforeMs = 0;  // RTS raised this long before the first bit (Kernel only)
  int delayAfterMs = 0;   // ...and held this long after the last
};

// The longest delay --rs485-delay-before and -after take; the driver caps what it
// cannot do (Linux keeps at most 100).
inline constexpr int kMaxDirectionDelayMs = 1000;

// The names the options and settings take, in the order they are listed.
std::vector<std::string> DirectionControlNames();  // off, kernel, rts
std::vector<std::string> EchoHandlingNames();      // off, skip

std::string_view NameOf(DirectionControl control);
std::optional<DirectionControl> DirectionControlNamed(std::string_view name);
std::string_view NameOf(EchoHandling echo);
std::optional<EchoHandling> EchoHandlingNamed(std::string_view name);

// The driver's RS-485 settings (the flags of Linux's struct serial_rs485).
namespace rs485_flag {
inline constexpr std::uint32_t kEnabled = 1u << 0;
inline constexpr std::uint32_t kRtsOnSend = 1u << 1;
inline constexpr std::uint32_t kRtsAfterSend = 1u << 2;
inline constexpr std::uint32_t kRxDuringTx = 1u << 4;
}  // namespace rs485_flag

struct Rs485Config {
  std::uint32_t flags = 0;
  std::uint32_t delayBeforeMs = 0;
  std::uint32_t delayAfterMs = 0;
  bool operator==(const Rs485Config&) const = default;
};

// The driver's calls. Each returns 0 or an errno value (ENOTTY: no such mode).
class LineControl {
 public:
  virtual ~LineControl() = default;
  virtual int GetRs485(Rs485Config& config) = 0;
  // config becomes what the driver applied: it caps, drops and fixes what it cannot do.
  virtual int SetRs485(Rs485Config& config) = 0;
  virtual int SetRts(bool raised) = 0;
  // Where the driver can raise RTS for each write itself (Windows' RTS toggle),
  // hands it over and returns 0; the program toggles it otherwise.
  virtual int LetDriverToggleRts();
};

// What direction control came to on an opened port.
struct LineReport {
  DirectionControl control = DirectionControl::Off;
  Rs485Config asked, applied;        // Kernel: what was asked and what the driver kept
  std::vector<std::string> changes;  // "delay before sending 100 ms (asked 250)"
};

// "RS-485 by the driver: RTS high while sending, 100 ms before, 0 ms after, receiver
// off while sending; the driver changed delay before sending 100 ms (asked 250)".
std::string DescribeLine(const LineReport& report);
// Every setting the driver applied differently from what was asked.
std::vector<std::string> Rs485Changes(const Rs485Config& asked, const Rs485Config& applied);

// Direction control set up through a port's driver calls.
struct DirectionSetup {
  std::string refusal;                 // a sentence for the user where it cannot be done; empty when done
  bool togglesRts = false;             // the program raises RTS around each transmit
  std::optional<Rs485Config> restore;  // the driver's settings to put back at closing
  LineReport report;
};
DirectionSetup SetUpDirection(LineControl& control, const DirectionSettings& direction);

// Puts direction control around an open port: the driver's mode (restored as it
// was when the port closes) or RTS raised around each transmit. Returns nullptr,
// with why in error, where the port cannot do it; the port is closed then.
std::unique_ptr<SerialPort> ControlDirection(std::unique_ptr<SerialPort> port, const DirectionSettings& direction,
                                             OpenError* error = nullptr, LineReport* report = nullptr);

// OpenPort, then ControlDirection.
std::unique_ptr<SerialPort> OpenLinePort(const std::string& path, int baudRate, const DirectionSettings& direction,
                                         OpenError* error = nullptr, LineReport* report = nullptr);

}  // namespace tarnwick::link
