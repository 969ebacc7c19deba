// Watches the program from outside, on the X display, the same way for the
// Linux build and for kr3090.exe under wine: nothing here links the window.
//
//   winee2e-probe window TITLE [TIMEOUT_MS]
//       waits for a viewable window titled TITLE whose client area shows more
//       than one colour (mapped and painted); prints
//       "<seconds since the epoch> <id> <x> <y> <width> <height>" (client area,
//       root coordinates) and exits 0, or exits 1 at the time-out.
//   winee2e-probe gone TITLE [TIMEOUT_MS]
//       waits until no viewable window is titled TITLE.
//   winee2e-probe latency TITLE COUNT X Y W H
//       plays the instrument on a new pseudo-terminal (prints its slave on the
//       first line): answers the connect request with a live reading and then,
//       COUNT times, writes one unasked live reading with a new voltage and
//       times how long the client area rectangle X,Y,W,H of the window TITLE
//       takes to change. Polls are not answered, so nothing else repaints.
//       Prints one delay a line and "latency ms: median M mean A worst W".
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "protocol/Frame.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct TClient {
    Window Id = 0;
    int X = 0, Y = 0, Width = 0, Height = 0;
};

std::string TitleOf(Display* d, Window w) {
    static const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    static const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &n, &after,
                           &data) == Success &&
        data) {
        title.assign(reinterpret_cast<char*>(data), n);
        XFree(data);
    }
    return title;
}

// Depth-first: openbox puts each client inside a frame window of its own.
bool FindClient(Display* d, Window w, const std::string& title, int depth, TClient& found) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable) return false;
    if (depth > 0 && TitleOf(d, w) == title) {
        Window child;
        found.Id = w;
        XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &found.X, &found.Y, &child);
        found.Width = a.width;
        found.Height = a.height;
        return true;
    }
    if (depth >= 3) return false;
    Window root, parent, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n)) return false;
    bool hit = false;
    for (unsigned int i = n; i-- > 0 && !hit;)
        hit = FindClient(d, children[i], title, depth + 1, found);
    if (children) XFree(children);
    return hit;
}

// A rectangle of the root window read through shared memory, cheap enough to
// poll every half millisecond.
class TGrab {
  public:
    TGrab(Display* d, int x, int y, int w, int h) : d_(d), x_(x), y_(y) {
        const int screen = DefaultScreen(d);
        image_ = XShmCreateImage(d, DefaultVisual(d, screen), DefaultDepth(d, screen), ZPixmap,
                                 nullptr, &shm_, w, h);
        shm_.shmid = shmget(IPC_PRIVATE, image_->bytes_per_line * h, IPC_CREAT | 0600);
        shm_.shmaddr = image_->data = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
        shm_.readOnly = False;
        XShmAttach(d, &shm_);
        XSync(d, False);
        shmctl(shm_.shmid, IPC_RMID, nullptr);
        size_ = static_cast<std::size_t>(image_->bytes_per_line) * h;
    }
    ~TGrab() {
        XShmDetach(d_, &shm_);
        XDestroyImage(image_);
        shmdt(shm_.shmaddr);
    }
    std::vector<char> Take() {
        XShmGetImage(d_, DefaultRootWindow(d_), image_, x_, y_, AllPlanes);
        return {image_->data, image_->data + size_};
    }

  private:
    Display* d_;
    int x_, y_;
    XImage* image_ = nullptr;
    XShmSegmentInfo shm_{};
    std::size_t size_ = 0;
};

bool MoreThanOneColour(const std::vector<char>& pixels) {
    const auto* p = reinterpret_cast<const std::uint32_t*>(pixels.data());
    const std::size_t n = pixels.size() / 4;
    for (std::size_t i = 1; i < n; ++i)
        if ((p[i] & 0xFFFFFF) != (p[0] & 0xFFFFFF)) return true;
    return false;
}

// Windows come and go while the tree is walked: a request on one that has
// just gone fails harmlessly.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

Display* OpenDisplay() {
    XSetErrorHandler(IgnoreXError);
    return XOpenDisplay(nullptr);
}

int WaitWindow(const std::string& title, int timeoutMs) {
    Display* d = OpenDisplay();
    if (!d) {
        std::fprintf(stderr, "winee2e-probe: no display\n");
        return 2;
    }
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        TClient c;
        if (FindClient(d, DefaultRootWindow(d), title, 0, c) && c.Width > 0 && c.Height > 0) {
            const bool painted =
                MoreThanOneColour(TGrab(d, c.X, c.Y, c.Width, std::min(c.Height, 60)).Take());
            if (painted) {
                const auto now = std::chrono::system_clock::now().time_since_epoch();
                std::printf("%.6f 0x%lx %d %d %d %d\n", std::chrono::duration<double>(now).count(),
                            c.Id, c.X, c.Y, c.Width, c.Height);
                XCloseDisplay(d);
                return 0;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    XCloseDisplay(d);
    return 1;
}

int WaitGone(const std::string& title, int timeoutMs) {
    Display* d = OpenDisplay();
    if (!d) return 2;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int rc = 1;
    while (Clock::now() < end) {
        TClient c;
        if (!FindClient(d, DefaultRootWindow(d), title, 0, c)) {
            rc = 0;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    XCloseDisplay(d);
    return rc;
}

std::vector<std::uint8_t> Reply(std::uint8_t type, float volts) {
    std::vector<std::uint8_t> f(RequestFrameLength, 0);
    f[0] = FrameStartByte;
    f[1] = DeviceByte;
    f[2] = type;
    f[3] = RequestPayloadLength;
    f[4] = 50;
    const float current = 1.25f, phase = 30.0f;
    std::memcpy(&f[5], &volts, 4);
    std::memcpy(&f[9], &current, 4);
    std::memcpy(&f[13], &phase, 4);
    f[18] = 1;  // a test is running
    f[24] = FrameChecksum(f.data(), RequestFrameLength);
    f[25] = FrameEndByte;
    return f;
}

// Reads what the program sent; true once a connect request was among it.
bool DrainRequests(int fd, int waitMs) {
    bool connect = false;
    pollfd p{fd, POLLIN, 0};
    std::uint8_t buf[4096];
    while (poll(&p, 1, waitMs) > 0) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        for (ssize_t i = 0; i + 2 < n; ++i)
            if (buf[i] == FrameStartByte && buf[i + 2] == CmdConnect) connect = true;
        waitMs = 0;
    }
    return connect;
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& f) {
    return write(fd, f.data(), f.size()) == static_cast<ssize_t>(f.size());
}

int Latency(const std::string& title, int count, int rx, int ry, int rw, int rh) {
    int master = -1, slave = -1;
    char path[256] = {};
    if (openpty(&master, &slave, path, nullptr, nullptr) != 0) {
        std::perror("winee2e-probe: openpty");
        return 2;
    }
    for (int fd : {master, slave}) {
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    std::printf("%s\n", path);
    std::fflush(stdout);

    const auto connectBy = Clock::now() + std::chrono::seconds(120);
    while (!DrainRequests(master, 100))
        if (Clock::now() > connectBy) {
            std::fprintf(stderr, "winee2e-probe: no connect request\n");
            return 1;
        }
    if (!WriteAll(master, Reply(CmdConnect, 1.0f))) return 1;

    Display* d = OpenDisplay();
    TClient c;
    if (!d || !FindClient(d, DefaultRootWindow(d), title, 0, c)) {
        std::fprintf(stderr, "winee2e-probe: no window titled %s\n", title.c_str());
        return 1;
    }
    std::vector<double> delays;
    {
        TGrab grab(d, c.X + rx, c.Y + ry, rw, rh);
        for (int n = 1; n <= count; ++n) {
            // Let the last repaint settle; start at varying phases of the 100 ms poll.
            DrainRequests(master, 300 + n * 37 % 100);
            const std::vector<char> before = grab.Take();
            const auto t0 = Clock::now();
            if (!WriteAll(master, Reply(CmdControl, 1.0f + 0.01f * n))) return 1;
            double delay = -1;
            while (Ms(Clock::now() - t0) < 5000) {
                if (grab.Take() != before) {
                    delay = Ms(Clock::now() - t0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
            if (delay < 0) {
                std::fprintf(stderr, "winee2e-probe: reading %d never reached the screen\n", n);
                return 1;
            }
            std::printf("%.1f\n", delay);
            delays.push_back(delay);
        }
    }
    XCloseDisplay(d);
    close(slave);
    close(master);
    std::sort(delays.begin(), delays.end());
    const double mean = std::accumulate(delays.begin(), delays.end(), 0.0) / delays.size();
    std::printf("latency ms: median %.1f mean %.1f worst %.1f\n", delays[delays.size() / 2], mean,
                delays.back());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "window" && (argc == 3 || argc == 4))
        return WaitWindow(argv[2], argc == 4 ? std::atoi(argv[3]) : 30000);
    if (what == "gone" && (argc == 3 || argc == 4))
        return WaitGone(argv[2], argc == 4 ? std::atoi(argv[3]) : 30000);
    if (what == "latency" && argc == 8)
        return Latency(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                       std::atoi(argv[6]), std::atoi(argv[7]));
    std::fprintf(stderr,
                 "usage: winee2e-probe window TITLE [TIMEOUT_MS]\n"
                 "       winee2e-probe gone TITLE [TIMEOUT_MS]\n"
                 "       winee2e-probe latency TITLE COUNT X Y W H\n");
    return 2;
}
