#pragma once
// The Windows probe (tests/windows/ComProbe.cpp) running under wine, driven one
// command line at a time, and the COM ports of the wine prefix. The probe runs
// with WINEDEBUG=-all,+debugstr, so its standard error carries every trace
// line as OutputDebugStringA delivered it.
//
// Environment: WINEPREFIX (the prefix, set up by scripts/lib/wine-env.sh),
// KR3090_WINDOWS_BUILD (the Windows build folder holding tests/windows/comprobe.exe),
// KR3090_WINE (the loader; default /usr/lib/wine/wine64).

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class TWineProbe {
  public:
    TWineProbe();
    ~TWineProbe();
    TWineProbe(const TWineProbe&) = delete;
    TWineProbe& operator=(const TWineProbe&) = delete;

    // Sends one command and returns its reply line; empty when the probe gave
    // none within the timeout or has gone.
    std::string Command(const std::string& line,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // What the probe wrote on standard error since the last call.
    std::string TakeErrors();

  private:
    void Drain(int timeoutMs);
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    std::string outBuffer_, errBuffer_;
};

// COMn of the prefix opens device (a symlink in dosdevices, as wine keeps it).
void MapComPort(int n, const std::string& device);

// "24a1" -> {0x24, 0xA1} and back.
std::string HexOf(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> BytesOf(const std::string& hex);
