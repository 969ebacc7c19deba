#pragma once
// The instrument's side of the protocol: its settings, its test, its live
// readings and its store of up to 100 records. Handle takes one request frame
// and returns the reply frames; it knows nothing of lines, timing or faults.
//
// Replies carry the request's command byte, device byte A1 and L = 20 (26
// bytes). A running test at 50 Hz reading U 2.5 V, I 1.25 A, Φ 30°, Rm off,
// average values answers a control frame with:
//   24 A1 DD 14 32 00 00 20 40 00 00 A0 3F 00 00 F0 41 00 01 00 00 00 00 00 35 2A
//   freq U (LE single) I Φ Rm test mode, four zero bytes, checksum, '*'
// The directory of one record stored on 2017-02-16 09:05:03 at 55 Hz:
//   24 A1 C3 14 01 01 11 02 10 09 05 03 37 00.. sum 2A    entry: N k yy mm dd hh mi ss f
//   24 A1 C3 14 01 02 <f><U><I><Φ> 00 00 sum 2A            average: N N+1 then four singles
// and of an empty store one frame 24 A1 C3 14 00 01 00.. 79 2A (N = 0, byte 5 = 1
// so that the list on the PC is emptied).

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

using TFrame = std::vector<std::uint8_t>;
using TSimLog = std::function<void(const std::string& line)>;

constexpr int MaxStoredRecords = 100;
constexpr std::uint8_t ReplyDeviceByte = 0xA1;

struct TRecord {
    std::uint8_t Frequency = 50;
    float Voltage = 0, Current = 0, Phase = 0;
    bool RmOn = false;
    std::uint8_t Year = 0, Month = 1, Day = 1, Hour = 0, Minute = 0, Second = 0;  // year - 2000
};

struct TInstrumentOptions {
    double Voltage = 2.5;  // the load the test measures: volts, amperes, degrees
    double Current = 1.25;
    double Phase = 30.0;
    int Frequency = 50;                  // test frequency at power-up, 40..70
    int InitialRecords = 7;              // records already stored at power-up, 0..100
    std::uint32_t Seed = 1;              // readings and initial records follow from it
    std::function<std::time_t()> Clock;  // time stamp of a stored result; system clock if empty
    std::vector<TRecord> Records;  // when not empty: stored at power-up instead of InitialRecords
};

// One request's answer: the frames in order, and whether the instrument first
// carries out a slow action (printing, storing) before confirming.
struct TReply {
    std::vector<TFrame> Frames;
    bool AfterAction = false;
};

// 26-byte reply frame with the given type and 20 payload bytes (offsets 4..23).
TFrame BuildReplyFrame(std::uint8_t type, const std::array<std::uint8_t, 20>& payload);
// Little-endian IEEE-754 single at payload[offset - 4] (offset counts from '$').
void PutSingle(std::array<std::uint8_t, 20>& payload, int offset, float value);

class TInstrument {
  public:
    explicit TInstrument(const TInstrumentOptions& options, TSimLog log = {});

    // One request as cut from the line (any length). Bad requests get no reply
    // and a log line saying what was ignored.
    TReply Handle(const std::uint8_t* frame, int length);
    // An unsolicited live reading (0xDD) as the panel would send it; none while
    // the PC is not connected.
    std::optional<TFrame> UnsolicitedReading();

    bool Connected() const { return Connected_; }
    bool Testing() const { return Testing_; }
    const std::vector<TRecord>& Records() const { return Records_; }

  private:
    TFrame LiveReading(std::uint8_t type);
    void Measure();
    void Control(const std::uint8_t* f);
    TReply Print(std::uint8_t source);
    TReply Store();
    TReply Directory() const;
    TReply ReadRecord(int number);
    TReply Upload() const;
    TReply Delete(int number);
    void SeedRecords(int count);
    bool HasRecord(int number, const char* action) const;
    void Log(const std::string& line) const;

    TInstrumentOptions Options;
    TSimLog LogSink;
    std::mt19937 Rng;
    std::vector<TRecord> Records_;
    std::optional<TRecord> LastRead;  // what "print the record shown" prints
    bool Connected_ = false;
    bool Testing_ = false;
    std::uint8_t Rm = 0;
    std::uint8_t Frequency = 50;
    std::uint8_t DataMode = 0;  // 0 average, 1 instantaneous
    // The reading shown: the last one taken; kept while stopped.
    float Voltage = 0, Current = 0, Phase = 0;
    // Recent instantaneous samples, averaged in average mode.
    std::vector<std::array<double, 3>> Window;
};

// Record frame payload shared by 0xC5 and the upload: f, U, I, Φ, Rm, date.
std::array<std::uint8_t, 20> RecordPayload(const TRecord& record);
