#include "panels/command_logic.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <vector>

#include "link/frame.h"
#include "link/hex_text.h"

namespace tarnwick::panels {
namespace {

constexpr const char* kRefused = "refused";
constexpr std::uint8_t kBroadcast = link::kBroadcastAddress;

// The whole frame the transaction would send for these fields, or kRefused. The
// reply flag follows the address as it does with "Res" checked.
template <typename Fields>
std::string EncodedFrame(const Fields& fields, std::uint8_t address = kBroadcast) {
  const std::uint8_t replyFlag = address == kBroadcast ? 0 : 1;
  std::array<std::uint8_t, link::kMaxCommandLength> commandAndData{};
  const std::uint8_t n = BuildCommand(fields, replyFlag, commandAndData);
  if (n == 0) return kRefused;
  return link::FormatHexDump(link::MakeFrame(address, std::span(commandAndData).first(n)));
}

template <typename Fields>
struct FrameCase { const char* what; Fields fields; const char* frame; std::uint8_t address = kBroadcast; };

// Each encoder's frames, then field sets it must refuse rather than send.
template <typename Fields>
void ExpectFrames(std::initializer_list<FrameCase<Fields>> cases, std::initializer_list<Fields> refused) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(EncodedFrame(c.fields, c.address), c.frame);
  }
  int index = 0;
  for (const Fields& fields : refused) {
    SCOPED_TRACE(::testing::Message() << "refused case " << index++);
    EXPECT_EQ(EncodedFrame(fields), kRefused);
  }
}

TEST(Cmd11Encoding, Frames) {
  ExpectFrames<Cmd11Fields>({
      {"defaults", {}, "01 05 91 70 17 00 00 1E 01", 0x01},
      {"reverse", {.reverse = true}, "01 05 91 70 17 00 80 9E 01", 0x01},
      {"upper-case hex prefix", {.stepCount = "0X10"}, "FF 05 11 10 00 00 00 25 01"},
      {"hex keeps 31 bits", {.stepCount = "0x80000005"}, "FF 05 11 05 00 00 00 1A 01"},
      {"empty counts as 0", {.stepCount = ""}, "FF 05 11 00 00 00 00 15 01"},
      // No reverse bit on a count of 0, however it is written.
      {"zero, reverse", {.stepCount = "0", .reverse = true}, "FF 05 11 00 00 00 00 15 01"},
      {"bit 31 only, reverse", {.stepCount = "0x80000000", .reverse = true}, "FF 05 11 00 00 00 00 15 01"},
      {"not-limit ignores text", {.stepCount = "abc", .reverse = true, .notLimit = true}, "FF 05 11 FF FF FF FF 11 05"},
      {"not-limit, even with a negative count", {.stepCount = "-5", .notLimit = true}, "FF 05 11 FF FF FF 7F 91 04"},
  }, {{.stepCount = "-5"}});  // a negative count would wrap to about two thousand million steps
}

TEST(Cmd12Encoding, Frames) {
  ExpectFrames<Cmd12Fields>({
      {"defaults", {}, "01 08 92 40 1F 00 00 64 00 00 5E 01", 0x01},
      {"reverse, 50 %, 1000 Hz", {.reverse = true, .frequency = "1000", .pulseDuty = "50"},
       "01 08 92 40 1F 00 80 32 E8 03 97 02", 0x01},
      {"largest frequency", {.frequency = "65535"}, "FF 08 12 40 1F 00 00 64 FF FF DA 03"},
      {"empty fields count as 0", {.stepCount = "", .notLimit = true, .frequency = "", .pulseDuty = ""},
       "FF 08 12 FF FF FF 7F 00 00 00 95 04"},
  }, {  // frequencies that the frame cannot carry are refused, not cut to 16 bits
      {.pulseDuty = "101"}, {.pulseDuty = "-1"}, {.notLimit = true, .pulseDuty = "101"}, {.frequency = "65536"},
      {.frequency = "-1"}, {.stepCount = "-1"}});
}

TEST(Cmd21Encoding, Frames) {
  ExpectFrames<Cmd21Fields>({
      {"defaults with reply flag", {}, "01 03 A1 3C 3C 1D 01", 0x01},
      {"left reversed", {.leftDuty = "50", .rightDuty = "100", .leftReverse = true}, "FF 03 21 CE 64 55 02"},
      {"zero reversed stays zero", {.leftDuty = "0", .leftReverse = true}, "FF 03 21 00 3C 5F 01"},
  }, {{.rightDuty = "101"}, {.leftDuty = "-5"}, {.leftDuty = " "}});
}

TEST(Cmd22Encoding, Frames) {
  ExpectFrames<Cmd22Fields>({
      {"both forward", {}, "FF 02 22 11 34 01"},
      {"short brake, reversal", {.leftMode = link::kDriveShortBrake, .rightMode = link::kDriveReversal},
       "FF 02 22 23 46 01"},
      {"both stop", {.leftMode = link::kDriveStop, .rightMode = link::kDriveStop}, "01 02 A2 00 A5 00", 0x01},
  }, {{.leftMode = 4}, {.rightMode = 4}});
}

TEST(Cmd23Encoding, Frames) {
  ExpectFrames<Cmd23Fields>({
      {"defaults", {}, "FF 07 23 64 64 A8 61 A8 61 03 04"},
      {"1000 Hz 50 %, 2000 Hz 30 %",
       {.leftFrequency = "1000", .leftPulseDuty = "50", .rightFrequency = "2000", .rightPulseDuty = "30"},
       "01 07 A3 32 1E E8 03 D0 07 BD 02", 0x01},
      {"frequency limits", {.leftFrequency = "65535", .rightFrequency = "0"}, "FF 07 23 64 64 FF FF 00 00 EF 03"},
  }, {{.leftFrequency = "65536"}, {.rightFrequency = "-1"}, {.leftPulseDuty = "101"}, {.rightPulseDuty = "-1"},
      {.rightFrequency = ""}, {.leftPulseDuty = "\t"}});
}

TEST(Cmd40Encoding, Frames) {
  using F = Cmd40Fields;
  ExpectFrames<F>({
      {"default with reply flag", {}, "01 02 C0 58 1B 01", 0x01},
      {"prefixed", {"0x7"}, "FF 02 40 07 48 01"},
      {"trimmed, lower case", {" 1a "}, "FF 02 40 1A 5B 01"},
      {"leading zeros", {"0058"}, "FF 02 40 58 99 01"},
  }, {  // neither 0 nor broadcast; above one byte is refused instead of sending the low byte
      F{"0"}, F{"FF"}, F{"0xff"}, F{"g5"}, F{""}, F{"123"}, F{"1FF"}, F{"100000001"}});
}

TEST(Cmd41Encoding, Frames) {
  ExpectFrames<Cmd41Fields>({{"9600", {}, "FF 02 41 02 44 01"}, {"115200", {.baudIndex = 6}, "01 02 C1 06 CA 00", 1}},
                            {{.baudIndex = 7}, {.baudIndex = -1}});
}

TEST(Cmd42Encoding, Frames) {
  constexpr std::uint8_t dc = link::kMotorDc;
  constexpr const char* kStepperDefaults = "FF 08 42 01 64 C4 09 00 00 00 7B 02";
  ExpectFrames<Cmd42Fields>({
      {"stepper defaults", {}, kStepperDefaults},
      {"d-c defaults", {.motorType = dc}, "FF 08 42 02 64 64 C4 09 50 C3 F3 03"},
      {"stepper 1000 Hz 50 %", {.leftFrequency = "1000", .leftPulseDuty = "50"},
       "01 08 C2 01 32 E8 03 00 00 00 E9 01", 0x01},
      {"duty 150 limited", {.leftPulseDuty = "150"}, kStepperDefaults},
      {"duty -1 limited", {.leftPulseDuty = "-1"}, kStepperDefaults},
      {"d-c right duty limited", {.motorType = dc, .rightPulseDuty = "300"}, "FF 08 42 02 64 64 C4 09 50 C3 F3 03"},
      {"largest frequency", {.leftFrequency = "65535"}, "FF 08 42 01 64 FF FF 00 00 00 AC 03"},
      {"stepper ignores the right fields", {.rightFrequency = "70000", .rightPulseDuty = ""}, kStepperDefaults},
  }, {{.motorType = dc, .rightPulseDuty = ""}, {.motorType = dc, .rightFrequency = ""}, {.leftFrequency = ""},
      {.leftFrequency = "65536"}, {.motorType = dc, .rightFrequency = "70000"}, {.leftFrequency = "-1"},
      {.motorType = 3}});
}

TEST(Encoders, NameTheFirstFieldTheyRefuseAndWhy) {
  struct Case {
    CommandFieldSet fields;
    link::CommandCode command;
    const char* reason;
  };
  const auto with = [](auto change) {
    CommandFieldSet fields;
    change(fields);
    return fields;
  };
  const Case cases[] = {
      {with([](auto& f) { f.cmd11.stepCount = "-5"; }), link::CommandCode::kStepperByCount,
       "Step count must not be negative"},
      {with([](auto& f) { f.cmd12.frequency = "65536"; f.cmd12.pulseDuty = "101"; }),
       link::CommandCode::kStepperByParameters, "Frequency must be 0 to 65535"},
      {with([](auto& f) { f.cmd21.rightDuty = " "; }), link::CommandCode::kDcDuty, "Right Duty is empty"},
      {with([](auto& f) { f.cmd22.rightMode = 4; }), link::CommandCode::kDcDriveModes,
       "A drive mode must be Stop, Forward, Reversal or ShortBrake"},
      {with([](auto& f) { f.cmd23.rightPulseDuty = "-1"; }), link::CommandCode::kDcParameters,
       "Right Pulse Duty must be 0 to 100"},
      {with([](auto& f) { f.cmd40.newAddress = "1FF"; }), link::CommandCode::kChangeAddress,
       "New Address must be 01 to FE"},
      {with([](auto& f) { f.cmd41.baudIndex = 7; }), link::CommandCode::kChangeBaudRate,
       "Baudrate must be a rate of the list"},
      {with([](auto& f) { f.cmd42.motorType = link::kMotorDc; f.cmd42.rightFrequency = ""; }),
       link::CommandCode::kSetupMotor, "Right Frequency is empty"},
  };
  for (const Case& c : cases) {
    std::array<std::uint8_t, link::kMaxCommandLength> out{};
    std::string reason;
    EXPECT_EQ(BuildPanelCommand(c.fields, c.command, 0, out, &reason), 0);
    EXPECT_EQ(reason, c.reason);
  }
}

TEST(Encoders, RefuseAnOutputTooSmallForTheCommand) {
  std::vector<std::uint8_t> out(7, 0xAA);
  EXPECT_EQ(BuildCommand(Cmd12Fields{}, 0, out), 0);
  EXPECT_EQ(BuildCommand(Cmd42Fields{}, 0, out), 0);
  EXPECT_EQ(BuildCommand(Cmd23Fields{}, 0, out), 7);
}

// The default fields give every command its own code, its length in the command
// table and the reply flag asked for; the address question always asks.
TEST(BuildPanelCommand, EveryCommandHasItsCodeAndLength) {
  for (const link::CommandInfo& command : link::AllCommands()) {
    for (const std::uint8_t replyFlag : {0, 1}) {
      SCOPED_TRACE(::testing::Message() << command.name << " reply flag " << int(replyFlag));
      std::array<std::uint8_t, link::kMaxCommandLength> out{};
      ASSERT_EQ(BuildPanelCommand(CommandFieldSet{}, command.code, replyFlag, out), command.dataLength + 1);
      const bool flagged = replyFlag || command.code == link::CommandCode::kGetAddress;
      EXPECT_EQ(out[0], link::CodeByte(command.code) | (flagged ? link::kReplyFlag : 0));
    }
  }
}

std::string Shown(const Cmd13Display& d) {
  return (d.reverse ? "reverse " : "forward ") + d.stepCount + " " + d.pulseDuty + "% " + d.frequency + "Hz";
}
std::string Shown(const Cmd24Display& d) { return d.left + " " + d.right; }
std::string Shown(const Cmd43Display& d) {
  return d.motorType + "|" + d.leftFrequency + "|" + d.leftPulseDuty + "|" + d.rightFrequency + "|" +
         d.rightPulseDuty;
}
template <auto Decode>
std::string Decoded(std::span<const std::uint8_t> data) {
  const auto shown = Decode(data);
  return shown ? Shown(*shown) : "nothing";
}

// A reply that stops before the bytes a panel shows must leave the panel alone
// ("nothing"), not show whatever the buffer held.
TEST(Replies, Decode) {
  struct Case {
    std::string (*decode)(std::span<const std::uint8_t>);
    std::vector<std::uint8_t> data;
    const char* shown;
  };
  const Case cases[] = {
      {Decoded<DecodeCmd13Reply>, {0x70, 0x17, 0x00, 0x80, 0x32, 0xE8, 0x03}, "reverse 6000 50% 1000Hz"},
      {Decoded<DecodeCmd13Reply>, {0x05, 0x00, 0x00, 0x00, 0xC8, 0x00, 0x00}, "forward 5 200% 0Hz"},  // as sent
      {Decoded<DecodeCmd13Reply>, {0x70, 0x17, 0x00, 0x80, 0x32, 0xE8}, "nothing"},
      {Decoded<DecodeCmd24Reply>, {0x7F, 0xCE}, "+127 -50"},
      {Decoded<DecodeCmd24Reply>, {0x00, 0x80, 0x99}, "0 -128"},
      {Decoded<DecodeCmd24Reply>, {0x32}, "nothing"},
      {Decoded<DecodeCmd43Reply>, {0x01, 0x50, 0xC4, 0x09}, "Stepper|2500|80||"},
      {Decoded<DecodeCmd43Reply>, {0x02, 0x3C, 0x28, 0xA8, 0x61, 0xE8, 0x03}, "D-C|25000|60|1000|40"},
      {Decoded<DecodeCmd43Reply>, {0x03}, "||||"},
      {Decoded<DecodeCmd43Reply>, {0x01, 0x50, 0xC4}, "nothing"},
      {Decoded<DecodeCmd43Reply>, {0x02, 0x3C, 0x28, 0xA8, 0x61, 0xE8}, "nothing"},
      {Decoded<DecodeCmd43Reply>, {}, "nothing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(link::FormatHexDump(c.data));
    EXPECT_EQ(c.decode(c.data), c.shown);
  }
}

}  // namespace
}  // namespace tarnwick::panels
