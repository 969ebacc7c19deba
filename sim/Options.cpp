#include "sim/Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

const char* const UsageText =
    "usage: kr3090-sim [options]\n"
    "Plays the KR3090 instrument on a serial line. Without --device it opens a\n"
    "pseudo-terminal pair and prints the device to use as ComName on one line.\n"
    "Stops cleanly on SIGINT or SIGTERM.\n"
    "\n"
    "  --device PATH            serve on this existing device instead\n"
    "  --baud N                 baud rate for --device (default 9600)\n"
    "  --voltage V              load voltage in volts (default 2.5)\n"
    "  --current A              load current in amperes (default 1.25)\n"
    "  --phase DEG              load phase angle in degrees (default 30)\n"
    "  --frequency HZ           test frequency at power-up, 40..70 (default 50)\n"
    "  --records N              records stored at power-up, 0..100 (default 7)\n"
    "  --confirm-delay-ms N     time to print or store before confirming (default 300)\n"
    "  --seed N                 makes readings, records and faults repeatable (default 1)\n"
    "  --push-interval-ms N     send a live 0xDD reading every N ms while connected\n"
    "  --pace BAUD              send no faster than a UART at BAUD (default: as fast as the line "
    "takes)\n"
    "  --verbose                log every request, reply and injected fault\n"
    "Faults (off by default; P is a probability per reply frame, 0..1):\n"
    "  --chunks                 cut replies into chunks of 1..9 bytes\n"
    "  --chunk-gap-ms N         with --chunks: pause of 0..N ms between chunks (default 30)\n"
    "  --noise P                1..8 noise bytes in front of a frame, never 0x24\n"
    "  --noise-risky            let noise hold 0x24 too (the PC may lose frames)\n"
    "  --bad-checksum P         wrong checksum byte\n"
    "  --reply-delay-ms N       every reply starts N ms later\n"
    "  --drop P                 reply frame not sent\n"
    "  --upload-missing N       upload header announces N more records than follow\n"
    "  --unknown-frames P       extra frame of an unknown type in front of a reply frame\n"
    "  --help                   this text\n";

namespace {

bool ToLong(const std::string& text, long lo, long hi, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno || *end || v < lo || v > hi) return false;
    value = v;
    return true;
}

bool ToDouble(const std::string& text, double lo, double hi, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno || *end || !std::isfinite(v) || v < lo || v > hi) return false;
    value = v;
    return true;
}

}  // namespace

std::string ParseCommandLine(int argc, const char* const* argv, TCommandLine& line) {
    TSimOptions& sim = line.Sim;
    TFaultOptions& faults = sim.Faults;
    using TSetter = std::function<bool(const std::string&)>;
    auto integer = [](auto& target, long lo, long hi) -> TSetter {
        return [&target, lo, hi](const std::string& text) {
            long v;
            if (!ToLong(text, lo, hi, v)) return false;
            target = static_cast<std::remove_reference_t<decltype(target)>>(v);
            return true;
        };
    };
    auto real = [](double& target, double lo, double hi) -> TSetter {
        return
            [&target, lo, hi](const std::string& text) { return ToDouble(text, lo, hi, target); };
    };
    const std::map<std::string, TSetter> withValue = {
        {"--device",
         [&](const std::string& text) {
             line.Device = text;
             return !text.empty();
         }},
        {"--baud", integer(line.Baud, 1, 4000000)},
        {"--voltage", real(sim.Instrument.Voltage, -1e6, 1e6)},
        {"--current", real(sim.Instrument.Current, -1e6, 1e6)},
        {"--phase", real(sim.Instrument.Phase, -360, 360)},
        {"--frequency", integer(sim.Instrument.Frequency, 40, 70)},
        {"--records", integer(sim.Instrument.InitialRecords, 0, MaxStoredRecords)},
        {"--confirm-delay-ms", integer(sim.ConfirmDelayMs, 0, 600000)},
        {"--seed", integer(sim.Instrument.Seed, 0, 4294967295L)},
        {"--push-interval-ms", integer(sim.PushIntervalMs, 0, 600000)},
        {"--pace", integer(sim.PaceBaud, 0, 4000000)},
        {"--chunk-gap-ms", integer(faults.ChunkGapMs, 0, 10000)},
        {"--noise", real(faults.Noise, 0, 1)},
        {"--bad-checksum", real(faults.BadChecksum, 0, 1)},
        {"--reply-delay-ms", integer(faults.ReplyDelayMs, 0, 600000)},
        {"--drop", real(faults.Drop, 0, 1)},
        {"--upload-missing", integer(faults.UploadMissing, 0, 255)},
        {"--unknown-frames", real(faults.UnknownFrames, 0, 1)},
    };
    const std::map<std::string, bool*> switches = {
        {"--chunks", &faults.Chunks},
        {"--noise-risky", &faults.NoiseRisky},
        {"--verbose", &sim.Verbose},
        {"--help", &line.Help},
    };
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool inlineValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        if (auto s = switches.find(name); s != switches.end() && !inlineValue) {
            *s->second = true;
            continue;
        }
        const auto o = withValue.find(name);
        if (o == withValue.end()) return "unknown option " + name;
        if (!inlineValue) {
            if (i + 1 >= argc) return name + " needs a value";
            value = argv[++i];
        }
        if (!o->second(value)) return "bad value for " + name + ": \"" + value + "\"";
    }
    return {};
}
