// Run sequence against a simulated board: the verdicts and the JUnit report of
// tarnwick-cli run on the same file, a bad file refused as run refuses it, a run
// that Stop or closing the window ends at once, with the port closed, and the port
// shared with Watch one tool at a time.

#include <QCheckBox>
#include <QElapsedTimer>
#include <regex>

#include "gui/window_fixture.h"
#include "testing/cli_run.h"
#include "testing/row_name.h"
#include "testing/temp_folder.h"
#include "tools/sequence_window.h"

namespace tarnwick::gui_test {
namespace {

// The file's own port is one that does not exist: the window's port replaces it, as --port does.
constexpr const char* kPassFailPass = R"(port: ttyNOWHERE
steps:
  - {send: cmd13, addr: "01", expect: {result: Success}}
  - {send: cmd43, addr: "01", expect: {motor_type: D-C}}
  - wait: 5
  - {send: cmd13, addr: "01", repeat: 2}
)";

// Durations differ from run to run.
std::string WithoutTimes(const std::string& xml) {
  return std::regex_replace(xml, std::regex(" time=\"[^\"]*\""), " time=\"\"");
}

class SequenceTest : public WindowFixture {
 public:
  void SetUp() override {
    WindowFixture::SetUp();
    if (IsSkipped()) return;
    Window().OnRunSequence();
    tool_ = Window().findChild<app::CSequenceWindow*>();
    ASSERT_NE(tool_, nullptr);
  }

  // Until the run has ended and the window has its port back.
  bool RunEnds(int withinMs) {
    return QTest::qWaitFor([&] { return !tool_->Running() && Window().PortBorrower().empty(); }, withinMs);
  }

  // The port is free again: an exchange of the test's own, which a port still held would refuse, is answered.
  static std::string ExchangeOfOurOwn(link::LineSettings line) {
    line.addressText = "01";
    line.baudIndex = link::kDefaultBaudIndex;
    return board::SendCommand(line, *board::Current().FindNamed("cmd13"), {}, nullptr).outcome.result;
  }

  const testing::TempFolder dir_;
  app::CSequenceWindow* tool_ = nullptr;
};

TEST_F(SequenceTest, SameVerdictsAndReportAsTheCommandLine) {
  const std::string sequence = dir_.Write("pass_fail.yaml", kPassFailPass);
  ASSERT_TRUE(tool_->Open(QString::fromStdString(sequence))) << tool_->StatusText().toStdString();
  for (const bool keepGoing : {false, true}) {
    SCOPED_TRACE(keepGoing);
    tool_->KeepGoing().setChecked(keepGoing);
    ASSERT_TRUE(tool_->Run()) << tool_->StatusText().toStdString();
    EXPECT_EQ(Window().PortBorrower(), "Sequence");
    ASSERT_TRUE(RunEnds(60'000));
    ASSERT_EQ(tool_->SaveJUnitReport(dir_.Path("window.xml")), "");

    const auto cli = testing::RunCli("run " + sequence + " --port " + board_->PortPath() + " --junit " +
                                     dir_.Path("cli.xml") + (keepGoing ? " --keep-going" : ""));
    EXPECT_EQ(cli.status, 1) << cli.out;
    EXPECT_EQ(WithoutTimes(dir_.Read("window.xml")), WithoutTimes(dir_.Read("cli.xml")));
  }
}

TEST_F(SequenceTest, ABadFileIsNamedAsRunNamesItAndNothingRuns) {
  const std::string sequence = dir_.Write("bad.yaml", "steps:\n  - send: cmd13\n    frequency: 5\n");
  EXPECT_FALSE(tool_->Open(QString::fromStdString(sequence)));
  EXPECT_FALSE(tool_->Run());
  const auto cli = testing::RunCli("run " + sequence + " --port " + board_->PortPath(), true);
  EXPECT_EQ(cli.status, 2);
  EXPECT_EQ("tarnwick-cli: " + tool_->StatusText().toStdString() + "\n", cli.out);
  EXPECT_TRUE(Heard().empty());
  EXPECT_TRUE(Window().PortBorrower().empty());
}

// A run is refused while Watch holds the port and runs once Watch's window is
// closed mid-watch; a watch under way when the main window itself goes leaves
// the port closed.
TEST_F(SequenceTest, ThePortComesBackWhenTheHoldersWindowGoes) {
  ASSERT_TRUE(tool_->Open(QString::fromStdString(dir_.Write("one.yaml", "steps: [{send: cmd13, addr: '01'}]"))));
  app::CWatchWindow* watch = &OpenWatch(Window());
  ASSERT_TRUE(watch->Start());
  EXPECT_FALSE(tool_->Run());
  EXPECT_EQ(tool_->StatusText(), "Watch is using the port");
  watch->close();
  ASSERT_TRUE(RunEnds(10'000));
  ASSERT_TRUE(tool_->Run()) << tool_->StatusText().toStdString();
  ASSERT_TRUE(RunEnds(60'000));

  ASSERT_TRUE(watch->Start());
  const std::size_t heard = Heard().size();
  ASSERT_GT(Heard(heard + 1).size(), heard);
  const link::LineSettings line = Window().CurrentLineSettings();
  window_.reset();
  EXPECT_EQ(ExchangeOfOurOwn(line), "Success");
}

struct EndCase {
  const char* name;
  const char* steps;
  bool closeWindow;  // else Stop
};

class EndTest : public SequenceTest, public ::testing::WithParamInterface<EndCase> {};

// Stop, or closing the window, ends the run after the exchange under way: the
// port is closed and returned, and the board hears nothing more.
TEST_P(EndTest, EndsPromptlyAndClosesThePort) {
  const std::string sequence = dir_.Write("long.yaml", std::string("steps:\n") + GetParam().steps);
  ASSERT_TRUE(tool_->Open(QString::fromStdString(sequence))) << tool_->StatusText().toStdString();
  ASSERT_TRUE(tool_->Run());
  ASSERT_GE(Heard(2).size(), 2u);
  QTest::qWait(50);
  QElapsedTimer took;
  took.start();
  if (GetParam().closeWindow) {
    Window().reject();
    EXPECT_FALSE(tool_->Running());
  } else {
    tool_->Stop();
  }
  ASSERT_TRUE(RunEnds(60'000));
  // The run ends after one exchange; the fault waits out a minute's wait or all the repeats.
  EXPECT_LT(took.elapsed(), 10'000);
  // The board counts a frame before it replies, so the run's last frame is counted.
  const std::uint64_t heard = board_->FramesHeard();
  EXPECT_EQ(ExchangeOfOurOwn(Window().CurrentLineSettings()), "Success");
  EXPECT_EQ(board_->FramesHeard(), heard + 1) << "the board heard the run after it ended";
  if (!GetParam().closeWindow) {
    ASSERT_FALSE(tool_->Outcomes().empty());
    EXPECT_EQ(tool_->Outcomes().back().stopped, "stopped");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ends, EndTest,
    ::testing::Values(
        EndCase{"StopDuringAWait", "  - {send: cmd13, addr: \"01\", repeat: 2}\n  - wait: 60000\n", false},
        EndCase{"StopDuringRepeats", "  - {send: cmd13, addr: \"01\", repeat: 100000}\n", false},
        EndCase{"CloseTheWindowDuringRepeats", "  - {send: cmd13, addr: \"01\", repeat: 100000}\n", true}),
    testing::RowName());

}  // namespace
}  // namespace tarnwick::gui_test
