// The kr3090-sim executable and its command line.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "protocol/Frame.h"
#include "sim/Options.h"
#include "sim/Simulator.h"

extern char** environ;

namespace {

struct TChild {
    pid_t Pid = -1;
    int Out = -1;
};

TChild Start(std::vector<std::string> args) {
    args.insert(args.begin(), KR3090_SIM_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    TChild child;
    if (posix_spawn(&child.Pid, KR3090_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0)
        child.Pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    child.Out = pipeFds[0];
    return child;
}

// Reads up to the first newline, waiting at most 10 s.
std::string ReadLine(int fd) {
    std::string line;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char c;
        if (::read(fd, &c, 1) != 1) break;
        if (c == '\n') return line + '\n';
        line += c;
    }
    return line;
}

// The first frame that arrives on fd within 10 s, in hex.
std::string ReadFrame(int fd) {
    TFrameAssembler assembler;
    std::string frame;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (frame.empty() && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        std::uint8_t chunk[512];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) break;
        assembler.Receive(chunk, static_cast<std::uint32_t>(n),
                          [&](const std::uint8_t* f, std::int32_t len) {
                              if (frame.empty()) frame = HexBytes(f, static_cast<std::size_t>(len));
                          });
    }
    return frame;
}

int WaitExit(pid_t pid) {
    int status = 0;
    for (int i = 0; i < 1000; ++i) {  // 10 s
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -2;
}

TEST(SimProgram, PrintsItsDeviceAnswersAConnectAndEndsCleanlyOnSigterm) {
    TChild sim = Start({"--records", "3"});
    ASSERT_GT(sim.Pid, 0);
    const std::string line = ReadLine(sim.Out);
    ASSERT_EQ(line.rfind("/dev/pts/", 0), 0u) << line;
    ASSERT_EQ(line.back(), '\n');
    const std::string device = line.substr(0, line.size() - 1);

    // The port may be closed and opened again, as the settings dialog does.
    for (int opening = 0; opening < 2; ++opening) {
        const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        const TRequestFrame connect = BuildRequestFrame(CmdConnect);
        ASSERT_EQ(::write(fd, connect.data(), connect.size()), 26);
        EXPECT_EQ(ReadFrame(fd),
                  "24 A1 AA 14 32 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 91 2A");
        ::close(fd);
    }

    ::kill(sim.Pid, SIGTERM);
    EXPECT_EQ(WaitExit(sim.Pid), 0);
    // Nothing else on standard output: the device line is the only one.
    char rest[64];
    EXPECT_EQ(::read(sim.Out, rest, sizeof rest), 0);
    ::close(sim.Out);
}

TEST(SimProgram, UnknownOptionEndsWithStatus2) {
    TChild sim = Start({"--no-such-option"});
    ASSERT_GT(sim.Pid, 0);
    EXPECT_EQ(ReadLine(sim.Out), "");
    EXPECT_EQ(WaitExit(sim.Pid), 2);
    ::close(sim.Out);
}

TEST(SimCommandLine, EveryOptionReachesItsSetting) {
    const char* argv[] = {"kr3090-sim",
                          "--device",
                          "/dev/ttyS1",
                          "--baud=19200",
                          "--voltage",
                          "12.5",
                          "--current",
                          "0.004",
                          "--phase=-30",
                          "--frequency",
                          "60",
                          "--records",
                          "0",
                          "--confirm-delay-ms",
                          "1000",
                          "--seed",
                          "4000000000",
                          "--push-interval-ms",
                          "10",
                          "--chunks",
                          "--chunk-gap-ms",
                          "5",
                          "--noise",
                          "0.25",
                          "--noise-risky",
                          "--bad-checksum",
                          "0.1",
                          "--reply-delay-ms",
                          "200",
                          "--drop",
                          "0.05",
                          "--upload-missing",
                          "2",
                          "--unknown-frames",
                          "1",
                          "--verbose",
                          "--pace",
                          "9600"};
    TCommandLine line;
    ASSERT_EQ(ParseCommandLine(sizeof argv / sizeof *argv, argv, line), "");
    const TSimOptions& o = line.Sim;
    EXPECT_EQ(line.Device, "/dev/ttyS1");
    EXPECT_EQ(line.Baud, 19200);
    EXPECT_DOUBLE_EQ(o.Instrument.Voltage, 12.5);
    EXPECT_DOUBLE_EQ(o.Instrument.Current, 0.004);
    EXPECT_DOUBLE_EQ(o.Instrument.Phase, -30);
    EXPECT_EQ(o.Instrument.Frequency, 60);
    EXPECT_EQ(o.Instrument.InitialRecords, 0);
    EXPECT_EQ(o.ConfirmDelayMs, 1000);
    EXPECT_EQ(o.Instrument.Seed, 4000000000u);
    EXPECT_EQ(o.PushIntervalMs, 10);
    EXPECT_TRUE(o.Faults.Chunks);
    EXPECT_EQ(o.Faults.ChunkGapMs, 5);
    EXPECT_DOUBLE_EQ(o.Faults.Noise, 0.25);
    EXPECT_TRUE(o.Faults.NoiseRisky);
    EXPECT_DOUBLE_EQ(o.Faults.BadChecksum, 0.1);
    EXPECT_EQ(o.Faults.ReplyDelayMs, 200);
    EXPECT_DOUBLE_EQ(o.Faults.Drop, 0.05);
    EXPECT_EQ(o.Faults.UploadMissing, 2);
    EXPECT_DOUBLE_EQ(o.Faults.UnknownFrames, 1);
    EXPECT_TRUE(o.Verbose);
    EXPECT_EQ(o.PaceBaud, 9600);
    EXPECT_FALSE(line.Help);
}

TEST(SimCommandLine, ValuesOutOfRangeOrMissingAreRefused) {
    for (std::vector<const char*> args :
         std::vector<std::vector<const char*>>{{"--records", "101"},
                                               {"--frequency", "39"},
                                               {"--drop", "1.5"},
                                               {"--noise", "x"},
                                               {"--seed", "-1"},
                                               {"--voltage", "nan"},
                                               {"--records"},
                                               {"--chunks=1"},
                                               {"--device", ""},
                                               {"records"}}) {
        args.insert(args.begin(), "kr3090-sim");
        TCommandLine line;
        EXPECT_NE(ParseCommandLine(static_cast<int>(args.size()), args.data(), line), "")
            << args[1];
    }
}

}  // namespace
