// Screenshot of the Ctrl page after connecting and starting a test, on a real
// X display with a window manager (run by screenshot.sh under Xvfb + openbox).
// Fails when the window is not maximised or 宋体 does not resolve to the
// Song-style AR PL UMing.
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "Pump.h"
#include "SimLine.h"
#include "app/kit/GlobVar.h"
#include "app/main/KR3090frm.h"
#include "settings/Config.h"
#include "link/Trace.h"
#include "report/SongFont.h"

namespace {

int Fail(const char* what) {
    std::fprintf(stderr, "screenshot: %s\n", what);
    return 1;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Fail("usage: ctrl_screenshot OUT.png");
    QApplication app(argc, argv);
    InstallSongFontSubstitution();
    SetTraceSink([](const std::string&) {});
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
        window.BBtn_Start->click();
        if (!WaitUntil([&] { return window.Lbl_Speed->text().size() >= 6; }))
            rc = Fail("no progress line");
        const QString family = QFontInfo(window.Lbl_Volt->font()).family();
        std::printf("window %dx%d on %dx%d, 宋体 resolves to %s\n", window.width(), window.height(),
                    screen.width(), screen.height(), qPrintable(family));
        if (!family.startsWith(QStringLiteral("AR PL UMing"))) rc = Fail("宋体 is not AR PL UMing");
        QApplication::processEvents();
        const QPixmap shot = window.screen()->grabWindow(0);
        if (!shot.save(QString::fromLocal8Bit(argv[1]))) rc = Fail("cannot save the PNG");
        window.close();
    }
    return rc;
}
