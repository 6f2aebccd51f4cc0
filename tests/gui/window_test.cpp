// The main window's tab strip and result line, the keyboard inside and outside
// pages, Send with no port listed, and Send waiting on a network port.

#include <QTimer>
#include <optional>

#include "testing/hostile_server.h"
#include "window_fixture.h"

namespace tarnwick::gui_test {
namespace {

namespace window = pages::ids::window;

// Every tab label in rows inside the strip, and every result text on the result
// line beside the Log button, shown whole.
TEST_F(WindowFixture, EveryTabLabelAndResultTextIsShownWhole) {
  ASSERT_EQ(Strip()->count(), pages::kTabCount);
  for (int i = 0; i < Strip()->count(); ++i) {
    const QRect tab = Strip()->tabRect(i);
    EXPECT_TRUE(Strip()->rect().contains(tab)) << i;
    EXPECT_GE(tab.width(), Strip()->fontMetrics().horizontalAdvance(Strip()->tabText(i))) << i;
    for (int j = 0; j < i; ++j) EXPECT_FALSE(tab.intersects(Strip()->tabRect(j))) << i << " and " << j;
  }
  const QLabel* result = Get<QLabel>(kMain, window::kResult);
  std::vector<std::string_view> texts = {link::result::kSuccess, link::result::kFailed, link::result::kReadFailed,
                                         link::result::kNoResponse, link::result::kDataError};
  for (int code = 0; code <= 5; ++code) texts.push_back(link::DeviceErrorText(static_cast<std::uint8_t>(code)));
  for (const std::string_view text : texts)
    EXPECT_LE(result->fontMetrics().horizontalAdvance(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))),
              result->width())
        << text;
  EXPECT_LT(result->geometry().right(), Get<QPushButton>(kMain, window::kLog)->geometry().left());
}

// Enter and Escape inside a page neither send nor close; Enter in the window's own
// fields sends (Escape there closes the window during the live tests).
TEST_F(WindowFixture, EnterAndEscapeActOnlyInTheWindowsOwnFields) {
  ShowActive();
  Set(kMain, window::kAddress, "01");
  SelectTab(pages::kTabCmd40);
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    QTest::keyClick(Control(pages::kTabCmd40, pages::ids::cmd40::kNewAddress), key);
    EXPECT_TRUE(Window().Panel(pages::kTabCmd40).isVisible()) << key;
  }
  SelectTab(pages::kTabCmd00);
  SendAndWait(Window(), [this] { QTest::keyClick(Get<QLineEdit>(kMain, window::kAddress), Qt::Key_Return); });
  EXPECT_EQ(Heard(1), std::vector<std::string>{"01 01 80 82 00"}) << "one frame: the keys inside pages sent none";
  EXPECT_EQ(Result(), "Success");
}

// Which entry a rescan selects is pinned down with the port list, and that the
// window rescans by the settings tests, whose second port comes from a rescan.
TEST_F(WindowFixture, WithNoPortListedSendSendsNothing) {
  ports_ = {};
  Get<QPushButton>(kMain, window::kRescan)->click();
  Send();
  EXPECT_EQ(Value(kMain, window::kSendData), "");
  EXPECT_EQ(Result(), "");
}

// Send to a server that never takes the connection: the exchange waits until the
// test lets the server go (the connection is refused from then on).
class NetworkSendTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(Window().AddNetworkPort(url_));
    SelectTab(pages::kTabCmd13);
    Set(kMain, window::kAddress, "01");
    QObject::connect(&Window(), &app::CTarnwickDlg::SendEnded, &Window(), [this] { events_.push_back("shown"); });
  }
  void ClickSend() {
    SendAndWait(Window(), [this] {
      Get<QPushButton>(kMain, window::kSend)->click();
      events_.push_back("clicked");
    });
  }

  std::optional<testing::HostileServer> server_{std::in_place, testing::HostileScript{.neverAccepts = true}};
  const std::string url_ = "rfc2217://127.0.0.1:" + std::to_string(server_->Port()) + "?timeout=30";
  std::vector<std::string> events_;
};

// Send returns at once and the window goes on handling events with Send off until
// the exchange ends; it then shows, on the page that sent, what the same exchange
// run directly shows, with Send back on and focused.
TEST_F(NetworkSendTest, SendWaitsWithoutHoldingTheWindow) {
  auto* send = Get<QPushButton>(kMain, window::kSend);
  ShowActive();
  send->setFocus();
  QTimer::singleShot(0, &Window(), [&] {
    events_.push_back(send->isEnabled() ? "event loop ran, Send on" : "event loop ran, Send off");
    SelectTab(pages::kTabCmd00);
    server_.reset();
  });
  ClickSend();

  EXPECT_EQ(events_, (std::vector<std::string>{"clicked", "event loop ran, Send off", "shown"}));
  EXPECT_TRUE(send->isEnabled());
  EXPECT_EQ(QApplication::focusWidget(), send) << "not handed on to Exit while Send was off";
  const board::ExchangeRecord direct =
      board::SendCommand(Window().CurrentLineSettings(), *board::Current().FindNamed("CMD13"), {});
  ASSERT_EQ(direct.outcome.stage, link::ExchangeStage::PortUnavailable);
  EXPECT_EQ(Get<QLabel>(kMain, window::kNotice)->text().toStdString(),
            "Not sent: " + link::DescribeOpenError(url_, direct.openError));
  EXPECT_EQ(Result(), direct.outcome.result);
}

// Closing the window mid-exchange waits for it and shows it before the tools are
// told to stop (a live test's stop frame then finds the port free).
TEST_F(NetworkSendTest, ClosingTheWindowShowsTheExchangeBeforeTheToolsStop) {
  QObject::connect(&Window(), &app::CTarnwickDlg::Closing, &Window(), [this] { events_.push_back("closing"); });
  QTimer::singleShot(0, &Window(), [this] {
    server_.reset();
    Window().done(QDialog::Rejected);
  });
  ClickSend();
  EXPECT_EQ(events_, (std::vector<std::string>{"clicked", "shown", "closing"}));
  EXPECT_FALSE(Window().Sending());
  EXPECT_TRUE(Get<QLabel>(kMain, window::kNotice)->text().startsWith("Not sent: "));
}

}  // namespace
}  // namespace tarnwick::gui_test
