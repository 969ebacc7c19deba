#pragma once
// The program holds file names in UTF-8. Linux takes those bytes as they are;
// Windows file names are UTF-16, and a narrow name would go through the ANSI
// code page, so a folder named in Chinese on a Western system (or anything
// outside GBK on a Chinese one) would not be found.

#include <filesystem>
#include <string>

inline std::filesystem::path PathFromUtf8(const std::string& utf8) {
#ifdef _WIN32
    // Throws std::system_error when the bytes are not UTF-8.
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return std::filesystem::path(utf8);
#endif
}

// The path as UTF-8 text, in the platform's own separators.
inline std::string Utf8FromPath(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.string();
#endif
}
