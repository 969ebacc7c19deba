#include <gtest/gtest.h>
#include <unistd.h>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/Config.h"
#include "link/SettingsLocation.h"

namespace {

namespace fs = std::filesystem;

// The program's folder may be named in Chinese: file names are UTF-8 text.
std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

class ConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / fs::path(u8"kr3090-config-配置-");
        dir += std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
        path = dir / "Config.ini";
        file = Utf8(path);
    }
    void TearDown() override { fs::remove_all(dir); }

    void Write(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    std::string Read() {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    TCommSettings Loaded() {
        TCommSettings s;
        s.ComName = "junk";
        s.DataNum = s.StopNum = s.Mark = s.Baud = -7;
        s.HelpFileName = "junk";
        LoadConfig(file, s);
        return s;
    }
    static void ExpectDefaults(const TCommSettings& s) {
        EXPECT_EQ(s.ComName, "COM1");
        EXPECT_EQ(s.DataNum, 8);
        EXPECT_EQ(s.StopNum, 0);
        EXPECT_EQ(s.Mark, 0);
        EXPECT_EQ(s.Baud, 9600);
        EXPECT_EQ(s.HelpFileName, "");
    }

    fs::path dir, path;
    std::string file;  // path in UTF-8
};

TEST_F(ConfigTest, MissingEmptyOrSectionlessFileGivesTheDefaults) {
    ExpectDefaults(Loaded());
    Write("");
    ExpectDefaults(Loaded());
    Write("[Other]\r\nComName=COM5\r\nBaud=115200\r\n");
    ExpectDefaults(Loaded());
    Write("ComName=COM5\r\n");
    ExpectDefaults(Loaded());
}

TEST_F(ConfigTest, AllKeysAreRead) {
    Write(
        "[Config]\r\nComName=COM3\r\nDataNum=7\r\nStopNum=2\r\nMark=3\r\nBaud=19200\r\n"
        "HelpFileName=C:\\Help\\KR3090.chm\r\n");
    TCommSettings s = Loaded();
    EXPECT_EQ(s.ComName, "COM3");
    EXPECT_EQ(s.DataNum, 7);
    EXPECT_EQ(s.StopNum, 2);
    EXPECT_EQ(s.Mark, 3);
    EXPECT_EQ(s.Baud, 19200);
    EXPECT_EQ(s.HelpFileName, "C:\\Help\\KR3090.chm");
}

TEST_F(ConfigTest, SectionAndKeysMatchInAnyCaseAndSpacesAreTrimmed) {
    Write(
        "; settings\n[other]\nBaud=1\n[CONFIG]\n  comname = /dev/pts/4 \nDATANUM=6\nbaud=57600\n"
        "helpfilename=帮助.pdf\n");
    TCommSettings s = Loaded();
    EXPECT_EQ(s.ComName, "/dev/pts/4");
    EXPECT_EQ(s.DataNum, 6);
    EXPECT_EQ(s.Baud, 57600);
    EXPECT_EQ(s.HelpFileName, "帮助.pdf");
    EXPECT_EQ(s.StopNum, 0);
}

TEST_F(ConfigTest, ValuesThatAreNoIntegerGiveTheDefault) {
    Write("[Config]\nDataNum=eight\nStopNum=1.5\nMark=\nBaud=99999999999\nComName=\n");
    TCommSettings s = Loaded();
    EXPECT_EQ(s.DataNum, 8);
    EXPECT_EQ(s.StopNum, 0);
    EXPECT_EQ(s.Mark, 0);
    EXPECT_EQ(s.Baud, 9600);
    EXPECT_EQ(s.ComName, "");  // present but empty text stays empty
}

TEST_F(ConfigTest, IntegersOutsideTheDeviceRangeAreLoadedAsTheyStand) {
    // The port refuses them when it is opened; loading keeps what the file says.
    Write("[Config]\nDataNum=-3\nStopNum=7\nMark=+9\nBaud=-1\n");
    TCommSettings s = Loaded();
    EXPECT_EQ(s.DataNum, -3);
    EXPECT_EQ(s.StopNum, 7);
    EXPECT_EQ(s.Mark, 9);
    EXPECT_EQ(s.Baud, -1);
}

TEST_F(ConfigTest, ByteOrderMarkOfAnEditorIsSkippedAndKept) {
    Write("\xEF\xBB\xBF[Config]\r\nComName=COM7\r\nHelpFileName=help.pdf\r\n");
    EXPECT_EQ(Loaded().ComName, "COM7");
    TCommSettings s = Loaded();
    s.ComName = "COM8";
    SaveConfig(file, s);
    EXPECT_EQ(Read(),
              "\xEF\xBB\xBF[Config]\r\nComName=COM8\r\nHelpFileName=help.pdf\r\nDataNum=8\r\n"
              "StopNum=0\r\nMark=0\r\nBaud=9600\r\n");
}

TEST_F(ConfigTest, UnreadableFileGivesTheDefaults) {
    fs::create_directories(path);  // a folder where the file should be: root cannot read it either
    ExpectDefaults(Loaded());
}

TEST_F(ConfigTest, FirstSaveCreatesTheFileWithTheConfigSection) {
    TCommSettings s;
    s.ComName = "COM4";
    s.DataNum = 7;
    s.StopNum = 1;
    s.Mark = 3;
    s.Baud = 115200;
    SaveConfig(file, s);
    EXPECT_EQ(Read(),
              "[Config]\r\nComName=COM4\r\nDataNum=7\r\nStopNum=1\r\nMark=3\r\nBaud=115200\r\n");
    TCommSettings back;
    LoadConfig(file, back);
    EXPECT_EQ(back.ComName, "COM4");
    EXPECT_EQ(back.StopNum, 1);
    EXPECT_EQ(back.Mark, 3);
    EXPECT_EQ(back.Baud, 115200);
}

TEST_F(ConfigTest, SaveRewritesItsKeysAndLeavesEveryOtherLineUntouched) {
    Write(
        "[Config]\r\nHelpFileName=help\\KR3090.chm\r\ncomname=COM1\r\nBaud=9600\r\n\r\n"
        "[Window]\r\nBaud=1\r\n");
    TCommSettings s;
    s.ComName = "COM2";
    s.DataNum = 8;
    s.StopNum = 2;
    s.Mark = 4;
    s.Baud = 2400;
    s.HelpFileName = "ignored.chm";  // read only
    SaveConfig(file, s);
    EXPECT_EQ(Read(),
              "[Config]\r\nHelpFileName=help\\KR3090.chm\r\nComName=COM2\r\nBaud=2400\r\n"
              "DataNum=8\r\nStopNum=2\r\nMark=4\r\n\r\n[Window]\r\nBaud=1\r\n");
}

TEST_F(ConfigTest, SaveAddsTheSectionToAFileWithoutIt) {
    Write("[Other]\nKey=1");
    TCommSettings s;
    SaveConfig(file, s);
    EXPECT_EQ(Read(),
              "[Other]\nKey=1\n[Config]\nComName=COM1\nDataNum=8\nStopNum=0\nMark=0\nBaud=9600");
}

TEST_F(ConfigTest, UnwritableFileFailsWithTheFullPathAndTheCause) {
    fs::create_directories(path);
    try {
        SaveConfig(file, TCommSettings{});
        FAIL() << "no error";
    } catch (const TConfigWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + file);
        EXPECT_EQ(e.Path(), file);
#ifdef _WIN32
        EXPECT_EQ(e.Cause(), std::errc::permission_denied);  // how Windows refuses a folder
#else
        EXPECT_EQ(e.Cause(), std::errc::is_a_directory);
#endif
    }
    const std::string missing = Utf8(dir / "gone" / "Config.ini");
    try {
        SaveConfig(missing, TCommSettings{});
        FAIL() << "no error";
    } catch (const TConfigWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + missing);
        EXPECT_EQ(e.Cause(), std::errc::no_such_file_or_directory);
    }
}

// The program's folder takes its settings when Config.ini can be written
// there. A folder no user may write, as under Program Files (a read-only disk
// that scripts/windows-test.sh mounts, with an administrator's Config.ini in
// it), sends them to the user's AppData.
TEST_F(ConfigTest, SettingsStayBesideTheProgramWhoseFolderTakesThemOrGoToTheUsersFolder) {
    const std::string app = Utf8(dir / "");
    const TSettingsLocation beside = SettingsLocationFor(app);
    EXPECT_EQ(beside.ConfigFileName, Utf8(path));
    EXPECT_TRUE(beside.BesideExecutable);
    EXPECT_EQ(beside.DataFolder, app);
#ifdef _WIN32
    const char* readOnly = std::getenv("KR3090_READ_ONLY_DIR");
    if (!readOnly) GTEST_SKIP() << "no read-only folder (scripts/windows-test.sh mounts one)";
    const std::string appData = std::string(std::getenv("APPDATA")) + "\\kr3090\\";
    const TSettingsLocation user = SettingsLocationFor(std::string(readOnly) + "\\");
    EXPECT_EQ(user.ConfigFileName, appData + "Config.ini");
    EXPECT_FALSE(user.BesideExecutable);
    EXPECT_EQ(user.DataFolder, appData);
    EXPECT_TRUE(fs::exists(fs::path(readOnly) / "Config.ini"));
#endif
}

#ifndef _WIN32
TEST_F(ConfigTest, SaveThatRunsOutOfRoomIsReportedAndLeavesTheFileAsItWas) {
    // A file size limit stands in for a full disk: writes past it fail.
    const std::string before = "[Config]\r\nComName=COM3\r\nHelpFileName=help.pdf\r\n";
    Write(before);
    TCommSettings s;
    s.ComName = std::string(600, 'x');
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 200;
    setrlimit(RLIMIT_FSIZE, &small);
    std::vector<std::string> errors;
    std::vector<std::error_code> causes;
    for (const fs::path& name : {path, dir / "First.ini"}) {
        try {
            SaveConfig(Utf8(name), s);
        } catch (const TConfigWriteError& e) {
            errors.push_back(e.what());
            causes.push_back(e.Cause());
        }
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(errors, (std::vector<std::string>{"Unable to write to " + file,
                                                "Unable to write to " + Utf8(dir / "First.ini")}));
    EXPECT_EQ(causes,
              (std::vector<std::error_code>(2, std::make_error_code(std::errc::file_too_large))));
    EXPECT_EQ(Read(), before);
    EXPECT_FALSE(fs::exists(dir / "First.ini"));  // no half file from a first save
}
#endif

TEST_F(ConfigTest, RelativeNameIsReportedWithItsFullPath) {
    const auto cwd = fs::current_path();
    fs::current_path(dir);
    fs::create_directories("Config.ini");
    std::string message;
    try {
        SaveConfig("Config.ini", TCommSettings{});
    } catch (const TConfigWriteError& e) {
        message = e.what();
    }
    fs::current_path(cwd);
    EXPECT_EQ(message, "Unable to write to " + file);
}

TEST_F(ConfigTest, ArchiveSectionIsWrittenBesideConfigAndReadBackWithoutAPassword) {
    Write("[Config]\r\nComName=COM3\r\n[archive]\r\nPassword=old\r\ndriver=SQLite\r\n");
    TArchiveConfig loaded;
    LoadArchiveConfig(file, loaded);
    EXPECT_EQ(loaded.Driver, "SQLite");
    EXPECT_EQ(loaded.Port, 5432);
    EXPECT_EQ(loaded.Database, "kr3090");
    EXPECT_EQ(loaded.SslMode, "verify-full");  // a new server is verified
    TArchiveConfig c;
    c.Driver = "PostgreSQL";
    c.File = "D:\\档案\\kr3090-archive.sqlite";
    c.Host = "db.example";
    c.Port = 5433;
    c.User = "王工";
    c.SslMode = "verify-ca";
    c.SslRootCert = "D:\\证书\\team-ca.crt";
    c.SslKey = "k.key";
    SaveArchiveConfig(file, c);
    // Only its own keys change: a password someone typed in by hand stays
    // where it was, and the program never writes one.
    EXPECT_EQ(Read(),
              "[Config]\r\nComName=COM3\r\n[archive]\r\nPassword=old\r\nDriver=PostgreSQL\r\n"
              "File=D:\\档案\\kr3090-archive.sqlite\r\nHost=db.example\r\nPort=5433\r\n"
              "Database=kr3090\r\nUser=王工\r\nSslMode=verify-ca\r\n"
              "SslRootCert=D:\\证书\\team-ca.crt\r\nSslCert=\r\nSslKey=k.key\r\n");
    LoadArchiveConfig(file, loaded);
    EXPECT_EQ(std::tie(loaded.Driver, loaded.File, loaded.Host, loaded.Port, loaded.User,
                       loaded.SslMode, loaded.SslRootCert, loaded.SslCert, loaded.SslKey),
              std::tie(c.Driver, c.File, c.Host, c.Port, c.User, c.SslMode, c.SslRootCert,
                       c.SslCert, c.SslKey));
    EXPECT_EQ(Loaded().ComName, "COM3");
}

}  // namespace
