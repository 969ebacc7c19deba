#pragma once
// Runs functions handed over from the receive thread on the window thread.
// The functions travel through this object's own mutex and only a wake-up
// crosses Qt's event queue, so every byte handed over is ordered by a lock
// that ThreadSanitizer can see (Qt's queue locks with futexes it cannot).

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

class TWindowQueue : public QObject {
    Q_OBJECT
  public:
    explicit TWindowQueue(QObject* parent) : QObject(parent) {}
    // Any thread. Queued calls die with this object.
    void Post(std::function<void()> fn);

  private:
    Q_INVOKABLE void RunPosted();

    std::mutex mutex_;
    std::deque<std::function<void()>> pending_;
};
