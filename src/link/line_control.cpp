#include "line_control.h"

#include "network_port.h"

#include <array>
#include <cerrno>
#include <system_error>
#include <utility>

namespace tarnwick::link {
namespace {

struct NamedControl {
  std::string_view name;
  DirectionControl control;
};
constexpr std::array<NamedControl, 3> kControlNames = {
    {{"off", DirectionControl::Off}, {"kernel", DirectionControl::Kernel}, {"rts", DirectionControl::Rts}}};

struct NamedFlag {
  std::uint32_t flag;
  std::string_view text;
};
constexpr std::array<NamedFlag, 4> kFlagNames = {{{rs485_flag::kEnabled, "RS-485 mode"},
                                                   {rs485_flag::kRtsOnSend, "RTS high while sending"},
                                                   {rs485_flag::kRtsAfterSend, "RTS high after sending"},
                                                   {rs485_flag::kRxDuringTx, "receiving while sending"}}};

std::string OnOff(bool on) { return on ? "on" : "off"; }

// A sentence for the user where the port cannot control direction as asked.
std::string WhyNoControl(DirectionControl control, int err) {
  if (err == ENOSYS)
    return "Windows has no driver RS-485 mode; --rs485 rts hands RTS to the driver's toggle instead";
  if (err == ENOTTY || err == EINVAL || err == ENOTSUP) {
    if (control == DirectionControl::Kernel)
      return "this adapter switches direction itself (the driver has no RS-485 mode); leave --rs485 off";
    return "this port has no RTS line to switch (a pseudo-terminal or a virtual port); leave --rs485 off";
  }
  const std::string what = control == DirectionControl::Kernel ? "the RS-485 mode" : "RTS";
  return "cannot set " + what + ": " + std::generic_category().message(err);
}

// The port with its direction controlled: the driver's previous RS-485 settings
// come back when it closes; under Rts, RTS is raised around each transmit.
class DirectedPort final : public SerialPort {
 public:
  DirectedPort(std::unique_ptr<SerialPort> port, std::unique_ptr<LineControl> control, bool togglesRts,
               std::optional<Rs485Config> restore)
      : port_(std::move(port)), control_(std::move(control)), togglesRts_(togglesRts), restore_(restore) {}
  ~DirectedPort() override {
    if (restore_) control_->SetRs485(*restore_);
  }
  DirectedPort(const DirectedPort&) = delete;
  DirectedPort& operator=(const DirectedPort&) = delete;

  // RTS stays raised through the settle delay: the driver's queue empties before
  // the UART has shifted out its last bytes.
  TransmitResult TransmitFrame(std::span<const std::uint8_t> bytes, int baudRate) override {
    if (!togglesRts_) return port_->TransmitFrame(bytes, baudRate);
    if (const int err = control_->SetRts(true))
      return {false, "raising RTS failed: " + std::generic_category().message(err)};
    TransmitResult result = port_->TransmitFrame(bytes, baudRate);
    if (const int err = control_->SetRts(false); err && result.sent)
      return {false, "lowering RTS failed: " + std::generic_category().message(err)};
    return result;
  }
  ReadResult ReadReply(FrameBuffer& buffer, const ReadRule& rule) override { return port_->ReadReply(buffer, rule); }

 private:
  std::unique_ptr<SerialPort> port_;
  std::unique_ptr<LineControl> control_;  // declared after port_: gone before the port closes
  bool togglesRts_;
  std::optional<Rs485Config> restore_;
};

DirectionSetup UseDriverMode(LineControl& control, const DirectionSettings& direction) {
  const auto refused = [](int err) { return DirectionSetup{WhyNoControl(DirectionControl::Kernel, err), {}, {}, {}}; };
  Rs485Config previous;
  if (const int err = control.GetRs485(previous)) return refused(err);
  const Rs485Config asked{rs485_flag::kEnabled | rs485_flag::kRtsOnSend,
                          static_cast<std::uint32_t>(direction.delayBeforeMs),
                          static_cast<std::uint32_t>(direction.delayAfterMs)};
  Rs485Config applied = asked;
  if (const int err = control.SetRs485(applied)) return refused(err);
  Rs485Config readBack;
  if (control.GetRs485(readBack) == 0) applied = readBack;
  return {{}, false, previous, {DirectionControl::Kernel, asked, applied, Rs485Changes(asked, applied)}};
}

DirectionSetup UseRts(LineControl& control) {
  const LineReport report{DirectionControl::Rts, {}, {}, {}};
  if (control.LetDriverToggleRts() == 0) return {{}, false, std::nullopt, report};
  if (const int err = control.SetRts(false)) return {WhyNoControl(DirectionControl::Rts, err), {}, {}, {}};
  return {{}, true, std::nullopt, report};
}

}  // namespace

int LineControl::LetDriverToggleRts() { return ENOTSUP; }

std::unique_ptr<LineControl> SerialPort::MakeLineControl() { return nullptr; }

std::string_view NameOf(DirectionControl control) {
  for (const auto& [name, value] : kControlNames)
    if (value == control) return name;
  return "off";
}

std::optional<DirectionControl> DirectionControlNamed(std::string_view name) {
  for (const auto& [text, value] : kControlNames)
    if (text == name) return value;
  return std::nullopt;
}

std::vector<std::string> DirectionControlNames() {
  std::vector<std::string> names;
  for (const auto& named : kControlNames) names.emplace_back(named.name);
  return names;
}

std::string_view NameOf(EchoHandling echo) { return echo == EchoHandling::Skip ? "skip" : "off"; }

std::vector<std::string> EchoHandlingNames() {
  return {std::string(NameOf(EchoHandling::Off)), std::string(NameOf(EchoHandling::Skip))};
}

std::optional<EchoHandling> EchoHandlingNamed(std::string_view name) {
  for (const EchoHandling echo : {EchoHandling::Off, EchoHandling::Skip})
    if (NameOf(echo) == name) return echo;
  return std::nullopt;
}

std::vector<std::string> Rs485Changes(const Rs485Config& asked, const Rs485Config& applied) {
  std::vector<std::string> changes;
  for (const auto& [flag, text] : kFlagNames) {
    const bool wanted = (asked.flags & flag) != 0, kept = (applied.flags & flag) != 0;
    if (wanted != kept) changes.push_back(std::string(text) + " " + OnOff(kept) + " (asked " + OnOff(wanted) + ")");
  }
  const auto delay = [&](std::string_view which, std::uint32_t wanted, std::uint32_t kept) {
    if (wanted != kept)
      changes.push_back("delay " + std::string(which) + " sending " + std::to_string(kept) + " ms (asked " +
                        std::to_string(wanted) + ")");
  };
  delay("before", asked.delayBeforeMs, applied.delayBeforeMs);
  delay("after", asked.delayAfterMs, applied.delayAfterMs);
  return changes;
}

std::string DescribeLine(const LineReport& report) {
  switch (report.control) {
    case DirectionControl::Off: return "the adapter switches direction itself";
    case DirectionControl::Rts: return "RTS raised by the program around each frame";
    case DirectionControl::Kernel: break;
  }
  const Rs485Config& a = report.applied;
  std::string text = std::string("RS-485 by the driver: RTS ") +
                     ((a.flags & rs485_flag::kRtsOnSend) ? "high" : "low") + " while sending, " +
                     std::to_string(a.delayBeforeMs) + " ms before, " + std::to_string(a.delayAfterMs) +
                     " ms after, receiver " + ((a.flags & rs485_flag::kRxDuringTx) ? "on" : "off") + " while sending";
  if ((a.flags & rs485_flag::kEnabled) == 0) text = "RS-485 mode not enabled by the driver";
  for (std::size_t i = 0; i < report.changes.size(); ++i)
    text += (i == 0 ? "; the driver changed " : ", ") + report.changes[i];
  return text;
}

DirectionSetup SetUpDirection(LineControl& control, const DirectionSettings& direction) {
  switch (direction.control) {
    case DirectionControl::Off: return {};
    case DirectionControl::Kernel: return UseDriverMode(control, direction);
    case DirectionControl::Rts: break;
  }
  return UseRts(control);
}

std::unique_ptr<SerialPort> ControlDirection(std::unique_ptr<SerialPort> port, const DirectionSettings& direction,
                                             OpenError* error, LineReport* report) {
  if (report) *report = {};
  if (!port || direction.control == DirectionControl::Off) return port;
  std::unique_ptr<LineControl> control = port->MakeLineControl();
  DirectionSetup setup = control ? SetUpDirection(*control, direction)
                                 : DirectionSetup{WhyNoControl(direction.control, ENOTTY), {}, {}, {}};
  if (!setup.refusal.empty()) {
    if (error) *error = {.kind = OpenFailure::Other, .detail = std::move(setup.refusal)};
    return nullptr;
  }
  if (report) *report = setup.report;
  return std::make_unique<DirectedPort>(std::move(port), std::move(control), setup.togglesRts, setup.restore);
}

std::unique_ptr<SerialPort> OpenLinePort(const std::string& path, int baudRate, const DirectionSettings& direction,
                                         OpenError* error, LineReport* report) {
  if (report) *report = {};
  if (direction.control != DirectionControl::Off && IsNetworkPortName(path)) {
    // Refused before connecting: the server's own serial port turns its line round.
    if (error) *error = {.kind = OpenFailure::Other, .detail = std::string(kNetworkDirectionRefusal)};
    return nullptr;
  }
  return ControlDirection(OpenPort(path, baudRate, error), direction, error, report);
}

}  // namespace tarnwick::link
