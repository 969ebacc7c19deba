#pragma once
// The speeds a terminal reports through termios2 (kept apart: its header
// clashes with <termios.h>).
#include <cstdint>

bool ReadBackSpeeds(int fd, std::uint32_t& outSpeed, std::uint32_t& inSpeed);
