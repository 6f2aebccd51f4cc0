// Every dialog template built at the default font: controls inside their dialog, no
// two overlapping except inside group boxes, and every text fitting its control.

#include <QStyle>
#include <filesystem>

#include "board/board_file.h"
#include "pages/command_page_layouts.h"
#include "pages/dialog_builder.h"
#include "testing/row_name.h"
#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

using pages::ControlKind;
using pages::DialogTemplate;

std::string Describe(const pages::BuiltControls::Entry& entry) {
  const QRect r = entry.widget->geometry();
  return std::to_string(entry.row->id) + " '" + std::string(entry.row->text) + "' at " + std::to_string(r.x()) + "," +
         std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" + std::to_string(r.height());
}

// The width a control's text needs, beyond which the style would cut it.
int NeededWidth(const pages::BuiltControls::Entry& entry) {
  const QFontMetrics metrics = entry.widget->fontMetrics();
  const QString text = QString::fromUtf8(entry.row->text.data(), static_cast<qsizetype>(entry.row->text.size()));
  switch (entry.row->kind) {
    case ControlKind::PushButton:
      return metrics.horizontalAdvance(text) + 2 * entry.widget->style()->pixelMetric(QStyle::PM_ButtonMargin) / 2;
    case ControlKind::GroupBox:
      return metrics.horizontalAdvance(text) + 2 * metrics.averageCharWidth();
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
    case ControlKind::Label:
      return entry.widget->sizeHint().width();
    default:
      return 0;
  }
}

void ExpectInsideNoOverlapTextsFit(const DialogTemplate& dialog) {
  QWidget host;
  const pages::BuiltControls controls = pages::BuildControls(dialog, &host);
  const QRect dialogRect(QPoint(0, 0), pages::DialogPixelSize(dialog));
  for (const auto& row : dialog.controls) {
    EXPECT_TRUE(row.rect.x >= 0 && row.rect.y >= 0) << row.id;
    EXPECT_LE(row.rect.x + row.rect.width, dialog.width) << row.id;
    // A drop-down list's template height includes its open list.
    if (row.kind != ControlKind::DropDownList) {
      EXPECT_LE(row.rect.y + row.rect.height, dialog.height) << row.id;
    }
  }
  const auto& entries = controls.entries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const QRect a = entries[i].widget->geometry();
    EXPECT_TRUE(dialogRect.contains(a)) << Describe(entries[i]);
    if (!entries[i].row->text.empty()) {
      EXPECT_LE(NeededWidth(entries[i]), a.width()) << "text cut: " << Describe(entries[i]);
      EXPECT_LE(entries[i].widget->fontMetrics().height(), a.height()) << "text cut: " << Describe(entries[i]);
    }
    // Controls overlap only when one lies wholly inside a group box.
    for (std::size_t j = 0; j < i; ++j) {
      const QRect b = entries[j].widget->geometry();
      if (!a.intersects(b)) continue;
      const bool aIsGroup = entries[i].row->kind == ControlKind::GroupBox;
      const bool bIsGroup = entries[j].row->kind == ControlKind::GroupBox;
      EXPECT_TRUE(aIsGroup != bIsGroup && (aIsGroup ? a.contains(b) : b.contains(a)))
          << Describe(entries[i]) << " overlaps " << Describe(entries[j]);
    }
  }
}

class TemplateLayoutTest : public ::testing::TestWithParam<int> {};

TEST_P(TemplateLayoutTest, ControlsInsideNoOverlapTextsFit) {
  ExpectInsideNoOverlapTextsFit(pages::FindDialogTemplate(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(EveryTemplate, TemplateLayoutTest, ::testing::ValuesIn([] {
                           std::vector<int> ids;
                           for (const DialogTemplate* t : pages::AllDialogTemplates()) ids.push_back(t->id);
                           return ids;
                         }()),
                         [](const auto& info) { return "Template" + std::to_string(info.param); });

// The board described in file, or one without commands when it is refused.
board::Board Described(const std::string& file) {
  board::LoadResult loaded = board::LoadBoardFile(file);
  for (const std::string& problem : loaded.problems) ADD_FAILURE() << problem;
  return loaded.board.value_or(board::Board{});
}

// The page laid out for a command no template knows, generated here for every
// command of the board files shipped and of one using every key of the format, so
// switches, named values, checks, units, long labels and two columns all meet the
// template rules.
using FileAndCommand = std::pair<std::string, std::string>;
class GeneratedPageTest : public ::testing::TestWithParam<FileAndCommand> {};

TEST_P(GeneratedPageTest, ControlsInsideNoOverlapTextsFitEveryFieldShown) {
  const board::Board described = Described(GetParam().first);
  const board::Command& command = *described.FindNamed(GetParam().second);
  const auto page = pages::GeneratePage(command);
  ExpectInsideNoOverlapTextsFit(page->dialog);
  std::vector<std::string_view> bound;
  for (const pages::FieldBinding& binding : page->bindings) bound.push_back(binding.field);
  std::vector<std::string_view> fields;
  for (const board::Field* field : command.RequestForm()) fields.push_back(field->name);
  for (const board::Field* field : command.ResponseForm()) fields.push_back(field->name);
  EXPECT_EQ(bound, fields);
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, GeneratedPageTest, ::testing::ValuesIn([] {
                           std::vector<std::string> files = {TARNWICK_EVERY_KEY};
                           for (const auto& shipped : std::filesystem::directory_iterator(TARNWICK_BOARDS))
                             files.push_back(shipped.path().string());
                           std::vector<FileAndCommand> commands;
                           for (const std::string& file : files)
                             for (const board::Command& command : Described(file).commands)
                               commands.emplace_back(file, command.name);
                           return commands;
                         }()),
                         [](const auto& info) {
                           return testing::RowIdentifier(std::filesystem::path(info.param.first).stem().string() +
                                                         " " + info.param.second);
                         });

}  // namespace
}  // namespace tarnwick::gui_test
