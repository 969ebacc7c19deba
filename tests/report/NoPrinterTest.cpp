// With no printer to print on, the default printer target gives nothing and a
// print does nothing. Run with CUPS_SERVER naming a dead socket, and again
// against a running print server without queues.
#include <gtest/gtest.h>

#include <QDir>
#include <QPrinterInfo>
#include <QTemporaryDir>

#include "PrintFormTestLines.h"
#include "report/PrintTarget.h"
#include "report/Reportfrm.h"

namespace {
QStringList Entries(const QString& path) {
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

TEST(NoPrinter, PrintingReturnsWithoutOutputOrError) {
    SetPrintTarget(nullptr);
    ASSERT_TRUE(QPrinterInfo::defaultPrinter().isNull())
        << "a default printer is configured: "
        << QPrinterInfo::defaultPrinter().printerName().toStdString();
    EXPECT_EQ(TDefaultPrinterTarget().CreatePrinter(), nullptr);

    // A PDF printer without a file name would write into the current folder, if anywhere.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    EXPECT_NO_THROW(PrintLines(LivePrintForm()));
    EXPECT_NO_THROW(PrintLines({}));
    EXPECT_EQ(frmReport, nullptr);
    EXPECT_EQ(Entries(dir.path()), QStringList()) << "no file written";
    QDir::setCurrent(previous);
}
}  // namespace
