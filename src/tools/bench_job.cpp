#include "tools/bench_job.h"

#include <QCoreApplication>

namespace tarnwick::app {

bool BenchJob::Start(Work work) {
  if (running_) return false;
  if (thread_.joinable()) thread_.join();
  stopRequested_ = false;
  running_ = true;
  thread_ = std::thread([this, work = std::move(work)] {
    work(stopRequested_);
    Post([this] {
      running_ = false;
      emit Finished();
    });
  });
  return true;
}

void BenchJob::StopAndWait() {
  RequestStop();
  if (thread_.joinable()) thread_.join();
  running_ = false;
}

void BenchJob::FinishNow() {
  if (thread_.joinable()) thread_.join();
  QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void BenchJob::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

}  // namespace tarnwick::app
