// Every dialog template built at the default font: controls inside their dialog, no
// two overlapping except inside group boxes, and every text fitting its control.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

#include "res/dialog_builder.h"
#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

using res::ControlKind;
using res::DialogTemplate;

std::string Describe(const res::BuiltControls::Entry& entry) {
  const QRect r = entry.widget->geometry();
  return std::to_string(entry.row->id) + " '" + std::string(entry.row->text) + "' at " + std::to_string(r.x()) + "," +
         std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" + std::to_string(r.height());
}

// The width a control's text needs, beyond which the style would cut it.
int NeededWidth(const res::BuiltControls::Entry& entry) {
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

class TemplateLayoutTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    dialog_ = &res::FindDialogTemplate(GetParam());
    host_ = std::make_unique<QWidget>();
    controls_ = res::BuildControls(*dialog_, host_.get());
  }
  const DialogTemplate* dialog_ = nullptr;
  std::unique_ptr<QWidget> host_;
  res::BuiltControls controls_;
};

TEST_P(TemplateLayoutTest, ControlsLieInsideTheDialog) {
  const QRect dialogRect(QPoint(0, 0), res::DialogPixelSize(*dialog_));
  for (const auto& row : dialog_->controls) {
    EXPECT_GE(row.rect.x, 0);
    EXPECT_GE(row.rect.y, 0);
    EXPECT_LE(row.rect.x + row.rect.width, dialog_->width) << row.id << " " << row.text;
    // A drop-down list's template height includes its open list.
    if (row.kind != ControlKind::DropDownList) {
      EXPECT_LE(row.rect.y + row.rect.height, dialog_->height) << row.id << " " << row.text;
    }
  }
  for (const auto& entry : controls_.entries())
    EXPECT_TRUE(dialogRect.contains(entry.widget->geometry())) << Describe(entry);
}

TEST_P(TemplateLayoutTest, NoTwoControlsOverlapExceptInsideAGroupBox) {
  const auto& entries = controls_.entries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const QRect a = entries[i].widget->geometry();
      const QRect b = entries[j].widget->geometry();
      if (!a.intersects(b)) continue;
      const bool aIsGroup = entries[i].row->kind == ControlKind::GroupBox;
      const bool bIsGroup = entries[j].row->kind == ControlKind::GroupBox;
      if (aIsGroup != bIsGroup) {
        const QRect& group = aIsGroup ? a : b;
        const QRect& inner = aIsGroup ? b : a;
        EXPECT_TRUE(group.contains(inner)) << Describe(entries[i]) << " crosses the edge of " << Describe(entries[j]);
      } else {
        ADD_FAILURE() << Describe(entries[i]) << " overlaps " << Describe(entries[j]);
      }
    }
  }
}

TEST_P(TemplateLayoutTest, EveryTextFitsItsControl) {
  for (const auto& entry : controls_.entries()) {
    if (entry.row->text.empty()) continue;
    const QRect r = entry.widget->geometry();
    EXPECT_LE(NeededWidth(entry), r.width()) << Describe(entry);
    EXPECT_LE(entry.widget->fontMetrics().height(), r.height()) << Describe(entry);
  }
}

std::vector<int> AllTemplateIds() {
  std::vector<int> ids;
  for (const DialogTemplate* t : res::AllDialogTemplates()) ids.push_back(t->id);
  return ids;
}

INSTANTIATE_TEST_SUITE_P(EveryTemplate, TemplateLayoutTest, ::testing::ValuesIn(AllTemplateIds()),
                         [](const auto& info) { return "Template" + std::to_string(info.param); });

TEST(DialogUnits, FollowTheFontMetrics) {
  QFont font = res::DialogFont(res::FindDialogTemplate(res::kMainDialogTemplate));
  const res::DialogUnits units = res::DialogUnits::ForFont(font);
  EXPECT_EQ(units.ToPixels(res::DluRect{0, 0, 4, 8}).height(), QFontMetrics(font).height());
  font.setPointSize(font.pointSize() * 2);
  const res::DialogUnits twice = res::DialogUnits::ForFont(font);
  EXPECT_NEAR(twice.averageCharWidth(), 2 * units.averageCharWidth(), 1.0);
  EXPECT_GT(res::DialogPixelSize(res::FindDialogTemplate(res::kCmd12Template)).width(), 0);
}

}  // namespace
}  // namespace tarnwick::gui_test
