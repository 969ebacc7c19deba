// A team's server as the utility's PCs reach it: TCP with verified TLS, a
// server that answers in Chinese (lc_messages), and every way a connection
// fails said by the server's code or by the step that failed, with nothing
// stored. Runs on a server of scripts/team-server-test.sh, which writes its
// mode ("tls", or "plain" for the same server without TLS) into its folder.
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <fstream>

#include "ArchiveFixture.h"
#include "archive/ArchiveConnection.h"
#include "archive/ArchiveTeam.h"

namespace {

std::string ModeOf(const std::string& folder) {
    std::ifstream in(folder + "/mode");
    std::string mode;
    in >> mode;
    return mode;
}

class TeamServerTest : public ArchiveTest {
  protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        if (!OnServer() || ModeOf(Server).empty())
            GTEST_SKIP() << "KR3090_ARCHIVE_SERVER names no team server";
        Mode = ModeOf(Server);
        if (Mode != WantedMode()) GTEST_SKIP() << "a test of the server in mode " << WantedMode();
    }
    virtual const char* WantedMode() const { return "tls"; }

    int SiteCount() {
        QSqlDatabase db = Raw();
        QSqlQuery q(db);
        return q.exec("SELECT COUNT(*) FROM sites") && q.next() ? q.value(0).toInt() : -1;
    }

    // What opening the archive with these settings raises, with its text.
    TArchiveProblem OpenProblem(const TArchiveSettings& settings, std::string& text,
                                const std::string& password = {}) {
        return ProblemOf(
            [&] {
                OpenArchive(settings, password)->SaveSite({0, "不该存入", "", "", ""});
            },
            &text);
    }

    std::string Mode;
};

class TeamServerWithoutTlsTest : public TeamServerTest {
  protected:
    const char* WantedMode() const override { return "plain"; }
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(TeamServerTest, VerifiedTlsConnectsAndTheServerSaysSoInItsOwnView) {
    const TServerCheck check = CheckServer(Settings, {});
    ASSERT_TRUE(check.Connected) << check.Text;
    EXPECT_TRUE(check.Encrypted);
    EXPECT_EQ(check.TlsVersion.rfind("TLSv1.", 0), 0u) << check.TlsVersion;
    EXPECT_EQ(check.ServerUser, "kr3090");
    EXPECT_EQ(check.Text, "已连接档案服务器 kr3090@localhost:" + std::to_string(Settings.Port) +
                              "（数据库 kr3090），登录用户 kr3090。\n连接已加密（" +
                              check.TlsVersion + "，" + check.Cipher +
                              "），服务器的证书已验证：证书链可信，主机名相符。\n"
                              "服务器版本：PostgreSQL " +
                              check.ServerVersion);
    EXPECT_EQ(check.ServerVersion.rfind("15.", 0), 0u) << check.ServerVersion;
    // The archive's own connection is the same link: it stores.
    auto archive = Open();
    const std::int64_t campaign = NewCampaign(*archive);
    EXPECT_EQ(archive->Import(campaign, TestRecords(0, 5)).Stored, 5);
}

TEST_F(TeamServerTest, RefusalsAreToldByTheServersCodeWhileItSpeaksChinese) {
    Open();  // the archive's tables, which must stay empty
    TServerCheck check = CheckServer(Settings, "not-the-password");
    EXPECT_EQ(check.Problem, TArchiveProblem::PasswordRefused) << check.Text;
    EXPECT_EQ(check.SqlState, "28P01");
    // The server's own words are Chinese: no English text could have decided.
    EXPECT_TRUE(Has(check.Detail, "认证失败")) << check.Detail;
    EXPECT_FALSE(Has(check.Detail, "authentication failed")) << check.Detail;
    std::string text;
    EXPECT_EQ(OpenProblem(Settings, text, "not-the-password"), TArchiveProblem::PasswordRefused);
    EXPECT_TRUE(Has(text, "拒绝登录")) << text;

    TArchiveSettings other = Settings;
    other.Database = "没有这个库";
    check = CheckServer(other, {});
    EXPECT_EQ(check.Problem, TArchiveProblem::NoDatabase) << check.Text;
    EXPECT_EQ(check.SqlState, "3D000");
    EXPECT_TRUE(Has(check.Text, "上没有名为“没有这个库”的数据库")) << check.Text;
    EXPECT_EQ(OpenProblem(other, text), TArchiveProblem::NoDatabase);

    // visitor may log in but not connect to the archive's database.
    other = Settings;
    other.User = "visitor";
    check = CheckServer(other, {});
    EXPECT_EQ(check.Problem, TArchiveProblem::NotPermitted) << check.Text;
    EXPECT_EQ(check.SqlState, "42501");
    EXPECT_EQ(OpenProblem(other, text), TArchiveProblem::NotPermitted);
    EXPECT_EQ(SiteCount(), 0);
}

TEST_F(TeamServerTest, WhatTheServerForbidsAndAClosedSessionAreToldByTheirCodes) {
    {
        auto archive = Open();
        archive->SaveSite({0, "老站", "", "", ""});
    }
    // reader may read the archive, not change it: the server's rights decide.
    QSqlDatabase db = Raw();
    ASSERT_TRUE(QSqlQuery(db).exec("GRANT SELECT ON ALL TABLES IN SCHEMA public TO reader"));
    TArchiveSettings reader = Settings;
    reader.User = "reader";
    auto archive = OpenArchive(reader);
    ASSERT_EQ(archive->Sites().size(), 1u);
    std::string text;
    EXPECT_EQ(ProblemOf(
                  [&] {
                      archive->SaveSite({0, "新站", "", "", ""});
                  },
                  &text),
              TArchiveProblem::NotPermitted);
    EXPECT_TRUE(Has(text, "SQLSTATE 42501")) << text;
    // An administrator ends the session (57P01): the call fails as a lost
    // connection, the next one connects again.
    ASSERT_TRUE(
        QSqlQuery(db).exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                           " WHERE usename = 'reader'"));
    EXPECT_EQ(ProblemOf([&] { archive->Sites(); }), TArchiveProblem::ConnectionLost);
    EXPECT_EQ(archive->Sites().size(), 1u);
    EXPECT_EQ(SiteCount(), 1);
}

TEST_F(TeamServerTest, AWrongRootCertificateAWrongHostAndPlainTextAreRefusedAndStoreNothing) {
    Open();
    std::string text;
    TArchiveSettings wrong = Settings;
    wrong.RootCert = Server + "/wrong-ca.crt";
    TServerCheck check = CheckServer(wrong, {});
    EXPECT_EQ(check.Problem, TArchiveProblem::Insecure) << check.Text;
    EXPECT_TRUE(Has(check.Text, "证书颁发机构未知")) << check.Text;
    EXPECT_TRUE(Has(check.Text, "没有发送密码，也没有存入任何内容")) << check.Text;
    EXPECT_EQ(OpenProblem(wrong, text), TArchiveProblem::Insecure);

    // The certificate is for localhost, not for the address.
    wrong = Settings;
    wrong.Host = "127.0.0.1";
    check = CheckServer(wrong, {});
    EXPECT_EQ(check.Problem, TArchiveProblem::Insecure) << check.Text;
    EXPECT_TRUE(Has(check.Text, "的证书与主机名“127.0.0.1”不符")) << check.Text;
    // Without the host name checked, the same address is verified as far as asked.
    wrong.SslMode = "verify-ca";
    check = CheckServer(wrong, {});
    EXPECT_TRUE(check.Connected) << check.Text;
    EXPECT_TRUE(Has(check.Text, "服务器的证书链已验证，主机名没有核对")) << check.Text;

    wrong = Settings;
    wrong.RootCert = Server + "/no-such.crt";
    check = CheckServer(wrong, {});
    EXPECT_EQ(check.Problem, TArchiveProblem::Insecure) << check.Text;
    EXPECT_TRUE(Has(check.Text, "找不到根证书文件 " + wrong.RootCert)) << check.Text;

    // The server takes no plain text (hostnossl ... reject): 28000.
    wrong = Settings;
    wrong.SslMode = "disable";
    check = CheckServer(wrong, {});
    EXPECT_EQ(check.Problem, TArchiveProblem::PasswordRefused) << check.Text;
    EXPECT_EQ(check.SqlState, "28000");
    EXPECT_TRUE(Has(check.Text, "服务器也可能只接受加密的连接")) << check.Text;
    EXPECT_EQ(OpenProblem(wrong, text), TArchiveProblem::PasswordRefused);

    // Nobody there.
    wrong = Settings;
    wrong.Port = 1;
    EXPECT_EQ(CheckServer(wrong, {}).Problem, TArchiveProblem::Unreachable);
    EXPECT_EQ(OpenProblem(wrong, text), TArchiveProblem::Unreachable);
    EXPECT_TRUE(Has(text, "无法连接档案服务器")) << text;
    EXPECT_EQ(SiteCount(), 0);
}

TEST_F(TeamServerWithoutTlsTest, AServerWithoutTlsIsRefusedBeforeAnyPassword) {
    std::string text;
    const TServerCheck check = CheckServer(Settings, {});
    EXPECT_EQ(check.Problem, TArchiveProblem::Insecure) << check.Text;
    EXPECT_TRUE(Has(check.Text, "不支持加密连接（没有开启 TLS）")) << check.Text;
    EXPECT_EQ(OpenProblem(Settings, text), TArchiveProblem::Insecure);
    EXPECT_TRUE(Has(text, "不支持加密连接")) << text;
}

namespace {

// The team as scripts/team-server-test.sh makes it with --init-server and
// --add-user: each member tried with plain SQL over its own TLS session.
class TeamRolesTest : public TeamServerTest {
  protected:
    void SetUp() override {
        TeamServerTest::SetUp();
        if (IsSkipped()) return;
        Open();
        // The fixture dropped the tables with their grants: made again as --init-server does.
        InitTeamServer(Settings, {});
        std::ifstream in(Server + "/password");
        in >> Password;
        // tester1 stores a site with a campaign; tester2 a campaign of the same site.
        Own = Store(*As("tester1"), {0, "共用站", "220kV", "", ""}, 0);
        Other = Store(*As("tester2"), {}, Own.SiteId);
        auto reviewer = As("reviewer1");
        reviewer->Review(Own.CampaignId);
        Reviewed = CampaignOf(*reviewer, Own.CampaignId).Campaign;
        Before = Snapshot();
    }

    std::unique_ptr<TArchive> As(const std::string& user) {
        TArchiveSettings s = Settings;
        s.User = user;
        return OpenArchive(s);
    }

    TStoreResult Store(TArchive& archive, const TSite& site, std::int64_t siteId) {
        TSite s = site;
        s.Id = siteId;
        TCampaign c;
        c.Date = "2025-04-0" + std::to_string(++Stores);
        return archive.Store(s, c, TestRecords(Stores * 10, 4));
    }

    // A plain session of the member's own; the server's SQLSTATE of each
    // statement ("" when it went through).
    QSqlDatabase Plain(const QString& user) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "kr3090-test-" + user);
        db.setHostName(QString::fromStdString(Settings.Host));
        db.setPort(Settings.Port);
        db.setDatabaseName("kr3090");
        db.setUserName(user);
        db.setPassword(QString::fromStdString(Password));
        // A Windows path's backslashes would be libpq's escapes: quoted.
        db.setConnectOptions("sslmode=verify-full;sslrootcert='" +
                             QString::fromStdString(Settings.RootCert).replace("\\", "\\\\") +
                             "'");
        EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
        return db;
    }
    static std::string Code(QSqlDatabase& db, const QString& sql) {
        QSqlQuery q(db);
        return q.exec(sql) ? "" : q.lastError().nativeErrorCode().toStdString();
    }
    QString WithIds(QString sql) const {
        return sql.replace("{own}", QString::number(Own.CampaignId))
            .replace("{other}", QString::number(Other.CampaignId))
            .replace("{site}", QString::number(Own.SiteId));
    }

    // Everything a refused change could have touched, as the owner reads it.
    std::string Snapshot() {
        QSqlDatabase db = Raw();
        std::string all;
        for (const char* sql :
             {"SELECT id, site_id, test_date, remarks, created_by, reviewer, reviewed_at,"
              " deleted_at FROM campaigns ORDER BY id",
              "SELECT id, campaign_id, number, u_bits FROM records ORDER BY id",
              "SELECT id, name, deleted_at FROM sites ORDER BY id",
              "SELECT id, logged_at, who, host, action, site_id, campaign_id, records, detail"
              " FROM change_log ORDER BY id"}) {
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
            while (q.next()) {
                for (int k = 0; k < q.record().count(); ++k)
                    all += q.value(k).toString().toStdString() + "|";
                all += "\n";
            }
        }
        return all;
    }

    void TearDown() override {
        for (const QString& name : QSqlDatabase::connectionNames())
            if (name.startsWith("kr3090-test-") && name != "kr3090-test-raw") {
                QSqlDatabase::database(name, false).close();
                QSqlDatabase::removeDatabase(name);
            }
        TeamServerTest::TearDown();
    }

    std::string Password;
    int Stores = 0;
    TStoreResult Own, Other;
    TCampaign Reviewed;
    std::string Before;
};

}  // namespace

TEST_F(TeamRolesTest,
       ATesterStoresAndChangesItsOwnButNothingReviewedNorAnotherTestersNorTheRecord) {
    auto tester = As("tester1");
    EXPECT_EQ(tester->User().Role, TArchiveRole::Tester);
    EXPECT_EQ(Reviewed.CreatedBy, "tester1");
    EXPECT_EQ(Reviewed.Reviewer, "reviewer1");
    EXPECT_EQ(Reviewed.ReviewedAt.size(), 19u) << Reviewed.ReviewedAt;
    QSqlDatabase db = Plain("tester1");
    for (const char* sql : {
             "UPDATE records SET u_bits = 0 WHERE campaign_id = {own}",
             "UPDATE campaigns SET remarks = '改过' WHERE id = {own}",
             "INSERT INTO records (campaign_id, number, time_year, time_month, time_day,"
             " time_hour, time_minute, time_second, frequency, u_bits, i_bits, phi_bits, rm_on)"
             " VALUES ({own}, 99, 117, 1, 1, 0, 0, 0, 45, 1, 1, 1, 0)",
         })
        EXPECT_EQ(Code(db, WithIds(sql)), "KR090") << sql;
    for (const char* sql : {
             "UPDATE campaigns SET remarks = '改过' WHERE id = {other}",
             "UPDATE campaigns SET created_by = 'tester1' WHERE id = {other}",
             "INSERT INTO records (campaign_id, number, time_year, time_month, time_day,"
             " time_hour, time_minute, time_second, frequency, u_bits, i_bits, phi_bits, rm_on)"
             " VALUES ({other}, 99, 117, 1, 1, 0, 0, 0, 45, 1, 1, 1, 0)",
             "UPDATE campaigns SET reviewed_at = '2025-01-01 00:00:00' WHERE id = {other}",
             "DELETE FROM sites WHERE id = {site}",
             "DELETE FROM campaigns WHERE id = {other}",
             "UPDATE sites SET deleted_at = '2025-01-01' WHERE id = {site}",
             "UPDATE change_log SET who = 'someone'",
             "DELETE FROM change_log",
         })
        EXPECT_EQ(Code(db, WithIds(sql)), "42501") << sql;
    EXPECT_EQ(Snapshot(), Before);
    // Through the program: the refusal says which right is missing.
    std::string text;
    EXPECT_EQ(ProblemOf([&] { tester->DeleteSite(Own.SiteId); }, &text),
              TArchiveProblem::NotPermitted);
    EXPECT_TRUE(Has(text,
                    "档案服务器拒绝了“删除场地”：这需要“管理”的权限，用户 tester1（测试）没有。"
                    "没有改动任何内容。"))
        << text;
    EXPECT_EQ(ProblemOf([&] { tester->Import(Own.CampaignId, TestRecords(500, 1)); }),
              TArchiveProblem::Reviewed);
    TCampaign other = CampaignOf(*tester, Other.CampaignId).Campaign;
    other.Remarks = "改别人的";
    EXPECT_EQ(ProblemOf([&] { tester->SaveCampaign(other); }, &text),
              TArchiveProblem::NotPermitted);
    EXPECT_TRUE(Has(text, "这次测试是别人存入的")) << text;
    EXPECT_EQ(Snapshot(), Before);

    // Its own campaign until reviewed; the record's who is the server's.
    TCampaign mine = CampaignOf(*tester, Store(*tester, {}, Own.SiteId).CampaignId).Campaign;
    mine.Remarks = "补记";
    tester->SaveCampaign(mine);
    ASSERT_EQ(Code(db,
                   "INSERT INTO change_log (logged_at, who, host, action, detail)"
                   " VALUES ('2000-01-01', 'admin1', 'x', '伪造', '{}')"),
              "");
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec("SELECT who, logged_at FROM change_log WHERE action = '伪造'") && q.next());
    EXPECT_EQ(q.value(0).toString(), "tester1");
    EXPECT_NE(q.value(1).toString(), "2000-01-01");
    const std::vector<TChange> changes = tester->Changes(Own.SiteId);
    ASSERT_GE(changes.size(), 2u);
    EXPECT_EQ(changes.back().Action, "修改");
    EXPECT_EQ(changes.back().Who, "tester1");
    EXPECT_EQ(changes.back().Detail, R"({"after":{"remarks":"补记"},"before":{"remarks":""}})");
    // A change past the program is recorded by the server all the same.
    ASSERT_EQ(Code(db, QString("UPDATE campaigns SET weather = '雨' WHERE id = %1").arg(mine.Id)),
              "");
    const TChange past = tester->Changes(Own.SiteId).back();
    EXPECT_EQ(past.Who + " " + past.Host + " " + past.Action + " " + past.Detail,
              R"(tester1 127.0.0.1 修改 {"after":{"weather":"雨"},"before":{"weather":""}})");
    // Tables older than the program: a member may not bring them up to date, and is told who may.
    ASSERT_TRUE(QSqlQuery(Raw()).exec("UPDATE schema_version SET version = version - 1"));
    EXPECT_EQ(ProblemOf([&] { As("tester1"); }, &text), TArchiveProblem::NotPermitted);
    EXPECT_TRUE(Has(text, "请管理员运行 kr3090 --init-server。")) << text;
    ASSERT_TRUE(QSqlQuery(Raw()).exec("UPDATE schema_version SET version = version + 1"));
}

TEST_F(TeamRolesTest, AReviewerReviewsButCannotUndoItNorDelete) {
    auto reviewer = As("reviewer1");
    EXPECT_EQ(reviewer->User().Role, TArchiveRole::Reviewer);
    EXPECT_EQ(ProblemOf([&] { reviewer->Review(Own.CampaignId); }), TArchiveProblem::Reviewed);
    QSqlDatabase db = Plain("reviewer1");
    EXPECT_EQ(Code(db, WithIds("UPDATE campaigns SET reviewer = NULL, reviewed_at = NULL"
                               " WHERE id = {own}")),
              "KR090");
    EXPECT_EQ(Code(db, WithIds("UPDATE campaigns SET deleted_at = 'x' WHERE id = {other}")),
              "42501");
    EXPECT_EQ(Code(db, "TRUNCATE change_log"), "42501");
    EXPECT_EQ(Snapshot(), Before);
    // A correction names the reviewed campaign; the reviewed one stays and shows it.
    TCampaign fix;
    fix.SiteId = Own.SiteId;
    fix.Date = "2025-04-09";
    fix.Corrects = Own.CampaignId;
    const std::int64_t id = reviewer->SaveCampaign(fix);
    EXPECT_EQ(CampaignOf(*reviewer, Own.CampaignId).CorrectedBy, id);
    EXPECT_EQ(CampaignOf(*reviewer, id).Campaign.Corrects, Own.CampaignId);
    EXPECT_EQ(reviewer->Changes(Own.SiteId).back().Action, "更正");
}

TEST_F(TeamRolesTest, AnAdminDeletesAndRestoresButNeitherTheRecordNorWhatWasReviewed) {
    auto admin = As("admin1");
    EXPECT_EQ(admin->User().Role, TArchiveRole::Admin);
    EXPECT_EQ(Open()->User().Role, TArchiveRole::Admin);  // the tables' owner
    QSqlDatabase db = Plain("admin1");
    for (const char* sql : {
             "DELETE FROM records WHERE campaign_id = {own}",
             "DELETE FROM campaigns WHERE id = {own}",
             "DELETE FROM sites WHERE id = {site}",
             "UPDATE sites SET deleted_at = 'x' WHERE id = {site}",
         })
        EXPECT_EQ(Code(db, WithIds(sql)), "KR090") << sql;
    for (const char* sql : {
             "UPDATE change_log SET detail = '{}'",
             "DELETE FROM change_log",
             "TRUNCATE change_log",
             "ALTER TABLE change_log DISABLE TRIGGER change_log_guard",
             "DROP TABLE change_log",
         })
        EXPECT_EQ(Code(db, sql), "42501") << sql;
    EXPECT_EQ(Snapshot(), Before);
    EXPECT_EQ(ProblemOf([&] { admin->DeleteSite(Own.SiteId); }), TArchiveProblem::Reviewed);

    // tester2's campaign: to the bin, back, to the bin, gone; each step recorded.
    admin->DeleteCampaign(Other.CampaignId);
    std::vector<TBinEntry> bin = admin->RecycleBin();
    ASSERT_EQ(bin.size(), 1u);
    EXPECT_EQ(bin[0].CampaignId, Other.CampaignId);
    EXPECT_EQ(bin[0].DeletedBy, "admin1");
    EXPECT_EQ(bin[0].Records, 4);
    EXPECT_EQ(admin->Campaigns(Own.SiteId).size(), 1u);
    admin->Restore(bin[0]);
    EXPECT_EQ(admin->Campaigns(Own.SiteId).size(), 2u);
    admin->DeleteCampaign(Other.CampaignId);
    EXPECT_EQ(ProblemOf([&] { As("tester2")->EmptyRecycleBin(); }), TArchiveProblem::NotPermitted);
    EXPECT_EQ(admin->RecycleBin().size(), 1u);
    admin->EmptyRecycleBin();
    EXPECT_TRUE(admin->RecycleBin().empty());
    EXPECT_EQ(ProblemOf([&] { CampaignOf(*admin, Other.CampaignId); }), TArchiveProblem::NotFound);
    std::vector<std::string> actions;
    for (const TChange& c : admin->Changes(Own.SiteId))
        if (c.CampaignId == Other.CampaignId) actions.push_back(c.Who + " " + c.Action);
    EXPECT_EQ(actions,
              (std::vector<std::string>{"tester2 新建测试", "tester2 存入", "admin1 删除",
                                        "admin1 恢复", "admin1 删除", "admin1 清空回收站"}));
}
