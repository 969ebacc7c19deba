// Requests written to the simulator's line get the replies the program reads.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "tests/sim/SimTestLine.h"

namespace {

float SingleAt(const TBytes& f, int offset) {
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= std::uint32_t(f[offset + i]) << (8 * i);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Two records whose replies are written out below byte for byte.
TSimOptions TwoRecords() {
    TSimOptions o;
    TRecord r1;
    r1.Frequency = 50;
    r1.Voltage = 2.5f;
    r1.Current = 1.0f;
    r1.Phase = 30.0f;
    r1.RmOn = false;
    r1.Year = 17, r1.Month = 2, r1.Day = 16, r1.Hour = 9, r1.Minute = 5, r1.Second = 3;
    TRecord r2;
    r2.Frequency = 60;
    r2.Voltage = 3.5f;
    r2.Current = 1.5f;
    r2.Phase = 40.0f;
    r2.RmOn = true;
    r2.Year = 17, r2.Month = 2, r2.Day = 16, r2.Hour = 12, r2.Minute = 30, r2.Second = 30;
    o.Instrument.Records = {r1, r2};
    o.ConfirmDelayMs = 10;
    return o;
}

const char* const Connected =
    "24 A1 AA 14 32 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 91 2A";
const char* const Entry1 =
    "24 A1 C3 14 02 01 11 02 10 09 05 03 32 00 00 00 00 00 00 00 00 00 00 00 E1 2A";
const char* const Entry2 =
    "24 A1 C3 14 02 02 11 02 10 0C 1E 1E 3C 00 00 00 00 00 00 00 00 00 00 00 23 2A";
// Averages f 55, U 3.0, I 1.25, Φ 35.
const char* const Average =
    "24 A1 C3 14 02 03 00 00 5C 42 00 00 40 40 00 00 A0 3F 00 00 0C 42 00 00 C8 2A";
const char* const EmptyDirectory =
    "24 A1 C3 14 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 79 2A";

class SimLine : public ::testing::Test {
  protected:
    void Connect(TSimLine& line) {
        line.Send(BuildRequestFrame(CmdConnect));
        ASSERT_EQ(line.Receive(1).size(), 1u);
    }
    std::vector<std::string> Hex(const std::vector<TBytes>& frames) {
        std::vector<std::string> texts;
        for (const auto& f : frames) texts.push_back(BytesToHex(f));
        return texts;
    }
};

TEST_F(SimLine, ConnectIsAnsweredWithTheReadingOfTheIdleInstrument) {
    TSimLine line(TwoRecords());
    line.Send(BuildRequestFrame(CmdConnect));
    EXPECT_EQ(Hex(line.Receive(1)), std::vector<std::string>{Connected});
}

TEST_F(SimLine, DisconnectIsConfirmedAndLaterRequestsAreIgnoredUntilTheNextConnect) {
    TSimLine line(TwoRecords());
    Connect(line);
    line.Send(BuildRequestFrame(CmdDisconnect));
    line.Send(BuildRequestFrame(CmdDirectory));  // not in remote mode: ignored
    line.Send(BuildRequestFrame(CmdConnect));
    EXPECT_EQ(Hex(line.Receive(2)),
              (std::vector<std::string>{
                  "24 A1 BB 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 70 2A",
                  Connected}));
}

TEST_F(SimLine, ControlFrameAfterStartReportsItsSettingsAndAReadingNearTheLoad) {
    TSimLine line(TwoRecords());
    Connect(line);
    // Rm on, 55 Hz, start, no reset, instantaneous.
    line.Send(BuildRequestFrame(CmdControl, {1, 55, 1, 0, 1}));
    const auto frames = line.Receive(1);
    ASSERT_EQ(frames.size(), 1u);
    const TBytes& f = frames[0];
    ASSERT_EQ(f.size(), 26u);
    EXPECT_EQ(BytesToHex(TBytes(f.begin(), f.begin() + 5)), "24 A1 DD 14 37");
    EXPECT_EQ(BytesToHex(TBytes(f.begin() + 17, f.end() - 2)), "01 01 01 00 00 00 00");
    EXPECT_EQ(f[24], FrameChecksum(f.data(), 26));
    EXPECT_EQ(f[25], 0x2A);
    EXPECT_NEAR(SingleAt(f, 5), 2.5, 0.125);
    EXPECT_NEAR(SingleAt(f, 9), 1.25, 0.05);
    EXPECT_NEAR(SingleAt(f, 13), 30.0, 2.0);
}

TEST_F(SimLine, DirectoryListsEveryRecordThenTheAverages) {
    TSimLine line(TwoRecords());
    Connect(line);
    line.Send(BuildRequestFrame(CmdDirectory));
    EXPECT_EQ(Hex(line.Receive(3)), (std::vector<std::string>{Entry1, Entry2, Average}));
}

TEST_F(SimLine, RecordIsReadByItsNumber) {
    TSimLine line(TwoRecords());
    Connect(line);
    line.Send(BuildRequestFrame(CmdReadRecord, {2}));
    EXPECT_EQ(
        Hex(line.Receive(1)),
        std::vector<std::string>{"24 A1 C5 14 3C 00 00 60 40 00 00 C0 3F 00 00 20 42 01 11 02 "
                                 "10 0C 1E 1E 23 2A"});
}

TEST_F(SimLine, UploadSendsTheCountThenEveryStoredRecord) {
    TSimLine line(TwoRecords());
    Connect(line);
    line.Send(BuildRequestFrame(CmdUpload));
    EXPECT_EQ(
        Hex(line.Receive(3)),
        (std::vector<std::string>{
            "24 A1 C6 14 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 7D 2A",
            "24 A1 C6 14 32 00 00 20 40 00 00 80 3F 00 00 F0 41 00 11 02 10 09 05 03 31 2A",
            "24 A1 C6 14 3C 00 00 60 40 00 00 C0 3F 00 00 20 42 01 11 02 10 0C 1E 1E 24 2A"}));
}

TEST_F(SimLine, EraseLeavesAnEmptyDirectoryThatAsksThePcToEmptyItsList) {
    TSimLine line(TwoRecords());
    Connect(line);
    line.Send(BuildRequestFrame(CmdErase));
    line.Send(BuildRequestFrame(CmdDirectory));
    EXPECT_EQ(Hex(line.Receive(2)),
              (std::vector<std::string>{
                  "24 A1 C4 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 79 2A",
                  EmptyDirectory}));
}

TEST_F(SimLine, DeleteMovesTheLaterRecordsDown) {
    TSimLine line(TwoRecords());
    Connect(line);
    line.Send(BuildRequestFrame(CmdDelete, {1}));
    line.Send(BuildRequestFrame(CmdDirectory));
    EXPECT_EQ(
        Hex(line.Receive(3)),
        (std::vector<std::string>{
            "24 A1 C7 14 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 7D 2A",
            "24 A1 C3 14 01 01 11 02 10 0C 1E 1E 3C 00 00 00 00 00 00 00 00 00 00 00 21 2A",
            "24 A1 C3 14 01 02 00 00 70 42 00 00 60 40 00 00 C0 3F 00 00 20 42 00 00 2E 2A"}));
}

TEST_F(SimLine, PrintAndStoreAreConfirmedAndTheStoredResultCarriesTheLastReadingAndTheClock) {
    TSimOptions o = TwoRecords();
    o.Instrument.Clock = [] {
        std::tm t{};
        t.tm_year = 2026 - 1900, t.tm_mon = 11, t.tm_mday = 8, t.tm_hour = 18, t.tm_min = 4,
        t.tm_sec = 5;
        t.tm_isdst = -1;
        return std::mktime(&t);  // local time, as the instrument's clock shows it
    };
    TSimLine line(o);
    Connect(line);
    line.Send(BuildRequestFrame(CmdControl, {0, 45, 1, 0, 0}));  // start
    line.Send(BuildRequestFrame(CmdControl, {0, 45, 0, 0, 0}));  // stop: the last reading stays
    line.Send(BuildRequestFrame(CmdPrint, {0}));
    line.Send(BuildRequestFrame(CmdStore));
    line.Send(BuildRequestFrame(CmdReadRecord, {3}));
    const auto frames = line.Receive(5);
    ASSERT_EQ(frames.size(), 5u);
    const TBytes& stopped = frames[1];
    EXPECT_EQ(stopped[18], 0);
    EXPECT_EQ(TBytes(frames[0].begin() + 5, frames[0].begin() + 17),
              TBytes(stopped.begin() + 5, stopped.begin() + 17));
    EXPECT_EQ(BytesToHex(frames[2]),
              "24 A1 C1 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 76 2A");
    EXPECT_EQ(BytesToHex(frames[3]),
              "24 A1 C2 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 77 2A");
    const TBytes& record = frames[4];
    EXPECT_EQ(record[2], 0xC5);
    EXPECT_EQ(record[4], 45);
    EXPECT_EQ(TBytes(record.begin() + 5, record.begin() + 17),
              TBytes(stopped.begin() + 5, stopped.begin() + 17));
    EXPECT_EQ(BytesToHex(TBytes(record.begin() + 17, record.begin() + 24)), "00 1A 0C 08 12 04 05");
}

TEST_F(SimLine, BadRequestsOnTheLineGetNoReplyAndAreLogged) {
    TSimLine line(TwoRecords());
    Connect(line);
    TRequestFrame badSum = BuildRequestFrame(CmdDirectory);
    badSum[24] ^= 0x01;
    line.Send(badSum);
    line.Send(BuildRequestFrame(0x99));
    line.Send(BuildRequestFrame(CmdReadRecord, {0}));
    line.Send(BuildRequestFrame(CmdReadRecord, {3}));
    line.Send(BuildRequestFrame(CmdDelete, {200}));
    line.SendRaw(HexToBytes("24 A1 C3 02 00 00 C6 2A"));  // a short frame: L = 2
    line.SendRaw(HexToBytes("11 22 33"));                 // noise
    line.SendRaw(HexToBytes("24 A1 C4 14 00 00"));        // a request cut short
    line.Send(BuildRequestFrame(CmdErase));
    // Only the erase is answered, and nothing was erased before it.
    EXPECT_EQ(Hex(line.Receive(1)),
              std::vector<std::string>{
                  "24 A1 C4 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 79 2A"});
    const auto log = line.LogLines();
    auto logged = [&](const std::string& words) {
        for (const auto& l : log)
            if (l.find(words) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(logged("ignored request 0xC3: checksum"));
    EXPECT_TRUE(logged("ignored unknown request 0x99"));
    EXPECT_TRUE(logged("ignored read of record 0"));
    EXPECT_TRUE(logged("ignored read of record 3"));
    EXPECT_TRUE(logged("ignored delete of record 200"));
    EXPECT_TRUE(logged("ignored a frame of 8 bytes"));
    // The noise and the cut request are dropped, in one go or in several.
    int strayBytes = 0;
    for (const auto& l : log) {
        int n = 0;
        if (std::sscanf(l.c_str(), "ignored %d bytes outside any request frame", &n) == 1)
            strayBytes += n;
    }
    EXPECT_EQ(strayBytes, 3 + 6);
}

TEST_F(SimLine, RequestArrivingInPiecesIsAnswered) {
    TSimLine line(TwoRecords());
    const TRequestFrame connect = BuildRequestFrame(CmdConnect);
    line.SendRaw(TBytes(connect.begin(), connect.begin() + 10));
    line.SendRaw(TBytes(connect.begin() + 10, connect.end()));
    EXPECT_EQ(Hex(line.Receive(1)), std::vector<std::string>{Connected});
}

TEST_F(SimLine, UnsolicitedReadingsArriveWhileConnected) {
    TSimOptions o = TwoRecords();
    o.PushIntervalMs = 10;
    TSimLine line(o);
    Connect(line);
    const auto frames = line.Receive(5);
    ASSERT_EQ(frames.size(), 5u);
    for (const auto& f : frames)
        EXPECT_EQ(BytesToHex(TBytes(f.begin(), f.begin() + 5)), "24 A1 DD 14 32");
}

}  // namespace
