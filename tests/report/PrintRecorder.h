#pragma once
// A print target for tests that records, for every print, the report form in
// use and the lines of its memo, and then prints on another target (a PDF file,
// or a printer that fails).

#include <QList>
#include <QPointer>
#include <QStringList>

#include "report/PrintTarget.h"
#include "report/Reportfrm.h"

class TPrintRecorder : public TPrintTarget {
  public:
    explicit TPrintRecorder(TPrintTarget& inner) : Inner(inner) {}
    std::unique_ptr<QPrinter> CreatePrinter() override {
        Forms << QPointer<TfrmReport>(frmReport);
        MemoLines << (frmReport ? frmReport->QRMemo1->Lines : QStringList{});
        return Inner.CreatePrinter();
    }

    TPrintTarget& Inner;
    QList<QPointer<TfrmReport>> Forms;  // null once a form is destroyed
    QList<QStringList> MemoLines;
};
