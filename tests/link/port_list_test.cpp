// The port list's rules that hold on every platform.
#include "link/port_list.h"

#include <gtest/gtest.h>

namespace tarnwick::link {
namespace {

TEST(NaturalLessTest, DigitRunsCompareByValue) {
  struct Row { const char* a; const char* b; bool less; };
  for (const Row row : {Row{"ttyS2", "ttyS10", true}, Row{"ttyS10", "ttyS2", false}, Row{"COM010", "COM9", false},
                        Row{"COM1", "COM1", false}, Row{"ttyACM0", "ttyS0", true}, Row{"COM3", "COM3a", true},
                        Row{"COMa", "COM1", false}, Row{"COM1", "COMa", true}}) {
    EXPECT_EQ(NaturalLess(row.a, row.b), row.less) << row.a << " < " << row.b;
  }
}

TEST(SelectionAfterRescanTest, KeepsTheExactNameElseTheFirst) {
  const std::vector<PortEntry> ports{{"ttyS1", "/dev/ttyS1"}, {"ttyS3", "/dev/ttyS3"}, {"ttyS10", "/dev/ttyS10"}};
  EXPECT_EQ(SelectionAfterRescan(ports, "ttyS3"), 1);
  EXPECT_EQ(SelectionAfterRescan(ports, "ttyS1"), 0);  // not ttyS10, whose name merely begins alike
  EXPECT_EQ(SelectionAfterRescan(ports, "ttyUSB0"), 0);
  EXPECT_EQ(SelectionAfterRescan({}, "ttyS3"), -1);
}

TEST(ResolvePortTest, ListedNamesAndPathsGiveTheirEntry) {
  const std::vector<PortEntry> ports{{"sim0", "/run/user/1/tarnwick/sim0"}, {"ttyS0", "/dev/ttyS0"}};
  struct Row { const char* given; PortEntry found; };
  const Row rows[] = {{"sim0", {"sim0", "/run/user/1/tarnwick/sim0"}},
                      {"/run/user/1/tarnwick/sim0", {"sim0", "/run/user/1/tarnwick/sim0"}},
                      {"ttyUSB3", {"ttyUSB3", DevicePathForName("ttyUSB3")}},  // not listed: the platform's device
                      {"/tmp/line", {"line", "/tmp/line"}},
                      {"rfc2217://box:2000?timeout=3", {"rfc2217://box:2000?timeout=3", "rfc2217://box:2000?timeout=3"}}};
  for (const Row& row : rows) {
    EXPECT_EQ(FindPort(ports, row.given), row.found) << row.given;
    EXPECT_EQ(ResolvePort(ports, row.given), row.found.path) << row.given;
  }
}

}  // namespace
}  // namespace tarnwick::link
