#include "pages/command_page_layouts.h"

#include <QFontMetricsF>
#include <QString>
#include <algorithm>
#include <cmath>

#include "pages/control_ids.h"
#include "pages/dialog_builder.h"

namespace tarnwick::pages {
namespace {

using enum ControlKind;
namespace stepper = ids::stepper;
namespace parameters = ids::parameters;

constexpr FieldBinding kStepperByCount[] = {
    {stepper::kStepCount, "step-count"}, {stepper::kReverse, "reverse"}, {stepper::kNotLimit, "not-limit"}};
constexpr FieldBinding kStepperByParameters[] = {
    {stepper::kStepCount, "step-count"}, {stepper::kReverse, "reverse"},       {stepper::kNotLimit, "not-limit"},
    {stepper::kFrequency, "frequency"},  {stepper::kPulseDuty, "pulse-duty"}};
constexpr FieldBinding kStepperStatus[] = {{stepper::kStepCount, "step-count"},
                                           {stepper::kReverse, "reverse"},
                                           {stepper::kFrequency, "frequency"},
                                           {stepper::kPulseDuty, "pulse-duty"}};
constexpr FieldBinding kDcDuty[] = {{ids::cmd21::kLeftDuty, "left-duty"},
                                    {ids::cmd21::kRightDuty, "right-duty"},
                                    {ids::cmd21::kLeftReverse, "left-reverse"},
                                    {ids::cmd21::kRightReverse, "right-reverse"}};
constexpr FieldBinding kDcDriveModes[] = {
    {ids::cmd22::kLeftForward, "left-mode", "Forward"},     {ids::cmd22::kLeftReversal, "left-mode", "Reversal"},
    {ids::cmd22::kLeftStop, "left-mode", "Stop"},           {ids::cmd22::kLeftShortBrake, "left-mode", "ShortBrake"},
    {ids::cmd22::kRightForward, "right-mode", "Forward"},   {ids::cmd22::kRightReversal, "right-mode", "Reversal"},
    {ids::cmd22::kRightStop, "right-mode", "Stop"},         {ids::cmd22::kRightShortBrake, "right-mode", "ShortBrake"}};
constexpr FieldBinding kMotorParameters[] = {{parameters::kMotorType, "motor-type"},
                                             {parameters::kLeftFrequency, "left-frequency"},
                                             {parameters::kLeftPulseDuty, "left-pulse-duty"},
                                             {parameters::kRightFrequency, "right-frequency"},
                                             {parameters::kRightPulseDuty, "right-pulse-duty"}};
constexpr FieldBinding kDcStatus[] = {{ids::cmd24::kLeft, "left"}, {ids::cmd24::kRight, "right"}};
constexpr FieldBinding kChangeAddress[] = {{ids::cmd40::kNewAddress, "new-address"}};
constexpr FieldBinding kChangeBaudRate[] = {{ids::cmd41::kBaudrate, "baudrate"}};
constexpr FieldBinding kReadSetup[] = {{ids::cmd43::kMotorType, "motor-type"},
                                       {ids::cmd43::kLeftFrequency, "left-frequency"},
                                       {ids::cmd43::kLeftPulseDuty, "left-pulse-duty"},
                                       {ids::cmd43::kRightFrequency, "right-frequency"},
                                       {ids::cmd43::kRightPulseDuty, "right-pulse-duty"}};

struct CommandTemplate {
  std::string_view command;
  int templateId;
  std::span<const FieldBinding> bindings;
};

// The commands that have a page of their own; CMD23 has no motor type, so its
// template has no such control.
constexpr CommandTemplate kCommandTemplates[] = {
    {"CMD00", kCmd00Template, {}},
    {"CMD11", kCmd11Template, kStepperByCount},
    {"CMD12", kCmd12Template, kStepperByParameters},
    {"CMD13", kCmd13Template, kStepperStatus},
    {"CMD21", kCmd21Template, kDcDuty},
    {"CMD22", kCmd22Template, kDcDriveModes},
    {"CMD23", kCmd23Template, std::span(kMotorParameters).subspan(1)},
    {"CMD24", kCmd24Template, kDcStatus},
    {"CMD38", kCmd38Template, {}},
    {"CMD3F", kCmd3FTemplate, {}},
    {"CMD40", kCmd40Template, kChangeAddress},
    {"CMD41", kCmd41Template, kChangeBaudRate},
    {"CMD42", kCmd42Template, kMotorParameters},
    {"CMD43", kCmd43Template, kReadSetup},
};

// A generated page has the size of the command pages without a border; its rows
// stand this far apart, in columns as many as they need.
constexpr int kPageWidth = 277, kPageHeight = 130;
constexpr int kMargin = 12, kFirstRowY = 32, kRowPitch = 16, kGap = 4, kColumnGap = 14;
constexpr int kEditWidth = 60, kCheckIndicator = 14, kListArrow = 20;
constexpr int kFirstGeneratedId = 2000;

class PageLayout {
 public:
  explicit PageLayout(GeneratedPage& page)
      : page_(page), font_(DialogFont(DialogTemplate{})), units_(DialogUnits::ForFont(font_)) {}

  int TextWidth(std::string_view text) const {
    const double pixels = QFontMetricsF(font_).horizontalAdvance(QString::fromUtf8(text.data(), qsizetype(text.size())));
    return static_cast<int>(std::ceil(pixels * 4 / units_.averageCharWidth())) + 1;
  }
  std::string_view Keep(std::string text) { return page_.texts.emplace_back(std::move(text)); }
  void Add(int id, ControlKind kind, DluRect rect, std::string_view text = {}, unsigned style = kStylePlain) {
    page_.rows.emplace_back(id, kind, rect, text, style);
    right_ = std::max(right_, rect.x + rect.width);
  }
  int Right() const { return right_; }

 private:
  GeneratedPage& page_;
  QFont font_;
  DialogUnits units_;
  int right_ = 0;
};

struct Entry {
  const board::Field* field;
  bool output;
};

// The widest label of the entries, so a column's controls line up.
int LabelWidth(PageLayout& layout, std::span<const Entry> column) {
  int widest = 0;
  for (const Entry& entry : column)
    if (!entry.field->IsCheck()) widest = std::max(widest, layout.TextWidth(entry.field->label + ":"));
  return widest;
}

int ListWidth(PageLayout& layout, const board::Field& field) {
  int widest = 0;
  for (const board::NamedValue& value : field.values->values) widest = std::max(widest, layout.TextWidth(value.name));
  return std::max(widest + kListArrow, kEditWidth);
}

void AddEntry(PageLayout& layout, GeneratedPage& page, const Entry& entry, int x, int labelWidth, int y) {
  const board::Field& field = *entry.field;
  const int id = kFirstGeneratedId + static_cast<int>(page.bindings.size());
  page.bindings.push_back({id, layout.Keep(field.name)});
  if (field.IsCheck()) {
    const std::string_view text = layout.Keep(field.label);
    layout.Add(id, CheckBox, {x + labelWidth + kGap, y + 1, layout.TextWidth(text) + kCheckIndicator, 10}, text,
               entry.output ? kDisabled : kStylePlain);
    return;
  }
  const std::string_view label = layout.Keep(field.label + ":");
  layout.Add(kStaticId, Label, {x, y + 2, labelWidth, 8}, label, kAlignRight);
  const int controlX = x + labelWidth + kGap;
  int width = kEditWidth;
  if (field.values && !entry.output) {
    width = ListWidth(layout, field);
    layout.Add(id, DropDownList, {controlX, y, width, 12 + 6 * 10});
  } else {
    layout.Add(id, Edit, {controlX, y, width, 12}, {}, entry.output ? kReadOnly : kStylePlain);
  }
  if (!field.unit.empty()) {
    const std::string_view unit = layout.Keep(field.unit);
    layout.Add(kStaticId, Label, {controlX + width + kGap, y + 2, layout.TextWidth(unit), 8}, unit);
  }
}

// A template serves a command of its name only when the command has every field
// the template shows; a described command of that name with other fields gets a
// generated page.
bool FitsTemplate(const board::Command& command, const CommandTemplate& known) {
  return known.command == command.name && std::ranges::all_of(known.bindings, [&](const FieldBinding& binding) {
           return command.request.Find(binding.field) || command.response.Find(binding.field);
         });
}

}  // namespace

std::shared_ptr<const GeneratedPage> GeneratePage(const board::Command& command) {
  auto page = std::make_shared<GeneratedPage>();
  PageLayout layout(*page);
  const std::string_view title = layout.Keep(command.title.empty() ? command.name : command.title);
  layout.Add(ids::kPageTitle, Label, {17, 12, layout.TextWidth(title), 9}, title);

  std::vector<Entry> entries;
  for (const board::Field* field : command.RequestForm()) entries.push_back({field, false});
  for (const board::Field* field : command.ResponseForm()) entries.push_back({field, true});
  constexpr std::size_t kRowsPerColumn = (kPageHeight - kFirstRowY) / kRowPitch;
  int x = kMargin;
  for (std::size_t start = 0; start < entries.size(); start += kRowsPerColumn) {
    const auto column = std::span(entries).subspan(start, std::min(kRowsPerColumn, entries.size() - start));
    const int labelWidth = LabelWidth(layout, column);
    for (std::size_t row = 0; row < column.size(); ++row)
      AddEntry(layout, *page, column[row], x, labelWidth, kFirstRowY + static_cast<int>(row) * kRowPitch);
    x = layout.Right() + kColumnGap;
  }
  page->dialog = {0, std::max(kPageWidth, layout.Right() + kMargin), kPageHeight, 8, false, {}, page->rows};
  return page;
}

PageSource PageFor(const board::Command& command) {
  for (const CommandTemplate& known : kCommandTemplates)
    if (FitsTemplate(command, known)) return {&FindDialogTemplate(known.templateId), known.bindings, nullptr};
  std::shared_ptr<const GeneratedPage> generated = GeneratePage(command);
  return {&generated->dialog, generated->bindings, generated};
}

}  // namespace tarnwick::pages
