#pragma once
// What each command panel holds, how it encodes its command and how it shows a
// reply. The window's panels and tarnwick-cli both call exactly this code, so the
// two can never put different bytes on the line for the same field contents.
//
// Field texts are UTF-8, verbatim as typed; every encoder trims them itself.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link/baud_rates.h"
#include "link/commands.h"

namespace tarnwick::panels {

// "Stop", "Forward", "Reversal", "ShortBrake"; "" for any other value.
std::string_view DriveModeText(std::uint8_t mode);
// "Stepper", "D-C"; "" for any other code.
std::string_view MotorTypeText(std::uint8_t code);

// ---- What each panel holds, with the panel's start values ----

struct Cmd11Fields {
  std::string stepCount = "6000";
  bool reverse = false;
  bool notLimit = false;
};

struct Cmd12Fields {
  std::string stepCount = "8000";
  bool reverse = false;
  bool notLimit = false;
  std::string frequency = "0";
  std::string pulseDuty = "100";
};

struct Cmd21Fields {
  std::string leftDuty = "60";
  std::string rightDuty = "60";
  bool leftReverse = false;
  bool rightReverse = false;
};

struct Cmd22Fields {
  std::uint8_t leftMode = link::kDriveForward;  // 0..3, a link::DriveMode
  std::uint8_t rightMode = link::kDriveForward;
};

struct Cmd23Fields {
  std::string leftFrequency = "25000";
  std::string leftPulseDuty = "100";
  std::string rightFrequency = "25000";
  std::string rightPulseDuty = "100";
};

struct Cmd40Fields {
  std::string newAddress = "58";  // hexadecimal
};

struct Cmd41Fields {
  int baudIndex = link::kDefaultBaudIndex;  // position in link::kBaudRates
};

struct Cmd42Fields {
  std::uint8_t motorType = link::kMotorStepper;  // a link::MotorType; the Right fields are read only for D-C
  std::string leftFrequency = "2500";
  std::string leftPulseDuty = "100";
  std::string rightFrequency = "50000";
  std::string rightPulseDuty = "100";
};

// ---- Encoders ----
// Each writes the command byte (its code, | 0x80 when replyFlag is non-zero) and
// its data bytes to out and returns their count N, or 0 when a field is invalid
// or missing, or out is too small. After a 0, out may hold partial bytes, and
// reason (when given and still empty) says which field was refused and why, in
// the panel's words ("Pulse Duty must be 0 to 100").

std::uint8_t BuildCommand(const Cmd11Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason = nullptr);  // N = 5
std::uint8_t BuildCommand(const Cmd12Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason = nullptr);  // N = 8
std::uint8_t BuildCommand(const Cmd21Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason = nullptr);  // N = 3
std::uint8_t BuildCommand(const Cmd22Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason = nullptr);  // N = 2
std::uint8_t BuildCommand(const Cmd23Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason = nullptr);  // N = 7
std::uint8_t BuildCommand(const Cmd40Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason = nullptr);  // N = 2
std::uint8_t BuildCommand(const Cmd41Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason = nullptr);  // N = 2
std::uint8_t BuildCommand(const Cmd42Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason = nullptr);  // N = 8

// The commands without data (CMD00, CMD13, CMD24, CMD38, CMD3F, CMD43): the
// command byte alone, N = 1. CMD00 carries the reply flag whatever replyFlag says.
// 0 for a command that has data.
std::uint8_t BuildParameterlessCommand(link::CommandCode code, std::uint8_t replyFlag, std::span<std::uint8_t> out);

// ---- Reply decoders ----
// data holds exactly the reply bytes from the panel's first byte up to, not
// including, the checksum: for CMD13 from the byte after the status byte, for
// CMD24 and CMD43 from the first data byte. nullopt when data is too short for
// what the panel shows; the panel then keeps its fields.

struct Cmd13Display {
  bool reverse = false;
  std::string stepCount;  // "%u"
  std::string pulseDuty;
  std::string frequency;
};

struct Cmd24Display {
  std::string left;  // "+50", "0", "-50"
  std::string right;
};

struct Cmd43Display {
  std::string motorType;  // "Stepper", "D-C" or ""
  std::string leftFrequency;
  std::string leftPulseDuty;
  std::string rightFrequency;
  std::string rightPulseDuty;
};

std::optional<Cmd13Display> DecodeCmd13Reply(std::span<const std::uint8_t> data);  // needs 7 bytes
std::optional<Cmd24Display> DecodeCmd24Reply(std::span<const std::uint8_t> data);  // needs 2 bytes
// Needs 4 bytes for a Stepper block, 7 for a D-C block, 1 for any other type
// (which empties all five fields).
std::optional<Cmd43Display> DecodeCmd43Reply(std::span<const std::uint8_t> data);

// A reply's data as the panel that shows it labels it: ("Left", "+50"), ... in the
// panel's order. Nothing for a command whose reply no panel shows, or for data too
// short for it.
using ShownFields = std::vector<std::pair<std::string, std::string>>;
std::optional<ShownFields> ReplyFieldsOf(link::CommandCode command, std::span<const std::uint8_t> data);
// The same as "label value" texts, for the traffic log ("Left +50").
std::vector<std::string> DescribeReplyFields(link::CommandCode command, std::span<const std::uint8_t> data);

// ---- For hosts that keep every panel's fields ----

struct CommandFieldSet {
  Cmd11Fields cmd11;
  Cmd12Fields cmd12;
  Cmd21Fields cmd21;
  Cmd22Fields cmd22;
  Cmd23Fields cmd23;
  Cmd40Fields cmd40;
  Cmd41Fields cmd41;
  Cmd42Fields cmd42;
};

// Encodes command from its fields in the set (or from nothing, for a command
// without data).
std::uint8_t BuildPanelCommand(const CommandFieldSet& fields, link::CommandCode command, std::uint8_t replyFlag,
                               std::span<std::uint8_t> out, std::string* reason = nullptr);

}  // namespace tarnwick::panels
