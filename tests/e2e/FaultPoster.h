#pragma once
// A window-thread poster for a frame target of the tests' own, built like the
// window's: the receive thread queues under a lock and asks for a queued call.

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

// Runs functions the receive thread queues on the window thread. The queued
// call carries nothing of ours, so the hand-over is ordered by the lock alone
// (ThreadSanitizer cannot see Qt's own event-queue lock).
class TFramePoster : public QObject {
    Q_OBJECT
  public:
    void Post(std::function<void()> fn) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            posted_.push_back(std::move(fn));
        }
        QMetaObject::invokeMethod(this, "RunPosted", Qt::QueuedConnection);
    }
    Q_INVOKABLE void RunPosted() {
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (posted_.empty()) return;
            fn = std::move(posted_.front());
            posted_.pop_front();
        }
        fn();
    }

  private:
    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
};
