// The traffic log's text forms: times that read back to the same instant, JSON
// lines and CSV rows that survive any text, and a file that keeps its times
// increasing across runs; a log read back as exchanges.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "link/hex_text.h"
#include "link/recorded_exchanges.h"
#include "link/traffic_log_text.h"
#include "testing/temp_folder.h"

namespace tarnwick::link {
namespace {

using namespace std::chrono;

LogTime At(const char* text) { return ParseLogTime(text).value(); }

TEST(LogTime, FormatsInTheLocalZoneAndReadsBackForAnyOffset) {
  const LogTime instant = At("2026-12-06T14:03:07.123+01:00");
  EXPECT_EQ(instant, At("2026-12-06T13:03:07.123+00:00"));
  EXPECT_EQ(instant, At("2026-12-06T07:33:07.123-05:30"));
  for (const LogTime time : {instant, instant + milliseconds(999), LogTime{} + hours(24 * 365 * 50) + milliseconds(7)})
    EXPECT_EQ(ParseLogTime(FormatLogTime(time)), time) << FormatLogTime(time);
}

TEST(LogTime, OtherShapesAreRefused) {
  for (const char* text : {"2026-12-06T14:03:07+01:00", "2026-02-30T14:03:07.123+01:00", "2026-12-06T14:03:07.123Z",
                           "2026-12-06T14:03:07.123+01:00 ", "2026-12-06T24:03:07.123+01:00",
                           "2026-12-06T14:60:07.123+01:00", "2026-12-06T14:03:61.123+01:00", "2026-12-06T14:03:07.123+01:60"})
    EXPECT_FALSE(ParseLogTime(text)) << text;
}

TrafficEntry Entry(const char* port, TrafficDirection direction, const char* hex, const char* summary,
                   const char* result = "") {
  return {At("2026-12-06T14:03:07.123+01:00"), port, direction, ParseHexBytes(hex).value(), summary, result};
}

// Text that is not UTF-8: cli_test.cpp's log of such a port name.
TEST(TrafficJson, EveryTextReadsBack) {
  for (const char* summary : {"plain", "quote \" and backslash \\", "line\nbreak\ttab", "Ünïcødé 电机", ""}) {
    const TrafficEntry entry = Entry("sim0", TrafficDirection::kEvent, "01 02 FF", summary, "Success");
    EXPECT_EQ(ParseTrafficJson(FormatTrafficJson(entry)), entry) << summary;
  }
}

TEST(TrafficCsv, QuotesOnlyWhatNeedsIt) {
  const std::string row = FormatTrafficCsv(
      Entry("sim0", TrafficDirection::kEvent, "01 02 FF", "CMD13 from 01: Left +50, Right \"0\"", "Success"));
  EXPECT_EQ(row.substr(row.find(',')), R"(,sim0,event,01 02 FF,"CMD13 from 01: Left +50, Right ""0""",Success)");
}

class TrafficLogFileTest : public ::testing::Test {
 protected:
  const tarnwick::testing::TempFolder folder_;
  const std::filesystem::path path_ = folder_.Path("log.jsonl");
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(path_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

// Whatever the file held before this run (an entry from the future, a line cut
// short, no final line break): the new entry gets a line of its own, stamped after the last.
TEST_F(TrafficLogFileTest, TheNewEntryFollowsOnALineOfItsOwn) {
  const std::string fromTheFuture = FormatTrafficJson(
      {time_point_cast<milliseconds>(LogClock::now()) + hours(1), "sim0", TrafficDirection::kTx, {}, "earlier", ""});
  for (const std::string& held :
       {fromTheFuture + "\n", fromTheFuture.substr(0, 40), fromTheFuture.substr(0, 1), fromTheFuture}) {
    SCOPED_TRACE(held);
    std::ofstream(path_, std::ios::binary) << held;
    TrafficLogFile file(path_.string());
    file.Record({{}, "sim0", TrafficDirection::kEvent, {}, "this run", "Success"});
    EXPECT_TRUE(file.Close()) << file.Error();
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    const auto entry = ParseTrafficJson(lines[1]);
    ASSERT_TRUE(entry) << lines[1];
    if (const auto before = ParseTrafficJson(lines[0])) {
      EXPECT_GT(entry->time, before->time);
    }
  }
}

// Two writers on one file (two programs, or here two threads with a log each)
// take turns: every line whole, every time later than the one before, though the
// clock repeats a millisecond; the burst runs ahead of the clock by at most its length.
TEST_F(TrafficLogFileTest, WritersSharingAFileKeepEveryLineWholeAndTheTimesIncreasing) {
  constexpr int kEntries = 1000;
  const auto write = [this](const char* port) {
    TrafficLogFile file(path_.string());
    for (int i = 0; i < kEntries; ++i) file.Record({{}, port, TrafficDirection::kTx, {0x01, 0x93}, "CMD13 to 01", ""});
    EXPECT_TRUE(file.Close()) << file.Error();
  };
  std::thread other(write, "sim1");
  write("sim0");
  other.join();
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 2u * kEntries);
  // value() throws on a line that is not an entry.
  for (std::size_t i = 1; i < lines.size(); ++i)
    ASSERT_GT(ParseTrafficJson(lines[i]).value().time, ParseTrafficJson(lines[i - 1]).value().time) << i;
  EXPECT_LE(ParseTrafficJson(lines.back()).value().time - time_point_cast<milliseconds>(LogClock::now()),
            milliseconds(2 * kEntries));
}


// Each frame sent with the reply and result that followed it on its own port.
TEST(ExchangeCollectorTest, PairsFramesRepliesAndResultsByPort) {
  using enum TrafficDirection;
  ExchangeCollector collector;
  const std::vector<TrafficEntry> entries = {
      Entry("sim0", kEvent, "", "Line: RS-485 on"),
      Entry("sim0", kTx, "01 01 80 82 00", "CMD00 to 01"),
      Entry("sim1", kTx, "07 01 80 88 00", "CMD00 to 07"),
      Entry("sim0", kRx, "01 02 00 00 03 00", "CMD00 from 01: Addr 01"),
      Entry("sim1", kEvent, "", "CMD00 to 07", "No response data"),
      Entry("sim0", kEvent, "", "CMD00 to 01", "Success"),
      Entry("sim0", kTx, "FF 01 3F 3F 01", "Stepper Test: CMD3F to FF"),
      Entry("sim0", kTx, "01 01 13 15 00", "CMD13 to 01"),
      Entry("sim0", kEvent, "", "CMD13 to 01, no reply awaited", ""),
  };
  for (std::size_t i = 0; i < entries.size(); ++i) collector.Add(entries[i], static_cast<int>(i) + 1);
  std::vector<std::string> found;
  for (const RecordedExchange& e : collector.Finish())
    found.push_back(std::to_string(e.line) + " " + e.port + " " + FormatHexDump(e.reply.value_or(Bytes{})) + " " +
                    e.result.value_or("(none)"));
  // A live update has no event of its own; a frame sent without awaiting a reply has "".
  EXPECT_EQ(found, (std::vector<std::string>{"2 sim0 01 02 00 00 03 00 Success", "3 sim1  No response data",
                                             "7 sim0  (none)", "8 sim0  "}));
}

}  // namespace
}  // namespace tarnwick::link
