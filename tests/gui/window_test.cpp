// The main window's start-up state, its pages' start values, tab switching, the
// keyboard inside and outside pages, and the port list's rescan.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <variant>

#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

TEST_F(WindowFixture, StartsOnCmd00WithTheDefaultSettings) {
  EXPECT_EQ(Window().windowTitle(), QString::fromUtf8("Quorral RS485电机驱动器测试工具Ver1.3"));
  EXPECT_EQ(Window().CurrentTab(), link::kTabCmd00);
  EXPECT_EQ(Strip()->currentIndex(), link::kTabCmd00);
  for (int tab = 0; tab < link::kTabCount; ++tab) EXPECT_EQ(Window().Panel(tab).isVisibleTo(&Window()), tab == 0) << tab;

  auto* ports = MainControl<QComboBox>(1001);
  ASSERT_EQ(ports->count(), 1);
  EXPECT_EQ(ports->currentIndex(), 0);
  EXPECT_EQ(ports->currentData().toString().toStdString(), board_->PortPath());

  auto* bauds = MainControl<QComboBox>(1002);
  const QStringList rates = {"2400", "4800", "9600", "19200", "38400", "57600", "115200"};
  ASSERT_EQ(bauds->count(), rates.size());
  for (int i = 0; i < bauds->count(); ++i) {
    EXPECT_EQ(bauds->itemText(i), rates[i]);
    EXPECT_EQ(bauds->itemData(i).toInt(), i);
  }
  EXPECT_EQ(bauds->currentText(), "9600");

  EXPECT_EQ(MainControl<QLineEdit>(1003)->text(), "FF");
  EXPECT_TRUE(MainControl<QCheckBox>(1006)->isChecked());
  EXPECT_EQ(MainControl<QLineEdit>(1004)->text(), "");
  EXPECT_EQ(MainControl<QLineEdit>(1005)->text(), "");
  EXPECT_EQ(MainControl<QLabel>(1007)->text(), "");
  EXPECT_TRUE(MainControl<QLineEdit>(1004)->isReadOnly());
  EXPECT_TRUE(MainControl<QLineEdit>(1005)->isReadOnly());
}

TEST_F(WindowFixture, EveryTabLabelIsVisibleInRowsInsideTheStrip) {
  const QStringList texts = {"CMD00", "CMD11", "CMD12", "CMD13", "CMD21", "CMD22", "CMD23", "CMD24",
                             "CMD38", "CMD3F", "CMD40", "CMD41", "CMD42", "CMD43", "Stepper Test", "D-C Test"};
  ASSERT_EQ(Strip()->count(), texts.size());
  EXPECT_GT(Strip()->rowCount(), 1);
  for (int i = 0; i < Strip()->count(); ++i) {
    EXPECT_EQ(Strip()->tabText(i), texts[i]);
    const QRect tab = Strip()->tabRect(i);
    EXPECT_TRUE(Strip()->rect().contains(tab)) << i;
    EXPECT_GE(tab.width(), Strip()->fontMetrics().horizontalAdvance(texts[i])) << i;
    for (int j = 0; j < i; ++j) EXPECT_FALSE(tab.intersects(Strip()->tabRect(j))) << i << " and " << j;
  }
  // The selected tab's row sits next to the pages.
  const auto lowestBottom = [&] {
    int lowest = 0;
    for (int i = 0; i < Strip()->count(); ++i) lowest = std::max(lowest, Strip()->tabRect(i).bottom());
    return lowest;
  };
  EXPECT_EQ(Strip()->tabRect(link::kTabCmd00).bottom(), lowestBottom());
  SelectTab(link::kTabDcTest);
  EXPECT_EQ(Strip()->tabRect(link::kTabDcTest).bottom(), lowestBottom());
  EXPECT_LT(Strip()->tabRect(link::kTabCmd00).bottom(), lowestBottom());
}

TEST_F(WindowFixture, EveryPageFitsTheDisplayAreaAndKeepsItsControlsInside) {
  const QRect area = Strip()->displayRect().translated(Strip()->pos());
  for (int tab = 0; tab < link::kTabCount; ++tab) {
    const panels::PanelWidget& page = Window().Panel(tab);
    EXPECT_EQ(page.geometry(), area) << tab;
    for (const auto& entry : page.controls().entries()) {
      QRect bounds = entry.widget->geometry();
      EXPECT_TRUE(page.rect().contains(bounds))
          << "tab " << tab << " control " << entry.row->id << " '" << entry.row->text << "' at "
          << bounds.x() << "," << bounds.y() << " " << bounds.width() << "x" << bounds.height();
    }
  }
}

// Start values, read-only and disabled states of the pages, as a user first sees them.
struct StartValue {
  int tab;
  int id;
  std::variant<const char*, bool> value;  // an edit's text, or a check box or radio button's state
  bool enabled = true;
  bool readOnly = false;
};

const StartValue kStartValues[] = {
    {link::kTabCmd11, 1018, "6000"},         {link::kTabCmd11, 1019, false},
    {link::kTabCmd11, 1020, false},          {link::kTabCmd12, 1018, "8000"},
    {link::kTabCmd12, 1021, "0"},            {link::kTabCmd12, 1022, "100"},
    {link::kTabCmd12, 1019, false},          {link::kTabCmd12, 1020, false},
    {link::kTabCmd13, 1018, "", true, true}, {link::kTabCmd13, 1021, "", true, true},
    {link::kTabCmd13, 1022, "", true, true}, {link::kTabCmd13, 1019, false, false},
    {link::kTabCmd21, 1006, "60"},           {link::kTabCmd21, 1008, "60"},
    {link::kTabCmd21, 1009, false},          {link::kTabCmd21, 1010, false},
    {link::kTabCmd22, 1010, true},           {link::kTabCmd22, 1011, false},
    {link::kTabCmd22, 1012, false},          {link::kTabCmd22, 1016, false},
    {link::kTabCmd22, 1013, true},           {link::kTabCmd22, 1017, false},
    {link::kTabCmd23, 1005, "25000"},        {link::kTabCmd23, 1006, "100"},
    {link::kTabCmd23, 1007, "25000"},        {link::kTabCmd23, 1008, "100"},
    {link::kTabCmd24, 1017, "", true, true}, {link::kTabCmd24, 1018, "", true, true},
    {link::kTabCmd40, 1011, "58"},           {link::kTabCmd42, 1005, "2500"},
    {link::kTabCmd42, 1006, "100"},          {link::kTabCmd42, 1007, "50000", false},
    {link::kTabCmd42, 1008, "100", false},   {link::kTabCmd43, 1009, "", true, true},
    {link::kTabCmd43, 1013, "", true, true}, {link::kTabCmd43, 1014, "", true, true},
    {link::kTabCmd43, 1015, "", true, true}, {link::kTabCmd43, 1016, "", true, true},
};

TEST_F(WindowFixture, PagesShowTheirStartValuesAndStates) {
  for (const StartValue& expected : kStartValues) {
    SCOPED_TRACE(testing::Message() << "tab " << expected.tab << " control " << expected.id);
    QWidget* control = Window().Panel(expected.tab).controls().find(expected.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->isEnabled(), expected.enabled);
    if (const auto* text = std::get_if<const char*>(&expected.value)) {
      auto* edit = qobject_cast<QLineEdit*>(control);
      ASSERT_NE(edit, nullptr);
      EXPECT_EQ(edit->text(), *text);
      EXPECT_EQ(edit->isReadOnly(), expected.readOnly);
    } else {
      auto* button = qobject_cast<QAbstractButton*>(control);
      ASSERT_NE(button, nullptr);
      EXPECT_EQ(button->isChecked(), std::get<bool>(expected.value));
    }
  }
}

TEST_F(WindowFixture, ListsHoldTheirEntriesWithItemData) {
  auto* motorType = PanelControl<QComboBox>(link::kTabCmd42, 1004);
  ASSERT_EQ(motorType->count(), 2);
  EXPECT_EQ(motorType->itemText(0), "Stepper");
  EXPECT_EQ(motorType->itemData(0).toInt(), 1);
  EXPECT_EQ(motorType->itemText(1), "D-C");
  EXPECT_EQ(motorType->itemData(1).toInt(), 2);
  EXPECT_EQ(motorType->currentIndex(), 0);

  auto* rates = PanelControl<QComboBox>(link::kTabCmd41, 1002);
  ASSERT_EQ(rates->count(), 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(rates->itemData(i).toInt(), i);
  EXPECT_EQ(rates->currentText(), "9600");
}

TEST_F(WindowFixture, RadioButtonsFormOneGroupPerMotor) {
  auto* leftStop = PanelControl<QRadioButton>(link::kTabCmd22, 1012);
  leftStop->click();
  EXPECT_FALSE(PanelControl<QRadioButton>(link::kTabCmd22, 1010)->isChecked());
  EXPECT_TRUE(PanelControl<QRadioButton>(link::kTabCmd22, 1013)->isChecked()) << "the Right group is untouched";
  EXPECT_EQ(Window().LeftMode(), 0);
  EXPECT_EQ(Window().RightMode(), 1);
}

TEST_F(WindowFixture, ClickingTabsSwitchesPagesAndKeepsWhatWasTyped) {
  Window().show();
  auto* stepCount = PanelControl<QLineEdit>(link::kTabCmd11, 1018);
  QTest::mouseClick(Strip(), Qt::LeftButton, {}, Strip()->tabRect(link::kTabCmd11).center());
  ASSERT_EQ(Window().CurrentTab(), link::kTabCmd11);
  EXPECT_TRUE(Window().Panel(link::kTabCmd11).isVisible());
  stepCount->setText("1234");

  QTest::mouseClick(Strip(), Qt::LeftButton, {}, Strip()->tabRect(link::kTabCmd43).center());
  EXPECT_EQ(Window().CurrentTab(), link::kTabCmd43);
  for (int tab = 0; tab < link::kTabCount; ++tab) EXPECT_EQ(Window().Panel(tab).isVisible(), tab == link::kTabCmd43);

  QTest::mouseClick(Strip(), Qt::LeftButton, {}, Strip()->tabRect(link::kTabCmd11).center());
  EXPECT_TRUE(Window().Panel(link::kTabCmd11).isVisible());
  EXPECT_EQ(stepCount->text(), "1234");
}

TEST_F(WindowFixture, NotLimitGreysTheStepCountAndKeepsItsText) {
  for (const int tab : {link::kTabCmd11, link::kTabCmd12}) {
    auto* stepCount = PanelControl<QLineEdit>(tab, 1018);
    auto* notLimit = PanelControl<QCheckBox>(tab, 1020);
    stepCount->setText("77");
    notLimit->click();
    EXPECT_FALSE(stepCount->isEnabled()) << tab;
    notLimit->click();
    EXPECT_TRUE(stepCount->isEnabled()) << tab;
    EXPECT_EQ(stepCount->text(), "77") << tab;
  }
}

TEST_F(WindowFixture, MotorTypeEnablesTheRightFieldsOnlyForDc) {
  auto* motorType = PanelControl<QComboBox>(link::kTabCmd42, 1004);
  auto* rightFrequency = PanelControl<QLineEdit>(link::kTabCmd42, 1007);
  auto* rightDuty = PanelControl<QLineEdit>(link::kTabCmd42, 1008);
  rightFrequency->setText("123");
  motorType->setCurrentIndex(1);
  EXPECT_TRUE(rightFrequency->isEnabled());
  EXPECT_TRUE(rightDuty->isEnabled());
  motorType->setCurrentIndex(0);
  EXPECT_FALSE(rightFrequency->isEnabled());
  EXPECT_FALSE(rightDuty->isEnabled());
  EXPECT_EQ(rightFrequency->text(), "123");
}

TEST_F(WindowFixture, EnterAndEscapeInsideAPageDoNothing) {
  Window().show();
  SelectTab(link::kTabCmd40);
  MainControl<QLineEdit>(1003)->setText("01");
  auto* newAddress = PanelControl<QLineEdit>(link::kTabCmd40, 1011);
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    QTest::keyClick(newAddress, key);
    EXPECT_TRUE(Window().isVisible()) << key;
    EXPECT_TRUE(Window().Panel(link::kTabCmd40).isVisible()) << key;
  }
  auto* rates = PanelControl<QComboBox>(link::kTabCmd41, 1002);
  SelectTab(link::kTabCmd41);
  QTest::keyClick(rates, Qt::Key_Return);
  QTest::keyClick(rates, Qt::Key_Escape);
  EXPECT_TRUE(Window().isVisible());

  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(Heard().empty());
  EXPECT_EQ(MainControl<QLineEdit>(1004)->text(), "");
}

TEST_F(WindowFixture, EnterInTheWindowsOwnFieldSendsAndEscapeCloses) {
  Window().show();
  QTest::keyClick(MainControl<QLineEdit>(1003), Qt::Key_Return);
  EXPECT_EQ(Heard(1), std::vector<std::string>{"FF 01 80 80 01"});
  EXPECT_EQ(MainControl<QLabel>(1007)->text(), "Success");

  QTest::keyClick(MainControl<QLineEdit>(1003), Qt::Key_Escape);
  EXPECT_FALSE(Window().isVisible());
  EXPECT_EQ(Window().result(), QDialog::Rejected);
}

TEST_F(WindowFixture, ExitButtonCloses) {
  Window().show();
  MainControl<QPushButton>(2)->click();
  EXPECT_FALSE(Window().isVisible());
}

TEST_F(WindowFixture, RescanKeepsTheSelectedPortWhereItIsFoundAgain) {
  const std::string boardPath = board_->PortPath();
  ports_ = {{"sim0", boardPath}, {"ttyUSB0", "/dev/ttyUSB0"}};
  MainControl<QPushButton>(3)->click();
  auto* ports = MainControl<QComboBox>(1001);
  ASSERT_EQ(ports->count(), 2);
  ports->setCurrentIndex(1);

  ports_ = {{"ttyACM0", "/dev/ttyACM0"}, {"sim0", boardPath}, {"ttyUSB0", "/dev/ttyUSB0"}};
  MainControl<QPushButton>(3)->click();
  EXPECT_EQ(ports->count(), 3);
  EXPECT_EQ(ports->currentText(), "ttyUSB0");

  ports_ = {{"sim0", boardPath}};
  MainControl<QPushButton>(3)->click();
  EXPECT_EQ(ports->currentText(), "sim0") << "the first entry when the old one is gone";

  ports_ = {};
  MainControl<QPushButton>(3)->click();
  EXPECT_EQ(ports->currentIndex(), -1);
  MainControl<QPushButton>(1)->click();
  EXPECT_EQ(MainControl<QLineEdit>(1004)->text(), "") << "no port: nothing sent, nothing shown";
}

TEST_F(WindowFixture, LiveTestPagesReceiveThePortAndRateTheUserChose) {
  auto& stepper = static_cast<testpanels::LiveTestPanel&>(Window().Panel(link::kTabStepperTest));
  auto& dc = static_cast<testpanels::LiveTestPanel&>(Window().Panel(link::kTabDcTest));
  EXPECT_EQ(stepper.baudRate, 0);

  auto* bauds = MainControl<QComboBox>(1002);
  bauds->setCurrentIndex(3);
  emit bauds->activated(3);
  EXPECT_EQ(stepper.portPath, board_->PortPath());
  EXPECT_EQ(stepper.baudRate, 19200);
  EXPECT_EQ(dc.baudRate, 19200);

  // A change the user did not make (a CMD41 reply) reaches them only with their tab.
  Window().SelectBaudIndex(6);
  EXPECT_EQ(dc.baudRate, 19200);
  SelectTab(link::kTabDcTest);
  EXPECT_EQ(dc.baudRate, 115200);
  EXPECT_EQ(stepper.baudRate, 19200);
}

}  // namespace
}  // namespace tarnwick::gui_test
