#include "report/SongFont.h"

#include <QStringList>

namespace {
const QStringList songSubstitutes = {QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW"),
                                     QStringLiteral("Noto Serif CJK SC"),
                                     QStringLiteral("WenQuanYi Zen Hei"),
                                     QStringLiteral("Noto Sans CJK SC")};
}

void InstallSongFontSubstitution() {
    QFont::insertSubstitutions(QStringLiteral("SimSun"), songSubstitutes);
    QFont::insertSubstitutions(QStringLiteral("宋体"), songSubstitutes);
}

QFont SongFont(int pixelHeight) {
    QFont font(QStringLiteral("SimSun"));
    font.setPixelSize(pixelHeight);
    return font;
}
