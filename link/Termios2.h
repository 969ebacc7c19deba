#pragma once
// Baud rates outside the standard list go through termios2/BOTHER, whose
// header cannot live in the same source file as <termios.h>.

#include <cstdint>

// Sets input and output speed of an open terminal to baud; true when the
// driver reports a rate within 2 % of it.
bool SetCustomBaud(int fd, std::uint32_t baud);
// The output and input speeds the driver reports, in bits per second.
bool ReadBaud(int fd, std::uint32_t& outSpeed, std::uint32_t& inSpeed);
