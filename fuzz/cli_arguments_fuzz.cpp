// tarnwick-cli's whole command line, parsing through output: the input, split at
// NUL bytes, is its argument vector. Any combination ends with an exit status of
// 0 to 3, never a signal or an exception. A stand-in port answers, so no device is
// touched, and a registry directory of the target's own keeps the user's boards out.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "stand_in_port.h"

int TarnwickCliMain(int argc, char** argv);

namespace {

constexpr std::size_t kMaxArguments = 64;

std::vector<std::string> ArgumentsOf(std::string_view input) {
  std::vector<std::string> arguments{"tarnwick-cli"};
  for (std::size_t start = 0; start <= input.size() && arguments.size() < kMaxArguments;) {
    const std::size_t end = std::min(input.find('\0', start), input.size());
    arguments.emplace_back(input.substr(start, end - start));
    start = end + 1;
  }
  return arguments;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static const std::string registry =
      (std::filesystem::temp_directory_path() / ("tarnwick-cli-fuzz-" + std::to_string(::getpid()))).string();
  std::filesystem::create_directories(registry);
  ::setenv("XDG_RUNTIME_DIR", registry.c_str(), 1);
  // What the program prints goes nowhere; the fuzzer's own reports still use stderr.
  std::cout.rdbuf(nullptr);
  std::cerr.rdbuf(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  tarnwick::fuzzing::TheStandInLine().sendFails = (data[0] & 1) != 0;
  std::vector<std::string> arguments =
      ArgumentsOf(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  // --log appends to a file it names: fuzzing would litter the disk.
  if (std::ranges::any_of(arguments, [](const std::string& argument) { return argument.starts_with("--log"); }))
    return 0;
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int status = TarnwickCliMain(static_cast<int>(arguments.size()), argv.data());
  if (status < 0 || status > 3) std::abort();
  std::cout.clear();
  std::cerr.clear();
  return 0;
}
