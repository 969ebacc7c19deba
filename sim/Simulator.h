#pragma once
// The simulator on a line: cuts requests out of what arrives on a descriptor
// with the program's own assembler, lets TInstrument answer, and writes the
// replies, after the configured delays and with the configured line faults.
//
// Threads: one TSimulator belongs to one thread, the one that calls ServeFd or
// Poll. The stop flag may be set from any thread (or a signal handler).
//
//   TSimulator sim(options);
//   std::thread t([&] { sim.ServeFd(masterFd, stop); });

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <random>
#include <string>

#include "protocol/Frame.h"
#include "sim/Instrument.h"

// Faults on the line, each off by default. Probabilities are per reply frame.
struct TFaultOptions {
    bool Chunks = false;       // cut frames into chunks of 1..9 bytes
    int ChunkGapMs = 30;       // with Chunks: pause of 0..this between chunks
    double Noise = 0;          // noise run of 1..8 bytes in front of a frame
    bool NoiseRisky = false;   // noise may hold 0x24, which can cost the PC frames
    double BadChecksum = 0;    // checksum byte off by 1..255
    int ReplyDelayMs = 0;      // every reply starts this much later
    double Drop = 0;           // frame not sent at all
    int UploadMissing = 0;     // upload header announces this many more records than follow
    double UnknownFrames = 0;  // an extra frame of a type the PC does not know, in front
};

struct TSimOptions {
    TInstrumentOptions Instrument;
    TFaultOptions Faults;
    int ConfirmDelayMs = 300;  // printing or storing takes this long before the confirmation
    int PushIntervalMs = 0;    // > 0: a live 0xDD frame this often while connected
    int PaceBaud = 0;          // > 0: bytes leave no faster than this rate (10 bits a byte)
    bool Verbose = false;      // log every request and reply
    TSimLog Log;               // empty: "kr3090-sim: ..." lines on standard error
};

class TSimulator {
  public:
    explicit TSimulator(const TSimOptions& options);

    // Serves the line on fd until stop is set (checked at least every 50 ms).
    // The descriptor stays the caller's; it is made non-blocking meanwhile.
    void ServeFd(int fd, const std::atomic<bool>& stop);
    // One step: waits at most timeoutMs for a request, answers it, writes what
    // is due. For callers with their own loop; fd must be non-blocking.
    void Poll(int fd, int timeoutMs);

    // Bytes passed through the instrument, for callers that want no line.
    void Receive(const std::uint8_t* bytes, int count);
    const TInstrument& Instrument() const { return Instrument_; }

  private:
    using TClock = std::chrono::steady_clock;
    struct TChunk {
        TClock::time_point Due;
        std::vector<std::uint8_t> Bytes;
    };

    void Send(const TReply& reply, std::uint8_t command);
    void Queue(std::vector<std::uint8_t> bytes, int afterMs);
    void SendFrame(TFrame frame, int& delayMs);
    void WriteDue(int fd);
    std::size_t PendingBytes() const;
    void Log(const std::string& line) const;
    double Chance() { return FaultRng() / 4294967296.0; }

    TSimOptions Options;
    TInstrument Instrument_;
    TFrameAssembler Requests;
    std::mt19937 FaultRng;
    std::deque<TChunk> Out;
    TClock::time_point LastDue;
    TClock::time_point NextPush;
    bool HungUp = false;
};

// Hex of a byte block, "24 A1 ...".
std::string HexBytes(const std::uint8_t* bytes, std::size_t count);
