#include "panels/live_test_logic.h"

#include <gtest/gtest.h>

#include "link/hex_text.h"

namespace tarnwick::panels {
namespace {

constexpr const char* kNothing = "";
constexpr const char* kStop = "FF 01 3F 3F 01";

template <typename Send>
std::string Dump(const Send& send) {
  return link::FormatHexDump(send.bytes);
}

struct StepperCase {
  const char* what;
  StepperTestFields fields;
  const char* bytes;
};

TEST(StepperTestSend, ForcedUpdates) {
  const StepperCase cases[] = {
      {"start values", {}, "FF 01 3F 3F 01 FF 08 12 FF FF FF 7F 64 C4 09 C6 05"},
      {"reverse", {.reverse = true}, "FF 01 3F 3F 01 FF 08 12 FF FF FF FF 64 C4 09 46 06"},
      {"freq with letters after", {.frequency = "12Hz"}, "FF 01 3F 3F 01 FF 08 12 FF FF FF 7F 64 0C 00 05 05"},
      {"duty of letters is 0", {.duty = "x"}, "FF 01 3F 3F 01 FF 08 12 FF FF FF 7F 00 C4 09 62 05"},
      {"top of the range", {.frequency = " 10000 "}, "FF 01 3F 3F 01 FF 08 12 FF FF FF 7F 64 10 27 30 05"},
      {"duty 300", {.duty = "300"}, kNothing},
      {"duty -1", {.duty = "-1"}, kNothing},
      {"empty duty", {.duty = ""}, kNothing},
      {"freq of letters", {.frequency = "abc"}, kNothing},
      {"freq 0", {.frequency = "0"}, kNothing},
      {"freq 10001", {.frequency = "10001"}, kNothing},
      {"empty freq", {.frequency = "  "}, kNothing},
  };
  const StepperTestLast last{.frequency = 1, .duty = 1};
  for (const StepperCase& c : cases) {
    SCOPED_TRACE(c.what);
    const StepperTestSend send = BuildStepperTestSend(c.fields, false, true, last);
    EXPECT_EQ(Dump(send), c.bytes);
    EXPECT_EQ(send.reason.empty(), !send.bytes.empty());
    if (send.bytes.empty()) {
      EXPECT_EQ(send.last, last);
    }
  }
}

TEST(StepperTestSend, StopAndRepeats) {
  const StepperTestLast sent{.frequency = 2500, .duty = 100};
  const StepperTestSend stop = BuildStepperTestSend({.frequency = ""}, true, false, sent);
  EXPECT_EQ(Dump(stop), kStop);
  EXPECT_EQ(stop.last, sent);

  const StepperTestSend first = BuildStepperTestSend({}, false, false, {});
  EXPECT_FALSE(first.bytes.empty());
  EXPECT_EQ(first.last, sent);
  EXPECT_TRUE(BuildStepperTestSend({}, false, false, sent).bytes.empty());
  EXPECT_TRUE(BuildStepperTestSend({.reverse = true}, false, false, sent).bytes.empty());
  EXPECT_FALSE(BuildStepperTestSend({.reverse = true}, false, true, sent).bytes.empty());

  const StepperTestSend changed = BuildStepperTestSend({.duty = "99"}, false, false, sent);
  EXPECT_FALSE(changed.bytes.empty());
  EXPECT_EQ(changed.last, (StepperTestLast{.frequency = 2500, .duty = 99}));
}

struct DcCase {
  const char* what;
  DcTestFields fields;
  const char* bytes;
};

TEST(DcTestSend, ForcedUpdates) {
  const DcCase cases[] = {
      {"start values", {}, "FF 07 23 64 64 10 27 10 27 5F 02 FF 02 22 11 34 01"},
      {"left reversal, right stopped", {.rightDuty = "0", .leftReverse = true},
       "FF 07 23 64 00 10 27 10 27 FB 01 FF 02 22 02 25 01"},
      {"both reversed at duty 0", {.leftDuty = "0", .rightDuty = "0", .leftReverse = true, .rightReverse = true},
       "FF 07 23 00 00 10 27 10 27 97 01 FF 02 22 22 45 01"},
      // The frame's frequency fields hold at most 65535.
      {"above 16 bits", {.leftFrequency = "70000", .rightFrequency = "80000"},
       "FF 07 23 64 64 FF FF FF FF ED 05 FF 02 22 11 34 01"},
      {"16-bit limits", {.leftFrequency = "65535", .rightFrequency = "1"},
       "FF 07 23 64 64 FF FF 01 00 F0 03 FF 02 22 11 34 01"},
      {"left freq 0", {.leftFrequency = "0"}, kNothing},
      {"right freq 0", {.rightFrequency = "0"}, kNothing},
      {"freq 80001", {.rightFrequency = "80001"}, kNothing},
      {"freq 90000", {.leftFrequency = "90000"}, kNothing},
      {"duty 101", {.rightDuty = "101"}, kNothing},
      {"duty -1", {.leftDuty = "-1"}, kNothing},
      {"empty duty", {.leftDuty = ""}, kNothing},
      {"empty freq", {.rightFrequency = ""}, kNothing},
  };
  const DcTestLast last{};
  for (const DcCase& c : cases) {
    SCOPED_TRACE(c.what);
    const DcTestSend send = BuildDcTestSend(c.fields, false, true, last);
    EXPECT_EQ(Dump(send), c.bytes);
    EXPECT_EQ(send.reason.empty(), !send.bytes.empty());
    if (send.bytes.empty()) {
      EXPECT_EQ(send.last, last);
    }
  }
}

TEST(DcTestSend, StopAndRepeats) {
  const DcTestLast sent{.leftDuty = 100, .rightDuty = 100, .leftFrequency = 10000, .rightFrequency = 10000};
  EXPECT_EQ(Dump(BuildDcTestSend({}, true, true, sent)), kStop);

  const DcTestSend first = BuildDcTestSend({}, false, false, {});
  EXPECT_EQ(first.last, sent);
  EXPECT_TRUE(BuildDcTestSend({}, false, false, sent).bytes.empty());
  EXPECT_TRUE(BuildDcTestSend({.rightReverse = true}, false, false, sent).bytes.empty());
  EXPECT_FALSE(BuildDcTestSend({.rightReverse = true}, false, true, sent).bytes.empty());
  EXPECT_FALSE(BuildDcTestSend({.rightFrequency = "10001"}, false, false, sent).bytes.empty());

  // Two frequencies above 65535 reach the board alike, so the second adds nothing.
  const DcTestSend high = BuildDcTestSend({.leftFrequency = "70000"}, false, false, sent);
  EXPECT_EQ(high.last.leftFrequency, 65535);
  EXPECT_TRUE(BuildDcTestSend({.leftFrequency = "75000"}, false, false, high.last).bytes.empty());
}

}  // namespace
}  // namespace tarnwick::panels
