#pragma once
// The Stepper Test and D-C Test pages: thin widgets over the live test behaviour in
// panels/live_test_controller.h. Their trackbars, edits, check boxes and Begin/Stop
// button feed it events, and they show back what it holds.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/live_test_controller.h"
#include "pages/panel_widget.h"

class QLineEdit;
class QPushButton;
class QSlider;

namespace tarnwick::pages {

// One edit and its trackbar, by control id, with the trackbar's tick spacing and page.
struct LiveChannelBinding {
  int editId;
  int sliderId;
  int channel;
  int tickInterval;
  int pageStep;
};

class LiveTestPanel : public pages::PanelWidget {
  Q_OBJECT
 public:
  // The main window's handover: the selected port (empty when the port list has no
  // selection) and the rate in bits per second (not a list index).
  void SetPort(std::string path, int baudRate) { controller_->SetPort(std::move(path), baudRate); }
  void SetDirection(const link::DirectionSettings& direction) { controller_->SetDirection(direction); }
  const std::string& PortPath() const { return controller_->PortPath(); }
  int BaudRate() const { return controller_->BaudRate(); }
  void SetTrafficLog(link::TrafficLog* log) { controller_->SetTrafficLog(log); }
  // The window is closing: a running test stops as its Stop button would stop it.
  void StopIfRunning();

  const bench::LiveTestController& controller() const { return *controller_; }

 protected:
  LiveTestPanel(int templateId, std::unique_ptr<bench::LiveTestController> controller,
                const std::vector<LiveChannelBinding>& channels, const std::vector<int>& reverseBoxIds,
                QWidget* parent);

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct BoundChannel {
    QLineEdit* edit;
    QSlider* slider;
    int channel;
  };

  // Every event first takes the edits' texts as they stand.
  bench::LiveTestController& Controller();
  void ShowChannel(const BoundChannel& bound);
  void ShowButtonText();

  std::unique_ptr<bench::LiveTestController> controller_;
  std::vector<BoundChannel> channels_;
  QPushButton* beginStop_ = nullptr;
};

class CStepperTestPanel : public LiveTestPanel {
  Q_OBJECT
 public:
  explicit CStepperTestPanel(QWidget* parent = nullptr);
};

class CDCTestPanel : public LiveTestPanel {
  Q_OBJECT
 public:
  explicit CDCTestPanel(QWidget* parent = nullptr);
};

}  // namespace tarnwick::pages
