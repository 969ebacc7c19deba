#include "app/WindowQueue.h"

#include <QMetaObject>

void TWindowQueue::Post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.push_back(std::move(fn));
    }
    QMetaObject::invokeMethod(this, "RunPosted", Qt::QueuedConnection);
}

void TWindowQueue::RunPosted() {
    std::function<void()> fn;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (pending_.empty()) return;
        fn = std::move(pending_.front());
        pending_.pop_front();
    }
    fn();
}
