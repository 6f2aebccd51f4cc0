#include "pages/command_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>

#include "pages/control_ids.h"

namespace tarnwick::pages {
namespace {

bool IsOutput(const pages::ControlTemplate& row) { return row.style & (pages::kReadOnly | pages::kDisabled); }

std::string KeyOf(std::string_view name) {
  std::string key(name);
  std::ranges::replace(key, '-', '_');
  return key;
}

}  // namespace

CommandPage::CommandPage(const board::Command& command, QWidget* parent)
    : CommandPage(command, pages::PageFor(command), parent) {}

CommandPage::CommandPage(const board::Command& command, const pages::PageSource& source, QWidget* parent)
    : PanelWidget(*source.dialog, source.generated, parent), command_(command) {
  for (const pages::FieldBinding& binding : source.bindings) {
    const auto entry = std::ranges::find_if(controls().entries(), [&](const auto& e) { return e.row->id == binding.id; });
    if (entry == controls().entries().end()) continue;
    bound_.push_back({entry->widget, std::string(binding.field), std::string(binding.value), IsOutput(*entry->row)});
  }
  ShowTitle();
  ShowStartTexts();
  GreyWhileSpecial();
  GreyFieldsOutsideTheCase();
}

void CommandPage::ShowTitle() {
  auto* title = qobject_cast<QLabel*>(controls().find(pages::ids::kPageTitle));
  if (!title || command_.title.empty()) return;
  title->setText(DisplayText(command_.title));
  // A title longer than the template's fits all the same.
  if (title->sizeHint().width() > title->width()) title->resize(title->sizeHint().width(), title->height());
}

void CommandPage::ShowStartTexts() {
  for (const Bound& control : bound_) {
    const board::Field* field = command_.request.Find(control.field);
    if (control.output || !field) continue;
    const QString text = DisplayText(field->defaultText);
    if (auto* edit = qobject_cast<QLineEdit*>(control.widget)) {
      edit->setText(text);
    } else if (auto* list = qobject_cast<QComboBox*>(control.widget)) {
      if (field->values)
        for (const board::NamedValue& value : field->values->values) list->addItem(DisplayText(value.name));
      list->setCurrentIndex(std::max(0, list->findText(text, Qt::MatchFixedString)));
    } else if (auto* radio = qobject_cast<QRadioButton*>(control.widget)) {
      radio->setChecked(text.compare(DisplayText(control.value), Qt::CaseInsensitive) == 0);
    } else if (auto* box = qobject_cast<QCheckBox*>(control.widget)) {
      box->setChecked(field->defaultText == "1");
    }
  }
}

// A field replaced by a special value while a check box is checked ("Not-Limit")
// is greyed meanwhile, keeping its text.
void CommandPage::GreyWhileSpecial() {
  for (const board::Field* field : command_.request.AllFields()) {
    if (field->specialWhen.empty()) continue;
    for (QWidget* check : ControlsOf(field->specialWhen, false))
      if (auto* box = qobject_cast<QCheckBox*>(check))
        for (QWidget* control : ControlsOf(field->name, false)) GreyWhileChecked(box, control);
  }
}

// A request with cases (the motor type's) greys the fields the chosen case lacks.
void CommandPage::GreyFieldsOutsideTheCase() {
  for (QWidget* selector : ControlsOf(command_.request.switchOn, false)) {
    auto* list = qobject_cast<QComboBox*>(selector);
    if (!list) continue;
    const auto apply = [this, list] {
      const board::Layout& layout = command_.request;
      const auto chosen = std::ranges::find_if(layout.cases, [&](const board::SwitchCase& branch) {
        return DisplayText(branch.name).compare(list->currentText(), Qt::CaseInsensitive) == 0;
      });
      for (const board::SwitchCase& branch : layout.cases) {
        for (const board::Field& field : branch.fields) {
          const bool used = chosen != layout.cases.end() &&
                            std::ranges::any_of(chosen->fields, [&](const auto& f) { return f.name == field.name; });
          for (QWidget* control : ControlsOf(field.name, false)) control->setEnabled(used);
        }
      }
    };
    apply();
    connect(list, &QComboBox::currentIndexChanged, this, apply);
  }
}

std::vector<QWidget*> CommandPage::ControlsOf(std::string_view field, bool outputs) const {
  std::vector<QWidget*> found;
  for (const Bound& control : bound_)
    if (control.field == field && control.output == outputs) found.push_back(control.widget);
  return found;
}

board::FieldTexts CommandPage::Texts() const {
  board::FieldTexts texts;
  for (const Bound& control : bound_) {
    if (control.output) continue;
    if (auto* edit = qobject_cast<const QLineEdit*>(control.widget)) {
      texts[control.field] = FieldText(edit);
    } else if (auto* list = qobject_cast<const QComboBox*>(control.widget)) {
      texts[control.field] = list->currentText().toStdString();
    } else if (auto* radio = qobject_cast<const QRadioButton*>(control.widget)) {
      if (radio->isChecked()) texts[control.field] = control.value;
    } else if (auto* box = qobject_cast<const QCheckBox*>(control.widget)) {
      texts[control.field] = box->isChecked() ? "1" : "0";
    }
  }
  return texts;
}

void CommandPage::ShowReply(std::span<const board::DecodedField> fields) {
  for (const Bound& control : bound_) {
    if (!control.output) continue;
    const auto shown = std::ranges::find(fields, KeyOf(control.field), &board::DecodedField::key);
    const bool stale = shown == fields.end();
    control.widget->setProperty("stale", stale);
    control.widget->setStyleSheet(stale ? "color: gray" : "");
    control.widget->setToolTip(stale ? tr("Not refreshed: the last exchange brought no reply for it") : QString());
    if (stale) continue;
    if (auto* edit = qobject_cast<QLineEdit*>(control.widget)) edit->setText(DisplayText(shown->text));
    if (auto* box = qobject_cast<QCheckBox*>(control.widget)) {
      const bool* checked = std::get_if<bool>(&shown->value);
      box->setChecked(checked && *checked);
    }
  }
}

}  // namespace tarnwick::pages
