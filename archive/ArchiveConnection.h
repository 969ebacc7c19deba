#pragma once
// A team server reached straight through libpq, beside Qt's driver, for what
// Qt does not pass on: why a connection failed, and how the link stands.
//
// The server's own refusals carry their SQLSTATE (28P01), which libpq puts
// after the severity in its verbose error text ("FATAL:  28P01: ...", "致命错误:
// 28P01: ..."), whatever language the server speaks (lc_messages); the code
// decides, never the words. A failure without one happened on this side (the
// certificate, the host name, a server without TLS, no server at all): it is
// told apart by trying the weaker steps once each, without any password and
// without ~/.pgpass, so that nothing secret goes over a link the settings do
// not allow, and nothing is stored by a check.

#include <string>
#include <utility>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveSettings.h"

// The server's view of a session that connected, and the check's outcome.
struct TServerCheck {
    bool Connected = false;
    TArchiveProblem Problem = TArchiveProblem::Other;  // when not connected
    std::string SqlState;                              // the server's code, when the server refused
    std::string Detail;  // the server's or libpq's own words, as they came
    std::string Text;    // the whole answer for the operator, in Chinese
    // Connected: what pg_stat_ssl says of this very session.
    bool Encrypted = false;
    std::string TlsVersion;  // "TLSv1.3"
    std::string Cipher;      // "TLS_AES_256_GCM_SHA384"
    std::string ServerVersion;
    std::string ServerUser;  // the role the server logged us in as
};

// Connects with the settings (and the password; empty: libpq's password
// file), reads the server's view of the session, disconnects. Used by
// "测试连接" and, when Qt's driver fails to connect, to say why.
TServerCheck CheckServer(const TArchiveSettings& settings, const std::string& password);

// The SCRAM-SHA-256 verifier of a new login's password, made here by libpq
// so that the password itself never reaches the server (nor its log); empty
// when this program has no libpq or cannot connect.
std::string PasswordVerifier(const TArchiveSettings& settings, const std::string& password,
                             const std::string& user, const std::string& secret);

// What a server's SQLSTATE means for the window: 28P01 and 28000 ask for the
// password (PasswordRefused), 3D000 NoDatabase, 42501 NotPermitted, the
// archive's own KR090 (a reviewed campaign) Reviewed, class 08
// and 57P01 ConnectionLost, anything else Other.
TArchiveProblem ProblemOfSqlState(const std::string& state);

// The SQLSTATE in a libpq error text written with PQERRORS_VERBOSE; empty
// when it has none.
std::string SqlStateIn(const std::string& text);

// libpq's connection keywords for the TLS settings, the timeouts and the
// program's name (host, port, database, user and password are not among them).
std::vector<std::pair<std::string, std::string>> ServerOptions(const TArchiveSettings& settings);

// "user@host:port", as every text about the server names it.
std::string ServerName(const TArchiveSettings& settings);

// True when the host is a Unix socket folder: a link that never leaves the
// machine, which libpq does not encrypt.
bool IsLocalSocket(const TArchiveSettings& settings);
