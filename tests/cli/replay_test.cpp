// A recorded run turned into a sequence (tarnwick-cli replay) and into a board
// (tarnwick-sim --replay): the sequence passes against its own recording and
// fails, step by step, against a board that answers otherwise.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "link/hex_text.h"
#include "link/traffic_log_text.h"
#include "testing/board_at_115200.h"
#include "testing/cli_run.h"
#include "testing/needs_pty.h"
#include "testing/sim_process.h"
#include "testing/temp_folder.h"

namespace tarnwick {
namespace {

using testing::RunCli;
using testing::SimProcess;

// What each recorded exchange asks of a D-C board at 01, 9600 baud: fields, a
// watch, an address nobody answers, a refused command and a rate change.
const std::vector<std::string> kRecordedRun = {
    "send cmd23 --addr 01 --left-pulse-duty 40 --right-frequency 12000",
    "send cmd43 --addr 01",
    "watch cmd24 --addr 01 --count 3 --interval 0",
    "send cmd00 --addr 07",
    "send cmd13 --addr 01",
    "send cmd41 --addr 01 --baudrate 19200",
    "send cmd43 --addr 01 --baud 19200",
};

// The steps the run above becomes, and what a stepper board at 01 answers
// otherwise: it refuses the D-C commands, reads back another set-up and runs CMD13.
const std::vector<std::pair<std::string, std::string>> kStepsOnAStepper = {
    {"cmd23", "result: expected Success, got Motor Type Error"}, {"cmd43", "motor_type: expected D-C, got \"Stepper\""},
    {"cmd24", "result: expected Success, got Motor Type Error"}, {"cmd24", "result: expected Success"},
    {"cmd24", "result: expected Success"}, {"cmd00", "pass"},
    {"cmd13", "result: expected Motor Type Error, got Success"}, {"cmd41", "pass"},
    {"cmd43", "motor_type: expected D-C, got \"Stepper\""}};

// Recorded once: the sequence replayed to the recording passes every step, named
// as the run names it; a stepper board fails just the steps it answers otherwise.
TEST(ReplayTest, TheSequencePassesAgainstItsRecordingAndFailsJustTheStepsAnsweredOtherwise) {
  TARNWICK_NEEDS_PTY();
  const testing::TempFolder dir;
  const std::string log = dir.Path("session.log"), sequence = dir.Path("session.yaml");
  const auto recorded = testing::Boards("01@9600:d-c");
  for (const std::string& exchange : kRecordedRun) RunCli(exchange + " --port " + recorded->PortPath() + " --log " + log);
  ASSERT_EQ(RunCli("replay " + log + " --sequence " + sequence + " --baud 9600").status, 0);
  const auto run = [&](const std::string& port) {
    return RunCli("run " + sequence + " --keep-going --port " + port + " --junit " + dir.Path("report.xml"), true);
  };
  SimProcess recording = SimProcess::WithArguments("--no-register --replay " + log);
  ASSERT_FALSE(recording.Path().empty()) << recording.FirstLine();
  const auto passed = run(recording.Path());
  EXPECT_EQ(passed.status, 0) << passed.out << dir.Read("session.yaml");
  const std::string report = dir.Read("report.xml");
  for (std::size_t step = 0; step < kStepsOnAStepper.size(); ++step)
    EXPECT_NE(report.find("name=\"step " + std::to_string(step + 1) + ": " + kStepsOnAStepper[step].first + "\""),
              std::string::npos) << report;

  const auto stepper = testing::Boards("01@9600:stepper");
  const auto failed = run(stepper->PortPath());
  EXPECT_EQ(failed.status, 1) << failed.out;
  std::istringstream lines(failed.out);
  std::string line;
  for (std::size_t step = 0; step < kStepsOnAStepper.size() && std::getline(lines, line); ++step) {
    const auto& [title, said] = kStepsOnAStepper[step];
    EXPECT_NE(line.find("step " + std::to_string(step + 1) + "  " + title), std::string::npos) << line;
    EXPECT_NE(line.find(said), std::string::npos) << line;
    EXPECT_EQ(line.find("FAIL") == std::string::npos, said == "pass") << line;
  }
}

std::string Entry(link::TrafficDirection direction, const std::string& hex, const char* result = "", long long atMs = 0,
                  const char* port = "sim0") {
  return link::FormatTrafficJson({link::LogTime(std::chrono::milliseconds(1'800'000'000'000 + atMs)), port, direction,
                                  link::ParseHexBytes(hex).value(), "CMD00 to 01", result}) + "\n";
}

// --keep-timing keeps the pause between one exchange's end and the next frame as a
// wait step, of an hour at the most. A port name YAML would misread is quoted.
TEST(ReplayTimingTest, PausesBecomeWaitSteps) {
  using enum link::TrafficDirection;
  constexpr const char* kPort = "bench #2: left";
  std::string log;
  for (const long long at : {0LL, 250LL, 7'200'250LL})
    log += Entry(kTx, "01 01 80 82 00", "", at, kPort) + Entry(kRx, "01 02 00 00 03 00", "", at + 20, kPort) +
           Entry(kEvent, "", "Success", at + 20, kPort);
  const testing::TempFolder dir;
  const auto replay = RunCli("replay " + dir.Write("t.log", log) + " --keep-timing --sequence " + dir.Path("s.yaml"), true);
  ASSERT_EQ(replay.status, 0) << replay.out;
  const std::string yaml = dir.Read("s.yaml");
  std::size_t waits = 0;
  for (auto at = yaml.find("- wait: "); at != std::string::npos; at = yaml.find("- wait: ", at + 1)) ++waits;
  EXPECT_EQ(waits, 2u) << yaml;
  EXPECT_NE(yaml.find("port: \"bench #2: left\"\n"), std::string::npos) << yaml;
  EXPECT_NE(yaml.find("- wait: 3600000\n"), std::string::npos) << yaml;
  EXPECT_LT(yaml.find("- wait: 230\n"), yaml.find("- wait: 3600000\n")) << yaml;
}

// Both programs refuse the same log with the same words, and write nothing.
TEST(ReplayBadLogTest, RefusedWithItsLineAndNothingWritten) {
  using enum link::TrafficDirection;
  const std::string good = Entry(kTx, "01 01 80 82 00") + Entry(kRx, "01 02 00 00 03 00") + Entry(kEvent, "", "Success");
  const std::pair<std::string, std::string> rows[] = {  // the log; what follows "PATH:"
      {"port: sim0\nsteps: []\n", "1: not a traffic log: not JSON"},
      {"{\"name\": \"x\"}\n", "1: not a traffic log: no \"time\""},
      {good + good.substr(0, 40), "4: the last line is cut short"},
      {good + "01 01 80 82 00\n" + good, "4: not a log entry: not JSON"},
      {Entry(kTx, "01 01 80 83 00") + Entry(kEvent, "", "Success"),
       "1: the frame sent (01 01 80 83 00) fails its checksum: computed 0x0082, recorded 0x0083"},
      {Entry(kTx, "01 01 80 82 00") + Entry(kRx, "01 02 00 00 04 00") + Entry(kEvent, "", "Success"),
       "2: the reply (01 02 00 00 04 00) fails its checksum"},
      {Entry(kEvent, "", "Port not opened"), " the log holds no frame sent"}};
  for (const auto& [text, said] : rows) {
    const testing::TempFolder dir;
    const std::string log = dir.Write("bad.log", text), sequence = dir.Path("out.yaml");
    const auto replay = RunCli("replay " + log + " --sequence " + sequence, true);
    EXPECT_EQ(replay.status, 2) << said;
    EXPECT_NE(replay.out.find(log + ":" + said), std::string::npos) << replay.out;
    EXPECT_FALSE(std::filesystem::exists(sequence));
    SimProcess board = SimProcess::WithArguments("--no-register --replay " + log);
    EXPECT_NE(board.FirstLine().find(log + ":" + said), std::string::npos) << board.FirstLine();
    EXPECT_EQ(board.EndStatus(), 2);
  }
}

}  // namespace
}  // namespace tarnwick
