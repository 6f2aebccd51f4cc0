// The codec against known answers for the fourteen commands of the built-in board,
// which give every command's code byte and data length, flagged and not: the frame
// a page's texts give, the reason a refused text is refused, and what a reply's
// data shows.
#include "board/codec.h"

#include <gtest/gtest.h>

#include "board/board_file.h"
#include "link/frame.h"
#include "link/hex_text.h"

namespace tarnwick::board {
namespace {

struct FrameAnswer {
  const char* command;   // "CMD11"
  const char* texts;     // "step-count=0X10;reverse=1": the rest keep their start texts
  const char* frame;     // the whole frame, to address; or "refused: REASON"
  std::uint8_t address = 0xFF;  // the reply flag follows it, as with "Res" checked
};

constexpr FrameAnswer kFrameAnswers[] = {
    {"CMD00", "", "FF 01 80 80 01"},
    {"CMD00", "", "01 01 80 82 00", 0x01},
    {"CMD11", "", "01 05 91 70 17 00 00 1E 01", 0x01},
    {"CMD11", "reverse=1", "01 05 91 70 17 00 80 9E 01", 0x01},
    {"CMD11", "step-count=0X10", "FF 05 11 10 00 00 00 25 01"},
    {"CMD11", "step-count=0x80000005", "FF 05 11 05 00 00 00 1A 01"},
    {"CMD11", "step-count=", "FF 05 11 00 00 00 00 15 01"},
    {"CMD11", "step-count=0x80000000;reverse=1", "FF 05 11 00 00 00 00 15 01"},
    {"CMD11", "step-count=abc;reverse=1;not-limit=1", "FF 05 11 FF FF FF FF 11 05"},
    {"CMD11", "step-count=-5;not-limit=1", "FF 05 11 FF FF FF 7F 91 04"},
    {"CMD11", "step-count=-5", "refused: Step count must not be negative"},
    {"CMD12", "", "01 08 92 40 1F 00 00 64 00 00 5E 01", 0x01},
    {"CMD12", "reverse=1;frequency=1000;pulse-duty=50", "01 08 92 40 1F 00 80 32 E8 03 97 02", 0x01},
    {"CMD12", "step-count=;not-limit=1;frequency=;pulse-duty=", "FF 08 12 FF FF FF 7F 00 00 00 95 04"},
    {"CMD12", "pulse-duty=101", "refused: Pulse Duty must be 0 to 100"},
    {"CMD13", "", "01 01 93 95 00", 0x01},
    {"CMD21", "", "01 03 A1 3C 3C 1D 01", 0x01},
    {"CMD21", "left-duty=50;right-duty=100;left-reverse=1", "FF 03 21 CE 64 55 02"},
    {"CMD21", "left-duty=0;left-reverse=1", "FF 03 21 00 3C 5F 01"},
    {"CMD21", "right-duty=101", "refused: Right Duty must be 0 to 100"},
    {"CMD21", "right-duty= ", "refused: Right Duty is empty"},
    {"CMD22", "", "FF 02 22 11 34 01"},
    {"CMD22", "left-mode=ShortBrake;right-mode=Reversal", "FF 02 22 23 46 01"},
    {"CMD22", "left-mode=Stop;right-mode=Stop", "01 02 A2 00 A5 00", 0x01},
    {"CMD22", "right-mode=Coast", "refused: Right must be Stop, Forward, Reversal or ShortBrake"},
    {"CMD23", "", "FF 07 23 64 64 A8 61 A8 61 03 04"},
    {"CMD23", "left-frequency=1000;left-pulse-duty=50;right-frequency=2000;right-pulse-duty=30",
     "01 07 A3 32 1E E8 03 D0 07 BD 02", 0x01},
    {"CMD23", "left-frequency=65535;right-frequency=0", "FF 07 23 64 64 FF FF 00 00 EF 03"},
    {"CMD24", "", "FF 01 24 24 01"},
    {"CMD38", "", "01 01 B8 BA 00", 0x01},
    {"CMD3F", "", "FF 01 3F 3F 01"},
    {"CMD40", "", "01 02 C0 58 1B 01", 0x01},
    {"CMD40", "new-address=0x7", "FF 02 40 07 48 01"},
    {"CMD40", "new-address= 1a ", "FF 02 40 1A 5B 01"},
    {"CMD40", "new-address=0058", "FF 02 40 58 99 01"},
    {"CMD40", "new-address=0", "refused: New Address must be 01 to FE"},
    {"CMD40", "new-address=0xff", "refused: New Address must be 01 to FE"},
    {"CMD40", "new-address=g5", "refused: New Address must be 01 to FE"},
    {"CMD40", "new-address=", "refused: New Address is empty"},
    {"CMD40", "new-address=100000001", "refused: New Address must be 01 to FE"},
    {"CMD41", "", "FF 02 41 02 44 01"},
    {"CMD41", "baudrate=115200", "01 02 C1 06 CA 00", 0x01},
    {"CMD41", "baudrate=1200", "refused: Baudrate must be 2400, 4800, 9600, 19200, 38400, 57600 or 115200"},
    {"CMD42", "", "FF 08 42 01 64 C4 09 00 00 00 7B 02"},
    {"CMD42", "motor-type=D-C", "FF 08 42 02 64 64 C4 09 50 C3 F3 03"},
    {"CMD42", "left-frequency=1000;left-pulse-duty=50", "01 08 C2 01 32 E8 03 00 00 00 E9 01", 0x01},
    {"CMD42", "left-pulse-duty=150", "FF 08 42 01 64 C4 09 00 00 00 7B 02"},
    {"CMD42", "right-frequency=70000;right-pulse-duty=", "FF 08 42 01 64 C4 09 00 00 00 7B 02"},
    {"CMD42", "motor-type=D-C;right-frequency=", "refused: Right Frequency is empty"},
    {"CMD42", "left-frequency=65536", "refused: Left Frequency must be 0 to 65535"},
    {"CMD42", "motor-type=D-C;right-frequency=70000", "refused: Right Frequency must be 0 to 65535"},
    {"CMD42", "motor-type=Servo", "refused: MotorType must be Stepper or D-C"},
    {"CMD43", "", "01 01 C3 C5 00", 0x01},
};

struct ReplyAnswer {
  const char* command;
  const char* data;   // the reply's data bytes, first data byte to checksum
  const char* shown;  // "Label text, ..." as the log says it; "failed"; "too short"
};

constexpr ReplyAnswer kReplyAnswers[] = {
    {"CMD11", "00", ""},
    {"CMD11", "01", "failed"},
    {"CMD11", "", "too short"},
    {"CMD13", "00 70 17 00 80 32 E8 03", "Reverse checked, Step count 6000, Pulse Duty 50, Frequency 1000"},
    {"CMD13", "00 05 00 00 00 C8 00 00", "Reverse unchecked, Step count 5, Pulse Duty 200, Frequency 0"},
    {"CMD13", "02 05 00 00 00 C8 00 00", "Reverse unchecked, Step count 5, Pulse Duty 200, Frequency 0"},
    {"CMD13", "01", "failed"},
    {"CMD13", "00 70 17 00 80 32 E8", "too short"},
    {"CMD24", "7F CE", "Left +127, Right -50"},
    {"CMD24", "00 80 99", "Left 0, Right -128"},
    {"CMD38", "", ""},
    {"CMD43", "01 50 C4 09", "MotorType Stepper, Left Frequency 2500, Left Pulse Duty 80, Right Frequency, Right Pulse Duty"},
    {"CMD43", "02 3C 28 A8 61 E8 03",
     "MotorType D-C, Left Frequency 25000, Left Pulse Duty 60, Right Frequency 1000, Right Pulse Duty 40"},
    {"CMD43", "03", "MotorType, Left Frequency, Left Pulse Duty, Right Frequency, Right Pulse Duty"},
    {"CMD43", "01 50 C4", "too short"},
    {"CMD43", "02 3C 28 A8 61 E8", "too short"},
};

std::vector<std::string> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string> parts;
  for (std::size_t end; (end = text.find(separator)) != std::string_view::npos; text.remove_prefix(end + separator.size()))
    parts.emplace_back(text.substr(0, end));
  parts.emplace_back(text);
  return parts;
}

FieldTexts TextsOf(std::string_view texts) {
  FieldTexts parsed;
  for (const std::string& entry : texts.empty() ? std::vector<std::string>{} : Split(texts, ";"))
    parsed[entry.substr(0, entry.find('='))] = entry.substr(entry.find('=') + 1);
  return parsed;
}

const Command& Named(const char* name) {
  const Command* command = BuiltIn().FindNamed(name);
  EXPECT_NE(command, nullptr) << name;
  return *command;
}

TEST(Codec, EncodesEveryKnownFrameAndRefusesWithThePagesWords) {
  for (const FrameAnswer& answer : kFrameAnswers) {
    SCOPED_TRACE(std::string(answer.command) + " " + answer.texts);
    std::string reason;
    const bool flagged = answer.address != link::kBroadcastAddress;
    const auto encoded = Encode(Named(answer.command), TextsOf(answer.texts), flagged, &reason);
    const std::string frame = encoded ? link::FormatHexDump(link::Framing().Make(answer.address, *encoded)) : "refused: " + reason;
    EXPECT_EQ(frame, answer.frame);
  }
}

TEST(Codec, DecodesEveryKnownReply) {
  for (const ReplyAnswer& answer : kReplyAnswers) {
    SCOPED_TRACE(std::string(answer.command) + " " + answer.data);
    const Decoded decoded = DecodeReply(Named(answer.command), link::ParseHexBytes(answer.data).value());
    std::string shown = decoded.failed ? "failed" : decoded.tooShort ? "too short" : "";
    for (const DecodedField& field : decoded.fields) shown += (shown.empty() ? "" : ", ") + Describe(field);
    EXPECT_EQ(shown, answer.shown);
  }
}

// Each word type's data bytes at its edges and in its byte order, the values beyond
// them refused in the page's words, and a scaled word's rounding.
struct WordAnswer {
  const char* type;
  // "TEXT = DATA[ = SHOWN]; ...": DATA the data bytes or "refused: REASON"; SHOWN the
  // text read back, when it is not the text's own number.
  const char* answers;
};

constexpr WordAnswer kWordAnswers[] = {
    {"i8, range: [-128, 127]", "-128 = 80; 127 = 7F = +127; -1 = FF; 0 = 00"},
    {"i8", "-1 = refused: V must be 0 to 127"},
    {"u16be", "0 = 00 00; 65535 = FF FF; 4660 = 12 34; -1 = refused: V must be 0 to 65535"},
    {"i16le", "-32768 = 00 80; 32767 = FF 7F; -1 = FF FF; 0 = 00 00; 1 = 01 00; "
              "32768 = refused: V must be -32768 to 32767"},
    {"i16be", "-32768 = 80 00; 32767 = 7F FF; -1 = FF FF; 0 = 00 00; -2 = FF FE; 256 = 01 00; "
              "-32769 = refused: V must be -32768 to 32767"},
    {"u32le", "0 = 00 00 00 00; 4294967295 = FF FF FF FF; 305419896 = 78 56 34 12"},
    {"u32be", "0 = 00 00 00 00; 4294967295 = FF FF FF FF; 305419896 = 12 34 56 78; "
              "-1 = refused: V must be 0 to 4294967295"},
    {"i32le", "-2147483648 = 00 00 00 80; 2147483647 = FF FF FF 7F; -1 = FF FF FF FF; 0 = 00 00 00 00"},
    {"i32be", "-2147483648 = 80 00 00 00; 2147483647 = 7F FF FF FF; -1 = FF FF FF FF; 0 = 00 00 00 00; "
              "-16909060 = FE FD FC FC; 2147483648 = refused: V must be -2147483648 to 2147483647"},
    {"i16le, range: [-400, 1250], out-of-range: cap", "-401 = 70 FE = -400; 1300 = E2 04 = 1250"},
    {"i16be, scale: 0.1, range: [-40, 125]", "21.54 = 00 D7 = 21.5; 21.56 = 00 D8 = 21.6; -40 = FE 70 = -40.0; "
                                             "125.04 = 04 E2 = 125.0; 125.06 = refused: V must be -40.0 to 125.0"},
    {"u8, scale: 0.5, offset: -40", "-40 = 00 = -40.0; 87.5 = FF = 87.5; 88 = refused: V must be -40.0 to 87.5"},
    {"u16le, scale: 0.001, decimals: 2", "65.535 = FF FF = 65.54"},
    {"u32be, scale: 0.01, offset: -1000, out-of-range: cap", "-2000 = 00 00 00 00 = -1000.00"},
};

TEST(Codec, EachWordTypeHoldsItsEdgesInItsByteOrder) {
  for (const WordAnswer& row : kWordAnswers) {
    const auto loaded = LoadBoardText(std::string("format: 1\nboard: x\ncommands:\n  - {name: P, code: 1, request: "
                                                  "[{name: v, label: V, type: ") + row.type + "}], response: []}\n",
                                      "t.yaml");
    ASSERT_TRUE(loaded.board) << row.type << ::testing::PrintToString(loaded.problems);
    const Command& command = loaded.board->commands.front();
    for (const std::string& answer : Split(row.answers, "; ")) {
      SCOPED_TRACE(std::string(row.type) + ": " + answer);
      const std::vector<std::string> parts = Split(answer, " = ");
      std::string reason;
      const auto encoded = Encode(command, {{"v", parts.at(0)}}, false, &reason);
      std::vector<std::uint8_t> data;
      if (encoded) data.assign(encoded->begin() + 1, encoded->end());
      EXPECT_EQ(encoded ? link::FormatHexDump(data) : "refused: " + reason, parts.at(1));
      if (!encoded) continue;
      const DecodedField shown = Decode(command, command.request, data).fields.at(0);
      EXPECT_EQ(shown.text, parts.size() > 2 ? parts[2] : parts[0]);
    }
  }
}

}  // namespace
}  // namespace tarnwick::board
