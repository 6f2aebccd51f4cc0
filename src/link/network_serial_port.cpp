// A network serial port on sockets (POSIX, or Winsock through socket_calls.h): a TCP connection made within a bound,
// Nagle off so each frame leaves in one segment, and for rfc2217 the Telnet Com
// Port Control subset (binary both ways, the line set as 8N1 at the tool's rate,
// each acknowledgement awaited with a bound, PURGE-DATA before each frame). Every
// wait has a deadline; a server that goes away ends the exchange, never hangs it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "baud_rates.h"
#include "network_serial_port.h"

namespace tarnwick::link {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Each acknowledgement of the line's settings, and of a purge, is awaited this long.
constexpr milliseconds kAcknowledgeWait{500};
// Stale input before a frame is dropped for at most this long and this many bytes;
// a server still sending then is talking over the line, and the frame is not sent.
constexpr milliseconds kDropInputTime{100};
constexpr std::size_t kDropInputBytes = 4096;
// Data kept for the reads (a reply is 20 bytes); what arrives beyond it is dropped.
constexpr std::size_t kKeptDataBytes = 4096;
// Waits are sliced so that the stop question is asked this often, whichever
// thread a signal reached.
constexpr milliseconds kStopCheckSlice{50};

std::atomic<bool (*)()> stopQuestion{nullptr};

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, INT_MAX));
}

OpenError Refusal(OpenFailure kind, std::string detail) {
  return {kind, std::move(detail)};
}

enum class Waited { Ready, TimedOut, Stopped, Failed };

// Polls for events until the deadline; Failed leaves the error in LastError().
Waited WaitFor(sockets::Handle fd, short events, Clock::time_point deadline) {
  for (;;) {
    if (const auto stopRequested = stopQuestion.load(); stopRequested && stopRequested()) return Waited::Stopped;
    const int left = RemainingMs(deadline);
    pollfd p{fd, events, 0};
    const int ready = sockets::Poll(&p, 1, std::min(left, static_cast<int>(kStopCheckSlice.count())));
    if (ready > 0) return Waited::Ready;
    if (ready < 0 && !sockets::Interrupted(sockets::LastError())) return Waited::Failed;
    if (ready == 0 && left <= kStopCheckSlice.count()) return Waited::TimedOut;
  }
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
    static const std::string kTookNoMore = "the server took no more bytes in time";
    for (milliseconds pause{1}; !bytes.empty();) {
      const long sent = sockets::Send(Fd(), bytes.data(), bytes.size());
      if (sent > 0) {
        bytes = bytes.subspan(static_cast<std::size_t>(sent));
        continue;
      }
      const int error = sockets::LastError();
      if (sent < 0 && !sockets::Interrupted(error) && !sockets::WouldBlock(error))
        return Broken("the connection failed: " + sockets::ErrorText(error));
      if (!WaitedWell(WaitFor(Fd(), POLLOUT, deadline), kTookNoMore)) return false;
      // A socket that poll calls writable may still take nothing: short, growing pauses, never past the deadline.
      if (Clock::now() >= deadline) return Broken(kTookNoMore);
      std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - Clock::now()));
      pause = std::min(pause * 2, milliseconds(16));
    }
    return true;
  }

  // Waits up to the deadline for bytes and decodes them, answering the server's
  // option requests. False when the connection ended or the wait was stopped
  // (Failure says how); true also when the wait ran out.
  bool Receive(Clock::time_point deadline, std::vector<TelnetCommand>* commands = nullptr) {
    const Waited waited = WaitFor(Fd(), POLLIN, deadline);
    if (waited == Waited::TimedOut) return true;
    if (!WaitedWell(waited, {})) return false;
    std::uint8_t chunk[512];
    const long got = sockets::Receive(Fd(), chunk, sizeof chunk);
    const int error = got < 0 ? sockets::LastError() : 0;
    if (got < 0 && (sockets::WouldBlock(error) || sockets::Interrupted(error))) return true;
    if (got <= 0)
      return Broken(got == 0 ? "the server closed the connection" : "the connection failed: " + sockets::ErrorText(error));
    bytesReceived_ += static_cast<std::size_t>(got);
    const auto bytes = std::span<const std::uint8_t>(chunk, static_cast<std::size_t>(got));
    if (protocol_ == NetworkProtocol::RawTcp) return Keep(bytes), true;
    std::vector<std::uint8_t> data;
    std::vector<TelnetCommand> received;
    decoder_.Feed(bytes, data, received);
    Keep(data);
    for (const TelnetCommand& command : received) {
      if (const auto answer = options_.Answer(command); !answer.empty() && !Send(answer, deadline)) return false;
      if (commands) commands->push_back(command);
    }
    return true;
  }

  // Takes whatever has arrived without waiting. False when the connection ended,
  // or when the server kept sending past kDropInputTime or kDropInputBytes.
  bool ReceiveWaiting() {
    const auto until = Clock::now() + kDropInputTime;
    const std::size_t before = bytesReceived_;
    for (;;) {
      pollfd p{Fd(), POLLIN, 0};
      if (sockets::Poll(&p, 1, 0) <= 0) return true;
      if (bytesReceived_ - before >= kDropInputBytes || Clock::now() >= until)
        return Broken("the server keeps sending: " + std::to_string(bytesReceived_ - before) +
                      " bytes arrived unasked and more follow (is something else talking on its line?)");
      if (!Receive(Clock::now())) return false;
    }
  }

  TelnetOptions& Options() { return options_; }

  bool Broken(std::string why) {
    failure_ = std::move(why);
    return false;
  }

 private:
  // False, with why, unless the wait found the socket ready.
  bool WaitedWell(Waited waited, const std::string& timedOut) {
    switch (waited) {
      case Waited::Ready: return true;
      case Waited::TimedOut: return Broken(timedOut);
      case Waited::Stopped: return Broken(std::string(kNetworkWaitInterrupted));
      case Waited::Failed: break;
    }
    return Broken("the connection failed: " + sockets::ErrorText(sockets::LastError()));
  }

  void Keep(std::span<const std::uint8_t> data) {
    const std::size_t room = kKeptDataBytes - std::min(kKeptDataBytes, data_.size());
    data_.insert(data_.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(std::min(room, data.size())));
  }

  sockets::Socket socket_;
  NetworkProtocol protocol_;
  TelnetDecoder decoder_;
  TelnetOptions options_;
  std::deque<std::uint8_t> data_;
  std::size_t bytesReceived_ = 0;
  std::string failure_;
};

// The limit of one wait during the open: its own bound, or the open's deadline
// where that comes first; the text says which ran out.
struct StepLimit {
  Clock::time_point deadline;
  std::string within;
};
StepLimit LimitOf(milliseconds ownBound, const OpenBound& open) {
  const auto own = Clock::now() + ownBound;
  if (own <= open.deadline) return {own, "within " + std::to_string(ownBound.count()) + " ms"};
  return {open.deadline, "within the open's " + std::to_string(open.timeoutMs) + " ms (raise ?timeout=S)"};
}

constexpr OpenBound kNoOpenBound{Clock::time_point::max(), 0};

// Sends one Com Port Control command and waits for its acknowledgement (code +
// 100). Returns the value acknowledged, or nullopt with why in the connection's
// failure. Data that arrives meanwhile is kept for the reads.
std::optional<std::vector<std::uint8_t>> Acknowledged(Connection& c, std::uint8_t code,
                                                      std::span<const std::uint8_t> value, std::string_view what,
                                                      const OpenBound& open = kNoOpenBound) {
  const StepLimit limit = LimitOf(kAcknowledgeWait, open);
  if (!c.Send(ComPortCommand(code, value), limit.deadline)) return std::nullopt;
  while (Clock::now() < limit.deadline) {
    std::vector<TelnetCommand> commands;
    if (!c.Receive(limit.deadline, &commands)) return std::nullopt;
    for (const TelnetCommand& command : commands)
      if (command.verb == telnet::kSb && command.option == telnet::kComPort && !command.parameters.empty() &&
          command.parameters.front() == code + telnet::kServerReplyOffset)
        return std::vector<std::uint8_t>(command.parameters.begin() + 1, command.parameters.end());
  }
  c.Broken("the server did not acknowledge " + std::string(what) + " " + limit.within);
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
      if (!c_.Receive(deadline)) return {false, count, c_.Failure()};
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

// Connects to the first of the host's addresses that answers, by the open's deadline.
sockets::Socket Connect(const NetworkAddress& address, const OpenBound& bound, OpenError& error) {
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
  error = Refusal(OpenFailure::NotFound, "nothing answered at " + AddressText(address));
  for (const addrinfo* a = found; a; a = a->ai_next) {
    sockets::Socket socket(sockets::OpenNonBlocking(a->ai_family, a->ai_socktype, a->ai_protocol));
    if (!socket) continue;
    int result = ::connect(socket.Get(), a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0 ? 0 : sockets::LastError();
    if (sockets::ConnectPending(result)) {
      const Waited waited = WaitFor(socket.Get(), POLLOUT, bound.deadline);
      if (waited == Waited::Stopped) {
        error = Refusal(OpenFailure::Other, std::string(kNetworkWaitInterrupted));
        break;
      }
      if (waited == Waited::TimedOut) {
        error = Refusal(OpenFailure::NotFound, "no answer from " + AddressText(address) + " within " +
                                                   std::to_string(bound.timeoutMs) + " ms (raise ?timeout=S)");
        continue;
      }
      result = waited == Waited::Failed ? sockets::LastError() : sockets::ConnectResult(socket.Get());
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
std::optional<OpenError> SetRate(Connection& c, int baudRate, const OpenBound& bound = kNoOpenBound) {
  const auto rate = Acknowledged(c, telnet::kSetBaudRate, BaudRateValue(baudRate), "SET-BAUDRATE", bound);
  if (!rate) return NegotiationFailure(c);
  if (const auto applied = BaudRateOf(*rate); applied != baudRate)
    return Refusal(OpenFailure::Other, "the server set the line to " +
                                           (applied ? std::to_string(*applied) : std::string("an unknown rate")) +
                                           " baud, not the " + std::to_string(baudRate) + " asked for");
  return std::nullopt;
}

// COM-PORT-OPTION taken up by the server, or why not.
std::optional<OpenError> AgreeComPort(Connection& c, const OpenBound& bound) {
  const StepLimit limit = LimitOf(kAcknowledgeWait, bound);
  if (!c.Send(c.Options().Opening(), limit.deadline)) return NegotiationFailure(c);
  while (!c.Options().ServerAcceptedComPort() && !c.Options().ServerRefusedComPort()) {
    if (Clock::now() >= limit.deadline) {
      c.Broken("the server did not take up COM-PORT-OPTION " + limit.within +
               ": is it a Telnet server with RFC 2217? (socket:// for raw TCP)");
      return NegotiationFailure(c);
    }
    if (!c.Receive(limit.deadline)) return NegotiationFailure(c);
  }
  if (c.Options().ServerRefusedComPort())
    return Refusal(OpenFailure::NotASerialPort,
                   "the server refuses COM-PORT-OPTION (RFC 2217): use socket:// for its raw TCP port");
  return std::nullopt;
}

// The rfc2217 side of opening: options agreed, then the line set as 8N1 at the
// rate asked, each step acknowledged with the value asked, all by the open's deadline.
std::optional<OpenError> Negotiate(Connection& c, int baudRate, const OpenBound& bound) {
  if (auto refused = AgreeComPort(c, bound)) return refused;
  if (auto refused = SetRate(c, baudRate, bound)) return refused;
  struct Setting {
    std::uint8_t code, value;
    const char* name;
  };
  for (const Setting& setting : {Setting{telnet::kSetDataSize, 8, "SET-DATASIZE"},
                                 Setting{telnet::kSetParity, telnet::kParityNone, "SET-PARITY"},
                                 Setting{telnet::kSetStopSize, telnet::kOneStopBit, "SET-STOPSIZE"}}) {
    const std::uint8_t value[] = {setting.value};
    const auto acknowledged = Acknowledged(c, setting.code, value, setting.name, bound);
    if (!acknowledged) return NegotiationFailure(c);
    if (std::string why = LineSettingMismatch(setting.code, setting.value, *acknowledged); !why.empty())
      return Refusal(OpenFailure::Other, std::move(why));
  }
  return std::nullopt;
}

// A raw port says nothing until the line does; a Telnet server or a busy port's
// text speaks at once: wait a few round trips (the connect took one) for it, and
// never less than 20 ms (ser2net takes 10 ms to greet a client that follows another).
std::optional<OpenError> CheckRawServer(Connection& c, Clock::duration connectTime, const OpenBound& bound) {
  const auto wait = std::clamp<Clock::duration>(connectTime * 4, milliseconds(20), milliseconds(250));
  const auto deadline = std::min(Clock::now() + wait, bound.deadline);
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

void EndNetworkWaitsWhen(bool (*stopRequested)()) { stopQuestion = stopRequested; }

std::unique_ptr<SerialPort> NetworkPortOn(sockets::Socket socket, const std::string& name, NetworkProtocol protocol,
                                          int baudRate, const OpenBound& bound, OpenError* error) {
  auto connection = std::make_unique<Connection>(std::move(socket), protocol);
  const auto refused = protocol == NetworkProtocol::Rfc2217
                           ? Negotiate(*connection, baudRate, bound)
                           : CheckRawServer(*connection, bound.Elapsed(), bound);
  if (error) *error = refused.value_or(OpenError{});
  if (refused) return nullptr;
  return std::make_unique<NetworkSerialPort>(name, std::move(connection), baudRate);
}

std::unique_ptr<SerialPort> OpenNetworkPort(const std::string& name, int baudRate, OpenError* error) {
  OpenError failure;
  std::string why;
  const auto address = ParseNetworkPortName(name, &why);
  if (!address) {
    failure = Refusal(OpenFailure::NotASerialPort, why);
  } else if (auto kept = TakeKeptConnection(name, baudRate)) {
    if (error) *error = {};
    return std::make_unique<NetworkSerialPort>(name, std::move(kept), baudRate);
  } else {
    const OpenBound bound{Clock::now() + milliseconds(address->connectTimeoutMs), address->connectTimeoutMs};
    if (sockets::Socket socket = Connect(*address, bound, failure))
      return NetworkPortOn(std::move(socket), name, address->protocol, baudRate, bound, error);
  }
  if (error) *error = failure;
  return nullptr;
}

}  // namespace tarnwick::link
