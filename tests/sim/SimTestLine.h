#pragma once
// The simulator served in-process on a real pseudo-terminal pair, with the PC's
// end of the line opened through the program's serial layer (TSerialComm and
// its 100 ms receive thread); replies are cut into frames by the program's own
// assembler. One line at a time per process: the receive callback is global.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/SerialComm.h"
#include "protocol/Frame.h"
#include "sim/Line.h"
#include "sim/Simulator.h"

using TBytes = std::vector<std::uint8_t>;

// "24 A1 AA ..." to bytes.
TBytes HexToBytes(const std::string& hex);
std::string BytesToHex(const TBytes& bytes);

class TSimLine {
  public:
    explicit TSimLine(TSimOptions options);
    ~TSimLine();

    void Send(const TRequestFrame& request);
    void SendRaw(const TBytes& bytes);
    // Waits up to timeoutMs for count frames; returns those that came.
    std::vector<TBytes> Receive(std::size_t count, int timeoutMs = 5000);
    std::vector<std::string> LogLines();
    const std::string& DevicePath() const { return Pty.SlavePath; }

  private:
    TPtyPair Pty;
    std::atomic<bool> Stop{false};
    std::thread Server;
    TSerialComm Comm;
    std::mutex LogMutex;
    std::vector<std::string> Log;
};
