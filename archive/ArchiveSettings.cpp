#include "archive/ArchiveSettings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <iterator>

#include "archive/Archive.h"

namespace {

QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

std::string S(const QString& text) {
    return text.toStdString();
}

}  // namespace

std::string ArchiveFileIn(const std::string& folder) {
    return S(QDir::toNativeSeparators(QDir(Q(folder)).filePath(DefaultArchiveFileName)));
}

TArchiveSettings ArchiveSettingsFrom(const TArchiveConfig& config, const std::string& folder) {
    TArchiveSettings s;
    s.Driver = QString::fromStdString(config.Driver).compare("PostgreSQL", Qt::CaseInsensitive) == 0
                   ? TArchiveDriver::PostgreSQL
                   : TArchiveDriver::SQLite;
    s.File = config.File.empty() ? ArchiveFileIn(folder) : config.File;
    s.Host = config.Host;
    s.Port = config.Port;
    s.Database = config.Database;
    s.User = config.User;
    s.SslMode =
        std::find(std::begin(SslModes), std::end(SslModes), config.SslMode) != std::end(SslModes)
            ? config.SslMode
            : SslModes[0];
    s.RootCert = config.SslRootCert;
    s.ClientCert = config.SslCert;
    s.ClientKey = config.SslKey;
    return s;
}

TArchiveConfig ArchiveConfigFrom(const TArchiveSettings& settings) {
    TArchiveConfig c;
    c.Driver = settings.Driver == TArchiveDriver::PostgreSQL ? "PostgreSQL" : "SQLite";
    c.File = settings.File;
    c.Host = settings.Host;
    c.Port = settings.Port;
    c.Database = settings.Database;
    c.User = settings.User;
    c.SslMode = settings.SslMode;
    c.SslRootCert = settings.RootCert;
    c.SslCert = settings.ClientCert;
    c.SslKey = settings.ClientKey;
    return c;
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
