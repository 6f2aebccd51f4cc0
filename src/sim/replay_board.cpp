#include "replay_board.h"

#include <algorithm>

namespace tarnwick::sim {
ReplayBoard::ReplayBoard(const std::vector<link::RecordedExchange>& exchanges) {
  for (const link::RecordedExchange& exchange : exchanges) {
    const auto frames = link::SplitFrames(exchange.request).value_or(std::vector<std::span<const std::uint8_t>>{});
    for (std::size_t i = 0; i < frames.size(); ++i) {
      const bool last = i + 1 == frames.size();
      answers_[Bytes(frames[i].begin(), frames[i].end())].replies.push_back(last ? exchange.reply : std::nullopt);
      if (last && exchange.reply) addresses_.insert(frames[i][link::kAddressOffset]);
    }
  }
}

Board::Result ReplayBoard::TakeFrame(std::span<const std::uint8_t> bytes, bool atBurstEnd) {
  if (bytes.size() < 2) return {atBurstEnd ? bytes.size() : 0, {}, atBurstEnd};
  const std::size_t claimed = *link::Framing::AnnouncedSize(bytes);
  if (claimed <= bytes.size() && link::FramingInUse().Verify(bytes.first(claimed)))
    return {claimed, Answer(bytes.first(claimed)), true};
  if (!atBurstEnd) return {0, {}, false};
  return {bytes.size(), Answer(bytes), true};  // the burst as it stands, once the line is quiet
}

Bytes ReplayBoard::Answer(std::span<const std::uint8_t> frame) {
  const auto found = answers_.find(frame);
  if (found == answers_.end()) return Unknown(frame);
  Answers& answers = found->second;
  const auto& reply = answers.replies[std::min(answers.next, answers.replies.size() - 1)];
  if (answers.next < answers.replies.size()) ++answers.next;
  return reply.value_or(Bytes{});
}

Bytes ReplayBoard::Unknown(std::span<const std::uint8_t> frame) const {
  if (frame.size() <= link::kCommandOffset || !(frame[link::kCommandOffset] & link::kReplyFlag) ||
      !addresses_.contains(frame[link::kAddressOffset]))
    return {};
  const std::uint8_t body[] = {link::kDeviceErrorCommand, static_cast<std::uint8_t>(DeviceError::InvalidCommand)};
  return link::FramingInUse().Make(frame[link::kAddressOffset], body);
}

}  // namespace tarnwick::sim
