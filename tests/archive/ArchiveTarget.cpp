#include "ArchiveTarget.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QSqlQuery>
#include <QStringList>

std::string TestServerFolder() {
    return qEnvironmentVariable("KR3090_ARCHIVE_SERVER").toStdString();
}

TArchiveSettings SettingsOfTarget(const std::string& target) {
    TArchiveSettings s;
    const std::string where = target.substr(target.find(':') + 1);
    if (target.rfind("server:", 0) == 0) {
        s.Driver = TArchiveDriver::PostgreSQL;
        s.Host = where;
        s.User = "kr3090";
        s.Database = "kr3090";
        // A team server (scripts/team-server-test.sh): TCP and verified TLS,
        // its "host port" in the file tcp, its certificate authority's ca.crt.
        QFile tcp(QString::fromStdString(where + "/tcp"));
        if (tcp.open(QIODevice::ReadOnly)) {
            const QStringList hostPort = QString::fromUtf8(tcp.readAll()).simplified().split(' ');
            s.Host = hostPort.value(0).toStdString();
            s.Port = hostPort.value(1).toInt();
            s.SslMode = "verify-full";
            s.RootCert = where + "/ca.crt";
        }
        // The password comes from the server's pgpass file, read by libpq.
        qputenv("PGPASSFILE", QByteArray::fromStdString(where + "/pgpass"));
    } else {
        s.File = where;
    }
    return s;
}

TArchivedRecord TestRecord(int k) {
    TArchivedRecord r;
    r.Number = k % 100 + 1;
    TRecordValues& v = r.Values;
    v.Frequency = k % 2 ? 45 : 55;
    v.U = 2.0f + static_cast<float>(k) * 0.001f;
    v.I = 1.25f;
    v.Phi = 30.0f + static_cast<float>(k % 7);
    v.RmOn = k % 3 == 0;
    v.Year = 117;  // a byte as the instrument sends it
    v.Month = 1 + k / 100 % 12;
    v.Day = 1 + k % 28;
    v.Hour = k % 24;
    v.Minute = k % 60;
    v.Second = k / 1200 % 60;
    return r;
}

std::vector<TArchivedRecord> TestRecords(int first, int count) {
    std::vector<TArchivedRecord> list;
    for (int k = first; k < first + count; ++k) list.push_back(TestRecord(k));
    return list;
}

QSqlDatabase RawServerConnection(const std::string& folder, const QString& name) {
    if (QSqlDatabase::contains(name)) return QSqlDatabase::database(name);
    const TArchiveSettings settings = SettingsOfTarget("server:" + folder);
    QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", name);
    // The server's socket in its folder; a team server's too, which
    // listens there on its TCP port's number. Windows reaches it by TCP.
    QString options = "options='-c client_min_messages=warning'";
#ifdef _WIN32
    db.setHostName(QString::fromStdString(settings.Host));
    // A Windows path's backslashes would be libpq's escapes: quoted.
    if (!settings.RootCert.empty())
        options += ";sslmode=verify-full;sslrootcert='" +
                   QString::fromStdString(settings.RootCert).replace("\\", "\\\\") + "'";
#else
    db.setHostName(QString::fromStdString(folder));
#endif
    db.setPort(settings.Port);
    db.setUserName("kr3090");
    db.setDatabaseName("kr3090");
    db.setConnectOptions(options);
    db.open();
    return db;
}

void DropServerTables(const std::string& folder) {
    {
        QSqlDatabase db = RawServerConnection(folder, "kr3090-test-drop");
        QSqlQuery(db).exec(
            "DROP TABLE IF EXISTS change_log, sync_marks, site_aliases, records, campaigns, sites,"
            " schema_version");
        db.close();
    }
    QSqlDatabase::removeDatabase("kr3090-test-drop");
}
