// TCommPort over termios. The handle is the file descriptor + 1, so that 0
// stays "no port".
//
// Linux facts this relies on:
// - TIOCEXCL makes later opens fail with EBUSY, but not for root; flock on the
//   device adds the lock root respects too. The exclusive flag outlives the
//   descriptor on a pseudo-terminal, so Close clears it.
// - The line discipline holds at most 4095 received bytes; what arrives beyond
//   that waits in the driver until the discipline has room again. FIONREAD
//   counts only the discipline, so when it is full, Read takes what it holds
//   and waits briefly for the rest before it decides about the overflow.
// - A pseudo-terminal forces CS8 and drops PARENB although tcsetattr
//   succeeds, and keeps PARODD, CMSPAR and CSTOPB: there is no line to frame.
// - The descriptor stays non-blocking: a blocking write to a device that has
//   stopped reading waits for ever once the driver's queue is full (about
//   16 KB of frames on a pseudo-terminal). poll() reports room only once the
//   queue has drained below the driver's wake-up mark (256 bytes on a UART), so
//   Write also retries on its own every few milliseconds while it waits.
// - close() of a terminal with unsent output waits up to the port's
//   closing_wait (30 s by default on a UART) for the device to take it.
//   TIOCOUTQ counts that output (a pseudo-terminal always reports 0). A UART
//   whose far end has stopped reading holds 4095 bytes there for ever.
// - ftdi_sio accepts CS5 and reads it back, but its chips frame only 7 and 8
//   data bits ("All FTDI UART chips are limited to CS7/8" in the driver; CS5
//   is kept for smartcard readers and sent as 8 bits), and it puts the old
//   size back for CS6. The tty's driver is found through sysfs.

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <thread>

#include "link/CommPort.h"
#include "link/Termios2.h"

namespace {

int Fd(TPortHandle handle) {
    return static_cast<int>(handle - 1);
}

struct TStandardSpeed {
    std::uint32_t Baud;
    speed_t Code;
};

constexpr TStandardSpeed StandardSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

constexpr std::uint32_t MinBaud = 50;
constexpr std::uint32_t MaxBaud = 4000000;

// How long Read waits for the driver to refill a full line discipline.
constexpr int RefillWaitMs = 200;
// Longest sleep of a waiting Write or Close between two looks at the queue.
constexpr int RetryMs = 10;
// Close stops waiting once the output queue has not shrunk for the time of
// this many characters: a UART's FIFO or a USB adapter's packet is taken whole,
// so the count moves in steps that large on a device that keeps up.
constexpr std::uint32_t CloseStallCharacters = 64;

using TClock = std::chrono::steady_clock;

bool StandardSpeed(std::uint32_t baud, speed_t& code) {
    for (const TStandardSpeed& s : StandardSpeeds) {
        if (s.Baud == baud) {
            code = s.Code;
            return true;
        }
    }
    return false;
}

bool IsPseudoTerminal(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;  // Unix98 pty slaves
}

// The name of the driver behind a terminal ("ftdi_sio", "serial"); empty
// when sysfs does not tell (a pseudo-terminal has none).
std::string DriverName(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return {};
    const std::string link = "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                             std::to_string(minor(st.st_rdev)) + "/device/driver";
    char target[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    const std::string path(target, static_cast<std::size_t>(n));
    return path.substr(path.rfind('/') + 1);
}

// Whether the device frames characters of byteSize bits, as far as its
// driver's documented limits tell: tcsetattr and the read-back do not.
bool DriverFramesDataBits(int fd, std::uint8_t byteSize) {
    return byteSize >= 7 || DriverName(fd) != "ftdi_sio";
}

// Fills the control flags for the settings; false for a code the port cannot
// carry out.
bool ApplySettings(termios& t, std::uint8_t byteSize, std::uint8_t parity, std::uint8_t stopBits) {
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    switch (byteSize) {
        case 5:
            t.c_cflag |= CS5;
            break;
        case 6:
            t.c_cflag |= CS6;
            break;
        case 7:
            t.c_cflag |= CS7;
            break;
        case 8:
            t.c_cflag |= CS8;
            break;
        default:
            return false;
    }
    t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
    switch (parity) {
        case ParityNone:
            break;
        case ParityOdd:
            t.c_cflag |= PARENB | PARODD;
            break;
        case ParityEven:
            t.c_cflag |= PARENB;
            break;
        case ParityMark:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case ParitySpace:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            return false;
    }
    switch (stopBits) {
        case StopBitsOne:
            t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
            break;
        case StopBitsOneAndHalf:
            // termios has no 1.5 stop bits. A UART sends 1.5 when asked for two
            // with 5-bit characters, the only size at which Win32 accepts 1.5
            // either; with other sizes the port cannot do it.
            if (byteSize != 5) return false;
            t.c_cflag |= CSTOPB;
            break;
        case StopBitsTwo:
            t.c_cflag |= CSTOPB;
            break;
        default:
            return false;
    }
    // Flow control off.
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    return true;
}

// The driver may accept tcsetattr and still ignore part of it.
bool SettingsTookEffect(int fd, const termios& wanted, bool standardSpeed) {
    termios got;
    if (tcgetattr(fd, &got) != 0) return false;
    tcflag_t mask = CSTOPB | CRTSCTS;
    if (wanted.c_cflag & PARENB) mask |= PARODD | CMSPAR;
    if (!IsPseudoTerminal(fd)) mask |= CSIZE | PARENB;
    if ((got.c_cflag & mask) != (wanted.c_cflag & mask)) return false;
    if ((got.c_iflag & (IXON | IXOFF)) != 0) return false;
    if (standardSpeed &&
        (cfgetospeed(&got) != cfgetospeed(&wanted) || cfgetispeed(&got) != cfgetispeed(&wanted)))
        return false;
    return true;
}

int Configure(int fd, std::uint32_t baudRate, std::uint8_t byteSize, std::uint8_t parity,
              std::uint8_t stopBits) {
    if (baudRate < MinBaud || baudRate > MaxBaud) return EINVAL;
    termios t;
    if (tcgetattr(fd, &t) != 0) return errno;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (!ApplySettings(t, byteSize, parity, stopBits)) return EINVAL;
    if (!DriverFramesDataBits(fd, byteSize)) return EINVAL;
    speed_t code = B0;
    const bool standard = StandardSpeed(baudRate, code);
    if (standard && cfsetspeed(&t, code) != 0) return EINVAL;
    // After a custom rate the input speed field still says "other" with that
    // rate; cleared, the input follows the output speed.
    if (standard) t.c_cflag &= ~static_cast<tcflag_t>(CIBAUD);
    // glibc reads the settings back and fails with EINVAL when none of the
    // asked changes took, although the driver took the call: a pseudo-terminal
    // reopened with parity drops PARENB again and changes nothing else. The
    // read-back below judges what the port carries out.
    if (tcsetattr(fd, TCSANOW, &t) != 0 && errno != EINVAL) return errno;
    if (!SettingsTookEffect(fd, t, standard)) return EINVAL;
    if (!standard && !SetCustomBaud(fd, baudRate)) return EINVAL;
    return 0;
}

// The wait for count bytes at the rate and character size the port is set
// to: the handle is all that Write and Close get.
std::chrono::milliseconds WriteWait(int fd, std::uint32_t count) {
    termios t;
    std::uint32_t baud = 0, inSpeed = 0;
    if (tcgetattr(fd, &t) != 0 || !ReadBaud(fd, baud, inSpeed))
        return std::chrono::milliseconds(CommWriteWaitFloorMs);
    unsigned bits = 1;  // start bit
    switch (t.c_cflag & CSIZE) {
        case CS5:
            bits += 5;
            break;
        case CS6:
            bits += 6;
            break;
        case CS7:
            bits += 7;
            break;
        default:
            bits += 8;
    }
    if (t.c_cflag & PARENB) bits += 1;
    bits += (t.c_cflag & CSTOPB) ? 2 : 1;  // 1.5 counted as 2
    return std::chrono::milliseconds(CommWriteWaitMs(baud, bits, count));
}

// Why an open failed, from the errno of the step that failed. Configure
// gives EINVAL for a setting the port cannot carry out.
TPortOpenError OpenErrorOf(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return TPortOpenError::NoSuchDevice;
        case EACCES:
        case EPERM:
            return TPortOpenError::NotPermitted;
        case EBUSY:
            return TPortOpenError::Busy;
        case ENOTTY:
        case EISDIR:
            return TPortOpenError::NotSerialDevice;
        case EINVAL:
            return TPortOpenError::SettingsRefused;
        default:
            return TPortOpenError::Other;
    }
}

}  // namespace

TPortHandle TCommPort::Open(const std::string& portName, std::uint32_t baudRate,
                            std::uint8_t byteSize, std::uint8_t parity, std::uint8_t stopBits,
                            TPortOpenError* error) {
    auto report = [error](int code) {
        if (error) *error = code ? OpenErrorOf(code) : TPortOpenError::None;
    };
    const std::string path = DevicePathForPortName(portName);
    if (path.empty()) {
        report(ENOENT);
        return 0;
    }
    // Non-blocking so that the open does not wait for a carrier.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        report(errno);  // EACCES for a user outside the device's group
        return 0;
    }
    auto fail = [fd, &report](int code) -> TPortHandle {
        ::close(fd);
        report(code);
        return 0;
    };
    if (!isatty(fd)) return fail(ENOTTY);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(EBUSY);
    if (ioctl(fd, TIOCEXCL) != 0) return fail(errno);
    if (const int code = Configure(fd, baudRate, byteSize, parity, stopBits); code != 0) {
        ioctl(fd, TIOCNXCL);
        return fail(code);
    }
    report(0);
    // The descriptor stays non-blocking: Write bounds its own wait, and reads
    // never wait anyway (VMIN = VTIME = 0, only what is queued).
    return static_cast<TPortHandle>(fd) + 1;
}

void TCommPort::Close(TPortHandle handle) {
    if (handle == 0) return;
    const int fd = Fd(handle);
    // The disconnect frame may still be on its way: give it the time a write
    // would get, at most a second, then discard what the device has not taken,
    // so that close() has nothing left to wait for. A queue that stops moving
    // belongs to a device that has stopped reading: waiting longer is no use.
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        auto now = TClock::now();
        const auto deadline =
            now + std::min<std::chrono::milliseconds>(
                      std::chrono::seconds(1), WriteWait(fd, static_cast<std::uint32_t>(queued)));
        const auto stalled = WriteWait(fd, CloseStallCharacters);
        auto moved = now;
        int last = queued;
        while (queued > 0 && now < deadline && now - moved < stalled) {
            std::this_thread::sleep_for(std::chrono::milliseconds(RetryMs));
            if (ioctl(fd, TIOCOUTQ, &queued) != 0) break;
            now = TClock::now();
            if (queued < last) {
                last = queued;
                moved = now;
            }
        }
        if (queued > 0) tcflush(fd, TCOFLUSH);
    }
    ioctl(fd, TIOCNXCL);
    ::close(fd);
}

bool TCommPort::Read(TPortHandle handle, std::uint8_t* dest, std::uint32_t& count) {
    if (handle == 0) return false;
    const int fd = Fd(handle);
    int queued = 0;
    // Fails with EIO after a hang-up: nothing to read, and the poll sleep
    // keeps that from becoming a busy loop.
    if (ioctl(fd, FIONREAD, &queued) != 0 || queued <= 0) return false;
    if (queued > CommReadBufferSize) {
        tcflush(fd, TCIFLUSH);
        return false;
    }
    // One byte more than the buffer takes tells an overflow from a full read.
    std::uint8_t buffer[CommReadBufferSize + 1];
    std::uint32_t got = 0;
    while (got < static_cast<std::uint32_t>(queued)) {
        const ssize_t n = ::read(fd, buffer + got, static_cast<std::uint32_t>(queued) - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::uint32_t>(n);
    }
    if (got == 0) return false;
    // A full line discipline may have more waiting behind it in the driver.
    if (queued >= CommReadBufferSize - 1) {
        while (got <= static_cast<std::uint32_t>(CommReadBufferSize)) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, RefillWaitMs) <= 0 || !(p.revents & POLLIN)) break;
            const ssize_t n = ::read(fd, buffer + got, CommReadBufferSize + 1 - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::uint32_t>(n);
        }
        if (got > static_cast<std::uint32_t>(CommReadBufferSize)) {
            tcflush(fd, TCIFLUSH);
            return false;
        }
    }
    std::memcpy(dest, buffer, got);
    count = got;
    return true;
}

bool TCommPort::Write(TPortHandle handle, const std::uint8_t* bytes, std::uint32_t count) {
    if (handle == 0) return false;
    const int fd = Fd(handle);
    std::uint32_t done = 0;
    TClock::time_point deadline{};
    while (done < count) {
        const ssize_t n = ::write(fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // Anything else (EIO after a hang-up) is not examined.
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) break;
        // No room at all: a whole queue is waiting, many polls' worth, so the
        // device has long stopped keeping up. Waiting would hold up the window
        // thread at every poll for nothing; the block is dropped whole.
        if (done == 0) break;
        const auto now = TClock::now();
        if (deadline == TClock::time_point{}) deadline = now + WriteWait(fd, count);
        if (now >= deadline) break;  // gave up: the rest of the block is dropped
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(std::min<long long>(left, RetryMs)));
    }
    return true;
}

std::string DevicePathForPortName(const std::string& portName) {
    static const std::string prefix = "//.//";
    const std::string rest =
        portName.compare(0, prefix.size(), prefix) == 0 ? portName.substr(prefix.size()) : portName;
    if (rest.empty() || rest.front() == '/') return rest;
    return "/dev/" + rest;
}

std::string DeviceGroupName(const std::string& devicePath) {
    struct stat st;
    if (devicePath.empty() || ::stat(devicePath.c_str(), &st) != 0) return {};
    group g;
    group* found = nullptr;
    char buffer[4096];
    if (getgrgid_r(st.st_gid, &g, buffer, sizeof buffer, &found) != 0 || !found) return {};
    return found->gr_name;
}
