// The simulated board's logic: what it answers to which frame. (The address query,
// the setup query, a fresh status and a D-C query to a stepper board: the command
// line's and the traffic log's tests pin those replies.)
#include "sim/board.h"

#include <gtest/gtest.h>

#include "testing/board_at_115200.h"
#include "testing/row_name.h"

namespace tarnwick::sim {
namespace {

using tarnwick::testing::Hex;

std::string Answer(Board& board, const std::string& frame) {
  const Bytes bytes = Hex(frame);
  const auto r = board.TakeFrame(bytes, true);
  EXPECT_EQ(r.consumed, bytes.size()) << frame;
  return link::FormatHexDump(r.reply);
}

struct Exchange {
  const char* name;
  const char* frame;
  const char* reply;  // "" for silence
};

class BoardAnswers : public ::testing::TestWithParam<Exchange> {};

TEST_P(BoardAnswers, FromAFreshStepperBoardAtAddress01) {
  Board board;
  EXPECT_EQ(Answer(board, GetParam().frame), GetParam().reply);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, BoardAnswers,
    ::testing::Values(Exchange{"stop with the reply flag", "01 01 BF C1 00", "01 02 3F 00 42 00"},
                      Exchange{"no reply flag is silent", "01 01 3F 41 00", ""},
                      Exchange{"another board's frame", "02 01 BF C2 00", ""},
                      Exchange{"wrong checksum", "01 01 BF C2 00", "01 02 FF 02 04 01"},
                      Exchange{"unknown command", "01 01 B0 B2 00", "01 02 FF 01 03 01"},
                      Exchange{"wrong length for stop", "01 02 BF 00 C2 00", "01 02 FF 03 05 01"},
                      Exchange{"length byte beyond the frame", "01 05 BF 00 C5 00", "01 02 FF 03 05 01"},
                      Exchange{"new address to everyone has no reply flag", "FF 02 C0 00 C1 01", ""},
                      Exchange{"address FF refused", "01 02 C0 FF C2 01", "01 02 40 FF 42 01"},
                      Exchange{"answered from the highest address", "01 02 C0 FE C1 01", "FE 02 40 FE 3E 02"},
                      Exchange{"no such baud position", "01 02 C1 09 CD 00", "01 02 FF 03 05 01"}),
    tarnwick::testing::RowName{});

// Frames to a fresh board at 01 (bodies: command byte and data), and the reply body to the last one.
// (A board from a description file: the command line's board file test, through tarnwick-sim --board.)
struct Conversation {
  const char* name;
  std::vector<const char*> bodies;
  const char* lastReply;
};

class BoardConversations : public ::testing::TestWithParam<Conversation> {};

TEST_P(BoardConversations, AnswerTheLastFrameFromWhatTheOthersStored) {
  Board board;
  Bytes reply;
  for (const char* body : GetParam().bodies) reply = board.TakeFrame(link::Framing().Make(0x01, Hex(body)), true).reply;
  EXPECT_EQ(link::FormatHexDump(reply), link::FormatHexDump(link::Framing().Make(0x01, Hex(GetParam().lastReply))));
}

constexpr const char* kDcSetup = "C2 02 64 64 C4 09 50 C3";
constexpr const char* kRunByParameters = "92 40 1F 00 80 32 E8 03";  // 8000 steps reversed, duty 50, 1000 Hz

INSTANTIATE_TEST_SUITE_P(
    Frames, BoardConversations,
    ::testing::Values(
        Conversation{"status after a run at the highest count and duty", {"92 FF FF FF 7F 64 E8 03", "93"},
                     "13 00 FF FF FF 7F 64 E8 03"},
        Conversation{"stop clears the steps only", {kRunByParameters, "BF", "93"}, "13 00 00 00 00 00 32 E8 03"},
        Conversation{"reset restores duty and frequency", {kRunByParameters, "B8", "93"}, "13 00 00 00 00 00 64 C4 09"},
        Conversation{"stepper setup sets duty and frequency", {"C2 01 32 E8 03 00 00 00", "93"},
                     "13 00 00 00 00 00 32 E8 03"},
        Conversation{"setup query after a D-C setup", {kDcSetup, "C3"}, "43 02 64 64 C4 09 50 C3"},
        Conversation{"D-C parameters resize driven duties", {kDcSetup, "A1 32 CE", "A3 50 28 A8 61 A8 61", "A4"},
                     "24 50 D8"},
        Conversation{"D-C duty beyond 100", {kDcSetup, "A1 80 00"}, "FF 03"}),
    tarnwick::testing::RowName{});

TEST(BoardTest, AFrameIsTakenFromABurstAndABadTailWaitsForQuiet) {
  Board board;
  const Bytes burst = Hex("FF 01 3F 3F 01 FF 08 12 FF FF FF 7F 64 C4 09 00 00");
  auto first = board.TakeFrame(burst, false);
  EXPECT_EQ(first.consumed, 5u);
  // The second frame's checksum does not hold, so the board waits for the line to go quiet.
  auto second = board.TakeFrame(std::span(burst).subspan(5), false);
  EXPECT_FALSE(second.complete);
}

}  // namespace
}  // namespace tarnwick::sim
