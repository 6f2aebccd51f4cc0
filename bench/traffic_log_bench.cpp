// The traffic log window open while 100,000 entries arrive: the time they take to
// reach the table and what they add to the process's resident memory. Entries
// come in bursts of BURST (default 17, a live test drag's worth between two turns
// of the event loop), then the log is filled again to see the oldest drop off.
//   QT_QPA_PLATFORM=offscreen traffic_log_bench [BURST]
#include <QApplication>
#include <QTableView>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tools/traffic_log_model.h"
#include "tools/traffic_log_window.h"

namespace {

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

double Fill(tarnwick::app::TrafficLogModel& model, int count, int burst) {
  using tarnwick::link::TrafficDirection;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    const bool tx = i % 2 == 0;
    model.Record({{}, "sim0", tx ? TrafficDirection::kTx : TrafficDirection::kRx,
                  tx ? tarnwick::link::Bytes{0x01, 0x01, 0x93, 0x95, 0x00}
                     : tarnwick::link::Bytes{0x01, 0x09, 0x13, 0, 0, 0, 0, 0, 0x64, 0xC4, 0x09, 0x4E, 0x01},
                  tx ? "CMD13 to 01" : "CMD13 from 01: Reverse unchecked, Step count 0, Pulse Duty 100, Frequency 2500",
                  ""});
    if ((i + 1) % burst == 0) QApplication::processEvents();
  }
  QApplication::processEvents();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const int burst = argc > 1 ? std::max(1, std::atoi(argv[1])) : 17;
  tarnwick::app::TrafficLogModel model;
  tarnwick::app::CTrafficLogWindow window(model);
  window.show();
  QApplication::processEvents();

  const long before = ResidentKb();
  const double first = Fill(model, 100'000, burst);
  const long afterFirst = ResidentKb();
  const double second = Fill(model, 100'000, burst);
  const long afterSecond = ResidentKb();
  std::printf("burst %d: first 100000 entries %.2f s, +%.1f MB; next 100000 (oldest dropping) %.2f s, +%.1f MB; "
              "rows %d, last row visible at bottom: %s\n",
              burst, first, (afterFirst - before) / 1024.0, second, (afterSecond - afterFirst) / 1024.0,
              model.rowCount(),
              window.Table()->rowAt(window.Table()->viewport()->height() - 1) == -1 ||
                      window.Table()->indexAt(QPoint(1, window.Table()->viewport()->height() - 2)).row() >=
                          model.rowCount() - 2
                  ? "yes"
                  : "no");
  return 0;
}
