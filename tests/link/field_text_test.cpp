#include "link/field_text.h"

#include <gtest/gtest.h>

#include "testing/row_name.h"

namespace tarnwick::link {
namespace {

struct TrimCase {
  const char* name;
  const char* text;
  const char* trimmed;
};

class TrimFieldTextTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimFieldTextTest, DropsWideSpaceAtBothEnds) { EXPECT_EQ(TrimFieldText(GetParam().text), GetParam().trimmed); }

INSTANTIATE_TEST_SUITE_P(
    Texts, TrimFieldTextTest,
    ::testing::Values(TrimCase{"empty", "", ""}, TrimCase{"spaces only", "   ", ""}, TrimCase{"spaces", " 12 ", "12"},
                    TrimCase{"control white space", "\t\r\n12\v\f", "12"},
                    TrimCase{"ideographic space", "\u3000" "12" "\u3000", "12"},
                    TrimCase{"no-break and thin space, inner kept", "\u00A0" "1 2" "\u2009", "1 2"},
                    TrimCase{"zero-width space is no white space", "\u200B" "12", "\u200B" "12"},
                    TrimCase{"malformed bytes kept", "\xFF" "12 ", "\xFF" "12"},
                    TrimCase{"truncated sequence at the end", "12\xE3\x80", "12\xE3\x80"}),
    tarnwick::testing::RowName{});

struct DecimalCase {
  const char* name;
  const char* text;
  std::int32_t value;
};

class DecimalFieldValueTest : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalFieldValueTest, SignDigitsSaturation) {
  EXPECT_EQ(DecimalFieldValue(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DecimalFieldValueTest,
    ::testing::Values(DecimalCase{"trailing letters", "12abc", 12}, DecimalCase{"plus sign", "+7", 7},
                    DecimalCase{"minus sign", "-1", -1}, DecimalCase{"empty", "", 0},
                    DecimalCase{"minus alone", "-", 0}, DecimalCase{"plus alone", "+", 0},
                    DecimalCase{"two signs", "+-5", 0}, DecimalCase{"letters only", "abc", 0},
                    DecimalCase{"far above saturates", "99999999999", 2147483647},
                    DecimalCase{"far below saturates", "-99999999999", -2147483647 - 1},
                    DecimalCase{"largest", "2147483647", 2147483647},
                    DecimalCase{"one above largest", "2147483648", 2147483647},
                    DecimalCase{"smallest", "-2147483648", -2147483647 - 1},
                    DecimalCase{"leading tab and space", "\t 42", 42},
                    DecimalCase{"leading ideographic space", "\u3000" "42", 42},
                    DecimalCase{"fullwidth digits", "\uFF11\uFF12\uFF13", 123},
                    DecimalCase{"Arabic-Indic digits", "\u0661\u0662", 12},
                    DecimalCase{"Devanagari digits", "\u0967\u0966", 10},
                    DecimalCase{"mixed scripts", "1\u0E52", 12}, DecimalCase{"superscript two", "\u00B2", 0},
                    DecimalCase{"many leading zeros", "0000000000000000000000000001", 1},
                    DecimalCase{"inner space ends the number", "1 2", 1}),
    tarnwick::testing::RowName{});

}  // namespace
}  // namespace tarnwick::link
