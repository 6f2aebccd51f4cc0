// Watch against the simulated stepper: CMD13 every 20 ms plotted live while the
// window stays responsive, a board gone silent counted and marked as failures on
// the time axis rather than drawn as zeros, and axes that fit what they show.

#include <QElapsedTimer>
#include <QFile>
#include <QMetaObject>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <memory>
#include <map>
#include <set>
#include <qcustomplot.h>

#include "link/serial_port.h"
#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

// The parameter: how many of the board's next replies never come.
class WatchTest : public WindowFixture, public ::testing::WithParamInterface<int> {};

// How long the window's thread left a call waiting that was queued as the board heard
// each frame. An exchange run on that thread would hold it through a whole silent
// read, so each frame the board leaves unanswered would show one such wait.
class WindowThreadWaits {
 public:
  explicit WindowThreadWaits(sim::BoardServer& board) {
    board.ObserveTraffic([waits = waits_](const sim::Bytes&, bool heard) {
      if (!heard) return;
      QElapsedTimer posted;
      posted.start();
      QMetaObject::invokeMethod(qApp, [waits, posted] { waits->push_back(posted.elapsed()); }, Qt::QueuedConnection);
    });
  }
  long AtLeast(qint64 ms) const { return std::count_if(waits_->begin(), waits_->end(), [&](qint64 w) { return w >= ms; }); }

 private:
  std::shared_ptr<std::vector<qint64>> waits_ = std::make_shared<std::vector<qint64>>();
};

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

// Every plotted point lies inside its graph's value axis, each axis spans at most a
// fixed factor of what it shows (the data's span, or for a constant trace a span
// around it), and every plot shows the same stretch of time.
void ExpectTheAxesFitThePoints(const app::CWatchWindow& watch) {
  std::map<QCPAxis*, std::set<double>> shown;
  for (int i = 0; i < watch.Plot().graphCount(); ++i) {
    const QCPGraph& graph = *watch.Plot().graph(i);
    if (&graph == &watch.FailureMarks()) continue;
    shown[graph.valueAxis()].merge(Points(graph).second);
    EXPECT_EQ(graph.keyAxis()->range(), watch.Plot().xAxis->range());
  }
  for (const auto& [axis, values] : shown) {
    ASSERT_FALSE(values.empty()) << "nothing plotted on " << axis->label().toStdString();
    const double lowest = *values.begin(), highest = *values.rbegin();
    const QCPRange range = axis->range();
    EXPECT_TRUE(range.lower < lowest && range.upper > highest) << lowest << " to " << highest << " on " << range.lower
                                                               << " to " << range.upper;
    const double span = highest > lowest ? highest - lowest : std::max(std::abs(highest) * 0.1, 2.0);
    EXPECT_LE(range.size(), 1.5 * span) << range.lower << " to " << range.upper;
  }
}

TEST_P(WatchTest, PlotsCmd13LiveMarksFailuresAndCountsThem) {
  sim::BoardState state;
  state.Store("step-count", 6000);
  state.Store("frequency", 1000);
  board_->SetState(state);
  if (GetParam() > 0) board_->SetFault({sim::FaultKind::NoReply, 2, {}, GetParam()});
  app::CWatchWindow* watch = &OpenWatch(Window(), 20);
  const WindowThreadWaits waits(*board_);
  ASSERT_TRUE(watch->Start());

  const bench::WatchSummary& summary = watch->Summary();
  const int failed = GetParam();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return summary.successes >= 15 && summary.exchanges - summary.successes >= failed; }, 60'000));
  watch->Stop();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Window().PortBorrower().empty(); }, 10'000));
  // As many such waits would take a scheduler that stalled the window's thread for
  // most of a silent read each time the board went quiet.
  if (failed > 0) {
    EXPECT_LT(waits.AtLeast(link::kReadTotalMs * 3 / 4), failed);
  }

  EXPECT_EQ(summary.exchanges - summary.successes, failed);
  EXPECT_EQ(summary.failures.count("No response data") ? summary.failures.at("No response data") : 0, failed);
  EXPECT_EQ(watch->FailureMarks().data()->size(), failed);
  for (const auto& [key, value] : {std::pair{"step_count", 6000.0}, {"frequency", 1000.0}}) {
    ASSERT_NE(watch->GraphOf(key), nullptr) << key;
    EXPECT_EQ(Points(*watch->GraphOf(key)), (std::pair{summary.successes, std::set{value}})) << key;
  }
  EXPECT_TRUE(watch->StatusText().startsWith(QString::fromStdString(summary.CountsText())))
      << watch->StatusText().toStdString();
  // The board is at rest: redrawn again and again, the axes stay where the data is,
  // with every field shown and then one alone.
  for (int redraw = 0; redraw < 300; ++redraw) watch->AutoScale();
  ExpectTheAxesFitThePoints(*watch);
  for (const char* key : {"pulse_duty", "frequency"}) watch->ShowField(key, false);
  for (int redraw = 0; redraw < 300; ++redraw) watch->AutoScale();
  ExpectTheAxesFitThePoints(*watch);
}

INSTANTIATE_TEST_SUITE_P(Watch, WatchTest, ::testing::Values(0, 3),
                         [](const auto& info) { return "Silent" + std::to_string(info.param); });

// A plot per field on a board whose count runs into the billions while its duty
// stays under 100: each field keeps an axis of its own that fits it, redraw after
// redraw as the samples come; and the plot saves as a picture.
TEST_F(WindowFixture, WatchStackedGivesEachFieldAnAxisThatFitsIt) {
  app::CWatchWindow& watch = OpenWatch(Window());
  watch.SetPlotLayout(app::CWatchWindow::PlotLayout::AxisPerField);
  ASSERT_TRUE(watch.Start());
  for (int redraw = 0; redraw < 150 && !HasFailure(); ++redraw) {
    sim::BoardState state = board_->State();
    state.Store("step-count", 1'000'000'000 + 7'000'000 * redraw);  // within its 31 bits
    state.Store("pulse-duty", redraw % 101);
    board_->SetState(state);
    const int taken = watch.Summary().successes;
    ASSERT_TRUE(QTest::qWaitFor([&] { return watch.Summary().successes > taken + 1; }, 30'000));
    watch.AutoScale();
    ExpectTheAxesFitThePoints(watch);
  }
  watch.Stop();
  std::set<QCPAxis*> axes;
  for (const char* key : {"step_count", "pulse_duty", "frequency"}) axes.insert(watch.GraphOf(key)->valueAxis());
  EXPECT_EQ(axes.size(), 3u);

  const QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("watch.png"));
  ASSERT_TRUE(watch.SavePlot(path));
  QFile saved(path);
  EXPECT_TRUE(saved.open(QIODevice::ReadOnly) && saved.read(4) == "\x89PNG" && saved.size() > 1000);
}

}  // namespace
}  // namespace tarnwick::gui_test
