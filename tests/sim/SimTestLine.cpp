#include "tests/sim/SimTestLine.h"

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

namespace {

// The PC's receive side, fed by the serial layer's receive thread.
std::mutex RxMutex;
std::condition_variable RxArrived;
TFrameAssembler RxAssembler;
std::vector<TBytes> RxFrames;
bool LineInUse = false;

void CollectFrames(const std::uint8_t* chunk, std::uint32_t count) {
    std::lock_guard<std::mutex> lock(RxMutex);
    RxAssembler.Receive(chunk, count, [](const std::uint8_t* f, std::int32_t n) {
        RxFrames.emplace_back(f, f + n);
    });
    RxArrived.notify_all();
}

}  // namespace

TSimLine::TSimLine(TSimOptions options) {
    std::string error;
    if (!OpenPtyPair(Pty, error)) throw std::runtime_error(error);
    options.Log = [this](const std::string& line) {
        std::lock_guard<std::mutex> lock(LogMutex);
        Log.push_back(line);
    };
    {
        std::lock_guard<std::mutex> lock(RxMutex);
        if (LineInUse) throw std::logic_error("one TSimLine at a time");
        LineInUse = true;
        RxAssembler.Reset();
        RxFrames.clear();
    }
    Server = std::thread([this, options] {
        TSimulator simulator(options);
        simulator.ServeFd(Pty.Master, Stop);
    });
    Comm.SetReceiveCallback(CollectFrames);
    if (!Comm.Open(PortNameFor(Pty.SlavePath), 9600, 8, ParityNone, StopBitsOne))
        throw std::runtime_error("the serial layer could not open " + Pty.SlavePath);
}

TSimLine::~TSimLine() {
    Comm.Close();
    Stop.store(true);
    Server.join();
    ClosePtyPair(Pty);
    std::lock_guard<std::mutex> lock(RxMutex);
    LineInUse = false;
}

void TSimLine::Send(const TRequestFrame& request) {
    SendRaw(TBytes(request.begin(), request.end()));
}

void TSimLine::SendRaw(const TBytes& bytes) {
    Comm.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

std::vector<TBytes> TSimLine::Receive(std::size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(RxMutex);
    RxArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [&] { return RxFrames.size() >= count; });
    const std::size_t n = std::min(count, RxFrames.size());
    std::vector<TBytes> got(RxFrames.begin(), RxFrames.begin() + n);
    RxFrames.erase(RxFrames.begin(), RxFrames.begin() + n);
    return got;
}

std::vector<std::string> TSimLine::LogLines() {
    std::lock_guard<std::mutex> lock(LogMutex);
    return Log;
}
