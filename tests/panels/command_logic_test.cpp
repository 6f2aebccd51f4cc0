#include "panels/command_logic.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "link/frame.h"
#include "link/hex_text.h"
#include "link/transaction.h"

namespace tarnwick::panels {
namespace {

constexpr const char* kRefused = "refused";
constexpr std::uint8_t kBroadcast = link::kBroadcastAddress;

// The whole frame the transaction would send for these fields, or kRefused. The
// reply flag follows the address as it does with "Res" checked.
template <typename Fields>
std::string EncodedFrame(const Fields& fields, std::uint8_t address) {
  const std::uint8_t replyFlag = address == kBroadcast ? 0 : 1;
  link::FrameBuffer frame{};
  const std::uint8_t n =
      BuildCommand(fields, replyFlag, std::span(frame).subspan(link::kCommandOffset, link::kMaxCommandLength));
  if (n == 0) return kRefused;
  return link::FormatHexDump(std::span(frame).first(link::CompleteFrame(frame, address, n)));
}

template <typename Fields>
struct FrameCase {
  const char* what;
  Fields fields;
  std::uint8_t address;
  const char* frame;
};

template <typename Fields>
void ExpectFrames(std::initializer_list<FrameCase<Fields>> cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(EncodedFrame(c.fields, c.address), c.frame);
  }
}

TEST(Cmd11Encoding, Frames) {
  ExpectFrames<Cmd11Fields>({
      {"defaults", {}, 0x01, "01 05 91 70 17 00 00 1E 01"},
      {"reverse", {.reverse = true}, 0x01, "01 05 91 70 17 00 80 9E 01"},
      {"broadcast", {}, kBroadcast, "FF 05 11 70 17 00 00 9C 01"},
      {"hex count", {.stepCount = "0x1770"}, kBroadcast, "FF 05 11 70 17 00 00 9C 01"},
      {"trimmed", {.stepCount = " \t6000\u3000"}, kBroadcast, "FF 05 11 70 17 00 00 9C 01"},
      {"fullwidth digits", {.stepCount = "\uFF16\uFF10\uFF10\uFF10"}, kBroadcast, "FF 05 11 70 17 00 00 9C 01"},
      {"upper-case hex prefix", {.stepCount = "0X10"}, kBroadcast, "FF 05 11 10 00 00 00 25 01"},
      {"hex keeps 31 bits", {.stepCount = "0x80000005"}, kBroadcast, "FF 05 11 05 00 00 00 1A 01"},
      {"bare hex prefix", {.stepCount = "0x", .reverse = true}, kBroadcast, "FF 05 11 00 00 00 00 15 01"},
      {"empty, reverse", {.stepCount = "", .reverse = true}, kBroadcast, "FF 05 11 00 00 00 00 15 01"},
      {"zero, reverse", {.stepCount = "0", .reverse = true}, kBroadcast, "FF 05 11 00 00 00 00 15 01"},
      {"hex zero, reverse", {.stepCount = "0x0", .reverse = true}, kBroadcast, "FF 05 11 00 00 00 00 15 01"},
      {"bit 31 only, reverse", {.stepCount = "0x80000000", .reverse = true}, kBroadcast, "FF 05 11 00 00 00 00 15 01"},
      {"minus zero", {.stepCount = "-0"}, kBroadcast, "FF 05 11 00 00 00 00 15 01"},
      {"huge saturates", {.stepCount = "99999999999"}, kBroadcast, "FF 05 11 FF FF FF 7F 91 04"},
      {"not-limit", {.notLimit = true}, kBroadcast, "FF 05 11 FF FF FF 7F 91 04"},
      {"not-limit ignores text", {.stepCount = "abc", .reverse = true, .notLimit = true}, kBroadcast,
       "FF 05 11 FF FF FF FF 11 05"},
      {"not-limit ignores a negative count", {.stepCount = "-5", .notLimit = true}, kBroadcast,
       "FF 05 11 FF FF FF 7F 91 04"},
      // A negative count would wrap to about two thousand million steps.
      {"negative refused", {.stepCount = "-5"}, kBroadcast, kRefused},
      {"huge negative refused", {.stepCount = "-99999999999"}, kBroadcast, kRefused},
  });
}

TEST(Cmd12Encoding, Frames) {
  ExpectFrames<Cmd12Fields>({
      {"defaults", {}, 0x01, "01 08 92 40 1F 00 00 64 00 00 5E 01"},
      {"reverse, 50 %, 1000 Hz", {.reverse = true, .frequency = "1000", .pulseDuty = "50"}, 0x01,
       "01 08 92 40 1F 00 80 32 E8 03 97 02"},
      {"duty with unit", {.pulseDuty = "50%"}, kBroadcast, "FF 08 12 40 1F 00 00 32 00 00 AA 01"},
      {"largest frequency", {.frequency = "65535"}, kBroadcast, "FF 08 12 40 1F 00 00 64 FF FF DA 03"},
      {"empty fields count as 0", {.stepCount = "", .notLimit = true, .frequency = "", .pulseDuty = ""},
       kBroadcast, "FF 08 12 FF FF FF 7F 00 00 00 95 04"},
      {"duty 101", {.pulseDuty = "101"}, kBroadcast, kRefused},
      {"duty 300", {.pulseDuty = "300"}, kBroadcast, kRefused},
      {"duty -1", {.pulseDuty = "-1"}, kBroadcast, kRefused},
      {"not-limit still checks duty", {.notLimit = true, .pulseDuty = "101"}, kBroadcast, kRefused},
      // Frequencies that the frame cannot carry are refused, not cut to 16 bits.
      {"frequency 65536", {.frequency = "65536"}, kBroadcast, kRefused},
      {"frequency 70000", {.frequency = "70000"}, kBroadcast, kRefused},
      {"frequency -1", {.frequency = "-1"}, kBroadcast, kRefused},
      {"negative count", {.stepCount = "-1"}, kBroadcast, kRefused},
  });
}

TEST(Cmd21Encoding, Frames) {
  ExpectFrames<Cmd21Fields>({
      {"defaults", {}, kBroadcast, "FF 03 21 3C 3C 9B 01"},
      {"defaults with reply flag", {}, 0x01, "01 03 A1 3C 3C 1D 01"},
      {"left reversed", {.leftDuty = "50", .rightDuty = "100", .leftReverse = true}, kBroadcast,
       "FF 03 21 CE 64 55 02"},
      {"zero reversed stays zero", {.leftDuty = "0", .leftReverse = true}, kBroadcast, "FF 03 21 00 3C 5F 01"},
      {"text converts to 0", {.leftDuty = "abc"}, kBroadcast, "FF 03 21 00 3C 5F 01"},
      {"spaces and unit", {.leftDuty = " 60 ", .rightDuty = "60%"}, kBroadcast, "FF 03 21 3C 3C 9B 01"},
      {"101", {.rightDuty = "101"}, kBroadcast, kRefused},
      {"-5", {.leftDuty = "-5"}, kBroadcast, kRefused},
      {"empty", {.leftDuty = " "}, kBroadcast, kRefused},
  });
}

TEST(Cmd22Encoding, Frames) {
  ExpectFrames<Cmd22Fields>({
      {"both forward", {}, kBroadcast, "FF 02 22 11 34 01"},
      {"short brake and reversal", {.leftMode = kDriveShortBrake, .rightMode = kDriveReversal}, kBroadcast,
       "FF 02 22 23 46 01"},
      {"both stop", {.leftMode = kDriveStop, .rightMode = kDriveStop}, 0x01, "01 02 A2 00 A5 00"},
      {"no such mode", {.leftMode = 4}, kBroadcast, kRefused},
  });
}

TEST(Cmd23Encoding, Frames) {
  ExpectFrames<Cmd23Fields>({
      {"defaults", {}, kBroadcast, "FF 07 23 64 64 A8 61 A8 61 03 04"},
      {"1000 Hz 50 %, 2000 Hz 30 %",
       {.leftFrequency = "1000", .leftPulseDuty = "50", .rightFrequency = "2000", .rightPulseDuty = "30"}, 0x01,
       "01 07 A3 32 1E E8 03 D0 07 BD 02"},
      {"frequency limits", {.leftFrequency = "65535", .rightFrequency = "0"}, kBroadcast,
       "FF 07 23 64 64 FF FF 00 00 EF 03"},
      {"frequency 70000", {.leftFrequency = "70000"}, kBroadcast, kRefused},
      {"frequency -1", {.rightFrequency = "-1"}, kBroadcast, kRefused},
      {"duty 300", {.leftPulseDuty = "300"}, kBroadcast, kRefused},
      {"duty -1", {.rightPulseDuty = "-1"}, kBroadcast, kRefused},
      {"empty frequency", {.rightFrequency = ""}, kBroadcast, kRefused},
      {"empty duty", {.leftPulseDuty = "\t"}, kBroadcast, kRefused},
  });
}

TEST(Cmd40Encoding, Frames) {
  const auto address = [](const char* text) { return Cmd40Fields{.newAddress = text}; };
  ExpectFrames<Cmd40Fields>({
      {"default", {}, kBroadcast, "FF 02 40 58 99 01"},
      {"default with reply flag", {}, 0x01, "01 02 C0 58 1B 01"},
      {"prefixed", address("0x7"), kBroadcast, "FF 02 40 07 48 01"},
      {"trimmed, lower case", address(" 1a "), kBroadcast, "FF 02 40 1A 5B 01"},
      {"leading zeros", address("0058"), kBroadcast, "FF 02 40 58 99 01"},
      {"0", address("0"), kBroadcast, kRefused},
      {"00", address("00"), kBroadcast, kRefused},
      {"FF", address("FF"), kBroadcast, kRefused},
      {"0xff", address("0xff"), kBroadcast, kRefused},
      {"not hex", address("g5"), kBroadcast, kRefused},
      {"empty", address(""), kBroadcast, kRefused},
      // Addresses above one byte are refused instead of sending their low byte.
      {"100", address("100"), kBroadcast, kRefused},
      {"123", address("123"), kBroadcast, kRefused},
      {"1FF", address("1FF"), kBroadcast, kRefused},
      {"low 32 bits are 1", address("100000001"), kBroadcast, kRefused},
  });
}

TEST(Cmd41Encoding, Frames) {
  ExpectFrames<Cmd41Fields>({
      {"9600", {}, kBroadcast, "FF 02 41 02 44 01"},
      {"115200", {.baudIndex = 6}, 0x01, "01 02 C1 06 CA 00"},
      {"past the table", {.baudIndex = 7}, kBroadcast, kRefused},
      {"negative", {.baudIndex = -1}, kBroadcast, kRefused},
  });
}

TEST(Cmd42Encoding, Frames) {
  const Cmd42Fields dc{.motorType = kMotorDc};
  const auto withLeftDuty = [](const char* duty) { return Cmd42Fields{.leftPulseDuty = duty}; };
  ExpectFrames<Cmd42Fields>({
      {"stepper defaults", {}, kBroadcast, "FF 08 42 01 64 C4 09 00 00 00 7B 02"},
      {"d-c defaults", dc, kBroadcast, "FF 08 42 02 64 64 C4 09 50 C3 F3 03"},
      {"stepper 1000 Hz 50 %", {.leftFrequency = "1000", .leftPulseDuty = "50"}, 0x01,
       "01 08 C2 01 32 E8 03 00 00 00 E9 01"},
      {"duty 150 limited", withLeftDuty("150"), kBroadcast, "FF 08 42 01 64 C4 09 00 00 00 7B 02"},
      {"duty 255 limited", withLeftDuty("255"), kBroadcast, "FF 08 42 01 64 C4 09 00 00 00 7B 02"},
      {"duty 300 limited", withLeftDuty("300"), kBroadcast, "FF 08 42 01 64 C4 09 00 00 00 7B 02"},
      {"duty -1 limited", withLeftDuty("-1"), kBroadcast, "FF 08 42 01 64 C4 09 00 00 00 7B 02"},
      {"largest frequency", {.leftFrequency = "65535"}, kBroadcast, "FF 08 42 01 64 FF FF 00 00 00 AC 03"},
      {"stepper ignores the right fields", {.rightFrequency = "70000", .rightPulseDuty = ""}, kBroadcast,
       "FF 08 42 01 64 C4 09 00 00 00 7B 02"},
      {"d-c empty right duty", {.motorType = kMotorDc, .rightPulseDuty = ""}, kBroadcast, kRefused},
      {"d-c empty right frequency", {.motorType = kMotorDc, .rightFrequency = ""}, kBroadcast, kRefused},
      {"empty left frequency", {.leftFrequency = ""}, kBroadcast, kRefused},
      {"stepper frequency 70000", {.leftFrequency = "70000"}, kBroadcast, kRefused},
      {"d-c right frequency 70000", {.motorType = kMotorDc, .rightFrequency = "70000"}, kBroadcast, kRefused},
      {"negative frequency", {.leftFrequency = "-1"}, kBroadcast, kRefused},
      {"unknown motor type", {.motorType = 3}, kBroadcast, kRefused},
  });
}

TEST(Encoders, RefuseAnOutputTooSmallForTheCommand) {
  std::vector<std::uint8_t> out(7, 0xAA);
  EXPECT_EQ(BuildCommand(Cmd12Fields{}, 0, out), 0);
  EXPECT_EQ(BuildCommand(Cmd42Fields{}, 0, out), 0);
  EXPECT_EQ(BuildCommand(Cmd23Fields{}, 0, out), 7);
}

TEST(BuildPanelCommand, EachFieldedTabUsesItsOwnPanel) {
  const CommandFieldSet fields;
  for (int tab = 0; tab < link::kTabCount; ++tab) {
    SCOPED_TRACE(tab);
    std::array<std::uint8_t, link::kMaxCommandLength> out{};
    const std::uint8_t n = BuildPanelCommand(fields, tab, 1, out);
    const auto code = link::CommandCodeOfTab(tab);
    const bool fielded = tab == link::kTabCmd11 || tab == link::kTabCmd12 || tab == link::kTabCmd21 ||
                         tab == link::kTabCmd22 || tab == link::kTabCmd23 || tab == link::kTabCmd40 ||
                         tab == link::kTabCmd41 || tab == link::kTabCmd42;
    if (!fielded) {
      EXPECT_EQ(n, 0);
      continue;
    }
    ASSERT_TRUE(code);
    EXPECT_GT(n, 1);
    EXPECT_EQ(out[0], *code | link::kReplyFlag);
  }
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  return std::vector<std::uint8_t>(values.begin(), values.end());
}

TEST(Cmd13Reply, Decodes) {
  const auto forward = DecodeCmd13Reply(Bytes({0x70, 0x17, 0x00, 0x80, 0x32, 0xE8, 0x03}));
  ASSERT_TRUE(forward);
  EXPECT_TRUE(forward->reverse);
  EXPECT_EQ(forward->stepCount, "6000");
  EXPECT_EQ(forward->pulseDuty, "50");
  EXPECT_EQ(forward->frequency, "1000");

  const auto unlimited = DecodeCmd13Reply(Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF}));
  ASSERT_TRUE(unlimited);
  EXPECT_TRUE(unlimited->reverse);
  EXPECT_EQ(unlimited->stepCount, "2147483647");
  EXPECT_EQ(unlimited->pulseDuty, "0");
  EXPECT_EQ(unlimited->frequency, "65535");

  const auto plain = DecodeCmd13Reply(Bytes({0x05, 0x00, 0x00, 0x00, 0xC8, 0x00, 0x00}));
  ASSERT_TRUE(plain);
  EXPECT_FALSE(plain->reverse);
  EXPECT_EQ(plain->stepCount, "5");
  EXPECT_EQ(plain->pulseDuty, "200");  // shown as the board sent it
}

TEST(Cmd24Reply, Decodes) {
  struct Case {
    std::vector<std::uint8_t> data;
    const char* left;
    const char* right;
  };
  for (const Case& c : {Case{Bytes({0x32, 0xCE}), "+50", "-50"}, Case{Bytes({0x00, 0x80}), "0", "-128"},
                        Case{Bytes({0x7F, 0x01, 0x99}), "+127", "+1"}}) {
    SCOPED_TRACE(link::FormatHexDump(c.data));
    const auto shown = DecodeCmd24Reply(c.data);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->left, c.left);
    EXPECT_EQ(shown->right, c.right);
  }
}

TEST(Cmd43Reply, Decodes) {
  struct Case {
    std::vector<std::uint8_t> data;
    Cmd43Display shown;
  };
  for (const Case& c : {
           Case{Bytes({0x01, 0x50, 0xC4, 0x09}), {"Stepper", "2500", "80", "", ""}},
           Case{Bytes({0x02, 0x3C, 0x28, 0xA8, 0x61, 0xE8, 0x03}), {"D-C", "25000", "60", "1000", "40"}},
           Case{Bytes({0x03}), {"", "", "", "", ""}},
           Case{Bytes({0x00, 0x01, 0x02}), {"", "", "", "", ""}},
       }) {
    SCOPED_TRACE(link::FormatHexDump(c.data));
    const auto shown = DecodeCmd43Reply(c.data);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->motorType, c.shown.motorType);
    EXPECT_EQ(shown->leftFrequency, c.shown.leftFrequency);
    EXPECT_EQ(shown->leftPulseDuty, c.shown.leftPulseDuty);
    EXPECT_EQ(shown->rightFrequency, c.shown.rightFrequency);
    EXPECT_EQ(shown->rightPulseDuty, c.shown.rightPulseDuty);
  }
}

// A reply that stops before the bytes a panel shows must leave the panel alone,
// not show whatever the buffer held.
TEST(RepliesTooShort, DecodeToNothing) {
  EXPECT_FALSE(DecodeCmd13Reply({}));
  EXPECT_FALSE(DecodeCmd13Reply(Bytes({0x70, 0x17, 0x00, 0x80, 0x32, 0xE8})));
  EXPECT_FALSE(DecodeCmd24Reply({}));
  EXPECT_FALSE(DecodeCmd24Reply(Bytes({0x32})));
  EXPECT_FALSE(DecodeCmd43Reply({}));
  EXPECT_FALSE(DecodeCmd43Reply(Bytes({0x01, 0x50, 0xC4})));
  EXPECT_FALSE(DecodeCmd43Reply(Bytes({0x02, 0x3C, 0x28, 0xA8, 0x61, 0xE8})));
}

}  // namespace
}  // namespace tarnwick::panels
