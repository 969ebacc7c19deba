// What both GBK bodies share: the UTF-8 rule that decides where a '?' goes,
// and the length. ToGbk itself is in GbkUnix.cpp (iconv) and GbkWin.cpp
// (code page 936).
#include "results/Gbk.h"

std::size_t Utf8SequenceLength(const unsigned char* p, std::size_t n) {
    const unsigned char lead = p[0];
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (n < length || p[1] < low || p[1] > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (p[k] < 0x80 || p[k] > 0xBF) return 0;
    return length;
}

std::size_t GbkLength(std::string_view utf8) {
    return ToGbk(utf8).size();
}
