// TCommPort over the Win32 serial-port calls. The handle is the HANDLE from
// CreateFileA; nullptr stands for "no port", INVALID_HANDLE_VALUE is never
// returned.
#ifdef _WIN32

#include <windows.h>

#include <cstring>

#include "link/CommPort.h"

TPortHandle TCommPort::Open(const std::string& portName, std::uint32_t baudRate,
                            std::uint8_t byteSize, std::uint8_t parity, std::uint8_t stopBits) {
    // Share mode 0: exclusive. Synchronous, non-overlapped I/O.
    HANDLE h = CreateFileA(portName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    // The driver's current state is the starting point: only these fields change.
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) {
        CloseHandle(h);
        return nullptr;
    }
    dcb.BaudRate = baudRate;
    dcb.ByteSize = byteSize;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    if (!SetCommState(h, &dcb)) {
        CloseHandle(h);
        return nullptr;
    }
    return h;
}

void TCommPort::Close(TPortHandle handle) {
    if (handle) CloseHandle(handle);
}

bool TCommPort::Read(TPortHandle handle, std::uint8_t* dest, std::uint32_t& count) {
    if (!handle) return false;
    DWORD errors = 0;
    COMSTAT stat;
    std::memset(&stat, 0, sizeof stat);
    if (!ClearCommError(handle, &errors, &stat)) return false;
    if (stat.cbInQue == 0) return false;
    if (stat.cbInQue > static_cast<DWORD>(CommReadBufferSize)) {
        PurgeComm(handle, PURGE_RXCLEAR);
        return false;
    }
    // The bytes are already queued, so this completes at once.
    std::uint8_t buffer[CommReadBufferSize];
    DWORD got = 0;
    if (!ReadFile(handle, buffer, stat.cbInQue, &got, nullptr) || got == 0) return false;
    std::memcpy(dest, buffer, got);
    count = got;
    return true;
}

bool TCommPort::Write(TPortHandle handle, const std::uint8_t* bytes, std::uint32_t count) {
    if (!handle) return false;
    DWORD written = 0;
    WriteFile(handle, bytes, count, &written, nullptr);  // outcome not examined
    return true;
}

#endif  // _WIN32
