#pragma once
// A page of the main window's tab strip: a child widget built from its dialog
// template, with its controls found by id. Enter and Escape pressed inside a page do
// nothing at all; they neither send nor close the window.

#include <QString>
#include <QWidget>
#include <memory>
#include <string>

#include "pages/dialog_builder.h"

class QCheckBox;
class QLineEdit;

namespace tarnwick::pages {

class PanelWidget : public QWidget {
  Q_OBJECT

 public:
  PanelWidget(int templateId, QWidget* parent);
  // A page of a template that owner keeps alive (one generated at run time).
  PanelWidget(const pages::DialogTemplate& dialog, std::shared_ptr<const void> owner, QWidget* parent);

  const pages::DialogTemplate& dialogTemplate() const { return dialogTemplate_; }
  const pages::BuiltControls& controls() const { return controls_; }

 protected:
  template <class W>
  W* Control(int id) const {
    return controls_.get<W>(id);
  }
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  std::shared_ptr<const void> owner_;
  const pages::DialogTemplate& dialogTemplate_;
  pages::BuiltControls controls_;
};

// An edit's text as UTF-8, verbatim; the core trims it.
std::string FieldText(const QLineEdit* edit);
QString DisplayText(const std::string& utf8);

// Greys field while box is checked, keeping its text.
void GreyWhileChecked(QCheckBox* box, QWidget* field);

}  // namespace tarnwick::pages
