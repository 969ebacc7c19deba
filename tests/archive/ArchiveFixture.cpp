#include "ArchiveFixture.h"

#include "analysis/FreqAnalysisText.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdlib>

std::string ArchiveTest::Target() const {
    return OnServer() ? "server:" + Server : "sqlite:" + Settings.File;
}

void ArchiveTest::SetUp() {
    Server = TestServerFolder();
    Settings = SettingsOfTarget(Target());
    if (OnServer()) {
        DropServerTables(Server);
        return;
    }
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // A folder of this process's own above the test's: removing it at the end
    // cannot race with another test program making its folder beside it.
    Folder = std::filesystem::temp_directory_path() /
             std::filesystem::path(u8"kr3090-档案-" +
                                   std::u8string(reinterpret_cast<const char8_t*>(
                                       std::to_string(QCoreApplication::applicationPid()).c_str()))) /
             test->name();
    std::filesystem::remove_all(Folder);
    std::filesystem::create_directories(Folder);
    const std::u8string file = (Folder / DefaultArchiveFileName).u8string();
    Settings.File = std::string(file.begin(), file.end());
}

void ArchiveTest::TearDown() {
    {
        QSqlDatabase db = QSqlDatabase::database("kr3090-test-raw", false);
        db.close();
    }
    QSqlDatabase::removeDatabase("kr3090-test-raw");
    if (Folder.empty()) return;
    std::filesystem::remove_all(Folder);
    std::error_code ec;
    std::filesystem::remove(Folder.parent_path(), ec);
}

QSqlDatabase ArchiveTest::Raw() {
    if (QSqlDatabase::contains("kr3090-test-raw")) return QSqlDatabase::database("kr3090-test-raw");
    if (OnServer()) {
        QSqlDatabase db = RawServerConnection(Server, "kr3090-test-raw");
        EXPECT_TRUE(db.isOpen()) << db.lastError().text().toStdString();
        return db;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "kr3090-test-raw");
    db.setDatabaseName(QString::fromStdString(Settings.File));
    EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
    return db;
}

void ArchiveTest::ServerControl(const char* action) {
    // A team server is run by its own script.
    const bool team = std::filesystem::exists(std::filesystem::path(Server) / "tcp");
    const std::string command = std::string(KR3090_SOURCE_DIR "/scripts/") +
                                (team ? "team-server-test.sh " : "archive-server-test.sh ") +
                                action + " " + Server;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::int64_t ArchiveTest::NewCampaign(TArchive& archive, int powerFrequency) {
    static int sites = 0;
    TSite site;
    site.Name = "站" + std::to_string(++sites);
    TCampaign c;
    c.SiteId = archive.SaveSite(site);
    c.Date = "2025-03-03";
    c.PowerFrequency = powerFrequency;
    return archive.SaveCampaign(c);
}

TCampaignSummary CampaignOf(TArchive& archive, std::int64_t campaignId) {
    for (const TSite& site : archive.Sites())
        for (const TCampaignSummary& c : archive.Campaigns(site.Id))
            if (c.Campaign.Id == campaignId) return c;
    throw TArchiveError(TArchiveProblem::NotFound, "no such campaign");
}

std::string MethodText(const TCampaignValue& value) {
    return ValueMethodText(value.Method, value.PowerFrequency, value.TwoPoint);
}
