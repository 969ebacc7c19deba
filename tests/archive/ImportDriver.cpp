// A second program importing into the archive through the same library:
//   archive_import_driver TARGET CAMPAIGN FIRST COUNT BATCH
// imports TestRecords(FIRST, COUNT) into CAMPAIGN in imports of BATCH records.
// It prints "r N" after the Nth record of an import (inside its transaction),
// "c" after each import has returned, and "total STORED ALREADY" at the end,
// so that a test that kills it knows where it was.
#include <QCoreApplication>
#include <cstdio>
#include <string>

#include "ArchiveTarget.h"
#include "archive/ArchiveSql.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s TARGET CAMPAIGN FIRST COUNT BATCH\n", argv[0]);
        return 2;
    }
    const std::int64_t campaign = std::stoll(argv[2]);
    const int first = std::stoi(argv[3]), count = std::stoi(argv[4]), batch = std::stoi(argv[5]);
    try {
        auto archive = OpenArchive(SettingsOfTarget(argv[1]));
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
