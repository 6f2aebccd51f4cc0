// The command line's value rules: what each kind of option takes and refuses.
#include "cli/option_values.h"
#include "cli/round_trips.h"

#include <gtest/gtest.h>

#include "testing/row_name.h"

namespace tarnwick::cli {
namespace {

constexpr std::uint32_t kRefused = 0xFFFFFFFF;

struct ValueCase {
  const char* rule;
  const char* text;
  std::uint32_t value;  // kRefused: refused
};

NumberRule RuleNamed(std::string_view name) {
  if (name == "frequency") return {NumberKind::kDecimal, 0, 65535};  // as a u16 field's
  if (name == "percent") return kPercentRule;
  if (name == "step count") return {NumberKind::kStepCount, 0, 0x7FFFFFFF};
  if (name == "address") return kAddressRule;
  if (name == "new address") return kNewAddressRule;
  if (name == "stepper-test freq") return kStepperTestFrequencyRule;
  return kDcTestFrequencyRule;
}

class StrictValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(StrictValueTest, TakesOnlyNumbersOfItsKindInItsRange) {
  std::string error;
  const auto value = CheckNumber("--option", GetParam().text, RuleNamed(GetParam().rule), error);
  if (GetParam().value == kRefused) {
    EXPECT_FALSE(value) << *value;
    EXPECT_EQ(error.rfind(std::string("--option: '") + GetParam().text + "' is not a ", 0), 0u) << error;
  } else {
    EXPECT_EQ(value, GetParam().value) << error;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, StrictValueTest,
    ::testing::Values(
        ValueCase{"frequency", "65535", 65535}, ValueCase{"frequency", "007", 7},
        ValueCase{"frequency", "65536", kRefused}, ValueCase{"frequency", "-1", kRefused},
        ValueCase{"frequency", "12abc", kRefused}, ValueCase{"frequency", " 5", kRefused},
        ValueCase{"frequency", "0x10", kRefused}, ValueCase{"frequency", "\xEF\xBC\x95", kRefused},  // full-width 5
        ValueCase{"frequency", "99999999999999999999999", kRefused},  // would overflow any integer
        ValueCase{"percent", "101", kRefused}, ValueCase{"step count", "2147483648", kRefused},
        ValueCase{"step count", "0X1F40", 8000}, ValueCase{"step count", "0x80000000", kRefused},
        ValueCase{"address", "f", 0x0F}, ValueCase{"address", "0x1a", 0x1A}, ValueCase{"address", "123", kRefused},
        ValueCase{"address", "0x", kRefused}, ValueCase{"new address", "FF", kRefused},
        ValueCase{"stepper-test freq", "0", kRefused}, ValueCase{"dc-test freq", "80000", 80000}),
    [](const auto& row) {
      return std::to_string(row.index) + "_" + testing::RowIdentifier(std::string(row.param.rule) + " " + row.param.text);
    });

TEST(ShownValueTest, ALongValueIsCutAtACharacterWithAnEllipsis) {
  const std::string sixty(60, '7');
  const std::string wide = "\xEF\xBC\x95";  // full-width 5: three bytes, one character
  EXPECT_EQ(ShownValue(std::string(59, '7') + wide + wide), std::string(59, '7') + wide + "\xE2\x80\xA6");
  EXPECT_EQ(WithLongWordsShortened("not expected: " + sixty + "99 --x"), "not expected: " + sixty + "\xE2\x80\xA6 --x");
}

struct MedianCase {
  const char* name;
  std::vector<double> ms;
  double min, median, max;
};

class RoundTripsTest : public ::testing::TestWithParam<MedianCase> {};

TEST_P(RoundTripsTest, MedianToATenthWithinMinAndMax) {
  RoundTrips trips;
  for (const double ms : GetParam().ms) trips.Add(ms);
  EXPECT_EQ(trips.Count(), GetParam().ms.size());
  EXPECT_DOUBLE_EQ(trips.Min(), GetParam().min);
  EXPECT_NEAR(trips.Median(), GetParam().median, 1e-9);
  EXPECT_DOUBLE_EQ(trips.Max(), GetParam().max);
}

INSTANTIATE_TEST_SUITE_P(
    Medians, RoundTripsTest,
    ::testing::Values(MedianCase{"None", {}, 0, 0, 0},
                      MedianCase{"OddCount", {20.7, 8.2, 14.46}, 8.2, 14.5, 20.7},
                      MedianCase{"EvenCountTakesTheMean", {8.3, 11.6, 30.0, 2.1}, 2.1, 9.95, 30.0},
                      MedianCase{"MiddlePastTheRange", {5.0, 1500.0, 2500.0}, 5.0, 2500.0, 2500.0}),
    testing::RowName());

}  // namespace
}  // namespace tarnwick::cli
