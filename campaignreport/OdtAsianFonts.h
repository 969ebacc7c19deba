#pragma once
// Qt 6.4's ODF writer gives a text's size, weight, slant and font only as
// the Western properties (fo:font-size, fo:font-weight, ...); a word
// processor sizes Chinese text by the Asian ones (style:font-size-asian, ...)
// and would show the report's headings at body size and not bold. This adds
// the Asian and complex-script twin of each such property to content.xml.

#include <QByteArray>

// The .odt package with the twins added; the package as it was when it is not
// one this can read (it stays a valid document, with Western sizes only).
QByteArray OdtWithAsianFonts(const QByteArray& odt);
