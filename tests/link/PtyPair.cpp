#include "PtyPair.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

TPtyPair::TPtyPair() {
    char name[128] = {};
    if (openpty(&Master, &Slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
    Name = name;
    // The master side passes bytes through untouched.
    termios t;
    tcgetattr(Master, &t);
    cfmakeraw(&t);
    tcsetattr(Master, TCSANOW, &t);
}

TPtyPair::~TPtyPair() {
    CloseMaster();
    if (Slave >= 0) close(Slave);
}

void TPtyPair::CloseMaster() {
    if (Master >= 0) close(Master);
    Master = -1;
}

void TPtyPair::WriteMaster(const Bytes& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(Master, bytes.data() + done, bytes.size() - done);
        if (n <= 0) throw std::runtime_error("write to pty master");
        done += static_cast<std::size_t>(n);
    }
}

Bytes TPtyPair::ReadMaster(std::size_t count, std::chrono::milliseconds timeout) const {
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{Master, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        std::uint8_t buf[4096];
        const ssize_t n = read(Master, buf, std::min(sizeof buf, count - out.size()));
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

int TPtyPair::Queued() const {
    int n = 0;
    if (ioctl(Slave, FIONREAD, &n) != 0) return -1;
    return n;
}

bool TPtyPair::WaitQueued(int count, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Queued() < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

Bytes TPtyPair::FillSlaveQueue(std::uint8_t filler) const {
    const int flags = fcntl(Slave, F_GETFL);
    fcntl(Slave, F_SETFL, flags | O_NONBLOCK);
    Bytes taken;
    const Bytes block(256, filler);
    // The kernel moves queued bytes on in the background for a moment after
    // each write, which may free room again: fill until a round takes nothing.
    for (bool tookSome = true; tookSome;) {
        tookSome = false;
        for (std::size_t size : {block.size(), std::size_t(1)}) {
            ssize_t n;
            while ((n = write(Slave, block.data(), size)) > 0) {
                taken.insert(taken.end(), block.begin(), block.begin() + n);
                tookSome = true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    fcntl(Slave, F_SETFL, flags);
    return taken;
}

Bytes TPtyPair::DrainMaster(std::chrono::milliseconds quiet) const {
    Bytes out;
    for (;;) {
        pollfd p{Master, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0) break;
        std::uint8_t buf[4096];
        const ssize_t n = read(Master, buf, sizeof buf);
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

bool TPtyPair::WaitWritable(std::chrono::milliseconds timeout) const {
    pollfd p{Slave, POLLOUT, 0};
    return poll(&p, 1, static_cast<int>(timeout.count())) > 0 && (p.revents & POLLOUT);
}

int OpenDescriptorCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}
