// What the command line prints of the driver's RS-485 settings: a "Line:" note and
// the JSON "line" object, with what the driver changed.
#include <gtest/gtest.h>

#include "cli/cli_host.h"
#include "testing/stand_in_line.h"

namespace tarnwick {
namespace {

TEST(LineNoteTest, ShowsTheSettingsTheDriverAppliedWithItsCaps) {
  testing::StandInDriver driver;
  cli::Report report;
  EXPECT_EQ(cli::FormatLineNote(report), "");
  link::LineReport line;
  const auto port = link::ControlDirection(std::make_unique<testing::StandInPort>(driver),
                                           {link::DirectionControl::Kernel, 250, 7}, nullptr, &line);
  ASSERT_NE(port, nullptr);
  report.line = line;
  EXPECT_EQ(cli::FormatLineNote(report),
            "Line: RS-485 by the driver: RTS high while sending, 100 ms before, 7 ms after, receiver off while "
            "sending; the driver changed delay before sending 100 ms (asked 250)\n");
  const auto applied = nlohmann::ordered_json::parse(
      "{\"rs485\": \"kernel\", \"enabled\": true, \"rts_on_send\": true, \"rts_after_send\": false, "
      "\"rx_during_tx\": false, \"delay_before_ms\": 100, \"delay_after_ms\": 7, "
      "\"changed\": [\"delay before sending 100 ms (asked 250)\"]}");
  EXPECT_EQ(nlohmann::ordered_json::parse(cli::FormatJson(report)).at("line"), applied);
}

}  // namespace
}  // namespace tarnwick
