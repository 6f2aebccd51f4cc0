// A recording as a board: replies in recorded order, then the last again; silence
// where the recording had none; device error 1 for a request never recorded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/hex_text.h"
#include "sim/replay_board.h"
#include "testing/board_at_115200.h"

namespace tarnwick::sim {
namespace {

using tarnwick::testing::Hex;

link::Bytes Frame(std::uint8_t address, const std::string& commandAndData) {
  return link::Framing().Make(address, Hex(commandAndData));
}

struct HeardRow {
  const char* name;
  link::Bytes heard;     // a part frame is heard as the line falls quiet
  link::Bytes answered;  // empty: silence
};

TEST(ReplayBoardTest, AnswersEachRequestAsRecordedInOrder) {
  const link::Bytes query = Frame(0x01, "80"), status = Frame(0x01, "98");
  const link::Bytes first = Frame(0x01, "00 00"), second = Frame(0x01, "00 05");
  link::Bytes liveUpdate = Frame(0xFF, "3F");
  const link::Bytes start = Frame(0xFF, "22 11");
  liveUpdate.insert(liveUpdate.end(), start.begin(), start.end());
  std::vector<link::RecordedExchange> recorded(4);
  for (std::size_t i = 0; i < 4; ++i) recorded[i].request = std::vector{query, status, query, liveUpdate}[i];
  recorded[0].reply = first, recorded[2].reply = second;
  ReplayBoard board(recorded);
  const std::vector<HeardRow> rows = {
      {"FirstReplyFirst", query, first},
      {"ThenTheNext", query, second},
      {"ThenTheLastAgain", query, second},
      {"SilenceRecorded", status, {}},
      {"EachFrameOfAnUpdate", start, {}},
      {"UnseenAtARecordedAddress", Frame(0x01, "93"), Frame(0x01, "FF 01")},
      {"UnseenWithoutTheReplyFlag", Frame(0x01, "13"), {}},
      {"UnseenElsewhere", Frame(0x07, "80"), {}},
      {"APartJudgedAsItStands", link::Bytes(query.begin(), query.begin() + 3), Frame(0x01, "FF 01")},
  };
  for (const HeardRow& row : rows) {
    SCOPED_TRACE(row.name);
    const Board::Result taken = board.TakeFrame(row.heard, row.heard.size() < 4);
    EXPECT_TRUE(taken.complete);
    EXPECT_EQ(taken.consumed, row.heard.size());
    EXPECT_EQ(link::FormatHexDump(taken.reply), link::FormatHexDump(row.answered));
  }
}

}  // namespace
}  // namespace tarnwick::sim
