#pragma once
// A serial line whose far end is outside this process. With KR3090_LINE set
// (ttyS1, ttyUSB0: a device of the test machine scripts/serial-vm.sh boots,
// whose host plays the far end), the tests that take a line use that device
// instead of a pseudo-terminal pair of their own. What the far end does is
// asked of the host: "sim ARGS" (kr3090-sim with these options, a new one),
// "echo" (every byte sent back), "stall" and "resume" (the simulator stops
// and starts reading again), "pull" (the adapter unplugged; the next "sim"
// plugs it back). A request is a file in the folder KR3090_LINE_CTL; the host
// answers it with a file of the same name ending in .ok once carried out.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

class TOutsideLine {
  public:
    static std::optional<TOutsideLine> FromEnvironment() {
        const char* name = std::getenv("KR3090_LINE");
        const char* ctl = std::getenv("KR3090_LINE_CTL");
        if (!name || !*name || !ctl || !*ctl) return std::nullopt;
        return TOutsideLine(name, ctl);
    }

    // What the host's simulator on this line logged.
    std::string SimLog() const {
        std::ifstream f(ctl_ + "/" + name_ + ".sim.log");
        std::stringstream all;
        all << f.rdbuf();
        return all.str();
    }

    // The device node now. An adapter plugged back while its old node is still
    // held open comes back under the next free number (ttyUSB1), as on any
    // Linux machine; waits up to 20 s for one to appear.
    std::string Device() const {
        namespace fs = std::filesystem;
        const std::string stem = name_.substr(0, name_.find_last_not_of("0123456789") + 1);
        for (int i = 0; i < 2000; ++i) {
            if (fs::exists("/dev/" + name_)) return "/dev/" + name_;
            for (int n = 0; n < 8 && stem == "ttyUSB"; ++n)
                if (fs::exists("/dev/" + stem + std::to_string(n)))
                    return "/dev/" + stem + std::to_string(n);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return "/dev/" + name_;
    }
    // Waits until the device node has gone (an adapter pulled).
    bool WaitGone(const std::string& device) const {
        for (int i = 0; i < 500 && std::filesystem::exists(device); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return !std::filesystem::exists(device);
    }

    // Asks the host and waits until it has carried the request out.
    bool Ask(const std::string& request) const {
        static int sequence = 0;
        char stem[64];
        std::snprintf(stem, sizeof stem, "/%08d-%04d", static_cast<int>(getpid()), ++sequence);
        const std::string base = ctl_ + stem;
        {
            std::ofstream f(base + ".tmp");
            f << name_ << ' ' << request << '\n';
        }
        std::filesystem::rename(base + ".tmp", base + ".req");
        for (int i = 0; i < 6000; ++i) {
            if (std::filesystem::exists(base + ".ok")) return true;
            if (std::filesystem::exists(base + ".fail")) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // The data sizes the device frames (KR3090_LINE_DATA_BITS, "7 8"); all of
    // 5..8 when not given.
    std::vector<int> DataBits() const {
        std::vector<int> bits;
        std::istringstream in(std::getenv("KR3090_LINE_DATA_BITS")
                                  ? std::getenv("KR3090_LINE_DATA_BITS")
                                  : "5 6 7 8");
        for (int b; in >> b;) bits.push_back(b);
        return bits;
    }

  private:
    TOutsideLine(std::string name, std::string ctl)
        : name_(std::move(name)), ctl_(std::move(ctl)) {}
    std::string name_;
    std::string ctl_;
};
