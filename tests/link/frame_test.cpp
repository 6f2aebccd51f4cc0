#include "link/frame.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "link/baud_rates.h"
#include "link/commands.h"
#include "link/hex_text.h"
#include "link/termios_speed.h"
#include "link/transaction.h"

namespace tarnwick::link {
namespace {

Bytes Complete(std::uint8_t address, const Bytes& commandAndData) { return MakeFrame(address, commandAndData); }

TEST(FrameTest, CompletedFramesMatchKnownBytes) {
  EXPECT_EQ(Complete(0xFF, {0x80}), (Bytes{0xFF, 0x01, 0x80, 0x80, 0x01}));
  EXPECT_EQ(Complete(0xFF, {0x3F}), (Bytes{0xFF, 0x01, 0x3F, 0x3F, 0x01}));
  EXPECT_EQ(Complete(0x01, {0xBF}), (Bytes{0x01, 0x01, 0xBF, 0xC1, 0x00}));
  EXPECT_EQ(Complete(0x01, {0xB8}), (Bytes{0x01, 0x01, 0xB8, 0xBA, 0x00}));
  // The largest frame the buffer holds: the sum wraps past 16 bits only in theory,
  // but its high byte must be carried.
  const Bytes big = Complete(0xFF, Bytes(16, 0xFF));
  ASSERT_EQ(big.size(), 20u);
  EXPECT_EQ(big[18], (0xFF + 16 + 16 * 0xFF) & 0xFF);
  EXPECT_EQ(big[19], (0xFF + 16 + 16 * 0xFF) >> 8);
}

struct VerifyCase {
  Bytes reply;
  bool intact;
};

class VerifyReplyTest : public testing::TestWithParam<VerifyCase> {};

TEST_P(VerifyReplyTest, ChecksumDecides) { EXPECT_EQ(VerifyReply(GetParam().reply), GetParam().intact); }

INSTANTIATE_TEST_SUITE_P(Replies, VerifyReplyTest,
                         testing::Values(VerifyCase{{0x01, 0x02, 0x3F, 0x00, 0x42, 0x00}, true},
                                         VerifyCase{{0x01, 0x02, 0x3F, 0x00, 0x00, 0x42}, false},  // swapped
                                         VerifyCase{{0x05, 0x02, 0x00, 0x00, 0x07, 0x00}, true},
                                         VerifyCase{{0x00, 0x00}, true},  // sum over nothing is 0
                                         VerifyCase{{0x01, 0x00}, false},
                                         VerifyCase{{0x00}, false},  // no checksum field at all
                                         VerifyCase{{}, false},
                                         VerifyCase{{0x80, 0x80, 0x00, 0x01}, true},
                                         // equal checksum bytes verify in either order
                                         VerifyCase{{0xFF, 0x02, 0x01, 0x01}, true}));

struct HexCase {
  const char* text;
  std::uint32_t value;
};

class ParseHexTextTest : public testing::TestWithParam<HexCase> {};

TEST_P(ParseHexTextTest, ReadsLeadingDigits) { EXPECT_EQ(ParseHexText(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(Texts, ParseHexTextTest,
                         testing::Values(HexCase{"", 0}, HexCase{"0x", 0}, HexCase{"0X1a", 26}, HexCase{"ff", 255},
                                         HexCase{"1FF", 511}, HexCase{"12G4", 0x12}, HexCase{"x12", 0},
                                         HexCase{"-1", 0}, HexCase{"100000000", 0}, HexCase{"FFFFFFFF", 0xFFFFFFFF},
                                         HexCase{"0x0x5", 0}, HexCase{"0", 0}, HexCase{"00000000000001", 1}));

TEST(FormatHexDumpTest, UpperCaseWithSingleSpaces) {
  const Bytes one{0x0A}, two{0x0A, 0xFF}, cmd00{0xFF, 0x01, 0x80, 0x80, 0x01};
  EXPECT_EQ(FormatHexDump(one), "0A");
  EXPECT_EQ(FormatHexDump(two), "0A FF");
  EXPECT_EQ(FormatHexDump(cmd00), "FF 01 80 80 01");
  EXPECT_EQ(FormatHexDump(Bytes(20, 0xAB)).size(), 59u);
}

TEST(AddressTextTest, TrimmedHexLowByteAndEmptyIsBroadcast) {
  EXPECT_EQ(ParseAddressText(""), 0xFF);
  EXPECT_EQ(ParseAddressText(" \t "), 0xFF);
  EXPECT_EQ(ParseAddressText(" 1a "), 0x1A);
  EXPECT_EQ(ParseAddressText("1FF"), 0xFF);
  EXPECT_EQ(ParseAddressText("01"), 0x01);
  EXPECT_EQ(ParseAddressText("zz"), 0x00);
}

TEST(SettleDelayTest, TwelveBitTimesAndAMillisecondPerByte) {
  struct Row { int baud, n5, n9, n12; };
  for (const Row& r : {Row{2400, 30, 54, 72}, Row{9600, 11, 20, 27}, Row{19200, 8, 14, 19}, Row{115200, 5, 9, 13}}) {
    EXPECT_EQ(SettleDelayMs(5, r.baud), r.n5) << r.baud;
    EXPECT_EQ(SettleDelayMs(9, r.baud), r.n9) << r.baud;
    EXPECT_EQ(SettleDelayMs(12, r.baud), r.n12) << r.baud;
  }
  // The double-precision form equals the integer formula for every table rate.
  for (int baud : kBaudRates)
    for (int n = 1; n <= 20; ++n) EXPECT_EQ(SettleDelayMs(static_cast<std::size_t>(n), baud), n + 12000 * n / baud);
}

TEST(CommandTable, CodesAndNamesAreUniqueAndFoundBothWays) {
  std::set<std::uint8_t> codes;
  std::set<std::string_view> names;
  for (const CommandInfo& command : AllCommands()) {
    SCOPED_TRACE(command.name);
    EXPECT_TRUE(codes.insert(CodeByte(command.code)).second);
    EXPECT_TRUE(names.insert(command.name).second);
    EXPECT_EQ(CodeByte(command.code) & kReplyFlag, 0);
    EXPECT_LE(command.dataLength + 1u, kMaxCommandLength);
    EXPECT_EQ(FindCommand(CodeByte(command.code)), &command);
    EXPECT_EQ(FindCommandNamed(command.name), &command);
  }
  EXPECT_EQ(codes.size(), 14u);
}

struct LookupCase {
  const char* what;
  const CommandInfo* found;
  const CommandInfo* expected;
};

TEST(CommandTable, LookupsByWireByteAndTypedName) {
  const CommandInfo& stop = CommandInfoOf(CommandCode::kStopMotor);
  for (const LookupCase& c : {LookupCase{"name in lower case", FindCommandNamed("cmd3f"), &stop},
                              LookupCase{"name in mixed case", FindCommandNamed("Cmd3F"), &stop},
                              LookupCase{"name with a space", FindCommandNamed("CMD3F "), nullptr},
                              LookupCase{"name cut short", FindCommandNamed("CMD3"), nullptr},
                              LookupCase{"byte with the reply flag", FindCommand(0xBF), nullptr},
                              LookupCase{"device error byte", FindCommand(kDeviceErrorCommand), nullptr},
                              LookupCase{"unknown byte", FindCommand(0x30), nullptr}}) {
    EXPECT_EQ(c.found, c.expected) << c.what;
  }
}

TEST(BaudTable, EveryRateHasItsOwnTermiosSpeed) {
  std::set<speed_t> speeds;
  for (int rate : kBaudRates) {
    EXPECT_NE(TermiosSpeedOf(rate), B0) << rate;
    speeds.insert(TermiosSpeedOf(rate));
  }
  EXPECT_EQ(speeds.size(), kBaudRates.size());
  EXPECT_EQ(TermiosSpeedOf(9600), B9600);
  EXPECT_EQ(TermiosSpeedOf(1200), B0);  // not a rate of the list
}

}  // namespace
}  // namespace tarnwick::link
