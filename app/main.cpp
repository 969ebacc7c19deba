// Program entry: one maximised main window; the process lives as long as it.
#include <QApplication>

#include "app/KR3090frm.h"
#include "report/SongFont.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InstallSongFontSubstitution();
    TfrmKR3090 frmKR3090;
    frmKR3090.showMaximized();
    return app.exec();
}
