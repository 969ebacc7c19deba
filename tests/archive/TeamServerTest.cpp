// A team's server as the utility's PCs reach it: TCP with verified TLS, a
// server that answers in Chinese (lc_messages), and every way a connection
// fails said by the server's code or by the step that failed, with nothing
// stored. Runs on a server of scripts/team-server-test.sh, which writes its
// mode ("tls", or "plain" for the same server without TLS) into its folder.
#include <QSqlQuery>
#include <fstream>

#include "ArchiveFixture.h"
#include "archive/ArchiveConnection.h"

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
