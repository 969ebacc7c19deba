#pragma once
// The line the simulator serves: a new pseudo-terminal pair, or a device that
// already exists (a serial port with a null-modem cable, a pty made by socat).

#include <string>

struct TPtyPair {
    int Master = -1;
    int Slave = -1;
    std::string SlavePath;  // what the PC opens, e.g. /dev/pts/5
};

// Opens a pair with both ends in raw mode, so nothing the instrument sends is
// echoed or reshaped before the PC opens its end. Returns false and sets error.
bool OpenPtyPair(TPtyPair& pair, std::string& error);
void ClosePtyPair(TPtyPair& pair);

// Opens a device read/write; a terminal is put in raw mode, 8N1 at baud.
// Returns -1 and sets error on failure.
int OpenLineDevice(const std::string& path, int baud, std::string& error);
