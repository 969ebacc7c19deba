#include "archive/ArchiveConnection.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <chrono>
#include <memory>

#ifdef KR3090_HAVE_LIBPQ
#include <libpq-fe.h>
#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/select.h>
#endif
#endif

namespace {

bool Encrypts(const std::string& mode) {
    return mode != "disable";
}

bool IsSqlStateChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
}

// What libpq reads a file name as: the system's 8-bit code page on Windows.
std::string FileArgument(const std::string& utf8) {
    return QString::fromStdString(utf8).toLocal8Bit().toStdString();
}

std::string RootCertOf(const TArchiveSettings& s) {
    return s.RootCert.empty() ? DefaultRootCertFile() : s.RootCert;
}

}  // namespace

std::string ServerName(const TArchiveSettings& s) {
    return (s.User.empty() ? "" : s.User + "@") + s.Host + ":" + std::to_string(s.Port);
}

bool IsLocalSocket(const TArchiveSettings& s) {
    return s.Host.empty() || s.Host.front() == '/';
}

std::string SqlStateIn(const std::string& text) {
    // "<severity>:  <SQLSTATE>: <message>": the severity is the server's
    // word, the separators are libpq's own and never translated.
    for (std::size_t at = text.find(":  "); at != std::string::npos;
         at = text.find(":  ", at + 1)) {
        const std::size_t code = at + 3;
        if (code + 7 > text.size()) break;
        bool all = true;
        for (std::size_t k = 0; k < 5; ++k) all = all && IsSqlStateChar(text[code + k]);
        if (all && text[code + 5] == ':' && text[code + 6] == ' ') return text.substr(code, 5);
    }
    return {};
}

TArchiveProblem ProblemOfSqlState(const std::string& state) {
    if (state == "28P01" || state == "28000") return TArchiveProblem::PasswordRefused;
    if (state == "3D000") return TArchiveProblem::NoDatabase;
    if (state == "42501") return TArchiveProblem::NotPermitted;
    // The archive's own code for a reviewed campaign (ArchiveSchema.cpp).
    if (state == "KR090") return TArchiveProblem::Reviewed;
    if (state.rfind("08", 0) == 0 || state == "57P01") return TArchiveProblem::ConnectionLost;
    return TArchiveProblem::Other;
}

std::vector<std::pair<std::string, std::string>> ServerOptions(const TArchiveSettings& s) {
    std::vector<std::pair<std::string, std::string>> options{
        // Never wait long on a server that is gone: give up connecting after
        // 5 s, and notice a dead peer of an open TCP connection within about
        // 10 s instead of the system's two hours.
        {"connect_timeout", "5"},       {"keepalives", "1"},       {"keepalives_idle", "5"},
        {"keepalives_interval", "2"},   {"keepalives_count", "3"}, {"tcp_user_timeout", "10000"},
        {"application_name", "kr3090"}, {"sslmode", s.SslMode},
    };
    if (Encrypts(s.SslMode)) {
        options.emplace_back("sslrootcert", FileArgument(RootCertOf(s)));
        if (!s.ClientCert.empty()) options.emplace_back("sslcert", FileArgument(s.ClientCert));
        if (!s.ClientKey.empty()) options.emplace_back("sslkey", FileArgument(s.ClientKey));
    }
    return options;
}

#ifdef KR3090_HAVE_LIBPQ

namespace {

std::string DatabaseText(const TArchiveSettings& s) {
    return "（数据库 " + s.Database + "）";
}

const char* const NothingSent = "连接已中止：没有发送密码，也没有存入任何内容。";

struct TAttempt {
    bool Connected = false;
    bool Reached = false;  // the server answered: it logged us in, refused, or wants a password
    bool NeedsPassword = false;
    bool TimedOut = false;
    std::string SqlState;
    std::string Detail;
};

class TPq {
  public:
    explicit TPq(PGconn* c) : Conn(c) {}
    ~TPq() { PQfinish(Conn); }
    TPq(const TPq&) = delete;
    TPq& operator=(const TPq&) = delete;
    PGconn* Conn;
};

std::string Trimmed(const char* text) {
    return QString::fromUtf8(text ? text : "").trimmed().toStdString();
}

// Waits until the socket is ready for what libpq polls; false after the deadline.
bool WaitFor(PGconn* conn, bool write, std::chrono::steady_clock::time_point deadline) {
    const int socket = PQsocket(conn);
    if (socket < 0) return true;  // libpq reports the failure at the next poll
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return false;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
    timeval timeout{static_cast<long>(us / 1000000), static_cast<long>(us % 1000000)};
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    const int ready =
        select(socket + 1, write ? nullptr : &set, write ? &set : nullptr, nullptr, &timeout);
    return ready != 0;
}

// One connection attempt; with `session` the connected session is kept for
// the caller to read from.
TAttempt Attempt(const TArchiveSettings& s, const std::string& password, bool usePassFile,
                 std::unique_ptr<TPq>* session = nullptr) {
    std::vector<std::pair<std::string, std::string>> options{
        {"host", FileArgument(s.Host)},
        {"port", std::to_string(s.Port)},
        {"dbname", s.Database},
        {"client_encoding", "UTF8"},
        // A check tells TLS from no TLS; GSSAPI's own encryption would blur it.
        {"gssencmode", "disable"},
    };
    if (!s.User.empty()) options.emplace_back("user", s.User);
    if (!password.empty()) options.emplace_back("password", password);
    // A password file of the user's is read only where the settings allow.
    if (!usePassFile)
        options.emplace_back(
            "passfile",
            FileArgument(QDir::temp().filePath("kr3090-no-password-file").toStdString()));
    for (const auto& option : ServerOptions(s)) options.push_back(option);
    std::vector<const char*> keys, values;
    for (const auto& [key, value] : options) {
        keys.push_back(key.c_str());
        values.push_back(value.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);

    TAttempt a;
    auto conn = std::make_unique<TPq>(PQconnectStartParams(keys.data(), values.data(), 0));
    if (!conn->Conn) {
        a.Detail = "out of memory";
        return a;
    }
    // Before the first poll: the server's refusal then arrives with its code.
    PQsetErrorVerbosity(conn->Conn, PQERRORS_VERBOSE);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    PostgresPollingStatusType poll = PGRES_POLLING_WRITING;
    while (PQstatus(conn->Conn) != CONNECTION_BAD && poll != PGRES_POLLING_OK &&
           poll != PGRES_POLLING_FAILED) {
        if (!WaitFor(conn->Conn, poll == PGRES_POLLING_WRITING, deadline)) {
            a.TimedOut = true;
            a.Detail = "timeout expired";
            return a;
        }
        poll = PQconnectPoll(conn->Conn);
    }
    a.Connected = PQstatus(conn->Conn) == CONNECTION_OK;
    a.Detail = Trimmed(PQerrorMessage(conn->Conn));
    a.SqlState = SqlStateIn(a.Detail);
    a.NeedsPassword = !a.Connected && PQconnectionNeedsPassword(conn->Conn);
    a.Reached = a.Connected || a.NeedsPassword || !a.SqlState.empty();
    if (a.Connected && session) *session = std::move(conn);
    return a;
}

std::string Field(PGresult* r, int column) {
    return PQgetisnull(r, 0, column) ? std::string() : std::string(PQgetvalue(r, 0, column));
}

// The server's view of the session: its encryption, version and the role.
bool ReadSession(PGconn* conn, TServerCheck& check) {
    PGresult* r = PQexec(conn,
                         "SELECT s.ssl, s.version, s.cipher, current_setting('server_version'),"
                         " current_user FROM pg_stat_ssl s WHERE s.pid = pg_backend_pid()");
    const bool ok = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1;
    if (ok) {
        check.Encrypted = Field(r, 0) == "t";
        check.TlsVersion = Field(r, 1);
        check.Cipher = Field(r, 2);
        check.ServerVersion = Field(r, 3);
        check.ServerUser = Field(r, 4);
    } else {
        check.Detail = Trimmed(PQerrorMessage(conn));
    }
    PQclear(r);
    return ok;
}

void Refused(TServerCheck& check, const TArchiveSettings& s, const TAttempt& a) {
    check.SqlState = a.SqlState;
    check.Detail = a.Detail;
    check.Problem =
        a.NeedsPassword ? TArchiveProblem::PasswordRefused : ProblemOfSqlState(a.SqlState);
    const std::string server = "档案服务器 " + ServerName(s);
    const std::string code = a.SqlState.empty() ? "" : "（SQLSTATE " + a.SqlState + "）";
    switch (check.Problem) {
        case TArchiveProblem::PasswordRefused:
            check.Text = server + " 拒绝登录：用户名或密码不对，或没有给出密码" + code + "。";
            if (a.SqlState == "28000")
                check.Text +=
                    Encrypts(s.SslMode) || IsLocalSocket(s)
                        ? "服务器也可能不允许这个用户从本机登录。"
                        : "服务器也可能只接受加密的连接：“档案设置”里的加密方式是“不加密”。";
            break;
        case TArchiveProblem::NoDatabase:
            check.Text = server + " 上没有名为“" + s.Database + "”的数据库" + code + "。";
            break;
        case TArchiveProblem::NotPermitted:
            check.Text = server + " 不允许用户 " + (s.User.empty() ? "（默认用户）" : s.User) +
                         " 使用数据库 " + s.Database + code + "。";
            break;
        default:
            // The server refused for another reason (shutting down, too many
            // connections): it is there, but cannot be used now.
            check.Problem = TArchiveProblem::Unreachable;
            check.Text = "无法连接" + server + DatabaseText(s) + "：服务器拒绝了连接" + code + "。";
    }
    check.Text += "\n服务器的原话：" + a.Detail;
}

// No code from the server: find which step fails, each tried once without a
// password.
void NotReached(TServerCheck& check, const TArchiveSettings& s, const TAttempt& first) {
    check.Detail = first.Detail;
    const std::string server = "档案服务器 " + ServerName(s);
    const std::string unreachable = "无法连接" + server + DatabaseText(s) +
                                    "：服务器没有应答，或地址、端口不对。\n" + first.Detail;
    check.Problem = TArchiveProblem::Unreachable;
    if (first.TimedOut || IsLocalSocket(s) || !Encrypts(s.SslMode)) {
        check.Text = unreachable;
        return;
    }
    const std::string root = RootCertOf(s);
    const bool verifies = s.SslMode.rfind("verify-", 0) == 0;
    check.Problem = TArchiveProblem::Insecure;
    if (verifies && !QFileInfo::exists(QString::fromStdString(root))) {
        check.Text = "找不到根证书文件 " + root + "，无法验证" + server +
                     " 的证书。请向管理员要服务器的根证书，或在“档案设置”里选择它。" + NothingSent;
        return;
    }
    TArchiveSettings weaker = s;
    weaker.SslMode = "require";
    // libpq checks "require" against a root certificate file that exists.
    weaker.RootCert = QDir::temp().filePath("kr3090-no-root-certificate").toStdString();
    if (verifies && Attempt(weaker, {}, false).Reached) {
        weaker.SslMode = "verify-ca";
        weaker.RootCert = s.RootCert;
        if (s.SslMode == "verify-full" && Attempt(weaker, {}, false).Reached)
            check.Text = server + " 的证书与主机名“" + s.Host + "”不符：它是发给别的主机名的。" +
                         NothingSent;
        else
            check.Text = server + " 的证书不是根证书 " + root +
                         " 认可的机构签发的（证书颁发机构未知）。" + NothingSent;
        check.Text += "\n" + first.Detail;
        return;
    }
    weaker.SslMode = "disable";
    if (Attempt(weaker, {}, false).Reached) {
        check.Text = server + " 不支持加密连接（没有开启 TLS），而“档案设置”要求加密。" +
                     std::string(NothingSent);
        return;
    }
    check.Problem = TArchiveProblem::Unreachable;
    check.Text = unreachable;
}

}  // namespace

TServerCheck CheckServer(const TArchiveSettings& s, const std::string& password) {
    TServerCheck check;
    std::unique_ptr<TPq> session;
    const TAttempt a = Attempt(s, password, true, &session);
    if (!a.Connected) {
        if (a.Reached)
            Refused(check, s, a);
        else
            NotReached(check, s, a);
        return check;
    }
    if (!ReadSession(session->Conn, check)) {
        check.Problem = TArchiveProblem::Other;
        check.Text = "已连接档案服务器 " + ServerName(s) + "，但读不到连接的状态：" + check.Detail;
        return check;
    }
    const std::string server = "档案服务器 " + ServerName(s);
    if (Encrypts(s.SslMode) && !IsLocalSocket(s) && !check.Encrypted) {
        // libpq should never let this happen; the server's word decides.
        check.Problem = TArchiveProblem::Insecure;
        check.Text = "与" + server + " 的连接没有加密，与“档案设置”的要求不符。" + NothingSent;
        return check;
    }
    check.Connected = true;
    check.Text = "已连接" + server + DatabaseText(s) + "，登录用户 " + check.ServerUser + "。\n";
    if (check.Encrypted) {
        check.Text += "连接已加密（" + check.TlsVersion + "，" + check.Cipher + "）";
        if (s.SslMode == "verify-full")
            check.Text += "，服务器的证书已验证：证书链可信，主机名相符。\n";
        else if (s.SslMode == "verify-ca")
            check.Text += "，服务器的证书链已验证，主机名没有核对。\n";
        else
            check.Text += "，但没有验证服务器的证书：无法确认对方就是档案服务器。\n";
    } else if (IsLocalSocket(s)) {
        check.Text += "本机套接字连接：不经过网络，没有加密。\n";
    } else {
        check.Text += "连接没有加密：密码以外的内容在网络上都是明文。\n";
    }
    check.Text += "服务器版本：PostgreSQL " + check.ServerVersion;
    return check;
}

std::string PasswordVerifier(const TArchiveSettings& s, const std::string& password,
                             const std::string& user, const std::string& secret) {
    std::unique_ptr<TPq> session;
    if (!Attempt(s, password, true, &session).Connected) return {};
    char* verifier =
        PQencryptPasswordConn(session->Conn, secret.c_str(), user.c_str(), "scram-sha-256");
    const std::string out = verifier ? verifier : "";
    PQfreemem(verifier);
    return out;
}

#else  // no libpq: the program has Qt's driver alone (or none)

std::string PasswordVerifier(const TArchiveSettings&, const std::string&, const std::string&,
                             const std::string&) {
    return {};
}

TServerCheck CheckServer(const TArchiveSettings& s, const std::string&) {
    TServerCheck check;
    check.Problem = TArchiveProblem::NoDriver;
    check.Text = "无法检查与档案服务器 " + ServerName(s) +
                 " 的连接：本程序没有带 PostgreSQL 的客户端库（libpq）。";
    return check;
}

#endif
