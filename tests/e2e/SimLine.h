#pragma once
// The simulator on the master side of a pseudo-terminal pair, served by its own
// thread; the window opens the slave as its port. On an outside line
// (KR3090_LINE) the host's kr3090-sim plays it and the window opens the device.

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "OutsideSim.h"
#include "sim/Simulator.h"

class TSimLine {
  public:
    // onOutsideLine false: a pseudo-terminal even when an outside line is given.
    explicit TSimLine(TSimOptions options = Quiet(), bool onOutsideLine = true)
        : sim_(options), outside_(onOutsideLine ? TOutsideLine::FromEnvironment() : std::nullopt) {
        if (outside_) {
            slavePath_ = StartOutsideSim(*outside_, options);
            return;
        }
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
        termios t{};
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
        slavePath_ = name;
        thread_ = std::thread([this] { sim_.ServeFd(master_, stop_); });
    }
    ~TSimLine() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
    }
    const std::string& SlavePath() const { return slavePath_; }

    static TSimOptions Quiet() {
        TSimOptions o;
        o.Log = [](const std::string&) {};
        return o;
    }

  private:
    TSimulator sim_;
    std::optional<TOutsideLine> outside_;
    int master_ = -1, slave_ = -1;
    std::string slavePath_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
