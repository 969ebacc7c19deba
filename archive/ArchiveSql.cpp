#include "archive/ArchiveSql.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <atomic>
#include <bit>
#include <cmath>
#include <map>

#include "archive/ArchiveConnection.h"
#include "archive/ArchiveSchema.h"
#include "archive/SqlQuery.h"
#include "qtext/QText.h"

namespace {

std::string S(const QString& text) {
    return text.toStdString();
}

// The single as the instrument sent it, its bits read as a signed integer.
std::int32_t SingleBits(double v) {
    return std::bit_cast<std::int32_t>(static_cast<float>(v));
}

double FromBits(const QVariant& bits) {
    return std::bit_cast<float>(static_cast<std::int32_t>(bits.toLongLong()));
}

std::optional<double> OptionalOf(const QVariant& v) {
    if (v.isNull()) return std::nullopt;
    return v.toDouble();
}

const char* const SiteColumns =
    "id, name, voltage_level, grid_size, location, uuid, retest_years,"
    " (SELECT MAX(c.test_date) FROM campaigns c WHERE c.site_id = sites.id)";

const char* const CampaignColumns =
    "c.id, c.site_id, c.test_date, c.testers, c.weather, c.soil, c.lead_layout, c.lead_lengths,"
    " c.instrument_serial, c.remarks, c.limit_ohm, c.power_frequency, c.value_kind,"
    " c.two_below, c.two_above, c.two_r, c.two_x, c.two_z, c.two_phi,"
    " c.fit_frequencies, c.fit_lowest, c.fit_highest, c.fit_slope_r, c.fit_intercept_r,"
    " c.fit_slope_x, c.fit_intercept_x, c.fit_r, c.fit_x, c.fit_z, c.fit_phi,"
    " c.fit_residual_r, c.fit_residual_x,"
    " (SELECT COUNT(*) FROM records r WHERE r.campaign_id = c.id), c.uuid,"
    " c.layout_method, c.grid_diagonal, c.grid_length, c.grid_width, c.current_distance,"
    " c.probe_distance, c.lead_angle, c.soil_kind";

const char* const RecordColumns =
    "id, campaign_id, number, time_year, time_month, time_day, time_hour, time_minute,"
    " time_second, frequency, u_bits, i_bits, phi_bits, rm_on, probe_distance";

// Records go in by up to 50 rows a statement: on a server each statement is
// a round trip, and one a record made storing over a network many times
// slower than into a file.
constexpr int RowsPerInsert = 50;

// A record the campaign holds already (the records table's UNIQUE key,
// ArchiveSchema.cpp) is not stored again.
QString InsertRecords(int rows) {
    QString sql = QStringLiteral(
        "INSERT INTO records (campaign_id, number, time_year, time_month, time_day, time_hour,"
        " time_minute, time_second, frequency, u_bits, i_bits, phi_bits, rm_on, z, r, x,"
        " probe_distance) VALUES ");
    for (int k = 0; k < rows; ++k)
        sql += QLatin1String(k ? ", " : "") +
               QLatin1String("(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    return sql + QLatin1String(" ON CONFLICT DO NOTHING");
}

QVariant RetestYearsOf(const TSite& site) {
    return site.RetestYears ? QVariant(*site.RetestYears) : QVariant(QMetaType(QMetaType::Int));
}

TSite SiteFrom(const QSqlQuery& q) {
    TSite s;
    s.Id = q.value(0).toLongLong();
    s.Name = S(q.value(1).toString());
    s.VoltageLevel = S(q.value(2).toString());
    s.GridSize = S(q.value(3).toString());
    s.Location = S(q.value(4).toString());
    s.Uuid = S(q.value(5).toString());
    if (!q.value(6).isNull()) s.RetestYears = q.value(6).toInt();
    s.LastTest = S(q.value(7).toString());
    return s;
}

TPowerValue PowerValueFrom(const QSqlQuery& q, int first) {
    return {q.value(first).toDouble(), q.value(first + 1).toDouble(), q.value(first + 2).toDouble(),
            q.value(first + 3).toDouble()};
}

TCampaignSummary CampaignFrom(const QSqlQuery& q) {
    TCampaignSummary out;
    TCampaign& c = out.Campaign;
    c.Id = q.value(0).toLongLong();
    c.SiteId = q.value(1).toLongLong();
    c.Date = S(q.value(2).toString());
    c.Testers = S(q.value(3).toString());
    c.Weather = S(q.value(4).toString());
    c.Soil = S(q.value(5).toString());
    c.LeadLayout = S(q.value(6).toString());
    c.LeadLengths = S(q.value(7).toString());
    c.InstrumentSerial = S(q.value(8).toString());
    c.Remarks = S(q.value(9).toString());
    c.Limit = OptionalOf(q.value(10));
    c.PowerFrequency = q.value(11).toInt();
    TCampaignValue& v = out.Value;
    v.PowerFrequency = c.PowerFrequency;
    const int valueKind = q.value(12).toInt();
    v.Method = valueKind >= 0 && valueKind <= int(TValueMethod::NothingAbove)
                   ? TValueMethod(valueKind)
                   : TValueMethod::NoRecords;
    if (!q.value(13).isNull())
        v.TwoPoint =
            TTwoPointValue{q.value(13).toInt(), q.value(14).toInt(), PowerValueFrom(q, 15)};
    if (!q.value(19).isNull()) {
        TLineFitValue f;
        f.Frequencies = q.value(19).toInt();
        f.Lowest = q.value(20).toInt();
        f.Highest = q.value(21).toInt();
        f.SlopeR = q.value(22).toDouble();
        f.InterceptR = q.value(23).toDouble();
        f.SlopeX = q.value(24).toDouble();
        f.InterceptX = q.value(25).toDouble();
        f.Value = PowerValueFrom(q, 26);
        f.MaxResidualR = q.value(30).toDouble();
        f.MaxResidualX = q.value(31).toDouble();
        v.LineFit = f;
    }
    out.Records = q.value(32).toInt();
    c.Uuid = S(q.value(33).toString());
    // A kind this program does not know (a newer program's) reads as none.
    TLeadLayout& l = c.Layout;
    const int method = q.value(34).toInt();
    l.Method = method >= 0 && method <= int(TLayoutMethod::Other) ? TLayoutMethod(method)
                                                                  : TLayoutMethod::None;
    l.Diagonal = OptionalOf(q.value(35));
    l.GridLength = OptionalOf(q.value(36));
    l.GridWidth = OptionalOf(q.value(37));
    l.CurrentDistance = OptionalOf(q.value(38));
    l.ProbeDistance = OptionalOf(q.value(39));
    l.Angle = OptionalOf(q.value(40));
    const int soil = q.value(41).toInt();
    l.Soil = soil >= 0 && soil <= int(TSoilKind::NonUniform) ? TSoilKind(soil) : TSoilKind::Unknown;
    return out;
}

TArchivedRecord RecordFrom(const QSqlQuery& q) {
    TArchivedRecord r;
    r.Id = q.value(0).toLongLong();
    r.CampaignId = q.value(1).toLongLong();
    r.Number = q.value(2).toInt();
    TRecordValues& v = r.Values;
    v.Year = q.value(3).toInt();
    v.Month = q.value(4).toInt();
    v.Day = q.value(5).toInt();
    v.Hour = q.value(6).toInt();
    v.Minute = q.value(7).toInt();
    v.Second = q.value(8).toInt();
    v.Frequency = q.value(9).toInt();
    v.U = FromBits(q.value(10));
    v.I = FromBits(q.value(11));
    v.Phi = FromBits(q.value(12));
    v.RmOn = q.value(13).toInt() != 0;
    r.ProbeDistance = OptionalOf(q.value(14));
    return r;
}

// The identifier of a site or campaign stored here first.
QString UuidOr(const std::string& given) {
    return given.empty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : Q(given);
}

// Connection names must be unique in the process: two archives may be open.
QString NewConnectionName() {
    static std::atomic<int> next{0};
    return QString("kr3090-archive-%1").arg(++next);
}

// libpq's keyword=value; a value with a space, a quote or a backslash (a
// Windows path) in quotes, as libpq reads them.
QString ConnectOption(const std::string& key, const std::string& value) {
    QString v = QString::fromLocal8Bit(value.c_str());
    if (v.isEmpty() || v.contains(' ') || v.contains('\'') || v.contains('\\')) {
        v.replace("\\", "\\\\").replace("'", "\\'");
        v = "'" + v + "'";
    }
    return Q(key) + "=" + v;
}

class TSqlArchive final : public TArchive {
  public:
    TSqlArchive(const TArchiveSettings& settings, const std::string& password)
        : Settings(settings), Password(password), Connection(NewConnectionName()) {
        try {
            Connect();
        } catch (...) {
            Release();
            throw;
        }
    }

    ~TSqlArchive() override { Release(); }

    std::string Description() override {
        if (Settings.Driver == TArchiveDriver::SQLite) return "SQLite 档案：" + Settings.File;
        return "PostgreSQL 档案：" + Server() + "/" + Settings.Database;
    }

    std::vector<TSite> Sites() override {
        return Call([&] {
            std::vector<TSite> sites;
            QSqlQuery q = RunSql(Db, QString("SELECT %1 FROM sites ORDER BY id").arg(SiteColumns),
                                 {}, "读取场地");
            while (q.next()) sites.push_back(SiteFrom(q));
            return sites;
        });
    }

    std::int64_t SaveSite(const TSite& site) override {
        if (site.Name.empty()) throw TArchiveError(TArchiveProblem::Other, "场地名称不能为空。");
        return Call([&]() -> std::int64_t {
            try {
                if (site.Id == 0) {
                    const std::int64_t copy = IdOfUuid("sites", site.Uuid);
                    return copy ? copy : InsertSite(site);
                }
                QSqlQuery q = RunSql(Db,
                                     "UPDATE sites SET name = ?, voltage_level = ?, grid_size = ?,"
                                     " location = ?, retest_years = ? WHERE id = ?",
                                     {Q(site.Name), Q(site.VoltageLevel), Q(site.GridSize),
                                      Q(site.Location), RetestYearsOf(site),
                                      QVariant::fromValue<qint64>(site.Id)},
                                     "保存场地");
                if (q.numRowsAffected() == 0) ThrowSiteGone();
                return site.Id;
            } catch (const TArchiveError&) {
                ThrowIfNameTaken(site);
                throw;
            }
        });
    }

    void DeleteSite(std::int64_t siteId) override {
        Call([&] { RunSql(Db, "DELETE FROM sites WHERE id = ?", {Id(siteId)}, "删除场地"); });
    }

    std::vector<TCampaignSummary> Campaigns(std::int64_t siteId) override {
        return Call([&] {
            std::vector<TCampaignSummary> list;
            QSqlQuery q = RunSql(Db,
                                 QString("SELECT %1 FROM campaigns c WHERE c.site_id = ?"
                                         " ORDER BY c.test_date, c.id")
                                     .arg(CampaignColumns),
                                 {Id(siteId)}, "读取测试");
            while (q.next()) list.push_back(CampaignFrom(q));
            return list;
        });
    }

    std::int64_t SaveCampaign(const TCampaign& c) override {
        CheckPowerFrequency(c);
        return Call([&] {
            TTransaction transaction(Db);
            const std::int64_t id = WriteCampaign(c);
            transaction.Commit();
            return id;
        });
    }

    void DeleteCampaign(std::int64_t campaignId) override {
        Call([&] {
            RunSql(Db, "DELETE FROM campaigns WHERE id = ?", {Id(campaignId)}, "删除测试");
        });
    }

    std::vector<TArchivedRecord> Records(std::int64_t campaignId) override {
        return Call([&] { return ReadRecords(campaignId); });
    }

    TImportResult Import(std::int64_t campaignId,
                         const std::vector<TArchivedRecord>& records) override {
        return Call([&] {
            TTransaction transaction(Db);
            LockCampaign(campaignId);
            const TImportResult result = ImportInto(campaignId, records);
            transaction.Commit();
            return result;
        });
    }

    void MergeSite(std::int64_t siteId, const std::string& otherUuid) override {
        Call([&] {
            TTransaction transaction(Db);
            if (!RunSql(Db, "SELECT 1 FROM sites WHERE id = ?", {Id(siteId)}, "合并场地").next())
                ThrowSiteGone();
            RunSql(Db,
                   "INSERT INTO site_aliases (uuid, site_id) VALUES (?, ?)"
                   " ON CONFLICT (uuid) DO UPDATE SET site_id = excluded.site_id",
                   {Q(otherUuid), Id(siteId)}, "合并场地");
            transaction.Commit();
        });
    }

    std::vector<std::pair<std::string, std::int64_t>> SiteAliases() override {
        return Call([&] {
            std::vector<std::pair<std::string, std::int64_t>> aliases;
            QSqlQuery q =
                RunSql(Db, "SELECT uuid, site_id FROM site_aliases ORDER BY uuid", {}, "读取场地");
            while (q.next())
                aliases.emplace_back(S(q.value(0).toString()), q.value(1).toLongLong());
            return aliases;
        });
    }

    std::vector<std::pair<std::string, std::string>> SyncMarks(const std::string& peer) override {
        return Call([&] {
            std::vector<std::pair<std::string, std::string>> marks;
            QSqlQuery q = RunSql(Db, "SELECT campaign_uuid, details FROM sync_marks WHERE peer = ?",
                                 {Q(peer)}, "读取同步记号");
            while (q.next()) marks.emplace_back(S(q.value(0).toString()), S(q.value(1).toString()));
            return marks;
        });
    }

    void SetSyncMarks(const std::string& peer,
                      const std::vector<std::pair<std::string, std::string>>& marks) override {
        if (marks.empty()) return;
        Call([&] {
            TTransaction transaction(Db);
            QSqlQuery q = PrepareSql(Db,
                                     "INSERT INTO sync_marks (peer, campaign_uuid, details)"
                                     " VALUES (?, ?, ?) ON CONFLICT (peer, campaign_uuid)"
                                     " DO UPDATE SET details = excluded.details",
                                     "保存同步记号");
            for (const auto& [uuid, details] : marks)
                RunPrepared(q, {Q(peer), Q(uuid), Q(details)}, "保存同步记号");
            q.finish();
            transaction.Commit();
        });
    }

    TStoreResult Store(const TSite& site, const TCampaign& campaign,
                       const std::vector<TArchivedRecord>& records) override {
        if (site.Id == 0 && site.Name.empty())
            throw TArchiveError(TArchiveProblem::Other, "场地名称不能为空。");
        if (site.Id == 0 && campaign.Id != 0)
            throw TArchiveError(TArchiveProblem::Other, "新场地只能存入新的测试。");
        CheckPowerFrequency(campaign);
        return Call([&] {
            try {
                TTransaction transaction(Db);
                TStoreResult out;
                out.SiteId = site.Id ? site.Id : IdOfUuid("sites", site.Uuid);
                if (out.SiteId == 0) out.SiteId = InsertSite(site);
                out.CampaignId = campaign.Id ? campaign.Id : IdOfUuid("campaigns", campaign.Uuid);
                if (out.CampaignId == 0) {
                    TCampaign fresh = campaign;
                    fresh.SiteId = out.SiteId;
                    out.CampaignId = WriteCampaign(fresh);
                }
                LockCampaign(out.CampaignId);
                out.Records = ImportInto(out.CampaignId, records);
                transaction.Commit();
                return out;
            } catch (const TArchiveError&) {
                if (site.Id == 0) ThrowIfNameTaken(site);
                throw;
            }
        });
    }

  private:
    static QVariant Id(std::int64_t id) { return QVariant::fromValue<qint64>(id); }

    static void CheckPowerFrequency(const TCampaign& c) {
        if (c.PowerFrequency != 50 && c.PowerFrequency != 60)
            throw TArchiveError(TArchiveProblem::Other, "工频只能是 50Hz 或 60Hz。");
    }

    std::int64_t InsertSite(const TSite& site) {
        QSqlQuery q = RunSql(Db,
                             "INSERT INTO sites (name, voltage_level, grid_size,"
                             " location, uuid, retest_years) VALUES (?, ?, ?, ?, ?, ?) RETURNING id",
                             {Q(site.Name), Q(site.VoltageLevel), Q(site.GridSize),
                              Q(site.Location), UuidOr(site.Uuid), RetestYearsOf(site)},
                             "保存场地");
        q.next();
        return q.value(0).toLongLong();
    }

    // A new campaign (Id 0) or its changes, with its value worked out again
    // (the power frequency may have changed); inside the caller's transaction.
    std::int64_t WriteCampaign(const TCampaign& c) {
        if (!RunSql(Db, "SELECT 1 FROM sites WHERE id = ?", {Id(c.SiteId)}, "保存测试").next())
            ThrowSiteGone();
        const QVariant limit = OptionalDouble(c.Limit);
        std::int64_t id = c.Id;
        if (id == 0) {
            QSqlQuery q = RunSql(
                Db,
                "INSERT INTO campaigns (site_id, test_date, testers, weather, soil,"
                " lead_layout, lead_lengths, instrument_serial, remarks, limit_ohm,"
                " power_frequency, uuid) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
                {Id(c.SiteId), Q(c.Date), Q(c.Testers), Q(c.Weather), Q(c.Soil), Q(c.LeadLayout),
                 Q(c.LeadLengths), Q(c.InstrumentSerial), Q(c.Remarks), limit, c.PowerFrequency,
                 UuidOr(c.Uuid)},
                "保存测试");
            q.next();
            id = q.value(0).toLongLong();
        } else {
            LockCampaign(id);
            RunSql(Db,
                   "UPDATE campaigns SET site_id = ?, test_date = ?, testers = ?, weather = ?,"
                   " soil = ?, lead_layout = ?, lead_lengths = ?, instrument_serial = ?,"
                   " remarks = ?, limit_ohm = ?, power_frequency = ? WHERE id = ?",
                   {Id(c.SiteId), Q(c.Date), Q(c.Testers), Q(c.Weather), Q(c.Soil), Q(c.LeadLayout),
                    Q(c.LeadLengths), Q(c.InstrumentSerial), Q(c.Remarks), limit, c.PowerFrequency,
                    Id(id)},
                   "保存测试");
        }
        StoreLayout(id, c.Layout);
        StoreValue(id);
        return id;
    }

    // The records into a locked campaign, inside the caller's transaction.
    TImportResult ImportInto(std::int64_t campaignId, const std::vector<TArchivedRecord>& records) {
        TImportResult result;
        const int total = static_cast<int>(records.size());
        std::map<int, QSqlQuery> statements;  // by rows: the full one and the last
        for (int first = 0; first < total; first += RowsPerInsert) {
            const int rows = std::min(RowsPerInsert, total - first);
            auto [at, made] = statements.try_emplace(rows);
            if (made) at->second = PrepareSql(Db, InsertRecords(rows), "导入记录");
            QVariantList values;
            for (int k = first; k < first + rows; ++k)
                AppendRecordValues(values, campaignId, records[k]);
            RunPrepared(at->second, values, "导入记录");
            const int stored = at->second.numRowsAffected();
            result.Stored += stored;
            result.Already += rows - stored;
            for (int k = first; ImportProgress && k < first + rows; ++k)
                ImportProgress(k + 1, total);
        }
        for (auto& [rows, statement] : statements) statement.finish();
        if (result.Stored > 0) StoreValue(campaignId);
        return result;
    }

    void Release() {
        if (Db.isValid()) Db.close();
        Db = QSqlDatabase();  // the last handle goes before the connection is removed
        QSqlDatabase::removeDatabase(Connection);
    }

    std::vector<TArchivedRecord> ReadRecords(std::int64_t campaignId) {
        std::vector<TArchivedRecord> list;
        QSqlQuery q = RunSql(
            Db,
            QString("SELECT %1 FROM records WHERE campaign_id = ? ORDER BY id").arg(RecordColumns),
            {Id(campaignId)}, "读取记录");
        while (q.next()) list.push_back(RecordFrom(q));
        return list;
    }

    std::string Server() const { return ServerName(Settings); }

    // Opens the connection, checks a SQLite file, brings the schema up to date.
    void Connect() {
        const bool sqlite = Settings.Driver == TArchiveDriver::SQLite;
        const QString driver = sqlite ? "QSQLITE" : "QPSQL";
        if (const std::string missing = MissingDriverText(Settings.Driver); !missing.empty())
            throw TArchiveError(TArchiveProblem::NoDriver, missing);
        Db = QSqlDatabase::contains(Connection) ? QSqlDatabase::database(Connection, false)
                                                : QSqlDatabase::addDatabase(driver, Connection);
        if (sqlite)
            OpenFile();
        else
            OpenServer();
        MigrateArchive(Db, ArchiveMigrations(), Description());
    }

    void OpenFile() {
        const QString file = Q(Settings.File);
        QDir().mkpath(QFileInfo(file).absolutePath());
        Db.setDatabaseName(file);
        // Another program's import holds the write lock for milliseconds.
        Db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=10000");
        if (!Db.open())
            throw TArchiveError(TArchiveProblem::CannotOpen, "无法打开或新建档案文件：" +
                                                                 Settings.File + "（" +
                                                                 S(Db.lastError().text()) + "）");
        // SQLite opens any file lazily: a damaged one shows at the first read.
        QSqlQuery check(Db);
        QString problem;
        if (!check.exec("PRAGMA quick_check"))
            problem = check.lastError().databaseText();
        else if (check.next() && check.value(0).toString() != "ok")
            problem = check.value(0).toString();
        if (!problem.isEmpty()) {
            Db.close();
            throw TArchiveError(TArchiveProblem::Damaged,
                                "档案文件已损坏，无法读取：" + Settings.File + "（" + S(problem) +
                                    "）。可以新建一个档案，损坏的文件原样保留。");
        }
        check.finish();
        // WAL: readers do not wait for a writer, and a killed import leaves
        // the file as it was before it.
        RunSql(Db, "PRAGMA journal_mode = WAL", {}, "打开档案");
        RunSql(Db, "PRAGMA foreign_keys = ON", {}, "打开档案");
    }

    void OpenServer() {
        Db.setHostName(Q(Settings.Host));
        Db.setPort(Settings.Port);
        Db.setDatabaseName(Q(Settings.Database));
        Db.setUserName(Q(Settings.User));
        // Empty: libpq reads ~/.pgpass or PGPASSFILE itself.
        Db.setPassword(Q(Password));
        QStringList options;
        for (const auto& [key, value] : ServerOptions(Settings)) {
            // Qt's driver turns every ";" into the space between options.
            if (value.find(';') != std::string::npos)
                throw TArchiveError(TArchiveProblem::Other,
                                    "“档案设置”里的文件名不能含分号：" + value);
            options << ConnectOption(key, value);
        }
        Db.setConnectOptions(options.join(';'));
        if (!Db.open()) {
            const std::string text = S(Db.lastError().databaseText().trimmed());
            Db.close();
            // Qt passes on libpq's words alone; libpq itself says why, by the
            // server's code.
            TServerCheck check = CheckServer(Settings, Password);
            if (check.Connected || check.Problem == TArchiveProblem::NoDriver)
                throw TArchiveError(TArchiveProblem::Unreachable,
                                    "无法连接档案服务器 " + Server() + "（数据库 " +
                                        Settings.Database + "）：" + text);
            throw TArchiveError(check.Problem, check.Text);
        }
        // The server's own view of this session: nothing is stored over a
        // link that the settings do not allow.
        QSqlQuery tls = RunSql(Db, "SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()", {},
                               "连接档案服务器");
        const bool encrypted = tls.next() && tls.value(0).toBool();
        tls.finish();
        if (Settings.SslMode != "disable" && !IsLocalSocket(Settings) && !encrypted) {
            Db.close();
            throw TArchiveError(TArchiveProblem::Insecure,
                                "与档案服务器 " + Server() +
                                    " 的连接没有加密，与“档案设置”的要求不符：没有存入任何内容。");
        }
        // Another program's lock (an import into the same campaign) is held
        // for milliseconds; longer means it hangs, and we say so.
        RunSql(Db, "SET lock_timeout = 10000", {}, "连接档案服务器");
        QSqlQuery encoding = RunSql(Db, "SHOW server_encoding", {}, "连接档案服务器");
        if (encoding.next() && encoding.value(0).toString() != "UTF8") {
            const std::string name = S(encoding.value(0).toString());
            Db.close();
            throw TArchiveError("档案服务器上的数据库 " + Settings.Database + " 的字符集是 " +
                                name + "，存不下所有的中文：请建一个 UTF8 的数据库。");
        }
    }

    // Runs one call of the interface. A connection lost on the way (or lost
    // since the last call) is opened again first; when the server went away
    // during the call, the call fails with a message and the connection is
    // dropped so that the next call connects afresh.
    template <class F>
    auto Call(F&& body) -> decltype(body()) {
        if (!Db.isOpen()) Connect();
        try {
            return body();
        } catch (const TArchiveError& e) {
            if (Settings.Driver == TArchiveDriver::PostgreSQL &&
                (e.Problem() == TArchiveProblem::ConnectionLost || !Alive())) {
                Db.close();
                throw TArchiveError(TArchiveProblem::ConnectionLost,
                                    "与档案服务器 " + Server() +
                                        " 的连接已断开，这次操作没有完成：" + e.what() +
                                        "。下次操作时会重新连接。");
            }
            throw;
        }
    }

    bool Alive() {
        QSqlQuery q(Db);
        return q.exec("SELECT 1");
    }

    // Holds the campaign while its records and value change, so that two
    // programs importing into it at once each see the other's records when
    // working out the value. SQLite's write lock already holds the whole file.
    void LockCampaign(std::int64_t campaignId) {
        const QString sql = DialectOf(Db) == TSqlDialect::PostgreSQL
                                ? "SELECT id FROM campaigns WHERE id = ? FOR UPDATE"
                                : "SELECT id FROM campaigns WHERE id = ?";
        if (!RunSql(Db, sql, {Id(campaignId)}, "读取测试").next()) ThrowCampaignGone();
    }

    static void AppendRecordValues(QVariantList& values, std::int64_t campaignId,
                                   const TArchivedRecord& record) {
        const TRecordValues& v = record.Values;
        // Z, R and X from the singles as stored, as every page shows them.
        const double u = std::bit_cast<float>(SingleBits(v.U));
        const double i = std::bit_cast<float>(SingleBits(v.I));
        const double phi = std::bit_cast<float>(SingleBits(v.Phi));
        const std::optional<TImpedance> z = ComputeImpedance(u, i, phi);
        values << Id(campaignId) << record.Number << v.Year << v.Month << v.Day << v.Hour
               << v.Minute << v.Second << v.Frequency << SingleBits(v.U) << SingleBits(v.I)
               << SingleBits(v.Phi) << (v.RmOn ? 1 : 0) << (z ? QVariant(z->Z) : NullDouble())
               << (z ? QVariant(z->R) : NullDouble()) << (z ? QVariant(z->X) : NullDouble())
               << (record.ProbeDistance && std::isfinite(*record.ProbeDistance)
                       ? QVariant(*record.ProbeDistance)
                       : NullDouble());
    }

    // Numbers that are not finite are not a layout: they are stored as none.
    void StoreLayout(std::int64_t campaignId, const TLeadLayout& l) {
        const auto number = [](const std::optional<double>& v) {
            return v && std::isfinite(*v) ? QVariant(*v) : NullDouble();
        };
        RunSql(Db,
               "UPDATE campaigns SET layout_method = ?, grid_diagonal = ?, grid_length = ?,"
               " grid_width = ?, current_distance = ?, probe_distance = ?, lead_angle = ?,"
               " soil_kind = ? WHERE id = ?",
               {int(l.Method), number(l.Diagonal), number(l.GridLength), number(l.GridWidth),
                number(l.CurrentDistance), number(l.ProbeDistance), number(l.Angle), int(l.Soil),
                Id(campaignId)},
               "保存测试");
    }

    // Works the campaign's value out over all its records, as the analysis
    // window does with every record checked, and stores it with the campaign.
    void StoreValue(std::int64_t campaignId) {
        QSqlQuery f0 = RunSql(Db, "SELECT power_frequency FROM campaigns WHERE id = ?",
                              {Id(campaignId)}, "计算工频值");
        if (!f0.next()) ThrowCampaignGone();
        const int powerFrequency = f0.value(0).toInt();
        std::vector<TRecordValues> values;
        for (const TArchivedRecord& r : ReadRecords(campaignId)) values.push_back(r.Values);
        const TFreqAnalysis a = AnalyseFrequencies(values, {}, powerFrequency, DefaultTolerance);
        const TValueMethod method = ValueMethodOf(a, values.size());
        const auto intOr = [](bool has, int v) { return has ? QVariant(v) : NullInt(); };
        const auto doubleOr = [](bool has, double v) { return has ? QVariant(v) : NullDouble(); };
        const bool two = a.TwoPoint.has_value(), fit = a.LineFit.has_value();
        const TTwoPointValue t = two ? *a.TwoPoint : TTwoPointValue{};
        const TLineFitValue l = fit ? *a.LineFit : TLineFitValue{};
        RunSql(Db,
               "UPDATE campaigns SET value_kind = ?, two_below = ?, two_above = ?, two_r = ?,"
               " two_x = ?, two_z = ?, two_phi = ?, fit_frequencies = ?, fit_lowest = ?,"
               " fit_highest = ?, fit_slope_r = ?, fit_intercept_r = ?, fit_slope_x = ?,"
               " fit_intercept_x = ?, fit_r = ?, fit_x = ?, fit_z = ?, fit_phi = ?,"
               " fit_residual_r = ?, fit_residual_x = ? WHERE id = ?",
               {int(method),
                intOr(two, t.Below),
                intOr(two, t.Above),
                doubleOr(two, t.Value.R),
                doubleOr(two, t.Value.X),
                doubleOr(two, t.Value.Z),
                doubleOr(two, t.Value.Phi),
                intOr(fit, l.Frequencies),
                intOr(fit, l.Lowest),
                intOr(fit, l.Highest),
                doubleOr(fit, l.SlopeR),
                doubleOr(fit, l.InterceptR),
                doubleOr(fit, l.SlopeX),
                doubleOr(fit, l.InterceptX),
                doubleOr(fit, l.Value.R),
                doubleOr(fit, l.Value.X),
                doubleOr(fit, l.Value.Z),
                doubleOr(fit, l.Value.Phi),
                doubleOr(fit, l.MaxResidualR),
                doubleOr(fit, l.MaxResidualX),
                Id(campaignId)},
               "计算工频值");
    }

    // The row of the table holding that UUID; 0 when none does (or none is given).
    std::int64_t IdOfUuid(const char* table, const std::string& uuid) {
        if (uuid.empty()) return 0;
        QSqlQuery q = RunSql(Db, QString("SELECT id FROM %1 WHERE uuid = ?").arg(table), {Q(uuid)},
                             "读取标识");
        if (q.next()) return q.value(0).toLongLong();
        // A site's copy merged into another site here is that site.
        if (QString(table) != "sites") return 0;
        q = RunSql(Db, "SELECT site_id FROM site_aliases WHERE uuid = ?", {Q(uuid)}, "读取标识");
        return q.next() ? q.value(0).toLongLong() : 0;
    }

    // A failed insert or rename of a site, after its transaction rolled
    // back: the UNIQUE name is the likely cause; say so in the operator's terms.
    void ThrowIfNameTaken(const TSite& site) {
        if (NameTakenBy(site))
            throw TArchiveError(TArchiveProblem::NameTaken,
                                "档案里已有名为“" + site.Name + "”的场地。");
    }

    bool NameTakenBy(const TSite& site) {
        QSqlQuery q(Db);
        q.prepare("SELECT id FROM sites WHERE name = ? AND id <> ?");
        q.addBindValue(Q(site.Name));
        q.addBindValue(Id(site.Id));
        return q.exec() && q.next();
    }

    [[noreturn]] static void ThrowSiteGone() {
        throw TArchiveError(TArchiveProblem::NotFound, "这个场地已不在档案中（可能已被删除）。");
    }
    [[noreturn]] static void ThrowCampaignGone() {
        throw TArchiveError(TArchiveProblem::NotFound, "这次测试已不在档案中（可能已被删除）。");
    }

    TArchiveSettings Settings;
    std::string Password;
    QString Connection;
    QSqlDatabase Db;
};

}  // namespace

std::unique_ptr<TArchive> OpenArchive(const TArchiveSettings& settings,
                                      const std::string& password) {
    return std::make_unique<TSqlArchive>(settings, password);
}

std::string MissingDriverText(TArchiveDriver driver) {
    const bool sqlite = driver == TArchiveDriver::SQLite;
    const QString name = sqlite ? "QSQLITE" : "QPSQL";
    if (QSqlDatabase::isDriverAvailable(name)) return {};
#ifdef _WIN32
    // The zip carries its plugins beside kr3090.exe.
    return "缺少 Qt 的数据库驱动 " + S(name) + "：程序文件夹的 sqldrivers 里应有 " +
           (sqlite ? "qsqlite.dll" : "qsqlpsql.dll（连同它要的 libpq.dll）") + "。";
#else
    // Qt comes from Debian here; apt brings only the SQLite driver by itself.
    const std::string package = sqlite ? "libqt6sql6-sqlite" : "libqt6sql6-psql";
    return "缺少 Qt 的数据库驱动 " + S(name) + "：请安装软件包 " + package + "（sudo apt install " +
           package + "）。";
#endif
}
