// Screenshots of the History page listing the simulated instrument's records,
// of the Comp page showing record 5 and of the frequency analysis of all
// records, on a real X display with a window manager (run by screenshot.sh
// under Xvfb + openbox). Fails when a page does not show what the instrument
// sent.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "Pump.h"
#include "SimLine.h"
#include "app/GlobVar.h"
#include "app/HintFrm.h"
#include "app/KR3090frm.h"
#include "link/Config.h"
#include "link/Trace.h"
#include "report/SongFont.h"
#include "app/FreqAnalysisfrm.h"

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
        window.close();
    }
    return rc;
}
