#pragma once
// A board, or a line of boards, that answers from a recording: each request frame
// the traffic log holds gets the reply recorded for it, byte for byte. Pure logic,
// no I/O.

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "board.h"
#include "link/recorded_exchanges.h"

namespace tarnwick::sim {

class ReplayBoard {
 public:
  explicit ReplayBoard(const std::vector<link::RecordedExchange>& exchanges);

  // As Board::TakeFrame. A request answered differently over time gets the
  // replies in their recorded order, then the last one again; a request the
  // recording met with silence gets silence; a frame never recorded gets device
  // error 1 from its address when it asks for a reply and a board answered
  // from that address in the recording, and silence otherwise (no board of the recording is there).
  Board::Result TakeFrame(std::span<const std::uint8_t> bytes, bool atBurstEnd);

  std::size_t RequestCount() const { return answers_.size(); }
  const std::set<std::uint8_t>& Addresses() const { return addresses_; }

 private:
  struct Answers {
    std::vector<std::optional<Bytes>> replies;  // none: silence
    std::size_t next = 0;
  };
  Bytes Answer(std::span<const std::uint8_t> frame);
  Bytes Unknown(std::span<const std::uint8_t> frame) const;

  struct BytesLess {
    using is_transparent = void;
    bool operator()(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) const {
      return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
    }
  };
  std::map<Bytes, Answers, BytesLess> answers_;
  std::set<std::uint8_t> addresses_;  // that answered in the recording
};

}  // namespace tarnwick::sim
