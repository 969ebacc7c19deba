#pragma once
// 宋体 ("SimSun") is the program's font. Fontconfig does not map that name to a
// Chinese font by itself, so the program maps it, for Qt alone, to Debian's
// Song-style AR PL UMing and then to other CJK families. No environment
// variable or system file is changed. Windows has the font itself.

#include <QFont>
#include <QString>

// Safe to call more than once.
void InstallSongFontSubstitution();

// 宋体 at a character height in pixels (the designed sizes: 13, 16, 24, 27, 29,
// 32, 33, 35, 67).
QFont SongFont(int pixelHeight);

// 宋体 in points, for print: its size on paper does not depend on the printer's
// resolution. Installs the substitution if nobody has yet.
QFont SongFontPoints(double points);
