// What only the Windows port has: COM names, its list and its open errors' wording.
// Reads and writes against a board are link/port_conformance_test.cpp's, for every
// kind of port; TARNWICK_TEST_PORT names the board that scripts/test-win32 maps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "link/port_list.h"
#include "link/serial_port.h"

namespace tarnwick::link {
namespace {

TEST(PortListTest, TheBoardsPortIsListedAndTheListIsInNaturalOrder) {
  const char* name = std::getenv("TARNWICK_TEST_PORT");
  if (!name || !*name) GTEST_SKIP() << "TARNWICK_TEST_PORT names no simulated board";
  const std::string path = DevicePathForName(name);
  const auto ports = EnumeratePorts();
  EXPECT_NE(std::find_if(ports.begin(), ports.end(), [&](const PortEntry& p) { return p.path == path; }), ports.end());
  EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(),
                             [](const PortEntry& a, const PortEntry& b) { return NaturalLess(a.name, b.name); }));
  for (const PortEntry& p : ports) EXPECT_EQ(p.path, R"(\\.\)" + p.name);
}

TEST(OpenErrorTest, EachFailureHasItsKindAndWindowsWording) {
  const auto file = std::filesystem::temp_directory_path() / "tarnwick-not-a-port.txt";
  std::ofstream(file) << "x";
  struct Row { const char* what; std::string path; OpenFailure kind; std::string said; };
  const Row rows[] = {
      {"missing port", DevicePathForName("COM77"), OpenFailure::NotFound, "cannot open COM77: no such port"},
      {"plain file", file.string(), OpenFailure::NotASerialPort, "not a serial port"},
  };
  for (const Row& row : rows) {
    OpenError error;
    EXPECT_FALSE(OpenPort(row.path, 9600, &error)) << row.what;
    EXPECT_EQ(error.kind, row.kind) << row.what << ": " << error.detail;
    const std::string text = DescribeOpenError(row.path, error);
    EXPECT_NE(text.find(row.said), std::string::npos) << row.what << ": " << text;
  }
  std::filesystem::remove(file);
}

TEST(WindowsPortNameTest, ComNamesGoThroughTheDeviceNamespace) {
  struct Row { const char* given; const char* path; };
  for (const Row row : {Row{"COM3", R"(\\.\COM3)"}, Row{"COM10", R"(\\.\COM10)"}, Row{R"(\\.\COM4)", R"(\\.\COM4)"},
                        Row{"C:/ports/board", "C:/ports/board"}}) {
    EXPECT_EQ(ResolvePort({}, row.given), row.path) << row.given;
  }
}

}  // namespace
}  // namespace tarnwick::link
