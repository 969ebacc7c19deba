// The result-file append over POSIX files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "results/ResultFile.h"

namespace {

// Writes bytes at the end of fd; returns how many of them reached the file.
std::size_t WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

// A full disk can take part of a line: take that part back, so that the next
// line does not run on from a broken one. Left alone if someone else has
// appended behind it meanwhile.
void TakeBack(int fd, std::size_t written) {
    const off_t end = lseek(fd, 0, SEEK_CUR);
    struct stat now {};
    if (end < 0 || fstat(fd, &now) != 0 || now.st_size != end) return;
    if (ftruncate(fd, end - static_cast<off_t>(written)) != 0) return;
}

}  // namespace

bool AppendToFile(const std::string& text, const std::string& path, const std::string& firstBytes) {
    // O_NONBLOCK: a FIFO without a reader fails instead of waiting for one.
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) return false;
    // Only a regular file keeps what is written to it.
    struct stat info {};
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (ok) {
        const std::string bytes = info.st_size == 0 ? firstBytes + text : text;
        const std::size_t written = WriteAll(fd, bytes);
        if (written != bytes.size()) {
            if (written > 0) TakeBack(fd, written);
            ok = false;
        }
    }
    if (close(fd) != 0) ok = false;
    return ok;
}
