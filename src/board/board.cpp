#include "board/board.h"

#include <algorithm>
#include <cctype>

namespace tarnwick::board {
namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

void AddOnce(std::vector<const Field*>& fields, const Field& field) {
  if (field.type == WireType::Pad) return;
  for (const Field* known : fields)
    if (known->name == field.name) return;
  fields.push_back(&field);
}

// The fields of layout named in form first, in its order, then the rest in wire order.
std::vector<const Field*> InFormOrder(const Layout& layout, const std::vector<std::string>& form, bool withStatus) {
  std::vector<const Field*> ordered;
  for (const std::string& name : form)
    if (const Field* field = layout.Find(name)) AddOnce(ordered, *field);
  for (const Field* field : layout.AllFields()) AddOnce(ordered, *field);
  if (!withStatus) std::erase_if(ordered, [](const Field* field) { return field->isStatus; });
  return ordered;
}

}  // namespace

WordShape ShapeOf(WireType type) {
  switch (type) {
    case WireType::U8: return {1, false, false};
    case WireType::I8: return {1, true, false};
    case WireType::U16Le: return {2, false, false};
    case WireType::U16Be: return {2, false, true};
    case WireType::I16Le: return {2, true, false};
    case WireType::I16Be: return {2, true, true};
    case WireType::U32Le: return {4, false, false};
    case WireType::U32Be: return {4, false, true};
    case WireType::I32Le: return {4, true, false};
    case WireType::I32Be: return {4, true, true};
    case WireType::Check:
    case WireType::Pad: break;
  }
  return {};
}

const NamedValue* Enumeration::Find(std::uint32_t value) const {
  for (const NamedValue& named : values)
    if (named.value == value) return &named;
  return nullptr;
}

const NamedValue* Enumeration::FindNamed(std::string_view name) const {
  for (const NamedValue& named : values)
    if (SameIgnoringCase(named.name, name)) return &named;
  return nullptr;
}

std::string Field::Key() const {
  std::string key = name;
  std::replace(key.begin(), key.end(), '-', '_');
  return key;
}

std::vector<const Field*> Layout::AllFields() const {
  std::vector<const Field*> all;
  for (const Field& field : fields) AddOnce(all, field);
  for (const SwitchCase& branch : cases)
    for (const Field& field : branch.fields) AddOnce(all, field);
  return all;
}

const Field* Layout::Find(std::string_view name) const {
  for (const Field* field : AllFields())
    if (field->name == name) return field;
  return nullptr;
}

std::size_t Layout::MaxSize() const {
  std::size_t largest = size;
  for (const SwitchCase& branch : cases) largest = std::max(largest, branch.size);
  return largest;
}

std::vector<const Field*> Command::RequestForm() const { return InFormOrder(request, form, true); }
std::vector<const Field*> Command::ResponseForm() const { return InFormOrder(response, form, false); }

const Field* Command::Status() const {
  for (const Field& field : response.fields)
    if (field.isStatus) return &field;
  return nullptr;
}

const Command* Board::Find(std::uint8_t code) const {
  for (const Command& command : commands)
    if (command.code == code) return &command;
  return nullptr;
}

const Command* Board::FindNamed(std::string_view name) const {
  for (const Command& command : commands)
    if (SameIgnoringCase(command.name, name)) return &command;
  return nullptr;
}

const Enumeration* Board::FindEnumeration(std::string_view name) const {
  for (const auto& enumeration : enumerations)
    if (enumeration->name == name) return enumeration.get();
  return nullptr;
}

const LiveTestUse* Board::FindLiveTest(LiveTest test) const {
  for (const LiveTestUse& use : liveTests)
    if (use.test == test) return &use;
  return nullptr;
}

const Command* Board::StopCommand() const {
  for (const Command& command : commands)
    if (command.action == Action::Stop) return &command;
  return nullptr;
}

}  // namespace tarnwick::board
