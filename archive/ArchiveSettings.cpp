#include "archive/ArchiveSettings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <iterator>

#include "archive/Archive.h"
#include "qtext/QText.h"
#include "settings/Config.h"

namespace {

constexpr const char* Section = "Archive";

std::string S(const QString& text) {
    return text.toStdString();
}

}  // namespace

std::string ArchiveFileIn(const std::string& folder) {
    return S(QDir::toNativeSeparators(QDir(Q(folder)).filePath(DefaultArchiveFileName)));
}

TArchiveSettings LoadArchiveSettings(const std::string& configFile, const std::string& folder) {
    const TConfigSection ini = LoadConfigSection(configFile, Section);
    TArchiveSettings s;
    s.Driver = Q(ini.Text("Driver", "SQLite")).compare("PostgreSQL", Qt::CaseInsensitive) == 0
                   ? TArchiveDriver::PostgreSQL
                   : TArchiveDriver::SQLite;
    s.File = ini.Text("File", "");
    if (s.File.empty()) s.File = ArchiveFileIn(folder);
    s.Host = ini.Text("Host", s.Host);
    s.Port = ini.Integer("Port", s.Port);
    s.Database = ini.Text("Database", s.Database);
    s.User = ini.Text("User", s.User);
    const std::string mode = ini.Text("SslMode", s.SslMode);
    s.SslMode = std::find_if(std::begin(SslModes), std::end(SslModes), [&](const char* m) {
                    return mode == m;
                }) != std::end(SslModes)
                    ? mode
                    : SslModes[0];
    s.RootCert = ini.Text("SslRootCert", s.RootCert);
    s.ClientCert = ini.Text("SslCert", s.ClientCert);
    s.ClientKey = ini.Text("SslKey", s.ClientKey);
    return s;
}

void SaveArchiveSettings(const std::string& configFile, const TArchiveSettings& s,
                         const std::string& folder) {
    SaveConfigSection(
        configFile, Section,
        {{"Driver", s.Driver == TArchiveDriver::PostgreSQL ? "PostgreSQL" : "SQLite"},
         {"File", s.File == ArchiveFileIn(folder) ? std::string() : s.File},
         {"Host", s.Host},
         {"Port", std::to_string(s.Port)},
         {"Database", s.Database},
         {"User", s.User},
         {"SslMode", s.SslMode},
         {"SslRootCert", s.RootCert},
         {"SslCert", s.ClientCert},
         {"SslKey", s.ClientKey}});
}

std::string DefaultRootCertFile() {
#ifdef _WIN32
    const QString folder = qEnvironmentVariable("APPDATA") + "/postgresql";
#else
    const QString folder = QDir::homePath() + "/.postgresql";
#endif
    return S(QDir::toNativeSeparators(QDir::cleanPath(folder + "/root.crt")));
}

std::string SetAsideArchiveFile(const std::string& file) {
    const QString name = Q(file);
    const QString stamp = QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss");
    QString aside = name + ".damaged-" + stamp;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo::exists(aside + "-wal"); ++n)
        aside = name + ".damaged-" + stamp + "-" + QString::number(n);
    if (!QFile::rename(name, aside))
        throw TArchiveError(TArchiveProblem::CannotOpen, "无法把损坏的档案文件改名保留：" + file +
                                                             "（它是否被别的程序打开着？）");
    // SQLite would read a -wal file left under the old name into the new
    // archive; it belongs to the damaged one.
    for (const char* part : {"-wal", "-shm", "-journal"})
        if (QFileInfo::exists(name + part)) QFile::rename(name + part, aside + part);
    return S(QDir::toNativeSeparators(aside));
}
