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
                         Row{"zero-width space is no white space", "\u200B" "12", "\u200B" "12"},
                         Row{"malformed bytes kept", "\xFF" "12 ", "\xFF" "12"},
                         Row{"truncated sequence at the end", "12\xE3\x80", "12\xE3\x80"}})
    EXPECT_EQ(TrimFieldText(row.text), row.trimmed) << row.name;
}

TEST(FieldTextTest, DecimalValueTakesSignDigitsAndSaturates) {
  struct Row { const char* name; const char* text; std::int32_t value; };
  for (const Row& row : {Row{"trailing letters", "12abc", 12}, Row{"plus sign", "+7", 7}, Row{"minus sign", "-1", -1},
                         Row{"empty", "", 0}, Row{"minus alone", "-", 0}, Row{"two signs", "+-5", 0},
                         Row{"one above largest", "2147483648", 2147483647},
                         Row{"far below saturates", "-99999999999", -2147483647 - 1},
                         Row{"leading ideographic space", "\u3000" "42", 42},
                         Row{"fullwidth digits", "\uFF11\uFF12\uFF13", 123}, Row{"Devanagari digits", "\u0967\u0966", 10},
                         Row{"mixed scripts", "1\u0E52", 12}, Row{"superscript two", "\u00B2", 0},
                         Row{"many leading zeros", "0000000000000000000000000001", 1},
                         Row{"inner space ends the number", "1 2", 1}})
    EXPECT_EQ(DecimalFieldValue(row.text), row.value) << row.name;
}

}  // namespace
}  // namespace tarnwick::link
