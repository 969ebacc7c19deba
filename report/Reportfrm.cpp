#include "report/Reportfrm.h"

#include <memory>

#include "report/SongFont.h"

TfrmReport* frmReport = nullptr;

TfrmReport::TfrmReport(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmReport"));
    setAttribute(Qt::WA_DontShowOnScreen);

    // A4 portrait, 1 mm margin on the left only, so the bands are 209 mm wide.
    QuickRep1 = new TReport(this);
    QuickRep1->setObjectName(QStringLiteral("QuickRep1"));
    QuickRep1->Page.Paper = QPageSize::A4;
    QuickRep1->Page.Orientation = QPageLayout::Portrait;
    QuickRep1->Page.TopMargin = 0;
    QuickRep1->Page.BottomMargin = 0;
    QuickRep1->Page.LeftMargin = 1.0;
    QuickRep1->Page.RightMargin = 0;
    QuickRep1->Page.Zoom = 100;
    QuickRep1->Options.FirstPageHeader = true;
    QuickRep1->Options.LastPageFooter = true;
    QuickRep1->Options.PrintIfEmpty = true;
    QuickRep1->Options.Copies = 1;
    QuickRep1->Options.Duplex = QPrinter::DuplexNone;
    QuickRep1->Options.PaperBin = QPrinter::Auto;

    // Taller than the sheet as designed; the engine cuts it at the paper's edge.
    PageHeaderBand1 = new TReportBand(TBandType::PageHeader, QuickRep1);
    PageHeaderBand1->setObjectName(QStringLiteral("PageHeaderBand1"));
    PageHeaderBand1->Height = 301.1;
    PageHeaderBand1->Color = Qt::white;

    TitleBand1 = new TReportBand(TBandType::Title, QuickRep1);
    TitleBand1->setObjectName(QStringLiteral("TitleBand1"));
    TitleBand1->Height = 0;

    PageFooterBand1 = new TReportBand(TBandType::PageFooter, QuickRep1);
    PageFooterBand1->setObjectName(QStringLiteral("PageFooterBand1"));
    PageFooterBand1->Height = 10.58;

    QRMemo1 = new TReportMemo(PageHeaderBand1);
    QRMemo1->setObjectName(QStringLiteral("QRMemo1"));
    QRMemo1->Left = 0.79;
    QRMemo1->Top = 4.23;
    QRMemo1->Width = 207.17;
    QRMemo1->Height = 180.18;
    QRMemo1->CentreOnBand = true;
    QRMemo1->Alignment = Qt::AlignHCenter;
    QRMemo1->WordWrap = true;
    QRMemo1->FixedPitch = true;
    QRMemo1->Font = SongFontPoints(12);
    QRMemo1->FontColor = Qt::black;  // the window-text colour of the design, on paper
    QRMemo1->Color = Qt::white;
    QRMemo1->Transparent = false;
}

void PrintLines(const QStringList& lines) {
    // Destroyed, and frmReport emptied, on every way out.
    struct TFormRelease {
        std::unique_ptr<TfrmReport> form;
        ~TFormRelease() {
            form.reset();
            frmReport = nullptr;
        }
    } release{std::make_unique<TfrmReport>()};
    frmReport = release.form.get();

    frmReport->QRMemo1->Lines.clear();
    for (const QString& line : lines) frmReport->QRMemo1->Lines.append(line);
    frmReport->QuickRep1->Print();
}
