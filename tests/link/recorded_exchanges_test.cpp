// A traffic log read back as exchanges: each frame sent with the reply and the
// result that followed it on its own port, whatever else the log holds between.
#include <gtest/gtest.h>

#include "link/hex_text.h"
#include "link/recorded_exchanges.h"

namespace tarnwick::link {
namespace {

TrafficEntry Entry(const char* port, TrafficDirection direction, const std::string& hex, std::string summary,
                   std::string result = {}) {
  return {LogTime(std::chrono::milliseconds(1'000)), port, direction, ParseHexBytes(hex).value(), std::move(summary),
          std::move(result)};
}

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
  const auto exchanges = collector.Finish();
  ASSERT_EQ(exchanges.size(), 4u);
  EXPECT_EQ(exchanges[0].line, 2);
  EXPECT_EQ(FormatHexDump(exchanges[0].reply.value()), "01 02 00 00 03 00");
  EXPECT_EQ(exchanges[0].result, "Success");
  EXPECT_EQ(exchanges[1].port, "sim1");
  EXPECT_EQ(exchanges[1].result, "No response data");
  EXPECT_FALSE(exchanges[1].reply);
  EXPECT_FALSE(exchanges[2].result) << "a live update has no event of its own";
  EXPECT_EQ(exchanges[3].result, "");
}

}  // namespace
}  // namespace tarnwick::link
