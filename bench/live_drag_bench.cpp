// A live test page's trackbar dragged from one end to the other at 115200 baud, the
// thumb moved programmatically as a drag moves it, with the page's event loop run
// after every step. Against a pseudo-terminal that drains and counts the writes.
// Reports updates per second, the share of the time spent in the settle delay,
// and the tool's own time per update beyond the settle delay (on a
// pseudo-terminal the wire time is nil: the queue empties at once).
#include <QAbstractButton>
#include <QApplication>
#include <QSlider>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "link/baud_rates.h"
#include "pages/control_ids.h"
#include "pages/live_test_pages.h"
#include "testing/pty_peer.h"

namespace {

using namespace tarnwick;
using Clock = std::chrono::steady_clock;
constexpr int kBaud = 115200;

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

void Drag(const char* what, pages::LiveTestPanel& panel, int sliderId, int steps) {
  testing::WriteRecorder line;
  panel.SetPort(line.Path(), kBaud);
  panel.show();
  auto* slider = panel.controls().get<QSlider>(sliderId);
  auto* begin = panel.controls().get<QAbstractButton>(pages::ids::stepper_test::kBeginStop);
  begin->click();
  line.TakeAllSoFar();

  const int updateBytes = 17;
  const double settleMs = link::SettleDelayMs(updateBytes, kBaud);
  std::vector<double> ms;
  slider->setSliderDown(true);
  const auto dragStart = Clock::now();
  for (int i = 1; i <= steps; ++i) {
    const auto start = Clock::now();
    slider->setSliderPosition(slider->maximum() - slider->maximum() * i / steps);
    QApplication::processEvents();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  const double totalMs = std::chrono::duration<double, std::milli>(Clock::now() - dragStart).count();
  slider->setSliderDown(false);
  begin->click();  // stop

  // Stop's write is the last. Steps that sent nothing (frequency 0 at the end, the
  // D-C values above 65535 that all go out alike) never wait the settle delay.
  const std::size_t writes = line.TakeAllSoFar().size() - 1;
  std::erase_if(ms, [&](double step) { return step < settleMs; });
  const double updatesPerSecond = 1000.0 * static_cast<double>(writes) / totalMs;
  std::printf("%-26s updates %zu  %.1f/s  settle share %.1f%%  "
              "beyond settle: median %.3f ms  p99 %.3f ms  max %.3f ms\n",
              what, writes, updatesPerSecond, 100.0 * settleMs * static_cast<double>(writes) / totalMs,
              Percentile(ms, 0.5) - settleMs, Percentile(ms, 0.99) - settleMs,
              *std::max_element(ms.begin(), ms.end()) - settleMs);
}

}  // namespace

int main(int argc, char** argv) {
  const int steps = argc > 1 ? std::atoi(argv[1]) : 500;
  QApplication app(argc, argv);
  pages::CStepperTestPanel stepper;
  Drag("Stepper Test, Freq", stepper, pages::ids::stepper_test::kFrequencySlider, steps);
  pages::CDCTestPanel dc;
  Drag("D-C Test, Left Freq", dc, pages::ids::dc_test::kLeftFrequencySlider, steps);
  return 0;
}
