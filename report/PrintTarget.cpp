#include "report/PrintTarget.h"

#include <QDir>
#include <QPrinter>
#include <QPrinterInfo>

TDefaultPrinterTarget::TDefaultPrinterTarget(QString docName) : DocName(std::move(docName)) {}

std::unique_ptr<QPrinter> TDefaultPrinterTarget::CreatePrinter() {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) return nullptr;
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    if (printer->outputFormat() != QPrinter::NativeFormat || printer->printerName().isEmpty())
        return nullptr;
    printer->setDocName(DocName);
    return printer;
}

TPdfFileTarget::TPdfFileTarget(QString dir, QString name)
    : Dir(std::move(dir)), Name(std::move(name)) {}

std::unique_ptr<QPrinter> TPdfFileTarget::CreatePrinter() {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    const QString file =
        QDir(Dir).filePath(QStringLiteral("%1-%2.pdf").arg(Name).arg(FileNames.size() + 1));
    printer->setOutputFileName(file);
    printer->setDocName(Name);
    FileNames << file;
    return printer;
}

namespace {
TPrintTarget* installedTarget = nullptr;
}

TPrintTarget& PrintTarget() {
    static TDefaultPrinterTarget defaultPrinter;
    return installedTarget ? *installedTarget : defaultPrinter;
}

void SetPrintTarget(TPrintTarget* t) {
    installedTarget = t;
}
