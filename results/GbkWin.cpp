// ToGbk and FromGbk over code page 936. ToGbk keeps iconv's rule of the
// Linux body: one '?' per character the code page lacks, never a look-alike
// (no best fit: ä is '?', not 'a'), and one '?' for a character outside the
// Basic Multilingual Plane, which code page 936 never holds, rather than one
// per UTF-16 half. Code page 936 also gives the private use area to
// user-defined codes (U+E000 is AA A1) that GBK proper lacks: those are '?'
// too, so both bodies give the same bytes for every character; FromGbk refuses
// those codes as iconv does.
#ifdef _WIN32

#include <windows.h>

#include "results/Gbk.h"

namespace {

// Code point of the well-formed sequence of length n at p.
char32_t Decode(const unsigned char* p, std::size_t n) {
    if (n == 1) return p[0];
    char32_t c = p[0] & (0xFF >> (n + 1));
    for (std::size_t k = 1; k < n; ++k) c = (c << 6) | (p[k] & 0x3F);
    return c;
}

// Appends the code page 936 bytes of a run of BMP characters.
void AppendRun(std::wstring& run, std::string& out) {
    if (run.empty()) return;
    const int units = static_cast<int>(run.size());
    const int n =
        WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, run.data(), units, nullptr, 0, "?", nullptr);
    if (n > 0) {
        const std::size_t used = out.size();
        out.resize(used + static_cast<std::size_t>(n));
        WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, run.data(), units, out.data() + used, n, "?",
                            nullptr);
    } else {
        out.append(run.size(), '?');  // no code page 936 on this system
    }
    run.clear();
}

}  // namespace

std::string ToGbk(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::wstring run;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    std::size_t left = utf8.size();
    while (left > 0) {
        const std::size_t n = Utf8SequenceLength(p, left);
        const char32_t c = n ? Decode(p, n) : 0x110000;
        if (c <= 0xFFFF && !(c >= 0xE000 && c <= 0xF8FF)) {
            run.push_back(static_cast<wchar_t>(c));
        } else {
            AppendRun(run, out);
            out.push_back('?');
        }
        p += n ? n : 1;
        left -= n ? n : 1;
    }
    AppendRun(run, out);
    return out;
}

std::optional<std::string> FromGbk(std::string_view gbk) {
    if (gbk.empty()) return std::string();
    if (gbk.size() > 0x3FFFFFFF) return std::nullopt;  // beyond what an int counts
    const int bytes = static_cast<int>(gbk.size());
    // MB_ERR_INVALID_CHARS: a code without a character fails instead of
    // becoming a default character.
    const int units = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), bytes, nullptr, 0);
    if (units <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), bytes, wide.data(), units);
    for (wchar_t c : wide)
        if (c >= 0xE000 && c <= 0xF8FF) return std::nullopt;  // user-defined, not GBK
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, out.data(), n, nullptr, nullptr);
    return out;
}

#endif
