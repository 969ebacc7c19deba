#include "archive/ArchiveSchema.h"

#include <QSqlQuery>
#include <utility>

#include "archive/Archive.h"
#include "archive/SqlQuery.h"

namespace {

// Version 1: sites, their campaigns with the value worked out from their
// records, and the records as the instrument sent them.
//
// A record keeps each single's 32 bits (as a signed 32-bit integer): NaN and
// infinities are stored as they came, widened doubles narrow back to the same
// single, and comparing the bits makes the duplicate test exact. The date
// bytes are kept as they are, one column each (year 117 stays 117). Z, R and X
// are as the program decodes them; NULL where they cannot be computed.
// The UNIQUE key is what makes a record the same record: importing it again,
// from any program at any time, stores nothing.
const TMigration Version1{
    1,
    {
        "CREATE TABLE schema_version (version INTEGER NOT NULL)",
        "INSERT INTO schema_version (version) VALUES (0)",
        "CREATE TABLE sites ("
        " id {id},"
        " name TEXT NOT NULL UNIQUE,"
        " voltage_level TEXT NOT NULL,"
        " grid_size TEXT NOT NULL,"
        " location TEXT NOT NULL)",
        "CREATE TABLE campaigns ("
        " id {id},"
        " site_id BIGINT NOT NULL REFERENCES sites (id) ON DELETE CASCADE,"
        " test_date TEXT NOT NULL,"
        " testers TEXT NOT NULL,"
        " weather TEXT NOT NULL,"
        " soil TEXT NOT NULL,"
        " lead_layout TEXT NOT NULL,"
        " lead_lengths TEXT NOT NULL,"
        " instrument_serial TEXT NOT NULL,"
        " remarks TEXT NOT NULL,"
        " limit_ohm DOUBLE PRECISION,"
        " power_frequency INTEGER NOT NULL,"
        " value_method TEXT NOT NULL DEFAULT '',"
        " two_below INTEGER, two_above INTEGER,"
        " two_r DOUBLE PRECISION, two_x DOUBLE PRECISION,"
        " two_z DOUBLE PRECISION, two_phi DOUBLE PRECISION,"
        " fit_frequencies INTEGER, fit_lowest INTEGER, fit_highest INTEGER,"
        " fit_slope_r DOUBLE PRECISION, fit_intercept_r DOUBLE PRECISION,"
        " fit_slope_x DOUBLE PRECISION, fit_intercept_x DOUBLE PRECISION,"
        " fit_r DOUBLE PRECISION, fit_x DOUBLE PRECISION,"
        " fit_z DOUBLE PRECISION, fit_phi DOUBLE PRECISION,"
        " fit_residual_r DOUBLE PRECISION, fit_residual_x DOUBLE PRECISION)",
        "CREATE INDEX campaigns_by_site ON campaigns (site_id, test_date)",
        "CREATE TABLE records ("
        " id {id},"
        " campaign_id BIGINT NOT NULL REFERENCES campaigns (id) ON DELETE CASCADE,"
        " number INTEGER NOT NULL,"
        " time_year INTEGER NOT NULL, time_month INTEGER NOT NULL,"
        " time_day INTEGER NOT NULL, time_hour INTEGER NOT NULL,"
        " time_minute INTEGER NOT NULL, time_second INTEGER NOT NULL,"
        " frequency INTEGER NOT NULL,"
        " u_bits INTEGER NOT NULL, i_bits INTEGER NOT NULL, phi_bits INTEGER NOT NULL,"
        " rm_on INTEGER NOT NULL,"
        " z DOUBLE PRECISION, r DOUBLE PRECISION, x DOUBLE PRECISION,"
        " UNIQUE (campaign_id, number, time_year, time_month, time_day, time_hour,"
        " time_minute, time_second, frequency, u_bits, i_bits, phi_bits, rm_on))",
    }};

// Version 2: the oldest version that can use the archive, and the program
// that raised it. Additive: a version 1 archive's programs could use it as well.
const TMigration Version2{
    2,
    {
        "ALTER TABLE schema_version ADD COLUMN min_version INTEGER NOT NULL DEFAULT 1",
        "ALTER TABLE schema_version ADD COLUMN min_program TEXT NOT NULL DEFAULT ''",
    }};

// Version 3: how the value was found is kept as data (value_kind, a
// TValueMethod, with the two-point value's frequencies in two_below and
// two_above), its sentence made where it is shown. Version 1's stored
// sentence is read into value_kind once and goes; programs that still write
// the sentence cannot follow, so the minimum rises to 3.
const TMigration Version3{
    3,
    {
        "ALTER TABLE campaigns ADD COLUMN value_kind INTEGER NOT NULL DEFAULT 1",
        "UPDATE campaigns SET value_kind = CASE"
        " WHEN two_below IS NOT NULL THEN 0"
        " WHEN value_method = '没有勾选的记录，无工频值' THEN 2"
        " WHEN value_method = '没有可用的记录，无工频值' THEN 3"
        " WHEN value_method LIKE '除%外没有可用的记录，无工频值' THEN 4"
        " WHEN value_method LIKE '没有低于%' THEN 5"
        " WHEN value_method LIKE '没有高于%' THEN 6"
        " ELSE 1 END",
        "ALTER TABLE campaigns DROP COLUMN value_method",
    },
    3};

// Version 4: each site and campaign carries a UUID, made where it was
// created and kept by every copy, so that two archives know the same site
// and campaign by it. Existing rows get one here. Programs of version 3 go on
// inserting without naming the column: PostgreSQL's default and SQLite's
// trigger give their rows one too, so the minimum stays.
const TMigration Version4{
    4,
    {
        "ALTER TABLE sites ADD COLUMN uuid TEXT",
        "UPDATE sites SET uuid = {uuid}",
        "CREATE UNIQUE INDEX sites_by_uuid ON sites (uuid)",
        "ALTER TABLE campaigns ADD COLUMN uuid TEXT",
        "UPDATE campaigns SET uuid = {uuid}",
        "CREATE UNIQUE INDEX campaigns_by_uuid ON campaigns (uuid)",
        "{postgresql}ALTER TABLE sites ALTER COLUMN uuid SET DEFAULT {uuid}",
        "{postgresql}ALTER TABLE campaigns ALTER COLUMN uuid SET DEFAULT {uuid}",
        "{sqlite}CREATE TRIGGER sites_uuid AFTER INSERT ON sites WHEN NEW.uuid IS NULL"
        " BEGIN UPDATE sites SET uuid = {uuid} WHERE id = NEW.id; END",
        "{sqlite}CREATE TRIGGER campaigns_uuid AFTER INSERT ON campaigns WHEN NEW.uuid IS NULL"
        " BEGIN UPDATE campaigns SET uuid = {uuid} WHERE id = NEW.id; END",
    }};

// Version 5: the lead layout as numbers (TLeadLayout), so the measured value
// can be corrected and the layout checked against its method's rules.
// Campaigns stored before keep their free text and read as "no layout"
// (layout_method 0). Additive: older programs go on storing, their new
// campaigns without a layout.
const TMigration Version5{
    5,
    {
        "ALTER TABLE campaigns ADD COLUMN layout_method INTEGER NOT NULL DEFAULT 0",
        "ALTER TABLE campaigns ADD COLUMN grid_diagonal DOUBLE PRECISION",
        "ALTER TABLE campaigns ADD COLUMN grid_length DOUBLE PRECISION",
        "ALTER TABLE campaigns ADD COLUMN grid_width DOUBLE PRECISION",
        "ALTER TABLE campaigns ADD COLUMN current_distance DOUBLE PRECISION",
        "ALTER TABLE campaigns ADD COLUMN probe_distance DOUBLE PRECISION",
        "ALTER TABLE campaigns ADD COLUMN lead_angle DOUBLE PRECISION",
        "ALTER TABLE campaigns ADD COLUMN soil_kind INTEGER NOT NULL DEFAULT 0",
    }};

// Version 6: a site's retest interval in years (NULL: the usual 6), from
// which, with its last campaign, its next test date follows; and where the
// potential probe stood for each record (NULL: the campaign's d_PG), so one
// campaign holds a plateau measurement. Additive.
const TMigration Version6{
    6,
    {
        "ALTER TABLE sites ADD COLUMN retest_years INTEGER",
        "ALTER TABLE records ADD COLUMN probe_distance DOUBLE PRECISION",
    }};

// Version 7: a site merged with a copy made elsewhere under another UUID
// (the same site stored on its own by two programs) is known by that UUID
// too, so that later syncs of either copy land in it; and what each
// campaign's details were at the last sync with another archive, so that a
// change on one side is carried over and changes on both are shown. Additive:
// older programs go on storing, and see the merged site as the one site it is.
const TMigration Version7{
    7,
    {
        "CREATE TABLE site_aliases ("
        " uuid TEXT PRIMARY KEY,"
        " site_id BIGINT NOT NULL REFERENCES sites (id) ON DELETE CASCADE)",
        "CREATE TABLE sync_marks ("
        " peer TEXT NOT NULL,"
        " campaign_uuid TEXT NOT NULL,"
        " details TEXT NOT NULL,"
        " PRIMARY KEY (peer, campaign_uuid))",
    }};

// A random UUID in QUuid's text form (version 4, lower case, no braces),
// made by the database for each row.
const char* const SqliteUuid =
    "lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' ||"
    " substr(hex(randomblob(2)), 2) || '-' || substr('89ab', 1 + abs(random()) % 4, 1) ||"
    " substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))";

// The statement in the dialect; empty when it belongs to the other one.
QString ForDialect(QString sql, TSqlDialect dialect) {
    const bool sqlite = dialect == TSqlDialect::SQLite;
    for (const auto& [prefix, only] :
         {std::pair{QStringLiteral("{sqlite}"), true}, {QStringLiteral("{postgresql}"), false}})
        if (sql.startsWith(prefix)) {
            if (only != sqlite) return {};
            sql.remove(0, prefix.size());
        }
    sql.replace("{uuid}", sqlite ? SqliteUuid : "gen_random_uuid()::text");
    return sql.replace("{id}", sqlite ? "INTEGER PRIMARY KEY"
                                      : "BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
}

bool HasTable(QSqlDatabase& db, const QString& name) {
    const QString sql = DialectOf(db) == TSqlDialect::SQLite
                            ? "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"
                            : "SELECT 1 FROM information_schema.tables"
                              " WHERE table_schema = current_schema() AND table_name = ?";
    return RunSql(db, sql, {name}, "读取表").next();
}

bool HasAnyTable(QSqlDatabase& db) {
    QSqlQuery q = RunSql(db, "SELECT 1 FROM sqlite_master WHERE type = 'table'", {}, "读取表");
    return q.next();
}

[[noreturn]] void ThrowNewer(const TStoredSchema& stored, int known, const std::string& where) {
    const std::string program =
        stored.Program.empty() ? "" : "（kr3090 " + stored.Program + " 或更新的版本）";
    throw TArchiveError(TArchiveProblem::Newer,
                        "档案的格式版本是 " + std::to_string(stored.Version) +
                            "，需要能读格式版本 " + std::to_string(stored.Minimum) + " 的程序" +
                            program + "；本程序（kr3090 " + ProgramVersion() + "）只认识到版本 " +
                            std::to_string(known) + "。请升级本程序；档案没有任何改动（" + where +
                            "）。");
}

}  // namespace

const std::vector<TMigration>& ArchiveMigrations() {
    static const std::vector<TMigration> steps{Version1, Version2, Version3, Version4, Version5,
                                                  Version6, Version7};
    return steps;
}

int ArchiveSchemaVersion() {
    return ArchiveMigrations().back().Version;
}

int StoredSchemaVersion(QSqlDatabase& db) {
    return StoredSchema(db).Version;
}

TStoredSchema StoredSchema(QSqlDatabase& db) {
    TStoredSchema stored;
    if (!HasTable(db, "schema_version")) return stored;
    QSqlQuery q = RunSql(db, "SELECT MAX(version) FROM schema_version", {}, "读取格式版本");
    stored.Version = q.next() ? q.value(0).toInt() : 0;
    stored.Minimum = stored.Version > 0 ? 1 : 0;
    if (stored.Version < 2) return stored;
    q = RunSql(db, "SELECT min_version, min_program FROM schema_version", {}, "读取格式版本");
    if (q.next()) {
        stored.Minimum = q.value(0).toInt();
        stored.Program = q.value(1).toString().toStdString();
    }
    return stored;
}

const char* ProgramVersion() {
    return KR3090_PROGRAM_VERSION;
}

void MigrateArchive(QSqlDatabase& db, const std::vector<TMigration>& steps,
                    const std::string& where) {
    const int known = steps.empty() ? 0 : steps.back().Version;
    const TStoredSchema stored = StoredSchema(db);
    if (stored.Version == known) return;  // the usual case: no lock taken
    if (stored.Version > known) {
        if (stored.Minimum <= known) return;  // a newer program's additions only
        ThrowNewer(stored, known, where);
    }
    const TSqlDialect dialect = DialectOf(db);
    if (stored.Version == 0 && dialect == TSqlDialect::SQLite && HasAnyTable(db))
        throw TArchiveError(TArchiveProblem::Damaged, "这个文件不是本程序的档案：" + where +
                                                          "。可以新建一个档案，原文件原样保留。");
    for (const TMigration& step : steps) {
        TTransaction transaction(db);
        // Two programs opening a new archive at once: the second waits here
        // and then finds the step done by the first.
        if (dialect == TSqlDialect::PostgreSQL)
            RunSql(db, "SELECT pg_advisory_xact_lock(3090)", {}, "锁定档案格式");
        const TStoredSchema now = StoredSchema(db);
        if (now.Version > known) {
            if (now.Minimum <= known) return;  // another, newer program came first
            ThrowNewer(now, known, where);
        }
        if (now.Version >= step.Version) continue;
        for (const QString& statement : step.Statements)
            if (const QString sql = ForDialect(statement, dialect); !sql.isEmpty())
                RunSql(db, sql, {}, "更新档案格式");
        if (step.Minimum > 0)
            RunSql(db, "UPDATE schema_version SET version = ?, min_version = ?, min_program = ?",
                   {step.Version, step.Minimum, QString::fromLatin1(ProgramVersion())},
                   "更新档案格式");
        else
            RunSql(db, "UPDATE schema_version SET version = ?", {step.Version}, "更新档案格式");
        transaction.Commit();
    }
}
