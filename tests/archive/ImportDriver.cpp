// A second program importing into the archive through the same library:
//   archive_import_driver TARGET CAMPAIGN FIRST COUNT BATCH
// imports TestRecords(FIRST, COUNT) into CAMPAIGN in imports of BATCH records.
// It prints "r N" after the Nth record of an import (inside its transaction),
// "c" after each import has returned, and "total STORED ALREADY" at the end,
// so that a test that kills it knows where it was.
//   archive_import_driver sync LAPTOP SERVER both|up|down
// syncs the two archives one campaign at a time, printing "s DONE TOTAL"
// after each, then "up" and "down" each with the sites, campaigns, records,
// records already there and sites left for merging.
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <string>

#include "ArchiveTarget.h"
#include "archive/ArchiveSql.h"
#include "archive/ArchiveSync.h"

namespace {

int Sync(const QStringList& args) {
    const TSyncDirection direction = args[4] == "up"     ? TSyncDirection::UploadOnly
                                     : args[4] == "down" ? TSyncDirection::DownloadOnly
                                                         : TSyncDirection::Both;
    try {
        auto laptop = OpenArchive(SettingsOfTarget(args[2].toStdString()));
        auto server = OpenArchive(SettingsOfTarget(args[3].toStdString()));
        TSyncRun run(*laptop, *server, direction);
        while (!run.Finished()) {
            run.Step();
            std::printf("s %d %d\n", run.Done(), run.Total());
            std::fflush(stdout);
        }
        for (const auto& [way, c] : {std::pair{"up", run.Result().Up}, {"down", run.Result().Down}})
            std::printf("%s %d %d %d %d %d\n", way, c.Sites, c.Campaigns, c.Records, c.Already,
                        static_cast<int>(c.SameName.size()));
        return 0;
    } catch (const TArchiveError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Qt's arguments: on Windows argv is in the ANSI code page, which loses
    // a folder named in Chinese.
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 5 && args[1] == "sync") return Sync(args);
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
