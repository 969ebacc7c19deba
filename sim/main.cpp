// kr3090-sim: the KR3090 instrument on a serial line, for demonstrations and
// end-to-end tests. Prints the device to use as ComName on one line of
// standard output, logs to standard error, ends cleanly on SIGINT/SIGTERM.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "sim/Line.h"
#include "sim/Options.h"
#include "sim/Simulator.h"

namespace {

std::atomic<bool> StopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnStopSignal(int) {
    StopRequested.store(true);
}

}  // namespace

int main(int argc, char** argv) {
    TCommandLine line;
    const std::string complaint = ParseCommandLine(argc, argv, line);
    if (!complaint.empty()) {
        std::fprintf(stderr, "kr3090-sim: %s\n%s", complaint.c_str(), UsageText);
        return 2;
    }
    if (line.Help) {
        std::fputs(UsageText, stdout);
        return 0;
    }

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::string error;
    TPtyPair pty;
    int fd = -1;
    std::string name;
    if (line.Device.empty()) {
        if (!OpenPtyPair(pty, error)) {
            std::fprintf(stderr, "kr3090-sim: %s\n", error.c_str());
            return 1;
        }
        // The slave stays open here too, so the line survives the PC closing
        // and reopening its port.
        fd = pty.Master;
        name = pty.SlavePath;
    } else {
        fd = OpenLineDevice(line.Device, line.Baud, error);
        if (fd < 0) {
            std::fprintf(stderr, "kr3090-sim: %s\n", error.c_str());
            return 1;
        }
        name = line.Device;
    }
    std::printf("%s\n", name.c_str());
    std::fflush(stdout);

    TSimulator simulator(line.Sim);
    simulator.ServeFd(fd, StopRequested);

    if (line.Device.empty())
        ClosePtyPair(pty);
    else
        ::close(fd);
    return 0;
}
