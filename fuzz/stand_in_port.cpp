// Defines everything the platform's port object would, so the static library's
// own port is never pulled in: no device is opened while fuzzing.
#include "stand_in_port.h"

#include <algorithm>

#include "link/serial_port.h"

namespace tarnwick::fuzzing {

StandInLine& TheStandInLine() {
  static StandInLine line;
  return line;
}

}  // namespace tarnwick::fuzzing

namespace tarnwick::link {
namespace {

class StandInPort final : public SerialPort {
 public:
  TransmitResult TransmitFrame(std::span<const std::uint8_t>, int) override {
    if (fuzzing::TheStandInLine().sendFails) return {false, "Input/output error"};
    return {true, {}};
  }
  // The reply arrives byte by byte, so a frame rule may end the read early as a real
  // port's would.
  ReadResult ReadReply(FrameBuffer& buffer, const ReadRule& rule) override {
    const auto& reply = fuzzing::TheStandInLine().reply;
    const std::size_t available = std::min({reply.size(), buffer.size(), rule.byteLimit});
    std::size_t count = 0;
    while (count < available) {
      buffer[count] = reply[count];
      ++count;
      if (ReadIsComplete(std::span<const std::uint8_t>(buffer.data(), count), rule)) break;
    }
    return {true, count};
  }
};

}  // namespace

std::unique_ptr<SerialPort> OpenPort(const std::string&, int, OpenError* error) {
  if (error) *error = {};
  return std::make_unique<StandInPort>();
}

int HoldLineExclusively(int) { return 0; }
void ReleaseLineExclusively(int) {}

std::string DescribeOpenError(const std::string& path, const OpenError&) { return "cannot open " + path; }

}  // namespace tarnwick::link
