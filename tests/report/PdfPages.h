#pragma once
// Reads a PDF back with poppler's command line tools: the text lines that
// pdftotext finds, with their boxes in points from the page's top left corner.

#include <QList>
#include <QString>
#include <QStringList>
#include <ostream>

struct TPdfBox {
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    double CentreX() const { return (xMin + xMax) / 2; }
    double Width() const { return xMax - xMin; }
    double Height() const { return yMax - yMin; }
};

struct TPdfWord {
    TPdfBox Box;
    QString Text;
};

struct TPdfLine {
    TPdfBox Box;
    QList<TPdfWord> Words;
    QString Text;  // the words joined by one blank
};

struct TPdfPage {
    double Width = 0, Height = 0;  // points
    QList<TPdfLine> Lines;         // top to bottom
};

// Readable texts in test messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{';
    for (const QString& s : l) *os << '"' << s.toStdString() << "\" ";
    *os << '}';
}

constexpr double PointsPerMm = 72.0 / 25.4;

// Runs a program, returns its standard output; fails the current test (and
// returns an empty text) when it cannot run or exits with an error.
QString RunTool(const QString& program, const QStringList& args, int timeoutMs = 60000);

// The pages of a PDF file as pdftotext -bbox-layout reads them.
QList<TPdfPage> ReadPdfPages(const QString& file);

// The texts of the lines of a page, top to bottom.
QStringList LineTexts(const TPdfPage& page);

// A gray image of a page (pdftoppm, one byte per pixel, 0 = black).
struct TGrayImage {
    int Width = 0, Height = 0;
    double Dpi = 0;
    QByteArray Pixels;
    unsigned char At(int x, int y) const {
        return static_cast<unsigned char>(Pixels[y * Width + x]);
    }
};
TGrayImage RenderPage(const QString& file, int page, double dpi);  // page from 1
inline TGrayImage RenderFirstPage(const QString& file, double dpi) {
    return RenderPage(file, 1, dpi);
}
// The smallest rectangle holding every pixel darker than threshold (in
// points from the top left corner); an empty box when there is none.
TPdfBox InkBox(const TGrayImage& image, int threshold = 128);
