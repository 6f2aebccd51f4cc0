#pragma once
// A board described as data: its commands, each with the fields its request
// carries and its reply returns, in wire order. The built-in description comes
// from boards/motor-driver.yaml, turned into a table when building; --board loads
// another file (board_file.h). Everything that names a command or a field (the
// exchange, the window, the command line, the simulated board, the log) reads it
// from here.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link/framing.h"

namespace tarnwick::board {

// How a field sits on the wire: a word of 1, 2 or 4 bytes, unsigned or two's
// complement, least (le) or most (be) significant byte first. Check fields carry no
// bytes of their own: they set a bit (`bit:`), choose a special value or a sign for
// another field.
enum class WireType : std::uint8_t { U8, I8, U16Le, U32Le, Check, Pad, U16Be, I16Le, I16Be, U32Be, I32Le, I32Be };

struct WordShape {
  std::size_t bytes = 0;  // 0: no word of its own (check, pad)
  bool isSigned = false;
  bool bigEndian = false;
};
WordShape ShapeOf(WireType type);

// How a field's text is read. Decimal: optional sign and digits, as a window's
// field reads them. Hex: a byte in hex digits, 0x allowed ("New Address"). Count:
// decimal, or hex after 0x cut to the field's bits ("Step count").
enum class TextRule : std::uint8_t { Decimal, Hex, Count };

// What a value outside the field's range does: refused ("Left Duty must be 0 to
// 100"), or capped to the range's top.
enum class OutOfRange : std::uint8_t { Refuse, Cap };

// When the exchange reads a reply: questions are read whatever the reply flag says.
enum class ReplyRule : std::uint8_t { WhenFlagged, Always };
// Whether the command byte carries the reply flag: as the line asks, or always.
enum class FlagRule : std::uint8_t { AsAsked, Always };

// Behaviour written once in code, named by commands that need it. The simulated
// board carries them out; the exchange reads the three reply actions.
enum class Action : std::uint8_t {
  None,
  ReportAddress,   // the reply's address byte is the board's address
  ChangeAddress,   // data byte: the new address; a reply byte FF means refused
  ChangeBaudRate,  // data byte: a position in the rate list; the reply names it
  ResetDefaults,
  Stop,
  SetupMotor,      // stores the motor-type block
  ReadSetup,       // answers the stored motor-type block
  DcStatus,        // answers the D-C motors' signed duties
};

// The live tests a board may declare: each sends its board's frames (docs/board-file.md).
enum class LiveTest : std::uint8_t { Stepper, Dc };

// The fields the actions and live tests read or set by name, stated once: the
// loader refuses a board whose actions or live tests lack one, and the simulated
// board names them from here.
namespace action_fields {
inline constexpr std::string_view kMotorType = "motor-type";  // setup-motor's, the motor type commands require
inline constexpr std::string_view kNewAddress = "new-address";  // change-address's first request byte
inline constexpr std::string_view kBaudrate = "baudrate";       // change-baud-rate's first request byte
// What a stop sets to 0: the stepper's steps and the D-C motors' drive modes.
inline constexpr std::array<std::string_view, 4> kStopped = {"step-count", "reverse", "left-mode", "right-mode"};
// A stepper setup's duty and frequency (in setup-motor's request) become those the stepper commands name.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 2> kStepperSetup = {
    {{"left-pulse-duty", "pulse-duty"}, {"left-frequency", "frequency"}}};
// dc-status answers each reply field F from request fields F-duty, F-mode and F-pulse-duty.
inline constexpr std::array<std::string_view, 3> kDcStatusSuffixes = {"-duty", "-mode", "-pulse-duty"};

// Where a needed field must be: the request's first byte, a whole u8; anywhere in
// the command's own request; in some command's request, for the reason given.
enum class Where : std::uint8_t { FirstByte, OwnRequest, AnyRequest };
struct ActionNeed {
  Action action;
  std::string_view field;
  Where where;
  std::string_view why = {};
};
inline constexpr std::array kActionNeeds{
    ActionNeed{Action::ChangeAddress, kNewAddress, Where::FirstByte},
    ActionNeed{Action::ChangeBaudRate, kBaudrate, Where::FirstByte},
    ActionNeed{Action::Stop, kStopped[0], Where::AnyRequest, "it clears it"},
    ActionNeed{Action::Stop, kStopped[1], Where::AnyRequest, "it clears it"},
    ActionNeed{Action::Stop, kStopped[2], Where::AnyRequest, "it clears it"},
    ActionNeed{Action::Stop, kStopped[3], Where::AnyRequest, "it clears it"},
    ActionNeed{Action::SetupMotor, kMotorType, Where::OwnRequest},
    ActionNeed{Action::SetupMotor, kStepperSetup[0].first, Where::OwnRequest},
    ActionNeed{Action::SetupMotor, kStepperSetup[1].first, Where::OwnRequest},
    ActionNeed{Action::SetupMotor, kStepperSetup[0].second, Where::AnyRequest, "a stepper's setup sets it"},
    ActionNeed{Action::SetupMotor, kStepperSetup[1].second, Where::AnyRequest, "a stepper's setup sets it"},
};
struct LiveTestNeed {
  LiveTest test;
  std::string_view field;
};
// Every live test also needs a command whose action is stop: its stop frame.
inline constexpr std::array kLiveTestNeeds{
    LiveTestNeed{LiveTest::Stepper, "reverse"},         LiveTestNeed{LiveTest::Stepper, "not-limit"},
    LiveTestNeed{LiveTest::Stepper, "frequency"},       LiveTestNeed{LiveTest::Stepper, "pulse-duty"},
    LiveTestNeed{LiveTest::Dc, "left-frequency"},       LiveTestNeed{LiveTest::Dc, "left-pulse-duty"},
    LiveTestNeed{LiveTest::Dc, "right-frequency"},      LiveTestNeed{LiveTest::Dc, "right-pulse-duty"},
    LiveTestNeed{LiveTest::Dc, "left-mode"},            LiveTestNeed{LiveTest::Dc, "right-mode"},
};
}  // namespace action_fields

// Shared, so a Board copies cheaply; two are equal when what they point to is.
template <class T>
struct SharedPart : std::shared_ptr<const T> {
  SharedPart() = default;
  template <class U>
  SharedPart(std::shared_ptr<U> part) : std::shared_ptr<const T>(std::move(part)) {}
  bool operator==(const SharedPart& other) const {
    return this->get() == other.get() || (*this && other && **this == *other);
  }
  bool operator==(std::nullptr_t) const { return this->get() == nullptr; }
};

struct NamedValue {
  std::string name{};  // "Forward"; the command line takes it in any case
  std::uint32_t value = 0;
  bool operator==(const NamedValue&) const = default;
};

struct Enumeration {
  std::string name{};  // "drive-mode"
  std::vector<NamedValue> values{};
  const NamedValue* Find(std::uint32_t value) const;
  const NamedValue* FindNamed(std::string_view name) const;  // ignoring case
  bool operator==(const Enumeration&) const = default;
};

struct Field {
  std::string name{};   // "left-duty": option --left-duty, JSON key left_duty
  std::string label{};  // "Left Duty": the window's and the log's word
  WireType type = WireType::U8;
  std::size_t offset = 0;   // of its word, from the first data byte
  std::size_t size = 0;     // bytes of its word (a pad's count)
  int bitLow = 0;           // within the word
  int bitCount = 0;         // 0: the whole word
  std::int64_t min = 0, max = 0;  // the values the field takes (negative only for a signed word)
  std::string defaultText{};  // the page's start text ("6000", "Forward", "0" for a check)
  TextRule text = TextRule::Decimal;
  OutOfRange outOfRange = OutOfRange::Refuse;
  bool required = false;            // an empty text is refused; else it is 0
  SharedPart<Enumeration> values{};  // named values
  std::string specialWhen{};        // a check field that replaces the value...
  std::uint32_t specialValue = 0;   // ...with this one ("Not-Limit": 0x7FFFFFFF)
  std::string signFrom{};           // a check field that negates the value
  std::string setIf{};              // a bit set only while this field is non-zero
  bool isStatus = false;            // role: status
  std::vector<std::uint32_t> failure{};  // status values meaning failure; empty: any non-zero
  std::string unit{};               // "Hz", "%", "°C": for help texts
  double scale = 1.0, valueOffset = 0.0;  // the value a person reads is raw × scale + offset
  int decimals = 0;                 // shown after the point: 1 for a scale of 0.1
  std::string help{};               // the command line's help line, when the label is not enough
  int line = 0, column = 0;         // where the file defines it

  bool IsCheck() const { return type == WireType::Check || (bitCount == 1 && values == nullptr && max <= 1); }
  bool OnWire() const { return type != WireType::Check || bitCount > 0; }
  // A whole two's complement word (a bit range within one is read unsigned).
  bool IsSigned() const { return bitCount == 0 && ShapeOf(type).isSigned; }
  bool IsScaled() const { return scale != 1.0 || valueOffset != 0.0; }
  std::string Key() const;  // the JSON key: name with '-' as '_'
  bool operator==(const Field&) const = default;
};

// A stretch of fields in wire order; a switch chooses one of its cases by the
// value of a field before it.
struct Layout;
struct SwitchCase {
  std::uint32_t value = 0;
  std::string name{};  // the named value it stands for
  std::vector<Field> fields{};
  std::size_t size = 0;  // data bytes up to and including the case
  bool operator==(const SwitchCase&) const = default;
};
struct Layout {
  std::vector<Field> fields{};       // before the switch
  std::string switchOn{};            // empty: no switch
  std::vector<SwitchCase> cases{};
  std::size_t size = 0;            // data bytes without a switch: the fixed part

  // The fields of every case as well, each name once, in the order given: what a
  // form shows.
  std::vector<const Field*> AllFields() const;
  const Field* Find(std::string_view name) const;
  // The largest data length any case gives.
  std::size_t MaxSize() const;
  bool operator==(const Layout&) const = default;
};

struct Command {
  std::string name{};   // "CMD44": tab label; `send cmd44`; JSON "command"
  std::uint8_t code = 0;
  std::string title{};  // the page's title
  ReplyRule reply = ReplyRule::WhenFlagged;
  FlagRule flag = FlagRule::AsAsked;
  Layout request{};
  Layout response{};
  std::vector<std::string> form{};  // the order a person reads fields in; the rest follow in wire order
  Action action = Action::None;
  std::string requiresField{};      // the simulated board refuses the command unless...
  std::uint32_t requiresValue = 0;  // ...this field's last value is this one (device error 4)
  std::string example{};            // arguments after `send NAME` in the help
  int line = 0, column = 0;

  // Request fields in form order, then the rest in wire order.
  std::vector<const Field*> RequestForm() const;
  std::vector<const Field*> ResponseForm() const;
  // The data length of the request: the largest case's.
  std::size_t DataLength() const { return request.MaxSize(); }
  const Field* Status() const;  // the response's status field, if any
  bool operator==(const Command&) const = default;
};

// A live test the board declares, and the commands its run sends, in order.
struct LiveTestUse {
  LiveTest test = LiveTest::Stepper;
  std::vector<std::string> sends{};
  bool operator==(const LiveTestUse&) const = default;
};

struct Board {
  int format = 1;
  std::string name{};  // "Motor driver"
  link::Framing framing{};
  std::vector<SharedPart<Enumeration>> enumerations{};
  std::vector<Command> commands{};
  std::vector<LiveTestUse> liveTests{};  // none: the window shows no live test pages
  std::string source{};  // the file it came from; "" for the built-in one

  const Command* Find(std::uint8_t code) const;
  const Command* FindNamed(std::string_view name) const;  // ignoring case
  const Enumeration* FindEnumeration(std::string_view name) const;
  const LiveTestUse* FindLiveTest(LiveTest test) const;
  const Command* StopCommand() const;  // the first whose action is stop
  bool operator==(const Board&) const = default;
};

// The board every front end uses: the built-in one until Use() installs another.
const Board& Current();
// Installs board for the rest of the run (before any exchange or page exists).
void Use(Board board);
// The built-in description (generated from boards/motor-driver.yaml when building).
const Board& BuiltIn();
// Whether board is the built-in one: its description, or a file describing the same
// board field for field (boards/motor-driver.yaml itself), wherever its lines stand.
// The window's own settings file and title belong to it alone.
bool IsBuiltIn(const Board& board);
// The same for the board in use, known since it was installed.
bool BuiltInInUse();
// board without the places its file gave: what two descriptions of one board share.
Board WithoutPositions(Board board);

}  // namespace tarnwick::board
