// Program entry: one maximised main window; the process lives as long as it.
#include <QApplication>
#include <QIcon>

#include "app/main/KR3090frm.h"
#include "app/main/QtTranslation.h"
#include "app/main/TraceLogging.h"
#include "report/SongFont.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1/kr3090.png").arg(size));
    app.setWindowIcon(icon);
    InstallSongFontSubstitution();
    InstallQtTranslation();
#ifndef Q_OS_WIN
    // Windows traces to its debug channel, which nobody reads unless attached.
    RouteTraceToLogging(app.arguments().contains(QStringLiteral("--trace")));
#endif
    TfrmKR3090 frmKR3090;
    frmKR3090.showMaximized();
    return app.exec();
}
