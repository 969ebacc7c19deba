// A second program importing into the archive through the same library:
//   archive_import_driver TARGET CAMPAIGN FIRST COUNT BATCH
// imports TestRecords(FIRST, COUNT) into CAMPAIGN in imports of BATCH records.
// It prints "r N" after the Nth record of an import (inside its transaction),
// "c" after each import has returned, and "total STORED ALREADY" at the end,
// so that a test that kills it knows where it was.
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <string>

#include "ArchiveTarget.h"
#include "archive/ArchiveSql.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Qt's arguments: on Windows argv is in the ANSI code page, which loses
    // a folder named in Chinese.
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 6) {
        std::fprintf(stderr, "usage: archive_import_driver TARGET CAMPAIGN FIRST COUNT BATCH\n");
        return 2;
    }
    const std::int64_t campaign = args[2].toLongLong();
    const int first = args[3].toInt(), count = args[4].toInt(), batch = args[5].toInt();
    try {
        auto archive = OpenArchive(SettingsOfTarget(args[1].toStdString()));
        archive->SetImportProgress([](int done, int) {
            std::printf("r %d\n", done);
            std::fflush(stdout);
        });
        TImportResult total;
        for (int k = first; k < first + count; k += batch) {
            const TImportResult r = archive->Import(campaign, TestRecords(k, batch));
            total.Stored += r.Stored;
            total.Already += r.Already;
            std::printf("c\n");
            std::fflush(stdout);
        }
        std::printf("total %d %d\n", total.Stored, total.Already);
        return 0;
    } catch (const TArchiveError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
