#pragma once
// Expected bytes are written out in the tests as hex ("20 b4f3"), taken from
// `iconv -f UTF-8 -t GBK | xxd -p`, never from the code under test.

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
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

// Singles as they travel, least significant byte first.
inline constexpr const char* k12_5 = "00 00 48 41";
inline constexpr const char* k1_25 = "00 00 a0 3f";
inline constexpr const char* k30 = "00 00 f0 41";
inline constexpr const char* kMinus30 = "00 00 f0 c1";
inline constexpr const char* k0_5 = "00 00 00 3f";
inline constexpr const char* kZero = "00 00 00 00";
inline constexpr const char* kNaN = "00 00 c0 7f";
inline constexpr const char* kInfinity = "00 00 80 7f";

// A 26-byte 0xC6 record reply: frequency, U, I, Φ (singles, least significant
// byte first), Rm, then year - 2000, month, day, hour, minute, second.
inline std::vector<std::uint8_t> RecordFrame(std::uint8_t hz, const char* u, const char* i,
                                             const char* phi, std::uint8_t rm,
                                             std::vector<std::uint8_t> time) {
    std::vector<std::uint8_t> f{0x24, 0xA1, 0xC6, 0x14, hz};
    for (const char* value : {u, i, phi})
        for (char c : Hex(value)) f.push_back(static_cast<std::uint8_t>(c));
    f.push_back(rm);
    f.insert(f.end(), time.begin(), time.end());
    unsigned sum = 0;
    for (std::size_t k = 1; k < f.size(); ++k) sum += f[k];
    f.push_back(static_cast<std::uint8_t>(sum));
    f.push_back(0x2A);
    return f;
}

// The lines of a file as they must stand in it: each followed by CR LF.
inline std::string FileOf(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) bytes += line + "\r\n";
    return bytes;
}

// Paths are UTF-8 text, as the program holds them; a narrow name on Windows
// would go through the ANSI code page instead.
inline std::filesystem::path Utf8Path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// A new empty folder in the system's temporary folder; its path in UTF-8.
inline std::string MakeTempFolder(const std::string& prefix) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto dir = std::filesystem::temp_directory_path() /
                         (prefix + "-" + std::to_string(random() % 1000000000));
        std::error_code error;
        if (std::filesystem::create_directory(dir, error)) {
            const std::u8string text = dir.u8string();
            return std::string(text.begin(), text.end());
        }
    }
    return {};
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(Utf8Path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
