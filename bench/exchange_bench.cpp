// N exchanges against the simulated board at 115200 baud: the median time of an
// exchange, and how much of it is the tool's own beyond the waits the line
// prescribes (the settle delay after sending, the 25 ms gap that ends a read),
// and the exchanges per second that each way of ending a reply allows.
// exchange_bench [N] [PORT]: without PORT it serves a board of its own on a
// pseudo-terminal; with one, a board at 115200 baud and address 01 must answer there.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "board/exchange.h"
#include "link/commands.h"
#include "link/baud_rates.h"
#include "link/port_list.h"
#ifndef _WIN32
#include "sim/board_server.h"
#endif

namespace {

using namespace tarnwick;
using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Measure(const char* what, link::CommandCode command, const std::string& address, int prescribedMs,
             const std::string& path, int n, link::ReadEnd readEnd = link::ReadEnd::Gap) {
  link::LineSettings line;
  line.portPath = path;
  line.baudIndex = 6;
  line.addressText = address;
  line.read.end = readEnd;
  std::vector<double> ms;
  for (int i = 0; i < n; ++i) {
    const board::Command& described = *board::Current().Find(link::CodeByte(command));
    const auto start = Clock::now();
    const auto outcome = board::SendCommand(line, described, {}).outcome;
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (outcome.stage == link::ExchangeStage::ReplyEvaluated && outcome.result != "Success") {
      std::fprintf(stderr, "exchange %d: %s\n", i, outcome.result.c_str());
      std::exit(1);
    }
  }
  const double median = Median(ms);
  double total = 0;
  for (double m : ms) total += m;
  std::printf("%-38s n=%d  median %.2f ms  prescribed %d ms  beyond %.2f ms  max %.2f ms  %.0f exchanges/s\n", what,
              n, median, prescribedMs, median - prescribedMs, *std::max_element(ms.begin(), ms.end()),
              1000.0 * n / total);
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 500;
  std::string path = argc > 2 ? link::ResolvePort(link::EnumeratePorts(), argv[2]) : std::string();
#ifndef _WIN32
  std::unique_ptr<sim::BoardServer> board;
  if (path.empty()) {
    sim::BoardState state;
    state.baudIndex = 6;
    board = sim::BoardServer::OnPseudoTerminal(state);
    path = board->PortPath();
  }
#endif
  if (path.empty()) {
    std::fprintf(stderr, "usage: exchange_bench N PORT (a board at 115200 baud, address 01)\n");
    return 2;
  }
  const int settle = link::SettleDelayMs(5, 115200);
  Measure("CMD13 with reply (5-byte frame)", link::CommandCode::kStepperStatus, "01", settle + link::kInterByteGapMs,
          path, n);
  Measure("CMD13, reply ended by its frame", link::CommandCode::kStepperStatus, "01", settle, path, n,
          link::ReadEnd::Frame);
  Measure("CMD3F broadcast, no reply", link::CommandCode::kStopMotor, "FF", settle, path, n);
  return 0;
}
