#include "cli/scan.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>
#include <optional>
#include <span>
#include <utility>

#include "cli/console.h"
#include "link/frame.h"
#include "link/hex_text.h"
#include "link/json_text.h"
#include "link/network_port.h"

namespace tarnwick::cli {
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
    const std::size_t length = std::size_t{bytes[link::kLengthOffset]} + 4;
    if (length > bytes.size() || link::JudgeFrameSoFar(bytes.first(length)) != link::FrameProgress::Complete) break;
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

// One board's reply that was damaged on the way (a wrong checksum, bytes lost at
// its end) still begins as its reply does, with the address asked, and holds no
// more bytes than its length byte announces. Bytes that begin otherwise or run
// longer are more than one board's reply can explain.
bool IsOneDamagedReply(std::span<const std::uint8_t> rest, std::uint8_t address) {
  if (rest.empty() || rest[link::kAddressOffset] != address) return false;
  if (rest.size() <= link::kLengthOffset) return true;
  const std::size_t announced = std::size_t{rest[link::kLengthOffset]} + 4;
  return announced <= link::kFrameBufferSize && rest.size() <= announced;
}

// What one probe of an address came to.
enum class Verdict { Silent, Answered, Damaged, Garbled };

Verdict Judge(const Heard& heard, std::uint8_t address) {
  if (HoldsFrameFrom(heard, address)) return Verdict::Answered;
  if (heard.rest.empty()) return Verdict::Silent;
  return IsOneDamagedReply(heard.rest, address) ? Verdict::Damaged : Verdict::Garbled;
}

struct FoundBoard {
  std::uint8_t address = 0;
  int baud = 0;
  std::string motorType;  // empty when it could not be read
  bool conflict = false;  // several boards answer at this address
};

// An address that something came from or garbled at, without a proof of a board.
struct Unconfirmed {
  std::uint8_t address = 0;
  int baud = 0;
  std::string reason;
};

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

struct AddressRange {
  int first = 0x01, last = 0xFE;
  bool Holds(int address) const { return address >= first && address <= last; }
};
// "01-FE", "2A" or "10-1f": addresses that a board can have, 01 to FE.
std::optional<AddressRange> ParseRange(const std::string& text, std::string& error) {
  const auto dash = text.find('-');
  const std::string firstText = text.substr(0, dash);
  const std::string lastText = dash == std::string::npos ? firstText : text.substr(dash + 1);
  const auto first = CheckNumber("--addr", firstText, kNewAddressRule, error);
  const auto last = first ? CheckNumber("--addr", lastText, kNewAddressRule, error) : std::nullopt;
  if (!first || !last) return std::nullopt;
  if (*first > *last) {
    error = "--addr: '" + text + "' runs backwards; give FIRST-LAST such as 01-FE";
    return std::nullopt;
  }
  return AddressRange{static_cast<int>(*first), static_cast<int>(*last)};
}

// The positions in the baud table of the rates given, all seven when none was.
std::optional<std::vector<int>> ParseRates(const std::vector<std::string>& given, std::string& error) {
  std::vector<int> indices;
  for (const std::string& rate : given) {
    const auto index = CheckChoice("--baud", rate, BaudChoices(), error);
    if (!index) return std::nullopt;
    indices.push_back(*index);
  }
  if (given.empty())
    for (std::size_t i = 0; i < link::kBaudRates.size(); ++i) indices.push_back(static_cast<int>(i));
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  return indices;
}


std::string Hex(std::span<const std::uint8_t> bytes) { return link::FormatHexDump(bytes); }

// The address question (CMD00 unless the board names another), which every board
// answers, even to the broadcast address.
link::Bytes ProbeFrame(std::uint8_t address) {
  std::uint8_t code = 0x00;
  for (const board::Command& command : board::Current().commands)
    if (command.action == board::Action::ReportAddress) code = command.code;
  const std::uint8_t commandByte[] = {static_cast<std::uint8_t>(code | link::kReplyFlag)};
  return link::MakeFrame(address, commandByte);
}

class Scanner {
 public:
  Scanner(const ScanCommandLine& options, std::string port, const TrafficLogOption& log)
      : options_(options), port_(std::move(port)), log_(log), showProgress_(StandardErrorIsTerminal()) {}

  // Ctrl+C, or a log that lost an entry, ends the scan after the exchange under way.
  bool Stopping() const { return Interrupted() || !log_.Lost().empty(); }

  // False when the port could not be used; Error() then says why. The broadcast
  // waits firstByteMs for an answer to begin, then to the answer's end.
  bool ScanRate(int baudIndex, const AddressRange& range, int firstByteMs) {
    Progress(baudIndex, "asking every board");
    const auto everyone = Exchange(baudIndex, link::kBroadcastAddress, firstByteMs);
    if (!everyone) return false;
    const Heard heard = SplitFrames(*everyone);
    const bool oneClean = heard.rest.empty() && heard.frameFrom.size() == 1;
    if (everyone->empty()) silentRates_.push_back(baudIndex);
    if (!options_.full && everyone->empty()) return true;
    if (!options_.full && oneClean)
      return !range.Holds(heard.frameFrom.front()) || Record(baudIndex, heard.frameFrom.front(), false);
    RateSweep sweep{baudIndex, !heard.rest.empty(), {}};
    return Sweep(sweep, range) && ConfirmTheRest(sweep, range) && Conclude(sweep, range);
  }

  void EndProgress() const {
    if (showProgress_) std::cerr << "\r\033[K" << std::flush;
  }

  // Where the broadcasts waiting --timeout found no board at all, the boards may only
  // be slow: each silent rate is asked again, waiting as long as a reply may take.
  bool AskSilentRatesAgain(const AddressRange& range) {
    if (!found_.empty() || options_.full || options_.timeoutMs >= link::kReadTotalMs) return true;
    const std::vector<int> silent = std::exchange(silentRates_, {});
    for (const int baudIndex : silent)
      if (!Stopping() && !ScanRate(baudIndex, range, link::kReadTotalMs)) return false;
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
      Progress(sweep.baudIndex, "address " + link::FormatHexByte(byte));
      const int wait = address == range.last ? link::kReadTotalMs : options_.timeoutMs;
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
        Progress(sweep.baudIndex, "address " + link::FormatHexByte(address) + " again");
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
    if (second == Verdict::Damaged) return "damaged reply at " + at + ": " + Hex(bytes);
    if (second == Verdict::Garbled) return "garbled reply at " + at + ": " + Hex(bytes);
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

  // CMD00 to address in one session of the port: the reply as the frame rule reads
  // it and, unless that is a whole verified frame from address, whatever still
  // arrives until the line has been quiet for kDrainQuietMs. nullopt when the port
  // could not be used.
  std::optional<link::Bytes> Exchange(int baudIndex, std::uint8_t address, int firstByteMs) {
    const int baud = *link::BaudRateAt(baudIndex);
    link::TrafficReporter log(log_.get(), port_);
    link::OpenError openError;
    const auto port = link::OpenPort(port_, baud, &openError);
    if (!port) {
      error_ = link::DescribeOpenError(port_, openError);
      log.Event(error_, link::log_result::kPortNotOpened);
      return std::nullopt;
    }
    const link::Bytes frame = ProbeFrame(address);
    const std::string sent = link::DescribeSentFrames(frame);
    log.Sent(frame, sent);
    const link::TransmitResult transmitted = port->TransmitFrame(frame, baud);
    if (!transmitted.sent) {
      error_ = "cannot send to " + port_ + ": " + transmitted.detail;
      log.Event(sent + ": " + transmitted.detail, link::result::kSendFailed);
      return std::nullopt;
    }
    auto heard = Listen(*port, address, firstByteMs);
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

  std::optional<link::Bytes> Listen(link::SerialPort& port, std::uint8_t address, int firstByteMs) {
    link::Bytes heard;
    link::ReadRule rule{link::ReadEnd::Frame, firstByteMs};
    const auto drainEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(2 * link::kReadTotalMs);
    while (heard.size() < kMostHeard && std::chrono::steady_clock::now() < drainEnd) {
      link::FrameBuffer buffer{};
      const link::ReadResult read = port.ReadReply(buffer, rule);
      heard.insert(heard.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(read.count));
      if (!read.ok) {
        error_ = "the line failed while reading from " + port_;
        return std::nullopt;
      }
      if (read.count == 0 || IsWholeAnswer(SplitFrames(heard), address)) break;
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
      const board::Command* readSetup = ReadSetupCommand();
      if (!readSetup) return found_.push_back(board), true;
      const TimedExchange setup = RunTimedExchange(Line(baudIndex, address), *readSetup, {}, log_.get());
      const auto stage = setup.outcome.stage;
      if (stage == link::ExchangeStage::PortUnavailable || stage == link::ExchangeStage::SendFailed) {
        error_ = setup.report.error.empty() ? "cannot send to " + port_ + ": " + setup.outcome.detail
                                            : setup.report.error;
        return false;
      }
      const bool fromIt = setup.report.received && !setup.report.received->empty() &&
                          setup.report.received->front() == address;
      for (const ReportField& field : setup.report.fields)
        if (fromIt && field.key == "motor_type") board.motorType = field.text;
      if (!fromIt) return Confirm(baudIndex, board);
    }
    found_.push_back(board);
    return true;
  }

  // A board that said nothing to its set-up question is asked for its address once
  // more, waiting as long as a reply may take: an answer that was a slow board's
  // reply to the broadcast of an earlier rate is not taken for a board at this one.
  bool Confirm(int baudIndex, const FoundBoard& board) {
    const auto bytes = Exchange(baudIndex, board.address, link::kReadTotalMs);
    if (!bytes) return false;
    if (HoldsFrameFrom(SplitFrames(*bytes), board.address)) found_.push_back(board);
    else Note(baudIndex, board.address, "answered, then silent when asked again (a slow board at another rate?)");
    return true;
  }

  void Note(int baudIndex, std::uint8_t address, std::string reason) {
    unconfirmed_.push_back({address, *link::BaudRateAt(baudIndex), std::move(reason)});
  }

  void Progress(int baudIndex, const std::string& what) const {
    if (showProgress_)
      std::cerr << "\r\033[Kscanning " << *link::BaudRateAt(baudIndex) << " baud: " << what << std::flush;
  }

  const ScanCommandLine& options_;
  std::string port_;
  const TrafficLogOption& log_;
  bool showProgress_;
  std::vector<FoundBoard> found_;
  std::vector<Unconfirmed> unconfirmed_;
  std::string error_;
  std::vector<int> silentRates_;  // whose broadcast heard nothing
};

std::string FormatTable(const std::vector<FoundBoard>& boards) {
  std::string text = "Address  Baud    Motor type\n";
  for (const FoundBoard& b : boards) {
    std::string rate = std::to_string(b.baud);
    rate.resize(8, ' ');
    const std::string type = b.conflict ? "(address conflict: more than one board answers)"
                                        : (b.motorType.empty() ? "(not read)" : b.motorType);
    text += link::FormatHexByte(b.address) + "       " + rate + type + "\n";
  }
  return text;
}

// "Heard but not confirmed: 13 at 9600 baud: its reply arrived late, ...", one line each.
std::string FormatUnconfirmedLines(const std::vector<Unconfirmed>& heard) {
  std::string text;
  for (const Unconfirmed& u : heard)
    text += "Heard but not confirmed: " + link::FormatHexByte(u.address) + " at " + std::to_string(u.baud) +
            " baud: " + u.reason + "\n";
  return text;
}

// {"unconfirmed": [...]}, for standard error: the list on standard output stays
// the proven boards alone, so scripts that read it as the boards are not misled.
std::string FormatUnconfirmedJson(const std::vector<Unconfirmed>& heard) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Unconfirmed& u : heard) {
    nlohmann::ordered_json entry;
    entry["address"] = u.address;
    entry["baud"] = u.baud;
    entry["reason"] = u.reason;
    list.push_back(entry);
  }
  nlohmann::ordered_json json;
  json["unconfirmed"] = list;
  return link::JsonText(json, 2) + "\n";
}

std::string FormatJson(const std::vector<FoundBoard>& boards) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const FoundBoard& b : boards) {
    nlohmann::ordered_json entry;
    entry["address"] = b.address;
    entry["baud"] = b.baud;
    entry["motor_type"] = b.motorType.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(b.motorType);
    entry["conflict"] = b.conflict;
    list.push_back(entry);
  }
  return link::JsonText(list, 2) + "\n";
}

}  // namespace

void AddScan(CLI::App& app, ScanCommandLine& scan, CheckedOptions& checked) {
  scan.app = app.add_subcommand("scan", "Find every board on the line: address, baud rate and motor type");
  scan.app->fallthrough();
  scan.app->add_option("--port", scan.port, "Port name from 'ports', a device path or a network port (rfc2217://HOST:PORT); default: the first simulated "
                                            "board running (a serial port is used only when named)");
  scan.app->add_option("--baud", scan.rates, "Rates to try, separated by commas (default: all seven)")
      ->delimiter(',')
      ->type_name("LIST");
  scan.app->add_option("--addr", scan.addresses, "Addresses to probe, hex: 01-FE, 10-1F or one address")
      ->type_name("RANGE")
      ->capture_default_str();
  checked.Number(scan.app, "--timeout", scan.timeoutMs, "How long a probe, and each rate's broadcast, waits for its reply to begin, in ms",
                 {NumberKind::kDecimal, 1, static_cast<std::uint32_t>(link::kReadTotalMs)});
  scan.app->add_flag("--full", scan.full, "Probe every address at every rate, not only where a broadcast was "
                                          "answered by more than one board");
  scan.app->footer(Examples({"scan --port sim0", "scan --baud 9600,115200 --addr 01-1F --json"}) +
                   "\n\nA table (or with --json a list) of the boards found, then what was heard but not "
                   "confirmed (with --json on standard error); progress on standard error at a terminal.\nExit "
                   "status: 0 a board was found, 1 none, 2 invalid options or no port given, 3 the port cannot be used.");
}

int RunScan(const ScanCommandLine& scan, const OutputMode& mode) {
  const link::KeptNetworkConnections connectOnce;  // a network port: connect and negotiate once
  std::string error;
  const auto range = ParseRange(scan.addresses, error);
  const auto rates = range ? ParseRates(scan.rates, error) : std::nullopt;
  if (!rates) return RefuseInvocation(error, mode);
  const TrafficLogOption log = OpenTrafficLog(mode);
  if (!log.error.empty()) return RefuseInvocation(log.error, mode);
  const auto port = ChoosePort(LineOptions{.port = scan.port}, error);
  if (!port) return RefuseInvocation(error, mode);
  CatchInterrupt();
  Scanner scanner(scan, port->path, log);
  bool usable = true;
  for (const int baudIndex : *rates)
    if (usable && !scanner.Stopping()) usable = scanner.ScanRate(baudIndex, *range, scan.timeoutMs);
  if (usable && !scanner.Stopping()) usable = scanner.AskSilentRatesAgain(*range);
  if (!usable) {
    scanner.EndProgress();
    log.Close();
    return ReportFailure(scanner.Error(), kExitNoPort, mode);
  }
  scanner.EndProgress();
  const auto& heard = scanner.NotConfirmed();
  if (const std::string lost = log.Close(); !lost.empty()) {
    if (!mode.json) std::cout << FormatTable(scanner.Found()) << FormatUnconfirmedLines(heard);
    return ReportFailure(lost, 1, mode);
  }
  if (Interrupted() && !mode.json) std::cerr << kProgram << ": interrupted; the boards found so far\n";
  if (mode.json) {
    std::cout << FormatJson(scanner.Found()) << std::flush;
    if (!heard.empty()) std::cerr << FormatUnconfirmedJson(heard);
  } else {
    std::cout << FormatTable(scanner.Found()) << FormatUnconfirmedLines(heard);
  }
  return scanner.Found().empty() ? 1 : 0;
}

}  // namespace tarnwick::cli
