#pragma once
// The simulator options of a test as kr3090-sim's command line, for a line
// whose far end the host plays (tests/vm/OutsideLine.h).

#include <stdexcept>
#include <string>

#include "../vm/OutsideLine.h"
#include "sim/Simulator.h"

inline std::string SimArguments(const TSimOptions& o) {
    // Stored records given one by one exist only in this process.
    if (!o.Instrument.Records.empty())
        throw std::invalid_argument("records of a test cannot go to kr3090-sim");
    const TInstrumentOptions& i = o.Instrument;
    const TFaultOptions& f = o.Faults;
    std::string a;
    auto add = [&a](const char* name, auto value) {
        a += std::string(" --") + name + "=" + std::to_string(value);
    };
    add("voltage", i.Voltage);
    add("current", i.Current);
    add("phase", i.Phase);
    add("frequency", i.Frequency);
    add("records", i.InitialRecords);
    add("seed", i.Seed);
    add("confirm-delay-ms", o.ConfirmDelayMs);
    add("push-interval-ms", o.PushIntervalMs);
    add("pace", o.PaceBaud);
    add("chunk-gap-ms", f.ChunkGapMs);
    add("noise", f.Noise);
    add("bad-checksum", f.BadChecksum);
    add("reply-delay-ms", f.ReplyDelayMs);
    add("drop", f.Drop);
    add("upload-missing", f.UploadMissing);
    add("unknown-frames", f.UnknownFrames);
    if (f.Chunks) a += " --chunks";
    if (f.NoiseRisky) a += " --noise-risky";
    return a;
}

// kr3090-sim's far end of the outside line, started afresh with the options;
// returns the device to open, empty when the host did not start it.
inline std::string StartOutsideSim(const TOutsideLine& line, const TSimOptions& options) {
    return line.Ask("sim" + SimArguments(options)) ? line.Device() : std::string();
}
