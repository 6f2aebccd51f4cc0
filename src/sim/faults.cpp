#include "faults.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "board/board.h"

namespace tarnwick::sim {
namespace {

using std::chrono::milliseconds;

// 75 ms past the 25 ms gap that ends a read, so a loaded machine cannot close the
// pause up, and 75 ms inside the 150 ms a scan listens on for the rest of a reply.
constexpr milliseconds kSplitPause{100};
// Far inside it, so a loaded machine waking the board late still keeps the reply whole.
constexpr milliseconds kTricklePause{3};

struct NamedKind {
  std::string_view name;
  FaultKind kind;
};

constexpr std::array<NamedKind, 13> kNames = {{
    {"none", FaultKind::None},
    {"no-reply", FaultKind::NoReply},
    {"bad-checksum", FaultKind::BadChecksum},
    {"swapped-checksum", FaultKind::SwappedChecksum},
    {"split", FaultKind::SplitReply},
    {"trickle", FaultKind::TrickleReply},
    {"extra-bytes", FaultKind::ExtraBytes},
    {"truncated", FaultKind::TruncatedReply},
    {"device-error", FaultKind::DeviceError},
    {"failed-status", FaultKind::FailedStatus},
    {"echo", FaultKind::Echo},
    {"echo-garbled", FaultKind::EchoGarbled},
    {"own-address-only", FaultKind::OwnAddressOnly},
}};

std::optional<int> ParseNumber(std::string_view text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

Bytes Rechecksummed(Bytes reply) {
  reply.resize(reply.size() - 2);
  return board::Current().framing.Make(reply[0], std::span(reply).subspan(2));
}

}  // namespace

std::vector<ReplyChunk> ShapeReply(const Bytes& reply, const Fault& fault, std::uint8_t heardAddress) {
  if (fault.kind == FaultKind::OwnAddressOnly && heardAddress == link::kBroadcastAddress) return {};
  if (reply.size() < 4) return {{reply, {}}};
  Bytes bytes = reply;
  switch (fault.kind) {
    case FaultKind::None:
    case FaultKind::Echo:
    case FaultKind::EchoGarbled:
    case FaultKind::OwnAddressOnly:
      break;
    case FaultKind::NoReply:
      return {};
    case FaultKind::BadChecksum:
      bytes[bytes.size() - 2] ^= 0x5A;
      break;
    case FaultKind::SwappedChecksum:
      std::swap(bytes[bytes.size() - 2], bytes[bytes.size() - 1]);
      break;
    case FaultKind::SplitReply: {
      const auto half = static_cast<long>(bytes.size() / 2);
      return {{Bytes(bytes.begin(), bytes.begin() + half), kSplitPause}, {Bytes(bytes.begin() + half, bytes.end()), {}}};
    }
    case FaultKind::TrickleReply: {
      std::vector<ReplyChunk> chunks;
      for (std::uint8_t b : bytes) chunks.push_back({{b}, kTricklePause});
      return chunks;
    }
    case FaultKind::ExtraBytes:
      bytes.insert(bytes.end(), {0xAA, 0x55, 0x00});
      break;
    case FaultKind::TruncatedReply:
      bytes.resize(3);
      break;
    case FaultKind::DeviceError: {
      const std::uint8_t body[] = {link::kDeviceErrorCommand, fault.errorCode};
      bytes = board::Current().framing.Make(reply[0], body);
      break;
    }
    case FaultKind::FailedStatus:
      if (bytes.size() > 5 && bytes[2] != link::kDeviceErrorCommand) {
        // The address change reports failure with FF, every other command with 1.
        const board::Command* command = board::Current().Find(bytes[2]);
        bytes[3] = command && command->action == board::Action::ChangeAddress ? 0xFF : 1;
        bytes = Rechecksummed(bytes);
      }
      break;
  }
  return {{bytes, {}}};
}

Bytes EchoOf(const Bytes& heard, const Fault& fault) {
  if (fault.kind != FaultKind::Echo && fault.kind != FaultKind::EchoGarbled) return {};
  Bytes echo = heard;
  if (fault.kind == FaultKind::EchoGarbled && !echo.empty()) echo[echo.size() / 2] ^= 0x24;
  return echo;
}

std::optional<Fault> ParseFault(std::string_view text) {
  Fault fault;
  std::string_view name = text, argument;
  if (const auto eq = text.find('='); eq != std::string_view::npos) {
    name = text.substr(0, eq);
    argument = text.substr(eq + 1);
  }
  if (name == "delay") {
    const auto ms = ParseNumber(argument);
    if (!ms || *ms > 10'000) return std::nullopt;
    fault.replyDelay = milliseconds(*ms);
    return fault;
  }
  const auto found = std::find_if(kNames.begin(), kNames.end(), [&](const NamedKind& k) { return k.name == name; });
  if (found == kNames.end()) return std::nullopt;
  fault.kind = found->kind;
  if (fault.kind == FaultKind::DeviceError && !argument.empty()) {
    const auto code = ParseNumber(argument);
    if (!code || *code > 255) return std::nullopt;
    fault.errorCode = static_cast<std::uint8_t>(*code);
  } else if (!argument.empty()) {
    return std::nullopt;
  }
  return fault;
}

std::string FaultNames() {
  std::string names;
  for (const auto& k : kNames) names += std::string(k.name) + (k.kind == FaultKind::DeviceError ? "[=CODE]" : "") + ", ";
  return names + "delay=MS";
}

}  // namespace tarnwick::sim
