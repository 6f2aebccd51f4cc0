// tarnwick-cli over a real network serial server (ser2net) in front of a
// simulated board at 19200 baud: the rate set through RFC 2217, the broadcast's
// 0xFF, raw TCP, and every failure ended clearly within 2 s.
#include <gtest/gtest.h>

#include <chrono>

#include "sim/board_server.h"
#include "testing/cli_run.h"
#include "testing/needs_pty.h"
#include "testing/row_name.h"
#include "testing/ser2net.h"
#include "testing/temp_folder.h"

namespace tarnwick {
namespace {

using testing::RunCli;

enum class Via { Rfc2217, Raw, NoServer };

struct NetworkCase {
  const char* name;
  Via via;
  const char* arguments;
  const char* expected;  // a line, or part of one, of the output (standard error included)
  int status;
  const char* fault = "";          // the board's, for its first faultReplies replies (-1: all)
  int faultReplies = -1;
  const char* sequence = "";       // a sequence file for 'run', given as its first argument
};

class NetworkTest : public testing::PtyTest, public ::testing::WithParamInterface<NetworkCase> {
 protected:
  void SetUp() override {
    PtyTest::SetUp();
    if (IsSkipped()) return;
    const std::string ser2net = testing::Ser2netPath();
    if (ser2net.empty()) GTEST_SKIP() << "ser2net is not installed (scripts/install-deps installs it)";
    sim::BoardState state;
    state.baudIndex = 3;  // 19200
    board_ = sim::BoardServer::OnPseudoTerminal(state);
    server_ = std::make_unique<testing::Ser2net>(ser2net, board_->PortPath(), 19200);
  }

  std::string Url(Via via) const {
    switch (via) {
      case Via::Rfc2217: return server_->Rfc2217Url();
      case Via::Raw: return server_->RawUrl();
      case Via::NoServer: return "rfc2217://127.0.0.1:" + std::to_string(testing::FreeTcpPort());
    }
    return {};
  }

  std::unique_ptr<sim::BoardServer> board_;
  std::unique_ptr<testing::Ser2net> server_;
};

TEST_P(NetworkTest, EndsClearlyWithinTwoSeconds) {
  const NetworkCase& c = GetParam();
  if (*c.fault) {
    sim::Fault fault = sim::ParseFault(c.fault).value();
    fault.count = c.faultReplies;
    board_->SetFault(fault);
  }
  const testing::TempFolder dir;
  const std::string sequence = dir.Write("sequence.yaml", c.sequence);
  const std::string arguments = c.arguments + (*c.sequence ? " " + sequence : "") + " --port " + Url(c.via);
  const auto start = std::chrono::steady_clock::now();
  const testing::CliRun run = RunCli(arguments, true);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_NE(run.out.find(c.expected), std::string::npos) << run.out;
  EXPECT_EQ(run.status, c.status) << run.out;
  EXPECT_LT(took, std::chrono::seconds(2));
}

INSTANTIATE_TEST_SUITE_P(
    Ser2net, NetworkTest,
    ::testing::Values(
        // The rate set through RFC 2217, the broadcast's 0xFF, the reads and what the server's
        // refusals mean: link/. Here: what the command line makes of a network port.
        // One connection for the whole run: the first reply, late, is dropped before the next frame;
        // the rate changed on the kept connection: the board heard at 38400, and no longer at 19200.
        NetworkCase{.name = "one connection for a run", .via = Via::Rfc2217, .arguments = "run",
                    .expected = "step 6  cmd13  No response data  pass", .status = 0, .fault = "delay=300",
                    .faultReplies = 1,
                    .sequence = "baud: 19200\nsteps:\n"
                                "  - {send: cmd13, addr: \"01\", expect: {result: No response data}}\n"
                                "  - {wait: 300}\n"  // the late reply, due 35 ms after the read ends, is in long before the next frame
                                "  - {send: cmd00, expect: {result: Success, address: \"01\"}}\n"
                                "  - {send: cmd41, addr: \"01\", baudrate: 38400, expect: {result: Success}}\n"
                                "  - {send: cmd13, addr: \"01\", baud: 38400, expect: {result: Success}}\n"
                                "  - {send: cmd13, addr: \"01\", expect: {result: No response data}}\n"},
        NetworkCase{.name = "raw tcp warns that baud cannot reach the line", .via = Via::Raw,
                    .arguments = "send cmd13 --addr 01 --baud 9600",
                    .expected = "--baud (like CMD41's rate change) cannot reach it", .status = 0},  // and succeeds
        NetworkCase{.name = "no server", .via = Via::NoServer, .arguments = "send cmd13 --addr 01",
                    .expected = "connection refused at 127.0.0.1:", .status = 3}),
    testing::RowName{});

}  // namespace
}  // namespace tarnwick
