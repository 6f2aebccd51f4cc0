#include "bus.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "board/board.h"
#include "link/baud_rates.h"
#include "link/frame.h"
#include "link/hex_text.h"

namespace tarnwick::sim {
namespace {

using std::chrono::milliseconds;

// How far each further reply lags the one before, in bit times: boards never
// start sending in step.
constexpr std::size_t kSkewBits = 3;
constexpr std::size_t kBitsPerByte = 10;  // start, eight data bits, stop

Bytes Flatten(const std::vector<ReplyChunk>& chunks) {
  Bytes bytes;
  for (const ReplyChunk& c : chunks) bytes.insert(bytes.end(), c.bytes.begin(), c.bytes.end());
  return bytes;
}

std::vector<bool> LineLevels(const std::vector<Bytes>& replies) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < replies.size(); ++i)
    length = std::max(length, i * kSkewBits + replies[i].size() * kBitsPerByte);
  std::vector<bool> line(length + kBitsPerByte, true);  // idle high, room for a last sample
  for (std::size_t i = 0; i < replies.size(); ++i) {
    std::size_t at = i * kSkewBits;
    for (std::uint8_t byte : replies[i]) {
      line[at] = false;  // start bit
      for (int bit = 0; bit < 8; ++bit)
        if (!((byte >> bit) & 1)) line[at + 1 + static_cast<std::size_t>(bit)] = false;
      at += kBitsPerByte;  // the stop bit leaves the line high
    }
  }
  return line;
}

std::optional<int> Number(std::string_view text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// "'05@1200': the rate must be ..."
std::string Refusal(std::string_view text, std::string_view why) {
  std::string message = "'";
  message.append(text).append("': ").append(why);
  return message;
}

std::optional<BoardState> ParseBoard(std::string_view text, std::string& why) {
  std::string_view address = text, rate, type;
  if (const auto colon = address.find(':'); colon != std::string_view::npos) {
    type = address.substr(colon + 1);
    address = address.substr(0, colon);
  }
  if (const auto at = address.find('@'); at != std::string_view::npos) {
    rate = address.substr(at + 1);
    address = address.substr(0, at);
  }
  std::string addressWhy;
  const std::optional<std::uint8_t> value = ParseBoardAddress(address, addressWhy);
  if (!value) {
    why = Refusal(text, addressWhy);
    return std::nullopt;
  }
  const auto rateValue = rate.empty() ? std::optional(link::kBaudRates[link::kDefaultBaudIndex]) : Number(rate);
  const auto baudIndex = rateValue ? link::BaudIndexOf(*rateValue) : std::nullopt;
  if (!baudIndex) {
    why = Refusal(text, "the rate must be one of " + link::BaudRatesText());
    return std::nullopt;
  }
  const auto motor = type.empty() ? std::optional(link::kMotorStepper) : MotorTypeNamed(type);
  if (!motor) {
    std::string names;
    for (const auto& [name, value] : MotorTypeNames()) names += (names.empty() ? "" : " or ") + name;
    why = Refusal(text, "the motor type must be " + names);
    return std::nullopt;
  }
  return MakeBoardState(*value, *baudIndex, *motor);
}

}  // namespace

std::optional<std::uint8_t> ParseBoardAddress(std::string_view text, std::string& why) {
  const std::optional<std::uint8_t> address = link::ParseDeviceAddress(text);
  if (!address) {
    why = link::NotADeviceAddress(text);
    return std::nullopt;
  }
  if (*address < link::kFirstBoardAddress || *address > link::kLastBoardAddress) {
    why = std::string(1, '\'').append(text).append("' is not a board's own address: hex ");
    why += link::FormatHexByte(link::kFirstBoardAddress) + " to " + link::FormatHexByte(link::kLastBoardAddress);
    return std::nullopt;
  }
  return address;
}

std::vector<std::pair<std::string, link::MotorType>> MotorTypeNames() {
  std::vector<std::pair<std::string, link::MotorType>> names;
  if (const board::Enumeration* types = board::BuiltIn().FindEnumeration("motor-type"))
    for (const board::NamedValue& named : types->values) {
      std::string name = named.name;
      std::transform(name.begin(), name.end(), name.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      names.emplace_back(name, static_cast<link::MotorType>(named.value));
    }
  return names;
}

std::optional<link::MotorType> MotorTypeNamed(std::string_view name) {
  if (const board::Enumeration* types = board::BuiltIn().FindEnumeration("motor-type"))
    if (const board::NamedValue* named = types->FindNamed(name)) return static_cast<link::MotorType>(named->value);
  return std::nullopt;
}

std::string MotorTypeName(link::MotorType type) {
  for (const auto& [name, known] : MotorTypeNames())
    if (known == type) return name;
  return std::to_string(type);
}

Bus::Bus(std::vector<BoardState> boards) {
  for (const BoardState& state : boards) stations_.push_back({Board(state), {}, {}, {}});
}

void Bus::AnswerFrom(ReplayBoard recording) { stations_.front().recording = std::move(recording); }

void Bus::SetFaultOnEvery(const Fault& fault) {
  for (Station& s : stations_) s.fault = fault;
}

void Bus::Hear(std::span<const std::uint8_t> bytes, int baudIndex) {
  for (Station& s : stations_)
    if (s.recording || baudIndex == kEveryBoardHears || baudIndex == s.board.BaudIndex())
      s.pending.insert(s.pending.end(), bytes.begin(), bytes.end());
}

std::vector<ReplyChunk> Bus::Shape(Station& station, const Bytes& reply, std::uint8_t heardAddress,
                                   milliseconds& delay) {
  const Fault fault = station.fault;
  if (station.fault.count > 0 && --station.fault.count == 0) station.fault = Fault{};
  delay = std::max(delay, fault.replyDelay);
  return ShapeReply(reply, fault, heardAddress);
}

void Bus::KeepNewestPending(std::size_t keep, std::size_t limit) {
  for (Station& s : stations_)
    if (s.pending.size() > limit) s.pending.erase(s.pending.begin(), s.pending.end() - static_cast<std::ptrdiff_t>(keep));
}

std::optional<Bus::Turn> Bus::TakeTurn(bool atBurstEnd) {
  std::optional<Turn> turn;
  std::vector<std::vector<ReplyChunk>> replies;
  for (Station& s : stations_) {
    if (s.pending.empty()) continue;
    const Board::Result taken =
        s.recording ? s.recording->TakeFrame(s.pending, atBurstEnd) : s.board.TakeFrame(s.pending, atBurstEnd);
    if (!taken.complete || taken.consumed == 0) continue;
    const auto end = s.pending.begin() + static_cast<std::ptrdiff_t>(taken.consumed);
    const std::uint8_t heardAddress = s.pending.front();
    if (!turn) turn = Turn{Bytes(s.pending.begin(), end), {}, {}, {}};
    if (turn->echo.empty()) turn->echo = EchoOf(turn->heard, s.fault);
    s.pending.erase(s.pending.begin(), end);
    if (taken.reply.empty()) continue;
    auto shaped = Shape(s, taken.reply, heardAddress, turn->delay);
    if (!shaped.empty()) replies.push_back(std::move(shaped));
  }
  if (!turn) return std::nullopt;
  if (replies.size() == 1) {
    turn->reply = std::move(replies.front());
  } else if (replies.size() > 1) {
    std::vector<Bytes> flat;
    for (const auto& chunks : replies) flat.push_back(Flatten(chunks));
    turn->reply = {{Collide(flat), {}}};
  }
  return turn;
}

bool Bus::HasPending() const {
  return std::any_of(stations_.begin(), stations_.end(), [](const Station& s) { return !s.pending.empty(); });
}

Bytes Collide(const std::vector<Bytes>& replies) {
  const std::vector<bool> line = LineLevels(replies);
  Bytes received;
  for (std::size_t at = 0; at + kBitsPerByte <= line.size();) {
    if (line[at]) {
      ++at;  // idle: wait for a start bit
      continue;
    }
    std::uint8_t byte = 0;
    for (int bit = 0; bit < 8; ++bit)
      if (line[at + 1 + static_cast<std::size_t>(bit)]) byte |= static_cast<std::uint8_t>(1u << bit);
    received.push_back(byte);
    at += kBitsPerByte;  // a missing stop bit is a framing error: the byte is kept all the same
  }
  return received;
}

std::optional<std::vector<BoardState>> ParseBoards(std::string_view text, std::string& why) {
  std::vector<BoardState> boards;
  while (!text.empty()) {
    const auto comma = text.find(',');
    const auto board = ParseBoard(text.substr(0, comma), why);
    if (!board) return std::nullopt;
    boards.push_back(*board);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
  }
  if (boards.empty()) why = "no board given";
  return boards.empty() ? std::nullopt : std::optional(boards);
}

BoardState MakeBoardState(std::uint8_t address, int baudIndex, link::MotorType motorType) {
  BoardState state;
  state.address = address;
  state.baudIndex = baudIndex;
  if (motorType == link::kMotorDc) {
    state.motorType = link::kMotorDc;
    state.setup = {link::kMotorDc, 100, 100, 0xA8, 0x61, 0xA8, 0x61};  // both motors: duty 100, 25000 Hz
  }
  return state;
}

}  // namespace tarnwick::sim
