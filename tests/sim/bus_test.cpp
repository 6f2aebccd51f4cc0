// Several simulated boards on one line: who hears what, and what collides.
#include "sim/bus.h"

#include <gtest/gtest.h>

#include "link/hex_text.h"
#include "sim/board_server.h"
#include "testing/exchange.h"
#include "testing/needs_pty.h"

namespace tarnwick::sim {
namespace {

// (Addresses that are no board's own: the command line's address vocabulary test.)
TEST(ParseBoardsTest, ReadsEveryBoardOrRefusesTheWholeList) {
  struct Row { const char* spec; const char* boards; };  // ADDRESS@BAUD-INDEX:MOTOR-TYPE, comma-separated; "refused"
  for (const Row& row : {Row{"01@9600:stepper,05@19200:d-c,2A@115200", "01@2:1,05@3:2,2A@6:1"},
                         Row{"fe,fe:d-c", "FE@2:1,FE@2:2"}, Row{"01@1200", "refused"}, Row{"01:servo", "refused"},
                         Row{"01,,02", "refused"}}) {
    std::string why;
    const auto boards = ParseBoards(row.spec, why);
    std::string shown = boards ? "" : "refused";
    for (const BoardState& board : boards.value_or(std::vector<BoardState>{})) {
      shown += (shown.empty() ? "" : ",") + link::FormatHexByte(board.address) + "@" + std::to_string(board.baudIndex) +
               ":" + std::to_string(board.motorType);
      if (board.setup[0] != board.motorType) shown += " (the set-up query tells another type)";
    }
    EXPECT_EQ(shown, row.boards) << row.spec;
    EXPECT_EQ(why.empty(), boards.has_value()) << row.spec << ": " << why;
  }
}

TEST(CollideTest, SeveralRepliesNeverArriveAsAGoodFrame) {
  const auto reply = [](std::uint8_t address) { return link::Framing().Make(address, Bytes{0x00, 0x00}); };
  const std::vector<Bytes> collisions[] = {
      // Identical bytes from two boards at one address: without the skew they would add up to one good frame.
      {reply(0x05), reply(0x05)},
      // 01's bits are a subset of 05's: a plain AND of the bytes would verify.
      {reply(0x01), reply(0x05)}};
  for (const std::vector<Bytes>& replies : collisions) {
    const Bytes heard = Collide(replies);
    EXPECT_FALSE(heard.empty());
    EXPECT_FALSE(link::Framing().Verify(heard)) << link::FormatHexDump(heard);
    EXPECT_EQ(Collide(replies), heard);  // the same every time
  }
}

// The boards behind a pseudo-terminal, asked through the real exchange. (Who answers
// at which rate, and a garbled broadcast: the command line's scan tests.)
class BusLineTest : public tarnwick::testing::PtyTest {
 protected:
  void SetUp() override {
    PtyTest::SetUp();
    if (IsSkipped()) return;
    server_ = BoardServer::OnPseudoTerminal({MakeBoardState(0x01, 6, link::kMotorStepper),
                                             MakeBoardState(0x05, 6, link::kMotorDc),
                                             MakeBoardState(0x2A, 2, link::kMotorStepper)});
  }

  std::string Ask(int baudIndex, const std::string& address) {
    link::LineSettings line{server_->PortPath(), baudIndex, address, true, {}};
    line.read.end = link::ReadEnd::Frame;
    return testing::Exchange(line, link::CommandCode::kGetAddress).outcome.result;
  }

  std::unique_ptr<BoardServer> server_;
};

TEST_F(BusLineTest, AFaultOnOneBoardLeavesTheOthersAlone) {
  server_->SetFault(1, *ParseFault("no-reply"));
  EXPECT_EQ(Ask(6, "05"), "No response data");
  EXPECT_EQ(Ask(6, "01"), "Success");
  EXPECT_EQ(Ask(6, "FF"), "Success");  // only 01 is left to answer
  server_->SetFaultOnEvery(*ParseFault("device-error=4"));
  EXPECT_EQ(Ask(6, "01"), "Motor Type Error");
  EXPECT_EQ(Ask(2, "2A"), "Motor Type Error");
}

}  // namespace
}  // namespace tarnwick::sim
