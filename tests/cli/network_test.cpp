// tarnwick-cli over a real network serial server (ser2net) in front of a simulated
// board at 19200 baud. (A raw TCP port, no server at all and servers that
// misbehave: hostile_server_test.cpp; the port's reads: link/.)
#include <gtest/gtest.h>

#include <chrono>

#include "sim/board_server.h"
#include "testing/cli_run.h"
#include "testing/needs_pty.h"
#include "testing/ser2net.h"
#include "testing/temp_folder.h"

namespace tarnwick {
namespace {

// One connection for the whole run, ended within 2 s: the first reply, late, is
// dropped before the next frame; the rate changed on the kept connection: the
// board heard at 38400, and no longer at 19200.
TEST(NetworkTest, OneConnectionForARun) {
  TARNWICK_NEEDS_PTY();
  const std::string ser2net = testing::Ser2netPath();
  if (ser2net.empty()) GTEST_SKIP() << "ser2net is not installed (scripts/install-deps installs it)";
  sim::BoardState state;
  state.baudIndex = 3;  // 19200
  const auto board = sim::BoardServer::OnPseudoTerminal(state);
  const testing::Ser2net server(ser2net, board->PortPath(), 19200);
  sim::Fault lateOnce = sim::ParseFault("delay=300").value();
  lateOnce.count = 1;
  board->SetFault(lateOnce);
  const testing::TempFolder dir;
  const std::string sequence = dir.Write(
      "sequence.yaml", "baud: 19200\nsteps:\n"
                       "  - {send: cmd13, addr: \"01\", expect: {result: No response data}}\n"
                       "  - {wait: 300}\n"  // the late reply, due 35 ms after the read ends, is in long before the next frame
                       "  - {send: cmd00, expect: {result: Success, address: \"01\"}}\n"
                       "  - {send: cmd41, addr: \"01\", baudrate: 38400, expect: {result: Success}}\n"
                       "  - {send: cmd13, addr: \"01\", baud: 38400, expect: {result: Success}}\n"
                       "  - {send: cmd13, addr: \"01\", expect: {result: No response data}}\n");
  const auto start = std::chrono::steady_clock::now();
  const testing::CliRun run = testing::RunCli("run " + sequence + " --port " + server.Rfc2217Url(), true);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("step 6  cmd13  No response data  pass"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace tarnwick
