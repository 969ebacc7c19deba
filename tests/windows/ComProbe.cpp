// The Windows side of the COM-port tests under wine. A Windows program cannot
// open a pseudo-terminal, so the Linux-side driver (tests/wine/) creates one,
// maps a COM port of the wine prefix onto its slave, starts this probe once and
// plays the instrument on the master while it sends commands here. Each command
// is one line on standard input; each gets exactly one line on standard output.
// Bytes go both ways as contiguous hex ("24a1aa14"); K is a port slot (0 means
// no port).
//
//   open NAME BAUD BITS PARITY STOP  -> "port K"      TCommPort::Open (K 0: failed)
//   close K                          -> "ok"          TCommPort::Close, slot freed
//   read K                           -> "read N HEX" | "none count=C" (C untouched)
//   write K HEX                      -> "true" | "false"
//   write-pattern K N                -> "true ms=T"   N bytes i % 251, one Write
//   state K                          -> "dcb baud=.. bytesize=.. ..."  GetCommState
//   stat K                           -> "stat ok=1 errors=E inque=N outque=M"
//   purge K                          -> "true" | "false"  PurgeComm(PURGE_RXCLEAR)
//   timeouts K RI RM RC WM WC        -> "true" | "false"  SetCommTimeouts, fields in order
//   timeouts K                       -> "timeouts RI RM RC WM WC"  GetCommTimeouts
//   comm-new | comm-destroy          -> "ok calls=N"  create / destroy the TSerialComm
//   comm-open NAME BAUD BITS PARITY STOP -> "true" | "false"
//   comm-close                       -> "true" | "false"
//   comm-write HEX                   -> "true" | "false"
//   comm-receive collect|frames|none -> "ok"          what the receive thread calls
//   chunks                           -> "chunks C HEX HEX .."  chunks since last asked
//   wait-bytes N MS                  -> as chunks, once N bytes came or MS passed
//   frames                           -> "frames C HEX .."  frames cut by CommReceive
//   calls                            -> "calls N"     receive callbacks so far
//   send connect|disconnect|control  -> "ok"          a request through the connection
//   trace-sent HEX | trace-received HEX -> "ok"       the trace's own channel
//   ports                            -> "ports NAME .."  the registry port list
//   sleep MS                         -> "ok"
//   reset                            -> "ok"          ports closed, connection gone
//   quit
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/CommPort.h"
#include "link/PortList.h"
#include "link/SerialComm.h"
#include "link/Trace.h"
#include "protocol/Receive.h"
#include "protocol/Requests.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 0x0F];
    }
    return s;
}

Bytes FromHex(const std::string& hex) {
    Bytes b;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        b.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return b;
}

// What the receive thread handed over, kept until the driver asks.
struct TCollected {
    std::mutex Mutex;
    std::condition_variable Arrived;
    std::vector<Bytes> Chunks;
    std::size_t Bytes = 0;
    long Calls = 0;
    std::vector<std::vector<std::uint8_t>> Frames;
} collected;

void Collect(const std::uint8_t* block, std::uint32_t count) {
    std::lock_guard<std::mutex> lock(collected.Mutex);
    collected.Chunks.emplace_back(block, block + count);
    collected.Bytes += count;
    ++collected.Calls;
    collected.Arrived.notify_all();
}

std::string TakeChunks() {
    std::lock_guard<std::mutex> lock(collected.Mutex);
    std::string line = "chunks ";
    line += std::to_string(collected.Chunks.size());
    for (const Bytes& c : collected.Chunks) {
        line += ' ';
        line += Hex(c.data(), c.size());
    }
    collected.Chunks.clear();
    collected.Bytes = 0;
    return line;
}

long Calls() {
    std::lock_guard<std::mutex> lock(collected.Mutex);
    return collected.Calls;
}

// Plays the window thread for CommReceive's hand-over: runs each posted call.
class TWindowThread {
  public:
    TWindowThread() : thread_([this] { Run(); }) {}
    ~TWindowThread() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        posted_.notify_all();
        thread_.join();
    }
    void Post(std::function<void()> call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(call));
        posted_.notify_all();
    }

  private:
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            posted_.wait(lock, [this] { return stop_ || !calls_.empty(); });
            if (stop_) return;
            auto call = std::move(calls_.front());
            calls_.pop_front();
            lock.unlock();
            call();
            lock.lock();
        }
    }
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> calls_;
    bool stop_ = false;
    std::thread thread_;
};

struct TSettings {
    std::string Name;
    std::uint32_t Baud = 0;
    unsigned Bits = 0, Parity = 0, Stop = 0;
};

TSettings ReadSettings(std::istringstream& in) {
    TSettings s;
    in >> s.Name >> s.Baud >> s.Bits >> s.Parity >> s.Stop;
    return s;
}

class TProbe {
  public:
    std::string Run(const std::string& command, std::istringstream& in);

  private:
    TPortHandle Slot(std::istringstream& in) {
        int k = 0;
        in >> k;
        auto it = slots_.find(k);
        return it == slots_.end() ? TPortHandle{} : it->second;
    }

    TCommPort port_;
    std::map<int, TPortHandle> slots_;
    int nextSlot_ = 1;
    std::unique_ptr<TSerialComm> comm_;
    std::unique_ptr<TWindowThread> window_;
};

std::string TProbe::Run(const std::string& command, std::istringstream& in) {
    if (command == "open") {
        const TSettings s = ReadSettings(in);
        TPortHandle h =
            port_.Open(s.Name, s.Baud, static_cast<std::uint8_t>(s.Bits),
                       static_cast<std::uint8_t>(s.Parity), static_cast<std::uint8_t>(s.Stop));
        if (!h) return "port 0";
        slots_[nextSlot_] = h;
        return "port " + std::to_string(nextSlot_++);
    }
    if (command == "close") {
        int k = 0;
        in >> k;
        auto it = slots_.find(k);
        if (it != slots_.end()) {
            port_.Close(it->second);
            slots_.erase(it);
        }
        return "ok";
    }
    if (command == "read") {
        TPortHandle h = Slot(in);
        std::uint8_t dest[CommReadBufferSize];
        std::uint32_t count = 12345;
        if (!port_.Read(h, dest, count)) return "none count=" + std::to_string(count);
        return "read " + std::to_string(count) + " " + Hex(dest, count);
    }
    if (command == "write") {
        TPortHandle h = Slot(in);
        std::string hex;
        in >> hex;
        const Bytes b = FromHex(hex);
        return port_.Write(h, b.data(), static_cast<std::uint32_t>(b.size())) ? "true" : "false";
    }
    if (command == "write-pattern") {
        TPortHandle h = Slot(in);
        std::size_t n = 0;
        in >> n;
        Bytes b(n);
        for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i % 251);
        const auto start = std::chrono::steady_clock::now();
        const bool ok = port_.Write(h, b.data(), static_cast<std::uint32_t>(n));
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        return std::string(ok ? "true" : "false") + " ms=" + std::to_string(ms);
    }
    if (command == "state") {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(Slot(in), &dcb)) return "dcb failed " + std::to_string(GetLastError());
        std::ostringstream out;
        out << "dcb baud=" << dcb.BaudRate << " bytesize=" << int(dcb.ByteSize)
            << " parity=" << int(dcb.Parity) << " stopbits=" << int(dcb.StopBits)
            << " outxcts=" << dcb.fOutxCtsFlow << " outxdsr=" << dcb.fOutxDsrFlow
            << " outx=" << dcb.fOutX << " inx=" << dcb.fInX << " dtr=" << dcb.fDtrControl
            << " rts=" << dcb.fRtsControl;
        return out.str();
    }
    if (command == "stat") {
        DWORD errors = 0;
        COMSTAT stat{};
        const BOOL ok = ClearCommError(Slot(in), &errors, &stat);
        std::ostringstream out;
        out << "stat ok=" << (ok ? 1 : 0) << " errors=" << errors << " inque=" << stat.cbInQue
            << " outque=" << stat.cbOutQue;
        return out.str();
    }
    if (command == "purge") return PurgeComm(Slot(in), PURGE_RXCLEAR) ? "true" : "false";
    if (command == "timeouts") {
        TPortHandle h = Slot(in);
        COMMTIMEOUTS t{};
        if (in >> t.ReadIntervalTimeout >> t.ReadTotalTimeoutMultiplier >>
            t.ReadTotalTimeoutConstant >> t.WriteTotalTimeoutMultiplier >>
            t.WriteTotalTimeoutConstant)
            return SetCommTimeouts(h, &t) ? "true" : "false";
        if (!GetCommTimeouts(h, &t)) return "false";
        std::ostringstream out;
        out << "timeouts " << t.ReadIntervalTimeout << " " << t.ReadTotalTimeoutMultiplier << " "
            << t.ReadTotalTimeoutConstant << " " << t.WriteTotalTimeoutMultiplier << " "
            << t.WriteTotalTimeoutConstant;
        return out.str();
    }
    if (command == "calls") return "calls " + std::to_string(Calls());
    if (command == "reset") {
        comm_.reset();
        ClearFrameTarget();
        for (auto& [k, h] : slots_) port_.Close(h);
        slots_.clear();
        std::lock_guard<std::mutex> lock(collected.Mutex);
        collected.Chunks.clear();
        collected.Frames.clear();
        collected.Bytes = 0;
        return "ok";
    }
    if (command == "comm-new") {
        comm_ = std::make_unique<TSerialComm>();
        comm_->SetReceiveCallback(Collect);
        comm_->SetInterruptCallback(CancelFrameHandOver);
        return "ok calls=" + std::to_string(Calls());
    }
    if (command == "comm-destroy") {
        comm_.reset();  // stops and joins the receive thread
        return "ok calls=" + std::to_string(Calls());
    }
    if (command == "comm-open") {
        if (!comm_) Run("comm-new", in);
        const TSettings s = ReadSettings(in);
        return comm_->Open(s.Name, s.Baud, static_cast<std::uint8_t>(s.Bits),
                           static_cast<std::uint8_t>(s.Parity), static_cast<std::uint8_t>(s.Stop))
                   ? "true"
                   : "false";
    }
    if (command == "comm-close") return comm_ && comm_->Close() ? "true" : "false";
    if (command == "comm-write") {
        std::string hex;
        in >> hex;
        const Bytes b = FromHex(hex);
        return comm_ && comm_->Write(b.data(), static_cast<std::uint32_t>(b.size())) ? "true"
                                                                                     : "false";
    }
    if (command == "comm-receive") {
        std::string mode;
        in >> mode;
        if (!comm_) return "error no connection";
        if (mode == "frames") {
            if (!window_) window_ = std::make_unique<TWindowThread>();
            RxLength = 0;
            SetFrameTarget([this](std::function<void()> call) { window_->Post(std::move(call)); },
                           [] {
                               std::lock_guard<std::mutex> lock(collected.Mutex);
                               collected.Frames.emplace_back(FrameBuffer,
                                                             FrameBuffer + FrameLength);
                           });
            comm_->SetReceiveCallback(CommReceive);
        } else {
            comm_->SetReceiveCallback(mode == "collect" ? Collect : nullptr);
        }
        return "ok";
    }
    if (command == "chunks") return TakeChunks();
    if (command == "wait-bytes") {
        std::size_t n = 0;
        int ms = 0;
        in >> n >> ms;
        {
            std::unique_lock<std::mutex> lock(collected.Mutex);
            collected.Arrived.wait_for(lock, std::chrono::milliseconds(ms),
                                       [&] { return collected.Bytes >= n; });
        }
        return TakeChunks();
    }
    if (command == "frames") {
        std::lock_guard<std::mutex> lock(collected.Mutex);
        std::string line = "frames ";
        line += std::to_string(collected.Frames.size());
        for (const auto& f : collected.Frames) {
            line += ' ';
            line += Hex(f.data(), f.size());
        }
        collected.Frames.clear();
        return line;
    }
    if (command == "send") {
        std::string what;
        in >> what;
        if (what == "connect")
            SendConnect(comm_.get());
        else if (what == "disconnect")
            SendDisconnect(comm_.get());
        else if (what == "control")
            SendControl(comm_.get(), TControlState{}, false);
        else
            return "error unknown request " + what;
        return "ok";
    }
    if (command == "trace-sent" || command == "trace-received") {
        std::string hex;
        in >> hex;
        const Bytes b = FromHex(hex);
        if (command == "trace-sent")
            TraceSent(b.data(), static_cast<std::uint32_t>(b.size()));
        else
            TraceReceived(b.data(), static_cast<std::uint32_t>(b.size()));
        return "ok";
    }
    if (command == "ports") {
        std::string line = "ports";
        for (const std::string& name : SerialPortNames()) line += " " + name;
        return line;
    }
    if (command == "sleep") {
        int ms = 0;
        in >> ms;
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return "ok";
    }
    return "error unknown command " + command;
}

}  // namespace

int main() {
    // The driver reads bytes, not text: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    TProbe probe;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream in(line);
        std::string command;
        in >> command;
        if (command.empty()) continue;
        if (command == "quit") break;
        const std::string reply = probe.Run(command, in);
        std::fwrite(reply.data(), 1, reply.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    // A frame hand-over still waiting must not hold up the exit.
    CancelFrameHandOver();
    ClearFrameTarget();
    return 0;
}
