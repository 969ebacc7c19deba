#pragma once
// A pseudo-terminal pair for serial tests: the test plays the instrument on
// the master side; the port under test opens the slave by name. The slave
// descriptor kept here lets a test read back the terminal's settings and its
// queued count.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

struct TPtyPair {
    TPtyPair();
    ~TPtyPair();
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    void WriteMaster(const Bytes& bytes) const;
    // Bytes written to the slave side, as many as arrive within the timeout.
    Bytes ReadMaster(std::size_t count,
                     std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // Bytes the slave side holds for reading.
    int Queued() const;
    // Waits until the slave holds at least count bytes; false on time-out.
    bool WaitQueued(int count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // The master side stops reading and its queue of what the slave wrote is
    // filled through the pair's own slave descriptor with filler bytes, until a
    // moment later it still takes none. Returns the bytes it took.
    Bytes FillSlaveQueue(std::uint8_t filler = 0x00) const;
    // Everything the slave side wrote, read until nothing more comes for quiet.
    Bytes DrainMaster(std::chrono::milliseconds quiet = std::chrono::milliseconds(300)) const;
    // Waits until the slave side may write again; false on time-out.
    bool WaitWritable(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    void CloseMaster();

    int Master = -1;
    int Slave = -1;
    std::string Name;  // /dev/pts/N
};

// Number of descriptors this process holds open.
int OpenDescriptorCount();
