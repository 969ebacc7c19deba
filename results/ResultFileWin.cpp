// The result-file append over Win32 files. The name is UTF-8, opened as
// UTF-16 (CreateFileW), so folders named in Chinese work on any system.
#ifdef _WIN32

#include <windows.h>

#include <algorithm>

#include "settings/FilePath.h"
#include "results/ResultFile.h"

namespace {

// Writes bytes at the end of the file; returns how many of them reached it.
std::size_t WriteAll(HANDLE h, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        DWORD n = 0;
        if (!WriteFile(h, bytes.data() + done, chunk, &n, nullptr) || n == 0) break;
        done += n;
    }
    return done;
}

// A full disk can take part of a line: take that part back, so that the next
// line does not run on from a broken one. Left alone if someone else has
// appended behind it meanwhile. The append-only handle cannot cut the file:
// a second handle to the same file does.
void TakeBack(HANDLE h, LONGLONG before, std::size_t written) {
    LARGE_INTEGER now{};
    if (!GetFileSizeEx(h, &now) || now.QuadPart != before + static_cast<LONGLONG>(written)) return;
    HANDLE cut =
        ReOpenFile(h, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (cut == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER end{};
    end.QuadPart = before;
    if (SetFilePointerEx(cut, end, nullptr, FILE_BEGIN)) SetEndOfFile(cut);
    CloseHandle(cut);
}

}  // namespace

bool AppendToFile(const std::string& text, const std::string& path, const std::string& firstBytes) {
    const std::filesystem::path name = PathFromUtf8(path);
    // FILE_APPEND_DATA alone: every write lands at the end of the file, as
    // O_APPEND does. Others may read, write and delete meanwhile.
    HANDLE h = CreateFileW(name.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    // Only a file on disk keeps what is written to it (not NUL, a pipe or a port).
    LARGE_INTEGER before{};
    bool ok = GetFileType(h) == FILE_TYPE_DISK && GetFileSizeEx(h, &before);
    if (ok) {
        const std::string bytes = before.QuadPart == 0 ? firstBytes + text : text;
        const std::size_t written = WriteAll(h, bytes);
        if (written != bytes.size()) {
            if (written > 0) TakeBack(h, before.QuadPart, written);
            ok = false;
        }
    }
    if (!CloseHandle(h)) ok = false;
    return ok;
}

#endif
