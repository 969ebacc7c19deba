#include "report/SongFont.h"

#include <QStringList>

namespace {
const QStringList songSubstitutes = {
    QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW"),
    QStringLiteral("Noto Serif CJK SC"), QStringLiteral("WenQuanYi Zen Hei"),
    QStringLiteral("Noto Sans CJK SC")};
}

// Windows has SimSun (宋体) itself. Under wine, which has none, the name
// already reaches the host's CJK font through wine's own font links: the
// window looks the same, pixel for pixel, with the substitutes or without.
void InstallSongFontSubstitution() {
#ifndef _WIN32
    // insertSubstitutions keeps names already in the list, so calling again adds nothing.
    QFont::insertSubstitutions(QStringLiteral("SimSun"), songSubstitutes);
    QFont::insertSubstitutions(QStringLiteral("宋体"), songSubstitutes);
#endif
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
