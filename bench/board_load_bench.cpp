// How long a board costs: the built-in table's first BuiltIn() (once a program;
// measured first, before anything else has warmed the heap), then N reads of a
// board file with LoadBoardFile, median and max.
// board_load_bench [N] [FILE]   (FILE: boards/motor-driver.yaml of the source tree)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "board/board_file.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const auto firstStart = Clock::now();
  const auto& builtIn = tarnwick::board::BuiltIn();
  const double first = MillisecondsSince(firstStart);
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const std::string path = argc > 2 ? argv[2] : TARNWICK_BOARDS "/motor-driver.yaml";

  std::vector<double> loads;
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    const auto result = tarnwick::board::LoadBoardFile(path);
    loads.push_back(MillisecondsSince(start));
    if (!result.board) {
      for (const auto& problem : result.problems) std::fprintf(stderr, "%s\n", problem.c_str());
      return 1;
    }
  }
  std::sort(loads.begin(), loads.end());
  std::printf("BuiltIn() first call: %.3f ms (%zu commands)\n", first, builtIn.commands.size());
  std::printf("LoadBoardFile %s, %d times: median %.3f ms, max %.3f ms\n", path.c_str(), count, loads[loads.size() / 2],
              loads.back());
  return 0;
}
