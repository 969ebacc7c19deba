#include "protocol/RecordValues.h"

#include <cmath>
#include <cstdio>

#include "protocol/Numbers.h"

TReadingValues DecodeReadingValues(const std::uint8_t* f) {
    return {std::fabs(BytesToSingle(f + 5)), std::fabs(BytesToSingle(f + 9)),
            std::fabs(BytesToSingle(f + 13))};
}

TRecordValues DecodeRecordValues(const std::uint8_t* f) {
    TRecordValues r;
    r.Frequency = f[4];
    const TReadingValues v = DecodeReadingValues(f);
    r.U = v.U;
    r.I = v.I;
    r.Phi = v.Phi;
    r.RmOn = f[17] == 1;
    r.Year = f[18];
    r.Month = f[19];
    r.Day = f[20];
    r.Hour = f[21];
    r.Minute = f[22];
    r.Second = f[23];
    return r;
}

std::string RecordTestTime(const TRecordValues& r) {
    char text[64];
    std::snprintf(text, sizeof text, "20%.2d-%.2d-%.2d %.2d:%.2d:%.2d", r.Year, r.Month, r.Day,
                  r.Hour, r.Minute, r.Second);
    return text;
}
