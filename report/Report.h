#pragma once
// The report engine. A report is one page of paper with margins; its bands lie
// across the page between the side margins: page headers and title bands are
// stacked down from the top margin in the order they were created, the page
// footer sits on the bottom margin. Bands carry text memos. All sizes are
// millimetres on the paper.
//
// Every report prints on exactly one sheet. A band that reaches past the paper
// is cut at its edge instead of being continued on a second sheet; so a page
// header designed taller than the page (as the result sheet's is) never pushes
// an empty title band or footer onto a sheet of its own.

#include <QColor>
#include <QFont>
#include <QList>
#include <QObject>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QRectF>
#include <QStringList>
#include <stdexcept>

class QPainter;
class TReportMemo;

// Raised when a page cannot be laid out or handed to the printer; what() is
// the text for the user, UTF-8.
class EReportError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct TReportPage {
    QPageSize::PageSizeId Paper = QPageSize::A4;
    QPageLayout::Orientation Orientation = QPageLayout::Portrait;
    double TopMargin = 0;
    double BottomMargin = 0;
    double LeftMargin = 0;
    double RightMargin = 0;
    int Zoom = 100;  // percent
};

struct TReportOptions {
    bool FirstPageHeader = true;  // page header printed on the first page
    bool LastPageFooter = true;   // page footer printed on the last page
    bool PrintIfEmpty = true;     // printed although there is no data
    int Copies = 1;
    QPrinter::DuplexMode Duplex = QPrinter::DuplexNone;
    QPrinter::PaperSource PaperBin = QPrinter::Auto;
};

enum class TBandType { PageHeader, Title, PageFooter };

class TReportBand : public QObject {
    Q_OBJECT
  public:
    // Created on its report (the parent), after the bands created before it.
    TReportBand(TBandType type, QObject* report);

    TBandType Type;
    double Height = 0;
    QColor Color = Qt::white;
    bool Transparent = false;

    // The memos placed on the band, in creation order.
    QList<TReportMemo*> Memos() const;
};

// Lines of text in a fixed box on a band: text that does not fit is cut at
// the box, the box never grows with its text.
class TReportMemo : public QObject {
    Q_OBJECT
  public:
    explicit TReportMemo(TReportBand* band);

    // Box relative to the band's top left corner. With CentreOnBand the box is
    // placed centred across the band and Left is not used.
    double Left = 0;
    double Top = 0;
    double Width = 0;
    double Height = 0;
    bool CentreOnBand = false;
    Qt::Alignment Alignment = Qt::AlignLeft;  // of each line within the box
    bool WordWrap = true;                     // long lines continue on the next line
    // Characters on a fixed pitch: an ASCII character takes one cell (the
    // width of "0"), every other character two, as 宋体 draws them; the result
    // sheet's lines are filled to equal byte lengths on that promise. Glyphs
    // of another width (AR PL UMing's "°" is one cell wide) keep their place
    // by spacing after them.
    bool FixedPitch = false;
    QFont Font;
    QColor FontColor = Qt::black;
    QColor Color = Qt::white;
    bool Transparent = false;

    QStringList Lines;
};

class TReport : public QObject {
    Q_OBJECT
  public:
    explicit TReport(QObject* parent = nullptr);

    TReportPage Page;
    TReportOptions Options;
    // The title of the print job; empty keeps the one the print target chose.
    QString ReportTitle;

    // The bands, in creation order.
    QList<TReportBand*> Bands() const;
    // Size of the paper in the page's orientation (before zoom).
    QSizeF PaperSize() const;
    // Width of every band: the paper between the side margins.
    double BandWidth() const;
    // Where a band and a memo of this report lie on the paper (before zoom).
    QRectF BandRect(const TReportBand& band) const;
    QRectF MemoRect(const TReportMemo& memo) const;

    // Lays the page out and prints it on the print target in use
    // (PrintTarget()); returns when the page has been handed over. Nothing
    // happens when the target has no printer. Throws EReportError.
    void Print();
    // The same on a given printer: one sheet, no dialog. Throws EReportError.
    void PrintOn(QPrinter& printer);

  private:
    void PaintBand(QPainter& painter, const TReportBand& band, double pxPerMm) const;
    void PaintMemo(QPainter& painter, const TReportMemo& memo, double pxPerMm) const;
};
