#include "link/posix_port_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

namespace tarnwick::link {
namespace {
namespace fs = std::filesystem;

class PortListTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("tarnwick-ports-" + std::to_string(::getpid()) + "-" +
                                         testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "sys");
    fs::create_directories(root_ / "dev");
    fs::create_directories(root_ / "sim");
    fs::permissions(root_ / "sim", fs::perms::owner_all, fs::perm_options::replace);
  }
  void TearDown() override { fs::remove_all(root_); }

  // A tty as sysfs shows it; uartType is written for on-board UARTs.
  void AddTty(const std::string& name, bool hasDevice, int uartType = -1) {
    fs::create_directories(root_ / "sys" / name);
    if (hasDevice) fs::create_directories(root_ / "sys" / name / "device");
    if (uartType >= 0) std::ofstream(root_ / "sys" / name / "type") << uartType << "\n";
    std::ofstream(root_ / "dev" / name).put('\0');
  }

  std::vector<PortEntry> Enumerate() { return EnumeratePorts(root_ / "sys", root_ / "dev", root_ / "sim"); }

  static std::vector<std::string> Names(const std::vector<PortEntry>& ports) {
    std::vector<std::string> names;
    for (const auto& p : ports) names.push_back(p.name);
    return names;
  }

  fs::path root_;
};

TEST_F(PortListTest, ListsSimulatedBoardsThenRealSerialDevicesInNaturalOrder) {
  AddTty("tty0", false);         // a virtual console
  AddTty("ttyS0", true, 4);      // a real 16550
  AddTty("ttyS1", true, 0);      // listed by the driver, no hardware
  AddTty("ttyS10", true, 4);
  AddTty("ttyS2", true, 4);
  AddTty("ttyUSB0", true);
  AddTty("ttyACM0", true);
  fs::create_directories(root_ / "sys" / "ttyUSB9" / "device");  // sysfs entry without a device node
  const fs::path pty = root_ / "dev" / "pts-3";
  std::ofstream(pty).put('\0');
  fs::create_symlink(pty, root_ / "sim" / "sim1");
  fs::create_symlink(pty, root_ / "sim" / "sim0");
  fs::create_symlink(root_ / "dev" / "gone", root_ / "sim" / "sim2");  // a board that ended

  const auto ports = Enumerate();
  ASSERT_EQ(Names(ports), (std::vector<std::string>{"sim0", "sim1", "ttyACM0", "ttyS0", "ttyS2", "ttyS10", "ttyUSB0"}));
  EXPECT_EQ(ports[3].path, (root_ / "dev" / "ttyS0").string());
  EXPECT_EQ(ports[0].path, (root_ / "sim" / "sim0").string());
}

TEST_F(PortListTest, IgnoresARegistryOthersCouldWriteTo) {
  const fs::path pty = root_ / "dev" / "pts-3";
  std::ofstream(pty).put('\0');
  fs::create_symlink(pty, root_ / "sim" / "sim0");
  fs::permissions(root_ / "sim", fs::perms::others_write, fs::perm_options::add);
  EXPECT_TRUE(Enumerate().empty());
}

TEST(PosixPortNameTest, BareNamesAreDevicesAndPathsStayAsTheyAre) {
  EXPECT_EQ(ResolvePort({}, "ttyUSB3"), "/dev/ttyUSB3");
  EXPECT_EQ(ResolvePort({}, "/dev/pts/4"), "/dev/pts/4");
  EXPECT_EQ(ResolvePort({}, "./board"), "./board");
}

}  // namespace
}  // namespace tarnwick::link
