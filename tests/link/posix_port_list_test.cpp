#include "link/posix_port_list.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <fstream>

#include "link/port_list.h"
#include "link/unique_fd.h"
#include "testing/temp_folder.h"

namespace tarnwick::link {
namespace {
namespace fs = std::filesystem;

class PortListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "sys");
    fs::create_directories(root_ / "dev");
    fs::create_directories(root_ / "sim");
    fs::permissions(root_ / "sim", fs::perms::owner_all, fs::perm_options::replace);
  }

  // A tty as sysfs shows it; uartType is written for on-board UARTs.
  void AddTty(const std::string& name, bool hasDevice, int uartType = -1) {
    fs::create_directories(root_ / "sys" / name);
    if (hasDevice) fs::create_directories(root_ / "sys" / name / "device");
    if (uartType >= 0) std::ofstream(root_ / "sys" / name / "type") << uartType << "\n";
    std::ofstream(root_ / "dev" / name).put('\0');
  }

  std::vector<PortEntry> Enumerate() { return EnumeratePorts(root_ / "sys", root_ / "dev", root_ / "sim"); }

  // A board's registry entry linking to target; a running board holds its lock.
  void Register(const std::string& name, const fs::path& target, bool running = true) {
    fs::create_symlink(target, root_ / "sim" / name);
    const fs::path lock = root_ / "sim" / (name + ".lock");
    std::ofstream(lock).put('\0');
    if (!running) return;
    UniqueFd held(::open(lock.c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_EQ(::flock(held.Get(), LOCK_EX | LOCK_NB), 0);
    locks_.push_back(std::move(held));
  }

  const tarnwick::testing::TempFolder folder_;
  const fs::path root_ = folder_.Path();
  std::vector<UniqueFd> locks_;
};

TEST_F(PortListTest, ListsSimulatedBoardsThenRealSerialDevicesInNaturalOrder) {
  AddTty("tty0", false);         // a virtual console
  AddTty("ttyS0", true, 4);      // a real 16550
  AddTty("ttyS1", true, 0);      // listed by the driver, no hardware
  AddTty("ttyS2", true, 4);
  AddTty("ttyUSB0", true);
  fs::create_directories(root_ / "sys" / "ttyUSB9" / "device");  // sysfs entry without a device node
  const fs::path pty = root_ / "dev" / "pts-3";
  std::ofstream(pty).put('\0');
  Register("sim1", pty);
  Register("sim0", pty);

  const auto ports = Enumerate();
  std::vector<std::string> names;
  for (const auto& p : ports) names.push_back(p.name);
  ASSERT_EQ(names, (std::vector<std::string>{"sim0", "sim1", "ttyS0", "ttyS2", "ttyUSB0"}));
  EXPECT_EQ(ports[0].path, (root_ / "sim" / "sim0").string());
}

// Whether an entry is listed, and what is left of it after the scan that found it (a running board
// and one killed outright: sim/board_line_test.cpp). A registry others could write to is ignored whole.
TEST_F(PortListTest, ListsAnEntryOnlyWhileItsBoardRunsAndCleansUpAfterTheGone) {
  struct Row {
    const char* what;
    bool running, othersLink, portExists, othersWriteRegistry;
    bool listed, linkLeft, lockLeft;
  };
  const Row rows[] = {
      {"board killed, its pty gone", false, false, false, false, false, false, false},
      {"running, but its port is gone", true, false, false, false, false, true, true},
      {"a registry others could write to", true, false, true, true, false, true, true},
      {"planted by another user (last: skipped unless root)", true, true, true, false, false, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove_all(root_ / "sim");
    locks_.clear();
    SetUp();  // a fresh registry
    const fs::path pty = root_ / "dev" / "pts-3", link = root_ / "sim" / "sim0", lock = root_ / "sim" / "sim0.lock";
    fs::remove(pty);
    if (row.portExists) std::ofstream(pty).put('\0');
    Register("sim0", pty, row.running);
    if (row.othersWriteRegistry) fs::permissions(root_ / "sim", fs::perms::others_write, fs::perm_options::add);
    if (row.othersLink) {
      if (::geteuid() != 0) GTEST_SKIP() << "only root can plant a link owned by another user";
      ASSERT_EQ(::lchown(link.c_str(), 4321, 4321), 0);
    }
    EXPECT_EQ(Enumerate().size(), row.listed ? 1u : 0u);
    EXPECT_EQ(fs::is_symlink(link), row.linkLeft);
    EXPECT_EQ(fs::exists(lock), row.lockLeft);
  }
}

// The running board a command line without --port takes: cli_test.cpp.
TEST(PosixPortNameTest, SimulatedBoardsAreThoseOfTheRegistry) {
  const fs::path registry = "/run/user/1/tarnwick";
  EXPECT_TRUE(IsSimulatedBoard({"sim0", "/run/user/1//tarnwick/./sim0"}, registry));
  EXPECT_FALSE(IsSimulatedBoard({"sim0", "/run/user/1/tarnwick-other/sim0"}, registry));
}

}  // namespace
}  // namespace tarnwick::link
