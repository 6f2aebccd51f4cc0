#include "network_port.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tarnwick::link {
namespace {

constexpr std::string_view kRfc2217Scheme = "rfc2217://";
constexpr std::string_view kSocketScheme = "socket://";

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

template <typename Number>
std::optional<Number> NumberIn(std::string_view text) {
  Number value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool Fail(std::string* why, std::string text) {
  if (why) *why = std::move(text);
  return false;
}

// "timeout=3", "ign_set_control": the options users know from other serial tools.
bool ApplyOption(std::string_view option, NetworkAddress& address, std::string* why) {
  const std::size_t equals = option.find('=');
  const std::string_view key = option.substr(0, equals);
  const std::string_view value = equals == std::string_view::npos ? std::string_view() : option.substr(equals + 1);
  if (key == "ign_set_control" && equals == std::string_view::npos) return address.ignoreSetControl = true;
  if (key == "timeout") {
    const auto seconds = NumberIn<double>(value);
    if (!seconds || !(*seconds > 0 && *seconds <= 60))  // also refuses nan
      return Fail(why, "timeout must be a number of seconds above 0 and at most 60, not \"" + std::string(value) + "\"");
    address.connectTimeoutMs = std::max(1, static_cast<int>(*seconds * 1000));
    return true;
  }
  return Fail(why, "unknown option \"" + std::string(option) + "\" (known: timeout=SECONDS, ign_set_control)");
}

bool ParseHostAndPort(std::string_view hostPort, NetworkAddress& address, std::string* why) {
  std::size_t colon = hostPort.rfind(':');
  std::string_view host = hostPort.substr(0, colon == std::string_view::npos ? hostPort.size() : colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (host.empty()) return Fail(why, "no host: write it as HOST:PORT");
  if (colon == std::string_view::npos) return Fail(why, "no TCP port number: write it as HOST:PORT");
  const auto port = NumberIn<unsigned>(hostPort.substr(colon + 1));
  if (!port || *port == 0 || *port > 65535)
    return Fail(why, "the TCP port must be a number from 1 to 65535, not \"" + std::string(hostPort.substr(colon + 1)) + "\"");
  address.host = std::string(host);
  address.port = static_cast<std::uint16_t>(*port);
  return true;
}

}  // namespace

bool IsNetworkPortName(std::string_view name) {
  return StartsWithNoCase(name, kRfc2217Scheme) || StartsWithNoCase(name, kSocketScheme);
}

std::optional<NetworkAddress> ParseNetworkPortName(std::string_view name, std::string* why) {
  NetworkAddress address;
  std::string_view rest;
  if (StartsWithNoCase(name, kRfc2217Scheme)) {
    rest = name.substr(kRfc2217Scheme.size());
  } else if (StartsWithNoCase(name, kSocketScheme)) {
    address.protocol = NetworkProtocol::RawTcp;
    rest = name.substr(kSocketScheme.size());
  } else {
    Fail(why, "a network port starts rfc2217:// or socket://");
    return std::nullopt;
  }
  const std::size_t query = rest.find('?');
  if (!ParseHostAndPort(rest.substr(0, query), address, why)) return std::nullopt;
  for (std::string_view options = query == std::string_view::npos ? std::string_view() : rest.substr(query + 1);
       !options.empty();) {
    const std::size_t amp = options.find('&');
    if (!ApplyOption(options.substr(0, amp), address, why)) return std::nullopt;
    options = amp == std::string_view::npos ? std::string_view() : options.substr(amp + 1);
  }
  return address;
}

std::vector<std::uint8_t> EscapeTelnetData(std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> out;
  out.reserve(data.size() + 2);
  for (const std::uint8_t b : data) {
    out.push_back(b);
    if (b == telnet::kIac) out.push_back(b);
  }
  return out;
}

std::vector<std::uint8_t> ComPortCommand(std::uint8_t code, std::span<const std::uint8_t> value) {
  std::vector<std::uint8_t> out{telnet::kIac, telnet::kSb, telnet::kComPort, code};
  const auto escaped = EscapeTelnetData(value);
  out.insert(out.end(), escaped.begin(), escaped.end());
  out.insert(out.end(), {telnet::kIac, telnet::kSe});
  return out;
}

void TelnetDecoder::Feed(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& data,
                         std::vector<TelnetCommand>& commands) {
  using namespace telnet;
  for (const std::uint8_t b : bytes) {
    switch (state_) {
      case State::Data:
        if (b == kIac) state_ = State::Command;
        else data.push_back(b);
        break;
      case State::Command:
        if (b == kIac) {
          data.push_back(b);
          state_ = State::Data;
        } else if (b == kSb || (b >= kWill && b <= kDont)) {
          pending_ = {b, 0, {}};
          state_ = State::Option;
        } else {
          state_ = State::Data;  // NOP, GA and the like carry nothing for us
        }
        break;
      case State::Option:
        pending_.option = b;
        if (pending_.verb == kSb) {
          state_ = State::Sub;
        } else {
          commands.push_back(std::move(pending_));
          state_ = State::Data;
        }
        break;
      case State::Sub:
        if (b == kIac) state_ = State::SubIac;
        else KeepParameter(b);
        break;
      case State::SubIac:
        if (b == kSe) {
          if (pending_.parameters.size() <= kMaxSubnegotiationBytes) commands.push_back(std::move(pending_));
          pending_.parameters.clear();
          state_ = State::Data;
        } else {
          KeepParameter(b);  // a doubled 0xFF, or a stray byte kept as sent
          state_ = State::Sub;
        }
        break;
    }
  }
}

void TelnetDecoder::KeepParameter(std::uint8_t b) {
  // One byte past the bound marks the subnegotiation as too long: it is dropped whole at its end.
  if (pending_.parameters.size() <= kMaxSubnegotiationBytes) pending_.parameters.push_back(b);
}

std::vector<std::uint8_t> TelnetOptions::Opening() {
  using namespace telnet;
  weWill_ = {kComPort, kBinary};
  theyWill_ = {kBinary};
  return {kIac, kWill, kComPort, kIac, kWill, kBinary, kIac, kDo, kBinary};
}

std::vector<std::uint8_t> TelnetOptions::Answer(const TelnetCommand& request) {
  using namespace telnet;
  const auto has = [](const std::vector<std::uint8_t>& set, std::uint8_t o) {
    return std::find(set.begin(), set.end(), o) != set.end();
  };
  const auto drop = [](std::vector<std::uint8_t>& set, std::uint8_t o) { std::erase(set, o); };
  const std::uint8_t o = request.option;
  switch (request.verb) {
    case kDo: {
      if (o == kComPort) comPortAccepted_ = true;
      const bool wanted = o == kComPort || o == kBinary || o == kSuppressGoAhead;
      if (wanted && !has(weWill_, o)) return weWill_.push_back(o), std::vector<std::uint8_t>{kIac, kWill, o};
      if (!wanted) return {kIac, kWont, o};
      return {};
    }
    case kDont:
      if (o == kComPort) comPortRefused_ = true;
      if (has(weWill_, o)) return drop(weWill_, o), std::vector<std::uint8_t>{kIac, kWont, o};
      return {};
    case kWill: {
      const bool wanted = o == kBinary || o == kSuppressGoAhead;  // never ECHO: our frames must not come back
      if (wanted && !has(theyWill_, o)) return theyWill_.push_back(o), std::vector<std::uint8_t>{kIac, kDo, o};
      if (!wanted) return {kIac, kDont, o};
      return {};
    }
    case kWont:
      if (has(theyWill_, o)) return drop(theyWill_, o), std::vector<std::uint8_t>{kIac, kDont, o};
      return {};
    default:
      return {};
  }
}

std::vector<std::uint8_t> BaudRateValue(int baudRate) {
  const auto rate = static_cast<std::uint32_t>(baudRate);
  return {static_cast<std::uint8_t>(rate >> 24), static_cast<std::uint8_t>(rate >> 16),
          static_cast<std::uint8_t>(rate >> 8), static_cast<std::uint8_t>(rate)};
}

std::optional<int> BaudRateOf(std::span<const std::uint8_t> value) {
  if (value.size() < 4) return std::nullopt;
  const std::uint32_t rate = (std::uint32_t{value[0]} << 24) | (std::uint32_t{value[1]} << 16) |
                             (std::uint32_t{value[2]} << 8) | std::uint32_t{value[3]};
  if (rate > 0x7FFFFFFF) return std::nullopt;
  return static_cast<int>(rate);
}

namespace {

std::string LineSettingText(std::uint8_t code, std::uint8_t value) {
  using namespace telnet;
  static constexpr const char* kParities[] = {"no", "odd", "even", "mark", "space"};
  if (code == kSetDataSize) return std::to_string(value) + " data bits";
  if (code == kSetParity && value >= kParityNone && value <= 5) return std::string(kParities[value - 1]) + " parity";
  if (code == kSetParity) return "parity code " + std::to_string(value);
  if (value == 3) return "1.5 stop bits";
  return std::to_string(value) + (value == 1 ? " stop bit" : " stop bits");
}

}  // namespace

std::string LineSettingMismatch(std::uint8_t code, std::uint8_t asked, std::span<const std::uint8_t> acknowledged) {
  if (acknowledged.empty() || acknowledged.front() == asked) return {};
  return "the server set the line to " + LineSettingText(code, acknowledged.front()) + ", not the " +
         LineSettingText(code, asked) + " asked for";
}

std::string WhyUnexpectedServerBytes(std::span<const std::uint8_t> bytes, NetworkProtocol protocol) {
  const std::string text(bytes.begin(), bytes.end());
  if (text.find("in use") != std::string::npos)
    return "the server says the port is in use: another client is connected to it (set kickolduser in the "
           "server's configuration to let a new client take over)";
  if (protocol == NetworkProtocol::RawTcp && bytes.size() >= 2 && bytes[0] == telnet::kIac &&
      bytes[1] >= telnet::kSb)
    return "the server speaks Telnet on this port: use rfc2217:// instead of socket://";
  return {};
}

namespace {

// 'a, "b,c", d' as the settings file writes a list: entries with special
// characters quoted, a backslash escaping the next character inside quotes.
std::vector<std::string> SplitSettingsList(std::string_view value) {
  std::vector<std::string> entries(1);
  bool quoted = false;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (quoted && c == '\\' && i + 1 < value.size()) {
      entries.back() += value[++i];
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      entries.emplace_back();
    } else if (quoted || c != ' ') {
      entries.back() += c;
    }
  }
  return entries;
}

}  // namespace

std::vector<std::string> NetworkPortsInSettings(std::string_view settingsText) {
  std::vector<std::string> ports;
  bool inWindow = false;
  std::istringstream lines{std::string(settingsText)};
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with('[')) inWindow = line == "[window]";
    constexpr std::string_view kKey = "network_ports=";
    if (!inWindow || !line.starts_with(kKey)) continue;
    for (std::string& entry : SplitSettingsList(std::string_view(line).substr(kKey.size())))
      if (ParseNetworkPortName(entry, nullptr)) ports.push_back(std::move(entry));
  }
  return ports;
}

std::vector<std::string> RememberedNetworkPorts() {
#ifdef _WIN32
  return {};
#else
  namespace fs = std::filesystem;
  fs::path config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) config = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home) config = fs::path(home) / ".config";
  else return {};
  std::ifstream file(config / "tarnwick" / "tarnwick.conf");
  std::stringstream text;
  text << file.rdbuf();
  return NetworkPortsInSettings(text.str());
#endif
}

std::string DescribeNetworkOpenError(const std::string& name, const OpenError& error) {
  return "cannot open " + name + ": " + (error.detail.empty() ? std::string("the connection failed") : error.detail);
}


}  // namespace tarnwick::link
