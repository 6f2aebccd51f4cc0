// The main window's start-up state, the pages' enabling rules, tab switching, the
// keyboard inside and outside pages, and the port list's rescan.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

namespace window = res::ids::window;
namespace stepper = res::ids::stepper;

TEST_F(WindowFixture, StartsOnCmd00WithTheDefaultSettings) {
  EXPECT_EQ(Window().windowTitle(), QString::fromUtf8("Quorral RS485电机驱动器测试工具Ver1.3"));
  EXPECT_FALSE(Window().windowIcon().pixmap(32).isNull()) << "the built-in icon, drawn by Qt's SVG plugin";
  EXPECT_EQ(Window().CurrentTab(), res::kTabCmd00);
  for (int tab = 0; tab < res::kTabCount; ++tab) EXPECT_EQ(Window().Panel(tab).isVisibleTo(&Window()), !tab) << tab;

  EXPECT_EQ(Get<QComboBox>(kMain, window::kPortList)->currentData().toString().toStdString(), board_->PortPath());
  EXPECT_EQ(Value(kMain, window::kBaudList), "9600");
  EXPECT_EQ(Value(kMain, window::kAddress), "FF");
  EXPECT_EQ(Value(kMain, window::kReply), "checked");
  EXPECT_EQ(Get<QLabel>(kMain, window::kResult)->text(), "");
  for (const int id : {window::kSendData, window::kRecvData}) {
    EXPECT_EQ(Value(kMain, id), "") << id;
    EXPECT_TRUE(Get<QLineEdit>(kMain, id)->isReadOnly()) << id;
  }
  // The query pages only show what a reply brings.
  for (const int tab : {res::kTabCmd13, res::kTabCmd24, res::kTabCmd43}) {
    for (const auto& entry : Window().Panel(tab).controls().entries()) {
      if (auto* edit = qobject_cast<QLineEdit*>(entry.widget)) {
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

TEST_F(WindowFixture, EveryPageFitsTheDisplayAreaAndKeepsItsControlsInside) {
  const QRect area = Strip()->displayRect().translated(Strip()->pos());
  for (int tab = 0; tab < res::kTabCount; ++tab) {
    const panels::PanelWidget& page = Window().Panel(tab);
    EXPECT_EQ(page.geometry(), area) << tab;
    for (const auto& entry : page.controls().entries())
      EXPECT_TRUE(page.rect().contains(entry.widget->geometry())) << "tab " << tab << " control " << entry.row->id;
  }
}

TEST_F(WindowFixture, ClickingTabsSwitchesPagesAndKeepsWhatWasTyped) {
  Window().show();
  const auto click = [&](int tab) { QTest::mouseClick(Strip(), Qt::LeftButton, {}, Strip()->tabRect(tab).center()); };
  click(res::kTabCmd11);
  ASSERT_EQ(Window().CurrentTab(), res::kTabCmd11);
  Set(res::kTabCmd11, stepper::kStepCount, "1234");
  click(res::kTabCmd43);
  EXPECT_EQ(Window().CurrentTab(), res::kTabCmd43);
  for (int tab = 0; tab < res::kTabCount; ++tab) EXPECT_EQ(Window().Panel(tab).isVisible(), tab == res::kTabCmd43);
  click(res::kTabCmd11);
  EXPECT_TRUE(Window().Panel(res::kTabCmd11).isVisible());
  EXPECT_EQ(Value(res::kTabCmd11, stepper::kStepCount), "1234");
}

TEST_F(WindowFixture, NotLimitGreysTheStepCountAndKeepsItsText) {
  for (const int tab : {res::kTabCmd11, res::kTabCmd12}) {
    Set(tab, stepper::kStepCount, "77");
    Set(tab, stepper::kNotLimit, "");
    EXPECT_FALSE(Control(tab, stepper::kStepCount)->isEnabled()) << tab;
    Set(tab, stepper::kNotLimit, "");
    EXPECT_TRUE(Control(tab, stepper::kStepCount)->isEnabled()) << tab;
    EXPECT_EQ(Value(tab, stepper::kStepCount), "77") << tab;
  }
}

TEST_F(WindowFixture, MotorTypeEnablesTheRightFieldsOnlyForDc) {
  namespace setup = res::ids::parameters;
  QWidget* rightFields[] = {Control(res::kTabCmd42, setup::kRightFrequency),
                            Control(res::kTabCmd42, setup::kRightPulseDuty)};
  Set(res::kTabCmd42, setup::kRightFrequency, "123");
  for (const char* type : {"Stepper", "D-C", "Stepper"}) {
    Set(res::kTabCmd42, setup::kMotorType, type);
    for (QWidget* field : rightFields) EXPECT_EQ(field->isEnabled(), type[0] == 'D') << type;
  }
  EXPECT_EQ(Value(res::kTabCmd42, setup::kRightFrequency), "123");
}

// Enter and Escape inside a page neither send nor close; in the window's own fields they do.
TEST_F(WindowFixture, EnterAndEscapeActOnlyInTheWindowsOwnFields) {
  Window().show();
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
  EXPECT_EQ(Get<QLabel>(kMain, window::kResult)->text(), "Success");
  QTest::keyClick(Get<QLineEdit>(kMain, window::kAddress), Qt::Key_Escape);
  EXPECT_FALSE(Window().isVisible());
  EXPECT_EQ(Window().result(), QDialog::Rejected);

  Window().show();
  Get<QPushButton>(kMain, window::kExit)->click();
  EXPECT_FALSE(Window().isVisible());
}

// Which entry a rescan selects is pinned down with the port list; here, that the window rescans.
TEST_F(WindowFixture, RescanKeepsTheSelectedPortWhereItIsFoundAgain) {
  auto* ports = Get<QComboBox>(kMain, window::kPortList);
  ports_ = {{"ttyACM0", "/dev/ttyACM0"}, {"sim0", board_->PortPath()}};
  Get<QPushButton>(kMain, window::kRescan)->click();
  EXPECT_EQ(ports->count(), 2);
  EXPECT_EQ(ports->currentText(), "sim0");

  ports_ = {};
  Get<QPushButton>(kMain, window::kRescan)->click();
  EXPECT_EQ(ports->currentIndex(), -1);
  Get<QPushButton>(kMain, window::kSend)->click();
  EXPECT_EQ(Value(kMain, window::kSendData), "") << "no port: nothing sent, nothing shown";
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
