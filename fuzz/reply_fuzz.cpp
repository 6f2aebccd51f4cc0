// Reply handling through the real transaction: a stand-in port answers with the
// fuzzer's bytes, or fails the write. Whatever comes back, the exchange ends in a
// result text and reads nothing past what arrived (the sanitizers watch the
// buffer); a write that failed is never followed by a read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "board/exchange.h"
#include "link/transaction.h"
#include "stand_in_port.h"

using namespace tarnwick;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const auto& commands = board::Current().commands;
  const board::Command& command = commands[data[0] % commands.size()];
  fuzzing::StandInLine& standIn = fuzzing::TheStandInLine();
  standIn.reply.assign(data + 1, data + size);
  standIn.sendFails = (data[0] & 0x40) != 0;
  link::LineSettings line;
  line.portPath = "scripted";
  line.addressText = (data[0] & 0x80) ? "FF" : "01";
  line.read.end = (data[0] & 0x20) ? link::ReadEnd::Frame : link::ReadEnd::Gap;
  const board::ExchangeRecord record = board::SendCommand(line, command, {});
  const link::ExchangeOutcome& outcome = record.outcome;
  if (outcome.stage == link::ExchangeStage::ReplyEvaluated && outcome.result.empty()) std::abort();
  if (standIn.sendFails && (outcome.stage == link::ExchangeStage::ReplyEvaluated ||
                            outcome.stage == link::ExchangeStage::Sent))
    std::abort();
  return 0;
}
