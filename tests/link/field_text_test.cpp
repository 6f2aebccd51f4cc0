#include "link/field_text.h"

#include <gtest/gtest.h>

namespace tarnwick::link {
namespace {

struct TrimCase {
  const char* text;
  const char* trimmed;
};

class TrimFieldTextTest : public testing::TestWithParam<TrimCase> {};

TEST_P(TrimFieldTextTest, DropsWideSpaceAtBothEnds) { EXPECT_EQ(TrimFieldText(GetParam().text), GetParam().trimmed); }

INSTANTIATE_TEST_SUITE_P(
    Texts, TrimFieldTextTest,
    testing::Values(TrimCase{"", ""}, TrimCase{"   ", ""}, TrimCase{" 12 ", "12"}, TrimCase{"\t\r\n12\v\f", "12"},
                    TrimCase{"\u3000" "12" "\u3000", "12"},        // ideographic space
                    TrimCase{"\u00A0" "1 2" "\u2009", "1 2"},      // no-break and thin space; inner kept
                    TrimCase{"\u200B" "12", "\u200B" "12"},        // zero-width space is no white space
                    TrimCase{"\xFF" "12 ", "\xFF" "12"},           // malformed bytes are kept, not skipped
                    TrimCase{"12\xE3\x80", "12\xE3\x80"}));        // a truncated sequence at the end

struct DecimalCase {
  const char* text;
  std::int32_t value;
};

class DecimalFieldValueTest : public testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalFieldValueTest, SignDigitsSaturation) {
  EXPECT_EQ(DecimalFieldValue(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DecimalFieldValueTest,
    testing::Values(DecimalCase{"12abc", 12}, DecimalCase{"+7", 7}, DecimalCase{"-1", -1}, DecimalCase{"", 0},
                    DecimalCase{"-", 0}, DecimalCase{"+", 0}, DecimalCase{"+-5", 0}, DecimalCase{"abc", 0},
                    DecimalCase{"99999999999", 2147483647}, DecimalCase{"-99999999999", -2147483647 - 1},
                    DecimalCase{"2147483647", 2147483647}, DecimalCase{"2147483648", 2147483647},
                    DecimalCase{"-2147483648", -2147483647 - 1}, DecimalCase{"\t 42", 42},
                    DecimalCase{"\u3000" "42", 42}, DecimalCase{"\uFF11\uFF12\uFF13", 123},  // fullwidth
                    DecimalCase{"\u0661\u0662", 12},                                        // Arabic-Indic
                    DecimalCase{"\u0967\u0966", 10},                                        // Devanagari
                    DecimalCase{"1\u0E52", 12},                                             // mixed scripts
                    DecimalCase{"\u00B2", 0},                                               // superscript two
                    DecimalCase{"0000000000000000000000000001", 1}, DecimalCase{"1 2", 1}));

}  // namespace
}  // namespace tarnwick::link
