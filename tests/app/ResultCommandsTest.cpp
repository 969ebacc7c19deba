// The window's result-file commands under the offscreen platform: "保存",
// "打开文件", "上传历史数据" with its replies, and the opening of the uploaded
// file by Timer_Now. Dialogs, boxes and the shell go through the recording
// platform; files are real files in the test's folder.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QStackedWidget>
#include <QStringEncoder>
#include <QTableWidget>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "WindowFixture.h"
#include "app/kit/GlobVar.h"
#include "app/kit/HintFrm.h"
#include "app/main/KR3090frm.h"
#include "app/kit/ShownComboBox.h"
#include "app/analysis/FreqAnalysisfrm.h"
#include "app/main/ResultCommands.h"

namespace {

// The recording platform that also keeps what each file dialog was asked.
class TDialogPlatform : public TRecordingPlatform {
  public:
    QString SaveFileName(QWidget* owner, const TFileDialogRequest& r) override {
        SaveRequests.push_back(r);
        return TRecordingPlatform::SaveFileName(owner, r);
    }
    QString OpenFileName(QWidget* owner, const TFileDialogRequest& r) override {
        OpenRequests.push_back(r);
        return TRecordingPlatform::OpenFileName(owner, r);
    }
    std::vector<TFileDialogRequest> SaveRequests, OpenRequests;
};

// Bytes written out from `iconv -f UTF-8 -t GBK | xxd -p`.
std::string Hex(const char* hex) {
    std::string bytes;
    for (const char* p = hex; p[0] && p[1];) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        bytes.push_back(char(std::stoi(std::string(p, 2), nullptr, 16)));
        p += 2;
    }
    return bytes;
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) bytes += line + "\r\n";
    return bytes;
}

std::string ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll().toStdString();
}

int CountLines(const std::string& bytes) {
    int n = 0;
    for (std::size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; at += 2) ++n;
    return n;
}

const std::string kTitle = Hex("20 b4f3 b5d8 cdf8 bdd3 b5d8 b2ce cafd b2e2 cad4 cafd bedd");
const std::string kSeparator(24, '=');
const char* const kUploadRequest =
    "24 A1 C6 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 7B 2A";

// An upload record reply: frequency, U, I, Φ, Rm, year - 2000, month, day, h, m, s.
std::vector<std::uint8_t> Record(std::uint8_t hz, float u, float i, float phi, std::uint8_t rm,
                                 std::vector<std::uint8_t> time) {
    std::vector<std::uint8_t> p(20, 0);
    p[0] = hz;
    std::memcpy(&p[1], &u, 4);
    std::memcpy(&p[5], &i, 4);
    std::memcpy(&p[9], &phi, 4);
    p[13] = rm;
    std::copy(time.begin(), time.end(), p.begin() + 14);
    return Reply(0xC6, p);
}

class ResultCommands : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        SetPlatform(&dialogs);
    }
    QString File(const char* name) const { return folder.filePath(QString::fromUtf8(name)); }
    QString NoticeText() const {
        return frmHint && frmHint->isVisible() ? frmHint->Lbl_Hint->text() : QString();
    }
    // A tick of Timer_Now that is past the automatic hiding's wait.
    void TickLater() {
        dialogs.Clock = GlobVar.NoticeTime.addSecs(4);
        window->Timer_NowTimer();
    }
    // Presses "上传历史数据" with `path` chosen; the request is taken off the line.
    void StartUpload(const QString& path) {
        dialogs.SaveAnswer = path;
        window->BBtn_UpHisClick();
        ASSERT_EQ(NextFrame(), kUploadRequest);
    }

    TDialogPlatform dialogs;
};

}  // namespace

TEST_F(ResultCommands, SaveAndUploadRefuseWithoutConnection) {
    window->BitBtn4Click();
    window->BBtn_UpHisClick();
    ASSERT_EQ(dialogs.Boxes.size(), 2u);
    for (const TBox& box : dialogs.Boxes) {
        EXPECT_EQ(box.Text, "请先连接设备！");
        EXPECT_EQ(box.Caption, "提示");
        EXPECT_EQ(box.Icon, TMessageIcon::Information);
    }
    EXPECT_TRUE(dialogs.SaveRequests.empty());
    EXPECT_TRUE(pty.Drain().empty());
}

TEST_F(ResultCommands, SaveOnCtrlAppendsTheLiveBlockTwiceWithTheSelectorsAndTheClock) {
    Connect();
    window->CBox_HZ->setCurrentIndex(5);  // 45 Hz
    window->CBox_Rm->setCurrentIndex(1);  // 接通
    // A live reply shows the instrument's settings (60 Hz, Rm off); the saved
    // lines keep the user's selection.
    Dispatch(LiveReply(0xDD, 60, 1000.0f, 1.25f, 30.0f, 0, 1, 0));
    pty.Drain();
    // The readings as the labels show them, the over-range text included.
    const char* readings[] = {"U ：over   ", "I ：1.250A", "Φ：30.00°",
                              "Z ：800.0Ω",  "R ：692.8Ω", "X ：399.9Ω"};
    QLabel* labels[] = {window->Lbl_Volt, window->Lbl_A,  window->Label4,
                        window->Label5,   window->Label6, window->Label7};
    for (int k = 0; k < 6; ++k) TfrmKR3090::SetCaption(labels[k], QString::fromUtf8(readings[k]));
    const QString path = File("结果 文件.txt");
    dialogs.SaveAnswer = path;
    window->BitBtn4Click();
    dialogs.Clock = dialogs.Clock.addSecs(30);
    window->BitBtn4Click();

    ASSERT_EQ(dialogs.SaveRequests.size(), 2u);
    const TFileDialogRequest& first = dialogs.SaveRequests[0];
    EXPECT_EQ(first.Title, "");
    EXPECT_EQ(first.Filter, "*.txt|*.txt|*.csv(Excel表格)|*.csv");
    EXPECT_EQ(first.DefaultExt, "txt");
    EXPECT_FALSE(first.OverwritePrompt);
    EXPECT_EQ(first.FileName, "");
    EXPECT_EQ(dialogs.SaveRequests[1].FileName, path);  // the last path offered again
    EXPECT_EQ(GlobVar.ResultFileName, path);
    EXPECT_TRUE(dialogs.Boxes.empty());

    auto block = [](const char* time) {
        return Lines({kTitle, kSeparator, "",
                      Hex("5520a3ba 6f766572202020"),   // U ：over + 3 blanks
                      Hex("4920a3ba 312e32353041"),     // I ：1.250A
                      Hex("a6b5a3ba 33302e3030 a1e3"),  // Φ：30.00°
                      Hex("5a20a3ba 3830302e30 a6b8"),  // Z ：800.0Ω
                      Hex("5220a3ba 3639322e38 a6b8"),  // R ：692.8Ω
                      Hex("5820a3ba 3339392e39 a6b8"),  // X ：399.9Ω
                      Hex("6620a3ba 34352e3030 487a"),  // f ：45.00Hz
                      "Rm: ON", Hex("44617465a3ba") + time, "", "", ""});
    };
    EXPECT_EQ(ReadFile(path), block("2017-02-16 12:30:30") + block("2017-02-16 12:31:00"));
}

TEST_F(ResultCommands, SaveOnCompAppendsTheRecordViewBlock) {
    Connect();
    window->SetActivePage(QStringLiteral("Comp"));
    const char* captions[] = {
        "第001条",     "U ：500.0mV", "I ：0.000A",  "Φ：0.000°", "Z ：0.000mΩ",
        "R ：0.000mΩ", "X ：0.000mΩ", "f ：45.00Hz", "Rm：OFF",   "测试时间：2017.02.16 12:30:30"};
    QLabel* labels[] = {window->Lbl_Index, window->Label9,  window->Label10, window->Label11,
                        window->Label12,   window->Label13, window->Label14, window->Label15,
                        window->Label16,   window->Label17};
    for (int k = 0; k < 10; ++k) TfrmKR3090::SetCaption(labels[k], QString::fromUtf8(captions[k]));
    const QString path = File("comp.txt");
    dialogs.SaveAnswer = path;
    window->BitBtn4Click();
    EXPECT_EQ(
        ReadFile(path),
        Lines({Hex("b5da303031ccf5"), kTitle, kSeparator, "", Hex("5520a3ba3530302e306d56"),
               Hex("4920a3ba302e30303041"), Hex("a6b5a3ba302e303030a1e3"),
               Hex("5a20a3ba302e3030306da6b8"), Hex("5220a3ba302e3030306da6b8"),
               Hex("5820a3ba302e3030306da6b8"), Hex("6620a3ba34352e3030487a"),
               Hex("526da3ba4f4646"),
               Hex("b2e2cad4cab1bce4a3ba 323031372e30322e3136 2031323a33303a3330"), "", "", ""}));
}

TEST_F(ResultCommands, SaveOnHistoryPageOrCancelledWritesNothing) {
    Connect();
    window->SetActivePage(QStringLiteral("History"));
    const QString path = File("history.txt");
    dialogs.SaveAnswer = path;
    window->BitBtn4Click();
    EXPECT_EQ(dialogs.SaveRequests.size(), 1u);
    EXPECT_EQ(GlobVar.ResultFileName, path);
    EXPECT_FALSE(QFile::exists(path));

    window->SetActivePage(QStringLiteral("Ctrl"));
    dialogs.SaveAnswer.clear();
    window->BitBtn4Click();
    EXPECT_EQ(GlobVar.ResultFileName, path);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(dialogs.Boxes.empty());
}

TEST_F(ResultCommands, SaveThatCannotWriteShowsOneWarningWithThePath) {
    Connect();
    const QString path = File("missing folder/result.txt");
    dialogs.SaveAnswer = path;
    window->BitBtn4Click();
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0].Text, "文件写入失败，数据未能完整保存！\n" + path);
    EXPECT_EQ(dialogs.Boxes[0].Caption, "提示");
    EXPECT_EQ(dialogs.Boxes[0].Icon, TMessageIcon::Warning);
}

TEST_F(ResultCommands, OpenHandsTheChosenFileToTheShellWithoutConnection) {
    GlobVar.ResultFileName = QStringLiteral("/kept/result.txt");
    dialogs.OpenAnswer.clear();
    window->BitBtn3Click();
    EXPECT_TRUE(dialogs.Opened.empty());
    const QString path = File("历史 文件.txt");
    dialogs.OpenAnswer = path;
    window->BitBtn3Click();
    ASSERT_EQ(dialogs.Opened.size(), 1u);
    EXPECT_EQ(dialogs.Opened[0], path);
    window->BitBtn3Click();
    ASSERT_EQ(dialogs.OpenRequests.size(), 3u);
    EXPECT_EQ(dialogs.OpenRequests[0].Title, "请选择历史文件");
    EXPECT_EQ(dialogs.OpenRequests[0].Filter, "*.txt(txt文档)|*.txt");
    EXPECT_EQ(dialogs.OpenRequests[2].FileName, path);
    EXPECT_EQ(GlobVar.ResultFileName, "/kept/result.txt");
    EXPECT_TRUE(dialogs.Boxes.empty());
    EXPECT_TRUE(pty.Drain().empty());
}

TEST_F(ResultCommands, UploadOfThreeRecordsWritesFortyEightLinesThenOpensTheFile) {
    Connect();
    const QString path = File("upload.txt");
    QFile existing(path);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("old\r\n");
    existing.close();
    StartUpload(path);
    EXPECT_EQ(NoticeText(), "正在上传数据，请稍候！");
    EXPECT_EQ(dialogs.SaveRequests.back().Filter, "*.txt|*.txt|*.csv(Excel表格)|*.csv");

    Dispatch(Reply(0xC6, {3}));
    EXPECT_EQ(ReadFile(path), "old\r\n");  // the header writes nothing
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    Dispatch(Record(50, 0.5f, 0.0f, -30.0f, 1, {9, 1, 2, 3, 4, 5}));
    EXPECT_EQ(NoticeText(), "正在上传数据，请稍候！");
    Dispatch(Record(70, 12.5f, 1.25f, 30.0f, 0, {117, 12, 31, 23, 59, 59}));
    EXPECT_EQ(NoticeText(), "数据上传完毕！");

    const std::string bytes = ReadFile(path);
    EXPECT_EQ(CountLines(bytes), 1 + 48);
    const std::string second =
        Lines({"002", kTitle, kSeparator, "", Hex("5520a3ba 3530302e30 6d56"),  // U ：500.0mV
               Hex("4920a3ba 302e30303041"),                                    // I ：0.000A
               Hex("a6b5a3ba 33302e3030 a1e3"),                                 // Φ：30.00°
               Hex("5a20a3ba302e3030306da6b8"), Hex("5220a3ba302e3030306da6b8"),
               Hex("5820a3ba302e3030306da6b8"), Hex("6620a3ba 35302e3030 487a"), "Rm: ON",
               Hex("44617465a3ba 323030392d30312d3032 2030333a30343a3035"), "", "", ""});
    EXPECT_NE(bytes.find(second), std::string::npos);
    EXPECT_EQ(bytes.substr(0, 10), "old\r\n001\r\n");
    EXPECT_NE(bytes.find("003\r\n"), std::string::npos);
    EXPECT_NE(bytes.find(Hex("44617465a3ba 32303131372d31322d3331 2032333a35393a3539 0d0a")),
              std::string::npos);  // Date：20117-12-31 23:59:59

    // The next tick past the wait hides the notice and opens the file.
    EXPECT_TRUE(GlobVar.OpenAfterUpload);
    TickLater();
    EXPECT_EQ(NoticeText(), "");
    ASSERT_EQ(dialogs.Opened.size(), 1u);
    EXPECT_EQ(dialogs.Opened[0], path);
    EXPECT_TRUE(dialogs.Boxes.empty());
}

TEST_F(ResultCommands, HeaderAnnouncingNoRecordsCompletesAtOnce) {
    Connect();
    const QString path = File("empty.txt");
    StartUpload(path);
    Dispatch(Reply(0xC6, {0}));
    EXPECT_EQ(NoticeText(), "数据上传完毕！");
    TickLater();
    EXPECT_EQ(NoticeText(), "");
    EXPECT_TRUE(dialogs.Opened.empty());  // no record, no file to open
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(ResultCommands, FewerRecordsThanAnnouncedLeaveTheBusyNoticeUp) {
    Connect();
    const QString path = File("short.txt");
    StartUpload(path);
    Dispatch(Reply(0xC6, {3}));
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    TickLater();
    EXPECT_EQ(NoticeText(), "正在上传数据，请稍候！");
    EXPECT_TRUE(dialogs.Opened.empty());
    EXPECT_EQ(CountLines(ReadFile(path)), 16);
}

TEST_F(ResultCommands, RepliesAfterCompletionAreWrittenAsFurtherBlocks) {
    Connect();
    const QString path = File("more.txt");
    StartUpload(path);
    Dispatch(Reply(0xC6, {1}));
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    EXPECT_EQ(NoticeText(), "数据上传完毕！");
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    const std::string bytes = ReadFile(path);
    EXPECT_EQ(CountLines(bytes), 32);
    EXPECT_EQ(bytes.substr(bytes.size() / 2, 5), "002\r\n");
    EXPECT_EQ(GlobVar.UploadCount, 2);
}

TEST_F(ResultCommands, UploadRepliesAreIgnoredUntilAFileIsChosen) {
    Connect();
    // Idle at start: no result file, so nothing is taken as a header.
    Dispatch(Reply(0xC6, {1}));
    EXPECT_FALSE(GlobVar.UploadStarted);
    // A cancelled upload dialog empties the file name and sends nothing;
    // replies of an upload still under way are then ignored.
    const QString path = File("running.txt");
    StartUpload(path);
    Dispatch(Reply(0xC6, {2}));
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    dialogs.SaveAnswer.clear();
    window->BBtn_UpHisClick();
    EXPECT_TRUE(pty.Drain().empty());
    EXPECT_EQ(GlobVar.ResultFileName, "");
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    EXPECT_EQ(CountLines(ReadFile(path)), 16);
    EXPECT_EQ(GlobVar.UploadCount, 1);
}

TEST_F(ResultCommands, SavedFileNameMakesAStrayUploadReplyAHeader) {
    Connect();
    const QString path = File("saved.txt");
    dialogs.SaveAnswer = path;
    window->BitBtn4Click();
    Dispatch(Reply(0xC6, {4}));
    EXPECT_TRUE(GlobVar.UploadStarted);
    EXPECT_EQ(GlobVar.UploadTotal, 4);
    EXPECT_EQ(CountLines(ReadFile(path)), 15);
}

TEST_F(ResultCommands, RecordWithANaNEndsItsBlockAndMakesNoCompletion) {
    Connect();
    const QString path = File("nan.txt");
    StartUpload(path);
    Dispatch(Reply(0xC6, {2}));
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    Dispatch(Record(45, 12.5f, std::nanf(""), 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    // Heading, title, separator, empty line and U: the I line met the NaN.
    EXPECT_EQ(CountLines(ReadFile(path)), 16 + 5);
    EXPECT_EQ(GlobVar.UploadCount, 2);
    EXPECT_EQ(NoticeText(), "正在上传数据，请稍候！");
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    EXPECT_EQ(NoticeText(), "数据上传完毕！");
}

TEST_F(ResultCommands, UploadThatLostLinesWarnsInsteadOfCompletingAndOpensNothing) {
    Connect();
    const QString sub = File("sub");
    ASSERT_TRUE(QDir().mkdir(sub));
    const QString path = sub + QStringLiteral("/lost.txt");
    StartUpload(path);
    Dispatch(Reply(0xC6, {2}));
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    std::filesystem::remove_all(sub.toStdString());
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    EXPECT_EQ(NoticeText(), "");
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0].Text, "文件写入失败，数据未能完整保存！\n" + path);
    EXPECT_EQ(dialogs.Boxes[0].Caption, "提示");
    EXPECT_EQ(dialogs.Boxes[0].Icon, TMessageIcon::Warning);
    EXPECT_FALSE(GlobVar.OpenAfterUpload);
    TickLater();
    EXPECT_TRUE(dialogs.Opened.empty());

    // The next upload starts afresh.
    const QString good = File("good.txt");
    StartUpload(good);
    Dispatch(Reply(0xC6, {1}));
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    EXPECT_EQ(NoticeText(), "数据上传完毕！");
    EXPECT_EQ(dialogs.Boxes.size(), 1u);
}

TEST_F(ResultCommands, UploadedFileRemovedBeforeTheTickIsNotOpened) {
    Connect();
    const QString path = File("gone.txt");
    StartUpload(path);
    Dispatch(Reply(0xC6, {1}));
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    QFile::remove(path);
    TickLater();
    EXPECT_TRUE(dialogs.Opened.empty());
    EXPECT_FALSE(GlobVar.OpenAfterUpload);
}

TEST_F(ResultCommands, ShortUploadFrameReadsMissingBytesAsZero) {
    Connect();
    const QString path = File("short-frame.txt");
    StartUpload(path);
    Dispatch(Reply(0xC6, {1}));
    // A 6-byte frame: no payload at all.
    const std::vector<std::uint8_t> bare{0x24, 0xA1, 0xC6, 0x00, 0x67, 0x2A};
    window->ParseUploadFrame(bare.data(), int(bare.size()));
    const std::string bytes = ReadFile(path);
    EXPECT_EQ(CountLines(bytes), 16);
    EXPECT_NE(bytes.find(Hex("44617465a3ba 323030302d30302d3030 2030303a30303a3030")),
              std::string::npos);  // Date：2000-00-00 00:00:00
}

TEST_F(ResultCommands, ShownResultBlockGivesThePrintFormOfTheActivePage) {
    window->SetActivePage(QStringLiteral("Ctrl"));
    const auto live = ShownResultBlock(*window);
    ASSERT_TRUE(live);
    const TReportLines printed = PrintForm(*live);
    ASSERT_EQ(printed.size(), 18u);
    EXPECT_EQ(printed[0], std::string(25, ' '));
    EXPECT_EQ(printed[3], " 大地网接地参数测试数据  ");
    EXPECT_EQ(printed[6], "U ：0.000mV" + std::string(14, ' '));  // the designed caption
    EXPECT_EQ(printed[14], "Date：2017-02-16 12:30:30");          // 25 bytes: no blank
    window->SetActivePage(QStringLiteral("Comp"));
    EXPECT_EQ(PrintForm(*ShownResultBlock(*window)).size(), 19u);
    window->SetActivePage(QStringLiteral("History"));
    EXPECT_FALSE(ShownResultBlock(*window));
}

// ---- 频率分析: the upload replies into the analysis window

TEST_F(ResultCommands, FrequencyAnalysisTakesTheUploadIntoItsWindowAndLeavesTheFileUploadAlone) {
    window->BBtn_FreqAnalysisClick();
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0].Text, "请先连接设备！");
    EXPECT_EQ(dialogs.Boxes[0].Caption, "提示");
    EXPECT_TRUE(pty.Drain().empty());
    Connect();
    const QString upload = File("upload.txt");
    StartUpload(upload);
    Dispatch(Reply(0xC6, {1}));
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    TickLater();
    ASSERT_EQ(dialogs.Opened, std::vector<QString>{upload});

    // A stream that stops short keeps the notice and opens no window.
    window->BBtn_FreqAnalysisClick();
    EXPECT_EQ(NextFrame(), kUploadRequest);
    EXPECT_EQ(NoticeText(), "正在读取数据，请稍候！");
    Dispatch(Reply(0xC6, {5}));
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    TickLater();
    EXPECT_EQ(NoticeText(), "正在读取数据，请稍候！");
    EXPECT_FALSE(frmFreqAnalysis);
    // No records: the window opens and says so.
    window->BBtn_FreqAnalysisClick();
    EXPECT_EQ(NextFrame(), kUploadRequest);
    Dispatch(Reply(0xC6, {0}));
    EXPECT_EQ(NoticeText(), "");
    ASSERT_TRUE(frmFreqAnalysis && frmFreqAnalysis->isVisible());
    EXPECT_EQ(frmFreqAnalysis->LView_Records->rowCount(), 0);
    EXPECT_EQ(frmFreqAnalysis->Lbl_Method->text(), "没有可分析的记录");

    // Pressed again: a whole set. 45 Hz 10 Ω at 30°, 55 Hz 2 Ω at 60°, one at
    // 50 Hz and one with no current.
    window->BBtn_FreqAnalysisClick();
    EXPECT_EQ(NextFrame(), kUploadRequest);
    Dispatch(Reply(0xC6, {4}));
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    Dispatch(Record(55, 2.5f, 1.25f, -60.0f, 1, {17, 2, 16, 12, 41, 5}));
    Dispatch(Record(50, 2.5f, 1.25f, 45.0f, 0, {17, 2, 16, 12, 50, 0}));
    EXPECT_EQ(NoticeText(), "正在读取数据，请稍候！");
    Dispatch(Record(55, 2.5f, 0.0f, 60.0f, 0, {17, 2, 16, 13, 0, 0}));
    EXPECT_EQ(NoticeText(), "");
    ASSERT_TRUE(frmFreqAnalysis && frmFreqAnalysis->isVisible());
    TfrmFreqAnalysis& f = *frmFreqAnalysis;
    EXPECT_EQ(f.windowTitle(), "频率分析");
    ASSERT_EQ(f.LView_Records->rowCount(), 4);
    QStringList second;
    for (int c = 0; c < 10; ++c) second << f.LView_Records->item(1, c)->text();
    EXPECT_EQ(second.join(u'|'),
              "002|2017-02-16 12:41:05|55Hz|2.500V |1.250A|60.00°|2.000Ω|1.000Ω|1.732Ω|");
    EXPECT_EQ(f.LView_Records->item(3, 9)->text(), "I为0，无法计算阻抗，未计入");
    EXPECT_EQ(f.Lbl_Method->text(), "由 45Hz 与 55Hz 线性插值");
    // (8.660 + j5.000 + 1.000 + j1.732) / 2 = 4.830 + j3.366.
    EXPECT_EQ(f.Lbl_TwoPoint->text(), "Z0 ：5.887Ω   R0 ：4.830Ω   X0 ：3.366Ω   Φ0：34.87°");
    // The file upload's state is as the upload left it, and its file unchanged.
    EXPECT_EQ(GlobVar.ResultFileName, upload);
    EXPECT_EQ(GlobVar.UploadCount, 1);
    EXPECT_EQ(CountLines(ReadFile(upload)), 16);
    EXPECT_EQ(dialogs.Opened.size(), 1u);

    // The export, byte for byte.
    const QString table = File("分析.csv");
    dialogs.SaveAnswer = table;
    f.BBtn_SaveCsvClick();
    EXPECT_EQ(dialogs.SaveRequests.back().Filter,
              "*.csv(Excel表格)|*.csv|*.csv(UTF-8 表格，供 Linux 的 LibreOffice)|*.csv");
    EXPECT_EQ(dialogs.SaveRequests.back().DefaultExt, "csv");
    EXPECT_EQ(QFileInfo(dialogs.SaveRequests.back().FileName).fileName(),
              "频率分析 2017-02-16.csv");
    EXPECT_EQ(dialogs.Boxes.back().Text, "表格（GBK）已保存到：\n" + QDir::toNativeSeparators(table));
    QStringEncoder gbk("GBK");
    EXPECT_EQ(
        ReadFile(table),
        QByteArray(gbk(QStringLiteral("频率分析,工频f0(Hz),50,|Z|离散度容差(%),5\r\n"
                                      "\r\n"
                                      "编号,测试时间,频率(Hz),电压U(V),电流I(A),相角Φ(°),阻抗Z(Ω),"
                                      "电阻分量R(Ω),电抗分量X(Ω),勾选,说明\r\n"
                                      "1,2017-02-16 12:30:30,45,12.5,1.25,30,10,8.660254037919213,"
                                      "4.999999999870395,是,\r\n"
                                      "2,2017-02-16 12:41:05,55,2.5,1.25,60,2,1.000000000051842,"
                                      "1.7320508075389462,是,\r\n"
                                      "3,2017-02-16 12:50:00,50,2.5,1.25,45,2,1.4142135624048418,"
                                      "1.4142135623413483,是,工频点，不参与计算\r\n"
                                      "4,2017-02-16 13:00:00,55,2.5,0,60,,,,是,"
                                      "I为0，无法计算阻抗，未计入\r\n"
                                      "\r\n"
                                      "频率(Hz),记录数,未计入,R均值(Ω),X均值(Ω),|Z|(Ω),Φ(°),"
                                      "|Z|离散度(%),说明\r\n"
                                      "45,1,0,8.660254037919213,4.999999999870395,10,"
                                      "30.000000000000007,0,用于插值\r\n"
                                      "50,1,0,1.4142135624048418,1.4142135623413483,2,45,0,"
                                      "工频点，不参与计算\r\n"
                                      "55,1,1,1.000000000051842,1.7320508075389462,2,60,0,"
                                      "另有1条未计入；用于插值\r\n"
                                      "\r\n"
                                      "工频值,频率1(Hz),频率2(Hz),Z0(Ω),R0(Ω),X0(Ω),Φ0(°),"
                                      "R最大残差(Ω),X最大残差(Ω)\r\n"
                                      "两点线性插值,45,55,5.887295986946741,4.830127018985527,"
                                      "3.3660254037046706,34.87192099979922\r\n"
                                      "\r\n")))
            .toStdString());
    const QString picture = File("分析.png");
    dialogs.SaveAnswer = picture;
    f.BBtn_SavePngClick();
    EXPECT_TRUE(dialogs.SaveRequests.back().OverwritePrompt);
    const QImage image(picture);
    EXPECT_EQ(image.size(), QSize(1200, 800));
    // The one before connecting, and where each export went.
    ASSERT_EQ(dialogs.Boxes.size(), 3u);
    EXPECT_EQ(dialogs.Boxes[2].Text, "图片已保存到：\n" + QDir::toNativeSeparators(picture));
    EXPECT_EQ(dialogs.SaveRequests.back().FileName,
              QFileInfo(table).absolutePath() + "/频率分析 2017-02-16.png");

    // An upload into a file afterwards works as before and leaves the
    // analysis alone.
    StartUpload(upload);
    Dispatch(Reply(0xC6, {1}));
    Dispatch(Record(45, 12.5f, 1.25f, 30.0f, 0, {17, 2, 16, 12, 30, 30}));
    EXPECT_EQ(NoticeText(), "数据上传完毕！");
    EXPECT_EQ(CountLines(ReadFile(upload)), 32);
    EXPECT_EQ(f.LView_Records->rowCount(), 4);
}
