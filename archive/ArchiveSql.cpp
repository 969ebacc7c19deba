#include "archive/ArchiveSql.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QUuid>
#include <atomic>
#include <bit>
#include <cmath>
#include <map>
#include <tuple>

#include "archive/ArchiveConnection.h"
#include "archive/ArchiveSchema.h"
#include "archive/ArchiveTeam.h"
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
    " c.probe_distance, c.lead_angle, c.soil_kind, c.created_by, c.reviewer, c.reviewed_at,"
    " c.corrects, (SELECT MAX(k.id) FROM campaigns k WHERE k.corrects = c.id"
    " AND k.deleted_at IS NULL)";

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
    c.CreatedBy = S(q.value(42).toString());
    c.Reviewer = S(q.value(43).toString());
    c.ReviewedAt = S(q.value(44).toString());
    c.Corrects = q.value(45).toLongLong();
    out.CorrectedBy = q.value(46).toLongLong();
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

    // The connection itself, for the team's set-up (ArchiveTeam.h).
    QSqlDatabase& Database() {
        if (!Db.isOpen()) Connect();
        return Db;
    }

    std::string Description() override {
        if (Settings.Driver == TArchiveDriver::SQLite) return "SQLite 档案：" + Settings.File;
        return "PostgreSQL 档案：" + Server() + "/" + Settings.Database;
    }

    std::vector<TSite> Sites() override {
        return Call([&] {
            std::vector<TSite> sites;
            QSqlQuery q =
                RunSql(Db,
                       QString("SELECT %1 FROM sites WHERE deleted_at IS NULL ORDER BY id")
                           .arg(SiteColumns),
                       {}, "读取场地");
            while (q.next()) sites.push_back(SiteFrom(q));
            return sites;
        });
    }

    std::int64_t SaveSite(const TSite& site) override {
        if (site.Name.empty()) throw TArchiveError(TArchiveProblem::Other, "场地名称不能为空。");
        return Guarded(TArchiveRole::Tester, "保存场地", [&]() -> std::int64_t {
            try {
                if (site.Id == 0) {
                    const std::int64_t copy = IdOfUuid("sites", site.Uuid);
                    return copy ? copy : InsertSite(site);
                }
                TTransaction transaction(Db);
                const std::vector<TSite> before = SitesWhere("id = ?", site.Id);
                QSqlQuery q = RunSql(Db,
                                     "UPDATE sites SET name = ?, voltage_level = ?, grid_size = ?,"
                                     " location = ?, retest_years = ? WHERE id = ?",
                                     {Q(site.Name), Q(site.VoltageLevel), Q(site.GridSize),
                                      Q(site.Location), RetestYearsOf(site),
                                      QVariant::fromValue<qint64>(site.Id)},
                                     "保存场地");
                if (q.numRowsAffected() == 0 || before.empty()) ThrowSiteGone();
                Log("修改场地", site.Id, 0, std::nullopt, SiteChanges(before.front(), site));
                transaction.Commit();
                return site.Id;
            } catch (const TArchiveError&) {
                ThrowIfNameTaken(site);
                throw;
            }
        });
    }

    void DeleteSite(std::int64_t siteId) override {
        Guarded(TArchiveRole::Admin, "删除场地", [&] {
            TTransaction transaction(Db);
            const auto reviewed = [] {
                return TArchiveError(TArchiveProblem::Reviewed,
                                     "这个场地有已审核的测试，不能删除：已审核的测试只能更正。");
            };
            // The server's refusal first: a missing right is told before the lock.
            QSqlQuery q;
            try {
                q = RunSql(Db,
                           "UPDATE sites SET deleted_at = ?, deleted_by = ?"
                           " WHERE id = ? AND deleted_at IS NULL",
                           {Now(), Q(Me.Name), Id(siteId)}, "删除场地");
            } catch (const TArchiveError& e) {
                if (e.Problem() == TArchiveProblem::Reviewed) throw reviewed();
                throw;
            }
            if (RunSql(Db, "SELECT 1 FROM campaigns WHERE site_id = ? AND reviewed_at IS NOT NULL",
                       {Id(siteId)}, "删除场地")
                    .next())
                throw reviewed();
            if (q.numRowsAffected() > 0) Log("删除", siteId, 0, std::nullopt, "{}");
            transaction.Commit();
        });
    }

    std::vector<TCampaignSummary> Campaigns(std::int64_t siteId) override {
        return Call([&] {
            std::vector<TCampaignSummary> list;
            QSqlQuery q = RunSql(Db,
                                 QString("SELECT %1 FROM campaigns c WHERE c.site_id = ?"
                                         " AND c.deleted_at IS NULL ORDER BY c.test_date, c.id")
                                     .arg(CampaignColumns),
                                 {Id(siteId)}, "读取测试");
            while (q.next()) list.push_back(CampaignFrom(q));
            return list;
        });
    }

    std::int64_t SaveCampaign(const TCampaign& c) override {
        CheckPowerFrequency(c);
        return Guarded(TArchiveRole::Tester, "保存测试", [&] {
            TTransaction transaction(Db);
            const std::int64_t id = WriteCampaign(c);
            transaction.Commit();
            return id;
        });
    }

    void DeleteCampaign(std::int64_t campaignId) override {
        Guarded(TArchiveRole::Admin, "删除测试", [&] {
            TTransaction transaction(Db);
            QSqlQuery c = RunSql(Db, "SELECT site_id, reviewed_at FROM campaigns WHERE id = ?",
                                 {Id(campaignId)}, "删除测试");
            if (!c.next()) return;
            const std::int64_t siteId = c.value(0).toLongLong();
            if (!c.value(1).isNull())
                throw TArchiveError(TArchiveProblem::Reviewed,
                                    "这次测试已经审核，不能删除：已审核的测试只能更正。");
            QSqlQuery q = RunSql(Db,
                                 "UPDATE campaigns SET deleted_at = ?, deleted_by = ?"
                                 " WHERE id = ? AND deleted_at IS NULL",
                                 {Now(), Q(Me.Name), Id(campaignId)}, "删除测试");
            if (q.numRowsAffected() > 0) Log("删除", siteId, campaignId, std::nullopt, "{}");
            transaction.Commit();
        });
    }

    TArchiveUser User() override {
        if (!Db.isOpen()) Connect();
        return Me;
    }

    void Review(std::int64_t campaignId) override {
        Guarded(TArchiveRole::Reviewer, "审核", [&] {
            TTransaction transaction(Db);
            LockCampaign(campaignId);
            const TCampaignSummary c = CampaignById(campaignId);
            RunSql(Db, "UPDATE campaigns SET reviewer = ?, reviewed_at = ? WHERE id = ?",
                   {Q(Me.Name), Now(), Id(campaignId)}, "审核");
            Log("审核", c.Campaign.SiteId, campaignId, c.Records, "{}");
            transaction.Commit();
        });
    }

    std::vector<TBinEntry> RecycleBin() override {
        return Call([&] {
            std::vector<TBinEntry> bin;
            QSqlQuery q = RunSql(
                Db,
                "SELECT id, 0, name, '', 0, deleted_by, deleted_at FROM sites"
                " WHERE deleted_at IS NOT NULL"
                " UNION ALL SELECT s.id, c.id, s.name, c.test_date,"
                " (SELECT COUNT(*) FROM records r WHERE r.campaign_id = c.id),"
                " c.deleted_by, c.deleted_at FROM campaigns c JOIN sites s ON s.id = c.site_id"
                " WHERE c.deleted_at IS NOT NULL AND s.deleted_at IS NULL"
                " ORDER BY 7 DESC, 1, 2",
                {}, "读取回收站");
            while (q.next())
                bin.push_back({q.value(0).toLongLong(), q.value(1).toLongLong(),
                               S(q.value(2).toString()), S(q.value(3).toString()),
                               q.value(4).toInt(), S(q.value(5).toString()),
                               S(q.value(6).toString())});
            return bin;
        });
    }

    void Restore(const TBinEntry& entry) override {
        Guarded(TArchiveRole::Admin, "恢复", [&] {
            TTransaction transaction(Db);
            const QString table = entry.CampaignId ? "campaigns" : "sites";
            const std::int64_t id = entry.CampaignId ? entry.CampaignId : entry.SiteId;
            QSqlQuery q = RunSql(Db,
                                 QString("UPDATE %1 SET deleted_at = NULL, deleted_by = NULL"
                                         " WHERE id = ? AND deleted_at IS NOT NULL")
                                     .arg(table),
                                 {Id(id)}, "恢复");
            if (q.numRowsAffected() > 0)
                Log("恢复", entry.SiteId, entry.CampaignId, std::nullopt, "{}");
            transaction.Commit();
        });
    }

    void EmptyRecycleBin() override {
        Guarded(TArchiveRole::Admin, "清空回收站", [&] {
            TTransaction transaction(Db);
            for (const TBinEntry& e : RecycleBin()) {
                QJsonObject gone{{"site", Q(e.SiteName)}};
                if (e.CampaignId) gone.insert("test_date", Q(e.Date));
                Log("清空回收站", e.SiteId, e.CampaignId, std::nullopt,
                    S(QJsonDocument(QJsonObject{{"before", gone}}).toJson(QJsonDocument::Compact)));
            }
            RunSql(Db, "DELETE FROM campaigns WHERE deleted_at IS NOT NULL", {}, "清空回收站");
            RunSql(Db, "DELETE FROM sites WHERE deleted_at IS NOT NULL", {}, "清空回收站");
            transaction.Commit();
        });
    }

    std::vector<TChange> Changes(std::int64_t siteId) override {
        return Call([&] {
            std::vector<TChange> list;
            QSqlQuery q = RunSql(Db,
                                 "SELECT id, logged_at, who, host, action, site_id, campaign_id,"
                                 " records, detail FROM change_log WHERE site_id = ? ORDER BY id",
                                 {Id(siteId)}, "读取变更记录");
            while (q.next())
                list.push_back(
                    {q.value(0).toLongLong(), S(q.value(1).toString()), S(q.value(2).toString()),
                     S(q.value(3).toString()), S(q.value(4).toString()), q.value(5).toLongLong(),
                     q.value(6).toLongLong(),
                     q.value(7).isNull() ? std::nullopt : std::optional(q.value(7).toInt()),
                     // One form from both databases (a server's jsonb spaces its text).
                     S(QString::fromUtf8(QJsonDocument::fromJson(q.value(8).toString().toUtf8())
                                             .toJson(QJsonDocument::Compact)))});
            return list;
        });
    }

    std::vector<TArchivedRecord> Records(std::int64_t campaignId) override {
        return Call([&] { return ReadRecords(campaignId); });
    }

    TImportResult Import(std::int64_t campaignId,
                         const std::vector<TArchivedRecord>& records) override {
        return Guarded(TArchiveRole::Tester, "导入记录", [&] {
            TTransaction transaction(Db);
            LockCampaign(campaignId);
            const TImportResult result = ImportInto(campaignId, records);
            LogStore(campaignId, result);
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
        return Guarded(TArchiveRole::Tester, "存入档案", [&] {
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
                LogStore(out.CampaignId, out.Records);
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
    static QVariant IdOrNull(std::int64_t id) {
        return id ? Id(id) : QVariant(QMetaType::fromType<qint64>());
    }

    // What this program writes as the time of a change; a server writes its own.
    static QString Now() {
        return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }

    // A call the server may refuse for want of a role: the text says which.
    template <class F>
    auto Guarded(TArchiveRole needed, const char* what, F&& body) -> decltype(body()) {
        try {
            return Call(std::forward<F>(body));
        } catch (const TArchiveError& e) {
            if (e.Problem() != TArchiveProblem::NotPermitted) throw;
            throw TArchiveError(TArchiveProblem::NotPermitted,
                                RefusalText(what, needed, Me, e.what()));
        }
    }

    // One line of the change record, inside the caller's transaction. A
    // server writes the lines of sites and campaigns itself, and who and
    // when of every line (ArchiveSchema.cpp): there this is the store's alone.
    void Log(const char* action, std::int64_t siteId, std::int64_t campaignId,
             std::optional<int> records, const std::string& detail) {
        if (Settings.Driver == TArchiveDriver::PostgreSQL) return;
        Append(action, siteId, campaignId, records, detail);
    }
    void Append(const char* action, std::int64_t siteId, std::int64_t campaignId,
                std::optional<int> records, const std::string& detail) {
        RunSql(Db,
               "INSERT INTO change_log (logged_at, who, host, action, site_id, campaign_id,"
               " records, detail) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
               {Now(), Q(Me.Name), QSysInfo::machineHostName(), QString::fromUtf8(action),
                IdOrNull(siteId), IdOrNull(campaignId), records ? QVariant(*records) : NullInt(),
                Q(detail)},
               "写入变更记录");
    }

    void LogStore(std::int64_t campaignId, const TImportResult& result) {
        if (result.Stored == 0) return;
        QSqlQuery q = RunSql(Db, "SELECT site_id FROM campaigns WHERE id = ?", {Id(campaignId)},
                             "写入变更记录");
        const std::int64_t siteId = q.next() ? q.value(0).toLongLong() : 0;
        Append("存入", siteId, campaignId, result.Stored,
               S(QJsonDocument(QJsonObject{{"already", result.Already}})
                     .toJson(QJsonDocument::Compact)));
    }

    // {"before": {...}, "after": {...}} of the fields that differ; empty when none does.
    static std::string Differences(
        std::initializer_list<std::tuple<const char*, std::string, std::string>> fields) {
        QJsonObject before, after;
        for (const auto& [name, old, now] : fields)
            if (old != now) {
                before.insert(QLatin1String(name), Q(old));
                after.insert(QLatin1String(name), Q(now));
            }
        if (before.isEmpty()) return {};
        return S(QJsonDocument(QJsonObject{{"before", before}, {"after", after}})
                     .toJson(QJsonDocument::Compact));
    }

    static std::string SiteChanges(const TSite& a, const TSite& b) {
        return Differences({{"name", a.Name, b.Name},
                            {"voltage_level", a.VoltageLevel, b.VoltageLevel},
                            {"grid_size", a.GridSize, b.GridSize},
                            {"location", a.Location, b.Location}});
    }

    static std::string CampaignChanges(const TCampaign& a, const TCampaign& b) {
        const auto limit = [](const std::optional<double>& v) {
            return v ? S(QString::number(*v, 'g', 15)) : std::string();
        };
        return Differences({{"site_id", std::to_string(a.SiteId), std::to_string(b.SiteId)},
                            {"test_date", a.Date, b.Date},
                            {"testers", a.Testers, b.Testers},
                            {"weather", a.Weather, b.Weather},
                            {"soil", a.Soil, b.Soil},
                            {"lead_layout", a.LeadLayout, b.LeadLayout},
                            {"lead_lengths", a.LeadLengths, b.LeadLengths},
                            {"instrument_serial", a.InstrumentSerial, b.InstrumentSerial},
                            {"remarks", a.Remarks, b.Remarks},
                            {"limit_ohm", limit(a.Limit), limit(b.Limit)},
                            {"power_frequency", std::to_string(a.PowerFrequency),
                             std::to_string(b.PowerFrequency)}});
    }

    std::vector<TSite> SitesWhere(const char* condition, std::int64_t id) {
        std::vector<TSite> sites;
        QSqlQuery q =
            RunSql(Db, QString("SELECT %1 FROM sites WHERE %2").arg(SiteColumns, condition),
                   {Id(id)}, "读取场地");
        while (q.next()) sites.push_back(SiteFrom(q));
        return sites;
    }

    TCampaignSummary CampaignById(std::int64_t campaignId) {
        QSqlQuery q =
            RunSql(Db, QString("SELECT %1 FROM campaigns c WHERE c.id = ?").arg(CampaignColumns),
                   {Id(campaignId)}, "读取测试");
        if (!q.next()) ThrowCampaignGone();
        return CampaignFrom(q);
    }

    // The user and the role the server gives it, once connected.
    void ReadUser() {
        if (Settings.Driver == TArchiveDriver::SQLite) {
            Me.Name = S(qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME")));
            if (Me.Name.empty()) Me.Name = "本机用户";
            Me.Role = TArchiveRole::Admin;
            return;
        }
        QSqlQuery q = RunSql(Db,
                             "SELECT session_user, archive_may('admin'), archive_may('reviewer'),"
                             " archive_may('tester')",
                             {}, "读取用户的角色");
        q.next();
        Me.Name = S(q.value(0).toString());
        Me.Role = q.value(1).toBool()   ? TArchiveRole::Admin
                  : q.value(2).toBool() ? TArchiveRole::Reviewer
                  : q.value(3).toBool() ? TArchiveRole::Tester
                                        : TArchiveRole::Reader;
    }

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
        const std::int64_t id = q.value(0).toLongLong();
        q.finish();
        Log("新建场地", id, 0, std::nullopt, "{}");
        return id;
    }

    // A new campaign (Id 0) or its changes, with its value worked out again
    // (the power frequency may have changed); inside the caller's transaction.
    std::int64_t WriteCampaign(const TCampaign& c) {
        if (!RunSql(Db, "SELECT 1 FROM sites WHERE id = ?", {Id(c.SiteId)}, "保存测试").next())
            ThrowSiteGone();
        const QVariant limit = OptionalDouble(c.Limit);
        std::int64_t id = c.Id;
        if (id == 0) {
            // A correction names a reviewed campaign: what it corrects stays as it was.
            if (c.Corrects && CampaignById(c.Corrects).Campaign.ReviewedAt.empty())
                throw TArchiveError(TArchiveProblem::Other,
                                    "只有已审核的测试才需要更正：没审核的测试可以直接修改。");
            QSqlQuery q =
                RunSql(Db,
                       "INSERT INTO campaigns (site_id, test_date, testers, weather, soil,"
                       " lead_layout, lead_lengths, instrument_serial, remarks, limit_ohm,"
                       " power_frequency, uuid, created_by, corrects)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
                       {Id(c.SiteId), Q(c.Date), Q(c.Testers), Q(c.Weather), Q(c.Soil),
                        Q(c.LeadLayout), Q(c.LeadLengths), Q(c.InstrumentSerial), Q(c.Remarks),
                        limit, c.PowerFrequency, UuidOr(c.Uuid), Q(Me.Name), IdOrNull(c.Corrects)},
                       "保存测试");
            q.next();
            id = q.value(0).toLongLong();
            q.finish();
            Log(c.Corrects ? "更正" : "新建测试", c.SiteId, id, std::nullopt,
                c.Corrects ? S(QJsonDocument(QJsonObject{{"corrects", qint64(c.Corrects)}})
                                   .toJson(QJsonDocument::Compact))
                           : std::string("{}"));
        } else {
            LockCampaign(id);
            const TCampaignSummary before = CampaignById(id);
            if (const std::string changes = CampaignChanges(before.Campaign, c); !changes.empty())
                Log("修改", before.Campaign.SiteId, id, std::nullopt, changes);
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
        try {
            MigrateArchive(Db, ArchiveMigrations(), Description());
        } catch (const TArchiveError& e) {
            // A member may not change the tables: their owner brings them up to date.
            if (e.Problem() != TArchiveProblem::NotPermitted) throw;
            throw TArchiveError(TArchiveProblem::NotPermitted,
                                std::string(e.what()) +
                                    "\n档案的格式需要更新，只有档案表的所有者能做：请管理员运行 "
                                    "kr3090 --init-server。");
        }
        ReadUser();
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
        // The machine's name in the change record the server writes.
        RunSql(Db, "SELECT set_config('kr3090.host', ?, false)", {QSysInfo::machineHostName()},
               "连接档案服务器");
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
                                ? "SELECT id, reviewed_at FROM campaigns WHERE id = ? FOR UPDATE"
                                : "SELECT id, reviewed_at FROM campaigns WHERE id = ?";
        QSqlQuery q = RunSql(Db, sql, {Id(campaignId)}, "读取测试");
        if (!q.next()) ThrowCampaignGone();
        if (!q.value(1).isNull())
            throw TArchiveError(
                TArchiveProblem::Reviewed,
                "这次测试已于 " + S(q.value(1).toString()) +
                    " 审核，它和它的记录不能再改动。需要改正时，请存一次更正的测试。");
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
        QSqlQuery q(Db);
        q.prepare("SELECT deleted_at FROM sites WHERE name = ? AND id <> ?");
        q.addBindValue(Q(site.Name));
        q.addBindValue(Id(site.Id));
        if (!q.exec() || !q.next()) return;
        if (!q.value(0).isNull())
            throw TArchiveError(TArchiveProblem::NameTaken,
                                "回收站里有名为“" + site.Name +
                                    "”的场地：请先恢复它，或在清空回收站后再用这个名称。");
        throw TArchiveError(TArchiveProblem::NameTaken,
                            "档案里已有名为“" + site.Name + "”的场地。");
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
    TArchiveUser Me;
};

}  // namespace

std::unique_ptr<TArchive> OpenArchive(const TArchiveSettings& settings,
                                      const std::string& password) {
    return std::make_unique<TSqlArchive>(settings, password);
}

namespace {

// The group roles and what each may touch; the triggers decide the rest.
// Utility statements take no bound values: names the server quotes itself.
const char* const TeamSetup[] = {
    "DO $$ BEGIN"
    " IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'kr3090_tester') THEN"
    "  CREATE ROLE kr3090_tester NOLOGIN; END IF;"
    " IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'kr3090_reviewer') THEN"
    "  CREATE ROLE kr3090_reviewer NOLOGIN; END IF;"
    " IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'kr3090_admin') THEN"
    "  CREATE ROLE kr3090_admin NOLOGIN; END IF;"
    " EXECUTE format('REVOKE CONNECT ON DATABASE %I FROM PUBLIC', current_database());"
    " EXECUTE format('GRANT CONNECT ON DATABASE %I TO kr3090_tester', current_database());"
    " EXECUTE format('GRANT USAGE ON SCHEMA %I TO kr3090_tester', current_schema());"
    " END $$",
    "GRANT kr3090_tester TO kr3090_reviewer",
    "GRANT kr3090_reviewer TO kr3090_admin",
    "GRANT SELECT ON schema_version, sites, campaigns, records, change_log TO kr3090_tester",
    "GRANT INSERT, UPDATE ON sites, campaigns, records TO kr3090_tester",
    "GRANT INSERT ON change_log TO kr3090_tester",
    "GRANT DELETE ON sites, campaigns, records TO kr3090_admin",
    "GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO kr3090_tester",
    "REVOKE UPDATE, DELETE, TRUNCATE ON change_log"
    " FROM PUBLIC, kr3090_tester, kr3090_reviewer, kr3090_admin",
};

// Opened only on a server: a SQLite file named by mistake is left as it was.
std::unique_ptr<TArchive> OpenServerArchive(const TArchiveSettings& settings,
                                            const std::string& password) {
    if (settings.Driver != TArchiveDriver::PostgreSQL)
        throw TArchiveError(
            TArchiveProblem::Other,
            "只有 PostgreSQL 服务器上的档案有团队的角色：SQLite 档案的用户什么都能做。");
    return OpenArchive(settings, password);
}

QSqlDatabase& ServerDatabase(TArchive& archive) {
    return static_cast<TSqlArchive&>(archive).Database();
}

}  // namespace

std::string InitTeamServer(const TArchiveSettings& settings, const std::string& password) {
    std::unique_ptr<TArchive> archive = OpenServerArchive(settings, password);
    QSqlDatabase& db = ServerDatabase(*archive);
    TTransaction transaction(db);
    for (const char* sql : TeamSetup) RunSql(db, QString::fromUtf8(sql), {}, "设置团队的角色");
    transaction.Commit();
    return archive->Description() + "：格式版本 " + std::to_string(ArchiveSchemaVersion()) +
           "；角色 kr3090_tester（测试）、kr3090_reviewer（审核）、\n"
           "kr3090_admin（管理）及其权限已就绪。\n"
           "用 kr3090 --add-user 服务器 用户名 角色 添加成员。\n";
}

std::string AddTeamMember(const TArchiveSettings& settings, const std::string& password,
                          const std::string& name, TArchiveRole role,
                          const std::string& memberPassword) {
    if (name.empty() || name.size() > 63 || name.rfind("pg_", 0) == 0 ||
        name.rfind("kr3090_", 0) == 0)
        throw TArchiveError(
            TArchiveProblem::Other,
            "用户名“" + name + "”不能用：它须是 1 到 63 个字节，不以 pg_ 或 kr3090_ 开头。");
    if (memberPassword.empty())
        throw TArchiveError(TArchiveProblem::Other, "没有给出新用户的密码：没有添加用户。");
    std::unique_ptr<TArchive> archive = OpenServerArchive(settings, password);
    QSqlDatabase& db = ServerDatabase(*archive);
    if (!RunSql(db, "SELECT 1 FROM pg_roles WHERE rolname = 'kr3090_admin'", {}, "添加用户").next())
        throw TArchiveError(TArchiveProblem::Other,
                            "服务器上还没有团队的角色：请先运行 kr3090 --init-server。");
    TTransaction transaction(db);
    const bool exists =
        RunSql(db, "SELECT 1 FROM pg_roles WHERE rolname = ?", {Q(name)}, "添加用户").next();
    // The server quotes the name and the password (format %I, %L); the
    // statement it gives runs as it is.
    const QString make =
        exists ? "SELECT format('ALTER ROLE %I LOGIN PASSWORD %L', ?::text, ?::text),"
                 " format('REVOKE kr3090_tester, kr3090_reviewer, kr3090_admin FROM %I', ?::text),"
                 " format('GRANT %I TO %I', ?::text, ?::text)"
               : "SELECT format('CREATE ROLE %I LOGIN PASSWORD %L', ?::text, ?::text),"
                 " format('SELECT %L::text', ?::text),"
                 " format('GRANT %I TO %I', ?::text, ?::text)";
    const std::string verifier = PasswordVerifier(settings, password, name, memberPassword);
    QSqlQuery q = RunSql(db, make,
                         {Q(name), Q(verifier.empty() ? memberPassword : verifier), Q(name),
                          QString::fromLatin1(ServerRoleName(role)), Q(name)},
                         "添加用户");
    q.next();
    const QStringList statements{q.value(0).toString(), q.value(1).toString(),
                                 q.value(2).toString()};
    q.finish();
    for (const QString& sql : statements) RunSql(db, sql, {}, "添加用户");
    transaction.Commit();
    return std::string(exists ? "已有的用户 " : "新用户 ") + name + " 现在是“" + RoleText(role) +
           "”（" + ServerRoleName(role) + "），可以登录 " + archive->Description() + "。\n";
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
