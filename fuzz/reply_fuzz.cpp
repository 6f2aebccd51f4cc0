// Reply handling through the real transaction: a port that answers with the fuzzer's
// bytes stands in for the line. Whatever comes back, the exchange ends in a result
// text and reads nothing past what arrived (the sanitizers watch the buffer).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "cli/cli_host.h"
#include "link/serial_port.h"
#include "link/commands.h"
#include "link/transaction.h"

namespace tarnwick::link {
namespace {

std::vector<std::uint8_t> g_reply;

class ScriptedPort final : public SerialPort {
 public:
  void TransmitFrame(std::span<const std::uint8_t>, int) override {}
  ReadResult ReadReply(FrameBuffer& buffer) override {
    const std::size_t count = std::min(g_reply.size(), buffer.size());
    std::copy_n(g_reply.begin(), count, buffer.begin());
    return {true, count};
  }
};

}  // namespace

// The line this target links in place of the POSIX port.
std::unique_ptr<SerialPort> OpenPort(const std::string&, int, OpenError* error) {
  if (error) *error = {};
  return std::make_unique<ScriptedPort>();
}

std::string DescribeOpenError(const std::string& path, const OpenError&) { return "cannot open " + path; }

}  // namespace tarnwick::link

using namespace tarnwick;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const link::CommandInfo& command = link::kCommands[data[0] % link::kCommands.size()];
  link::g_reply.assign(data + 1, data + size);
  link::LineSettings line;
  line.portPath = "scripted";
  line.addressText = (data[0] & 0x80) ? "FF" : "01";
  cli::CliHost host({});
  const link::ExchangeOutcome outcome = link::SendCommand(host, line, command.code);
  if (outcome.stage == link::ExchangeStage::ReplyEvaluated && !host.GetReport().result) std::abort();
  return 0;
}
