#include "pages/live_test_pages.h"

#include <QCheckBox>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include "pages/control_ids.h"
#include "pages/dialog_templates.h"

namespace tarnwick::pages {
LiveTestPanel::LiveTestPanel(int templateId, std::unique_ptr<bench::LiveTestController> controller,
                             const std::vector<LiveChannelBinding>& channels, const std::vector<int>& reverseBoxIds,
                             QWidget* parent)
    : PanelWidget(templateId, parent), controller_(std::move(controller)) {
  for (const LiveChannelBinding& binding : channels) {
    const BoundChannel bound{Control<QLineEdit>(binding.editId), Control<QSlider>(binding.sliderId), binding.channel};
    channels_.push_back(bound);
    // A vertical slider has its minimum at the bottom, so the top end is the
    // largest value, as the labels beside it show.
    bound.slider->setRange(0, controller_->SliderMaximum(bound.channel));
    bound.slider->setTickInterval(binding.tickInterval);
    bound.slider->setPageStep(binding.pageStep);
    ShowChannel(bound);

    // Every scroll action (drag, wheel, keys, page, click in the channel) reports
    // the position it reached; the end of a drag reports one more time.
    QSlider* slider = bound.slider;
    // actionTriggered comes before the slider takes the new value as its own, so
    // it reads the position the action reached.
    connect(slider, &QSlider::actionTriggered, this, [this, slider, bound] {
      Controller().SliderMoved(bound.channel, slider->sliderPosition());
      ShowChannel(bound);
    });
    connect(slider, &QSlider::sliderReleased, this, [this, slider, bound] {
      Controller().SliderMoved(bound.channel, slider->value());
      ShowChannel(bound);
    });
    bound.edit->installEventFilter(this);
  }

  for (std::size_t box = 0; box < reverseBoxIds.size(); ++box) {
    connect(Control<QCheckBox>(reverseBoxIds[box]), &QCheckBox::clicked, this,
            [this, box](bool checked) { Controller().ReverseClicked(static_cast<int>(box), checked); });
  }

  static_assert(pages::ids::stepper_test::kBeginStop == pages::ids::dc_test::kBeginStop);
  beginStop_ = Control<QPushButton>(pages::ids::stepper_test::kBeginStop);
  connect(beginStop_, &QPushButton::clicked, this, [this] {
    Controller().BeginStopClicked();
    ShowButtonText();
  });
}

void LiveTestPanel::StopIfRunning() {
  Controller().StopIfRunning();
  ShowButtonText();
}

void LiveTestPanel::ShowButtonText() {
  beginStop_->setText(pages::DisplayText(std::string(controller_->ButtonText())));
}

bench::LiveTestController& LiveTestPanel::Controller() {
  // The edits hold the texts; a send reads them as they stand, typed or not.
  for (const BoundChannel& bound : channels_) controller_->EditTyped(bound.channel, pages::FieldText(bound.edit));
  return *controller_;
}

void LiveTestPanel::ShowChannel(const BoundChannel& bound) {
  const QString text = pages::DisplayText(controller_->EditText(bound.channel));
  if (bound.edit->text() != text) bound.edit->setText(text);
  const QSignalBlocker quiet(bound.slider);
  bound.slider->setValue(controller_->SliderValue(bound.channel));
}

// Only the loss of focus takes an edit's text: typing alone changes nothing.
bool LiveTestPanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    for (const BoundChannel& bound : channels_) {
      if (bound.edit != watched) continue;
      Controller().EditLostFocus(bound.channel, pages::FieldText(bound.edit));
      ShowChannel(bound);
    }
  }
  return PanelWidget::eventFilter(watched, event);
}

namespace stepper_ids = pages::ids::stepper_test;
namespace dc_ids = pages::ids::dc_test;

CStepperTestPanel::CStepperTestPanel(QWidget* parent)
    : LiveTestPanel(pages::kStepperTestTemplate, std::make_unique<bench::StepperTestController>(),
                    {{stepper_ids::kFrequency, stepper_ids::kFrequencySlider, bench::kStepperFreq, 500, 100},
                     {stepper_ids::kDuty, stepper_ids::kDutySlider, bench::kStepperDuty, 5, 10}},
                    {stepper_ids::kReverse}, parent) {}

CDCTestPanel::CDCTestPanel(QWidget* parent)
    : LiveTestPanel(pages::kDcTestTemplate, std::make_unique<bench::DcTestController>(),
                    {{dc_ids::kLeftFrequency, dc_ids::kLeftFrequencySlider, bench::kLeftFreq, 4000, 100},
                     {dc_ids::kLeftDuty, dc_ids::kLeftDutySlider, bench::kLeftDuty, 5, 10},
                     {dc_ids::kRightFrequency, dc_ids::kRightFrequencySlider, bench::kRightFreq, 4000, 100},
                     {dc_ids::kRightDuty, dc_ids::kRightDutySlider, bench::kRightDuty, 5, 10}},
                    {dc_ids::kLeftReverse, dc_ids::kRightReverse}, parent) {}

}  // namespace tarnwick::pages
