#pragma once
// Traffic trace: one line per frame sent ("发送 24 A1 ...") and per chunk
// received ("收到 ..."), to the debug channel. Lines are built in UTF-8 here;
// the sink decides the channel (standard error with a newline by default).

#include <cstdint>
#include <functional>
#include <string>

using TTraceSink = std::function<void(const std::string& line)>;

// Replaces the sink (nullptr restores the default). Set it before the receive
// thread starts: the sink is called from both threads and must be thread-safe.
void SetTraceSink(TTraceSink sink);

std::string TraceLine(const char* word, const std::uint8_t* bytes, std::uint32_t count);
void TraceSent(const std::uint8_t* bytes, std::uint32_t count);
void TraceReceived(const std::uint8_t* bytes, std::uint32_t count);
