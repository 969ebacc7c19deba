#include "WineProbe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

std::string Env(const char* name, const std::string& fallback = {}) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

}  // namespace

TWineProbe::TWineProbe() {
    const std::string build = Env("KR3090_WINDOWS_BUILD", "build-windows");
    const std::string exe = build + "/tests/windows/comprobe.exe";
    if (!std::filesystem::exists(exe)) throw std::runtime_error("no probe at " + exe);
    if (Env("WINEPREFIX").empty()) throw std::runtime_error("WINEPREFIX is not set");
    const std::string wine = Env("KR3090_WINE", "/usr/lib/wine/wine64");
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
        throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        setenv("WINEDEBUG", "-all,+debugstr", 1);
        execl(wine.c_str(), wine.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    in_ = in[1];
    out_ = out[0];
    err_ = err[0];
    fcntl(out_, F_SETFL, O_NONBLOCK);
    fcntl(err_, F_SETFL, O_NONBLOCK);
    // A probe that died must not kill the driver with SIGPIPE on the next command.
    signal(SIGPIPE, SIG_IGN);
}

TWineProbe::~TWineProbe() {
    if (pid_ > 0) {
        const std::string quit = "quit\n";
        if (write(in_, quit.data(), quit.size()) < 0) {
        }
        close(in_);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            Drain(50);
        }
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

void TWineProbe::Drain(int timeoutMs) {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0) return;
    char buffer[65536];
    for (int k = 0; k < 2; ++k) {
        if (!(fds[k].revents & (POLLIN | POLLHUP))) continue;
        const ssize_t n = read(fds[k].fd, buffer, sizeof buffer);
        if (n > 0) (k == 0 ? outBuffer_ : errBuffer_).append(buffer, static_cast<std::size_t>(n));
    }
}

std::string TWineProbe::Command(const std::string& line, std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return {};
    const std::string text = line + "\n";
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = write(in_, text.data() + done, text.size() - done);
        if (n <= 0) return {};
        done += static_cast<std::size_t>(n);
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto end = outBuffer_.find('\n');
        if (end != std::string::npos) {
            std::string reply = outBuffer_.substr(0, end);
            outBuffer_.erase(0, end + 1);
            return reply;
        }
        if (std::chrono::steady_clock::now() > deadline) return {};
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return {};
        }
        Drain(20);
    }
}

std::string TWineProbe::TakeErrors() {
    Drain(0);
    std::string e;
    e.swap(errBuffer_);
    return e;
}

void MapComPort(int n, const std::string& device) {
    namespace fs = std::filesystem;
    const fs::path link = fs::path(Env("WINEPREFIX")) / "dosdevices" / ("com" + std::to_string(n));
    std::error_code ignored;
    fs::remove(link, ignored);
    fs::create_symlink(device, link);
}

std::string HexOf(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::uint8_t b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 0x0F];
    }
    return s;
}

std::vector<std::uint8_t> BytesOf(const std::string& hex) {
    std::vector<std::uint8_t> b;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        b.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return b;
}
