#include "sim/Simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr int ReadChunk = 4096;
constexpr int MaxChunkBytes = 9;
// Unsolicited readings are skipped while this much is still waiting to go out,
// so a PC that stops reading does not make the queue grow without end.
constexpr std::size_t PushBacklog = 1024;
// Types the PC has no handler for.
constexpr std::uint8_t UnknownTypes[] = {0x00, 0x5A, 0xA5, 0xCC, 0xEE, 0xFF};

}  // namespace

std::string HexBytes(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    char part[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(part, sizeof part, i ? " %02X" : "%02X", bytes[i]);
        text += part;
    }
    return text;
}

TSimulator::TSimulator(const TSimOptions& options)
    : Options(options),
      Instrument_(options.Instrument, options.Log),
      FaultRng(options.Instrument.Seed * 2654435761u + 97u),
      LastDue(TClock::now()),
      NextPush(TClock::now() + std::chrono::milliseconds(options.PushIntervalMs)) {}

void TSimulator::Log(const std::string& line) const {
    if (Options.Log)
        Options.Log(line);
    else
        std::fprintf(stderr, "kr3090-sim: %s\n", line.c_str());
}

void TSimulator::Receive(const std::uint8_t* bytes, int count) {
    if (count <= 0) return;
    const int before = Requests.RxLength;
    int delivered = 0;
    std::vector<TFrame> frames;
    Requests.Receive(bytes, static_cast<std::uint32_t>(count),
                     [&](const std::uint8_t* f, std::int32_t n) {
                         frames.emplace_back(f, f + n);
                         delivered += n;
                     });
    const int dropped = before + count - delivered - Requests.RxLength;
    if (dropped > 0) Log("ignored " + std::to_string(dropped) + " bytes outside any request frame");
    for (const TFrame& f : frames) {
        if (Options.Verbose) Log("request " + HexBytes(f.data(), f.size()));
        Send(Instrument_.Handle(f.data(), static_cast<int>(f.size())), f[2]);
    }
}

void TSimulator::Send(const TReply& reply, std::uint8_t command) {
    int delay = Options.Faults.ReplyDelayMs + (reply.AfterAction ? Options.ConfirmDelayMs : 0);
    for (std::size_t i = 0; i < reply.Frames.size(); ++i) {
        TFrame frame = reply.Frames[i];
        if (command == CmdUpload && i == 0 && Options.Faults.UploadMissing > 0) {
            frame[4] =
                static_cast<std::uint8_t>(std::min(255, frame[4] + Options.Faults.UploadMissing));
            frame[24] = FrameChecksum(frame.data(), static_cast<int>(frame.size()));
            if (Options.Verbose)
                Log("fault: upload header announces " + std::to_string(frame[4]) + " records");
        }
        SendFrame(std::move(frame), delay);
    }
}

// Puts one reply frame on the line with whatever faults are switched on; delay
// grows by the pauses between chunks so that later frames follow them.
void TSimulator::SendFrame(TFrame frame, int& delay) {
    const TFaultOptions& faults = Options.Faults;
    auto emit = [&](std::vector<std::uint8_t> bytes) {
        if (faults.Noise > 0 && Chance() < faults.Noise) {
            std::vector<std::uint8_t> noise(1 + FaultRng() % 8);
            for (auto& b : noise) {
                b = static_cast<std::uint8_t>(FaultRng());
                // A stray start byte can make the PC's assembler take noise for
                // the start of a frame and swallow the real one behind it.
                if (!faults.NoiseRisky && b == FrameStartByte) b = 0x25;
            }
            bytes.insert(bytes.begin(), noise.begin(), noise.end());
        }
        if (!faults.Chunks) {
            Queue(std::move(bytes), delay);
            return;
        }
        std::size_t at = 0;
        while (at < bytes.size()) {
            const std::size_t n =
                std::min<std::size_t>(1 + FaultRng() % MaxChunkBytes, bytes.size() - at);
            Queue(std::vector<std::uint8_t>(bytes.begin() + at, bytes.begin() + at + n), delay);
            at += n;
            if (at < bytes.size()) delay += static_cast<int>(FaultRng() % (faults.ChunkGapMs + 1));
        }
    };

    if (faults.UnknownFrames > 0 && Chance() < faults.UnknownFrames) {
        const std::uint8_t length = static_cast<std::uint8_t>(FaultRng() % 41);
        std::vector<std::uint8_t> odd(length + 6u);
        odd[0] = FrameStartByte;
        odd[1] = ReplyDeviceByte;
        odd[2] = UnknownTypes[FaultRng() % sizeof UnknownTypes];
        odd[3] = length;
        for (int i = 0; i < length; ++i) odd[4 + i] = static_cast<std::uint8_t>(FaultRng());
        odd[length + 4u] = FrameChecksum(odd.data(), static_cast<int>(odd.size()));
        odd[length + 5u] = FrameEndByte;
        if (Options.Verbose) Log("fault: frame of unknown type " + HexBytes(odd.data() + 2, 1));
        emit(std::move(odd));
    }
    if (faults.Drop > 0 && Chance() < faults.Drop) {
        if (Options.Verbose) Log("fault: dropped " + HexBytes(frame.data(), frame.size()));
        return;
    }
    if (faults.BadChecksum > 0 && Chance() < faults.BadChecksum) {
        const std::size_t at = frame.size() - 2;
        frame[at] = static_cast<std::uint8_t>(frame[at] + 1 + FaultRng() % 255);
        if (Options.Verbose) Log("fault: wrong checksum");
    }
    if (Options.Verbose) Log("reply " + HexBytes(frame.data(), frame.size()));
    emit(std::move(frame));
}

void TSimulator::Queue(std::vector<std::uint8_t> bytes, int afterMs) {
    auto due = TClock::now() + std::chrono::milliseconds(afterMs);
    if (due < LastDue) due = LastDue;  // the line sends in order
    LastDue = due;
    if (Options.PaceBaud > 0)  // the next chunk waits until this one has left the UART
        LastDue += std::chrono::microseconds(bytes.size() * 10'000'000LL / Options.PaceBaud);
    Out.push_back({due, std::move(bytes)});
}

std::size_t TSimulator::PendingBytes() const {
    std::size_t n = 0;
    for (const TChunk& c : Out) n += c.Bytes.size();
    return n;
}

void TSimulator::WriteDue(int fd) {
    const auto now = TClock::now();
    while (!Out.empty() && Out.front().Due <= now) {
        TChunk& c = Out.front();
        const ssize_t n = ::write(fd, c.Bytes.data(), c.Bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // line full: later
        if (n < 0) {
            // Nobody to send to: the reply is lost, as on a cable pulled out.
            if (!HungUp)
                Log(std::string("write failed (") + std::strerror(errno) + "), reply lost");
            Out.pop_front();
            continue;
        }
        if (static_cast<std::size_t>(n) < c.Bytes.size()) {
            c.Bytes.erase(c.Bytes.begin(), c.Bytes.begin() + n);
            return;
        }
        Out.pop_front();
    }
}

void TSimulator::Poll(int fd, int timeoutMs) {
    auto now = TClock::now();
    if (Options.PushIntervalMs > 0 && now >= NextPush) {
        const auto interval = std::chrono::milliseconds(Options.PushIntervalMs);
        NextPush += interval;
        if (NextPush < now) NextPush = now + interval;  // fell behind: do not catch up in a burst
        if (PendingBytes() < PushBacklog) {
            if (auto frame = Instrument_.UnsolicitedReading()) {
                int delay = 0;
                SendFrame(std::move(*frame), delay);
            }
        }
    }
    auto untilMs = [&](TClock::time_point t) {
        return static_cast<int>(
            std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(t - now).count()));
    };
    int wait = timeoutMs;
    bool wantWrite = false;
    if (!Out.empty()) {
        wait = std::min(wait, untilMs(Out.front().Due));
        wantWrite = Out.front().Due <= now;
    }
    if (Options.PushIntervalMs > 0) wait = std::min(wait, untilMs(NextPush));

    pollfd p{fd, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0};
    const int ready = ::poll(&p, 1, wait);
    bool hangUp = false;
    if (ready > 0) {
        if (p.revents & POLLIN) {
            std::uint8_t buffer[ReadChunk];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                HungUp = false;
                Receive(buffer, static_cast<int>(n));
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                hangUp = true;
            }
        } else if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            hangUp = true;
        }
    }
    if (hangUp) {
        if (!HungUp) Log("nobody on the line; waiting");
        HungUp = true;
        // A hung-up line reports ready at once for ever: do not spin on it.
        std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp(wait, 1, 50)));
    }
    WriteDue(fd);
}

void TSimulator::ServeFd(int fd, const std::atomic<bool>& stop) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    while (!stop.load()) Poll(fd, 50);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags);
}
