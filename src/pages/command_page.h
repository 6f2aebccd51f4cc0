#pragma once
// The page of one command of the board description: its template's controls (or a
// generated layout's) bound to the command's fields by name. It reads the field
// texts a Send encodes and shows a reply's fields in its read-only controls.

#include <span>
#include <vector>

#include "board/codec.h"
#include "pages/command_page_layouts.h"
#include "pages/panel_widget.h"

namespace tarnwick::pages {

class CommandPage : public PanelWidget {
  Q_OBJECT

 public:
  explicit CommandPage(const board::Command& command, QWidget* parent = nullptr);

  const board::Command& Command() const { return command_; }
  // The texts of the fields the user fills in: an edit's text, "1" or "0" for a
  // check box, a list's or a chosen radio button's named value.
  board::FieldTexts Texts() const;
  // Shows each field of a reply in the read-only controls bound to it; the ones
  // this reply did not fill keep their old values greyed as stale (property "stale").
  void ShowReply(std::span<const board::DecodedField> fields);

 private:
  CommandPage(const board::Command& command, const pages::PageSource& source, QWidget* parent);
  void ShowTitle();
  void ShowStartTexts();
  void GreyWhileSpecial();
  void GreyFieldsOutsideTheCase();
  // The controls showing field: inputs (the user's) or outputs (a reply's).
  std::vector<QWidget*> ControlsOf(std::string_view field, bool outputs) const;

  struct Bound {
    QWidget* widget;
    std::string field;
    std::string value;  // a radio button's named value
    bool output;
  };
  board::Command command_;
  std::vector<Bound> bound_;
};

}  // namespace tarnwick::pages
