#pragma once
// The serial port device: open and configure a port, read what the driver has
// queued, write a block, close. No state of its own: every operation but Open
// takes the handle, which belongs to the caller (TSerialComm).
//
// Threads: Read is called by the receive thread and Write by the window thread
// on the same handle at the same time. Read only takes bytes already queued, so
// it never blocks; Write waits a bounded time for the driver to take its bytes,
// so a device that has stopped reading cannot freeze the window thread.

#include <cstdint>
#include <string>

#ifdef _WIN32
using TPortHandle = void*;  // HANDLE; nullptr means no port
#else
using TPortHandle = std::intptr_t;  // file descriptor + 1; 0 means no port
#endif

// Parity codes, as stored in Config.ini and used by the device control block.
enum : std::uint8_t {
    ParityNone = 0,
    ParityOdd = 1,
    ParityEven = 2,
    ParityMark = 3,
    ParitySpace = 4
};
// Stop-bits codes.
enum : std::uint8_t { StopBitsOne = 0, StopBitsOneAndHalf = 1, StopBitsTwo = 2 };

constexpr int CommReadBufferSize = 4096;

// A write waits for the driver to take its bytes for three times their time on
// the line at the port's rate and character size, and at least 250 ms; what is
// not taken by then is dropped. Closing gives output still on its way as long,
// at most a second, and on termios gives up sooner once the queue has stopped
// moving (a device that no longer reads).
constexpr int CommWriteWaitFactor = 3;
constexpr int CommWriteWaitFloorMs = 250;
// That wait for count characters of bitsPerCharacter bits (start, data, parity
// and stop bits) at baud; the floor alone when the rate is unknown (0).
std::uint32_t CommWriteWaitMs(std::uint32_t baud, unsigned bitsPerCharacter, std::uint32_t count);

// Why an Open failed, the same on both platforms, so that the window can say
// what the user can do about it. Each body maps its own error codes (errno,
// GetLastError) the way Qt's serial module does.
enum class TPortOpenError : std::uint8_t {
    None,             // opened
    NoSuchDevice,     // ENOENT, ENODEV, ENXIO; ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND
    NotPermitted,     // EACCES, EPERM (termios only: see Busy)
    Busy,             // EBUSY, the lock held by another program; Win32: ERROR_ACCESS_DENIED
                      // and ERROR_SHARING_VIOLATION, which is how it reports a port in use
    NotSerialDevice,  // ENOTTY, EISDIR, no terminal settings; Win32: GetCommState fails
    SettingsRefused,  // a setting the device cannot carry out; Win32: SetCommState fails
    Other,
};

class TCommPort {
  public:
    // Opens the named port exclusively and applies the settings with flow
    // control off. Returns 0 on any failure (missing device, busy, not a
    // serial device, a setting the device rejects) and then holds nothing open;
    // error, when given, then tells why (TPortOpenError::None on success).
    TPortHandle Open(const std::string& portName, std::uint32_t baudRate, std::uint8_t byteSize,
                     std::uint8_t parity, std::uint8_t stopBits, TPortOpenError* error = nullptr);
    // Lets output still on its way drain for a bounded time, discards what the
    // device has not taken by then, and releases the handle.
    void Close(TPortHandle handle);
    // Delivers everything queued (1..4096 bytes) into dest and sets count.
    // Returns false, leaving count alone, when nothing is queued, the handle is
    // 0, the queue cannot be queried, or more than 4096 bytes are queued (then
    // all queued input is discarded).
    bool Read(TPortHandle handle, std::uint8_t* dest, std::uint32_t& count);
    // Writes the block, waiting a bounded time for room; true whenever a port
    // is open (how much of the block went out is not examined). Once the device
    // has stopped taking bytes altogether (termios: the queue has no room at
    // all; Win32: a write it took nothing of), a block is dropped whole at once
    // or after a brief wait, so polls against a hung device do not each hold up
    // the window thread for the full wait.
    bool Write(TPortHandle handle, const std::uint8_t* bytes, std::uint32_t count);
};

// The device a port name refers to, which is also the name the port message
// shows: on Windows the name itself ("//.//COM3"); on Linux /dev/ + the part
// after "//.//", or that part itself when it is an absolute path
// ("//.///dev/pts/3" opens /dev/pts/3).
std::string DevicePathForPortName(const std::string& portName);
// The group the device belongs to ("dialout"); empty when it cannot be told,
// and on Windows, which keeps no such group.
std::string DeviceGroupName(const std::string& devicePath);
