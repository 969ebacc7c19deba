// Program entry: one maximised main window; the process lives as long as it.
#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>

#include "app/main/CommandLine.h"
#include "app/main/KR3090frm.h"
#include "app/main/QtTranslation.h"
#include "app/main/TeamCommand.h"
#include "app/main/TraceLogging.h"
#include "report/SongFont.h"

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int k = 0; k < argc; ++k) arguments << QString::fromLocal8Bit(argv[k]);
    const std::optional<QString> answer = CommandLineAnswer(arguments);
    // An office script's sync needs no display.
    if (!answer && AsksForSync(arguments)) {
        QCoreApplication app(argc, argv);
        return RunSync(arguments);
    }
    if (!answer && AsksForTeamSetup(arguments)) {
        QCoreApplication app(argc, argv);
        return RunTeamSetup(arguments);
    }
#ifndef Q_OS_WIN
    // A terminal's question is answered on the terminal, display or not.
    if (answer) {
        std::fputs(answer->toUtf8().constData(), stdout);
        return 0;
    }
    if (const std::optional<QString> none = NoDisplayText(arguments)) {
        std::fputs(none->toUtf8().constData(), stderr);
        return 1;
    }
#endif
    WatchStartup();
    QApplication app(argc, argv);
    EndStartupWatch();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1/kr3090.png").arg(size));
    app.setWindowIcon(icon);
    InstallSongFontSubstitution();
    InstallQtTranslation();
#ifdef Q_OS_WIN
    // A program without a console answers in a box, as Windows programs do.
    if (answer) {
        QMessageBox::information(nullptr, QStringLiteral("kr3090"), answer->trimmed());
        return 0;
    }
#else
    // Windows traces to its debug channel, which nobody reads unless attached.
    RouteTraceToLogging(app.arguments().contains(QStringLiteral("--trace")));
#endif
    TfrmKR3090 frmKR3090;
    frmKR3090.showMaximized();
    return app.exec();
}
