#include "bench/recorded_sequence.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "bench/option_values.h"
#include "bench/timed_exchange.h"
#include "board/exchange.h"
#include "link/baud_rates.h"
#include "link/hex_text.h"
#include "link/json_text.h"

namespace tarnwick::bench {
namespace {

using board::Command;
using board::Field;
using Span = std::span<const std::uint8_t>;

constexpr long long kLongestWaitMs = 3'600'000;

bool IsPlainText(const std::string& text) {
  const auto plain = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == ' ' || c == '_' || c == '.' || c == '+' || c == '-'; };
  return !text.empty() && std::isalnum(static_cast<unsigned char>(text.front())) && text.back() != ' ' &&
         std::all_of(text.begin(), text.end(), plain);
}

// A text as YAML reads it back unchanged: plain where it can be, quoted otherwise.
std::string YamlScalar(const std::string& text) { return IsPlainText(text) ? text : link::JsonText(text); }

// The request fields a frame's data fills: those before the switch and those of
// the case it chose.
std::vector<const Field*> ActiveRequestFields(const Command& command, Span data) {
  const board::Layout& layout = command.request;
  std::vector<const Field*> fields;
  for (const Field& field : layout.fields) fields.push_back(&field);
  if (const Field* selector = layout.switchOn.empty() ? nullptr : layout.Find(layout.switchOn)) {
    const std::uint32_t chosen = board::Get(*selector, data);
    for (const board::SwitchCase& branch : layout.cases)
      if (branch.value == chosen)
        for (const Field& field : branch.fields) fields.push_back(&field);
  }
  return fields;
}

std::uint32_t WidthMask(const Field& field) {
  const int bits = field.bitCount > 0 ? field.bitCount : static_cast<int>(field.size * 8);
  return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
}

// The texts that encode to data, or nothing where a value has no text (a number
// no named value stands for).
std::optional<board::FieldTexts> RequestTexts(const Command& command, Span data) {
  board::FieldTexts texts;
  const auto fields = ActiveRequestFields(command, data);
  for (const Field* field : fields)
    if (field->type == board::WireType::Check && !field->OnWire()) texts[field->name] = "0";
  for (const Field* field : fields) {
    if (!field->OnWire() || field->type == board::WireType::Pad) continue;
    std::uint32_t raw = board::Get(*field, data);
    if (field->IsCheck()) {
      texts[field->name] = raw ? "1" : "0";
    } else if (field->values) {
      const board::NamedValue* named = field->values->Find(raw);
      if (!named) return std::nullopt;
      texts[field->name] = named->name;
    } else if (!field->specialWhen.empty() && raw == field->specialValue) {
      texts[field->specialWhen] = "1";
      texts[field->name] = field->defaultText;
    } else {
      const std::uint32_t mask = WidthMask(*field);
      if (!field->signFrom.empty() && (raw & (mask ^ (mask >> 1)))) {
        texts[field->signFrom] = "1";
        raw = (0u - raw) & mask;
      }
      texts[field->name] = field->text == board::TextRule::Hex ? link::FormatHexByte(static_cast<std::uint8_t>(raw))
                                                               : std::to_string(raw);
    }
  }
  return texts;
}

// What a step of the sequence sends: a command, its options (a check box only
// when checked, as a sequence gives it) and whether it asks for no reply.
struct SentCommand {
  const Command* command = nullptr;
  std::vector<std::pair<std::string, std::string>> options;
  bool noReply = false;
};

// The step that sends frame again; nothing when no command, or no texts of its
// fields, would send these very bytes.
std::optional<SentCommand> CommandOf(Span frame) {
  const std::uint8_t address = frame[link::kAddressOffset];
  const std::uint8_t commandByte = frame[link::kCommandOffset];
  const Command* command = board::Current().Find(static_cast<std::uint8_t>(commandByte & ~link::kReplyFlag));
  if (!command) return std::nullopt;
  const Span commandAndData = frame.subspan(link::kCommandOffset, frame.size() - link::kCommandOffset - 2);
  const auto texts = RequestTexts(*command, commandAndData.subspan(1));
  if (!texts) return std::nullopt;
  SentCommand sent{command, {}, false};
  board::FieldTexts given = board::DefaultTexts(*command);
  for (const Field* field : command->RequestForm()) {
    const auto text = texts->find(field->name);
    if (text == texts->end() || (field->IsCheck() && text->second != "1")) continue;
    sent.options.emplace_back(field->name, field->IsCheck() ? "true" : text->second);
    given[field->name] = text->second;
  }
  const bool flagged = (commandByte & link::kReplyFlag) != 0;
  sent.noReply = !flagged && address != link::kBroadcastAddress && command->flag != board::FlagRule::Always;
  const bool wanted = flagged && address != link::kBroadcastAddress;
  const auto encoded = board::Encode(*command, given, wanted && !sent.noReply);
  if (!encoded || !std::equal(encoded->begin(), encoded->end(), commandAndData.begin(), commandAndData.end()))
    return std::nullopt;
  return sent;
}

// The recorded reply's fields, as the exchange decodes them, and the rate it moved to.
struct ReplyMeaning {
  std::vector<board::DecodedField> fields;
  std::optional<int> baudIndex;
};

ReplyMeaning MeaningOf(const link::RecordedExchange& exchange) {
  if (!exchange.reply || exchange.result != link::result::kSuccess || !link::FramingInUse().Verify(*exchange.reply)) return {};
  board::ExchangeRecord record;
  std::vector<std::string> filled;
  board::EvaluateReply(board::FrameView(*exchange.reply), record, filled);
  return {std::move(record.fields), record.baudIndex};
}

std::string Expectation(const std::string& result, const std::vector<board::DecodedField>& fields) {
  std::string text = "{result: " + YamlScalar(result.empty() ? "Sent" : result);
  for (const board::DecodedField& field : fields)
    text += ", " + field.key + ": " + link::JsonText(JsonOf(field.value));
  return text + "}";
}

class SequenceWriter {
 public:
  explicit SequenceWriter(const ReplayOptions& options) : options_(options) {}

  void Add(const link::RecordedExchange& exchange) {
    if (ports_.empty()) ports_ = exchange.port;
    WaitBefore(exchange);
    const auto frames = link::SplitFrames(exchange.request).value_or(std::vector<Span>{});
    const ReplyMeaning meaning = MeaningOf(exchange);
    for (std::size_t i = 0; i < frames.size(); ++i) {
      const bool last = i + 1 == frames.size();
      AddFrame(exchange, frames[i], last ? exchange.result.value_or("") : "", last ? meaning.fields : NoFields());
    }
    if (meaning.baudIndex && !frames.empty())
      rates_[frames.back()[link::kAddressOffset]] = link::BaudRateAt(*meaning.baudIndex).value_or(0);
    previousEnd_ = exchange.ended;
  }

  ReplayedSequence Finish(std::size_t exchanges) {
    std::string head = "# Replayed from a traffic log: " + std::to_string(exchanges) + " exchange" +
                       (exchanges == 1 ? "" : "s") + ". Run it with: tarnwick-cli run FILE --port PORT\n";
    if (!ports_.empty()) head += "port: " + YamlScalar(ports_) + "\n";
    if (options_.baud) head += "baud: " + std::to_string(*options_.baud) + "\n";
    replayed_.yaml = head + "steps:\n" + replayed_.yaml;
    return std::move(replayed_);
  }

 private:
  static const std::vector<board::DecodedField>& NoFields() {
    static const std::vector<board::DecodedField> kNone;
    return kNone;
  }

  void WaitBefore(const link::RecordedExchange& exchange) {
    if (!options_.keepTiming || !previousEnd_) return;
    const long long pause = std::min<long long>((exchange.sent - *previousEnd_).count(), kLongestWaitMs);
    if (pause <= 0) return;
    replayed_.yaml += "  - wait: " + std::to_string(pause) + "\n";
    ++replayed_.steps;
  }

  void AddFrame(const link::RecordedExchange& exchange, Span frame, const std::string& result,
                const std::vector<board::DecodedField>& fields) {
    const auto sent = CommandOf(frame);
    if (!sent) {
      replayed_.yaml += "  # " + link::FormatHexDump(frame) + ": no command of the board describes it; not replayed\n";
      ++replayed_.notReplayed;
      return;
    }
    const std::uint8_t address = frame[link::kAddressOffset];
    std::string& out = replayed_.yaml;
    out += "  - send: " + Lowercase(sent->command->name) + "\n";
    out += "    addr: \"" + link::FormatHexByte(address) + "\"\n";
    if (exchange.port != ports_) out += "    port: " + YamlScalar(exchange.port) + "\n";
    if (const auto rate = rates_.find(address); rate != rates_.end() && rate->second > 0)
      out += "    baud: " + std::to_string(rate->second) + "\n";
    if (sent->noReply) out += "    no-res: true\n";
    for (const auto& [name, text] : sent->options) out += "    " + name + ": " + YamlScalar(text) + "\n";
    out += "    expect: " + Expectation(result, fields) + "\n";
    ++replayed_.steps;
  }

  const ReplayOptions& options_;
  ReplayedSequence replayed_;
  std::string ports_;                        // the first exchange's port: the file's
  std::map<std::uint8_t, int> rates_;        // by address, once a rate change was answered
  std::optional<link::LogTime> previousEnd_;
};

}  // namespace

ReplayedSequence SequenceFromExchanges(const std::vector<link::RecordedExchange>& exchanges,
                                       const ReplayOptions& options) {
  SequenceWriter writer(options);
  for (const link::RecordedExchange& exchange : exchanges) writer.Add(exchange);
  return writer.Finish(exchanges.size());
}

}  // namespace tarnwick::bench
