#include "link/Trace.h"

#include <cstdio>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::mutex sinkMutex;
TTraceSink customSink;

void DefaultSink(const std::string& line) {
#ifdef _WIN32
    // The debug channel takes ANSI text in the system code page.
    int wide = MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, nullptr, 0);
    std::wstring w(wide, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, w.data(), wide);
    int narrow = WideCharToMultiByte(936, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string gbk(narrow, '\0');
    WideCharToMultiByte(936, 0, w.c_str(), -1, gbk.data(), narrow, nullptr, nullptr);
    OutputDebugStringA(gbk.c_str());
#else
    // One write per line, so lines of the two threads never interleave.
    std::string out = line + '\n';
    std::fwrite(out.data(), 1, out.size(), stderr);
#endif
}

}  // namespace

void SetTraceSink(TTraceSink sink) {
    std::lock_guard<std::mutex> lock(sinkMutex);
    customSink = std::move(sink);
}

std::string TraceLine(const char* word, const std::uint8_t* bytes, std::uint32_t count) {
    static const char hex[] = "0123456789ABCDEF";
    std::string line(word);
    line.reserve(line.size() + 3 * count);
    for (std::uint32_t i = 0; i < count; ++i) {
        line += ' ';
        line += hex[bytes[i] >> 4];
        line += hex[bytes[i] & 0x0F];
    }
    return line;
}

static void Emit(const std::string& line) {
    TTraceSink sink;
    {
        std::lock_guard<std::mutex> lock(sinkMutex);
        sink = customSink;
    }
    if (sink)
        sink(line);
    else
        DefaultSink(line);
}

void TraceSent(const std::uint8_t* bytes, std::uint32_t count) {
    Emit(TraceLine("发送", bytes, count));
}

void TraceReceived(const std::uint8_t* bytes, std::uint32_t count) {
    Emit(TraceLine("收到", bytes, count));
}
