#include "report/SongFont.h"

#include <QStringList>

namespace {
const QStringList songSubstitutes = {
    QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW"),
    QStringLiteral("Noto Serif CJK SC"), QStringLiteral("WenQuanYi Zen Hei"),
    QStringLiteral("Noto Sans CJK SC")};
}

void InstallSongFontSubstitution() {
    // insertSubstitutions keeps names already in the list, so calling again adds nothing.
    QFont::insertSubstitutions(QStringLiteral("SimSun"), songSubstitutes);
    QFont::insertSubstitutions(QStringLiteral("宋体"), songSubstitutes);
}

QFont SongFont(int pixelHeight) {
    QFont font(QStringLiteral("SimSun"));
    font.setPixelSize(pixelHeight);
    return font;
}

QFont SongFontPoints(double points) {
    static const bool installed = (InstallSongFontSubstitution(), true);
    (void)installed;
    QFont font(QStringLiteral("SimSun"));
    font.setPointSizeF(points);
    return font;
}
