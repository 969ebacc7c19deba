// The instrument's behaviour without a line: settings, readings, store.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "protocol/Frame.h"
#include "sim/Instrument.h"

namespace {

struct TLogged {
    std::vector<std::string> Lines;
    TSimLog Sink() {
        return [this](const std::string& l) { Lines.push_back(l); };
    }
    bool Has(const std::string& words) const {
        for (const auto& l : Lines)
            if (l.find(words) != std::string::npos) return true;
        return false;
    }
};

TReply Ask(TInstrument& instrument, std::uint8_t command,
           std::initializer_list<std::uint8_t> params = {}) {
    const TRequestFrame f = BuildRequestFrame(command, params);
    return instrument.Handle(f.data(), RequestFrameLength);
}

float SingleAt(const TFrame& f, int offset) {
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= std::uint32_t(f[offset + i]) << (8 * i);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::vector<TFrame> Directory(TInstrument& instrument) {
    return Ask(instrument, CmdDirectory).Frames;
}

TEST(SimInstrument, PowerUpStoreHoldsSevenPlausibleRecordsThatFollowFromTheSeed) {
    TInstrumentOptions o;
    TInstrument a(o), b(o);
    ASSERT_EQ(a.Records().size(), 7u);
    o.Seed = 2;
    TInstrument c(o);
    ASSERT_TRUE(Ask(a, CmdConnect).Frames.size() == 1 && Ask(b, CmdConnect).Frames.size() == 1);
    Ask(c, CmdConnect);
    EXPECT_EQ(Ask(a, CmdUpload).Frames, Ask(b, CmdUpload).Frames);
    EXPECT_NE(Ask(a, CmdUpload).Frames, Ask(c, CmdUpload).Frames);

    std::tuple<int, int, int, int, int, int> previous{};
    for (const TRecord& r : a.Records()) {
        EXPECT_GE(r.Frequency, 40);
        EXPECT_LE(r.Frequency, 70);
        EXPECT_NEAR(r.Voltage, 2.5, 2.5 * 0.15);
        EXPECT_NEAR(r.Current, 1.25, 1.25 * 0.15);
        EXPECT_NEAR(r.Phase, 30, 6);
        EXPECT_TRUE(r.Month >= 1 && r.Month <= 12 && r.Day >= 1 && r.Day <= 31);
        EXPECT_TRUE(r.Hour < 24 && r.Minute < 60 && r.Second < 60);
        const auto stamp = std::make_tuple(r.Year, r.Month, r.Day, r.Hour, r.Minute, r.Second);
        EXPECT_LT(previous, stamp) << "records are stored in time order";
        previous = stamp;
    }
    // On both sides of 50 Hz, at a grid whose reactance grows with frequency:
    // the load (2 Ω at 30°) is R 1.732 Ω, X 1 Ω at 50 Hz.
    const int frequencies[] = {45, 55, 45, 55, 50, 40, 60};
    for (int k = 0; k < 7; ++k) {
        const TRecord& r = a.Records()[k];
        EXPECT_EQ(r.Frequency, frequencies[k]);
        const double z = r.Voltage / r.Current, phi = r.Phase * 3.14159265358979 / 180;
        EXPECT_NEAR(z * std::cos(phi), 1.732, 0.03) << k;
        EXPECT_NEAR(z * std::sin(phi), r.Frequency / 50.0, 0.03) << k;
    }
}

TEST(SimInstrument, PowerUpRecordCountIsHeldToTheCapacity) {
    TInstrumentOptions o;
    o.InitialRecords = 150;
    EXPECT_EQ(TInstrument(o).Records().size(), 100u);
    o.InitialRecords = -3;
    EXPECT_EQ(TInstrument(o).Records().size(), 0u);
}

TEST(SimInstrument, FullStoreHasAHundredEntriesAndAnAverageFrameNumbered101) {
    TInstrumentOptions o;
    o.InitialRecords = 100;
    TInstrument instrument(o);
    Ask(instrument, CmdConnect);
    const auto frames = Directory(instrument);
    ASSERT_EQ(frames.size(), 101u);
    for (int k = 0; k < 100; ++k) {
        EXPECT_EQ(frames[k][4], 100);
        EXPECT_EQ(frames[k][5], k + 1);
    }
    EXPECT_EQ(frames[100][4], 100);
    EXPECT_EQ(frames[100][5], 101);
}

TEST(SimInstrument, AveragedReadingsWanderLessThanInstantaneousOnes) {
    auto spread = [](std::uint8_t mode) {
        TInstrument instrument(TInstrumentOptions{});
        Ask(instrument, CmdConnect);
        std::vector<double> u;
        for (int i = 0; i < 200; ++i) {
            const auto frames = Ask(instrument, CmdControl, {0, 50, 1, 0, mode}).Frames;
            EXPECT_EQ(frames[0][19], mode);
            if (i >= 20) u.push_back(SingleAt(frames[0], 5));
        }
        double mean = 0, var = 0;
        for (double v : u) mean += v / u.size();
        for (double v : u) var += (v - mean) * (v - mean) / u.size();
        EXPECT_NEAR(mean, 2.5, 0.05);
        return std::sqrt(var);
    };
    const double averaged = spread(0);
    const double instantaneous = spread(1);
    EXPECT_GT(instantaneous, 0.0);
    EXPECT_LT(averaged, instantaneous / 2);
}

TEST(SimInstrument, ResetClearsTheReadingAndAStoppedTestKeepsItsLastValues) {
    TInstrument instrument(TInstrumentOptions{});
    Ask(instrument, CmdConnect);
    const TFrame running = Ask(instrument, CmdControl, {0, 50, 1, 0, 0}).Frames[0];
    const TFrame stopped = Ask(instrument, CmdControl, {0, 50, 0, 0, 0}).Frames[0];
    EXPECT_EQ(running[18], 1);
    EXPECT_EQ(stopped[18], 0);
    EXPECT_EQ(TFrame(running.begin() + 5, running.begin() + 17),
              TFrame(stopped.begin() + 5, stopped.begin() + 17));
    const TFrame reset = Ask(instrument, CmdControl, {0, 50, 0, 1, 0}).Frames[0];
    EXPECT_EQ(TFrame(reset.begin() + 5, reset.begin() + 17), TFrame(12, 0));
}

TEST(SimInstrument, SettingsOutsideTheirRangeAreKeptAndLogged) {
    TLogged log;
    TInstrument instrument(TInstrumentOptions{}, log.Sink());
    Ask(instrument, CmdConnect);
    Ask(instrument, CmdControl, {1, 60, 0, 0, 1});
    const TFrame f = Ask(instrument, CmdControl, {2, 71, 3, 0, 2}).Frames[0];
    EXPECT_EQ(f[4], 60);
    EXPECT_EQ(f[17], 1);
    EXPECT_EQ(f[18], 0);
    EXPECT_EQ(f[19], 1);
    EXPECT_TRUE(log.Has("kept 60 Hz, 71 Hz is outside 40..70"));
    EXPECT_TRUE(log.Has("kept Rm"));
    EXPECT_EQ(Ask(instrument, CmdControl, {0, 39, 0, 0, 0}).Frames[0][4], 60);
}

TEST(SimInstrument, FullStoreRefusesToStoreAndDoesNotConfirm) {
    TLogged log;
    TInstrumentOptions o;
    o.InitialRecords = 100;
    TInstrument instrument(o, log.Sink());
    Ask(instrument, CmdConnect);
    EXPECT_TRUE(Ask(instrument, CmdStore).Frames.empty());
    EXPECT_EQ(instrument.Records().size(), 100u);
    EXPECT_TRUE(log.Has("not stored: all 100 records are in use"));
}

TEST(SimInstrument, PrintingTheShownRecordNeedsARecordReadFirst) {
    TLogged log;
    TInstrument instrument(TInstrumentOptions{}, log.Sink());
    Ask(instrument, CmdConnect);
    EXPECT_TRUE(Ask(instrument, CmdPrint, {1}).Frames.empty());
    EXPECT_TRUE(log.Has("no record has been read"));
    EXPECT_TRUE(Ask(instrument, CmdPrint, {7}).Frames.empty());
    Ask(instrument, CmdReadRecord, {4});
    const TReply printed = Ask(instrument, CmdPrint, {1});
    ASSERT_EQ(printed.Frames.size(), 1u);
    EXPECT_TRUE(printed.AfterAction);
    EXPECT_EQ(printed.Frames[0][2], CmdPrint);
}

TEST(SimInstrument, RequestsBeforeConnectAreIgnoredExceptDisconnect) {
    TLogged log;
    TInstrument instrument(TInstrumentOptions{}, log.Sink());
    for (std::uint8_t c : {CmdControl, CmdPrint, CmdStore, CmdDirectory, CmdErase, CmdReadRecord,
                           CmdUpload, CmdDelete})
        EXPECT_TRUE(Ask(instrument, c, {1}).Frames.empty()) << int(c);
    EXPECT_EQ(instrument.Records().size(), 7u);
    EXPECT_FALSE(instrument.Connected());
    EXPECT_TRUE(log.Has("ignored request 0xC4: the PC has not connected"));
    EXPECT_EQ(Ask(instrument, CmdDisconnect).Frames.size(), 1u);
}

TEST(SimInstrument, FramesOfAnyLengthOrContentNeverCrashIt) {
    TLogged log;
    TInstrument instrument(TInstrumentOptions{}, log.Sink());
    Ask(instrument, CmdConnect);
    std::uint8_t junk[300];
    for (int n : {0, 1, 5, 6, 25, 27, 261, 300}) {
        std::memset(junk, 0xC5, sizeof junk);
        junk[0] = 0x24;
        EXPECT_TRUE(instrument.Handle(junk, n).Frames.empty()) << n;
    }
    // Every command byte with every record number: only plausible replies.
    for (int c = 0; c < 256; ++c)
        for (int k : {0, 1, 7, 8, 255}) {
            const auto reply =
                Ask(instrument, static_cast<std::uint8_t>(c), {static_cast<std::uint8_t>(k)});
            for (const auto& f : reply.Frames) {
                EXPECT_EQ(f.size(), 26u);
                EXPECT_EQ(f[2], c);
            }
            if (c == CmdErase || c == CmdDisconnect) Ask(instrument, CmdConnect);
        }
}

}  // namespace
