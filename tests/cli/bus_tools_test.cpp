// tarnwick-cli scan, watch and run against simulated boards, as a script sees them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>

#include "link/hex_text.h"
#include "testing/board_at_115200.h"
#include "testing/cli_run.h"
#include "testing/row_name.h"
#include "testing/temp_folder.h"

namespace tarnwick {
namespace {

using testing::Boards;
using testing::RunCli;

// ---- scan ----

struct ScanCase {
  const char* name;
  const char* boards;
  const char* arguments;
  const char* found;  // ADDR@BAUD:TYPE, comma-separated; TYPE "conflict" for an address conflict, "-" not read
  int status;
  const char* fault = "none";    // on every board, or on the one faultOn names
  const char* unconfirmed = "";  // ADDR@BAUD, comma-separated: heard but not proven
  int faultOn = -1;              // the board's position in boards
};

std::string Listed(const nlohmann::json& list, bool withType) {
  std::string text;
  for (const auto& b : list) {
    if (!text.empty()) text += ',';
    text += link::FormatHexByte(b["address"].get<std::uint8_t>()) + "@" + std::to_string(b["baud"].get<int>());
    if (!withType) continue;
    const auto& type = b["motor_type"];
    text += ':';
    text += b["conflict"].get<bool>() ? "conflict" : type.is_null() ? "-" : type.get<std::string>();
  }
  return text;
}

class ScanTest : public testing::PtyTest, public ::testing::WithParamInterface<ScanCase> {};

// The proven boards come on standard output, what was only heard after them on
// standard error.
TEST_P(ScanTest, FindsExactlyTheBoardsOnTheLine) {
  const auto line = Boards(GetParam().boards);
  const sim::Fault fault = *sim::ParseFault(GetParam().fault);
  if (GetParam().faultOn < 0) line->SetFaultOnEvery(fault);
  else line->SetFault(static_cast<std::size_t>(GetParam().faultOn), fault);
  const auto run = RunCli("scan --json --port " + line->PortPath() + " " + GetParam().arguments, true);
  ASSERT_EQ(run.status, GetParam().status) << run.out;
  std::istringstream out(run.out);
  nlohmann::json found, heard = {{"unconfirmed", nlohmann::json::array()}};
  out >> found;
  if ((out >> std::ws).peek() != EOF) out >> heard;
  EXPECT_EQ(Listed(found, true), GetParam().found) << run.out;
  EXPECT_EQ(Listed(heard["unconfirmed"], false), GetParam().unconfirmed) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ScanTest,
    ::testing::Values(
        // Alone at its rate, each board answers the broadcast cleanly: no probing needed.
        ScanCase{"ThreeBoardsAtThreeRates", "01@9600:stepper,05@19200:d-c,2A@115200",
                 "--baud 9600,19200,38400,115200", "01@9600:Stepper,05@19200:D-C,2A@115200:Stepper", 0},
        // Boards at one rate, at both ends of the probed range.
        ScanCase{"TwoBoardsShareAnAddress", "05@115200,01@115200:d-c,05@115200:d-c", "--baud 115200 --addr 01-05",
                 "01@115200:D-C,05@115200:conflict", 0},
        // Replies later than --timeout arrive during a later probe: they name their
        // own board, which a second, longer look then proves.
        ScanCase{"RepliesLaterThanSeveralProbes", "02@9600,05@9600", "--baud 9600 --addr 01-08",
                 "02@9600:Stepper,05@9600:Stepper", 0, "delay=150"},
        // The quick board shortens the probes' wait; the slow one's reply, later than
        // that wait, is heard during a later probe and proven by a second look.
        ScanCase{"LateBoardBehindAQuickOne", "01@9600,05@9600", "--baud 9600 --addr 01-08 --full",
                 "01@9600:Stepper,05@9600:Stepper", 0, "delay=50", "", 1},
        // Its answer to the 9600 broadcast comes during the 19200 one: not a board at
        // 19200; with no board found, the silent 9600 is asked again, waiting longer.
        // The reply, 200 ms after the first broadcast, lands 70 ms after the first
        // wait of 130 ms ends, 60 ms before the second one's does, and 65 ms within
        // the 265 ms the silent rate's second broadcast waits.
        ScanCase{"SlowBoardAnswersDuringTheNextRate", "10@9600", "--baud 9600,19200 --addr 01-20 --timeout 130",
                 "10@9600:Stepper", 0, "delay=200", "10@19200"},
        // A lone board's damaged reply is neither a board nor a conflict.
        ScanCase{"LoneBoardBadChecksum", "05@115200", "--baud 115200 --addr 04-06", "", 1, "bad-checksum", "05@115200"},
        ScanCase{"LoneBoardSplitReply", "05@115200", "--baud 115200 --addr 01-08 --full", "05@115200:-", 0,
                 "split"},
        // Deaf to the broadcast: found by its own address only, and no other invented;
        // without --full the silent broadcast leaves its addresses unasked.
        ScanCase{"BoardIgnoresTheBroadcast", "05@115200", "--baud 115200 --addr 01-08 --full", "05@115200:Stepper", 0,
                 "own-address-only"},
        ScanCase{"BoardIgnoresTheBroadcastUnlessFull", "05@115200", "--baud 115200 --addr 01-08", "", 1,
                 "own-address-only"}),
    testing::RowName());

// ---- watch ----

TEST(WatchTest, OneLinePerExchangeAndASummaryThatCountsThem) {
  TARNWICK_NEEDS_PTY();
  struct Row { const char* fault; int faultCount, successes; nlohmann::json failures; int status; };
  for (const Row& row : {Row{"no-reply", 2, 4, {{"No response data", 2}}, 1},
                         Row{"bad-checksum", -1, 0, {{"Data recv Error", 6}}, 1}}) {
    SCOPED_TRACE(row.fault);
    const auto line = Boards("01@115200");
    auto fault = *sim::ParseFault(row.fault);
    fault.count = row.faultCount;
    line->SetFault(fault);
    const auto run = RunCli("watch cmd13 --addr 01 --interval 0 --count 6 --json --baud 115200 --port " + line->PortPath());
    EXPECT_EQ(run.status, row.status);
    std::istringstream lines(run.out);
    std::vector<nlohmann::json> objects;
    for (std::string text; std::getline(lines, text);) objects.push_back(nlohmann::json::parse(text));
    ASSERT_EQ(objects.size(), 7u) << run.out;
    for (std::size_t i = 0; i < 6; ++i)
      EXPECT_EQ(objects[i]["fields"].contains("step_count"), objects[i]["result"] == "Success") << objects[i];
    const auto& summary = objects.back()["summary"];
    EXPECT_EQ(summary["exchanges"], 6);
    EXPECT_EQ(summary["successes"], row.successes);
    EXPECT_EQ(summary["failures"], row.failures);
  }
}

// Ctrl+C (SIGINT) or SIGTERM ends watch, scan and run within an exchange's bound,
// with their summary, the boards found so far, or a report with the steps run so far.
struct InterruptCase {
  const char* name;
  const char* arguments;  // SEQUENCE stands for a file holding sequence
  const char* sequence;
  const char* printed;    // the signal comes once the output holds this...
  std::uint64_t heard;    // ...and the board has heard this many frames
  const char* signal;
  int status;
  const char* said;  // in the output
  int testcases;     // in the JUnit report, one of them interrupted; 0: no report
};

class InterruptTest : public testing::PtyTest, public ::testing::WithParamInterface<InterruptCase> {};

// After the signal at most the exchange under way finishes (with a scan's drain and
// the found board's motor type, well under 2 s by the read limits); the waits cut
// short are an hour long. The bound between leaves room for a loaded machine.
constexpr auto kPromptly = std::chrono::seconds(6);

TEST_P(InterruptTest, EndsPromptlyWithWhatItFound) {
  const auto line = Boards("01@115200");
  const testing::TempFolder dir;
  const std::string sequence = dir.Write("sequence.yaml", GetParam().sequence), report = dir.Path("report.xml");
  std::string arguments = GetParam().arguments;
  for (const auto& [name, path] : {std::pair{"SEQUENCE", sequence}, std::pair{"REPORT", report}})
    if (const auto at = arguments.find(name); at != std::string::npos) arguments.replace(at, std::strlen(name), path);
  testing::Process cli("exec " TARNWICK_CLI " " + arguments + " --port " + line->PortPath() + " 2>/dev/null");
  ASSERT_TRUE(cli.ReadUntil([&](const std::string& output) {
    return output.find(GetParam().printed) != std::string::npos && line->FramesHeard() >= GetParam().heard;
  }));
  const auto signalled = std::chrono::steady_clock::now();
  cli.Signal(GetParam().signal == std::string("INT") ? SIGINT : SIGTERM);
  const auto run = cli.Finish();
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, kPromptly);
  EXPECT_EQ(run.status, GetParam().status) << run.out;
  EXPECT_NE(run.out.find(GetParam().said), std::string::npos) << run.out;
  const std::string xml = dir.Read("report.xml");
  const auto count = [&](const std::string& what) {
    std::size_t n = 0;
    for (auto at = xml.find(what); at != std::string::npos; at = xml.find(what, at + 1)) ++n;
    return n;
  };
  if (GetParam().testcases > 0) {
    EXPECT_TRUE(xml.starts_with("<?xml") && xml.ends_with("</testsuites>\n")) << xml;
    EXPECT_EQ(count("<testcase "), static_cast<std::size_t>(GetParam().testcases)) << xml;
    EXPECT_EQ(count("<error message=\"interrupted\""), 1u) << xml;
  }
}

constexpr const char* kStatusThenAnHour =
    "baud: 115200\nsteps:\n  - {send: cmd13, addr: \"01\"}\n  - wait: 3600000\n  - send: cmd00\n";
constexpr const char* kStatusForever =
    "baud: 115200\nsteps:\n  - {send: cmd13, addr: \"01\", repeat: 1000000}\n  - send: cmd00\n";

INSTANTIATE_TEST_SUITE_P(
    Signals, InterruptTest,
    ::testing::Values(
        // The first exchange's line is out: the watch sleeps its hour.
        InterruptCase{"WatchTermDuringItsInterval", "watch cmd13 --addr 01 --interval 3600000 --baud 115200", "",
                      "Success", 1, "TERM", 0, "1 exchanges, 1 succeeded\n", 0},
        // The broadcast, 01's probe and 02's begun: the board at 01 has answered.
        InterruptCase{"ScanCtrlC", "scan --full --timeout 265 --baud 115200", "", "", 3, "INT", 0,
                      "01       115200  Stepper", 0},
        InterruptCase{"RunCtrlCDuringAWait", "run SEQUENCE --junit REPORT", kStatusThenAnHour,
                      "step 1  cmd13  Success  pass\n", 1, "INT", 1,
                      "step 2  wait 3600000 ms  FAIL  interrupted\nstep 3  cmd00  skipped", 3},
        InterruptCase{"RunTermDuringRepeats", "run SEQUENCE --junit REPORT --json", kStatusForever, "", 2, "TERM", 1,
                      "\"error\": \"interrupted\"", 2}),
    testing::RowName());

// ---- run ----

class RunTest : public testing::PtyTest {
 protected:
  void SetUp() override {
    PtyTest::SetUp();
    if (!IsSkipped()) line_ = Boards("01@115200");
  }
  testing::CliRun Run(const std::string& yaml, const std::string& options = "") {
    return RunCli("run " + dir_.Write("sequence.yaml", yaml) + " --port " + line_->PortPath() + " " + options, true);
  }
  const testing::TempFolder dir_;
  std::unique_ptr<sim::BoardServer> line_;
};

constexpr const char* kSetUpAndReadBack = R"(baud: 115200
steps:
  - send: cmd42
    addr: "01"
    motor-type: d-c
    left-frequency: 20000
    expect: {result: Success}
  - send: cmd43
    addr: "01"
    expect: {result: Success, motor_type: D-C, left_frequency: 20000}
  - wait: 10
  - send: cmd24
    addr: "01"
    repeat: 3
)";

TEST_F(RunTest, EachStepGivesItsVerdictInTheLinesAndTheReport) {
  const auto run = Run(kSetUpAndReadBack, "--junit " + dir_.Path("report.xml"));
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out,
            "step 1  cmd42  Success  pass\nstep 2  cmd43  Success  pass\nstep 3  wait 10 ms  pass\n"
            "step 4  cmd24 x3  Success  pass\n");
  EXPECT_EQ(line_->State().motorType, link::kMotorDc);
  EXPECT_EQ(line_->FramesHeard(), 5u);  // each step's frame, cmd24's three times
  EXPECT_NE(dir_.Read("report.xml").find("<testsuite name=\"sequence\" tests=\"4\" failures=\"0\""), std::string::npos);

  // A failed step says what differed and stops the rest.
  std::string yaml = kSetUpAndReadBack;
  yaml.replace(yaml.find("left_frequency: 20000"), 21, "left_frequency: 20001, right_pulse_duty: 5");
  const auto failed = Run(yaml, "--junit " + dir_.Path("report.xml"));
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.out.find("step 2  cmd43  Success  FAIL  left_frequency: expected 20001, got 20000; "
                         "right_pulse_duty: expected 5, got 100\n"),
            std::string::npos)
      << failed.out;
  EXPECT_NE(failed.out.find("step 4  cmd24 x3  skipped"), std::string::npos) << failed.out;
  const std::string xml = dir_.Read("report.xml");
  EXPECT_NE(xml.find("failures=\"1\" errors=\"0\" skipped=\"2\""), std::string::npos) << xml;
}

// Expected values are written as the JSON values of `send --json` (or as the window's text).
TEST_F(RunTest, ExpectComparesTheTypedValues) {
  const auto run = Run("baud: 115200\nsteps:\n"
                       "  - {send: cmd13, addr: \"01\", expect: {reverse: false, step_count: 0}}\n"
                       "  - {send: cmd13, addr: \"01\", expect: {reverse: unchecked, pulse_duty: \"100\"}}\n"  // the window's text
                       "  - {send: cmd43, addr: \"01\", expect: {motor_type: Stepper, right_frequency: null}}\n"
                       "  - {send: cmd43, addr: \"01\", expect: {right_frequency: 0}}\n",
                       "--keep-going");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "step 1  cmd13  Success  pass\nstep 2  cmd13  Success  pass\nstep 3  cmd43  Success  pass\n"
                     "step 4  cmd43  Success  FAIL  right_frequency: expected 0, got null\n");
}

std::string Repeated(const std::string& line, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += line;
  return text;
}

TEST_F(RunTest, AnInvalidSequenceNamesTheLineAndRunsNothing) {
  struct Row {
    const char* name;
    std::string yaml;
    const char* message;  // what standard error says, after the file's path
  };
  const Row rows[] = {
      {"NotYaml", "steps:\n  - send: [cmd00\n", ":3:1: "},
      {"NoSteps", "port: sim0\n", ":1:1: 'steps' must be a list"},
      {"UnknownTopKey", "speed: 9600\nsteps:\n  - wait: 1\n", ":1:1: unknown key 'speed'"},
      {"StepWithoutSendOrWait", "steps:\n  - addr: 01\n", ":2:5: a step needs 'send"},
      {"RepeatZero", "steps:\n  - send: cmd13\n    repeat: 0\n", ":3:13: repeat: '0' is not a number in 1.."},
      // Step values go through the command line's checker, with its words.
      {"FieldOutOfRange", "steps:\n  - send: cmd42\n    left-frequency: 70000\n",
       ":3:21: --left-frequency: '70000' is not a number in 0..65535"},
      {"HelpIsNoKey", "steps:\n  - send: cmd13\n    help: true\n",
       ":3:5: The following argument was not expected: --help"},
      // The parser would keep one of them silently.
      {"DuplicateKey", "steps:\n  - send: cmd13\n    expect: {result: Success}\n    expect: {}\n",
       ":4:5: duplicate key 'expect'"},
      {"OwnPortCheckedWhenOverridden", "port: [a]\nsteps:\n  - send: cmd00\n", ":1:7: port must be a single value"},
      {"TooManySteps", "steps:\n" + Repeated("  - wait: 0\n", 10'001), ":2:3: 10001 steps; a sequence holds at most 10000"},
      // 2 MB of texts kept from a 100 KB file.
      {"AliasedTexts", "port: &long " + std::string(100'000, 'x') +
       "\nsteps:\n  - &step {send: cmd13, expect: {result: *long}}\n" + Repeated("  - *step\n", 20),
       ":3:5: the steps' texts, each alias counted again, pass 1048576 bytes"}};
  for (const Row& row : rows) {
    const auto run = Run(row.yaml);
    EXPECT_EQ(run.status, 2) << row.name;
    EXPECT_NE(run.out.find(std::string("sequence.yaml") + row.message), std::string::npos) << row.name << run.out;
  }
  EXPECT_EQ(line_->FramesHeard(), 0u);
}

}  // namespace
}  // namespace tarnwick
