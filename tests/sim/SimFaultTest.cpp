// Faults on the simulator's line: the program's assembler still gets every
// valid frame, and a seed repeats a run.

#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <thread>

#include "tests/sim/SimTestLine.h"

namespace {

bool KnownType(std::uint8_t t) {
    static const std::set<std::uint8_t> known{CmdConnect,   CmdDisconnect, CmdPrint,      CmdStore,
                                              CmdDirectory, CmdErase,      CmdReadRecord, CmdUpload,
                                              CmdDelete,    CmdControl};
    return known.count(t) > 0;
}

std::vector<TRequestFrame> Session() {
    std::vector<TRequestFrame> requests{BuildRequestFrame(CmdConnect),
                                        BuildRequestFrame(CmdControl, {0, 50, 1, 0, 1})};
    for (int i = 0; i < 20; ++i)
        requests.push_back(BuildRequestFrame(CmdControl, {0, 50, 1, 0, 1}));
    requests.push_back(BuildRequestFrame(CmdDirectory));
    requests.push_back(BuildRequestFrame(CmdUpload));
    requests.push_back(BuildRequestFrame(CmdReadRecord, {12}));
    return requests;
}

// The whole session, faults included, comes to about 3 KB: less than one read
// of the receive thread takes, so however late that thread runs the assembler
// never has to drop held bytes to make room, and what arrives depends on the
// simulator alone. (With 100 records the two long replies pile up past 4096
// bytes whenever the reader is slow, and the assembler rightly drops some.)
constexpr std::size_t Records = 30;

TSimOptions Faulty() {
    TSimOptions o;
    o.Instrument.Seed = 42;
    o.Instrument.InitialRecords = Records;
    o.Faults.Chunks = true;
    o.Faults.ChunkGapMs = 2;
    o.Faults.Noise = 0.5;
    o.Faults.BadChecksum = 0.3;
    o.Faults.UnknownFrames = 0.3;
    return o;
}

// Every frame the line delivers, until `known` frames of the protocol's types came.
std::vector<TBytes> ReceiveUntilKnown(TSimLine& line, std::size_t known) {
    std::vector<TBytes> all;
    std::size_t seen = 0;
    while (seen < known) {
        const auto got = line.Receive(1, 10000);
        if (got.empty()) break;
        all.push_back(got[0]);
        if (KnownType(got[0][2])) ++seen;
    }
    return all;
}

TEST(SimFaults, AssemblerRecoversEveryValidFrameThroughChunksNoiseBadChecksumsAndOddFrames) {
    const TSimOptions o = Faulty();
    // The same instrument without a line says what should arrive.
    TInstrument reference(o.Instrument, [](const std::string&) {});
    std::vector<TFrame> expected;
    for (const auto& r : Session()) {
        const auto reply = reference.Handle(r.data(), RequestFrameLength);
        expected.insert(expected.end(), reply.Frames.begin(), reply.Frames.end());
    }
    ASSERT_EQ(expected.size(), 1u + 21u + (Records + 1) + (1 + Records) + 1u);

    TSimLine line(o);
    for (const auto& r : Session()) line.Send(r);
    const auto all = ReceiveUntilKnown(line, expected.size());
    std::vector<TBytes> known;
    std::size_t odd = 0, badSums = 0, bytes = 0;
    for (const auto& f : all) {
        bytes += f.size() + 8;  // a noise run in front is at most 8 bytes
        if (!KnownType(f[2])) {
            ++odd;
            continue;
        }
        if (f[24] != FrameChecksum(f.data(), 26)) ++badSums;
        known.push_back(f);
    }
    ASSERT_EQ(known.size(), expected.size());
    for (std::size_t i = 0; i < known.size(); ++i) {
        TBytes got = known[i], want = expected[i];
        got[24] = want[24] = 0;  // the checksum fault is allowed to have changed it
        EXPECT_EQ(BytesToHex(got), BytesToHex(want)) << "frame " << i;
    }
    EXPECT_LT(bytes, static_cast<std::size_t>(RxBufferSize)) << "the session no longer fits one read";
    // The faults did happen.
    EXPECT_GT(odd, 10u);
    EXPECT_GT(badSums, 10u);
}

TEST(SimFaults, SameSeedGivesTheSameFramesFaultsIncluded) {
    auto run = [] {
        TSimLine line(Faulty());
        for (const auto& r : Session()) line.Send(r);
        return ReceiveUntilKnown(line, 1u + 21u + (Records + 1) + (1 + Records) + 1u);
    };
    const auto first = run();
    EXPECT_EQ(first, run());
}

TEST(SimFaults, DroppedRepliesAreWholeFramesMissing) {
    TSimOptions o;
    o.Faults.Drop = 0.5;
    o.Instrument.Seed = 7;
    TSimLine line(o);
    line.Send(BuildRequestFrame(CmdConnect));
    for (int i = 0; i < 30; ++i) line.Send(BuildRequestFrame(CmdControl, {0, 50, 0, 0, 0}));
    // Replies that do come are whole and intact; a generous wait for the rest.
    const auto frames = line.Receive(31, 2000);
    EXPECT_GT(frames.size(), 5u);
    EXPECT_LT(frames.size(), 26u);
    for (const auto& f : frames) {
        ASSERT_EQ(f.size(), 26u);
        EXPECT_EQ(f[24], FrameChecksum(f.data(), 26));
    }
}

TEST(SimFaults, UploadHeaderCanAnnounceMoreRecordsThanFollow) {
    TSimOptions o;
    o.Instrument.InitialRecords = 2;
    o.Faults.UploadMissing = 3;
    TSimLine line(o);
    line.Send(BuildRequestFrame(CmdConnect));
    line.Send(BuildRequestFrame(CmdUpload));
    const auto frames = line.Receive(4);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(BytesToHex(frames[1]),
              "24 A1 C6 14 05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 80 2A");
    EXPECT_EQ(frames[2][2], CmdUpload);
    EXPECT_EQ(frames[3][2], CmdUpload);
    EXPECT_TRUE(line.Receive(1, 300).empty());
}

TEST(SimFaults, DelayedAndPacedRepliesStillArriveWhole) {
    TSimOptions o;
    o.Faults.ReplyDelayMs = 150;
    o.PaceBaud = 9600;
    TSimLine line(o);
    line.Send(BuildRequestFrame(CmdConnect));
    line.Send(BuildRequestFrame(CmdUpload));
    const auto frames = line.Receive(9);
    ASSERT_EQ(frames.size(), 9u);
    EXPECT_EQ(frames[0][2], CmdConnect);
    EXPECT_EQ(frames[1][4], 7);  // header
    for (const auto& f : frames) EXPECT_EQ(f[24], FrameChecksum(f.data(), 26));
}

TEST(SimFaults, LineWithNobodyOnTheOtherEndIsWaitedOnAndServingStillStops) {
    TPtyPair pty;
    std::string error;
    ASSERT_TRUE(OpenPtyPair(pty, error)) << error;
    ::close(pty.Slave);
    pty.Slave = -1;
    std::vector<std::string> log;
    TSimOptions o;
    o.Log = [&](const std::string& l) { log.push_back(l); };
    std::atomic<bool> stop{false};
    std::thread server([&] { TSimulator(o).ServeFd(pty.Master, stop); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop = true;
    server.join();
    ClosePtyPair(pty);
    ASSERT_EQ(log.size(), 1u);  // said once, not on every poll
    EXPECT_EQ(log[0], "nobody on the line; waiting");
}

}  // namespace
