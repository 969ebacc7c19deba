// Screenshots of the History page listing the simulated instrument's records,
// of the Comp page showing record 5, of the frequency analysis of all records
// and of the records going into the archive and the archive window, on a real
// X display with a window manager (run by screenshot.sh
// under Xvfb + openbox). Fails when a page does not show what the instrument
// sent.
#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "Pump.h"
#include "SimLine.h"
#include "app/analysis/FreqAnalysisfrm.h"
#include "app/archive/ArchiveAccess.h"
#include "app/archive/ArchiveStorefrm.h"
#include "app/archive/Archivefrm.h"
#include "app/archive/CampaignForm.h"
#include "app/kit/GlobVar.h"
#include "app/kit/HintFrm.h"
#include "app/kit/OpenWindow.h"
#include "app/kit/Platform.h"
#include "app/main/KR3090frm.h"
#include "settings/Config.h"
#include "link/Trace.h"
#include "report/SongFont.h"

namespace {

int Fail(const char* what) {
    std::fprintf(stderr, "screenshot: %s\n", what);
    return 1;
}

bool NoticeShown() {
    return frmHint && frmHint->isVisible();
}

// The whole screen after the window has painted.
bool Shoot(TfrmKR3090& window, const QString& path) {
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return window.screen()->grabWindow(0).save(path);
}

// Boxes are printed, not shown: nobody is there to press OK.
class TPrintingPlatform : public TQtPlatform {
  public:
    void MessageBox(QWidget*, const QString& text, const QString&, TMessageIcon) override {
        std::printf("box: %s\n", qPrintable(text));
    }
};
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Fail("usage: history_screenshot FOLDER");
    QApplication app(argc, argv);
    InstallSongFontSubstitution();
    SetTraceSink([](const std::string&) {});
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    TSimLine sim;
    int rc = 0;
    {
        TfrmKR3090 window;
        CommSettings.ComName = sim.SlavePath();
        window.showMaximized();
        const QRect screen = window.screen()->availableGeometry();
        if (!WaitUntil([&] { return window.frameGeometry().width() == screen.width(); }))
            rc = Fail("the window is not maximised");
        window.BitBtn1->click();
        if (!WaitUntil([] { return GlobVar.Connected; })) rc = Fail("no connection");

        window.BBtn_His->click();
        if (!WaitUntil([&] { return !NoticeShown() && window.LView_History->rowCount() > 0; }))
            rc = Fail("no directory");
        if (!window.Label8->text().startsWith(QStringLiteral("平均值f：")))
            rc = Fail("no average line");
        std::printf("History: %d rows, %s | %s\n", window.LView_History->rowCount(),
                    qPrintable(window.Lbl_Num->text()), qPrintable(window.Label8->text()));
        if (!Shoot(window, folder.filePath(QStringLiteral("history-page.png"))))
            rc = Fail("cannot save history-page.png");

        window.LView_History->selectRow(4);
        window.BBtn_Open->click();
        if (!WaitUntil([&] { return !NoticeShown(); })) rc = Fail("no record");
        std::printf("Comp: %s %s %s %s\n", qPrintable(window.Lbl_Index->text()),
                    qPrintable(window.Label9->text()), qPrintable(window.Label12->text()),
                    qPrintable(window.Label17->text()));
        if (window.Lbl_Index->text() != QStringLiteral("第005条")) rc = Fail("not record 5");
        if (!Shoot(window, folder.filePath(QStringLiteral("comp-page.png"))))
            rc = Fail("cannot save comp-page.png");

        window.BitBtn10->click();
        window.BBtn_FreqAnalysis->click();
        if (!WaitUntil([] { return frmFreqAnalysis && frmFreqAnalysis->isActiveWindow(); }))
            rc = Fail("no frequency analysis");
        else
            std::printf("频率分析: %s | %s\n", qPrintable(frmFreqAnalysis->Lbl_Method->text()),
                        qPrintable(frmFreqAnalysis->Lbl_TwoPoint->text()));
        if (!Shoot(window, folder.filePath(QStringLiteral("freq-analysis.png"))))
            rc = Fail("cannot save freq-analysis.png");
        frmFreqAnalysis->close();

        // The records into the archive: a new site and campaign, then the archive window.
        TPrintingPlatform platform;
        SetPlatform(&platform);
        GlobVar.ConfigFileName = folder.filePath(QStringLiteral("Config.ini"));
        QFile::remove(folder.filePath(QStringLiteral("archive.sqlite")));
        TArchiveSettings archive;
        archive.File = folder.filePath(QStringLiteral("archive.sqlite")).toStdString();
        SaveArchiveSettings(GlobVar.ConfigFileName.toStdString(), archive,
                            GlobVar.DataFolder.toStdString());
        window.BBtn_Store->click();
        if (!WaitUntil([] {
                return OpenWindow<TfrmArchiveStore>() &&
                       OpenWindow<TfrmArchiveStore>()->isActiveWindow();
            }))
            rc = Fail("no store window");
        else {
            TCampaignForm& form = *OpenWindow<TfrmArchiveStore>()->Form;
            form.Edt_SiteName->setText(QStringLiteral("东郊220kV变电站"));
            form.Edt_VoltageLevel->setText(QStringLiteral("220kV"));
            form.Edt_GridSize->setText(QStringLiteral("180m×120m"));
            form.DEdt_Date->setDate(QDate(2025, 3, 4));
            form.Edt_Testers->setText(QStringLiteral("张三、李四"));
            form.Edt_Weather->setText(QStringLiteral("晴"));
            form.Edt_LeadLayout->setText(QStringLiteral("直线法"));
            form.Edt_LeadLengths->setText(QStringLiteral("电流极 900m，电压极 560m"));
            form.Edt_Limit->setText(QStringLiteral("2.5"));
            if (!Shoot(window, folder.filePath(QStringLiteral("archive-store.png"))))
                rc = Fail("cannot save archive-store.png");
            OpenWindow<TfrmArchiveStore>()->BBtn_Store->click();
        }
        window.BBtn_Archive->click();
        if (!WaitUntil([] {
                return OpenWindow<TfrmArchive>() && OpenWindow<TfrmArchive>()->isActiveWindow();
            }))
            rc = Fail("no archive window");
        else if (OpenWindow<TfrmArchive>()->LView_Campaigns->rowCount() != 1)
            rc = Fail("the stored campaign is not in the archive window");
        if (!Shoot(window, folder.filePath(QStringLiteral("archive-window.png"))))
            rc = Fail("cannot save archive-window.png");
        SetPlatform(nullptr);
        window.close();
    }
    return rc;
}
