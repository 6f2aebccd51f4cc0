// Watch's two costs: drawing its plot full (CWatchWindow::kMaxSamples points in
// each of two fields, a failure mark every 1000th) and the exchanges a second it
// reaches at interval 0 against a simulated stepper at 115200 baud on a
// pseudo-terminal. Offscreen, in-process; the window at its start size.
//   QT_QPA_PLATFORM=offscreen watch_bench [SECONDS]
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <qcustomplot.h>
#include <vector>

#include "sim/board_server.h"
#include "tools/watch_window.h"
#include "window/main_window.h"

namespace {

using tarnwick::app::CWatchWindow;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Fill(QCPGraph& graph, double (*shape)(int)) {
  QVector<double> keys, values;
  for (int i = 0; i < CWatchWindow::kMaxSamples; ++i) {
    keys.push_back(i * 0.02);
    values.push_back(shape(i));
  }
  graph.setData(keys, values, true);
}

// Milliseconds per replot, median and slowest of runs, the window shown.
void DrawTime(CWatchWindow& watch) {
  Fill(*watch.GraphOf("step_count"), [](int i) { return 1000.0 * i + 50 * std::sin(i * 0.01); });
  Fill(*watch.GraphOf("frequency"), [](int i) { return 2500 + 400 * std::sin(i * 0.001) + (i * 7919 % 13); });
  for (int i = 0; i < CWatchWindow::kMaxSamples; i += 1000) watch.FailureMarks().addData(i * 0.02, 0);
  watch.Plot().rescaleAxes();
  std::vector<double> times;
  for (int run = 0; run < 30; ++run) {
    QElapsedTimer timer;
    timer.start();
    watch.Plot().replot(QCustomPlot::rpImmediateRefresh);
    times.push_back(timer.nsecsElapsed() / 1e6);
  }
  std::printf("plot %dx%d, 2 fields x %d points: replot median %.2f ms, max %.2f ms\n", watch.Plot().width(),
              watch.Plot().height(), CWatchWindow::kMaxSamples, Median(times),
              *std::max_element(times.begin(), times.end()));
}

void WatchRate(CWatchWindow& watch, tarnwick::app::CTarnwickDlg& dialog, int seconds) {
  dialog.SetAddressText("01");
  dialog.SelectBaudIndex(6);  // 115200
  watch.SetIntervalMs(0);
  if (!watch.Start()) std::exit(1);
  QElapsedTimer running;
  running.start();
  // How long a call queued to the window's thread waits, as a click would: one every 10 ms.
  std::vector<double> waits;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&waits] {
    auto posted = std::make_shared<QElapsedTimer>();
    posted->start();
    QTimer::singleShot(0, [&waits, posted] { waits.push_back(posted->nsecsElapsed() / 1e6); });
  });
  probe.start(10);
  QEventLoop loop;
  QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
  loop.exec();
  probe.stop();
  watch.Stop();
  QApplication::processEvents();
  const auto& summary = watch.Summary();
  std::printf("interval 0 at 115200 baud for %d s: %d exchanges (%.0f a second), %d succeeded; %s\n", seconds,
              summary.exchanges, summary.exchanges / (running.elapsed() / 1000.0), summary.successes,
              summary.RoundTripsText().c_str());
  std::printf("a queued call waited: median %.2f ms, max %.2f ms (%zu calls)\n", Median(waits),
              *std::max_element(waits.begin(), waits.end()), waits.size());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  tarnwick::sim::BoardState state;
  state.baudIndex = 6;
  const auto board = tarnwick::sim::BoardServer::OnPseudoTerminal(state);
  tarnwick::app::CTarnwickDlg dialog(
      [&] { return std::vector<tarnwick::link::PortEntry>{{"sim0", board->PortPath()}}; });
  dialog.OnWatch();
  auto* watch = dialog.findChild<CWatchWindow*>();
  QApplication::processEvents();
  WatchRate(*watch, dialog, seconds);
  DrawTime(*watch);
  return 0;
}
