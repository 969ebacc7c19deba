// TCommPort over the Win32 serial-port calls. The handle is the HANDLE from
// CreateFileA; nullptr stands for "no port", INVALID_HANDLE_VALUE is never
// returned.
//
// Writes are bounded by the port's write time-outs, the only time-outs Open
// changes: the read fields stay as the driver reported them, and Read takes
// only what ClearCommError reports queued, so it never waits. A write the
// device took nothing of in its whole wait marks the port hung, in the port's
// own time-outs: from then on a write waits only briefly, until the device
// takes bytes again. The handle alone is all any operation needs.
#ifdef _WIN32

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "link/CommPort.h"

namespace {

// How long a write waits while the device is hung: long enough for a device
// that reads again to take a frame (a USB transfer takes a few milliseconds),
// short enough that polling it costs the window thread little.
constexpr DWORD HungWriteWaitMs = 50;

unsigned CharacterBits(const DCB& dcb) {
    return 1 + dcb.ByteSize + (dcb.Parity != NOPARITY ? 1 : 0) +
           (dcb.StopBits == ONESTOPBIT ? 1 : 2);  // 1.5 counted as 2
}

// The normal write wait: the floor plus three times the block's time on the
// line, charged per byte (a driver's total time-out cannot take the larger of
// the two).
void SetNormalWriteWait(HANDLE h, const DCB& dcb, COMMTIMEOUTS& timeouts) {
    timeouts.WriteTotalTimeoutConstant = CommWriteWaitFloorMs;
    timeouts.WriteTotalTimeoutMultiplier =
        dcb.BaudRate
            ? (CommWriteWaitFactor * CharacterBits(dcb) * 1000 + dcb.BaudRate - 1) / dcb.BaudRate
            : 0;
    SetCommTimeouts(h, &timeouts);
}

// The port's current device control block; false when the driver gives none.
bool ReadCommState(HANDLE h, DCB& dcb) {
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    return GetCommState(h, &dcb) != 0;
}

bool MarkedHung(const COMMTIMEOUTS& timeouts) {
    return timeouts.WriteTotalTimeoutConstant == HungWriteWaitMs &&
           timeouts.WriteTotalTimeoutMultiplier == 0;
}

// Why CreateFileA failed. Windows keeps users from no COM port, and reports
// a port that another program holds as access denied.
TPortOpenError OpenErrorOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            return TPortOpenError::NoSuchDevice;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return TPortOpenError::Busy;
        default:
            return TPortOpenError::Other;
    }
}

}  // namespace

TPortHandle TCommPort::Open(const std::string& portName, std::uint32_t baudRate,
                            std::uint8_t byteSize, std::uint8_t parity, std::uint8_t stopBits,
                            TPortOpenError* error) {
    auto fail = [error](HANDLE h, TPortOpenError why) -> TPortHandle {
        if (h) CloseHandle(h);
        if (error) *error = why;
        return nullptr;
    };
    // Share mode 0: exclusive. Synchronous, non-overlapped I/O.
    HANDLE h = CreateFileA(portName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return fail(nullptr, OpenErrorOf(GetLastError()));
    // The driver's current state is the starting point: only these fields change.
    DCB dcb;
    if (!ReadCommState(h, dcb)) return fail(h, TPortOpenError::NotSerialDevice);
    dcb.BaudRate = baudRate;
    dcb.ByteSize = byteSize;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    if (!SetCommState(h, &dcb)) return fail(h, TPortOpenError::SettingsRefused);
    // A driver that keeps its own time-outs still opens; its writes are then
    // bounded only by what it does itself.
    COMMTIMEOUTS timeouts;
    if (GetCommTimeouts(h, &timeouts)) SetNormalWriteWait(h, dcb, timeouts);
    if (error) *error = TPortOpenError::None;
    return h;
}

void TCommPort::Close(TPortHandle handle) {
    if (!handle) return;
    // The disconnect frame may still be on its way: give it the time a write
    // would get, at most a second, then discard what the device has not taken,
    // so that closing has nothing left to wait for.
    DWORD errors = 0;
    COMSTAT stat;
    std::memset(&stat, 0, sizeof stat);
    DCB dcb;
    if (ClearCommError(handle, &errors, &stat) && stat.cbOutQue > 0) {
        const std::uint32_t baud = ReadCommState(handle, dcb) ? dcb.BaudRate : 0;
        const ULONGLONG deadline =
            GetTickCount64() +
            std::min<std::uint32_t>(1000, CommWriteWaitMs(baud, CharacterBits(dcb), stat.cbOutQue));
        while (stat.cbOutQue > 0 && GetTickCount64() < deadline) {
            Sleep(10);
            if (!ClearCommError(handle, &errors, &stat)) break;
        }
        if (stat.cbOutQue > 0) PurgeComm(handle, PURGE_TXABORT | PURGE_TXCLEAR);
    }
    CloseHandle(handle);
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
    // Bounded by the write time-outs; what is not taken in time is dropped.
    WriteFile(handle, bytes, count, &written, nullptr);  // outcome not examined
    COMMTIMEOUTS timeouts;
    if (count == 0 || !GetCommTimeouts(handle, &timeouts)) return true;
    if (written == 0 && !MarkedHung(timeouts)) {
        // Nothing taken in the whole wait: the device has stopped reading, and
        // each poll waiting that long again would hold up the window thread.
        timeouts.WriteTotalTimeoutConstant = HungWriteWaitMs;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        SetCommTimeouts(handle, &timeouts);
    } else if (written > 0 && MarkedHung(timeouts)) {
        DCB dcb;
        if (ReadCommState(handle, dcb)) SetNormalWriteWait(handle, dcb, timeouts);
    }
    return true;
}

std::string DevicePathForPortName(const std::string& portName) {
    return portName;  // CreateFileA takes the name as it stands
}

std::string DeviceGroupName(const std::string&) {
    return {};
}

#endif  // _WIN32
