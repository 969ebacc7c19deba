#pragma once
// Expected bytes are written out in the tests as hex ("20 b4f3"), taken from
// `iconv -f UTF-8 -t GBK | xxd -p`, never from the code under test.

#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::string Hex(const char* hex) {
    std::string bytes;
    int high = -1;
    for (const char* p = hex; *p; ++p) {
        if (!std::isxdigit(static_cast<unsigned char>(*p))) continue;
        const int digit = std::isdigit(static_cast<unsigned char>(*p))
                              ? *p - '0'
                              : std::tolower(static_cast<unsigned char>(*p)) - 'a' + 10;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<char>(high * 16 + digit));
            high = -1;
        }
    }
    return bytes;
}

// The lines of a file as they must stand in it: each followed by CR LF.
inline std::string FileOf(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) bytes += line + "\r\n";
    return bytes;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
