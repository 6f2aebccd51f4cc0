#pragma once
// A board's line behind a network serial server: rfc2217://HOST:PORT (Telnet with
// the Com Port Control option, which also carries the line's speed) or
// socket://HOST:PORT (raw TCP at the server's fixed speed). The port names, the
// Telnet coding and the option negotiation's rules live here; the socket is
// network_serial_port.cpp's (POSIX sockets or Winsock, socket_calls.h).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "serial_port.h"

namespace tarnwick::link {

enum class NetworkProtocol { Rfc2217, RawTcp };

inline constexpr int kDefaultConnectTimeoutMs = 1500;

struct NetworkAddress {
  NetworkProtocol protocol = NetworkProtocol::Rfc2217;
  std::string host;
  std::uint16_t port = 0;
  int connectTimeoutMs = kDefaultConnectTimeoutMs;  // ?timeout=S: the whole open, connecting and setting the line
  bool ignoreSetControl = false;  // ?ign_set_control: the control lines are never set here anyway
};

// True for a name that starts rfc2217:// or socket:// (any case).
bool IsNetworkPortName(std::string_view name);
// The address a network port name gives, or nullopt with why in *why.
std::optional<NetworkAddress> ParseNetworkPortName(std::string_view name, std::string* why);

// Telnet's command bytes, and the Com Port Control option's.
namespace telnet {
inline constexpr std::uint8_t kIac = 0xFF, kDont = 0xFE, kDo = 0xFD, kWont = 0xFC, kWill = 0xFB, kSb = 0xFA,
                              kSe = 0xF0;
inline constexpr std::uint8_t kBinary = 0, kEcho = 1, kSuppressGoAhead = 3, kComPort = 44;
// Client-to-server subcommands; the server answers each with the code plus 100.
inline constexpr std::uint8_t kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4,
                              kPurgeData = 12;
inline constexpr std::uint8_t kServerReplyOffset = 100;
inline constexpr std::uint8_t kParityNone = 1, kOneStopBit = 1, kPurgeBoth = 3;
}  // namespace telnet

// Data bytes as Telnet carries them: every 0xFF doubled.
std::vector<std::uint8_t> EscapeTelnetData(std::span<const std::uint8_t> data);
// IAC SB COM-PORT-OPTION code value... IAC SE, with 0xFF in the value doubled.
std::vector<std::uint8_t> ComPortCommand(std::uint8_t code, std::span<const std::uint8_t> value);

// What the server said besides data: an option request, or a subnegotiation.
struct TelnetCommand {
  std::uint8_t verb = 0;                 // kWill, kWont, kDo, kDont or kSb
  std::uint8_t option = 0;
  std::vector<std::uint8_t> parameters;  // kSb: what followed the option, undoubled
  bool operator==(const TelnetCommand&) const = default;
};

// Splits what a server sends into data and commands, across reads. Data is
// undoubled; a command split between two reads is completed by the second. A
// subnegotiation longer than any this client takes is dropped, never stored whole.
class TelnetDecoder {
 public:
  static constexpr std::size_t kMaxSubnegotiationBytes = 64;
  void Feed(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& data, std::vector<TelnetCommand>& commands);

 private:
  void KeepParameter(std::uint8_t b);

  enum class State { Data, Command, Option, Sub, SubIac };
  State state_ = State::Data;
  TelnetCommand pending_;
};

// The client's side of option negotiation: WILL COM-PORT-OPTION and BINARY both
// ways, SUPPRESS-GO-AHEAD accepted, ECHO and everything else refused. Answers only
// requests that change what was agreed, so two sides never loop.
class TelnetOptions {
 public:
  // What the client asks for first.
  std::vector<std::uint8_t> Opening();
  // The answer to one request from the server (nothing when none is due).
  std::vector<std::uint8_t> Answer(const TelnetCommand& request);
  bool ServerRefusedComPort() const { return comPortRefused_; }
  bool ServerAcceptedComPort() const { return comPortAccepted_; }

 private:
  std::vector<std::uint8_t> weWill_, theyWill_;  // options agreed on each side
  bool comPortAccepted_ = false, comPortRefused_ = false;
};

// The four bytes of a rate, most significant first, and back (only the first
// four of a longer acknowledgement count: some servers send eight).
std::vector<std::uint8_t> BaudRateValue(int baudRate);
std::optional<int> BaudRateOf(std::span<const std::uint8_t> value);

// For SET-DATASIZE, SET-PARITY or SET-STOPSIZE: "" when the value the server
// acknowledged is the one asked (or it sent none), else a sentence naming what it set.
std::string LineSettingMismatch(std::uint8_t code, std::uint8_t asked, std::span<const std::uint8_t> acknowledged);

// Why bytes a server sent unasked mean this is not the port it was taken for:
// Telnet negotiation on a raw port, or a server's text such as "Port already in
// use". "" when they say nothing of the kind.
std::string WhyUnexpectedServerBytes(std::span<const std::uint8_t> bytes, NetworkProtocol protocol);

// Opens a network port for one exchange (or many): connects and negotiates the
// line (rfc2217) within the name's timeout, and reports failures as OpenError with
// a sentence in detail.
std::unique_ptr<SerialPort> OpenNetworkPort(const std::string& name, int baudRate, OpenError* error);
// Every wait on a network port (connecting, negotiating, dropping stale input,
// sending, reading) also ends, failing as "interrupted", once stopRequested
// returns true: tarnwick-cli passes its Ctrl+C question. nullptr: none.
void EndNetworkWaitsWhen(bool (*stopRequested)());
inline constexpr std::string_view kNetworkWaitInterrupted = "interrupted";

// Why --rs485 kernel or rts cannot apply to a network port.
inline constexpr std::string_view kNetworkDirectionRefusal =
    "the direction of a network serial server's line is the server's to switch (set RS-485 in its own "
    "configuration); --rs485 cannot reach it over the network: leave --rs485 off";

// While one of these lives, a network port that an exchange closes stays
// connected, and the next open of the same name takes the connection again (for
// rfc2217 only the rate is set anew when it differs; the purge before each frame
// still runs). scan, watch and run hold one so that they connect and negotiate
// once; when the last one ends, the connections kept close.
class KeptNetworkConnections {
 public:
  KeptNetworkConnections();
  ~KeptNetworkConnections();
  KeptNetworkConnections(const KeptNetworkConnections&) = delete;
  KeptNetworkConnections& operator=(const KeptNetworkConnections&) = delete;
};

// The network ports the window remembers, read from the text of its settings file
// (an INI file: network_ports in [window], a comma-separated list whose entries
// may be quoted); anything that is no network port's name is left out.
std::vector<std::string> NetworkPortsInSettings(std::string_view settingsText);
// The same from the user's settings file ($XDG_CONFIG_HOME/tarnwick/tarnwick.conf,
// ~/.config when unset); none where there is no such file (and on Windows, whose
// settings live in the registry).
std::vector<std::string> RememberedNetworkPorts();

// "cannot open rfc2217://host:2000: connection refused at host:2000 (...)".
std::string DescribeNetworkOpenError(const std::string& name, const OpenError& error);

}  // namespace tarnwick::link
