// Watch against the simulated stepper: CMD13 every 20 ms plotted live while the
// window stays responsive, and a board gone silent counted and marked as failures
// on the time axis rather than drawn as zeros.

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <qcustomplot.h>

#include "app/watch_window.h"
#include "testing/pty_peer.h"
#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

struct WatchCase {
  const char* name;
  int silentReplies;  // the board's next replies that never come
};

void PrintTo(const WatchCase& c, std::ostream* os) { *os << c.name; }

class WatchTest : public WindowFixture, public ::testing::WithParamInterface<WatchCase> {};

// The longest a queued call waited for the window's thread, sampled every 50 ms for ms.
qint64 LongestWait(int ms) {
  qint64 longest = 0;
  QElapsedTimer running;
  running.start();
  while (running.elapsed() < ms) {
    QElapsedTimer posted;
    posted.start();
    bool handled = false;
    QTimer::singleShot(0, [&] {
      longest = std::max(longest, posted.elapsed());
      handled = true;
    });
    while (!handled) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < 50) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return longest;
}

// The points a graph holds that are not gaps, and their distinct values.
std::pair<int, std::set<double>> Points(const QCPGraph& graph) {
  int count = 0;
  std::set<double> values;
  for (auto point = graph.data()->constBegin(); point != graph.data()->constEnd(); ++point) {
    if (std::isnan(point->value)) continue;
    ++count;
    values.insert(point->value);
  }
  return {count, values};
}

TEST_P(WatchTest, PlotsCmd13LiveMarksFailuresAndCountsThem) {
  sim::BoardState state;
  state.Store("step-count", 6000);
  state.Store("frequency", 1000);
  board_->SetState(state);
  if (GetParam().silentReplies > 0) board_->SetFault({sim::FaultKind::NoReply, 2, {}, GetParam().silentReplies});
  Window().SetAddressText("01");
  Window().OnWatch();
  auto* watch = Window().findChild<app::CWatchWindow*>();
  ASSERT_NE(watch, nullptr);
  watch->SetIntervalMs(20);
  ASSERT_TRUE(watch->Start());
  EXPECT_EQ(Window().PortBorrower(), "Watch");

  EXPECT_LT(LongestWait(1500), 100);
  watch->Stop();
  QElapsedTimer returning;
  returning.start();
  while (!Window().PortBorrower().empty() && returning.elapsed() < 2000) QCoreApplication::processEvents();
  EXPECT_EQ(Window().PortBorrower(), "");

  const cli::WatchSummary& summary = watch->Summary();
  const int failed = GetParam().silentReplies;
  EXPECT_GE(summary.successes, 15);
  EXPECT_EQ(summary.exchanges - summary.successes, failed);
  EXPECT_EQ(summary.failures.count("No response data") ? summary.failures.at("No response data") : 0, failed);
  EXPECT_EQ(watch->FailureMarks().data()->size(), failed);
  for (const auto& [key, value] : {std::pair{"step_count", 6000.0}, {"frequency", 1000.0}}) {
    ASSERT_NE(watch->GraphOf(key), nullptr) << key;
    EXPECT_EQ(Points(*watch->GraphOf(key)), (std::pair{summary.successes, std::set{value}})) << key;
  }
  EXPECT_TRUE(watch->StatusText().startsWith(QString::fromStdString(summary.CountsText())))
      << watch->StatusText().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Watch, WatchTest,
                         ::testing::Values(WatchCase{"Steady", 0}, WatchCase{"SilentBoard", 3}),
                         [](const auto& info) { return std::string(info.param.name); });

struct StrangeReplyCase {
  const char *name, *address, *command, *result;
};

class WatchStrangeReplyTest : public WindowFixture, public ::testing::WithParamInterface<StrangeReplyCase> {};

// Against a board at 01 that gives every frame its CMD13 reply, every exchange
// fails with what came instead.
TEST_P(WatchStrangeReplyTest, AReplyNotAskedForIsAFailure) {
  testing::PtyPeer standIn;
  standIn.AnswerEveryFrame(testing::kCmd13ReplyFrom01);
  ports_ = {{"sim0", standIn.Path()}};
  NewWindow();
  Window().SetAddressText(GetParam().address);
  Window().OnWatch();
  auto* watch = Window().findChild<app::CWatchWindow*>();
  ASSERT_NE(watch, nullptr);
  ASSERT_TRUE(watch->SelectCommand(GetParam().command));
  watch->SetIntervalMs(0);
  ASSERT_TRUE(watch->Start());
  EXPECT_TRUE(QTest::qWaitFor([&] { return watch->Summary().exchanges >= 2; }, 10'000));
  watch->Stop();
  EXPECT_EQ(watch->Summary().failures, (std::map<std::string, int>{{GetParam().result, watch->Summary().exchanges}}));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, WatchStrangeReplyTest,
    ::testing::Values(StrangeReplyCase{"FromAnotherBoard", "05", "CMD13", "Reply from 01 (asked 05)"},
                      StrangeReplyCase{"ToAnotherCommand", "01", "CMD43", "Reply to CMD13 (asked CMD43)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnwick::gui_test
