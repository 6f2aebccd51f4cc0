// A network serial port on sockets (POSIX, or Winsock through socket_calls.h): a TCP connection made within a bound,
// Nagle off so each frame leaves in one segment, and for rfc2217 the Telnet Com
// Port Control subset (binary both ways, the line set as 8N1 at the tool's rate,
// each acknowledgement awaited with a bound, PURGE-DATA before each frame). Every
// wait has a deadline; a server that goes away ends the exchange, never hangs it.
#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "baud_rates.h"
#include "network_port.h"
#include "socket_calls.h"

namespace tarnwick::link {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Each acknowledgement of the line's settings, and of a purge, is awaited this long.
constexpr milliseconds kAcknowledgeWait{500};

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

OpenError Refusal(OpenFailure kind, std::string detail) {
  return {kind, std::move(detail)};
}

// The connection, with what the server sent decoded into data and commands.
class Connection {
 public:
  Connection(sockets::Socket socket, NetworkProtocol protocol) : socket_(std::move(socket)), protocol_(protocol) {}

  sockets::Handle Fd() const { return socket_.Get(); }
  NetworkProtocol Protocol() const { return protocol_; }
  std::deque<std::uint8_t>& Data() { return data_; }
  const std::string& Failure() const { return failure_; }

  // Sends all bytes in one call where the socket takes them (it does, for a frame).
  bool Send(std::span<const std::uint8_t> bytes, Clock::time_point deadline) {
    while (!bytes.empty()) {
      const long sent = sockets::Send(Fd(), bytes.data(), bytes.size());
      if (sent > 0) {
        bytes = bytes.subspan(static_cast<std::size_t>(sent));
        continue;
      }
      const int error = sockets::LastError();
      if (sent < 0 && sockets::Interrupted(error)) continue;
      if (sent < 0 && !sockets::WouldBlock(error)) return Broken("the connection failed: " + sockets::ErrorText(error));
      pollfd p{Fd(), POLLOUT, 0};
      if (sockets::Poll(&p, 1, RemainingMs(deadline)) == 0) return Broken("the server took no more bytes in time");
    }
    return true;
  }

  // Waits up to the deadline for bytes and decodes them, answering the server's
  // option requests. False when the connection ended (Failure says how); true
  // also when the wait ran out.
  bool Receive(Clock::time_point deadline, std::vector<TelnetCommand>* commands = nullptr) {
    pollfd p{Fd(), POLLIN, 0};
    const int ready = sockets::Poll(&p, 1, RemainingMs(deadline));
    if (ready < 0) {
      const int error = sockets::LastError();
      return sockets::Interrupted(error) || Broken("the connection failed: " + sockets::ErrorText(error));
    }
    if (ready == 0) return true;
    std::uint8_t chunk[512];
    const long got = sockets::Receive(Fd(), chunk, sizeof chunk);
    const int error = got < 0 ? sockets::LastError() : 0;
    if (got < 0 && (sockets::WouldBlock(error) || sockets::Interrupted(error))) return true;
    if (got <= 0)
      return Broken(got == 0 ? "the server closed the connection" : "the connection failed: " + sockets::ErrorText(error));
    const auto bytes = std::span<const std::uint8_t>(chunk, static_cast<std::size_t>(got));
    if (protocol_ == NetworkProtocol::RawTcp) {
      data_.insert(data_.end(), bytes.begin(), bytes.end());
      return true;
    }
    std::vector<std::uint8_t> data;
    std::vector<TelnetCommand> received;
    decoder_.Feed(bytes, data, received);
    data_.insert(data_.end(), data.begin(), data.end());
    for (const TelnetCommand& command : received) {
      if (const auto answer = options_.Answer(command); !answer.empty() && !Send(answer, deadline)) return false;
      if (commands) commands->push_back(command);
    }
    return true;
  }

  // Takes whatever has arrived without waiting. False when the connection ended.
  bool ReceiveWaiting() {
    for (;;) {
      pollfd p{Fd(), POLLIN, 0};
      if (sockets::Poll(&p, 1, 0) <= 0) return true;
      if (!Receive(Clock::now())) return false;
    }
  }

  TelnetOptions& Options() { return options_; }

  bool Broken(std::string why) {
    failure_ = std::move(why);
    return false;
  }

 private:
  sockets::Socket socket_;
  NetworkProtocol protocol_;
  TelnetDecoder decoder_;
  TelnetOptions options_;
  std::deque<std::uint8_t> data_;
  std::string failure_;
};

// Sends one Com Port Control command and waits for its acknowledgement (code +
// 100). Returns the value acknowledged, or nullopt with why in the connection's
// failure. Data that arrives meanwhile is kept for the reads.
std::optional<std::vector<std::uint8_t>> Acknowledged(Connection& c, std::uint8_t code,
                                                      std::span<const std::uint8_t> value, std::string_view what) {
  const auto deadline = Clock::now() + kAcknowledgeWait;
  if (!c.Send(ComPortCommand(code, value), deadline)) return std::nullopt;
  while (Clock::now() < deadline) {
    std::vector<TelnetCommand> commands;
    if (!c.Receive(deadline, &commands)) return std::nullopt;
    for (const TelnetCommand& command : commands)
      if (command.verb == telnet::kSb && command.option == telnet::kComPort && !command.parameters.empty() &&
          command.parameters.front() == code + telnet::kServerReplyOffset)
        return std::vector<std::uint8_t>(command.parameters.begin() + 1, command.parameters.end());
  }
  c.Broken("the server did not acknowledge " + std::string(what) + " within " +
           std::to_string(kAcknowledgeWait.count()) + " ms");
  return std::nullopt;
}

// The connections kept while a KeptNetworkConnections lives, one per port name.
struct KeptConnection {
  std::unique_ptr<Connection> connection;
  int baudRate = 0;
};
struct ConnectionPool {
  std::mutex mutex;
  int keepers = 0;
  std::map<std::string, KeptConnection> idle;
};
ConnectionPool& Pool() {
  static ConnectionPool pool;
  return pool;
}

class NetworkSerialPort final : public SerialPort {
 public:
  NetworkSerialPort(std::string name, std::unique_ptr<Connection> connection, int baudRate)
      : name_(std::move(name)), connection_(std::move(connection)), c_(*connection_), baudRate_(baudRate) {}
  ~NetworkSerialPort() override {
    ConnectionPool& pool = Pool();
    const std::lock_guard lock(pool.mutex);
    if (pool.keepers > 0 && c_.Failure().empty()) pool.idle[name_] = {std::move(connection_), baudRate_};
  }
  NetworkSerialPort(const NetworkSerialPort&) = delete;
  NetworkSerialPort& operator=(const NetworkSerialPort&) = delete;

  TransmitResult TransmitFrame(std::span<const std::uint8_t> bytes, int baudRate) override {
    if (std::string why = DropInput(); !why.empty()) return {false, std::move(why)};
    const auto deadline = Clock::now() + WireTime(bytes.size(), baudRate) + milliseconds(kDrainMarginMs);
    const bool sent = c_.Protocol() == NetworkProtocol::Rfc2217 ? c_.Send(EscapeTelnetData(bytes), deadline)
                                                                  : c_.Send(bytes, deadline);
    if (!sent) return {false, c_.Failure()};
    // The server writes the frame to its line at the line's rate: the reply cannot
    // begin before it has left, as on a local port.
    std::this_thread::sleep_for(WireTime(bytes.size(), baudRate) + milliseconds(SettleDelayMs(bytes.size(), baudRate)));
    return {true, {}};
  }

  ReadResult ReadReply(FrameBuffer& buffer, const ReadRule& rule) override {
    const auto start = Clock::now();
    const auto overall = start + milliseconds(kReadTotalMs);
    const auto firstByte = start + milliseconds(std::clamp(rule.firstByteMs, 0, kReadTotalMs));
    const std::size_t limit = std::min(buffer.size(), rule.byteLimit);
    std::size_t count = 0;
    auto lastData = start;
    for (;;) {
      auto& data = c_.Data();
      while (count < limit && !data.empty()) {
        buffer[count++] = data.front();
        data.pop_front();
        lastData = Clock::now();
      }
      if (count == limit || (count > 0 && ReadIsComplete(std::span(buffer).first(count), rule))) break;
      const auto deadline = count == 0 ? firstByte : std::min(lastData + milliseconds(kInterByteGapMs), overall);
      if (Clock::now() >= deadline) break;
      if (!c_.Receive(deadline)) return {false, count};
    }
    return {true, count};
  }

 private:
  // Before each frame: the server's buffers purged (rfc2217) and whatever had
  // arrived for us dropped, so a late reply to an earlier frame is never taken for
  // this one's. Returns why the line cannot be used, or "".
  std::string DropInput() {
    if (!c_.ReceiveWaiting()) return c_.Failure();
    const std::vector<std::uint8_t> stale(c_.Data().begin(), c_.Data().end());
    c_.Data().clear();
    if (std::string why = WhyUnexpectedServerBytes(stale, c_.Protocol()); !why.empty()) return why;
    if (c_.Protocol() == NetworkProtocol::RawTcp) return {};
    const std::uint8_t both[] = {telnet::kPurgeBoth};
    if (!Acknowledged(c_, telnet::kPurgeData, both, "PURGE-DATA")) return c_.Failure();
    c_.Data().clear();
    return {};
  }

  std::string name_;
  std::unique_ptr<Connection> connection_;
  Connection& c_;
  int baudRate_;
};

std::string AddressText(const NetworkAddress& a) { return a.host + ":" + std::to_string(a.port); }

// Connects to the first of the host's addresses that answers, within the timeout.
sockets::Socket Connect(const NetworkAddress& address, OpenError& error) {
  if (!sockets::Start()) {
    error = Refusal(OpenFailure::Other, "the system's network layer did not start");
    return {};
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (const int rc = ::getaddrinfo(address.host.c_str(), std::to_string(address.port).c_str(), &hints, &found)) {
    error = Refusal(OpenFailure::NotFound, "no such host " + address.host + " (" + sockets::AddressErrorText(rc) + ")");
    return {};
  }
  const auto deadline = Clock::now() + milliseconds(address.connectTimeoutMs);
  error = Refusal(OpenFailure::NotFound, "nothing answered at " + AddressText(address));
  for (const addrinfo* a = found; a; a = a->ai_next) {
    sockets::Socket socket(sockets::OpenNonBlocking(a->ai_family, a->ai_socktype, a->ai_protocol));
    if (!socket) continue;
    int result = ::connect(socket.Get(), a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0 ? 0 : sockets::LastError();
    if (sockets::ConnectPending(result)) {
      pollfd p{socket.Get(), POLLOUT, 0};
      if (sockets::Poll(&p, 1, RemainingMs(deadline)) == 0) {
        error = Refusal(OpenFailure::NotFound, "no answer from " + AddressText(address) + " within " +
                                                   std::to_string(address.connectTimeoutMs) + " ms (raise ?timeout=S)");
        continue;
      }
      result = sockets::ConnectResult(socket.Get());
    }
    if (result == 0) {
      sockets::SendAtOnce(socket.Get());
      ::freeaddrinfo(found);
      return socket;
    }
    error = sockets::Refused(result)
                ? Refusal(OpenFailure::NotFound, "connection refused at " + AddressText(address) +
                                                     " (is the server running, on that port?)")
                : Refusal(OpenFailure::Other, sockets::ErrorText(result) + " at " + AddressText(address));
  }
  ::freeaddrinfo(found);
  return {};
}

// What the server sent while it should have been negotiating, as a refusal. A
// server turning a client away writes why and closes; a send that meets the
// closed connection fails before that text is read, so what is queued is read first.
OpenError NegotiationFailure(Connection& c) {
  const std::string failure = c.Failure();
  c.ReceiveWaiting();
  const std::vector<std::uint8_t> data(c.Data().begin(), c.Data().end());
  if (std::string why = WhyUnexpectedServerBytes(data, c.Protocol()); !why.empty())
    return Refusal(OpenFailure::Busy, std::move(why));
  return Refusal(OpenFailure::Other, failure.empty() ? c.Failure() : failure);
}

// SET-BAUDRATE, and the rate the server applied must be the one asked for.
std::optional<OpenError> SetRate(Connection& c, int baudRate) {
  const auto rate = Acknowledged(c, telnet::kSetBaudRate, BaudRateValue(baudRate), "SET-BAUDRATE");
  if (!rate) return NegotiationFailure(c);
  if (const auto applied = BaudRateOf(*rate); applied != baudRate)
    return Refusal(OpenFailure::Other, "the server set the line to " +
                                           (applied ? std::to_string(*applied) : std::string("an unknown rate")) +
                                           " baud, not the " + std::to_string(baudRate) + " asked for");
  return std::nullopt;
}

// The rfc2217 side of opening: options agreed, then the line set as 8N1 at the
// rate asked, each step acknowledged; the rate the server applied must be it.
std::optional<OpenError> Negotiate(Connection& c, int baudRate) {
  const auto deadline = Clock::now() + kAcknowledgeWait;
  if (!c.Send(c.Options().Opening(), deadline)) return NegotiationFailure(c);
  while (!c.Options().ServerAcceptedComPort() && !c.Options().ServerRefusedComPort()) {
    if (Clock::now() >= deadline) {
      c.Broken("the server did not take up COM-PORT-OPTION within " + std::to_string(kAcknowledgeWait.count()) +
               " ms: is it a Telnet server with RFC 2217? (socket:// for raw TCP)");
      return NegotiationFailure(c);
    }
    if (!c.Receive(deadline)) return NegotiationFailure(c);
  }
  if (c.Options().ServerRefusedComPort())
    return Refusal(OpenFailure::NotASerialPort,
                   "the server refuses COM-PORT-OPTION (RFC 2217): use socket:// for its raw TCP port");
  if (auto refused = SetRate(c, baudRate)) return refused;
  const std::uint8_t dataSize[] = {8}, parity[] = {telnet::kParityNone}, stopSize[] = {telnet::kOneStopBit};
  if (!Acknowledged(c, telnet::kSetDataSize, dataSize, "SET-DATASIZE") ||
      !Acknowledged(c, telnet::kSetParity, parity, "SET-PARITY") ||
      !Acknowledged(c, telnet::kSetStopSize, stopSize, "SET-STOPSIZE"))
    return NegotiationFailure(c);
  return std::nullopt;
}

// A raw port says nothing until the line does; a Telnet server or a busy port's
// text speaks at once: wait a few round trips (the connect took one) for it, and
// never less than 20 ms (ser2net takes 10 ms to greet a client that follows another).
std::optional<OpenError> CheckRawServer(Connection& c, Clock::duration connectTime) {
  const auto wait = std::clamp<Clock::duration>(connectTime * 4, milliseconds(20), milliseconds(250));
  const auto deadline = Clock::now() + wait;
  while (Clock::now() < deadline)
    if (!c.Receive(deadline)) break;
  const std::vector<std::uint8_t> data(c.Data().begin(), c.Data().end());
  if (std::string why = WhyUnexpectedServerBytes(data, c.Protocol()); !why.empty())
    return Refusal(OpenFailure::Busy, std::move(why));
  if (!c.Failure().empty()) return Refusal(OpenFailure::Other, c.Failure());
  c.Data().clear();
  return std::nullopt;
}

// A kept connection to name, still open and at baudRate, or nullptr.
std::unique_ptr<Connection> TakeKeptConnection(const std::string& name, int baudRate) {
  KeptConnection kept;
  {
    ConnectionPool& pool = Pool();
    const std::lock_guard lock(pool.mutex);
    const auto found = pool.idle.find(name);
    if (found == pool.idle.end()) return nullptr;
    kept = std::move(found->second);
    pool.idle.erase(found);
  }
  Connection& c = *kept.connection;
  if (!c.ReceiveWaiting()) return nullptr;  // the server closed it meanwhile: connect anew
  if (c.Protocol() == NetworkProtocol::Rfc2217 && kept.baudRate != baudRate && SetRate(c, baudRate)) return nullptr;
  return std::move(kept.connection);
}

}  // namespace

KeptNetworkConnections::KeptNetworkConnections() {
  const std::lock_guard lock(Pool().mutex);
  ++Pool().keepers;
}

KeptNetworkConnections::~KeptNetworkConnections() {
  std::map<std::string, KeptConnection> closing;
  {
    const std::lock_guard lock(Pool().mutex);
    if (--Pool().keepers == 0) closing.swap(Pool().idle);
  }
}

std::unique_ptr<SerialPort> OpenNetworkPort(const std::string& name, int baudRate, OpenError* error) {
  OpenError failure;
  const auto finish = [&](std::unique_ptr<SerialPort> port) {
    if (error) *error = port ? OpenError{} : failure;
    return port;
  };
  std::string why;
  const auto address = ParseNetworkPortName(name, &why);
  if (!address) return failure = Refusal(OpenFailure::NotASerialPort, why), finish(nullptr);
  if (auto kept = TakeKeptConnection(name, baudRate))
    return finish(std::make_unique<NetworkSerialPort>(name, std::move(kept), baudRate));
  const auto start = Clock::now();
  sockets::Socket socket = Connect(*address, failure);
  if (!socket) return finish(nullptr);
  auto connection = std::make_unique<Connection>(std::move(socket), address->protocol);
  const auto refused = address->protocol == NetworkProtocol::Rfc2217 ? Negotiate(*connection, baudRate)
                                                                     : CheckRawServer(*connection, Clock::now() - start);
  if (refused) return failure = *refused, finish(nullptr);
  return finish(std::make_unique<NetworkSerialPort>(name, std::move(connection), baudRate));
}

}  // namespace tarnwick::link
