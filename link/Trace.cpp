#include "link/Trace.h"

#include <cstdio>
#include <memory>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::mutex sinkMutex;
// Shared, so that emitting a line takes the sink without copying it.
std::shared_ptr<const TTraceSink> customSink;

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
    // The stream is locked for the whole line, so lines of the two threads
    // never interleave.
    flockfile(stderr);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    funlockfile(stderr);
#endif
}

}  // namespace

void SetTraceSink(TTraceSink sink) {
    auto shared = sink ? std::make_shared<const TTraceSink>(std::move(sink)) : nullptr;
    std::lock_guard<std::mutex> lock(sinkMutex);
    customSink.swap(shared);
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
    std::shared_ptr<const TTraceSink> sink;
    {
        std::lock_guard<std::mutex> lock(sinkMutex);
        sink = customSink;
    }
    if (sink)
        (*sink)(line);
    else
        DefaultSink(line);
}

// Each thread builds its lines in a buffer of its own that keeps its
// capacity, so tracing does not allocate once the buffer has grown.
static void EmitLine(const char* word, const std::uint8_t* bytes, std::uint32_t count) {
    static const char hex[] = "0123456789ABCDEF";
    thread_local std::string line;
    line.assign(word);
    line.reserve(line.size() + 3 * static_cast<std::size_t>(count));
    for (std::uint32_t i = 0; i < count; ++i) {
        const char digits[3] = {' ', hex[bytes[i] >> 4], hex[bytes[i] & 0x0F]};
        line.append(digits, 3);
    }
    Emit(line);
}

void TraceSent(const std::uint8_t* bytes, std::uint32_t count) {
    EmitLine("发送", bytes, count);
}

void TraceReceived(const std::uint8_t* bytes, std::uint32_t count) {
    EmitLine("收到", bytes, count);
}
