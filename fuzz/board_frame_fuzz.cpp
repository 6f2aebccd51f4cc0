// The simulated board's frame parser: any burst, taken frame by frame the way the
// board's server takes it, ends with every byte consumed and every reply a frame
// whose checksum holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "link/commands.h"
#include "link/frame.h"
#include "sim/board.h"

using namespace tarnwick;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  sim::BoardState state;
  state.motorType = (data[0] & 1) ? link::kMotorDc : link::kMotorStepper;
  sim::Board board(state);
  std::span<const std::uint8_t> pending(data + 1, size - 1);
  while (!pending.empty()) {
    // The burst arrives whole; mid-burst the board waits for more, at its end it judges.
    auto taken = board.TakeFrame(pending, false);
    if (!taken.complete || taken.consumed == 0) taken = board.TakeFrame(pending, true);
    if (taken.consumed == 0 || taken.consumed > pending.size()) std::abort();
    if (!taken.reply.empty() && !link::Framing().Verify(taken.reply)) std::abort();
    pending = pending.subspan(taken.consumed);
  }
  return 0;
}
