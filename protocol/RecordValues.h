#pragma once
// The values of one record stored in the instrument, as its record replies
// carry them: 0xC5 when one record is read, 0xC6 for each record of an upload.
//
//   24 A1 C5 14 37 [00 00 20 40] [00 00 A0 3F] [00 00 F0 41] 01 11 02 10 0C 1E 1E 8D 2A
//   f = 55 Hz, U = 2.5 V, I = 1.25 A, Φ = 30°, Rm on, 2017-02-16 12:30:30
//
// Bytes are taken as they are: no range test of the frequency or the date,
// and values that are not finite numbers pass (the texts and rows made of
// them decide what to show).

#include <cstdint>
#include <string>

// U, I and Φ as a reading carries them: the singles at offsets 5, 9 and 13,
// the same in a live reading (0xAA, 0xDD) and a record reply. Absolute values,
// widened; NaN and infinities pass.
struct TReadingValues {
    double U = 0, I = 0, Phi = 0;
};
// Reads offsets 5..16 (at least 17 bytes).
TReadingValues DecodeReadingValues(const std::uint8_t* frame);

struct TRecordValues {
    int Frequency = 0;             // byte 4, whole hertz
    double U = 0, I = 0, Phi = 0;  // absolute values of the singles at 5, 9 and 13
    bool RmOn = false;             // byte 17 = 1
    int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;  // bytes 18..23; 17 is 2017
};

// Reads offsets 4..23 of a record reply (at least 24 bytes).
TRecordValues DecodeRecordValues(const std::uint8_t* frame);

// "2017-02-16 12:30:30": the digits 20 and the year byte as it is, so 117
// gives "20117", as the upload block's date line has it.
std::string RecordTestTime(const TRecordValues& r);
