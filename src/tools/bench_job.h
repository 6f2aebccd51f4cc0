#pragma once
// One piece of bench work (Send's exchange, find, watch, a sequence) run off the
// window's thread, so the window stays responsive. The work polls the stop flag between exchanges; what
// it wants shown it posts back to the window's thread.

#include <QObject>
#include <atomic>
#include <functional>
#include <thread>

#include "link/traffic_log.h"

namespace tarnwick::app {

class BenchJob : public QObject {
  Q_OBJECT

 public:
  using Work = std::function<void(const std::atomic<bool>& stopRequested)>;

  explicit BenchJob(QObject* parent = nullptr) : QObject(parent) {}
  // A job still running is stopped and waited for: its port is closed before the
  // window that lent it goes.
  ~BenchJob() override { StopAndWait(); }

  // Starts the work on a thread of its own; false, doing nothing, while one runs.
  bool Start(Work work);
  void RequestStop() { stopRequested_ = true; }
  void StopAndWait();
  // Waits for the work to end, then runs at once what it posted, Finished last.
  void FinishNow();
  bool Running() const { return running_; }

  // Runs call on the window's thread, in the order posted; dropped when the job is gone.
  void Post(std::function<void()> call);

 signals:
  // On the window's thread, after everything the work posted.
  void Finished();

 private:
  std::thread thread_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> running_{false};
};

// The work's traffic, entered in the window's log on the window's thread, in order.
class PostedTrafficLog final : public link::TrafficLog {
 public:
  PostedTrafficLog(BenchJob& job, link::TrafficLog& target) : job_(job), target_(target) {}

 private:
  void Append(link::TrafficEntry entry) override {
    job_.Post([target = &target_, entry = std::move(entry)] { target->Record(entry); });
  }

  BenchJob& job_;
  link::TrafficLog& target_;
};

}  // namespace tarnwick::app
