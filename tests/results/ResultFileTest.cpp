#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "results/ResultFile.h"
#include "tests/results/TestBytes.h"

namespace fs = std::filesystem;

namespace {

class ResultFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = MakeTempFolder("kr3090-results");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
#ifndef _WIN32
        for (const std::string& point : mounts_) umount2(point.c_str(), MNT_DETACH);
#endif
        std::error_code ignored;
        fs::remove_all(Utf8Path(dir_), ignored);
    }

    std::string Path(const std::string& name) const {
        return dir_ + "/" + name;
    }

#ifndef _WIN32
    // A tmpfs of `options` at a fresh folder; empty when mounting is not allowed here.
    std::string Mount(const std::string& name, const char* options) {
        const std::string point = Path(name);
        fs::create_directory(point);
        if (mount("none", point.c_str(), "tmpfs", 0, options) != 0) return {};
        mounts_.push_back(point);
        return point;
    }
#endif

    std::string dir_;
    std::vector<std::string> mounts_;
};

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(Utf8Path(path), std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.flush());
}

#ifndef _WIN32
// Fills the file system of folder until it refuses another byte.
void FillUp(const std::string& folder) {
    const int fd = open((folder + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ASSERT_GE(fd, 0);
    const std::string page(4096, 'f');
    while (write(fd, page.data(), page.size()) > 0) {
    }
    while (write(fd, "f", 1) > 0) {
    }
    close(fd);
}
#endif

}  // namespace

TEST_F(ResultFile, FirstLineCreatesTheFileInGbkWithCrLf) {
    const std::string path = Path("new.txt");
    EXPECT_TRUE(AppendLine(" 大地网接地参数测试数据", path));
    EXPECT_EQ(ReadBytes(path),
              Hex("20 b4f3 b5d8 cdf8 bdd3 b5d8 b2ce cafd b2e2 cad4 cafd bedd 0d0a"));
}

TEST_F(ResultFile, LinesAreAppendedAfterWhatTheFileHolds) {
    const std::string path = Path("old.txt");
    WriteBytes(path, "earlier content without line end");
    EXPECT_TRUE(AppendLine("", path));
    EXPECT_TRUE(AppendLine("Rm: ON", path));
    EXPECT_EQ(ReadBytes(path), "earlier content without line end\r\nRm: ON\r\n");
}

TEST_F(ResultFile, PathWithChineseCharactersAndSpacesIsWritten) {
    fs::create_directory(Utf8Path(Path("结果 文件")));
    const std::string path = Path("结果 文件/测试 结果 .txt");
    EXPECT_TRUE(AppendLine("Φ：30.00°", path));
    EXPECT_EQ(ReadBytes(path), Hex("a6b5a3ba 33302e3030 a1e3 0d0a"));
}

TEST_F(ResultFile, UnwritablePathsLoseTheLineAndSaySo) {
    WriteBytes(Path("plain.txt"), "x");
    EXPECT_FALSE(AppendLine("U ：0.000mV", ""));
    EXPECT_FALSE(AppendLine("U ：0.000mV", Path("missing/result.txt")));
    EXPECT_FALSE(fs::exists(Path("missing")));
    EXPECT_FALSE(AppendLine("U ：0.000mV", dir_));                          // a folder
    EXPECT_FALSE(AppendLine("U ：0.000mV", Path("plain.txt/result.txt")));  // under a file
    EXPECT_EQ(ReadBytes(Path("plain.txt")), "x");
}

TEST_F(ResultFile, PathWithANulByteWritesNoOtherFile) {
    EXPECT_FALSE(AppendLine("line", std::string(Path("cut")) + std::string("\0.txt", 5)));
    EXPECT_FALSE(fs::exists(Path("cut")));
}

#ifndef _WIN32
TEST_F(ResultFile, SpecialFilesAreRefusedWithoutWaiting) {
    // A FIFO nobody reads would block a plain open for writing for ever.
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0644), 0);
    EXPECT_FALSE(AppendLine("line", Path("fifo")));
    EXPECT_FALSE(AppendLine("line", "/dev/null"));
}

TEST_F(ResultFile, ReadOnlyFolderRefusesTheLine) {
    // Root writes through permission bits, so there the folder is a read-only mount.
    std::string folder;
    if (geteuid() != 0) {
        folder = Path("readonly");
        fs::create_directory(folder);
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    } else {
        folder = Mount("readonly", "ro,size=16k");
        if (folder.empty()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    }
    EXPECT_FALSE(AppendLine("line", folder + "/result.txt"));
    EXPECT_FALSE(fs::exists(folder + "/result.txt"));
    if (geteuid() != 0) fs::permissions(folder, fs::perms::owner_all);
}

TEST_F(ResultFile, ImmutableFileIsLeftAlone) {
    // Root ignores permission bits but not the immutable attribute.
    const std::string path = Path("locked.txt");
    WriteBytes(path, "kept\r\n");
    if (std::system(("chattr +i '" + path + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "this file system has no immutable attribute";
    const bool written = AppendLine("line", path);
    std::system(("chattr -i '" + path + "'").c_str());
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadBytes(path), "kept\r\n");
}

TEST_F(ResultFile, FullDiskLeavesNoPieceOfTheLineBehind) {
    const std::string disk = Mount("full", "size=16k");
    if (disk.empty()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    // 4093 bytes: the file's page has room for 3 more, the line needs 12.
    const std::string path = disk + "/result.txt";
    const std::string old(4093, 'o');
    WriteBytes(path, old);
    FillUp(disk);
    EXPECT_FALSE(AppendLine("U ：0.000mV", path));
    EXPECT_EQ(ReadBytes(path).size(), old.size());
    // The next line is attempted afresh and lands once there is room again.
    fs::remove(disk + "/filler");
    EXPECT_TRUE(AppendLine("U ：0.000mV", path));
    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(bytes.substr(0, old.size()), old);
    EXPECT_EQ(bytes.substr(old.size()), Hex("5520a3ba302e3030306d56 0d0a"));
}

TEST_F(ResultFile, FileHeldOpenAndLockedByAnotherProcessIsStillAppendedTo) {
    const std::string path = Path("held.txt");
    WriteBytes(path, "first\r\n");
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        close(release[1]);
        const int fd = open(path.c_str(), O_WRONLY | O_APPEND);
        const bool held = fd >= 0 && flock(fd, LOCK_EX) == 0;
        char c = held ? 'y' : 'n';
        if (write(ready[1], &c, 1) != 1) _exit(1);
        while (read(release[0], &c, 1) > 0) {
        }
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char held = 0;
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    ASSERT_EQ(held, 'y');
    EXPECT_TRUE(AppendLine("second", path));
    close(release[1]);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    EXPECT_EQ(ReadBytes(path), "first\r\nsecond\r\n");
}

#else  // the same refusals as Windows has them

TEST_F(ResultFile, DevicesAndPipesAreRefusedWithoutWaiting) {
    // A pipe nobody reads, the null device and a serial port's device name.
    const std::string pipe = "\\\\.\\pipe\\kr3090-results-test";
    HANDLE server = CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT,
                                     1, 0, 0, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(AppendLine("line", pipe));
    CloseHandle(server);
    EXPECT_FALSE(AppendLine("line", "NUL"));
    EXPECT_FALSE(AppendLine("line", "COM9"));
}

TEST_F(ResultFile, ReadOnlyFileIsLeftAlone) {
    const std::string path = Path("readonly.txt");
    WriteBytes(path, "kept\r\n");
    ASSERT_TRUE(SetFileAttributesW(Utf8Path(path).c_str(), FILE_ATTRIBUTE_READONLY));
    // Wine keeps the attribute in the permission bits, which root writes through.
    HANDLE h = CreateFileW(Utf8Path(path).c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        SetFileAttributesW(Utf8Path(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        GTEST_SKIP() << "this system lets a read-only file be written (wine run by root)";
    }
    const bool written = AppendLine("line", path);
    SetFileAttributesW(Utf8Path(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadBytes(path), "kept\r\n");
}

TEST_F(ResultFile, FileHeldOpenElsewhereIsAppendedToUnlessTheHolderDeniesWriting) {
    const std::string path = Path("held.txt");
    WriteBytes(path, "first\r\n");
    const auto hold = [&](DWORD access, DWORD share) {
        return CreateFileW(Utf8Path(path).c_str(), access, share, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    };
    // A viewer that keeps the file open and lets others write.
    HANDLE viewer = hold(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(AppendLine("second", path));
    CloseHandle(viewer);
    // A program that holds it and lets nobody else write.
    HANDLE owner = hold(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ);
    ASSERT_NE(owner, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(AppendLine("lost", path));
    CloseHandle(owner);
    EXPECT_TRUE(AppendLine("third", path));
    EXPECT_EQ(ReadBytes(path), "first\r\nsecond\r\nthird\r\n");
}
#endif

TEST_F(ResultFile, AppendLinesCountsTheLinesItCouldNotWrite) {
    EXPECT_EQ(AppendLines({"a", "b", "c"}, Path("missing/result.txt")), 3);
    EXPECT_EQ(AppendLines({"a", "", "c"}, Path("ok.txt")), 0);
    EXPECT_EQ(ReadBytes(Path("ok.txt")), "a\r\n\r\nc\r\n");
}
