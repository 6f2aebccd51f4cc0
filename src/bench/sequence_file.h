#pragma once
// A test sequence as read from its YAML file: the steps, each with the line it
// stands on, checked with the same option rules and messages as the command line.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/line_options.h"
#include "board/board.h"
#include "board/board_file.h"
#include "board/codec.h"
#include "link/transaction.h"

namespace tarnwick::bench {

// A sequence file that cannot be run, and the line that says so (0: the file
// itself), with its column where one place is meant.
struct InvalidSequence {
  int line = 0;
  std::string reason;
  int column = 0;
};

// What a sequence may hold: checked before it is parsed, and after its aliases are followed.
inline constexpr std::size_t kMaxSequenceBytes = board::kMaxYamlFileBytes;
inline constexpr std::size_t kMaxSequenceSteps = 10'000;
// What the steps keep of the file's texts, each counted again where an alias repeats it.
inline constexpr std::size_t kMaxSequenceTextBytes = std::size_t{1} << 20;

struct Step {
  int line = 0;
  std::string title;  // "cmd42", "wait 200 ms"
  const board::Command* command = nullptr;  // none: a wait
  board::FieldTexts fields;
  link::LineSettings settings;
  int repeat = 1;
  int waitMs = 0;
  std::vector<std::pair<std::string, std::string>> expect;  // a JSON field key or "result", and the value
};

// "PATH:LINE:COLUMN: reason", without the line or column where the file itself is meant.
std::string PlacedReason(const std::string& path, const InvalidSequence& invalid);

// How a step's port is found: FindLinePort, or a front end's own around it.
using PortChooser = std::function<std::optional<link::PortEntry>(const LineOptions&, std::string& error)>;

// The steps of the file at path; portOverride, when given, replaces the file's
// port. Each port is looked up once. Throws InvalidSequence.
std::vector<Step> ParseSequence(const std::string& path, const std::string& portOverride,
                                const PortChooser& choose = FindLinePort);

}  // namespace tarnwick::bench
