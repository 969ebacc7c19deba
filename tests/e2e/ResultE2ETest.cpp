// Result files from end to end: the window on one end of a pseudo-terminal,
// the instrument simulator on the other, the real timers running. Saves from
// the Ctrl and Comp pages, and an upload of 100 stored records that ends with
// the file handed to the shell.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "../app/FileDialogAnswer.h"
#include "Pump.h"
#include "SimLine.h"
#include "analysis/FreqAnalysisText.h"
#include "analysis/FreqPlot.h"
#include "app/analysis/AnalysisReportfrm.h"
#include "app/analysis/FreqAnalysisfrm.h"
#include "app/archive/ArchiveAccess.h"
#include "app/archive/ArchiveStorefrm.h"
#include "app/archive/Archivefrm.h"
#include "app/archive/CampaignForm.h"
#include "app/archive/TrendPlot.h"
#include "app/kit/GlobVar.h"
#include "app/kit/HintFrm.h"
#include "app/kit/OpenWindow.h"
#include "app/kit/Platform.h"
#include "app/main/KR3090frm.h"
#include "link/Trace.h"
#include "protocol/Numbers.h"
#include "results/ResultCsv.h"
#include "results/ResultFile.h"
#include "settings/Config.h"
#include "sim/Instrument.h"

namespace {

// The real clock and timers; boxes, dialogs and the shell are recorded.
class TFilePlatform : public TQtPlatform {
  public:
    void MessageBox(QWidget*, const QString& text, const QString&, TMessageIcon) override {
        Boxes.push_back(text);
    }
    // The program's real dialog once the test answers it (FileDialogAnswer.h).
    QString SaveFileName(QWidget* owner, const TFileDialogRequest& r) override {
        return RealSaveDialog ? TQtPlatform::SaveFileName(owner, r) : SaveAnswer;
    }
    QString OpenFileName(QWidget*, const TFileDialogRequest&) override { return OpenAnswer; }
    void ShellOpen(QWidget*, const QString& path) override { Opened.push_back(path); }
    std::vector<QString> Boxes, Opened;
    QString SaveAnswer, OpenAnswer;
    bool RealSaveDialog = false;
};

// GBK as an independent encoder (Qt's ICU converter) produces it.
std::string Gbk(const QString& text) {
    QStringEncoder gbk("GBK");
    return QByteArray(gbk(text)).toStdString();
}

std::string ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll().toStdString();
}

// The text of a PDF file as poppler reads it.
QString PdfText(const QString& path) {
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"),
                    {QStringLiteral("-layout"), path, QStringLiteral("-")});
    pdftotext.waitForFinished(30000);
    return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = bytes.find("\r\n", from)) != std::string::npos; from = at + 2)
        lines.push_back(bytes.substr(from, at - from));
    if (from != bytes.size()) lines.push_back("<no line end>" + bytes.substr(from));
    return lines;
}

std::string Format(const char* format, int a, int b = 0, int c = 0) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// Stored records whose texts the test knows: three kinds of reading in turn.
struct TKnownReading {
    float U, I, Phi;
    const char *Volt, *Current, *Phase, *Z, *R, *X;
};
const TKnownReading kReadings[] = {
    {12.5f, 1.25f, 30.0f, "U ：12.50V ", "I ：1.250A", "Φ：30.00°", "Z ：10.000Ω", "R ：8.660Ω",
     "X ：4.999Ω"},
    {0.5f, 0.0f, -45.0f, "U ：500.0mV", "I ：0.000A", "Φ：45.00°", "Z ：0.000mΩ", "R ：0.000mΩ",
     "X ：0.000mΩ"},
    {2.5f, 1.25f, 30.0f, "U ：2.500V ", "I ：1.250A", "Φ：30.00°", "Z ：2.000Ω", "R ：1.732Ω",
     "X ：999.9mΩ"},
};

TRecord KnownRecord(int k) {
    const TKnownReading& r = kReadings[k % 3];
    TRecord record;
    record.Frequency = std::uint8_t(40 + k % 31);
    record.Voltage = r.U;
    record.Current = r.I;
    record.Phase = r.Phi;
    record.RmOn = k % 2 == 1;
    record.Year = std::uint8_t(k % 2 ? 17 : 117);
    record.Month = std::uint8_t(1 + k % 12);
    record.Day = std::uint8_t(1 + k % 28);
    record.Hour = std::uint8_t(k % 24);
    record.Minute = std::uint8_t(k % 60);
    record.Second = std::uint8_t((k * 7) % 60);
    return record;
}

// The upload block of record k, numbered n, as UTF-8 lines.
std::vector<QString> ExpectedBlock(int k, int n) {
    const TKnownReading& r = kReadings[k % 3];
    const TRecord rec = KnownRecord(k);
    std::vector<QString> lines{QString::fromStdString(Format("%03d", n)),
                               QStringLiteral(" 大地网接地参数测试数据"),
                               QStringLiteral("========================"), QString()};
    for (const char* text : {r.Volt, r.Current, r.Phase, r.Z, r.R, r.X})
        lines.push_back(QString::fromUtf8(text));
    lines.push_back(QStringLiteral("f ：") + QString::number(rec.Frequency) +
                    QStringLiteral(".00Hz"));
    lines.push_back(rec.RmOn ? QStringLiteral("Rm: ON") : QStringLiteral("Rm: OFF"));
    lines.push_back(
        QStringLiteral("Date：20") +
        QString::fromStdString(Format("%02d-%02d-%02d", rec.Year, rec.Month, rec.Day)) +
        QString::fromStdString(Format(" %02d:%02d:%02d", rec.Hour, rec.Minute, rec.Second)));
    lines.insert(lines.end(), 3, QString());
    return lines;
}

class ResultEndToEnd : public ::testing::Test {
  protected:
    void Start(TSimOptions options = TSimLine::Quiet(), bool onOutsideLine = true) {
        GlobVar = TGlobVar{};
        SetPlatform(&platform);
        SetTraceSink([this](const std::string& line) {
            if (line.rfind("发送 24 A1 DD", 0) == 0) ++polls;
        });
        sim = std::make_unique<TSimLine>(options, onOutsideLine);
        window = std::make_unique<TfrmKR3090>();
        GlobVar.ConfigFileName = folder.filePath(QStringLiteral("Config.ini"));
        CommSettings.ComName = sim->SlavePath();
        window->show();
        ASSERT_TRUE(GlobVar.PortOpen);
        window->BitBtn1->click();
        ASSERT_TRUE(WaitUntil([] { return GlobVar.Connected; }));
    }
    void TearDown() override {
        window.reset();
        sim.reset();
        SetTraceSink(nullptr);
        SetPlatform(nullptr);
    }
    QString Notice() const {
        return frmHint && frmHint->isVisible() ? frmHint->Lbl_Hint->text() : QString();
    }

    // The operator session of scripts/windows-e2e.sh, played on the window
    // against 100 stored records: connect and poll, a test that measures
    // exactly once (the poll timer held meanwhile), the live result saved, the
    // directory, record 001 opened on the Comp page and saved, the upload of
    // all records. Returns the three files; the live result's time stamp line
    // is the clock's and left out.
    std::vector<std::string> PlaySession(bool onOutsideLine, const QString& name) {
        TSimOptions options = TSimLine::Quiet();
        options.Instrument.InitialRecords = 100;
        options.Instrument.Seed = 12;
        Start(options, onOutsideLine);
        TfrmKR3090& w = *window;
        const int before = polls.load();
        EXPECT_TRUE(WaitUntil([&] { return polls >= before + 3; }));

        w.Timer_Send->stop();
        w.BBtn_Start->click();
        EXPECT_TRUE(WaitUntil([&] { return w.Lbl_Volt->text() != "U ：0.000mV"; }));
        w.BBtn_Start->click();
        EXPECT_TRUE(WaitUntil([&] { return w.Lbl_Speed->isHidden(); }));
        w.Timer_Send->start();
        const QString live = folder.filePath(name + QStringLiteral("-实时.txt"));
        platform.SaveAnswer = live;
        w.BitBtn4->click();

        w.BBtn_His->click();
        EXPECT_TRUE(
            WaitUntil([&] { return w.LView_History->rowCount() == 100 && Notice().isEmpty(); }));
        w.LView_History->selectRow(0);
        w.BBtn_Open->click();
        EXPECT_TRUE(
            WaitUntil([&] { return w.Lbl_Index->text() == "第001条" && Notice().isEmpty(); }));
        const QString record = folder.filePath(name + QStringLiteral("-记录.txt"));
        platform.SaveAnswer = record;
        w.BitBtn4->click();

        w.BBtn_Ret->click();
        const QString upload = folder.filePath(name + QStringLiteral("-上传.txt"));
        platform.SaveAnswer = upload;
        w.BBtn_UpHis->click();
        EXPECT_TRUE(WaitUntil([&] { return platform.Opened.size() == 1; }, 30));
        EXPECT_TRUE(platform.Boxes.empty());
        TearDown();
        platform.Opened.clear();

        std::vector<std::string> liveLines = SplitLines(ReadFile(live));
        EXPECT_EQ(liveLines.size(), 15u);
        if (liveLines.size() > 11) liveLines.erase(liveLines.begin() + 11);
        std::string liveRest;
        for (const std::string& l : liveLines) liveRest += l + "\r\n";
        const std::string recordFile = ReadFile(record), uploadFile = ReadFile(upload);
        EXPECT_EQ(SplitLines(recordFile).size(), 16u);
        EXPECT_EQ(SplitLines(uploadFile).size(), 1600u);
        return {liveRest, recordFile, uploadFile};
    }

    TFilePlatform platform;
    QTemporaryDir folder;
    std::unique_ptr<TSimLine> sim;
    std::unique_ptr<TfrmKR3090> window;
    std::atomic<int> polls{0};
};

}  // namespace

// The session over the line under test (an outside device when KR3090_LINE
// names one, else a second pseudo-terminal) writes the same bytes as over a
// pseudo-terminal: nothing is lost, doubled or changed on the way.
TEST_F(ResultEndToEnd, AnOperatorSessionWritesTheSameFilesOverTheLineAsOverAPseudoTerminal) {
    const std::vector<std::string> reference = PlaySession(false, QStringLiteral("pty"));
    const std::vector<std::string> files = PlaySession(true, QStringLiteral("line"));
    const char* const names[] = {"live result", "record 001", "upload"};
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_TRUE(files[k] == reference[k]) << names[k] << " differs";
}

TEST_F(ResultEndToEnd, SaveOnCtrlWritesTheLiveReadingsShown) {
    Start();
    TfrmKR3090& w = *window;
    w.BBtn_Start->click();
    ASSERT_TRUE(WaitUntil([&] { return w.Lbl_Volt->text() != "U ：0.000mV"; }));
    w.BBtn_Start->click();  // stop: the readings stay as they are
    ASSERT_TRUE(WaitUntil([] { return !GlobVar.Testing; }));
    QApplication::processEvents();

    const QString path = folder.filePath(QStringLiteral("实时 结果.txt"));
    platform.SaveAnswer = path;
    w.BitBtn4->click();
    const std::vector<std::string> lines = SplitLines(ReadFile(path));
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[0], Gbk(QStringLiteral(" 大地网接地参数测试数据")));
    EXPECT_EQ(lines[1], "========================");
    QLabel* readings[] = {w.Lbl_Volt, w.Lbl_A, w.Label4, w.Label5, w.Label6, w.Label7};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(lines[3 + k], Gbk(readings[k]->text())) << k;
    EXPECT_EQ(lines[9], Gbk(QStringLiteral("f ：40.00Hz")));
    EXPECT_EQ(lines[10], "Rm: OFF");
    EXPECT_EQ(lines[11].substr(0, 6), Gbk(QStringLiteral("Date：")));
    EXPECT_EQ(lines[11].size(), 25u);
    EXPECT_TRUE(platform.Boxes.empty());
}

TEST_F(ResultEndToEnd, SaveOnCompWritesTheRecordOpenedFromTheHistory) {
    TSimOptions options = TSimLine::Quiet();
    for (int k = 0; k < 3; ++k) options.Instrument.Records.push_back(KnownRecord(k));
    Start(options);
    TfrmKR3090& w = *window;
    w.BBtn_His->click();
    ASSERT_TRUE(WaitUntil([&] { return w.LView_History->rowCount() == 3 && Notice().isEmpty(); }));
    w.LView_History->selectRow(1);
    w.BBtn_Open->click();
    ASSERT_TRUE(WaitUntil([&] { return w.Lbl_Index->text() == "第002条" && Notice().isEmpty(); }));
    EXPECT_EQ(w.ActivePageName(), "Comp");

    const QString path = folder.filePath(QStringLiteral("记录.txt"));
    platform.SaveAnswer = path;
    w.BitBtn4->click();
    w.BitBtn4->click();
    // Record 2: 41 Hz, 0.5 V, 0 A, -45°, Rm on, stored 2017-02-02 01:01:07.
    const char* const block[] = {"第002条",
                                 " 大地网接地参数测试数据",
                                 "========================",
                                 "",
                                 "U ：500.0mV",
                                 "I ：0.000A",
                                 "Φ：45.00°",
                                 "Z ：0.000mΩ",
                                 "R ：0.000mΩ",
                                 "X ：0.000mΩ",
                                 "f ：41.00Hz",
                                 "Rm：ON",
                                 "测试时间：2017.02.02 01:01:07",
                                 "",
                                 "",
                                 ""};
    const std::vector<std::string> lines = SplitLines(ReadFile(path));
    ASSERT_EQ(lines.size(), 32u);
    for (int k = 0; k < 32; ++k)
        EXPECT_EQ(lines[k], Gbk(QString::fromUtf8(block[k % 16]))) << "line " << k;
    EXPECT_TRUE(platform.Boxes.empty());
}

TEST_F(ResultEndToEnd, UploadOfHundredRecordsWritesHundredBlocksAndOpensTheFile) {
    TSimOptions options = TSimLine::Quiet();
    for (int k = 0; k < 100; ++k) options.Instrument.Records.push_back(KnownRecord(k));
    options.PaceBaud = 115200;  // as fast as a real line lets the bytes out
    Start(options);
    TfrmKR3090& w = *window;
    const QString path = folder.filePath(QStringLiteral("上传 历史.txt"));
    platform.SaveAnswer = path;
    w.BBtn_UpHis->click();
    EXPECT_EQ(Notice(), "正在上传数据，请稍候！");
    ASSERT_TRUE(WaitUntil([&] { return GlobVar.UploadCount == 100; }, 30));
    EXPECT_EQ(GlobVar.UploadTotal, 100);
    // The notice goes within about three seconds of the connect press, then
    // the file is handed to the shell.
    ASSERT_TRUE(WaitUntil([&] { return !platform.Opened.empty(); }, 10));
    EXPECT_EQ(platform.Opened, std::vector<QString>{path});
    EXPECT_EQ(Notice(), "");
    EXPECT_TRUE(platform.Boxes.empty());

    const std::vector<std::string> lines = SplitLines(ReadFile(path));
    ASSERT_EQ(lines.size(), 1600u);
    for (int k = 0; k < 100; ++k) {
        const std::vector<QString> block = ExpectedBlock(k, k + 1);
        for (int l = 0; l < 16; ++l)
            ASSERT_EQ(lines[k * 16 + l], Gbk(block[l])) << "block " << k + 1 << " line " << l;
    }
}

TEST_F(ResultEndToEnd, UploadWithRecordsMissingKeepsTheBusyNoticeAndOpensNothing) {
    TSimOptions options = TSimLine::Quiet();
    for (int k = 0; k < 10; ++k) options.Instrument.Records.push_back(KnownRecord(k));
    options.Faults.UploadMissing = 2;  // the header announces 12
    Start(options);
    const QString path = folder.filePath(QStringLiteral("short.txt"));
    platform.SaveAnswer = path;
    window->BBtn_UpHis->click();
    ASSERT_TRUE(WaitUntil([&] { return GlobVar.UploadCount == 10; }));
    EXPECT_EQ(GlobVar.UploadTotal, 12);
    // Well past the automatic hiding of any notice.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(3500);
    WaitUntil([&] { return std::chrono::steady_clock::now() > end; }, 5);
    EXPECT_EQ(Notice(), "正在上传数据，请稍候！");
    EXPECT_TRUE(platform.Opened.empty());
    EXPECT_EQ(SplitLines(ReadFile(path)).size(), 160u);
}

// ---- spreadsheet rows

namespace {

// One expected cell of the read-back (tests/e2e/spreadsheet_readback.py).
std::string Text(const std::string& t) {
    return "s:" + t;
}
std::string Integer(int n) {
    return "i:" + std::to_string(n);
}
std::string Single(double x) {
    char text[40];
    std::snprintf(text, sizeof text, "f:%.9g", x);
    return text;
}
std::string Double(std::optional<double> x) {
    char text[40];
    if (!x || !std::isfinite(*x)) return "e:";
    std::snprintf(text, sizeof text, "d:%.17g", *x);
    return text;
}
std::string Time(const std::string& t) {
    return "t:" + t;
}

// The cells of a row with the given values, Z, R and X as the program computes them.
std::vector<std::string> ValueCells(double u, double i, double phi) {
    const std::optional<TImpedance> z = ComputeImpedance(u, i, phi);
    return {Single(u),
            Single(i),
            Single(phi),
            Double(z ? std::optional(z->Z) : std::nullopt),
            Double(z ? std::optional(z->R) : std::nullopt),
            Double(z ? std::optional(z->X) : std::nullopt)};
}

void WriteExpected(const QString& path, const std::vector<std::vector<std::string>>& rows) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    for (const auto& row : rows) {
        std::string line;
        for (const std::string& cell : row) line += (line.empty() ? "" : "\t") + cell;
        f.write((line + "\n").c_str());
    }
}

const std::vector<std::string> kHeaderCells = {
    Text("类型"),         Text("编号"),         Text("测试时间"), Text("频率(Hz)"),
    Text("电压U(V)"),     Text("电流I(A)"),     Text("相角Φ(°)"), Text("阻抗Z(Ω)"),
    Text("电阻分量R(Ω)"), Text("电抗分量X(Ω)"), Text("Rm"),       Text("数据方式")};

}  // namespace

TEST_F(ResultEndToEnd, SpreadsheetRowsFromTheDialogReadBackInASpreadsheet) {
    TSimOptions options = TSimLine::Quiet();
    for (int k = 0; k < 100; ++k) options.Instrument.Records.push_back(KnownRecord(k));
    options.PaceBaud = 115200;
    Start(options);
    platform.RealSaveDialog = true;
    TfrmKR3090& w = *window;
    w.BBtn_Start->click();
    ASSERT_TRUE(WaitUntil([&] { return w.Lbl_Volt->text() != "U ：0.000mV"; }));
    w.BBtn_Start->click();
    ASSERT_TRUE(WaitUntil([] { return !GlobVar.Testing; }));
    QApplication::processEvents();

    // Ctrl: the spreadsheet type chosen from the list, a name typed without extension.
    TFileDialogSeen seen;
    AnswerFileDialog(folder.filePath(QStringLiteral("表格")), &seen, 1);
    w.BitBtn4->click();
    const QString table = folder.filePath(QStringLiteral("表格.csv"));
    ASSERT_EQ(GlobVar.ResultFileName, table);
    EXPECT_EQ(seen.OfferedFilter, "*.txt (*.txt)");
    const TLiveReading::TValues live = w.LiveValues.value();
    const int liveFrequency = GlobVar.TestFrequency;
    const QString shown[] = {w.Lbl_Volt->text(), w.Lbl_A->text(),  w.Label4->text(),
                             w.Label5->text(),   w.Label6->text(), w.Label7->text()};

    // Comp: record 002 into the same file, which the dialog offers with its type.
    w.BBtn_His->click();
    ASSERT_TRUE(
        WaitUntil([&] { return w.LView_History->rowCount() == 100 && Notice().isEmpty(); }));
    w.LView_History->selectRow(1);
    w.BBtn_Open->click();
    ASSERT_TRUE(WaitUntil([&] { return w.Lbl_Index->text() == "第002条" && Notice().isEmpty(); }));
    AnswerFileDialog(table, &seen);
    w.BitBtn4->click();
    EXPECT_EQ(seen.OfferedFilter, "*.csv(Excel表格) (*.csv)");

    // The upload: a name typed with its extension in capitals.
    w.BitBtn10->click();
    const QString upload = folder.filePath(QStringLiteral("上传 历史.CSV"));
    AnswerFileDialog(upload);
    w.BBtn_UpHis->click();
    ASSERT_TRUE(WaitUntil([&] { return GlobVar.UploadCount == 100; }, 30));
    ASSERT_TRUE(WaitUntil([&] { return !platform.Opened.empty(); }, 10));
    EXPECT_EQ(platform.Opened, std::vector<QString>{upload});
    EXPECT_TRUE(platform.Boxes.empty());

    // The bytes: GBK, CR LF, one header, the documented texts.
    const std::vector<std::string> tableLines = SplitLines(ReadFile(table));
    ASSERT_EQ(tableLines.size(), 3u);
    EXPECT_EQ(tableLines[0],
              Gbk(QStringLiteral("类型,编号,测试时间,频率(Hz),电压U(V),电流I(A),"
                                 "相角Φ(°),阻抗Z(Ω),电阻分量R(Ω),电抗分量X(Ω),Rm,数据方式")));
    EXPECT_EQ(tableLines[2],
              Gbk(QStringLiteral("记录,2,2017-02-02 01:01:07,41,0.5,0,45,,,,接通,")));
    // The live row holds the very values the Ctrl page showed.
    const QStringList cells =
        QString(QStringDecoder("GBK")(QByteArray::fromStdString(tableLines[1]))).split(u',');
    ASSERT_EQ(cells.size(), 12);
    EXPECT_EQ(cells[0], "实时");
    EXPECT_EQ(cells[1], "");
    EXPECT_TRUE(FullMatch(cells[2], "20\\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d"))
        << cells[2].toStdString();
    EXPECT_EQ(cells[3].toInt(), liveFrequency);
    const std::string texts[] = {
        "U ：" + VoltageText(cells[4].toDouble()),   "I ：" + CurrentText(cells[5].toDouble()),
        "Φ：" + PhaseText(cells[6].toDouble()),      "Z ：" + ImpedanceText(cells[7].toDouble()),
        "R ：" + ImpedanceText(cells[8].toDouble()), "X ：" + ImpedanceText(cells[9].toDouble())};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(texts[k], shown[k].toStdString()) << k;
    EXPECT_EQ(cells[10], GlobVar.RmMode == 1 ? "接通" : "断开");
    EXPECT_EQ(cells[11], GlobVar.DataMode == 1 ? "瞬时值" : "平均值");

    const std::vector<std::string> uploadLines = SplitLines(ReadFile(upload));
    ASSERT_EQ(uploadLines.size(), 101u);
    EXPECT_EQ(uploadLines[0], tableLines[0]);
    EXPECT_EQ(uploadLines[1], Gbk(QStringLiteral("上传,1,20117-01-01 00:00:00,40,12.5,1.25,30,10,"
                                                 "8.660254037919213,4.999999999870395,断开,")));
    EXPECT_EQ(uploadLines[2],
              Gbk(QStringLiteral("上传,2,2017-02-02 01:01:07,41,0.5,0,45,,,,接通,")));

    // Calc reads every cell back: numbers as the decoded values, texts as written.
    std::vector<std::vector<std::string>> tableCells{kHeaderCells};
    std::vector<std::string> liveRow{Text("实时"), "e:", Time(cells[2].toStdString()),
                                     Integer(liveFrequency)};
    for (const std::string& c : ValueCells(live.U, live.I, live.Phi)) liveRow.push_back(c);
    liveRow.push_back(Text(cells[10].toStdString()));
    liveRow.push_back(Text(cells[11].toStdString()));
    tableCells.push_back(liveRow);
    std::vector<std::vector<std::string>> uploadCells{kHeaderCells};
    for (int k = 0; k < 100; ++k) {
        const TRecord r = KnownRecord(k);
        std::vector<std::string> row{Text("上传"), Integer(k + 1),
                                     Time(Format("20%.2d-%.2d-%.2d", r.Year, r.Month, r.Day) +
                                          Format(" %.2d:%.2d:%.2d", r.Hour, r.Minute, r.Second)),
                                     Integer(r.Frequency)};
        for (const std::string& c : ValueCells(r.Voltage, r.Current, std::fabs(r.Phase)))
            row.push_back(c);
        row.push_back(Text(r.RmOn ? "接通" : "断开"));
        row.push_back("e:");
        uploadCells.push_back(row);
        if (k == 1) {
            row[0] = Text("记录");
            row[1] = Integer(2);
            tableCells.push_back(row);
        }
    }
    const QString tableCellsPath = folder.filePath(QStringLiteral("table.tsv"));
    const QString uploadCellsPath = folder.filePath(QStringLiteral("upload.tsv"));
    WriteExpected(tableCellsPath, tableCells);
    WriteExpected(uploadCellsPath, uploadCells);
    EXPECT_EQ(QProcess::execute(QStringLiteral(KR3090_SPREADSHEET_READBACK),
                                {folder.path(), table, tableCellsPath, upload, uploadCellsPath}),
              0);
}

// ---- 频率分析 from the simulator's records to the plot

TEST_F(ResultEndToEnd, FrequencyAnalysisOfTheInstrumentsRecordsFromTheButtonToThePlot) {
    // The instrument's own records at power-up: 45, 55, 45, 55, 50, 40 and 60 Hz.
    TSimOptions options = TSimLine::Quiet();
    std::vector<TRecordValues> records;
    const TInstrument instrument(options.Instrument);
    for (const TRecord& r : instrument.Records())
        records.push_back(
            {r.Frequency, std::fabs(r.Voltage), std::fabs(r.Current), std::fabs(r.Phase)});
    Start(options);
    TfrmKR3090& w = *window;
    w.BBtn_His->click();
    ASSERT_TRUE(WaitUntil([&] { return w.LView_History->rowCount() == 7 && Notice().isEmpty(); }));
    w.BBtn_FreqAnalysis->click();
    EXPECT_EQ(Notice(), "正在读取数据，请稍候！");
    ASSERT_TRUE(WaitUntil([] { return frmFreqAnalysis && frmFreqAnalysis->isVisible(); }));
    EXPECT_EQ(Notice(), "");
    TfrmFreqAnalysis& f = *frmFreqAnalysis;
    ASSERT_EQ(f.LView_Records->rowCount(), 7);
    EXPECT_EQ(f.Lbl_Count->text(), "共7条记录，已勾选7条，计入7条");

    // The table of means holds what the analysis gives for the same records.
    const auto expectMeans = [&](const std::vector<bool>& checked, int f0) {
        const TFreqAnalysis a = AnalyseFrequencies(records, checked, f0, 5);
        EXPECT_EQ(f.LView_Means->rowCount(), int(a.Means.size()));
        for (int row = 0; row < int(a.Means.size()); ++row) {
            const std::vector<std::string> cells = AnalysisMeanCells(a.Means[row], a);
            for (int c = 0; c < int(cells.size()); ++c)
                EXPECT_EQ(f.LView_Means->item(row, c)->text().toStdString(), cells[c])
                    << row << " " << c;
        }
        return a;
    };
    const TFreqAnalysis all = expectMeans({}, 50);
    ASSERT_EQ(all.Means.size(), 5u);
    EXPECT_EQ(f.Lbl_Method->text(), "由 45Hz 与 55Hz 线性插值");
    // By hand from the records' U, I and Φ as sent: at 45 Hz R 1.735514 and
    // 1.735978, X 0.901912 and 0.902153; at 55 Hz R 1.732138 and 1.730468,
    // X 1.096282 and 1.099036. Means 1.735746 + j0.902032 and 1.731303 +
    // j1.097659, halfway: R0 1.733525, X0 0.999846, Z0 2.001199, Φ0 29.975°
    // (the grid's 2 Ω at 30° within the readings' noise).
    EXPECT_EQ(f.Lbl_TwoPoint->text(), "Z0 ：2.001Ω   R0 ：1.733Ω   X0 ：999.8mΩ   Φ0：29.98°");
    EXPECT_EQ(f.Lbl_TwoPoint->text().toStdString(),
              "Z0 ：" + ImpedanceText(all.TwoPoint->Value.Z) + "   R0 ：" +
                  ImpedanceText(all.TwoPoint->Value.R) + "   X0 ：" +
                  ImpedanceText(all.TwoPoint->Value.X) + "   Φ0：" +
                  PhaseText(all.TwoPoint->Value.Phi));
    EXPECT_TRUE(f.Lbl_LineFit->text().startsWith("最小二乘直线（40Hz至60Hz，4个频率）"));
    EXPECT_TRUE(f.PBox_Plot->accessibleDescription().contains(f.Lbl_TwoPoint->text()));

    // Record 004 (55 Hz) belongs to another set-up: unchecked, everything follows.
    const QString before = f.Lbl_TwoPoint->text();
    f.LView_Records->item(3, 0)->setCheckState(Qt::Unchecked);
    expectMeans({true, true, true, false, true, true, true}, 50);
    EXPECT_NE(f.Lbl_TwoPoint->text(), before);
    EXPECT_EQ(f.Lbl_Count->text(), "共7条记录，已勾选6条，计入6条");

    // At 60 Hz nothing lies above: no value, and the window says why.
    f.CBox_F0->setCurrentIndex(1);
    expectMeans({true, true, true, false, true, true, true}, 60);
    EXPECT_EQ(f.Lbl_Method->text(), "没有高于60Hz的测试频率，无工频值（不外推）");
    EXPECT_EQ(f.Lbl_TwoPoint->text(), "");
    EXPECT_EQ(f.LView_Records->item(6, 9)->text(), "工频点，不参与计算");
    EXPECT_TRUE(f.PBox_Plot->accessibleDescription().endsWith(
        "工频60Hz：没有高于60Hz的测试频率，无工频值（不外推）"));

    // The plot as a picture: drawn on white, with ink.
    f.CBox_F0->setCurrentIndex(0);
    const QString picture = folder.filePath(QStringLiteral("分析.png"));
    platform.SaveAnswer = picture;
    f.BBtn_SavePng->click();
    const QImage image(picture);
    ASSERT_EQ(image.size(), QSize(1200, 800));
    int ink = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) ink += qGray(image.pixel(x, y)) < 128;
    EXPECT_GT(ink, 2000);
    // The only box says where the picture went.
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_TRUE(platform.Boxes[0].startsWith(QStringLiteral("图片已保存到：")));
    platform.Boxes.clear();

    // The checked records go on to the archive and to a report as they are checked.
    ArchiveAccess().Close();
    TArchiveSettings config;
    config.File = folder.filePath(QStringLiteral("档案.sqlite")).toStdString();
    SaveArchiveSettings(GlobVar.ConfigFileName.toStdString(), config,
                        GlobVar.DataFolder.toStdString());
    f.BBtn_Store->click();
    ASSERT_TRUE(OpenWindow<TfrmArchiveStore>() && OpenWindow<TfrmArchiveStore>()->isVisible());
    EXPECT_EQ(OpenWindow<TfrmArchiveStore>()->Lbl_Source->text(), "频率分析中的记录，共7条");
    for (int row = 0; row < 7; ++row)
        EXPECT_EQ(OpenWindow<TfrmArchiveStore>()->LView_Records->item(row, 0)->checkState(),
                  row == 3 ? Qt::Unchecked : Qt::Checked);
    OpenWindow<TfrmArchiveStore>()->close();
    f.BBtn_Report->click();
    ASSERT_TRUE(frmAnalysisReport && frmAnalysisReport->isVisible());
    frmAnalysisReport->Form->Edt_SiteName->setText(QStringLiteral("试验站"));
    // The layout typed there: the factor, and the window's Z0 corrected beside it.
    TCampaignForm& layout = *frmAnalysisReport->Form;
    layout.CBox_Method->setCurrentIndex(int(TLayoutMethod::StraightLine));
    layout.Edt_Diagonal->setText(QStringLiteral("100"));
    layout.Edt_CurrentDistance->setText(QStringLiteral("500"));
    layout.Edt_ProbeDistance->setText(QStringLiteral("250"));
    const QString measured = f.Lbl_TwoPoint->text().section(QStringLiteral("   "), 0, 0).mid(4);
    const QRegularExpressionMatch factor =
        QRegularExpression(QStringLiteral("^修正系数 Z/Z'：1\\.111；修正后 Z0：([0-9.]+)Ω（实测 (.+) × 1\\.111）$"))
            .match(layout.Lbl_Factor->text());
    ASSERT_TRUE(factor.hasMatch()) << layout.Lbl_Factor->text().toStdString();
    EXPECT_EQ(factor.captured(2), measured);
    EXPECT_NEAR(factor.captured(1).toDouble(), measured.chopped(1).toDouble() * 1.1111, 0.002);
    EXPECT_EQ(layout.Lbl_Warnings->text(), "测试电流 1.22A，小于 3A（依据：变频测量：测试电流不小于3A）");
    const QString pdf = folder.filePath(QStringLiteral("分析报告.pdf"));
    platform.SaveAnswer = pdf;
    frmAnalysisReport->BBtn_Pdf->click();
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("试验站"))) << text.toStdString();
    EXPECT_TRUE(text.contains(f.Lbl_TwoPoint->text().section(u' ', 0, 1)));
    EXPECT_TRUE(text.contains(QStringLiteral("修正后 Z0")));
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_TRUE(platform.Boxes[0].startsWith(QStringLiteral("测试报告已保存到：")));
    frmAnalysisReport->close();
    ArchiveAccess().Close();
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// ---- 存入档案 from the instrument and from a file, the site's trend

namespace {

// Records at 45, 50 and 55 Hz, all at 30°, I = 1 A: the two-point value at
// 50 Hz is then the mean of the 45 and 55 Hz voltages, at 30°.
std::vector<TRecord> CampaignRecords(float u45, float u50, float u55, std::uint8_t year) {
    std::vector<TRecord> records;
    for (auto [f, u] : {std::pair{45, u45}, {50, u50}, {55, u55}}) {
        TRecord r;
        r.Frequency = std::uint8_t(f);
        r.Voltage = u;
        r.Current = 1;
        r.Phase = 30;
        r.Year = year;
        r.Month = 5;
        r.Day = std::uint8_t(f - 30);
        r.Hour = 9;
        records.push_back(r);
    }
    return records;
}

}  // namespace

TEST_F(ResultEndToEnd, TwoCampaignsOfOneSiteFromTheInstrumentAndAFileMakeItsTrend) {
    TSimOptions options = TSimLine::Quiet();
    options.Instrument.Records = CampaignRecords(2.0f, 2.2f, 2.4f, 21);
    Start(options);
    // A SQLite file, or the test server when KR3090_ARCHIVE_SERVER names one
    // (scripts/archive-server-test.sh), emptied of earlier sites.
    ArchiveAccess().Close();
    const QString server = qEnvironmentVariable("KR3090_ARCHIVE_SERVER");
    TArchiveSettings config;
    config.File = folder.filePath(QStringLiteral("档案.sqlite")).toStdString();
    if (!server.isEmpty()) {
        config.Driver = TArchiveDriver::PostgreSQL;
        config.Database = config.User = "kr3090";
        config.Host = server.toStdString();
        qputenv("PGPASSFILE", (server + QStringLiteral("/pgpass")).toLocal8Bit());
    }
    SaveArchiveSettings(GlobVar.ConfigFileName.toStdString(), config,
                        GlobVar.DataFolder.toStdString());
    ArchiveAccess().Call(nullptr, [](TArchive& a) {
        for (const TSite& s : a.Sites()) a.DeleteSite(s.Id);
    });
    TfrmKR3090& w = *window;
    w.BBtn_His->click();
    ASSERT_TRUE(WaitUntil([&] { return w.LView_History->rowCount() == 3 && Notice().isEmpty(); }));

    // The instrument's records into a new site and campaign.
    const QString site = QStringLiteral("第一变电站'); DROP TABLE records;--");
    const auto storeFromInstrument = [&] {
        w.BBtn_Store->click();
        EXPECT_EQ(Notice(), "正在读取数据，请稍候！");
        EXPECT_TRUE(WaitUntil([] {
            return OpenWindow<TfrmArchiveStore>() && OpenWindow<TfrmArchiveStore>()->isVisible();
        }));
        EXPECT_EQ(Notice(), "");
    };
    storeFromInstrument();
    TfrmArchiveStore* s = OpenWindow<TfrmArchiveStore>();
    ASSERT_EQ(s->LView_Records->rowCount(), 3);
    EXPECT_EQ(s->Lbl_Source->text(), "仪器中的记录，共3条");
    s->Form->Edt_SiteName->setText(site);
    s->Form->Edt_VoltageLevel->setText(QStringLiteral("110kV"));
    s->Form->DEdt_Date->setDate(QDate(2021, 5, 12));
    s->Form->Edt_Testers->setText(QStringLiteral("张三"));
    s->Form->Edt_Limit->setText(QStringLiteral("2.5"));
    s->BBtn_Store->click();
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_EQ(platform.Boxes[0], QStringLiteral("已存入档案“") + site +
                                     QStringLiteral(" 2021-05-12”：新增3条记录，0条已在档案中。"));
    ASSERT_TRUE(WaitUntil([] { return !OpenWindow<TfrmArchiveStore>(); }));

    if (!server.isEmpty()) {
        // The server goes away mid-session: the window says so at once, and
        // the next action finds it again once it is back.
        const auto control = [&](const char* action) {
            return QProcess::execute(QStringLiteral(KR3090_ARCHIVE_SERVER_SCRIPT),
                                     {QString::fromLatin1(action), server});
        };
        ASSERT_EQ(control("stop"), 0);
        const auto t0 = std::chrono::steady_clock::now();
        w.BBtn_Archive->click();
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(12));
        ASSERT_EQ(platform.Boxes.size(), 2u);
        EXPECT_EQ(OpenWindow<TfrmArchive>()->LView_Sites->rowCount(), 0);
        ASSERT_EQ(control("start"), 0);
        OpenWindow<TfrmArchive>()->Refresh();
        EXPECT_EQ(OpenWindow<TfrmArchive>()->LView_Sites->rowCount(), 1);
        EXPECT_EQ(platform.Boxes.size(), 2u);
        OpenWindow<TfrmArchive>()->close();
        platform.Boxes.pop_back();
    }

    // The same records again, into the same campaign: nothing new.
    storeFromInstrument();
    s = OpenWindow<TfrmArchiveStore>();
    s->Form->CBox_Site->setCurrentIndex(1);
    s->Form->CBox_Campaign->setCurrentIndex(1);
    EXPECT_EQ(s->Form->Edt_Limit->text(), "2.5");
    s->BBtn_Store->click();
    ASSERT_EQ(platform.Boxes.size(), 2u);
    EXPECT_TRUE(platform.Boxes[1].endsWith("：新增0条记录，3条已在档案中。"))
        << platform.Boxes[1].toStdString();
    ASSERT_TRUE(WaitUntil([] { return !OpenWindow<TfrmArchiveStore>(); }));

    // Three years on, the site's next campaign comes from a spreadsheet file.
    w.BBtn_Archive->click();
    ASSERT_TRUE(OpenWindow<TfrmArchive>() && OpenWindow<TfrmArchive>()->isVisible());
    TfrmArchive& a = *OpenWindow<TfrmArchive>();
    ASSERT_EQ(a.LView_Sites->rowCount(), 1);
    EXPECT_EQ(a.LView_Sites->item(0, 0)->text(), site);
    const QString csv = folder.filePath(QStringLiteral("2024 复测.csv"));
    int n = 0;
    for (const TRecord& r : CampaignRecords(2.2f, 2.4f, 2.6f, 24))
        ASSERT_TRUE(
            AppendCsvRow(CsvRow(RecordRow("上传", ++n,
                                          {r.Frequency, r.Voltage, r.Current, r.Phase, r.RmOn,
                                           r.Year, r.Month, r.Day, r.Hour, r.Minute, r.Second})),
                         csv.toStdString()));
    platform.OpenAnswer = csv;
    a.BBtn_ImportFile->click();
    ASSERT_TRUE(OpenWindow<TfrmArchiveStore>() && OpenWindow<TfrmArchiveStore>()->isVisible());
    s = OpenWindow<TfrmArchiveStore>();
    EXPECT_EQ(s->Lbl_Source->text(), "文件 2024 复测.csv，共3条");
    EXPECT_EQ(s->Form->CBox_Site->currentIndex(), 1);  // the window's site
    s->Form->CBox_Campaign->setCurrentIndex(0);
    s->Form->DEdt_Date->setDate(QDate(2024, 5, 20));
    s->Form->Edt_Testers->setText(QStringLiteral("李四"));
    s->Form->Edt_Limit->setText(QStringLiteral("2.5"));
    s->BBtn_Store->click();
    ASSERT_EQ(platform.Boxes.size(), 3u);
    EXPECT_TRUE(platform.Boxes[2].endsWith("2024-05-20”：新增3条记录，0条已在档案中。"));

    // By hand: the means of 45 and 55 Hz at 30°, I = 1 A, so Z0 = (U45 + U55) / 2
    // with the singles as sent, and the change against the first campaign.
    const double z1 = (double(2.0f) + double(2.4f)) / 2, z2 = (double(2.2f) + double(2.6f)) / 2;
    ASSERT_EQ(a.LView_Campaigns->rowCount(), 2);
    const std::vector<std::vector<std::string>> rows{
        {"2021-05-12", "张三", "3", "50Hz", ImpedanceText(z1), "无布线数据，无修正系数", "无", "",
         "2.500Ω", "设定限值 2.500Ω，Z0 低于设定限值 " + ImpedanceText(2.5 - z1), "无布线数据"},
        {"2024-05-20", "李四", "3", "50Hz", ImpedanceText(z2), "无布线数据，无修正系数", "无",
         "+9.1%", "2.500Ω", "设定限值 2.500Ω，Z0 低于设定限值 " + ImpedanceText(2.5 - z2),
         "无布线数据"}};
    // The singles make Z0 a hair above 2.2 Ω: 299.9mΩ below the limit, cut as every text is.
    EXPECT_EQ(ImpedanceText(2.5 - z1), "299.9mΩ");
    for (int row = 0; row < 2; ++row)
        for (int c = 0; c < int(rows[row].size()); ++c)
            EXPECT_EQ(a.LView_Campaigns->item(row, c)->text().toStdString(), rows[row][c])
                << row << " " << c;
    EXPECT_NEAR((z2 - z1) / z1 * 100, 9.0909, 1e-4);
    EXPECT_EQ(a.LView_CampRecords->rowCount(), 3);  // the latest campaign's
    EXPECT_TRUE(a.PBox_Trend->accessibleDescription().contains(
        QStringLiteral("2021-05-12：Z0 ") + QString::fromStdString(ImpedanceText(z1))));
    EXPECT_TRUE(a.PBox_Trend->accessibleDescription().contains(
        QStringLiteral("2024-05-20：Z0 ") + QString::fromStdString(ImpedanceText(z2))));

    // The site's campaigns as spreadsheet rows, the values to every digit.
    const QString table = folder.filePath(QStringLiteral("场地.csv"));
    platform.SaveAnswer = table;
    a.BBtn_ExportCsv->click();
    const std::vector<std::string> lines = SplitLines(ReadFile(table));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], Gbk(QStringLiteral("场地,") + site +
                            QStringLiteral(",电压等级,110kV,地网尺寸,,位置,,复测周期(年),6,"
                                           "下次测试,2030-05-20")));
    const auto cells = [](const std::string& line) {
        return QString::fromStdString(line).split(u',');
    };
    EXPECT_EQ(cells(lines[4])[9].toStdString(), CsvNumber(z2));
    EXPECT_EQ(cells(lines[4])[14].toStdString(), CsvNumber((z2 - z1) / z1 * 100));

    // The selected (latest) campaign's report as a PDF from the archive window.
    const QString pdf = folder.filePath(QStringLiteral("2024 报告.pdf"));
    platform.SaveAnswer = pdf;
    a.BBtn_Pdf->click();
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(site)) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("2024-05-20")));
    EXPECT_TRUE(
        text.contains(QString::fromStdString("Z0 低于设定限值 " + ImpedanceText(2.5 - z2))));

    // The trend and the window as pictures, to look at.
    a.resize(1200, 900);
    a.PBox_Trend->Picture(QSize(900, 500)).save(folder.filePath(QStringLiteral("trend.png")));
    a.grab().save(QStringLiteral(KR3090_ARCHIVE_SHOT));
    a.close();
    ArchiveAccess().Close();
    // And where the table and the report went.
    ASSERT_EQ(platform.Boxes.size(), 5u);
    EXPECT_TRUE(platform.Boxes[3].startsWith("表格（GBK）已保存到："));
    EXPECT_TRUE(platform.Boxes[4].startsWith("测试报告已保存到："));
}
