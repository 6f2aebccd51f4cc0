#include "bench/scan.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <utility>

#include "bench/probe_wait.h"
#include "board/board.h"
#include "board/exchange.h"
#include "link/baud_rates.h"
#include "link/frame.h"
#include "link/framing.h"
#include "link/hex_text.h"
#include "link/network_port.h"
#include "link/serial_port.h"
#include "link/transaction.h"

namespace tarnwick::bench {
namespace {

// After a probe's read, what still arrives is followed until the line has been
// quiet this long: well past the 25 ms gap, so a reply that pauses half-way is
// heard whole, and the rest of a damaged or late reply never reaches the next probe.
constexpr int kDrainQuietMs = 150;
// A drain ends after this many bytes even on a line that never falls quiet.
constexpr std::size_t kMostHeard = 3 * link::kFrameBufferSize;

// The whole verified frames at the start of what a probe heard, and what follows them.
struct Heard {
  std::vector<std::uint8_t> frameFrom;  // the address each frame names, in order
  link::Bytes rest;                     // a part of a frame, a damaged frame, or a garble
};

Heard SplitFrames(std::span<const std::uint8_t> bytes) {
  Heard heard;
  while (bytes.size() > link::kLengthOffset && bytes[link::kLengthOffset] > 0) {
    const std::size_t length = *link::Framing::AnnouncedSize(bytes);
    if (length > bytes.size() || link::FramingInUse().Judge(bytes.first(length)) != link::FrameProgress::Complete) break;
    heard.frameFrom.push_back(bytes[link::kAddressOffset]);
    bytes = bytes.subspan(length);
  }
  heard.rest.assign(bytes.begin(), bytes.end());
  return heard;
}

bool HoldsFrameFrom(const Heard& heard, std::uint8_t address) {
  return std::find(heard.frameFrom.begin(), heard.frameFrom.end(), address) != heard.frameFrom.end();
}

// Whole verified frames and nothing else, one of them from the address asked (any
// address answers the broadcast): nothing is left to follow.
bool IsWholeAnswer(const Heard& heard, std::uint8_t address) {
  if (!heard.rest.empty() || heard.frameFrom.empty()) return false;
  return address == link::kBroadcastAddress || HoldsFrameFrom(heard, address);
}

// One board's reply that was damaged on the way (a wrong check, bytes lost at
// its end) still begins as its reply does, with the address asked, and holds no
// more bytes than its length byte announces. Bytes that begin otherwise or run
// longer are more than one board's reply can explain.
bool IsOneDamagedReply(std::span<const std::uint8_t> rest, std::uint8_t address) {
  if (rest.empty() || rest[link::kAddressOffset] != address) return false;
  if (rest.size() <= link::kLengthOffset) return true;
  const std::size_t announced = *link::Framing::AnnouncedSize(rest);
  return announced <= link::kFrameBufferSize && rest.size() <= announced;
}

// What one probe of an address came to.
enum class Verdict { Silent, Answered, Damaged, Garbled };

Verdict Judge(const Heard& heard, std::uint8_t address) {
  if (HoldsFrameFrom(heard, address)) return Verdict::Answered;
  if (heard.rest.empty()) return Verdict::Silent;
  return IsOneDamagedReply(heard.rest, address) ? Verdict::Damaged : Verdict::Garbled;
}

// What the probes at one rate have shown about one address.
struct Evidence {
  bool proven = false;
  bool conflict = false;  // proven to be more than one board
  bool askedAgain = false;
  Verdict firstLook = Verdict::Silent;        // of its own probe, when that heard bytes
  link::Bytes firstBytes;
  std::optional<std::uint8_t> arrivedDuring;  // its frame came during the probe of this address
};

struct RateSweep {
  int baudIndex = 0;
  bool broadcastGarbled = false;  // the broadcast heard bytes that are not whole frames: several answered at once
  std::map<std::uint8_t, Evidence> evidence;
};

std::string Hex(std::span<const std::uint8_t> bytes) { return link::FormatHexDump(bytes); }

// The address question (CMD00 unless the board names another), which every board
// answers, even to the broadcast address.
link::Bytes ProbeFrame(std::uint8_t address) {
  std::uint8_t code = 0x00;
  for (const board::Command& command : board::Current().commands)
    if (command.action == board::Action::ReportAddress) code = command.code;
  const std::uint8_t commandByte[] = {static_cast<std::uint8_t>(code | link::kReplyFlag)};
  return link::FramingInUse().Make(address, commandByte);
}

class Scanner {
 public:
  Scanner(const ScanRequest& request, link::TrafficLog* log, const ScanCallbacks& callbacks)
      : request_(request), port_(request.port), log_(log), callbacks_(callbacks), probeWait_(request.timeoutMs) {}

  bool Stopping() const { return callbacks_.stopRequested && callbacks_.stopRequested(); }

  // Where the progress reports place a rate: the position of the rate in the pass, of how many.
  void BeginPass(std::size_t position, std::size_t count) { passPosition_ = position, passCount_ = count; }

  // False when the port could not be used; Error() then says why. The broadcast
  // waits firstByteMs for an answer to begin, then to the answer's end.
  bool ScanRate(int baudIndex, const AddressRange& range, int firstByteMs) {
    Progress(baudIndex, "asking every board");
    held_.reset();  // a rate's first question opens the port afresh, its input discarded
    const auto everyone = Exchange(baudIndex, link::kBroadcastAddress, firstByteMs);
    if (!everyone) return false;
    const Heard heard = SplitFrames(*everyone);
    const bool oneClean = heard.rest.empty() && heard.frameFrom.size() == 1;
    if (everyone->empty()) silentRates_.push_back(baudIndex);
    if (!request_.full && everyone->empty()) return true;
    if (!request_.full && oneClean)
      return !range.Holds(heard.frameFrom.front()) || Record(baudIndex, heard.frameFrom.front(), false);
    RateSweep sweep{baudIndex, !heard.rest.empty(), {}};
    return Sweep(sweep, range) && ConfirmTheRest(sweep, range) && Conclude(sweep, range);
  }

  // Where the broadcasts waiting --timeout found no board at all, the boards may only
  // be slow: each silent rate is asked again, waiting as long as a reply may take.
  bool AskSilentRatesAgain(const AddressRange& range) {
    if (!found_.empty() || request_.full || request_.timeoutMs >= link::kReadTotalMs) return true;
    const std::vector<int> silent = std::exchange(silentRates_, {});
    for (std::size_t i = 0; i < silent.size(); ++i) {
      BeginPass(i, silent.size());
      if (!Stopping() && !ScanRate(silent[i], range, link::kReadTotalMs)) return false;
    }
    return true;
  }

  const std::vector<FoundBoard>& Found() const { return found_; }
  const std::vector<Unconfirmed>& NotConfirmed() const { return unconfirmed_; }
  const std::string& Error() const { return error_; }

 private:
  // Every address of the range in turn. The last probe listens as long as a reply
  // may take, so that a late reply to one of the last probes is heard at this rate.
  bool Sweep(RateSweep& sweep, const AddressRange& range) {
    for (int address = range.first; address <= range.last && !Stopping(); ++address) {
      const auto byte = static_cast<std::uint8_t>(address);
      Progress(sweep.baudIndex, "address " + link::FormatHexByte(byte),
               double(address - range.first) / (range.last - range.first + 1));
      const int wait =
          address == range.last ? link::kReadTotalMs : probeWait_.WaitMs(*link::BaudRateAt(sweep.baudIndex));
      link::Bytes bytes;
      const auto verdict = Probe(sweep, byte, wait, bytes);
      if (!verdict) return false;
      if (*verdict == Verdict::Damaged || *verdict == Verdict::Garbled) {
        sweep.evidence[byte].firstLook = *verdict;
        sweep.evidence[byte].firstBytes = std::move(bytes);
      }
    }
    return true;
  }

  // A second look, waiting as long as a reply may take, at every address whose
  // frame arrived during another probe or whose own probe heard bytes that did not
  // verify. A frame heard during a second look is looked at in turn.
  bool ConfirmTheRest(RateSweep& sweep, const AddressRange& range) {
    for (bool asked = true; asked && !Stopping();) {
      asked = false;
      for (auto& [address, seen] : sweep.evidence) {
        if (seen.proven || seen.askedAgain || !range.Holds(address)) continue;
        Progress(sweep.baudIndex, "address " + link::FormatHexByte(address) + " again", 1);
        seen.askedAgain = asked = true;
        link::Bytes bytes;
        const auto verdict = Probe(sweep, address, link::kReadTotalMs, bytes);
        if (!verdict) return false;
        Settle(sweep, address, *verdict, bytes);
        break;  // Probe may have added evidence: start over
      }
    }
    return true;
  }

  // What a second look proves. A conflict needs two boards' replies shown to
  // collide: the broadcast heard several answers at once, and this address garbled
  // both times in a way one board's damaged reply cannot (see IsOneDamagedReply).
  void Settle(RateSweep& sweep, std::uint8_t address, Verdict second, const link::Bytes& bytes) {
    Evidence& seen = sweep.evidence[address];
    if (second == Verdict::Answered) return;  // Probe marked it proven
    if (second == Verdict::Garbled && seen.firstLook == Verdict::Garbled && sweep.broadcastGarbled) {
      seen.proven = seen.conflict = true;
      return;
    }
    Note(sweep.baudIndex, address, WhyUnconfirmed(seen, address, second, bytes));
  }

  static std::string WhyUnconfirmed(const Evidence& seen, std::uint8_t address, Verdict second,
                                    const link::Bytes& bytes) {
    const std::string at = link::FormatHexByte(address);
    // Two boards given the same address answer together, and their replies collide.
    const std::string cause = " (two boards sharing the address is the usual cause)";
    if (second == Verdict::Damaged) return "damaged reply at " + at + ": " + Hex(bytes) + cause;
    if (second == Verdict::Garbled) return "garbled reply at " + at + ": " + Hex(bytes) + cause;
    if (seen.arrivedDuring)
      return "its reply arrived late, during the probe of " + link::FormatHexByte(*seen.arrivedDuring) +
             "; silent when asked again";
    return "bytes that did not verify (" + Hex(seen.firstBytes) + "); silent when asked again";
  }

  // The proven boards of the rate in address order, and what was only heard.
  bool Conclude(const RateSweep& sweep, const AddressRange& range) {
    for (const auto& [address, seen] : sweep.evidence) {
      if (seen.proven) {
        if (!Record(sweep.baudIndex, address, seen.conflict)) return false;
      } else if (!range.Holds(address) && seen.arrivedDuring) {
        Note(sweep.baudIndex, address, "a reply from it arrived during the probe of " +
                                           link::FormatHexByte(*seen.arrivedDuring) + "; outside --addr, not asked");
      }
    }
    return true;
  }

  // One probe and what it shows: frames from other addresses are noted against
  // them, never taken for the address asked.
  std::optional<Verdict> Probe(RateSweep& sweep, std::uint8_t address, int firstByteMs, link::Bytes& bytes) {
    auto heardBytes = Exchange(sweep.baudIndex, address, firstByteMs);
    if (!heardBytes) return std::nullopt;
    bytes = std::move(*heardBytes);
    const Heard heard = SplitFrames(bytes);
    for (const std::uint8_t from : heard.frameFrom) {
      Evidence& seen = sweep.evidence[from];
      if (from == address) seen.proven = true;
      else if (!seen.proven && !seen.arrivedDuring) seen.arrivedDuring = address;
    }
    return Judge(heard, address);
  }

  // The port stays open from probe to probe at one rate, so that a reply arriving
  // between two probes is heard by the next one instead of discarded by an opening.
  link::SerialPort* HeldPort(int baud, link::TrafficReporter& log) {
    if (held_ && heldBaud_ == baud) return held_.get();
    held_.reset();
    link::OpenError openError;
    held_ = link::OpenPort(port_, baud, &openError);
    heldBaud_ = baud;
    if (!held_) {
      error_ = link::DescribeOpenError(port_, openError);
      log.Event(error_, link::log_result::kPortNotOpened);
    }
    return held_.get();
  }

  // CMD00 to address: the reply as the frame rule reads it and, unless that is a
  // whole verified frame from address, whatever still arrives until the line has
  // been quiet for kDrainQuietMs. nullopt when the port could not be used.
  std::optional<link::Bytes> Exchange(int baudIndex, std::uint8_t address, int firstByteMs) {
    const int baud = *link::BaudRateAt(baudIndex);
    link::TrafficReporter log(log_, port_);
    link::SerialPort* port = HeldPort(baud, log);
    if (!port) return std::nullopt;
    const link::Bytes frame = ProbeFrame(address);
    const std::string sent = link::DescribeSentFrames(frame);
    log.Sent(frame, sent);
    const link::TransmitResult transmitted = port->TransmitFrame(frame, baud);
    if (!transmitted.sent) {
      error_ = "cannot send to " + port_ + ": " + transmitted.detail;
      log.Event(sent + ": " + transmitted.detail, link::result::kSendFailed);
      return std::nullopt;
    }
    auto heard = Listen(*port, address, firstByteMs, baud);
    if (heard) LogHeard(log, sent, *heard, address);
    return heard;
  }

  static void LogHeard(link::TrafficReporter& log, const std::string& sent, const link::Bytes& heard,
                       std::uint8_t address) {
    if (heard.empty()) return log.Event(sent, link::result::kNoResponse);
    const bool answered = HoldsFrameFrom(SplitFrames(heard), address);
    const std::string at = link::FormatHexByte(address);
    log.Received(heard, answered ? "CMD00 from " + at : "not a whole reply from " + at);
    log.Event(sent, answered ? link::result::kSuccess : link::result::kDataError);
  }

  // A whole answer read at once tells the line's turnaround: the read's time less
  // the answer's own time on the wire.
  std::optional<link::Bytes> Listen(link::SerialPort& port, std::uint8_t address, int firstByteMs, int baud) {
    using Clock = std::chrono::steady_clock;
    link::Bytes heard;
    link::ReadRule rule{link::ReadEnd::Frame, firstByteMs};
    const auto began = Clock::now();
    const auto drainEnd = began + std::chrono::milliseconds(2 * link::kReadTotalMs);
    for (bool first = true; heard.size() < kMostHeard && Clock::now() < drainEnd; first = false) {
      link::FrameBuffer buffer{};
      const link::ReadResult read = port.ReadReply(buffer, rule);
      heard.insert(heard.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(read.count));
      if (!read.ok) {
        error_ = "the line failed while reading from " + port_ + (read.detail.empty() ? "" : ": " + read.detail);
        return std::nullopt;
      }
      const bool whole = IsWholeAnswer(SplitFrames(heard), address);
      if (whole && first)
        probeWait_.Verified(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - began) -
                            link::WireTime(read.count, baud));
      if (read.count == 0 || whole) break;
      rule = {link::ReadEnd::Gap, kDrainQuietMs};
    }
    return heard;
  }

  link::LineSettings Line(int baudIndex, std::uint8_t address) const {
    link::LineSettings line{port_, baudIndex, link::FormatHexByte(address), true, {}};
    line.read = {link::ReadEnd::Frame, link::kReadTotalMs};
    return line;
  }

  // The board's question for its motor type, if it has one.
  static const board::Command* ReadSetupCommand() {
    for (const board::Command& command : board::Current().commands)
      if (command.action == board::Action::ReadSetup) return &command;
    return nullptr;
  }

  // A proven board, with its motor type read by CMD43 (not for a conflict). False
  // when the port could not be used.
  bool Record(int baudIndex, std::uint8_t address, bool conflict) {
    FoundBoard board{address, *link::BaudRateAt(baudIndex), {}, conflict};
    if (!conflict) {
      held_.reset();  // the set-up question opens the port itself
      const board::Command* readSetup = ReadSetupCommand();
      if (!readSetup) return Keep(board), true;
      const board::ExchangeRecord setup = board::SendCommand(Line(baudIndex, address), *readSetup, {}, log_);
      const auto stage = setup.outcome.stage;
      if (stage == link::ExchangeStage::PortUnavailable) {
        error_ = link::DescribeOpenError(port_, setup.openError);
        return false;
      }
      if (stage == link::ExchangeStage::SendFailed) {
        error_ = "cannot send to " + port_ + ": " + setup.outcome.detail;
        return false;
      }
      const bool fromIt = setup.received && !setup.received->empty() && setup.received->front() == address;
      for (const board::DecodedField& field : setup.fields)
        if (fromIt && field.key == "motor_type") board.motorType = field.text;
      if (!fromIt) return Confirm(baudIndex, board);
    }
    Keep(board);
    return true;
  }

  // A board that said nothing to its set-up question is asked for its address once
  // more, waiting as long as a reply may take: an answer that was a slow board's
  // reply to the broadcast of an earlier rate is not taken for a board at this one.
  bool Confirm(int baudIndex, const FoundBoard& board) {
    const auto bytes = Exchange(baudIndex, board.address, link::kReadTotalMs);
    if (!bytes) return false;
    if (HoldsFrameFrom(SplitFrames(*bytes), board.address)) Keep(board);
    else Note(baudIndex, board.address, "answered, then silent when asked again (a slow board at another rate?)");
    return true;
  }

  void Note(int baudIndex, std::uint8_t address, std::string reason) {
    unconfirmed_.push_back({address, *link::BaudRateAt(baudIndex), std::move(reason)});
  }

  void Keep(const FoundBoard& board) {
    found_.push_back(board);
    if (callbacks_.found) callbacks_.found(board);
  }

  // withinRate: how far the rate's own work has come, 0 to 1.
  void Progress(int baudIndex, const std::string& what, double withinRate = 0) const {
    if (!callbacks_.progress) return;
    const double fraction = (static_cast<double>(passPosition_) + withinRate) / static_cast<double>(passCount_);
    callbacks_.progress({*link::BaudRateAt(baudIndex), what, fraction});
  }

  const ScanRequest& request_;
  std::string port_;
  link::TrafficLog* log_;
  const ScanCallbacks& callbacks_;
  std::size_t passPosition_ = 0, passCount_ = 1;
  std::vector<FoundBoard> found_;
  std::vector<Unconfirmed> unconfirmed_;
  std::string error_;
  std::vector<int> silentRates_;  // whose broadcast heard nothing
  ProbeWait probeWait_;
  std::unique_ptr<link::SerialPort> held_;
  int heldBaud_ = 0;
};

}  // namespace

ScanResult ScanLine(const ScanRequest& request, link::TrafficLog* log, const ScanCallbacks& callbacks) {
  const link::KeptNetworkConnections connectOnce;  // a network port: connect and negotiate once
  Scanner scanner(request, log, callbacks);
  bool usable = true;
  for (std::size_t i = 0; i < request.baudIndices.size() && usable && !scanner.Stopping(); ++i) {
    scanner.BeginPass(i, request.baudIndices.size());
    usable = scanner.ScanRate(request.baudIndices[i], request.range, request.timeoutMs);
  }
  if (usable && !scanner.Stopping()) usable = scanner.AskSilentRatesAgain(request.range);
  // Ctrl+C may end a network port's wait as a failure: the scan was stopped, the port is not at fault.
  const bool stopped = scanner.Stopping();
  return {scanner.Found(), scanner.NotConfirmed(), usable || stopped ? "" : scanner.Error(), stopped};
}

}  // namespace tarnwick::bench
