#pragma once
// Print forms as the print command hands them over: three empty lines, then a
// result block, every line filled with blanks to 25 GBK bytes (longer lines
// kept). Written out here byte for byte; the blank counts are 25 minus the
// line's GBK length.

#include <QString>
#include <QStringList>

inline QString Blanks(int n) {
    return QString(n, QLatin1Char(' '));
}

// A live block printed on 16 February 2017 at 12:30:30: 18 lines.
inline QStringList LivePrintForm() {
    return {
        Blanks(25),
        Blanks(25),
        Blanks(25),
        QStringLiteral(" 大地网接地参数测试数据") + Blanks(2),  // 23 bytes
        QStringLiteral("========================") + Blanks(1),
        Blanks(25),
        QStringLiteral("U ：12.34V") + Blanks(15),    // 10 bytes
        QStringLiteral("I ：1.234A") + Blanks(15),    // 10 bytes
        QStringLiteral("Φ：12.34°") + Blanks(14),     // 11 bytes
        QStringLiteral("Z ：10.00Ω") + Blanks(14),    // 11 bytes
        QStringLiteral("R ：9.781Ω") + Blanks(14),    // 11 bytes
        QStringLiteral("X ：2.079Ω") + Blanks(14),    // 11 bytes
        QStringLiteral("f ：50.00Hz") + Blanks(14),   // 11 bytes
        QStringLiteral("Rm: ON") + Blanks(19),        // 6 bytes
        QStringLiteral("Date：2017-02-16 12:30:30"),  // 25 bytes
        Blanks(25),
        Blanks(25),
        Blanks(25),
    };
}

// What pdftotext reads from the live print form, top to bottom.
inline QStringList LivePrintFormText() {
    return {QStringLiteral("大地网接地参数测试数据"),
            QStringLiteral("========================"),
            QStringLiteral("U ：12.34V"),
            QStringLiteral("I ：1.234A"),
            QStringLiteral("Φ：12.34°"),
            QStringLiteral("Z ：10.00Ω"),
            QStringLiteral("R ：9.781Ω"),
            QStringLiteral("X ：2.079Ω"),
            QStringLiteral("f ：50.00Hz"),
            QStringLiteral("Rm: ON"),
            QStringLiteral("Date：2017-02-16 12:30:30")};
}
