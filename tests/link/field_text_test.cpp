#include "link/field_text.h"

#include <gtest/gtest.h>

namespace tarnwick::link {
namespace {

TEST(FieldTextTest, TrimDropsWideSpaceAtBothEnds) {
  struct Row { const char* name; const char* text; const char* trimmed; };
  for (const Row& row : {Row{"empty", "", ""}, Row{"spaces only", "   ", ""},
                         Row{"control white space", "\t\r\n12\v\f", "12"},
                         Row{"ideographic space", "\u3000" "12" "\u3000", "12"},
                         Row{"no-break and thin space, inner kept", "\u00A0" "1 2" "\u2009", "1 2"},
                         Row{"first and last of the typographic spaces", "\u2000" "12" "\u200A", "12"},
                         Row{"zero-width space is no white space", "\u200B" "12", "\u200B" "12"},
                         Row{"malformed bytes kept", "\xFF" "12 ", "\xFF" "12"},
                         Row{"truncated sequence at the end", "12\xE3\x80", "12\xE3\x80"}})
    EXPECT_EQ(TrimFieldText(row.text), row.trimmed) << row.name;
}

constexpr std::int64_t kNoNumber = -999;
constexpr std::int64_t kHuge = std::int64_t{1} << 40;

TEST(FieldTextTest, ReadsNumbersExactlyOrAsTyped) {
  constexpr auto D = NumberForm::Decimal, H = NumberForm::Hex, C = NumberForm::Count;
  constexpr auto E = Reading::Exact, T = Reading::AsTyped;
  struct Row { const char* text; NumberForm form; Reading reading; std::int64_t value; };
  for (const Row& row : {Row{"12abc", D, T, 12}, Row{"12abc", D, E, kNoNumber}, Row{"+7", D, T, 7}, Row{"+7", D, E, kNoNumber},
                         Row{"-1", D, T, -1}, Row{"", D, T, 0}, Row{"", D, E, kNoNumber}, Row{"-", D, T, 0},
                         Row{"+-5", D, T, 0}, Row{"4294967295", D, E, 4294967295}, Row{"3000000000", D, T, 3000000000},
                         Row{"99999999999999999999", D, E, kHuge}, Row{"-99999999999", D, T, -99999999999},
                         Row{"\u3000" "42", D, T, 42}, Row{"\u3000" "42", D, E, kNoNumber}, Row{" 5", D, E, kNoNumber},
                         Row{"\uFF11\uFF12\uFF13", D, T, 123}, Row{"\uFF15", D, E, kNoNumber}, Row{"\u0967\u0966", D, T, 10},
                         Row{"1\u0E52", D, T, 12}, Row{"\u00B2", D, T, 0}, Row{"0000000000000000000000000001", D, E, 1},
                         Row{"1 2", D, T, 1}, Row{"0x10", D, E, kNoNumber}, Row{"0x10", D, T, 0},
                         Row{"0x1a", H, E, 0x1A}, Row{"1A", H, E, 0x1A}, Row{"g5", H, T, 0}, Row{"0x", H, E, kNoNumber},
                         Row{"0X1F40", C, E, 8000}, Row{"8000", C, E, 8000}, Row{"0xFFFFFFFF", C, E, 0xFFFFFFFF},
                         Row{"0x10000000000000", C, E, kHuge}, Row{"-5", C, T, -5}, Row{"-5", C, E, kNoNumber}})
    EXPECT_EQ(ReadFieldNumber(row.text, row.form, row.reading).value_or(kNoNumber), row.value) << row.text;
}

}  // namespace
}  // namespace tarnwick::link
