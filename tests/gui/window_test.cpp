// The main window's start-up state, the pages' enabling rules, tab switching, the
// keyboard inside and outside pages, and Send with no port listed.

#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

namespace window = res::ids::window;
namespace stepper = res::ids::stepper;

// The start values of the window's own fields are checked with the settings.
TEST_F(WindowFixture, StartsOnCmd00WithEmptyOutputs) {
  EXPECT_FALSE(Window().windowIcon().pixmap(32).isNull()) << "the built-in icon, drawn by Qt's SVG plugin";
  for (int tab = 0; tab < res::kTabCount; ++tab) EXPECT_EQ(Window().Panel(tab).isVisibleTo(&Window()), !tab) << tab;
  EXPECT_EQ(Result(), "");
  // The query pages and the frame fields only show what an exchange brings.
  for (const int tab : {int{kMain}, int{res::kTabCmd13}, int{res::kTabCmd24}, int{res::kTabCmd43}}) {
    for (const auto& entry : (tab == kMain ? Window().Controls() : Window().Panel(tab).controls()).entries()) {
      auto* edit = qobject_cast<QLineEdit*>(entry.widget);
      if (edit && entry.row->id != window::kAddress) {
        EXPECT_TRUE(edit->isReadOnly() && edit->text().isEmpty()) << tab << " " << entry.row->id;
      }
    }
  }
  EXPECT_FALSE(Control(res::kTabCmd13, stepper::kReverse)->isEnabled());
}

TEST_F(WindowFixture, EveryTabLabelIsVisibleInRowsInsideTheStrip) {
  ASSERT_EQ(Strip()->count(), res::kTabCount);
  EXPECT_GT(Strip()->rowCount(), 1);
  int lowest = 0;
  for (int i = 0; i < Strip()->count(); ++i) {
    const QRect tab = Strip()->tabRect(i);
    EXPECT_TRUE(Strip()->rect().contains(tab)) << i;
    EXPECT_GE(tab.width(), Strip()->fontMetrics().horizontalAdvance(Strip()->tabText(i))) << i;
    for (int j = 0; j < i; ++j) EXPECT_FALSE(tab.intersects(Strip()->tabRect(j))) << i << " and " << j;
    lowest = std::max(lowest, tab.bottom());
  }
  // The selected tab's row moves next to the pages.
  EXPECT_EQ(Strip()->tabRect(res::kTabCmd00).bottom(), lowest);
  SelectTab(res::kTabDcTest);
  EXPECT_EQ(Strip()->tabRect(res::kTabDcTest).bottom(), lowest);
  EXPECT_LT(Strip()->tabRect(res::kTabCmd00).bottom(), lowest);
}

TEST_F(WindowFixture, EveryPageFillsTheDisplayArea) {
  const QRect area = Strip()->displayRect().translated(Strip()->pos());
  for (int tab = 0; tab < res::kTabCount; ++tab) EXPECT_EQ(Window().Panel(tab).geometry(), area) << tab;
}

// What was typed survives switching: the settings round trip types on many pages.
TEST_F(WindowFixture, ClickingATabShowsItsPageAlone) {
  Window().show();
  QTest::mouseClick(Strip(), Qt::LeftButton, {}, Strip()->tabRect(res::kTabCmd43).center());
  EXPECT_EQ(Window().CurrentTab(), res::kTabCmd43);
  for (int tab = 0; tab < res::kTabCount; ++tab) EXPECT_EQ(Window().Panel(tab).isVisible(), tab == res::kTabCmd43);
}

// A check box or list that greys fields keeps their text for when they come back.
TEST_F(WindowFixture, FieldsGreyedByAChoiceKeepTheirText) {
  namespace setup = res::ids::parameters;
  struct Row {
    int tab, chooser, field;
    std::vector<std::pair<const char*, bool>> steps;  // the choice ("" clicks a check box), then enabled
  };
  const Row rows[] = {
      {res::kTabCmd11, stepper::kNotLimit, stepper::kStepCount, {{"", false}, {"", true}}},
      {res::kTabCmd42, setup::kMotorType, setup::kRightFrequency, {{"Stepper", false}, {"D-C", true}, {"Stepper", false}}},
  };
  for (const Row& row : rows) {
    Set(row.tab, row.field, "77");
    for (const auto& [choice, enabled] : row.steps) {
      Set(row.tab, row.chooser, choice);
      EXPECT_EQ(Control(row.tab, row.field)->isEnabled(), enabled) << row.tab << " " << row.field << " " << choice;
    }
    EXPECT_EQ(Value(row.tab, row.field), "77") << row.tab;
  }
}

// Enter and Escape inside a page neither send nor close; in the window's own fields
// they do, and Alt+S sends from anywhere.
TEST_F(WindowFixture, EnterAltSAndEscapeActOnlyInTheWindowsOwnFields) {
  ShowActive();
  Set(kMain, window::kAddress, "01");
  const std::pair<int, int> fields[] = {{res::kTabCmd40, res::ids::cmd40::kNewAddress},
                                         {res::kTabCmd41, res::ids::cmd41::kBaudrate}};  // an edit and a list
  for (const auto& [tab, id] : fields) {
    SelectTab(tab);
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
      QTest::keyClick(Control(tab, id), key);
      EXPECT_TRUE(Window().Panel(tab).isVisible()) << tab << " " << key;
    }
  }
  SelectTab(res::kTabCmd00);
  QTest::keyClick(Get<QLineEdit>(kMain, window::kAddress), Qt::Key_Return);
  EXPECT_EQ(Heard(1), std::vector<std::string>{"01 01 80 82 00"}) << "one frame: the keys inside pages sent none";
  EXPECT_EQ(Result(), "Success");
  // A mnemonic presses its button visibly: the click comes a moment later.
  QTest::keyClick(Get<QLineEdit>(kMain, window::kAddress), Qt::Key_S, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Heard().size() == 2; }, 5000));
  EXPECT_EQ(Value(kMain, window::kAddress), "01") << "the S went to the button, not into Addr:";
  QTest::keyClick(Get<QLineEdit>(kMain, window::kAddress), Qt::Key_Escape);
  EXPECT_FALSE(Window().isVisible());
  EXPECT_EQ(Window().result(), QDialog::Rejected);
}

// Which entry a rescan selects is pinned down with the port list, and that the
// window rescans by the settings tests, whose second port comes from a rescan.
TEST_F(WindowFixture, WithNoPortListedSendSendsNothing) {
  ports_ = {};
  Get<QPushButton>(kMain, window::kRescan)->click();
  EXPECT_EQ(Get<QComboBox>(kMain, window::kPortList)->currentIndex(), -1);
  Send();
  EXPECT_EQ(Value(kMain, window::kSendData), "");
  EXPECT_EQ(Result(), "");
}

TEST_F(WindowFixture, LiveTestPagesReceiveThePortAndRateTheUserChose) {
  auto& stepper = static_cast<testpanels::LiveTestPanel&>(Window().Panel(res::kTabStepperTest));
  auto& dc = static_cast<testpanels::LiveTestPanel&>(Window().Panel(res::kTabDcTest));
  auto* bauds = Get<QComboBox>(kMain, window::kBaudList);
  bauds->setCurrentIndex(3);
  emit bauds->activated(3);
  EXPECT_EQ(stepper.PortPath(), board_->PortPath());
  EXPECT_EQ(stepper.BaudRate(), 19200);
  EXPECT_EQ(dc.BaudRate(), 19200);

  // A change the user did not make (a CMD41 reply) reaches them only with their tab.
  Window().SelectBaudIndex(6);
  EXPECT_EQ(dc.BaudRate(), 19200);
  SelectTab(res::kTabDcTest);
  EXPECT_EQ(dc.BaudRate(), 115200);
  EXPECT_EQ(stepper.BaudRate(), 19200);
}

}  // namespace
}  // namespace tarnwick::gui_test
