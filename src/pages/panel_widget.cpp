#include "pages/panel_widget.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

namespace tarnwick::pages {

PanelWidget::PanelWidget(int templateId, QWidget* parent)
    : PanelWidget(pages::FindDialogTemplate(templateId), nullptr, parent) {}

PanelWidget::PanelWidget(const pages::DialogTemplate& dialog, std::shared_ptr<const void> owner, QWidget* parent)
    : QWidget(parent),
      owner_(std::move(owner)),
      dialogTemplate_(dialog),
      controls_(pages::BuildControls(dialogTemplate_, this)) {
  resize(pages::DialogPixelSize(dialogTemplate_));
  // The page is still a window of its own here, and Qt will not move a control
  // after the one that closes a window's focus chain; a placeholder closes it
  // while the controls are put in layout order.
  QWidget chainEnd(this);
  chainEnd.setFocusPolicy(Qt::TabFocus);
  QWidget* previous = nullptr;
  for (std::size_t position : pages::LayoutTabOrder(dialogTemplate_)) {
    QWidget* next = controls_.entries()[position].widget;
    if (previous) setTabOrder(previous, next);
    previous = next;
  }
  hide();
}

void PanelWidget::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      event->accept();  // stops here, before the window's default button or its reject
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void PanelWidget::paintEvent(QPaintEvent* event) {
  if (dialogTemplate_.border) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  QWidget::paintEvent(event);
}

std::string FieldText(const QLineEdit* edit) { return edit->text().toStdString(); }

QString DisplayText(const std::string& utf8) { return QString::fromStdString(utf8); }

void GreyWhileChecked(QCheckBox* box, QWidget* field) {
  field->setEnabled(!box->isChecked());
  QObject::connect(box, &QCheckBox::toggled, field, [field](bool checked) { field->setEnabled(!checked); });
}

}  // namespace tarnwick::pages
