// The codec against the known answers of the built-in board's fourteen commands,
// which give every command's code byte and data length, flagged and not.
#include "board/codec.h"

#include <gtest/gtest.h>

#include "link/frame.h"
#include "link/hex_text.h"
#include "testing/known_answers.h"

namespace tarnwick::board {
namespace {

FieldTexts TextsOf(std::string_view texts) {
  FieldTexts parsed;
  while (!texts.empty()) {
    const std::string_view entry = texts.substr(0, texts.find(';'));
    const std::size_t equals = entry.find('=');
    parsed[std::string(entry.substr(0, equals))] = std::string(entry.substr(equals + 1));
    texts.remove_prefix(std::min(entry.size() + 1, texts.size()));
  }
  return parsed;
}

const Command& Named(const char* name) {
  const Command* command = BuiltIn().FindNamed(name);
  EXPECT_NE(command, nullptr) << name;
  return *command;
}

TEST(Codec, EncodesEveryKnownFrameAndRefusesWithThePagesWords) {
  for (const testing::FrameAnswer& answer : testing::kFrameAnswers) {
    SCOPED_TRACE(std::string(answer.command) + " " + answer.texts);
    std::string reason;
    const bool flagged = answer.address != link::kBroadcastAddress;
    const auto encoded = Encode(Named(answer.command), TextsOf(answer.texts), flagged, &reason);
    const std::string frame = encoded ? link::FormatHexDump(link::MakeFrame(answer.address, *encoded)) : "refused: " + reason;
    EXPECT_EQ(frame, answer.frame);
  }
}

TEST(Codec, DecodesEveryKnownReply) {
  for (const testing::ReplyAnswer& answer : testing::kReplyAnswers) {
    SCOPED_TRACE(std::string(answer.command) + " " + answer.data);
    const Decoded decoded = DecodeReply(Named(answer.command), link::ParseHexBytes(answer.data).value());
    std::string shown = decoded.failed ? "failed" : decoded.tooShort ? "too short" : "";
    for (const DecodedField& field : decoded.fields) shown += (shown.empty() ? "" : ", ") + Describe(field);
    EXPECT_EQ(shown, answer.shown);
  }
}

}  // namespace
}  // namespace tarnwick::board
