#include "protocol/Receive.h"

#include <condition_variable>
#include <mutex>

#include "link/Trace.h"

TFrameAssembler ReceivePath;

namespace {

// One frame at a time crosses from the receive thread to the window thread.
class TFrameHandOver {
public:
    void SetTarget(TWindowPoster post, std::function<void()> handler) {
        std::lock_guard<std::mutex> lock(mutex_);
        post_ = std::move(post);
        handler_ = std::move(handler);
        ++generation_;
        cv_.notify_all();
    }

    void Cancel() {
        std::lock_guard<std::mutex> lock(mutex_);
        post_ = nullptr;
        handler_ = nullptr;
        ++generation_;
        cv_.notify_all();
    }

    // Receive thread: returns once the window thread has run the handler, or
    // when the hand-over is cancelled or re-targeted meanwhile.
    void Send() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!post_) return;
        const std::uint64_t generation = generation_;
        const std::uint64_t ticket = ++issued_;
        TWindowPoster post = post_;
        lock.unlock();
        post([this, generation, ticket] { Run(generation, ticket); });
        lock.lock();
        cv_.wait(lock, [&] { return handled_ >= ticket || generation_ != generation; });
    }

private:
    // Window thread.
    void Run(std::uint64_t generation, std::uint64_t ticket) {
        std::function<void()> handler;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (generation != generation_) return;  // stale: its sender has given up
            handler = handler_;
        }
        if (handler) handler();
        std::lock_guard<std::mutex> lock(mutex_);
        if (ticket > handled_) handled_ = ticket;
        cv_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    TWindowPoster post_;
    std::function<void()> handler_;
    std::uint64_t generation_ = 0;
    std::uint64_t issued_ = 0;
    std::uint64_t handled_ = 0;
};

TFrameHandOver handOver;

}  // namespace

void SetFrameTarget(TWindowPoster post, std::function<void()> handler) {
    handOver.SetTarget(std::move(post), std::move(handler));
}

void ClearFrameTarget() { handOver.Cancel(); }

void CancelFrameHandOver() { handOver.Cancel(); }

void CommReceive(const std::uint8_t* chunk, std::uint32_t count) {
    TraceReceived(chunk, count);
    ReceivePath.Receive(chunk, count, [](const std::uint8_t*, std::int32_t) { handOver.Send(); });
}
