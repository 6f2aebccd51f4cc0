#pragma once
// Turns a dialog template into child widgets of a parent, converting dialog units to
// pixels from the dialog font's metrics as the platform's dialog manager does: a
// horizontal unit is a quarter of the average character width, a vertical unit an
// eighth of the font height. So the layout follows the font and the screen's scale.

#include <QFont>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <vector>

#include "pages/dialog_templates.h"

namespace tarnwick::pages {

class DialogUnits {
 public:
  static DialogUnits ForFont(const QFont& font);
  QRect ToPixels(const DluRect& rect) const;
  QSize ToPixels(int width, int height) const;
  double averageCharWidth() const { return averageCharWidth_; }
  int fontHeight() const { return fontHeight_; }

 private:
  // Kept fractional: rounding it to whole pixels, as the platform's dialog manager
  // does, gives this system's 8 and 9 point fonts the same unit and pushes the
  // widest page out of the tab strip.
  double averageCharWidth_ = 0;
  int fontHeight_ = 0;
};

// The template's font: the system's sans-serif family at the template's point size.
QFont DialogFont(const DialogTemplate& dialog);

// The widgets made from one template, in template order, and found by id.
class BuiltControls {
 public:
  struct Entry {
    const ControlTemplate* row;
    QWidget* widget;
  };

  QWidget* find(int id) const;  // nullptr when the template has no such control
  // The control of id as W; throws std::logic_error when it is missing or of
  // another kind, since that is a mismatch between a class and its template.
  template <class W>
  W* get(int id) const {
    W* w = qobject_cast<W*>(find(id));
    if (!w) Missing(id);
    return w;
  }
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  friend BuiltControls BuildControls(const DialogTemplate&, QWidget*);
  [[noreturn]] static void Missing(int id);
  std::vector<Entry> entries_;
};

// Sets parent's font to the template's, then creates the controls over it in
// template order (so the tab order follows the template). Group boxes are sent to
// the back so that the controls they frame stay clickable.
BuiltControls BuildControls(const DialogTemplate& dialog, QWidget* parent);

// The template's client size in pixels at its font.
QSize DialogPixelSize(const DialogTemplate& dialog);

}  // namespace tarnwick::pages
