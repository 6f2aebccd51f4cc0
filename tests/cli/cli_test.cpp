// tarnwick-cli as a script sees it: its lines, its JSON and its exit status.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <thread>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "link/hex_text.h"
#include "link/line_control.h"
#include "link/traffic_log_text.h"
#include "sim/board_server.h"
#include "testing/board_at_115200.h"
#include "testing/cli_run.h"
#include "testing/needs_pty.h"
#include "testing/pty_peer.h"
#include "testing/row_name.h"
#include "testing/sim_process.h"
#include "testing/temp_folder.h"

namespace tarnwick {
namespace {

using testing::CliRun;
using testing::RunCli;
using testing::SimProcess;

// Rows are named by their arguments.
constexpr auto kByArguments = [](const auto& row) { return testing::RowIdentifier(row.param.arguments); };

class CliTest : public testing::BoardAt115200Test {
 protected:
  std::string Line() const { return " --port " + board_->PortPath() + " --baud 115200"; }
};

TEST_F(CliTest, AddressQueryPrintsItsLinesAndSucceeds) {
  const CliRun run = RunCli("send cmd00" + Line());
  // The first line names the board's port as given by path.
  EXPECT_EQ(run.out, "Port: " + board_->PortPath().substr(5) + " (" + board_->PortPath() +
                         ")\nSend Data: FF 01 80 80 01\nRecv Data: 01 02 00 00 03 00\nResult: Success\nAddr: 01\n");
  EXPECT_EQ(run.status, 0);
}

// One run against the board at 115200 (a fault set first, when given): its exit
// status and a part of what it printed, standard error included. Rows are named
// by their arguments.
struct RunCase {
  const char* arguments;
  int status;
  const char* shown;
  const char* fault = "";
};

class CliRunTest : public CliTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(CliRunTest, ExitStatusAndWhatItSays) {
  if (*GetParam().fault) board_->SetFault(sim::ParseFault(GetParam().fault).value());
  const std::string arguments = GetParam().arguments;
  const CliRun run = RunCli(arguments + (arguments.find("--port") == std::string::npos ? Line() : ""), true);
  EXPECT_EQ(run.status, GetParam().status) << run.out;
  EXPECT_NE(run.out.find(GetParam().shown), std::string::npos) << run.out;
  if (GetParam().status == 2) {
    EXPECT_EQ(board_->FramesHeard(), 0u);  // refused before anything was sent
  }
}

// What the lines say about a reply that went wrong, and what to do next.
INSTANTIATE_TEST_SUITE_P(
    Explained, CliRunTest,
    ::testing::Values(
        RunCase{"send cmd13 --addr 01", 1, "Result: Unknown Error (code 9)\n", "device-error=9"},
        RunCase{"send cmd13 --addr 01 --json", 1, "\"device_error_code\": 4", "device-error=4"},
        RunCase{"send cmd3f --addr 01", 1, "Detail: bad checksum: computed 0x0042, received 0x0018", "bad-checksum"},
        // Fields the board left empty show nothing after the colon.
        RunCase{"send CMD43 --addr 01", 0, "MotorType: Stepper\nLeft Frequency: 2500\nLeft Pulse Duty: 100\n"
                                          "Right Frequency:\nRight Pulse Duty:\n"},
        // watch gives it once, after the first exchange without a reply.
        RunCase{"watch cmd13 --addr 07 --count 2 --interval 0", 1, "No response data\nHint: no reply from address 07"},
        RunCase{"dc-test --as-typed --right-duty \"\"", 2, "tarnwick-cli: Invalid or Missing Parameter: Right Duty is empty\n"},
        RunCase{"send cmd13 --addr 01 --echo skip", 0, "Result: Success\n", "echo"},
        RunCase{"stop --rs485 rts", 3, ": this port has no RTS line to switch"},
        // A near miss is named; a word near nothing, or an option of another command, is not.
        RunCase{"zz --port /dev/null", 2, "tarnwick-cli: The following arguments were not expected: /dev/null --port zz\n"},
        RunCase{"snxx --port /dev/null", 2, "tarnwick-cli: The following arguments were not expected: /dev/null --port snxx\n"},
        RunCase{"scna", 2, "tarnwick-cli: unknown subcommand 'scna'; did you mean 'scan'?\n"},
        RunCase{"send cmd13 --left-frequency 5", 2, "not expected: --left-frequency\n"}),
    kByArguments);

INSTANTIATE_TEST_SUITE_P(
    Statuses, CliRunTest,
    ::testing::Values(RunCase{"send cmd3f", 0, "Send Data: FF 01 3F 3F 01\n"},  // no reply awaited
                      RunCase{"send --raw \"93\" --addr 01", 0, "Result: Success"},  // raw, reply flag set
                      RunCase{"send cmd00 --port /dev/tarnwick-missing", 3, "no such port"},
                      RunCase{"stop --port /dev/null", 3, "not a serial port"},
                      RunCase{"stop --port socket://127.0.0.1", 2, "cannot use socket://127.0.0.1: no TCP port number"},
                      RunCase{"scan --addr 10-01", 2, "--addr: '10-01' runs backwards"},
                      RunCase{"send cmd12 --frequency abc", 2, ": --frequency: 'abc' is not a number in 0..65535\n"},
                      RunCase{"send cmd40 --new-address FF", 2,
                              ": --new-address: 'FF' is not a hex number in 01..FE (one or two hex digits)\n"},
                      RunCase{"send cmd22 --left-mode 2", 2, ": --left-mode: '2' is not one of stop, forward, reversal, shortbrake\n"},
                      RunCase{"send cmd99", 2, ": unknown command cmd99; one of cmd00, cmd11, cmd12, cmd13, cmd21, cmd22, cmd23, cmd24, "
                                               "cmd38, cmd3f, cmd40, cmd41, cmd42, cmd43\n"},
                      RunCase{"send cmd00 --json=false", 2, ": --json takes no value: give --json alone\n"},
                      RunCase{"watch --count 1", 2, "watch needs a command: one of cmd00, cmd11"},
                      RunCase{"run " TARNWICK_EXAMPLES "/setup_and_status.yaml --port /dev/null --rs485 rts", 1,
                              "not a serial port"},
                      RunCase{"--board " TARNWICK_BOARDS "/heater.yaml dc-test --port /dev/null", 2,
                              "dc-test sends the motor driver's frames"},
                      RunCase{"stop --port /dev/null --rs485-delay-after 5", 2,
                              "--rs485-delay-after takes effect with --rs485 kernel only"},
                      // A port that will not open ends watch's JSON lines with one more.
                      RunCase{"watch cmd13 --count 2 --json --port /dev/tarnwick-missing", 3, "\"exit_status\":3}"}),
    kByArguments);

// What the window sends for what an operator typed, and every form of a frame.
INSTANTIATE_TEST_SUITE_P(
    Frames, CliRunTest,
    ::testing::Values(
        RunCase{"send cmd11 --as-typed --not-limit --reverse --step-count abc", 0, "Send Data: FF 05 11 FF FF FF FF 11 05\n"},
        RunCase{"send cmd12 --as-typed --frequency 12abc --pulse-duty 50%", 0,
                "Send Data: FF 08 12 40 1F 00 00 32 0C 00 B6 01\n"},
        RunCase{"send CMD22 --left-mode Reversal --right-mode STOP", 0, "Send Data: FF 02 22 02 25 01\n"}),
    kByArguments);

// Against a board at 01 that gives every frame its CMD13 reply: run and watch fail
// on a reply from another board or to another command; send keeps its result and
// says what differed, also in the traffic log.
TEST(StrangeReplyTest, OnlyTheReplyAskedForCountsInLoops) {
  TARNWICK_NEEDS_PTY();
  struct Row {
    const char* arguments;
    int status;
    const char* shown;
    const char *sequence = "", *logged = "";  // for run; in the traffic log
  };
  const Row rows[] = {
      {"send cmd13 --addr 05", 0, "Result: Success\nMismatch: Reply from 01 (asked 05)\nReverse:",
       "", "Step count 1000, Pulse Duty 100, Frequency 2500; Reply from 01 (asked 05)\""},
      {"send cmd43 --addr 05 --json", 0,
       "\"reply_mismatch\": \"Reply from 01 (asked 05) and to CMD13 (asked CMD43)\""},
      {"watch cmd13 --addr 05 --count 2 --interval 0", 1, "2 exchanges, 0 succeeded, 2 Reply from 01 (asked 05)"},
      {"watch cmd43 --addr 01 --count 1 --json", 1,
       "\"result\":\"Reply to CMD13 (asked CMD43)\",\"detail\":null,\"fields\":{}"},
      {"run --keep-going", 1,
       "step 1  cmd13  Success  pass\nstep 2  cmd13  Reply from 01 (asked 05)  FAIL  result Reply from 01 "
       "(asked 05)\nstep 3  cmd43  Reply to CMD13 (asked CMD43)  FAIL  result: expected Success, got Reply to CMD13 (asked CMD43)\n",
       "steps: [{send: cmd13, addr: '01'}, {send: cmd13, addr: '05'}, {send: cmd43, addr: '01', expect: {result: Success}}]",
       "\"CMD43 to 01\", \"result\": \"Reply to CMD13 (asked CMD43)\""}};
  for (const Row& row : rows) {
    testing::PtyPeer board;
    board.AnswerEveryFrame(testing::kCmd13ReplyFrom01);
    const testing::TempFolder dir;
    std::string arguments = row.arguments;
    if (arguments.starts_with("run")) arguments += " " + dir.Write("steps.yaml", row.sequence);
    const CliRun run = RunCli(arguments + " --port " + board.Path() + " --log " + dir.Path("log"), true);
    EXPECT_EQ(run.status, row.status) << run.out;
    EXPECT_NE(run.out.find(row.shown), std::string::npos) << run.out;
    EXPECT_NE(dir.Read("log").find(row.logged), std::string::npos) << dir.Read("log");
  }
}

// Which port a run uses when none is named. Each run sees a registry of simulated
// boards of its own, so that boards which other programs run do not count.
class CliPortChoiceTest : public CliTest {
 protected:
  std::string Environment() const { return "XDG_RUNTIME_DIR=" + runtime_.Path() + " "; }
  std::string Registry() const { return runtime_.Path("tarnwick"); }

  const testing::TempFolder runtime_;
};

TEST_F(CliPortChoiceTest, WithoutAPortNoBoardMeansNothingSent) {
  // A board that died without removing its entry leaves a link and a lock no one holds.
  std::filesystem::create_directory(Registry());
  std::filesystem::permissions(Registry(), std::filesystem::perms::owner_all);
  std::filesystem::create_symlink(board_->PortPath(), Registry() + "/sim0");
  std::ofstream(Registry() + "/sim0.lock").put('\0');
  const CliRun text = RunCli("stop", true, Environment());
  EXPECT_EQ(text.status, 2);
  EXPECT_NE(text.out.find("tarnwick-cli: no port given and no simulated board running; "), std::string::npos)
      << text.out;
  EXPECT_EQ(board_->FramesHeard(), 0u);
}

// Text that is not UTF-8 reaches the JSON output with replacement characters.
TEST_F(CliPortChoiceTest, JsonOfTextThatIsNotUtf8IsStillJson) {
  const std::string replaced = "ab\xEF\xBF\xBD";
  const std::string log = runtime_.Path("traffic.jsonl");
  for (const char* arguments : {"stop --port 'ab\xD2' --json", "--json send cmd00 --port 'ab\xD2'"}) {
    SCOPED_TRACE(arguments);
    const CliRun run = RunCli(std::string(arguments) + " --log " + log, false, Environment());
    EXPECT_EQ(run.status, 3);
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["port"]["name"], replaced);
    EXPECT_NE(json["error"].get<std::string>().find("/dev/" + replaced), std::string::npos);
  }
  std::ifstream written(log);
  int lines = 0;
  for (std::string line; std::getline(written, line); ++lines)
    EXPECT_EQ(nlohmann::json::parse(line)["result"], "Port not opened") << line;  // each run's line appended whole
  EXPECT_EQ(lines, 2);
  const CliRun refused = RunCli("send cmd00 --addr 'Z\xD2' --json", false, Environment());
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(nlohmann::json::parse(refused.out),
            nlohmann::json({{"error", "--addr: 'Z\xEF\xBF\xBD' is not a device address: one or two hex digits, 0x allowed"},
                            {"exit_status", 2}}));
}

// A frame that cannot go out is a failure in every form, never a quiet success.
TEST(CliSendFailureTest, AFrameThatCannotLeaveIsFailToSend) {
  TARNWICK_NEEDS_PTY();
  testing::PtyPeer peer;
  peer.Clog();
  // Each way to send in one form: text or JSON.
  for (const auto& [arguments, json] : {std::pair{"send cmd13 --addr 01", false}, {"stop", false}, {"stepper-test", true}}) {
    SCOPED_TRACE(arguments);
    const CliRun run = RunCli(std::string(arguments) + " --baud 115200 --port " + peer.Path() + (json ? " --json" : ""));
    EXPECT_EQ(run.status, 1);
    const char* said = json ? "\"result\": \"Fail to send\"" : "Result: Fail to send\nDetail: the line took no more bytes";
    EXPECT_NE(run.out.find(said), std::string::npos) << run.out;
  }
}

// The terminal a program runs in is never taken for a board's line: nothing is
// written to it and its settings stay as they were.
TEST(CliOwnTerminalTest, TheTerminalItRunsInIsRefused) {
  TARNWICK_NEEDS_PTY();
  testing::PtyPeer terminal;
  const CliRun run = RunCli("stop --port " + terminal.Path() + " < " + terminal.Path(), true);
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.out.find("it is the terminal this program runs in, not a serial port"), std::string::npos) << run.out;
  EXPECT_TRUE(terminal.Read().empty());
}

class CliLogTest : public CliTest {
 protected:
  const testing::TempFolder dir_;
  const std::string path_ = dir_.Path("log.jsonl");
  std::vector<nlohmann::json> Lines() const {
    std::vector<nlohmann::json> lines;
    std::ifstream in(path_);
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));  // throws if not JSON
    return lines;
  }
};

// Only a regular file is a log or a report: anything else is refused at once, before the line is touched.
TEST_F(CliLogTest, ATargetThatIsNoRegularFileRefusesBeforeSending) {
  const std::string fifo = path_ + ".fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string sequence = path_ + ".yaml";
  std::ofstream(sequence) << "baud: 115200\nsteps:\n  - send: cmd3f\n";
  for (const std::string& target : {std::string("/nonexistent-dir/log.jsonl"), fifo, board_->PortPath()}) {
    for (const std::string& arguments : {"send cmd3f" + Line() + " --log " + target,
                                        "run " + sequence + " --port " + board_->PortPath() + " --junit " + target}) {
      const CliRun run = RunCli(arguments + " --json");  // a FIFO opened for writing would hang it
      EXPECT_EQ(run.status, 2) << arguments;
      EXPECT_NE(run.out.find("\"error\": \"cannot write the "), std::string::npos) << run.out;
    }
  }
  EXPECT_EQ(board_->FramesHeard(), 0u);
}

// A log or report that fills up (here: a file size limit, as a full disk) ends each
// subcommand with exit status 1 and says why in its JSON, and leaves no part of a line behind.
TEST_F(CliLogTest, AFileThatFillsUpEndsTheRunAndSaysWhy) {
  const std::string sequence = path_ + ".yaml", report = path_ + ".xml";
  std::string steps = "baud: 115200\nsteps:\n";
  for (int i = 0; i < 8; ++i) steps += "  - {send: cmd13, addr: \"01\"}\n";  // a report of about 1 KB
  std::ofstream(sequence) << steps;
  const std::string log = " --log " + path_, logFull = "cannot write the log " + path_ + ": File too large";
  const struct {
    std::string arguments, said;
  } rows[] = {{"send cmd13 --addr 01 --baud 115200" + log, logFull},
              {"watch cmd13 --addr 01 --count 3 --interval 0 --baud 115200" + log, logFull},
              {"run " + sequence + log, logFull},
              {"run " + sequence + " --junit " + report, "cannot write the report " + report + ": File too large"}};
  // Of the 512 bytes allowed, the log's first line takes most: the next entry does not fit.
  const std::string held = link::FormatTrafficJson({{}, "sim0", link::TrafficDirection::kEvent, {},
                                                    std::string(400, 'x'), "Success"}) + "\n";
  for (const auto& row : rows) {
    std::ofstream(path_, std::ios::trunc) << held;
    const CliRun run =
        RunCli(row.arguments + " --json --port " + board_->PortPath(), false, "trap '' XFSZ; ulimit -f 1; ");
    EXPECT_EQ(run.status, 1) << row.arguments << "\n" << run.out;
    EXPECT_NE(run.out.find(row.said), std::string::npos) << run.out;
    EXPECT_EQ(Lines().size(), 1u);  // no part of a line: Lines() throws on one that is not JSON
  }
}

// A device address is read one way by every program and every file: the same
// texts are refused with the same words and exit status 2, and the same texts taken.
TEST(AddressVocabularyTest, EveryProgramTakesAndRefusesTheSameTexts) {
  const testing::TempFolder dir;
  for (const std::string address : {"1G", "0x1A", "123", "0x"}) {
    const bool taken = link::ParseDeviceAddress(address).has_value();
    const std::string sequence = dir.Write("a.yaml", "steps:\n  - send: cmd00\n    addr: " + address + "\n");
    std::vector<std::string> ways = {TARNWICK_CLI " send cmd00 --port /dev/null --addr " + address,
                                     TARNWICK_CLI " run " + sequence + " --port /dev/null"};
    // A board that takes its address runs until ended; the boards in README.md take theirs.
    if (!taken) ways.insert(ways.end(), {"timeout 10 " TARNWICK_SIM " --no-register --address " + address,
                                         "timeout 10 " TARNWICK_SIM " --no-register --boards " + address + "@9600"});
#ifdef TARNWICK_WINDOW
    if (!taken) ways.push_back(std::string(TARNWICK_WINDOW) + " --addr " + address);
#endif
    for (const std::string& way : ways) {
      const CliRun run = testing::RunShell(way + " 2>&1");
      EXPECT_EQ(run.out.find(link::NotADeviceAddress(address)) == std::string::npos, taken) << way << "\n" << run.out;
      if (!taken) {
        EXPECT_EQ(run.status, 2) << way;
      }
    }
  }
}

// The RS-485 turn-round delays span 0 to kMaxDirectionDelayMs in both programs
// that drive a line; a value taken gets as far as opening the port.
TEST(DirectionDelayVocabularyTest, BothProgramsTakeTheWholeRangeAndNoMore) {
  const std::string sim = std::string("timeout 0.5 ") + TARNWICK_SIM + " --no-register --port /dev/null";
  const std::string cli = std::string(TARNWICK_CLI) + " send cmd13 --port /dev/null";
  for (const std::string option : {"--rs485-delay-before", "--rs485-delay-after"}) {
    for (const int ms : {-1, 0, link::kMaxDirectionDelayMs, link::kMaxDirectionDelayMs + 1}) {
      const bool inRange = ms >= 0 && ms <= link::kMaxDirectionDelayMs;
      for (const std::string& program : {sim, cli}) {
        const CliRun run = testing::RunShell(program + " --rs485 kernel " + option + " " + std::to_string(ms) + " 2>&1");
        EXPECT_EQ(run.out.find(option) == std::string::npos, inRange) << program << " " << option << " " << ms << "\n"
                                                                      << run.out;
      }
    }
  }
}

// A command the firmware gained is one edit of the board's description: the
// command line and the simulated board both take it from the file.
TEST(CliBoardFileTest, ANewCommandIsOneEditOfTheDescription) {
  const testing::TempFolder dir;
  const std::string file = dir.Path("acceleration.yaml");
  {
    std::stringstream builtIn;
    builtIn << std::ifstream(std::string(TARNWICK_BOARDS) + "/motor-driver.yaml").rdbuf();
    std::string text = builtIn.str();
    // A value named with a quote and a comma, which a CSV cell must quote.
    text.insert(text.find("\nvalues:\n") + 9, "  mode: {\"say \\\"hi\\\", twice\": 0}\n");
    std::ofstream(file) << text << R"(
  - {name: CMD44, code: 0x44, title: Set Acceleration, response: [{name: status, type: u8, role: status}],
     request: [{name: acceleration, label: Acceleration, type: u16le, range: [0, 65535], default: 100}]}
  - {name: CMD45, code: 0x45, title: Read Acceleration, reply: always, response: [{name: status, type: u8, role: status},
     {name: acceleration, label: Acceleration, type: u16le}, {name: mode, label: Mode, type: u8, values: mode}]}
)";
  }
  const SimProcess board("", "--board " + file);
  ASSERT_FALSE(board.Path().empty());
  const std::pair<std::string, std::string> rows[] = {
      {"send cmd44 --acceleration 300", "Send Data: 01 03 C4 2C 01 F5 00\nRecv Data: 01 02 44 00 47 00\nResult: Success"},
      {"watch cmd45 --csv --count 1", ",Success,300,\"say \"\"hi\"\", twice\"\n"},
  };
  for (const auto& [arguments, shown] : rows) {
    const CliRun run =
        RunCli("--board " + file + " " + arguments + " --addr 01 --baud 115200 --port " + board.Path(), true);
    EXPECT_EQ(run.status, 0) << arguments << "\n" << run.out;
    EXPECT_NE(run.out.find(shown), std::string::npos) << arguments << "\n" << run.out;
  }
}

// boards/climate-controller.yaml ends its frames in a CRC and speaks in physical
// values: the simulated board running it answers in that framing, a value goes
// out as its raw word and comes back the same through the reply, the JSON and a
// sequence's expectation, and a reply that ends in the 16-bit sum fails its check.
TEST(CliBoardFileTest, APhysicalValueCrossesACrcLineUnchanged) {
  TARNWICK_NEEDS_PTY();
  const std::string board = "--board " TARNWICK_BOARDS "/climate-controller.yaml ", line = " --addr 01 --baud 115200 --port ";
  const SimProcess sim("", board);
  ASSERT_FALSE(sim.Path().empty());
  const CliRun set = RunCli(board + "send cmd61 --target -12.5 --humidity 55.55" + line + sim.Path(), true);
  EXPECT_NE(set.out.find("Send Data: 01 05 E1 FF 83 15 B3 39 5A\nRecv Data: 01 04 61 00 FF 83 EF A7\nResult: Success\n"
                         "Target: -12.5\n"),
            std::string::npos)
      << set.out;
  const CliRun json = RunCli(board + "--json send cmd60" + line + sim.Path(), true);
  EXPECT_NE(json.out.find("\"target\": -12.5,\n    \"humidity\": 55.55"), std::string::npos) << json.out;
  const testing::TempFolder dir;
  const CliRun run = RunCli(board + "run " +
                                dir.Write("s.yaml", "baud: 115200\nsteps:\n  - {send: cmd60, addr: \"01\", expect: "
                                                    "{target: -12.50, humidity: 55.55}}\n") +
                                " --port " + sim.Path(),
                            true);
  EXPECT_EQ(run.status, 0) << run.out;
  testing::PtyPeer summing;
  summing.AnswerEveryFrame({0x01, 0x06, 0x60, 0x00, 0x00, 0x00, 0x00, 0x00, 0x67, 0x00});
  const CliRun refused = RunCli(board + "send cmd60" + line + summing.Path(), true);
  EXPECT_NE(refused.out.find("Result: Data recv Error"), std::string::npos) << refused.out;
}

// A board killed without a word leaves its entry behind, and the pseudo-terminal the
// entry names may soon be another program's. No form of --port reaches that program,
// and a watch that was running ends.
TEST(CliKilledBoardTest, ItsEntryReachesNoStranger) {
  TARNWICK_NEEDS_PTY();
  const testing::TempFolder dir;
  const std::string runtime = dir.Path(), environment = "XDG_RUNTIME_DIR=" + runtime + " ";
  const std::string entry = runtime + "/tarnwick/sim0";
  SimProcess board(runtime);
  ASSERT_FALSE(board.Path().empty());
  CliRun watch;
  std::thread watching([&] {
    watch = RunCli("watch cmd00 --interval 50 --baud 115200 --port " + entry, true, environment + "timeout 10 ");
  });
  // A second frame heard: the first exchange has ended, as watch asks again only then.
  EXPECT_TRUE(board.ReadUntil([](const std::string& out) { return out.find("heard:") != out.rfind("heard:"); }));
  board.Kill();
  testing::PtyPeer stranger;  // as if it had opened the board's pseudo-terminal
  std::filesystem::create_symlink(stranger.Path(), entry + ".new");
  std::filesystem::rename(entry + ".new", entry);
  watching.join();
  EXPECT_EQ(watch.status, 3);
  EXPECT_NE(watch.out.find("Success"), std::string::npos) << watch.out;
  EXPECT_NE(watch.out.find("tarnwick-cli: the simulated board sim0 has stopped\n"), std::string::npos) << watch.out;

  const std::pair<std::string, const char*> ports[] = {
      {entry, "the simulated board sim0 has stopped"},
      {"sim0", "no simulated board sim0 is running"}};  // the list removes the entry on the way
  for (const auto& [port, said] : ports) {
    const CliRun run = RunCli("send cmd00 --port " + port, true, environment);
    EXPECT_EQ(run.status, 3) << port;
    EXPECT_NE(run.out.find(std::string("tarnwick-cli: ") + said + "\n"), std::string::npos) << run.out;
  }
  EXPECT_TRUE(stranger.Read().empty());
}

}  // namespace
}  // namespace tarnwick
