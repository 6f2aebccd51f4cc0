#include "pages/dialog_builder.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <cmath>
#include <stdexcept>
#include <string>

#include "pages/tab_strip.h"

namespace tarnwick::pages {
namespace {

// Rounds to the nearest pixel, as the platform's MulDiv does.
int ScaleRounded(int value, double unitNumerator, int denominator) {
  return static_cast<int>(std::lround(value * unitNumerator / denominator));
}

QString Text(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

QWidget* CreateControl(const ControlTemplate& row, QWidget* parent, QButtonGroup*& radioGroup) {
  const QString text = Text(row.text);
  switch (row.kind) {
    case ControlKind::PushButton:
      return new QPushButton(text, parent);
    case ControlKind::TabStrip:
      return new TabStrip(parent);
    case ControlKind::DropDownList:
      return new QComboBox(parent);
    case ControlKind::Edit: {
      auto* edit = new QLineEdit(parent);
      if (row.style & kReadOnly) {
        // Shown on the window's own grey, so an output cannot be taken for an input;
        // a read-only line edit draws no caret.
        edit->setReadOnly(true);
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        edit->setPalette(palette);
      }
      return edit;
    }
    case ControlKind::Label: {
      auto* label = new QLabel(text, parent);
      label->setAlignment(((row.style & kAlignRight) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
      label->setTextFormat(Qt::PlainText);
      return label;
    }
    case ControlKind::CheckBox:
      return new QCheckBox(text, parent);
    case ControlKind::RadioButton: {
      auto* radio = new QRadioButton(text, parent);
      if (!radioGroup) radioGroup = new QButtonGroup(parent);
      radioGroup->addButton(radio, row.id);
      return radio;
    }
    case ControlKind::GroupBox:
      return new QGroupBox(text, parent);
    case ControlKind::Trackbar: {
      const bool vertical = row.style & kVertical;
      auto* slider = new QSlider(vertical ? Qt::Vertical : Qt::Horizontal, parent);
      if (row.style & kAutoTicks) slider->setTickPosition(vertical ? QSlider::TicksRight : QSlider::TicksBelow);
      return slider;
    }
  }
  throw std::logic_error("unknown control kind");
}

// A text that the font makes wider than its template rectangle would be cut off:
// widen the control towards the side its text is not aligned to.
void WidenToText(const ControlTemplate& row, const QWidget* widget, QRect& geometry) {
  const bool hasText = row.kind == ControlKind::Label || row.kind == ControlKind::CheckBox ||
                       row.kind == ControlKind::RadioButton;
  if (!hasText || row.text.empty()) return;
  const int needed = widget->sizeHint().width();
  if (needed <= geometry.width()) return;
  if (row.style & kAlignRight)
    geometry.setLeft(geometry.right() + 1 - needed);
  else
    geometry.setWidth(needed);
}

}  // namespace

DialogUnits DialogUnits::ForFont(const QFont& font) {
  const QFontMetricsF metrics(font);
  DialogUnits units;
  units.averageCharWidth_ =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
  units.fontHeight_ = QFontMetrics(font).height();
  return units;
}

QRect DialogUnits::ToPixels(const DluRect& rect) const {
  const int left = ScaleRounded(rect.x, averageCharWidth_, 4);
  const int top = ScaleRounded(rect.y, fontHeight_, 8);
  const int right = ScaleRounded(rect.x + rect.width, averageCharWidth_, 4);
  const int bottom = ScaleRounded(rect.y + rect.height, fontHeight_, 8);
  return {left, top, right - left, bottom - top};
}

QSize DialogUnits::ToPixels(int width, int height) const {
  return {ScaleRounded(width, averageCharWidth_, 4), ScaleRounded(height, fontHeight_, 8)};
}

QFont DialogFont(const DialogTemplate& dialog) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(dialog.pointSize);
  return font;
}

QSize DialogPixelSize(const DialogTemplate& dialog) {
  return DialogUnits::ForFont(DialogFont(dialog)).ToPixels(dialog.width, dialog.height);
}

QWidget* BuiltControls::find(int id) const {
  for (const Entry& entry : entries_)
    if (entry.row->id == id && id != kStaticId) return entry.widget;
  return nullptr;
}

void BuiltControls::Missing(int id) {
  throw std::logic_error("template has no control " + std::to_string(id) + " of the expected kind");
}

BuiltControls BuildControls(const DialogTemplate& dialog, QWidget* parent) {
  const QFont font = DialogFont(dialog);
  parent->setFont(font);
  const DialogUnits units = DialogUnits::ForFont(font);

  BuiltControls built;
  QButtonGroup* radioGroup = nullptr;
  for (const ControlTemplate& row : dialog.controls) {
    if (row.style & kStartsGroup) radioGroup = nullptr;
    QWidget* widget = CreateControl(row, parent, radioGroup);
    QRect geometry = units.ToPixels(row.rect);
    // A drop-down list's template height includes its open list.
    if (row.kind == ControlKind::DropDownList) geometry.setHeight(widget->sizeHint().height());
    WidenToText(row, widget, geometry);
    widget->setGeometry(geometry);
    widget->setEnabled(!(row.style & kDisabled));
    if (row.kind == ControlKind::GroupBox) widget->lower();
    built.entries_.push_back({&row, widget});
  }
  return built;
}

}  // namespace tarnwick::pages
