#include "sim/Instrument.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "protocol/Frame.h"

namespace {

constexpr std::size_t AverageWindow = 16;
constexpr double Pi = 3.14159265358979323846;

std::string Hex(std::uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", b);
    return text;
}

// Uniform in [0, 1), from the generator's raw output so that a seed gives the
// same values with every standard library.
double Uniform(std::mt19937& rng) {
    return rng() / 4294967296.0;
}
// Roughly bell-shaped in (-1, 1).
double Spread(std::mt19937& rng) {
    return Uniform(rng) + Uniform(rng) - 1.0;
}
int Between(std::mt19937& rng, int lo, int hi) {
    return lo + static_cast<int>(rng() % static_cast<std::uint32_t>(hi - lo + 1));
}

float Rounded(double value, double step) {
    return static_cast<float>(std::round(value / step) * step);
}

void Stamp(TRecord& r, std::time_t when, bool local) {
    std::tm t{};
    if (local)
        localtime_r(&when, &t);
    else
        gmtime_r(&when, &t);
    const int year = t.tm_year + 1900 - 2000;
    r.Year = static_cast<std::uint8_t>(year < 0 ? 0 : year > 255 ? 255 : year);
    r.Month = static_cast<std::uint8_t>(t.tm_mon + 1);
    r.Day = static_cast<std::uint8_t>(t.tm_mday);
    r.Hour = static_cast<std::uint8_t>(t.tm_hour);
    r.Minute = static_cast<std::uint8_t>(t.tm_min);
    r.Second = static_cast<std::uint8_t>(t.tm_sec);
}

std::string DescribeValues(const TRecord& r) {
    char text[120];
    std::snprintf(text, sizeof text, "f %dHz U %.3fV I %.3fA phase %.2f deg Rm %s", r.Frequency,
                  r.Voltage, r.Current, r.Phase, r.RmOn ? "on" : "off");
    return text;
}

std::string Describe(const TRecord& r) {
    char text[40];
    std::snprintf(text, sizeof text, ", 20%02d-%02d-%02d %02d:%02d:%02d", r.Year, r.Month, r.Day,
                  r.Hour, r.Minute, r.Second);
    return DescribeValues(r) + text;
}

}  // namespace

TFrame BuildReplyFrame(std::uint8_t type, const std::array<std::uint8_t, 20>& payload) {
    TFrame f(RequestFrameLength, 0);
    f[0] = FrameStartByte;
    f[1] = ReplyDeviceByte;
    f[2] = type;
    f[3] = RequestPayloadLength;
    std::memcpy(f.data() + 4, payload.data(), payload.size());
    f[24] = FrameChecksum(f.data(), RequestFrameLength);
    f[25] = FrameEndByte;
    return f;
}

void PutSingle(std::array<std::uint8_t, 20>& payload, int offset, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i)
        payload[offset - 4 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

std::array<std::uint8_t, 20> RecordPayload(const TRecord& r) {
    std::array<std::uint8_t, 20> p{};
    p[4 - 4] = r.Frequency;
    PutSingle(p, 5, r.Voltage);
    PutSingle(p, 9, r.Current);
    PutSingle(p, 13, r.Phase);
    p[17 - 4] = r.RmOn ? 1 : 0;
    p[18 - 4] = r.Year;
    p[19 - 4] = r.Month;
    p[20 - 4] = r.Day;
    p[21 - 4] = r.Hour;
    p[22 - 4] = r.Minute;
    p[23 - 4] = r.Second;
    return p;
}

TInstrument::TInstrument(const TInstrumentOptions& options, TSimLog log)
    : Options(options), LogSink(std::move(log)), Rng(options.Seed) {
    if (Options.Frequency >= 40 && Options.Frequency <= 70)
        Frequency = static_cast<std::uint8_t>(Options.Frequency);
    if (Options.Records.empty())
        SeedRecords(Options.InitialRecords);
    else
        Records_.assign(Options.Records.begin(),
                        Options.Records.begin() +
                            std::min<std::size_t>(Options.Records.size(), MaxStoredRecords));
}

void TInstrument::Log(const std::string& line) const {
    if (LogSink)
        LogSink(line);
    else
        std::fprintf(stderr, "kr3090-sim: %s\n", line.c_str());
}

// Plausible earlier results of one site, a few days apart. The operator
// measures on both sides of the power frequency, as the PC's frequency
// analysis needs: 45 and 55 Hz twice, 50 Hz, 40 and 60 Hz, then 47 and 53 Hz
// and others, over again. The site is a grounding grid: a resistance in series
// with an inductance, whose reactance grows in proportion to the frequency;
// at 50 Hz its impedance is the load's (U / I at Φ). The injected current
// wanders by up to 5 %, the readings carry about 1 % and 0.3° of noise. Their
// own generator, so they do not depend on the order of later requests.
void TInstrument::SeedRecords(int count) {
    if (count < 0) count = 0;
    if (count > MaxStoredRecords) count = MaxStoredRecords;
    std::mt19937 rng(Options.Seed ^ 0x5EC04D5u);
    std::time_t when = 1740819600;  // 2025-03-01 09:00:00 UTC
    static const std::uint8_t frequencies[] = {45, 55, 45, 55, 50, 40, 60, 47, 53, 65, 42, 58};
    const double angle = Options.Phase * Pi / 180;
    for (int k = 0; k < count; ++k) {
        when += Between(rng, 2, 96) * 3600 + Between(rng, 0, 3599);
        TRecord r;
        r.Frequency = frequencies[k % sizeof frequencies];
        // R + jX relative to the load's |Z| at 50 Hz.
        const double x = std::sin(angle) * r.Frequency / 50, rr = std::cos(angle);
        const double current = 1 + 0.05 * Spread(rng);
        r.Current = Rounded(Options.Current * current, 0.0001);
        r.Voltage = Rounded(
            Options.Voltage * current * std::hypot(rr, x) * (1 + 0.01 * Spread(rng)), 0.0001);
        r.Phase = Rounded(std::atan2(x, rr) * 180 / Pi + 0.3 * Spread(rng), 0.01);
        r.RmOn = rng() % 5 == 0;
        Stamp(r, when, false);
        Records_.push_back(r);
    }
}

TReply TInstrument::Handle(const std::uint8_t* f, int length) {
    if (length != RequestFrameLength) {
        Log("ignored a frame of " + std::to_string(length) + " bytes (requests are 26 bytes)");
        return {};
    }
    if (FrameChecksum(f, length) != f[24]) {
        Log("ignored request " + Hex(f[2]) + ": checksum " + Hex(f[24]) + ", expected " +
            Hex(FrameChecksum(f, length)));
        return {};
    }
    const std::uint8_t command = f[2];
    if (command == CmdConnect) {
        Connected_ = true;
        return {{LiveReading(CmdConnect)}};
    }
    if (command == CmdDisconnect) {
        Connected_ = false;
        return {{BuildReplyFrame(CmdDisconnect, {})}};
    }
    switch (command) {
        case CmdControl:
        case CmdPrint:
        case CmdStore:
        case CmdDirectory:
        case CmdErase:
        case CmdReadRecord:
        case CmdUpload:
        case CmdDelete:
            break;
        default:
            Log("ignored unknown request " + Hex(command));
            return {};
    }
    // The instrument takes orders from the PC only in remote mode, entered by
    // the connect request and left by the disconnect request.
    if (!Connected_) {
        Log("ignored request " + Hex(command) + ": the PC has not connected");
        return {};
    }
    switch (command) {
        case CmdControl:
            Control(f);
            return {{LiveReading(CmdControl)}};
        case CmdPrint:
            return Print(f[4]);
        case CmdStore:
            return Store();
        case CmdDirectory:
            return Directory();
        case CmdErase:
            Records_.clear();
            Log("erased all records");
            return {{BuildReplyFrame(CmdErase, {})}};
        case CmdReadRecord:
            return ReadRecord(f[4]);
        case CmdUpload:
            return Upload();
        default:
            return Delete(f[4]);
    }
}

std::optional<TFrame> TInstrument::UnsolicitedReading() {
    if (!Connected_) return std::nullopt;
    return LiveReading(CmdControl);
}

void TInstrument::Control(const std::uint8_t* f) {
    if (f[4] <= 1)
        Rm = f[4];
    else
        Log("control: kept Rm, " + std::to_string(f[4]) + " is neither 0 (off) nor 1 (on)");
    if (f[5] >= 40 && f[5] <= 70)
        Frequency = f[5];
    else
        Log("control: kept " + std::to_string(Frequency) + " Hz, " + std::to_string(f[5]) +
            " Hz is outside 40..70");
    if (f[8] <= 1)
        DataMode = f[8];
    else
        Log("control: kept the data mode, " + std::to_string(f[8]) + " is neither 0 nor 1");
    if (f[6] <= 1) {
        const bool start = f[6] == 1;
        if (start && !Testing_) Window.clear();
        Testing_ = start;
    } else {
        Log("control: kept the test state, " + std::to_string(f[6]) + " is neither 0 nor 1");
    }
    if (f[7] == 1) {
        // A reset clears the reading and starts the averaging afresh; the test
        // runs on or stays stopped as the same frame says.
        Window.clear();
        Voltage = Current = Phase = 0;
    }
}

// One instantaneous sample around the load; in average mode the mean of the
// recent samples is shown, so it wanders far less.
void TInstrument::Measure() {
    const std::array<double, 3> sample{Options.Voltage * (1 + 0.04 * Spread(Rng)),
                                       Options.Current * (1 + 0.03 * Spread(Rng)),
                                       Options.Phase + 2.0 * Spread(Rng)};
    Window.push_back(sample);
    if (Window.size() > AverageWindow) Window.erase(Window.begin());
    std::array<double, 3> shown = sample;
    if (DataMode == 0) {
        shown = {0, 0, 0};
        for (const auto& s : Window)
            for (int i = 0; i < 3; ++i) shown[i] += s[i] / Window.size();
    }
    Voltage = static_cast<float>(shown[0]);
    Current = static_cast<float>(shown[1]);
    Phase = static_cast<float>(shown[2]);
}

TFrame TInstrument::LiveReading(std::uint8_t type) {
    if (Testing_) Measure();
    std::array<std::uint8_t, 20> p{};
    p[0] = Frequency;
    PutSingle(p, 5, Voltage);
    PutSingle(p, 9, Current);
    PutSingle(p, 13, Phase);
    p[17 - 4] = Rm;
    p[18 - 4] = Testing_ ? 1 : 0;
    p[19 - 4] = DataMode;
    return BuildReplyFrame(type, p);
}

TReply TInstrument::Print(std::uint8_t source) {
    if (source == 0) {
        TRecord now;
        now.Frequency = Frequency;
        now.Voltage = Voltage;
        now.Current = Current;
        now.Phase = Phase;
        now.RmOn = Rm == 1;
        Log("printing the current result: " + DescribeValues(now));
    } else if (source == 1 && LastRead) {
        Log("printing the record last read: " + Describe(*LastRead));
    } else if (source == 1) {
        Log("ignored print of the record last read: no record has been read");
        return {};
    } else {
        Log("ignored print request with source " + std::to_string(source) + " (0 or 1)");
        return {};
    }
    return {{BuildReplyFrame(CmdPrint, {})}, true};
}

TReply TInstrument::Store() {
    if (Records_.size() >= MaxStoredRecords) {
        // Not confirmed: the PC would otherwise report a result as saved that
        // is not. The instrument shows "memory full" on its own display.
        Log("not stored: all 100 records are in use");
        return {};
    }
    TRecord r;
    r.Frequency = Frequency;
    r.Voltage = Voltage;
    r.Current = Current;
    r.Phase = Phase;
    r.RmOn = Rm == 1;
    Stamp(r, Options.Clock ? Options.Clock() : std::time(nullptr), true);
    Records_.push_back(r);
    Log("stored record " + std::to_string(Records_.size()) + ": " + Describe(r));
    return {{BuildReplyFrame(CmdStore, {})}, true};
}

TReply TInstrument::Directory() const {
    TReply reply;
    const auto n = static_cast<std::uint8_t>(Records_.size());
    if (n == 0) {
        std::array<std::uint8_t, 20> p{};
        p[1] = 1;  // first and last frame of the sequence
        reply.Frames.push_back(BuildReplyFrame(CmdDirectory, p));
        return reply;
    }
    double f = 0, u = 0, i = 0, phi = 0;
    for (std::size_t k = 0; k < Records_.size(); ++k) {
        const TRecord& r = Records_[k];
        std::array<std::uint8_t, 20> p{};
        p[0] = n;
        p[1] = static_cast<std::uint8_t>(k + 1);
        p[2] = r.Year;
        p[3] = r.Month;
        p[4] = r.Day;
        p[5] = r.Hour;
        p[6] = r.Minute;
        p[7] = r.Second;
        p[8] = r.Frequency;
        reply.Frames.push_back(BuildReplyFrame(CmdDirectory, p));
        f += r.Frequency;
        u += r.Voltage;
        i += r.Current;
        phi += r.Phase;
    }
    std::array<std::uint8_t, 20> p{};
    p[0] = n;
    p[1] = static_cast<std::uint8_t>(n + 1);
    PutSingle(p, 6, static_cast<float>(f / n));
    PutSingle(p, 10, static_cast<float>(u / n));
    PutSingle(p, 14, static_cast<float>(i / n));
    PutSingle(p, 18, static_cast<float>(phi / n));
    reply.Frames.push_back(BuildReplyFrame(CmdDirectory, p));
    return reply;
}

// A careful instrument answers nothing for a number it does not hold.
bool TInstrument::HasRecord(int number, const char* action) const {
    if (number >= 1 && number <= static_cast<int>(Records_.size())) return true;
    Log(std::string("ignored ") + action + " of record " + std::to_string(number) + ": " +
        std::to_string(Records_.size()) + " records are stored");
    return false;
}

TReply TInstrument::ReadRecord(int number) {
    if (!HasRecord(number, "read")) return {};
    LastRead = Records_[number - 1];
    return {{BuildReplyFrame(CmdReadRecord, RecordPayload(*LastRead))}};
}

TReply TInstrument::Upload() const {
    TReply reply;
    std::array<std::uint8_t, 20> header{};
    header[0] = static_cast<std::uint8_t>(Records_.size());
    reply.Frames.push_back(BuildReplyFrame(CmdUpload, header));
    for (const TRecord& r : Records_)
        reply.Frames.push_back(BuildReplyFrame(CmdUpload, RecordPayload(r)));
    return reply;
}

TReply TInstrument::Delete(int number) {
    if (!HasRecord(number, "delete")) return {};
    Records_.erase(Records_.begin() + (number - 1));
    Log("deleted record " + std::to_string(number) + "; the later ones moved down");
    std::array<std::uint8_t, 20> p{};
    p[0] = static_cast<std::uint8_t>(number);
    return {{BuildReplyFrame(CmdDelete, p)}};
}
