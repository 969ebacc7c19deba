#pragma once
// Each test gets an archive of its own: a SQLite file in a new temporary
// folder (named in Chinese, as a user's folder may be), or the test server's
// database emptied of the archive's tables.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <filesystem>
#include <memory>

#include "ArchiveTarget.h"
#include "archive/ArchiveSql.h"

class ArchiveTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    bool OnServer() const { return !Server.empty(); }
    std::unique_ptr<TArchive> Open(const std::string& password = {}) {
        return OpenArchive(Settings, password);
    }
    // The target text of this test's archive, for the import driver.
    std::string Target() const;
    // A connection of the test's own, past the archive's interface.
    QSqlDatabase Raw();
    // scripts/archive-server-test.sh ACTION on the test server ("stop", "start").
    void ServerControl(const char* action);

    // On the server: waits until the sessions of killed programs are gone.
    void WaitForKilledSessions();

    // A site with one campaign; gives the campaign's id.
    std::int64_t NewCampaign(TArchive& archive, int powerFrequency = 50);

    std::string Server;
    std::filesystem::path Folder;
    TArchiveSettings Settings;
};

// Tests of a SQLite file, skipped on the server; tests of a server, skipped on SQLite.
class SqliteArchiveTest : public ArchiveTest {
  protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        if (OnServer()) GTEST_SKIP() << "a SQLite file";
    }
};
class ServerArchiveTest : public ArchiveTest {
  protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        if (!OnServer()) GTEST_SKIP() << "KR3090_ARCHIVE_SERVER names no server";
    }
};

// The campaign as its site's table gives it (TArchive::Campaigns); NotFound
// when no site holds it.
TCampaignSummary CampaignOf(TArchive& archive, std::int64_t campaignId);
// The sentence of how its value was found, as the windows and the report show it.
std::string MethodText(const TCampaignValue& value);

// The problem an archive call raises; Other when it raises none.
template <class F>
TArchiveProblem ProblemOf(F&& call, std::string* text = nullptr) {
    try {
        call();
    } catch (const TArchiveError& e) {
        if (text) *text = e.what();
        return e.Problem();
    }
    return TArchiveProblem::Other;
}
