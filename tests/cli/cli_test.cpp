// tarnwick-cli as a script sees it: its lines, its JSON and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "sim/board_server.h"
#include "testing/needs_pty.h"
#include "testing/row_name.h"

namespace tarnwick {
namespace {

struct CliRun {
  std::string out;
  int status = -1;
};

CliRun RunCli(const std::string& arguments) {
  const std::string command = std::string(TARNWICK_CLI) + " " + arguments + " 2>/dev/null";
  CliRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe)) run.out += buffer.data();
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string SendDataLine(const std::string& out) {
  const auto start = out.find("Send Data: ");
  return start == std::string::npos ? "" : out.substr(start + 11, out.find('\n', start) - start - 11);
}

// Rows are named by their arguments.
constexpr auto kByArguments = [](const auto& row) { return testing::RowIdentifier(row.param.arguments); };

class CliTest : public testing::PtyTest {
 protected:
  void SetUp() override {
    PtyTest::SetUp();
    if (!IsSkipped()) board_ = sim::BoardServer::OnPseudoTerminal(Board());
  }
  static sim::BoardState Board() {
    sim::BoardState state;
    state.baudIndex = 6;
    return state;
  }
  std::string Line() const { return " --port " + board_->PortPath() + " --baud 115200"; }
  std::unique_ptr<sim::BoardServer> board_;
};

TEST_F(CliTest, AddressQueryPrintsItsLinesAndSucceeds) {
  const CliRun run = RunCli("send cmd00" + Line());
  EXPECT_EQ(run.out, "Send Data: FF 01 80 80 01\nRecv Data: 01 02 00 00 03 00\nResult: Success\nAddr: 01\n");
  EXPECT_EQ(run.status, 0);
}

TEST_F(CliTest, SetupQueryPrintsEmptyFieldsWithNothingAfterTheColon) {
  const CliRun run = RunCli("send CMD43 --addr 01" + Line());
  EXPECT_NE(run.out.find("MotorType: Stepper\nLeft Frequency: 2500\nLeft Pulse Duty: 100\nRight Frequency:\n"
                         "Right Pulse Duty:\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.status, 0);
}

TEST_F(CliTest, JsonCarriesTheSameFacts) {
  board_->SetFault(sim::ParseFault("device-error=4").value());
  const CliRun run = RunCli("send cmd13 --addr 01 --json" + Line());
  const auto json = nlohmann::json::parse(run.out);
  EXPECT_EQ(json.at("send_data"), "01 01 93 95 00");
  EXPECT_EQ(json.at("result"), "Motor Type Error");
  EXPECT_TRUE(json.at("fields").empty());
  EXPECT_EQ(json.at("exit_status"), 1);
  EXPECT_EQ(run.status, 1);
}

struct StatusCase {
  const char* arguments;
  int status;
};

class CliStatusTest : public CliTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(CliStatusTest, ExitStatusTellsWhatHappened) {
  const bool needsLine = std::string(GetParam().arguments).find("--port") == std::string::npos;
  const CliRun run = RunCli(std::string(GetParam().arguments) + (needsLine ? Line() : ""));
  EXPECT_EQ(run.status, GetParam().status) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, CliStatusTest,
    ::testing::Values(StatusCase{"send cmd3f", 0},                          // no reply awaited
                      StatusCase{"send cmd3f --addr 01", 0},                //
                      StatusCase{"send cmd3f --addr 02", 1},                // nobody answers
                      StatusCase{"send cmd24 --addr 01", 1},                // a stepper board refuses it
                      StatusCase{"send cmd12 --pulse-duty 101", 2},         // the panel refuses it
                      StatusCase{"send cmd40 --new-address 1FF", 2},        //
                      StatusCase{"send cmd41 --baudrate 1200", 2},          // not a rate of the list
                      StatusCase{"send cmd99", 2},                          // no such command
                      StatusCase{"send cmd22 --left-mode 2", 2},            // a mode by name only
                      StatusCase{"send cmd42 --motor-type dc", 2},          //
                      StatusCase{"send --raw \"13 ZZ\"", 2},                //
                      StatusCase{"send --raw \"93\" --addr 01", 0},         // raw, reply flag set
                      StatusCase{"stepper-test --freq 0", 2},               // a frequency the panel would not send
                      StatusCase{"dc-test --left-duty \"\"", 2},            //
                      StatusCase{"stop", 0},                                //
                      StatusCase{"send cmd00 --port /dev/tarnwick-missing", 3},
                      StatusCase{"stop --port /dev/tarnwick-missing", 3}),
    kByArguments);

struct FrameCase {
  const char* arguments;
  const char* frame;
};

class CliFrameTest : public CliTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(CliFrameTest, SendsThePanelsBytes) {
  const CliRun run = RunCli(std::string(GetParam().arguments) + Line());
  EXPECT_EQ(SendDataLine(run.out), GetParam().frame);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, CliFrameTest,
    ::testing::Values(
        FrameCase{"send cmd11", "FF 05 11 70 17 00 00 9C 01"},
        FrameCase{"send cmd11 --not-limit --reverse --step-count abc", "FF 05 11 FF FF FF FF 11 05"},
        FrameCase{"send cmd12 --addr 01 --reverse --pulse-duty 50 --frequency 1000", "01 08 92 40 1F 00 80 32 E8 03 97 02"},
        FrameCase{"send cmd21 --left-duty 50 --right-reverse --right-duty 50", "FF 03 21 32 CE 23 02"},
        FrameCase{"send cmd22 --left-mode stop --right-mode shortbrake", "FF 02 22 30 53 01"},
        FrameCase{"send CMD22 --left-mode Reversal --right-mode STOP", "FF 02 22 02 25 01"},
        FrameCase{"send cmd40 --addr 01", "01 02 C0 58 1B 01"},
        FrameCase{"send cmd41 --addr 01 --baudrate 115200", "01 02 C1 06 CA 00"},
        FrameCase{"send cmd42 --motor-type D-C", "FF 08 42 02 64 64 C4 09 50 C3 F3 03"},
        FrameCase{"send --raw \"11 70 17 00 00\"", "FF 05 11 70 17 00 00 9C 01"},
        FrameCase{"stop", "FF 01 3F 3F 01"}),
    kByArguments);

TEST(CliHelpTest, HelpNamesEveryCommandAndOption) {
  const CliRun top = RunCli("--help");
  EXPECT_EQ(top.status, 0);
  for (const char* word : {"ports", "send", "stepper-test", "dc-test", "stop"}) EXPECT_NE(top.out.find(word), std::string::npos);
  const CliRun cmd12 = RunCli("send cmd12 --help");
  for (const char* word : {"--step-count", "--frequency", "--pulse-duty", "8000", "0 to 100"})
    EXPECT_NE(cmd12.out.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace tarnwick
