// The simulated board's logic: what it answers to which frame. (The address query,
// the setup query, a fresh status and a D-C query to a stepper board: the command
// line's and the traffic log's tests pin those replies.)
#include "sim/board.h"

#include <gtest/gtest.h>

#include "testing/board_at_115200.h"

namespace tarnwick::sim {
namespace {

using tarnwick::testing::Hex;

// Frames to a fresh stepper board at 01, and its reply ("" for silence).
TEST(BoardTest, AnswersEachFrameFromAFreshBoard) {
  const std::pair<const char*, const char*> rows[] = {
      {"01 01 BF C1 00", "01 02 3F 00 42 00"},  // stop with the reply flag
      {"01 01 3F 41 00", ""},                   // no reply flag
      {"02 01 BF C2 00", ""},                   // another board's frame
      {"01 01 BF C2 00", "01 02 FF 02 04 01"},  // wrong checksum
      {"01 01 B0 B2 00", "01 02 FF 01 03 01"},  // unknown command
      {"01 02 BF 00 C2 00", "01 02 FF 03 05 01"},  // wrong length for stop
      {"01 05 BF 00 C5 00", "01 02 FF 03 05 01"},  // length byte beyond the frame
      {"FF 02 C0 00 C1 01", ""},                   // a new address to everyone has no reply flag
      {"01 02 C0 FF C2 01", "01 02 40 FF 42 01"},  // address FF refused
      {"01 02 C0 FE C1 01", "FE 02 40 FE 3E 02"},  // answered from the highest address
      {"01 02 C1 09 CD 00", "01 02 FF 03 05 01"}};  // no such baud position
  for (const auto& [frame, reply] : rows) {
    const Board::Result r = Board().TakeFrame(Hex(frame), true);
    EXPECT_EQ(r.consumed, Hex(frame).size()) << frame;
    EXPECT_EQ(link::FormatHexDump(r.reply), reply) << frame;
  }
}

constexpr const char* kDcSetup = "C2 02 64 64 C4 09 50 C3";
constexpr const char* kRunByParameters = "92 40 1F 00 80 32 E8 03";  // 8000 steps reversed, duty 50, 1000 Hz

// Frames to a fresh board at 01 (bodies: command byte and data), and the reply body to the last one.
// (A board from a description file: the command line's board file test, through tarnwick-sim --board.)
TEST(BoardTest, AnswersTheLastFrameFromWhatTheOthersStored) {
  const std::pair<std::vector<const char*>, const char*> rows[] = {
      {{"92 FF FF FF 7F 64 E8 03", "93"}, "13 00 FF FF FF 7F 64 E8 03"},  // the highest count and duty
      {{kRunByParameters, "BF", "93"}, "13 00 00 00 00 00 32 E8 03"},      // stop clears the steps only
      {{kRunByParameters, "B8", "93"}, "13 00 00 00 00 00 64 C4 09"},      // reset restores duty and frequency
      {{"C2 01 32 E8 03 00 00 00", "93"}, "13 00 00 00 00 00 32 E8 03"},   // a stepper setup sets them
      {{kDcSetup, "C3"}, "43 02 64 64 C4 09 50 C3"},
      {{kDcSetup, "A1 32 CE", "A3 50 28 A8 61 A8 61", "A4"}, "24 50 D8"},  // D-C parameters resize driven duties
      {{kDcSetup, "A1 80 00"}, "FF 03"}};                                  // a D-C duty beyond 100
  for (const auto& [bodies, lastReply] : rows) {
    Board board;
    Bytes reply;
    for (const char* body : bodies) reply = board.TakeFrame(link::Framing().Make(0x01, Hex(body)), true).reply;
    EXPECT_EQ(link::FormatHexDump(reply), link::FormatHexDump(link::Framing().Make(0x01, Hex(lastReply)))) << lastReply;
  }
}

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
