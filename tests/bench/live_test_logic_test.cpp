#include "bench/live_test_logic.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include "link/hex_text.h"

namespace tarnwick::bench {
namespace {

template <typename Fields>
struct SendCase { const char* what; Fields fields; const char* bytes; };

// Forced updates (as Begin and Reverse send them) from each field set, then field
// sets that send nothing, keep the last values and say why.
template <typename Fields, typename Last, typename Build>
void ExpectForcedUpdates(Build build, const Last& last, std::initializer_list<SendCase<Fields>> cases,
                         std::initializer_list<Fields> refused) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto send = build(c.fields, false, true, last);
    EXPECT_EQ(link::FormatHexDump(send.bytes), c.bytes);
    EXPECT_EQ(send.reason, "");
  }
  int index = 0;
  for (const Fields& fields : refused) {
    SCOPED_TRACE(::testing::Message() << "refused case " << index++);
    const auto send = build(fields, false, true, last);
    EXPECT_TRUE(send.bytes.empty());
    EXPECT_EQ(send.last, last);
    EXPECT_NE(send.reason, "");
  }
}

TEST(StepperTestSend, ForcedUpdates) {
  ExpectForcedUpdates<StepperTestFields>(BuildStepperTestSend, StepperTestLast{.frequency = 1, .duty = 1}, {
      {"start values", {}, "FF 01 3F 3F 01 FF 08 12 FF FF FF 7F 64 C4 09 C6 05"},
      {"reverse", {.reverse = true}, "FF 01 3F 3F 01 FF 08 12 FF FF FF FF 64 C4 09 46 06"},
      {"duty 0", {.duty = "0"}, "FF 01 3F 3F 01 FF 08 12 FF FF FF 7F 00 C4 09 62 05"},
      {"top of the range", {.frequency = "10000"}, "FF 01 3F 3F 01 FF 08 12 FF FF FF 7F 64 10 27 30 05"},
  }, {{.duty = "101"}, {.duty = "-1"}, {.duty = ""}, {.frequency = "0"}, {.frequency = "10001"}, {.frequency = " "}});
}

TEST(DcTestSend, ForcedUpdates) {
  ExpectForcedUpdates<DcTestFields>(BuildDcTestSend, DcTestLast{}, {
      {"start values", {}, "FF 07 23 64 64 10 27 10 27 5F 02 FF 02 22 11 34 01"},
      {"left reversal, right stopped", {.rightDuty = "0", .leftReverse = true},
       "FF 07 23 64 00 10 27 10 27 FB 01 FF 02 22 02 25 01"},
      {"both reversed at duty 0", {.leftDuty = "0", .rightDuty = "0", .leftReverse = true, .rightReverse = true},
       "FF 07 23 00 00 10 27 10 27 97 01 FF 02 22 22 45 01"},
      // The frame's frequency fields hold at most 65535.
      {"above 16 bits", {.leftFrequency = "70000", .rightFrequency = "80000"},
       "FF 07 23 64 64 FF FF FF FF ED 05 FF 02 22 11 34 01"},
      {"16-bit limits, duty 1 runs forward", {.leftFrequency = "65535", .rightFrequency = "1", .rightDuty = "1"},
       "FF 07 23 64 01 FF FF 01 00 8D 03 FF 02 22 11 34 01"},
  }, {{.leftFrequency = "0"}, {.rightFrequency = "0"}, {.rightFrequency = "80001"}, {.rightDuty = "101"},
      {.leftDuty = "-1"}, {.leftDuty = ""}, {.rightFrequency = ""}});
}

}  // namespace
}  // namespace tarnwick::bench
