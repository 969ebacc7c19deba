#include "PtyPair.h"

#include <dirent.h>
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

int OpenDescriptorCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}
