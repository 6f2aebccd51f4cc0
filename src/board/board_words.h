#pragma once
// The words a board file uses for the model's enumerations, and the names the
// generated table spells them with. The loader, the dump and the table generator
// share them, so a word means one thing everywhere.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "board/board.h"

namespace tarnwick::board::words {

template <class Enum>
struct Word {
  std::string_view text;   // in the file: "u16le"
  std::string_view code;   // in C++: "WireType::U16Le"
  Enum value;
};

inline constexpr std::array wireTypes{
    Word<WireType>{"u8", "WireType::U8", WireType::U8},
    Word<WireType>{"i8", "WireType::I8", WireType::I8},
    Word<WireType>{"u16le", "WireType::U16Le", WireType::U16Le},
    Word<WireType>{"u16be", "WireType::U16Be", WireType::U16Be},
    Word<WireType>{"i16le", "WireType::I16Le", WireType::I16Le},
    Word<WireType>{"i16be", "WireType::I16Be", WireType::I16Be},
    Word<WireType>{"u32le", "WireType::U32Le", WireType::U32Le},
    Word<WireType>{"u32be", "WireType::U32Be", WireType::U32Be},
    Word<WireType>{"i32le", "WireType::I32Le", WireType::I32Le},
    Word<WireType>{"i32be", "WireType::I32Be", WireType::I32Be},
    Word<WireType>{"check", "WireType::Check", WireType::Check},
    Word<WireType>{"pad", "WireType::Pad", WireType::Pad},
};
inline constexpr std::array textRules{
    Word<TextRule>{"decimal", "TextRule::Decimal", TextRule::Decimal},
    Word<TextRule>{"hex", "TextRule::Hex", TextRule::Hex},
    Word<TextRule>{"step-count", "TextRule::Count", TextRule::Count},
};
inline constexpr std::array outOfRanges{
    Word<OutOfRange>{"refuse", "OutOfRange::Refuse", OutOfRange::Refuse},
    Word<OutOfRange>{"cap", "OutOfRange::Cap", OutOfRange::Cap},
};
inline constexpr std::array replyRules{
    Word<ReplyRule>{"when-flagged", "ReplyRule::WhenFlagged", ReplyRule::WhenFlagged},
    Word<ReplyRule>{"always", "ReplyRule::Always", ReplyRule::Always},
};
inline constexpr std::array flagRules{
    Word<FlagRule>{"as-asked", "FlagRule::AsAsked", FlagRule::AsAsked},
    Word<FlagRule>{"always", "FlagRule::Always", FlagRule::Always},
};
inline constexpr std::array framings{
    Word<link::FrameCheck>{"sum16le", "link::FrameCheck::Sum16Le", link::FrameCheck::Sum16Le},
    Word<link::FrameCheck>{"crc16-modbus", "link::FrameCheck::Crc16Modbus", link::FrameCheck::Crc16Modbus},
};
inline constexpr std::array actions{
    Word<Action>{"none", "Action::None", Action::None},
    Word<Action>{"report-address", "Action::ReportAddress", Action::ReportAddress},
    Word<Action>{"change-address", "Action::ChangeAddress", Action::ChangeAddress},
    Word<Action>{"change-baud-rate", "Action::ChangeBaudRate", Action::ChangeBaudRate},
    Word<Action>{"reset-defaults", "Action::ResetDefaults", Action::ResetDefaults},
    Word<Action>{"stop", "Action::Stop", Action::Stop},
    Word<Action>{"setup-motor", "Action::SetupMotor", Action::SetupMotor},
    Word<Action>{"read-setup", "Action::ReadSetup", Action::ReadSetup},
    Word<Action>{"dc-status", "Action::DcStatus", Action::DcStatus},
};
inline constexpr std::array liveTests{
    Word<LiveTest>{"stepper-test", "LiveTest::Stepper", LiveTest::Stepper},
    Word<LiveTest>{"dc-test", "LiveTest::Dc", LiveTest::Dc},
};

template <class Enum, std::size_t N>
std::optional<Enum> FromText(const std::array<Word<Enum>, N>& words, std::string_view text) {
  for (const auto& word : words)
    if (word.text == text) return word.value;
  return std::nullopt;
}

template <class Enum, std::size_t N>
const Word<Enum>& Of(const std::array<Word<Enum>, N>& words, Enum value) {
  for (const auto& word : words)
    if (word.value == value) return word;
  return words.front();
}

// "decimal, hex or count": the choices a refusal lists.
template <class Enum, std::size_t N>
std::string Choices(const std::array<Word<Enum>, N>& words) {
  std::string text;
  for (std::size_t i = 0; i < N; ++i) {
    if (i > 0) text += i + 1 == N ? " or " : ", ";
    text += words[i].text;
  }
  return text;
}

}  // namespace tarnwick::board::words
