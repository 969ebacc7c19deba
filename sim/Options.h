#pragma once
// The command line of kr3090-sim.

#include <string>

#include "sim/Simulator.h"

struct TCommandLine {
    TSimOptions Sim;
    std::string Device;  // empty: a new pseudo-terminal pair
    int Baud = 9600;
    bool Help = false;
};

// Fills line from the arguments ("--name value" or "--name=value"). Returns
// an empty text when they are all understood, otherwise what is wrong.
std::string ParseCommandLine(int argc, const char* const* argv, TCommandLine& line);

extern const char* const UsageText;
