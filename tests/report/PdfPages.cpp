#include "PdfPages.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <algorithm>

QString RunTool(const QString& program, const QStringList& args, int timeoutMs) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(timeoutMs)) {
        ADD_FAILURE() << program.toStdString()
                      << " could not start: " << p.errorString().toStdString();
        return {};
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << program.toStdString() << " did not finish";
        return {};
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " " << args.join(' ').toStdString()
                      << " failed: " << p.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

namespace {
TPdfBox ReadBox(const QXmlStreamAttributes& a) {
    return {a.value("xMin").toDouble(), a.value("yMin").toDouble(), a.value("xMax").toDouble(),
            a.value("yMax").toDouble()};
}
}  // namespace

QList<TPdfPage> ReadPdfPages(const QString& file) {
    const QString xml = RunTool("pdftotext", {"-bbox-layout", "-enc", "UTF-8", file, "-"});
    QList<TPdfPage> pages;
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement) continue;
        const auto name = r.name();
        if (name == QLatin1String("page")) {
            TPdfPage page;
            page.Width = r.attributes().value("width").toDouble();
            page.Height = r.attributes().value("height").toDouble();
            pages << page;
        } else if (name == QLatin1String("line") && !pages.isEmpty()) {
            TPdfLine line;
            line.Box = ReadBox(r.attributes());
            pages.last().Lines << line;
        } else if (name == QLatin1String("word") && !pages.isEmpty() &&
                   !pages.last().Lines.isEmpty()) {
            TPdfWord word;
            word.Box = ReadBox(r.attributes());
            word.Text = r.readElementText();
            TPdfLine& line = pages.last().Lines.last();
            line.Words << word;
            line.Text = line.Text.isEmpty() ? word.Text : line.Text + ' ' + word.Text;
        }
    }
    if (r.hasError())
        ADD_FAILURE() << "pdftotext output unreadable: " << r.errorString().toStdString();
    for (TPdfPage& page : pages)
        std::stable_sort(
            page.Lines.begin(), page.Lines.end(),
            [](const TPdfLine& a, const TPdfLine& b) { return a.Box.yMin < b.Box.yMin; });
    return pages;
}

QStringList LineTexts(const TPdfPage& page) {
    QStringList texts;
    for (const TPdfLine& line : page.Lines) texts << line.Text;
    return texts;
}

TGrayImage RenderPage(const QString& file, int page, double dpi) {
    TGrayImage image;
    QTemporaryDir dir;
    const QString base = dir.filePath("page");
    const QString n = QString::number(page);
    RunTool("pdftoppm",
            {"-gray", "-r", QString::number(dpi), "-f", n, "-l", n, "-singlefile", file, base});
    QFile pgm(base + ".pgm");
    if (!pgm.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "pdftoppm wrote no image of " << file.toStdString();
        return image;
    }
    const QByteArray data = pgm.readAll();
    // Binary PGM: "P5", width, height, maximum, one blank, then the pixels.
    QList<QByteArray> fields;
    int pos = 0;
    while (fields.size() < 4 && pos < data.size()) {
        while (pos < data.size() && isspace(static_cast<unsigned char>(data[pos]))) ++pos;
        const int start = pos;
        while (pos < data.size() && !isspace(static_cast<unsigned char>(data[pos]))) ++pos;
        fields << data.mid(start, pos - start);
    }
    ++pos;
    if (fields.size() < 4 || fields[0] != "P5" || fields[3] != "255") {
        ADD_FAILURE() << "not an 8-bit PGM image";
        return image;
    }
    image.Width = fields[1].toInt();
    image.Height = fields[2].toInt();
    image.Dpi = dpi;
    image.Pixels = data.mid(pos, image.Width * image.Height);
    if (image.Pixels.size() != image.Width * image.Height) {
        ADD_FAILURE() << "PGM image cut short";
        image = {};
    }
    return image;
}

TPdfBox InkBox(const TGrayImage& image, int threshold) {
    int x0 = image.Width, y0 = image.Height, x1 = -1, y1 = -1;
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x)
            if (image.At(x, y) < threshold) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    if (x1 < 0) return {};
    const double pt = 72.0 / image.Dpi;
    return {x0 * pt, y0 * pt, (x1 + 1) * pt, (y1 + 1) * pt};
}
