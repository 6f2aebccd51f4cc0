// The command line's value rules: what each kind of option takes and refuses.
#include "bench/option_values.h"
#include "bench/probe_wait.h"
#include "bench/round_trips.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "board/codec.h"
#include "link/frame.h"
#include "link/hex_text.h"
#ifdef TARNWICK_ROUND_TRIP
#include "board/board_file.h"
#include "sim/board.h"
#endif
#include "testing/row_name.h"

namespace tarnwick::bench {
namespace {

constexpr std::uint32_t kRefused = 0xFFFFFFFF;

// How a text reads: field_text_test.cpp. Here: which reading and which range each kind of option takes.
TEST(StrictValueTest, TakesOnlyNumbersOfItsKindInItsRange) {
  const NumberRule frequency{NumberKind::kDecimal, 0, 65535}, stepCount{NumberKind::kStepCount, 0, 0x7FFFFFFF};
  struct Row { NumberRule rule; const char* text; std::uint32_t value; };  // kRefused: refused
  for (const Row& row : {Row{frequency, "65535", 65535}, Row{frequency, "65536", kRefused}, Row{frequency, "-1", kRefused},
                         Row{frequency, "12abc", kRefused}, Row{kPercentRule, "101", kRefused},
                         Row{stepCount, "2147483648", kRefused}, Row{stepCount, "0X1F40", 8000}, Row{kAddressRule, "f", 0x0F},
                         Row{kAddressRule, "123", kRefused}, Row{kNewAddressRule, "FF", kRefused},
                         Row{kStepperTestFrequencyRule, "0", kRefused}, Row{kDcTestFrequencyRule, "80000", 80000}}) {
    SCOPED_TRACE(row.text);
    std::string error;
    const auto value = CheckNumber("--option", row.text, row.rule, error);
    if (row.value == kRefused) {
      EXPECT_FALSE(value) << *value;
      EXPECT_EQ(error.rfind(std::string("--option: '") + row.text + "' is not a ", 0), 0u) << error;
    } else {
      EXPECT_EQ(value, row.value) << error;
    }
  }
}

#ifdef TARNWICK_ROUND_TRIP
// Every field type across its whole range: the command line's check of a text, the
// text it hands on, the frame, the simulated board's reply and the value read back
// agree exactly; a text beyond the range is refused by the check and by the codec.
struct FieldTypeCase {
  const char* name;
  const char* field;  // a request field v, which the board's reply returns
  NumberKind kind;
};

class FieldRangeTest : public ::testing::TestWithParam<FieldTypeCase> {};

std::string TextOf(const board::Field& field, NumberKind kind, std::int64_t value) {
  if (kind == NumberKind::kHex) return "0x" + link::FormatHexByte(static_cast<std::uint8_t>(value));
  return kind == NumberKind::kScaled ? board::PhysicalText(field, value) : std::to_string(value);
}

TEST_P(FieldRangeTest, TextToFrameToReplyToTextIsExact) {
  const std::string field = GetParam().field;
  const auto loaded = board::LoadBoardText("format: 1\nboard: x\ncommands:\n  - {name: P, code: 1, request: [" + field +
                                               "], response: [" + field + "]}\n", "t.yaml");
  ASSERT_TRUE(loaded.board) << ::testing::PrintToString(loaded.problems);
  const board::Command& command = loaded.board->commands.front();
  const board::Field& v = *command.request.Find("v");
  const NumberRule rule{GetParam().kind, v.min, v.max, &v};
  std::mt19937_64 random(GetParam().kind == NumberKind::kHex ? 7 : static_cast<std::uint64_t>(v.max - v.min));
  std::vector<std::int64_t> values{v.min, v.max, v.min + 1, v.max - 1, std::clamp<std::int64_t>(-1, v.min, v.max)};
  for (int i = 0; i < 200; ++i) values.push_back(std::uniform_int_distribution<std::int64_t>(v.min, v.max)(random));
  for (const std::int64_t value : values) {
    std::string error;
    const std::string text = TextOf(v, GetParam().kind, value);
    ASSERT_EQ(CheckNumber("--v", text, rule, error), value) << error;
    const auto encoded = board::Encode(command, {{"v", FieldTextOf(value, rule)}}, true);
    ASSERT_TRUE(encoded) << text;
    sim::Board simulated(*loaded.board);
    const link::Bytes reply = simulated.TakeFrame(link::Framing().Make(0x01, *encoded), true).reply;
    ASSERT_GE(reply.size(), 5u) << text;
    const auto decoded = board::DecodeReply(command, std::span(reply).subspan(3, reply.size() - 5));
    ASSERT_EQ(decoded.fields.size(), 1u) << text;
    if (GetParam().kind != NumberKind::kScaled) {
      EXPECT_EQ(decoded.fields.front().value, board::FieldValue{value}) << text;
    }
    if (GetParam().kind == NumberKind::kScaled || (GetParam().kind == NumberKind::kDecimal && v.type != board::WireType::I8)) {
      EXPECT_EQ(decoded.fields.front().text, text);
    }
  }
  for (const std::int64_t beyond : {v.min - 1, v.max + 1}) {
    std::string error;
    const bool belowAnUnsignedWord = beyond < 0 && v.min == 0 && GetParam().kind != NumberKind::kScaled;
    const std::string text = belowAnUnsignedWord ? "-1" : TextOf(v, GetParam().kind, beyond);
    EXPECT_FALSE(CheckNumber("--v", text, rule, error)) << text;
    EXPECT_FALSE(board::ReadNumber(v, text, link::Reading::Exact)) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Types, FieldRangeTest,
    ::testing::Values(FieldTypeCase{"u8", "{name: v, type: u8}", NumberKind::kDecimal},
                      FieldTypeCase{"hex_byte", "{name: v, type: u8, text: hex, range: [1, 254]}", NumberKind::kHex},
                      FieldTypeCase{"i8", "{name: v, type: i8}", NumberKind::kDecimal},
                      FieldTypeCase{"u16le", "{name: v, type: u16le}", NumberKind::kDecimal},
                      FieldTypeCase{"i8_signed_range", "{name: v, type: i8, range: [-128, 127]}", NumberKind::kDecimal},
                      FieldTypeCase{"i16be", "{name: v, type: i16be}", NumberKind::kDecimal},
                      FieldTypeCase{"u32le", "{name: v, type: u32le}", NumberKind::kDecimal},
                      FieldTypeCase{"i32be", "{name: v, type: i32be}", NumberKind::kDecimal},
                      FieldTypeCase{"i16be_in_a_range", "{name: v, type: i16be, range: [-400, 1250]}", NumberKind::kDecimal},
                      FieldTypeCase{"i16be_tenths", "{name: v, type: i16be, scale: 0.1, range: [-40, 125]}",
                                    NumberKind::kScaled},
                      FieldTypeCase{"u8_halves_from_minus_40", "{name: v, type: u8, scale: 0.5, offset: -40}",
                                    NumberKind::kScaled},
                      FieldTypeCase{"u32le_thousandths", "{name: v, type: u32le, scale: 0.001, offset: -1000}",
                                    NumberKind::kScaled},
                      FieldTypeCase{"i32be_hundredths", "{name: v, type: i32be, scale: 0.01}", NumberKind::kScaled},
                      FieldTypeCase{"u32le_high", "{name: v, type: u32le, range: [4294967000, 4294967295]}",
                                    NumberKind::kDecimal},
                      FieldTypeCase{"bits_of_a_u8", "{type: u8, bits: [{name: v, bits: [2, 6]}]}", NumberKind::kDecimal},
                      FieldTypeCase{"count_of_31_bits", "{type: u32le, bits: [{name: v, bits: [0, 30], text: step-count}]}",
                                    NumberKind::kStepCount},
                      FieldTypeCase{"bits_of_a_u16", "{type: u16le, bits: [{name: v, bits: [3, 15]}]}",
                                    NumberKind::kDecimal},
                      FieldTypeCase{"bits_of_a_u32be", "{type: u32be, bits: [{name: v, bits: [9, 30]}]}",
                                    NumberKind::kDecimal}),
    testing::RowName());
#endif

TEST(ShownValueTest, ALongValueIsCutAtACharacterWithAnEllipsis) {
  const std::string sixty(60, '7');
  const std::string wide = "\xEF\xBC\x95";  // full-width 5: three bytes, one character
  EXPECT_EQ(ShownValue(std::string(59, '7') + wide + wide), std::string(59, '7') + wide + "\xE2\x80\xA6");
  EXPECT_EQ(WithLongWordsShortened("not expected: " + sixty + "99 --x"), "not expected: " + sixty + "\xE2\x80\xA6 --x");
}

TEST(RoundTripsTest, MedianToATenthWithinMinAndMax) {
  struct Row { std::vector<double> ms; double min, median, max; };
  for (const Row& row : {Row{{}, 0, 0, 0}, Row{{20.7, 8.2, 14.46}, 8.2, 14.5, 20.7},
                         Row{{8.3, 11.6, 30.0, 2.1}, 2.1, 9.95, 30.0},  // an even count takes the mean
                         Row{{5.0, 1500.0, 2500.0}, 5.0, 2500.0, 2500.0}}) {  // the middle past the range
    SCOPED_TRACE(row.ms.size());
    RoundTrips trips;
    for (const double ms : row.ms) trips.Add(ms);
    EXPECT_EQ(trips.Count(), row.ms.size());
    EXPECT_DOUBLE_EQ(trips.Min(), row.min);
    EXPECT_NEAR(trips.Median(), row.median, 1e-9);
    EXPECT_DOUBLE_EQ(trips.Max(), row.max);
  }
}

// A scan's probe wait: the longest turnaround heard decides, within its bounds.
TEST(ProbeWaitTest, TwiceTheSlowestTurnaroundAndAByteWithinItsBounds) {
  using std::chrono::microseconds;
  struct Row {
    std::vector<int> turnaroundsUs;
    int baud, timeoutMs, expectedMs;
  } rows[] = {
      {{}, 9600, 50, 50},                // nothing verified yet: the whole --timeout
      {{0}, 115200, 50, 5},              // a quick board: the shortest wait
      {{0}, 2400, 50, 8},                // the first byte alone takes 4.2 ms at 2400
      {{10'000, 1'000}, 9600, 50, 25},   // the slowest one heard counts, not the latest
      {{-2'000, 4'000}, 115200, 50, 12}, // a read that beat the wire's time is no turnaround
      {{150'000}, 9600, 50, 50},         // never beyond --timeout
      {{300}, 9600, 3, 3},
  };
  for (const Row& row : rows) {
    ProbeWait wait(row.timeoutMs);
    for (const int us : row.turnaroundsUs) wait.Verified(microseconds(us));
    EXPECT_EQ(wait.WaitMs(row.baud), row.expectedMs) << row.baud << " baud, " << row.turnaroundsUs.size() << " heard";
  }
}

}  // namespace
}  // namespace tarnwick::bench
