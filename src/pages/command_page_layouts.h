#pragma once
// Where a command's page comes from: its dialog template when one exists for the
// command's name, with a table naming the field each control shows; otherwise a
// template laid out at run time from the command's fields, in the window's style.

#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "board/board.h"
#include "pages/dialog_templates.h"

namespace tarnwick::pages {

// A control that shows a field. value: for a radio button, the named value it
// chooses ("Forward"); empty for every other control.
struct FieldBinding {
  int id;
  std::string_view field;
  std::string_view value = {};
};

// A template laid out from a command's fields; it owns the texts its rows point into.
struct GeneratedPage {
  std::deque<std::string> texts;
  std::vector<ControlTemplate> rows;
  std::vector<FieldBinding> bindings;
  DialogTemplate dialog;
};

struct PageSource {
  const DialogTemplate* dialog = nullptr;
  std::span<const FieldBinding> bindings;
  std::shared_ptr<const GeneratedPage> generated;  // set when there is no template
};

// The page of command: its template, or one generated from its fields.
PageSource PageFor(const board::Command& command);

// A page laid out from command's fields: the title at the top, then per request
// field in form order a label and an edit box (a check box for a check field, a
// drop-down list for named values), then the response fields as read-only edits.
std::shared_ptr<const GeneratedPage> GeneratePage(const board::Command& command);

}  // namespace tarnwick::pages
