#include "link/framing.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/hex_text.h"
#include "link/transaction.h"

namespace tarnwick::link {
namespace {

TEST(FrameTest, JudgesTheBytesSoFar) {
  struct Row { const char* name; Bytes bytes; FrameProgress progress; };
  for (const Row& row : {Row{"Nothing", {}, FrameProgress::Incomplete},
                        Row{"AddressOnly", {0x01}, FrameProgress::Incomplete},
                        Row{"OneByteShort", {0x01, 0x02, 0x00, 0x00, 0x03}, FrameProgress::Incomplete},
                        Row{"WholeAndVerified", {0x01, 0x02, 0x00, 0x00, 0x03, 0x00}, FrameProgress::Complete},
                        Row{"WholeWithAWrongSum", {0x01, 0x02, 0x00, 0x00, 0x04, 0x00}, FrameProgress::NotAFrame},
                        Row{"MoreThanAnnounced", {0x01, 0x02, 0x00, 0x00, 0x03, 0x00, 0xAA}, FrameProgress::NotAFrame},
                        // N = 17 announces 21 bytes, more than any reply may have.
                        Row{"LengthBeyondTheBuffer", {0x01, 0x11, 0x00}, FrameProgress::NotAFrame},
                        Row{"LargestThatFits", Framing().Make(0x01, Bytes(16, 0x43)), FrameProgress::Complete}})
    EXPECT_EQ(Framing().Judge(row.bytes), row.progress) << row.name;
}

TEST(FrameTest, ChecksumDecidesWhetherAReplyIsIntact) {
  struct Row { const char* name; Bytes reply; bool intact; };
  for (const Row& row : {Row{"checksum bytes swapped", {0x01, 0x02, 0x3F, 0x00, 0x00, 0x42}, false},
                         Row{"sum over nothing is 0", {0x00, 0x00}, true},
                         Row{"sum over nothing is not 1", {0x01, 0x00}, false},
                         Row{"no checksum field at all", {0x00}, false},
                         Row{"one byte and its sum", {0x80, 0x80, 0x00, 0x01}, true}})
    EXPECT_EQ(Framing().Verify(row.reply), row.intact) << row.name;
}

TEST(FramingTest, KnownAnswersOfBothChecks) {
  const std::string_view check = "123456789";
  EXPECT_EQ(Crc16Modbus(std::span(reinterpret_cast<const std::uint8_t*>(check.data()), check.size())), 0x4B37);
  EXPECT_EQ(Framing(FrameCheck::Crc16Modbus).CheckOf(Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}), 0xCDC5);
  struct Row { FrameCheck check; std::uint8_t address; Bytes commandAndData; const char* frame; };
  for (const Row& row : {Row{FrameCheck::Sum16Le, 0xFF, {0x80}, "FF 01 80 80 01"},
                         Row{FrameCheck::Crc16Modbus, 0xFF, {0x80}, "FF 01 80 41 C0"},
                         Row{FrameCheck::Crc16Modbus, 0x01, {0x3F, 0x00}, "01 02 3F 00 B1 E8"},
                         Row{FrameCheck::Crc16Modbus, 0x01, {0x91, 0x70, 0x17, 0x00, 0x00}, "01 05 91 70 17 00 00 5C 8C"}}) {
    const Framing framing(row.check), other(row.check == FrameCheck::Sum16Le ? FrameCheck::Crc16Modbus : FrameCheck::Sum16Le);
    const Bytes frame = framing.Make(row.address, row.commandAndData);
    EXPECT_EQ(FormatHexDump(frame), row.frame);
    EXPECT_EQ(framing.Judge(frame), FrameProgress::Complete) << row.frame;
    EXPECT_EQ(other.Judge(frame), FrameProgress::NotAFrame) << row.frame;
  }
}

TEST(HexWordsTest, ParseHexTextReadsLeadingDigits) {
  struct Row { const char* text; std::uint32_t value; };
  for (const Row& row : {Row{"0X1a", 26}, Row{"1FF", 511}, Row{"12G4", 0x12}, Row{"x12", 0}, Row{"100000000", 0},
                         Row{"FFFFFFFF", 0xFFFFFFFF}, Row{"0x0x5", 0}})
    EXPECT_EQ(ParseHexText(row.text), row.value) << "'" << row.text << "'";
}

// The one reading of a device address and of hex bytes, which every option,
// sequence file and log takes.
TEST(HexWordsTest, DeviceAddressesAndByteListsReadOneWay) {
  struct Address {
    const char* text;
    int value;  // -1: refused
  };
  for (const Address& a : {Address{"1A", 0x1A}, Address{"0x1A", 0x1A}, Address{"0X5", 5}, Address{"ff", 0xFF},
                           Address{"1G", -1}, Address{"123", -1}, Address{"0x", -1}, Address{"", -1},
                           Address{" 1A", -1}, Address{"0x0x5", -1}, Address{"-1", -1}}) {
    const auto parsed = ParseDeviceAddress(a.text);
    EXPECT_EQ(parsed ? int{*parsed} : -1, a.value) << "'" << a.text << "'";
  }
  struct List {
    const char* text;
    const char* bytes;  // as a dump; "refused WORD"
  };
  for (const List& l : {List{"11 70 17 00 00", "11 70 17 00 00"}, List{" 1\t2 ", "01 02"}, List{"", ""},
                        List{"93 1FF", "refused 1FF"}, List{"0x11", "refused 0x11"}, List{"9G", "refused 9G"}}) {
    std::string bad;
    const auto parsed = ParseHexBytes(l.text, &bad);
    EXPECT_EQ(parsed ? FormatHexDump(*parsed) : "refused " + bad, l.bytes) << "'" << l.text << "'";
  }
}

TEST(AddressTextTest, TrimmedHexLowByteAndEmptyIsBroadcast) {
  const std::pair<const char*, int> rows[] = {{"", 0xFF}, {" \t ", 0xFF}, {" 1a ", 0x1A}, {"1FF", 0xFF}, {"zz", 0}};
  for (const auto& [text, address] : rows) EXPECT_EQ(ParseAddressText(text), address) << "'" << text << "'";
}

}  // namespace
}  // namespace tarnwick::link
