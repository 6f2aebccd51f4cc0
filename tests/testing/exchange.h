#pragma once
// One exchange of a command, as the command line reports it.

#include "board/exchange.h"
#include "cli/cli_host.h"
#include "link/commands.h"

namespace tarnwick::testing {

struct Done {
  link::ExchangeOutcome outcome;
  cli::Report report;
};

inline Done Exchange(const link::LineSettings& line, link::CommandCode command, const board::FieldTexts& texts = {},
                     link::TrafficLog* log = nullptr) {
  const board::ExchangeRecord record =
      board::SendCommand(line, *board::Current().Find(link::CodeByte(command)), texts, log);
  return {record.outcome, cli::ReportOf(record, line.portPath)};
}

}  // namespace tarnwick::testing
