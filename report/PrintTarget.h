#pragma once
// Where a printed report goes. The program prints on the platform's default
// printer (TDefaultPrinterTarget); tests install a target that writes PDF files
// (TPdfFileTarget), and the report is laid out and painted by the same code
// either way.

#include <QString>
#include <QStringList>
#include <memory>

class QPrinter;

class TPrintTarget {
  public:
    virtual ~TPrintTarget() = default;
    // A printer for one report, or nullptr when there is nothing to print on.
    virtual std::unique_ptr<QPrinter> CreatePrinter() = 0;
};

// The platform's default printer, without a dialog. No printer installed gives
// nullptr: Qt then reports a null default printer or, with some print systems,
// falls back to a PDF printer without a file name, which could never print.
class TDefaultPrinterTarget : public TPrintTarget {
  public:
    explicit TDefaultPrinterTarget(QString docName = QStringLiteral("KR3090"));
    std::unique_ptr<QPrinter> CreatePrinter() override;

  private:
    QString DocName;  // the title of the print job
};

// Each print becomes a PDF file DIR/NAME-N.pdf (N = 1, 2, ...).
class TPdfFileTarget : public TPrintTarget {
  public:
    TPdfFileTarget(QString dir, QString name = QStringLiteral("print"));
    std::unique_ptr<QPrinter> CreatePrinter() override;
    // The files handed out so far, in order.
    const QStringList& Files() const { return FileNames; }

  private:
    QString Dir;
    QString Name;
    QStringList FileNames;
};

// The target in use: the default printer unless a test installed another.
TPrintTarget& PrintTarget();
// Installs t (not owned); nullptr restores the default printer.
void SetPrintTarget(TPrintTarget* t);
