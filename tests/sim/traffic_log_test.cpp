// What the exchange and the live test pages write to the traffic log, against the
// simulated board: one entry per frame, per reply and per result. (The log's
// stamps: link/traffic_log_text_test.cpp.)
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "bench/live_test_controller.h"
#include "link/hex_text.h"
#include "link/traffic_log.h"
#include "testing/board_at_115200.h"
#include "testing/exchange.h"

namespace tarnwick {
namespace {

using Cmd = link::CommandCode;
using Dir = link::TrafficDirection;

class CollectedLog final : public link::TrafficLog {
 public:
  std::vector<link::TrafficEntry> entries;

 private:
  void Append(link::TrafficEntry entry) override { entries.push_back(std::move(entry)); }
};

// An entry without its time: what a case expects.
struct Expected {
  Dir direction;
  const char* hex;
  const char* summary;
  const char* result = "";
};

using testing::BoardAt115200;

TEST(ExchangeLogTest, EntriesOfOneExchange) {
  TARNWICK_NEEDS_PTY();
  struct Row { const char* fault; Cmd command; const char* address; std::vector<Expected> expected; };
  const Row rows[] = {
      {"none", Cmd::kStepperStatus, "01",  // the reply names the fields it filled
       {{Dir::kTx, "01 01 93 95 00", "CMD13 to 01"},
        {Dir::kRx, "01 09 13 00 00 00 00 00 64 C4 09 4E 01",
         "CMD13 from 01: Reverse unchecked, Step count 0, Pulse Duty 100, Frequency 2500"},
        {Dir::kEvent, "", "CMD13 to 01", "Success"}}},
      {"device-error=2", Cmd::kStepperStatus, "01",
       {{Dir::kTx, "01 01 93 95 00", "CMD13 to 01"},
        {Dir::kRx, "01 02 FF 02 04 01", "device error from 01: Data Check Error"},
        {Dir::kEvent, "", "CMD13 to 01", "Data Check Error"}}},
      {"bad-checksum", Cmd::kGetAddress, "FF",  // the bytes still logged
       {{Dir::kTx, "FF 01 80 80 01", "CMD00 to FF"},
        {Dir::kRx, "01 02 00 00 59 00", "bad checksum: computed 0x0003, received 0x0059"},
        {Dir::kEvent, "", "CMD00 to FF", "Data recv Error"}}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    const auto board = BoardAt115200();
    board->SetFault(*sim::ParseFault(row.fault));
    CollectedLog log;
    testing::Exchange({board->PortPath(), 6, row.address, true, {}}, row.command, {}, &log);
    ASSERT_EQ(log.entries.size(), row.expected.size());
    for (std::size_t i = 0; i < log.entries.size(); ++i) {
      const link::TrafficEntry& entry = log.entries[i];
      EXPECT_EQ(std::tuple(entry.direction, link::FormatHexDump(entry.bytes), entry.summary, entry.result, entry.port),
                std::tuple(row.expected[i].direction, row.expected[i].hex, row.expected[i].summary, row.expected[i].result,
                           link::PortNameOf(board->PortPath())))
          << "entry " << i;
    }
  }
}

TEST(LiveTestLog, UpdatesAndStopAreLoggedAndAFailedOpenSaysWhy) {
  const auto board = BoardAt115200();
  CollectedLog log;
  bench::StepperTestController page;
  page.SetTrafficLog(&log);
  page.SetPort(board->PortPath(), 115200);
  page.BeginStopClicked();  // Begin: an update
  page.SliderMoved(bench::kStepperFreq, 2500);  // same values: nothing
  page.BeginStopClicked();  // Stop
  page.SetPort("/dev/tarnwick-missing", 115200);
  page.BeginStopClicked();
  // (The stop frame in the log: the window's close-during-live-test rows.)
  ASSERT_EQ(log.entries.size(), 3u);
  EXPECT_EQ(log.entries[0].summary, "Stepper Test: CMD3F to FF, CMD12 to FF");
  EXPECT_TRUE(link::IsOpenFailure(log.entries[2]));
  EXPECT_TRUE(log.entries[2].summary.starts_with("Stepper Test: cannot open /dev/tarnwick-missing"));
}

}  // namespace
}  // namespace tarnwick
