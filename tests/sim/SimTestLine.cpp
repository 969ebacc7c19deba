#include "tests/sim/SimTestLine.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>

TBytes HexToBytes(const std::string& hex) {
    TBytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size();) {
        if (hex[i] == ' ') {
            ++i;
            continue;
        }
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return bytes;
}

std::string BytesToHex(const TBytes& bytes) {
    return HexBytes(bytes.data(), bytes.size());
}

TSimLine::TSimLine(TSimOptions options) {
    std::string error;
    if (!OpenPtyPair(Pty, error)) throw std::runtime_error(error);
    options.Log = [this](const std::string& line) {
        std::lock_guard<std::mutex> lock(LogMutex);
        Log.push_back(line);
    };
    Server = std::thread([this, options] {
        TSimulator simulator(options);
        simulator.ServeFd(Pty.Master, Stop);
    });
}

TSimLine::~TSimLine() {
    Stop.store(true);
    Server.join();
    ClosePtyPair(Pty);
}

void TSimLine::Send(const TRequestFrame& request) {
    SendRaw(TBytes(request.begin(), request.end()));
}

void TSimLine::SendRaw(const TBytes& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::write(Pty.Slave, bytes.data() + at, bytes.size() - at);
        if (n <= 0) throw std::runtime_error("write to the simulator's line failed");
        at += static_cast<std::size_t>(n);
    }
}

void TSimLine::Pump(int waitMs) {
    pollfd p{Pty.Slave, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0 || !(p.revents & POLLIN)) return;
    std::uint8_t chunk[RxBufferSize];
    const ssize_t n = ::read(Pty.Slave, chunk, sizeof chunk);
    if (n <= 0) return;
    Assembler.Receive(
        chunk, static_cast<std::uint32_t>(n),
        [&](const std::uint8_t* f, std::int32_t length) { Frames.emplace_back(f, f + length); });
}

std::vector<TBytes> TSimLine::Receive(std::size_t count, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Frames.size() < count && std::chrono::steady_clock::now() < end) Pump(20);
    const std::size_t n = std::min(count, Frames.size());
    std::vector<TBytes> got(Frames.begin(), Frames.begin() + n);
    Frames.erase(Frames.begin(), Frames.begin() + n);
    return got;
}

std::vector<std::string> TSimLine::LogLines() {
    std::lock_guard<std::mutex> lock(LogMutex);
    return Log;
}
