#include "cli/replay_command.h"

#include <iostream>

#include "bench/recorded_sequence.h"
#include "bench/sequence_file.h"
#include "link/baud_rates.h"
#include "link/json_text.h"
#include "link/record_file.h"

namespace tarnwick::cli {
namespace {

using bench::kMaxSequenceBytes;
using bench::kMaxSequenceSteps;
using bench::ReplayedSequence;
using bench::ReplayOptions;
using bench::SequenceFromExchanges;

using Json = nlohmann::ordered_json;

// What 'run' would refuse in the file written, said before anyone tries.
std::string LimitsNote(const ReplayedSequence& replayed) {
  if (replayed.steps > kMaxSequenceSteps)
    return std::to_string(replayed.steps) + " steps; 'run' takes at most " + std::to_string(kMaxSequenceSteps) +
           ": split the log first";
  if (replayed.yaml.size() > kMaxSequenceBytes) return "the file would pass " + std::to_string(kMaxSequenceBytes / 1024) + " KB, more than 'run' reads: split the log first";
  return {};
}

void PrintWritten(const ReplayCommandLine& replay, const ReplayedSequence& replayed, std::size_t exchanges, const OutputMode& mode) {
  const std::string limits = LimitsNote(replayed);
  if (mode.json) {
    Json summary{{"sequence", replay.sequence}, {"exchanges", exchanges}, {"steps", replayed.steps},
                 {"not_replayed", replayed.notReplayed}, {"note", limits.empty() ? Json() : Json(limits)}, {"exit_status", 0}};
    std::cout << link::JsonText(summary, 2) << "\n";
    return;
  }
  const auto counted = [](std::size_t count, const char* what) {
    return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
  };
  std::cout << replay.sequence << ": " << counted(replayed.steps, "step") << " from " << counted(exchanges, "exchange") << "\n";
  if (replayed.notReplayed > 0)
    std::cerr << kProgram << ": " << replayed.notReplayed
              << " frames that no command describes are left as comments in the file, not sent\n";
  if (!limits.empty()) std::cerr << kProgram << ": " << limits << "\n";
}

}  // namespace

void AddReplay(CLI::App& app, ReplayCommandLine& replay) {
  replay.app = app.add_subcommand("replay", "Turn a traffic log (--log) into a test sequence that expects the replies recorded");
  replay.app->fallthrough();
  replay.app->add_option("LOG", replay.log, "The traffic log, JSON lines as --log writes them")->required()->type_name("FILE");
  replay.app->add_option("--sequence", replay.sequence, "Write the sequence here (YAML, for 'run')")
      ->required()
      ->type_name("FILE");
  replay.app->add_flag("--keep-timing", replay.keepTiming, "Keep the pauses between exchanges as wait steps");
  replay.app->add_option("--baud", replay.baud, "The rate the recording began at: the sequence's rate")
      ->check(CLI::IsMember(std::vector<int>(link::kBaudRates.begin(), link::kBaudRates.end())));
  replay.app->footer(Examples({"replay session.log --sequence session.yaml --baud 9600"}) +
                     "\n\nEach exchange becomes a step: its command, fields and address, and an expect of the\n"
                     "result and fields recorded. Exit status: 0 written, 2 the log cannot be read back\n"
                     "(FILE:LINE: reason; nothing is written) or the sequence cannot be written.");
}

int RunReplay(const ReplayCommandLine& replay, const OutputMode& mode) {
  std::vector<link::RecordedExchange> exchanges;
  try {
    exchanges = link::ReadRecordedExchanges(replay.log);
  } catch (const link::InvalidLog& invalid) {
    return RefuseInvocation(link::PlacedReason(replay.log, invalid), mode);
  }
  ReplayOptions options{replay.keepTiming, replay.baud ? std::optional(replay.baud) : std::nullopt};
  const ReplayedSequence replayed = SequenceFromExchanges(exchanges, options);
  std::string error;
  auto file = link::RecordFile::Open(replay.sequence, "the sequence", error);
  if (!file || !file->Replace(replayed.yaml) || !file->Close())
    return RefuseInvocation(file ? file->Error() : error, mode);
  PrintWritten(replay, replayed, exchanges.size(), mode);
  return 0;
}

}  // namespace tarnwick::cli
