#include "protocol/Receive.h"

#include <condition_variable>
#include <memory>
#include <mutex>

#include "link/Trace.h"

TFrameAssembler ReceivePath;

namespace {

void RunHandOver(std::uint64_t generation, std::uint64_t ticket);

// One frame at a time crosses from the receive thread to the window thread.
// The poster and the handler are shared, not copied, and the call posted for a
// frame fits in std::function's own storage: handing a frame over allocates
// nothing here.
class TFrameHandOver {
  public:
    void SetTarget(TWindowPoster post, std::function<void()> handler) {
        auto p = post ? std::make_shared<const TWindowPoster>(std::move(post)) : nullptr;
        auto h =
            handler ? std::make_shared<const std::function<void()>>(std::move(handler)) : nullptr;
        std::lock_guard<std::mutex> lock(mutex_);
        post_ = std::move(p);
        handler_ = std::move(h);
        ++generation_;
        cv_.notify_all();
    }

    void Cancel() {
        std::shared_ptr<const TWindowPoster> p;
        std::shared_ptr<const std::function<void()>> h;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            p.swap(post_);
            h.swap(handler_);
            ++generation_;
            cv_.notify_all();
        }
        // p and h are released here, outside the lock.
    }

    // Receive thread: returns once the window thread has run the handler, or
    // when the hand-over is cancelled or re-targeted meanwhile.
    void Send() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!post_) return;
        const std::uint64_t generation = generation_;
        const std::uint64_t ticket = ++issued_;
        std::shared_ptr<const TWindowPoster> post = post_;
        lock.unlock();
        (*post)([generation, ticket] { RunHandOver(generation, ticket); });
        lock.lock();
        cv_.wait(lock, [&] { return handled_ >= ticket || generation_ != generation; });
    }

    // Window thread.
    void Run(std::uint64_t generation, std::uint64_t ticket) {
        std::shared_ptr<const std::function<void()>> handler;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (generation != generation_) return;  // stale: its sender has given up
            handler = handler_;
        }
        if (handler && *handler) (*handler)();
        std::lock_guard<std::mutex> lock(mutex_);
        if (ticket > handled_) handled_ = ticket;
        cv_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::shared_ptr<const TWindowPoster> post_;
    std::shared_ptr<const std::function<void()>> handler_;
    std::uint64_t generation_ = 0;
    std::uint64_t issued_ = 0;
    std::uint64_t handled_ = 0;
};

TFrameHandOver handOver;

void RunHandOver(std::uint64_t generation, std::uint64_t ticket) {
    handOver.Run(generation, ticket);
}

}  // namespace

void SetFrameTarget(TWindowPoster post, std::function<void()> handler) {
    handOver.SetTarget(std::move(post), std::move(handler));
}

void ClearFrameTarget() {
    handOver.Cancel();
}

void CancelFrameHandOver() {
    handOver.Cancel();
}

void CommReceive(const std::uint8_t* chunk, std::uint32_t count) {
    TraceReceived(chunk, count);
    ReceivePath.Receive(chunk, count, [](const std::uint8_t*, std::int32_t) { handOver.Send(); });
}
