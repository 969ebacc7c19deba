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

// Version 8: who may do what, and what was done. A campaign records who
// stored it, its reviewer and review time, and the reviewed campaign it
// corrects; sites and campaigns go to a recycle bin (deleted_at) before they
// are gone; change_log keeps every change, appended to and never changed.
// On a team's server the server itself holds to this: the functions and
// triggers below refuse, whoever asks, any change to a reviewed campaign or
// its records (SQLSTATE KR090) and any change or removal of change_log, and
// refuse with 42501 what the session's role (kr3090_tester, kr3090_reviewer,
// kr3090_admin, ArchiveTeam.h) may not do; the one who owns the tables may do
// what 管理 may, and so may everyone on a server without the team's roles
// (whose grants decide, as before). SQLite has no users: the program writes
// who and when.
// Additive for older programs' reads and stores, so the minimum stays; on a
// server their changes are held to the same rules.
const TMigration Version8{
    8,
    {
        "ALTER TABLE sites ADD COLUMN deleted_at TEXT",
        "ALTER TABLE sites ADD COLUMN deleted_by TEXT",
        "ALTER TABLE campaigns ADD COLUMN created_by TEXT",
        "ALTER TABLE campaigns ADD COLUMN reviewer TEXT",
        "ALTER TABLE campaigns ADD COLUMN reviewed_at TEXT",
        "ALTER TABLE campaigns ADD COLUMN corrects BIGINT",
        "ALTER TABLE campaigns ADD COLUMN deleted_at TEXT",
        "ALTER TABLE campaigns ADD COLUMN deleted_by TEXT",
        "CREATE TABLE change_log ("
        " id {id},"
        " logged_at TEXT NOT NULL,"
        " who TEXT NOT NULL,"
        " host TEXT NOT NULL,"
        " action TEXT NOT NULL,"
        " site_id BIGINT,"
        " campaign_id BIGINT,"
        " records INTEGER,"
        " detail TEXT NOT NULL)",
        "CREATE INDEX change_log_by_site ON change_log (site_id, id)",
        // May the session's user act as that role? The tables' owner may all;
        // so may everyone on a server whose team was never set up (no
        // kr3090_admin: --init-server makes the roles), where the grants
        // alone decide, as before this version.
        "{postgresql}CREATE OR REPLACE FUNCTION archive_may(wanted TEXT) RETURNS BOOLEAN"
        " LANGUAGE plpgsql STABLE AS $$"
        " DECLARE owner NAME;"
        " BEGIN"
        "  SELECT tableowner INTO owner FROM pg_tables"
        "   WHERE schemaname = current_schema() AND tablename = 'sites';"
        "  IF owner IS NOT NULL AND pg_has_role(session_user, owner, 'MEMBER') THEN RETURN TRUE;"
        " END IF;"
        "  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'kr3090_admin') THEN RETURN TRUE;"
        " END IF;"
        "  RETURN pg_has_role(session_user, 'kr3090_' || wanted, 'MEMBER');"
        " END $$",
        "{postgresql}CREATE OR REPLACE FUNCTION archive_refuse(wanted TEXT, what TEXT) RETURNS VOID"
        " LANGUAGE plpgsql AS $$"
        " BEGIN"
        "  RAISE EXCEPTION USING ERRCODE = '42501', MESSAGE = what,"
        "   DETAIL = 'kr3090_' || wanted;"
        " END $$",
        "{postgresql}CREATE OR REPLACE FUNCTION archive_locked(what TEXT) RETURNS VOID"
        " LANGUAGE plpgsql AS $$"
        " BEGIN"
        "  RAISE EXCEPTION USING ERRCODE = 'KR090', MESSAGE = what;"
        " END $$",
        "{postgresql}CREATE OR REPLACE FUNCTION archive_now() RETURNS TEXT LANGUAGE sql STABLE AS"
        " $$ SELECT to_char(now(), 'YYYY-MM-DD HH24:MI:SS') $$",
        "{postgresql}CREATE OR REPLACE FUNCTION sites_guard() RETURNS TRIGGER LANGUAGE plpgsql AS"
        " $$"
        " BEGIN"
        "  IF TG_OP = 'INSERT' THEN"
        "   IF NOT archive_may('tester') THEN PERFORM archive_refuse('tester', 'add a site'); END"
        " IF;"
        "   NEW.deleted_at := NULL; NEW.deleted_by := NULL; RETURN NEW;"
        "  END IF;"
        "  IF TG_OP = 'DELETE' THEN"
        "   IF NOT archive_may('admin') THEN PERFORM archive_refuse('admin', 'remove a site'); END"
        " IF;"
        "   RETURN OLD;"
        "  END IF;"
        "  IF NEW.deleted_at IS DISTINCT FROM OLD.deleted_at THEN"
        "   IF NOT archive_may('admin') THEN PERFORM archive_refuse('admin',"
        " 'delete or restore a site'); END IF;"
        "   IF EXISTS (SELECT 1 FROM campaigns WHERE site_id = OLD.id AND reviewed_at IS NOT NULL)"
        " THEN"
        "    PERFORM archive_locked('the site has reviewed campaigns'); END IF;"
        "   NEW.deleted_by := CASE WHEN NEW.deleted_at IS NULL THEN NULL ELSE session_user END;"
        "   NEW.deleted_at := CASE WHEN NEW.deleted_at IS NULL THEN NULL ELSE archive_now() END;"
        "  ELSE"
        "   IF NOT archive_may('tester') THEN PERFORM archive_refuse('tester', 'change a site');"
        " END IF;"
        "   NEW.deleted_by := OLD.deleted_by;"
        "  END IF;"
        "  RETURN NEW;"
        " END $$",
        "{postgresql}CREATE TRIGGER sites_guard BEFORE INSERT OR UPDATE OR DELETE ON sites"
        " FOR EACH ROW EXECUTE FUNCTION sites_guard()",
        "{postgresql}CREATE OR REPLACE FUNCTION campaigns_guard() RETURNS TRIGGER LANGUAGE plpgsql"
        " AS $$"
        " BEGIN"
        "  IF TG_OP = 'INSERT' THEN"
        "   IF NOT archive_may('tester') THEN PERFORM archive_refuse('tester', 'add a campaign');"
        " END IF;"
        "   NEW.created_by := session_user; NEW.reviewer := NULL; NEW.reviewed_at := NULL;"
        "   NEW.deleted_at := NULL; NEW.deleted_by := NULL;"
        "   RETURN NEW;"
        "  END IF;"
        "  IF OLD.reviewed_at IS NOT NULL THEN"
        "   PERFORM archive_locked('the campaign is reviewed'); END IF;"
        "  IF TG_OP = 'DELETE' THEN"
        "   IF NOT archive_may('admin') THEN PERFORM archive_refuse('admin', 'remove a campaign');"
        " END IF;"
        "   RETURN OLD;"
        "  END IF;"
        "  NEW.created_by := OLD.created_by; NEW.corrects := OLD.corrects;"
        "  IF NEW.reviewed_at IS NOT NULL THEN"
        "   IF NOT archive_may('reviewer') THEN PERFORM archive_refuse('reviewer', 'review'); END"
        " IF;"
        "   IF OLD.deleted_at IS NOT NULL OR EXISTS (SELECT 1 FROM sites"
        "    WHERE id = OLD.site_id AND deleted_at IS NOT NULL) THEN"
        "    PERFORM archive_refuse('admin', 'review a deleted campaign'); END IF;"
        "   NEW.reviewer := session_user; NEW.reviewed_at := archive_now();"
        "   RETURN NEW;"
        "  END IF;"
        "  NEW.reviewer := NULL;"
        "  IF NEW.deleted_at IS DISTINCT FROM OLD.deleted_at THEN"
        "   IF NOT archive_may('admin') THEN PERFORM archive_refuse('admin',"
        " 'delete or restore a campaign'); END IF;"
        "   NEW.deleted_by := CASE WHEN NEW.deleted_at IS NULL THEN NULL ELSE session_user END;"
        "   NEW.deleted_at := CASE WHEN NEW.deleted_at IS NULL THEN NULL ELSE archive_now() END;"
        "   RETURN NEW;"
        "  END IF;"
        "  NEW.deleted_by := OLD.deleted_by;"
        "  IF NOT (archive_may('admin') OR (archive_may('tester') AND OLD.created_by ="
        " session_user)) THEN"
        "   PERFORM archive_refuse('tester', 'change another tester''s campaign'); END IF;"
        "  RETURN NEW;"
        " END $$",
        "{postgresql}CREATE TRIGGER campaigns_guard BEFORE INSERT OR UPDATE OR DELETE ON campaigns"
        " FOR EACH ROW EXECUTE FUNCTION campaigns_guard()",
        "{postgresql}CREATE OR REPLACE FUNCTION records_guard() RETURNS TRIGGER LANGUAGE plpgsql"
        " AS $$"
        " DECLARE c campaigns%ROWTYPE;"
        " BEGIN"
        "  SELECT * INTO c FROM campaigns"
        "   WHERE id = CASE WHEN TG_OP = 'INSERT' THEN NEW.campaign_id ELSE OLD.campaign_id END;"
        "  IF c.reviewed_at IS NOT NULL THEN PERFORM archive_locked('the campaign is reviewed');"
        " END IF;"
        "  IF TG_OP = 'UPDATE' AND NEW.campaign_id <> OLD.campaign_id THEN"
        "   PERFORM archive_refuse('admin', 'move a record'); END IF;"
        "  IF TG_OP = 'DELETE' THEN"
        "   IF c.id IS NOT NULL AND NOT archive_may('admin') THEN"
        "    PERFORM archive_refuse('admin', 'remove a record'); END IF;"
        "   RETURN OLD;"
        "  END IF;"
        "  IF NOT (archive_may('admin') OR (archive_may('tester') AND c.created_by ="
        " session_user)) THEN"
        "   PERFORM archive_refuse('tester', 'change another tester''s campaign'); END IF;"
        "  RETURN NEW;"
        " END $$",
        "{postgresql}CREATE TRIGGER records_guard BEFORE INSERT OR UPDATE OR DELETE ON records"
        " FOR EACH ROW EXECUTE FUNCTION records_guard()",
        // The server says who and when, whatever the program wrote.
        "{postgresql}CREATE OR REPLACE FUNCTION change_log_guard() RETURNS TRIGGER LANGUAGE"
        " plpgsql AS $$"
        " BEGIN"
        "  IF TG_OP = 'INSERT' THEN"
        "   NEW.who := session_user; NEW.logged_at := archive_now(); RETURN NEW;"
        "  END IF;"
        "  RAISE EXCEPTION USING ERRCODE = '42501', MESSAGE = 'change_log is append-only',"
        "   DETAIL = 'append-only';"
        " END $$",
        "{postgresql}CREATE TRIGGER change_log_guard BEFORE INSERT OR UPDATE OR DELETE ON"
        " change_log"
        " FOR EACH ROW EXECUTE FUNCTION change_log_guard()",
        "{postgresql}CREATE TRIGGER change_log_truncate BEFORE TRUNCATE ON change_log"
        " FOR EACH STATEMENT EXECUTE FUNCTION change_log_guard()",
        "{postgresql}REVOKE UPDATE, DELETE, TRUNCATE ON change_log FROM PUBLIC",
        // Every change of a site or campaign goes into change_log by the
        // server itself, also one made past the program; the program writes
        // only what the server cannot count (a store's new records). The
        // host is the program's (kr3090.host), else the client's address.
        "{postgresql}CREATE OR REPLACE FUNCTION archive_trace_row(action TEXT, site BIGINT,"
        " campaign BIGINT, records INTEGER, detail JSONB) RETURNS VOID LANGUAGE sql AS $$"
        " INSERT INTO change_log (logged_at, who, host, action, site_id, campaign_id, records,"
        " detail)"
        " VALUES ('', '', coalesce(nullif(current_setting('kr3090.host', true), ''),"
        " host(inet_client_addr()), 'local'), action, site, campaign, records, detail::text) $$",
        "{postgresql}CREATE OR REPLACE FUNCTION archive_differences(old JSONB, new JSONB,"
        " fields TEXT[]) RETURNS JSONB LANGUAGE plpgsql IMMUTABLE AS $$"
        " DECLARE f TEXT; b JSONB := '{}'; a JSONB := '{}';"
        " BEGIN"
        "  FOREACH f IN ARRAY fields LOOP"
        "   IF (old -> f) IS DISTINCT FROM (new -> f) THEN"
        "    b := b || jsonb_build_object(f, coalesce(old ->> f, ''));"
        "    a := a || jsonb_build_object(f, coalesce(new ->> f, ''));"
        "   END IF;"
        "  END LOOP;"
        "  IF a = '{}' THEN RETURN NULL; END IF;"
        "  RETURN jsonb_build_object('before', b, 'after', a);"
        " END $$",
        "{postgresql}CREATE OR REPLACE FUNCTION sites_trace() RETURNS TRIGGER LANGUAGE plpgsql AS"
        " $$"
        " DECLARE d JSONB;"
        " BEGIN"
        "  IF TG_OP = 'INSERT' THEN"
        "   PERFORM archive_trace_row('新建场地', NEW.id, NULL, NULL, '{}');"
        "  ELSIF TG_OP = 'DELETE' THEN"
        "   PERFORM archive_trace_row('清空回收站', OLD.id, NULL, NULL,"
        "    jsonb_build_object('before', jsonb_build_object('site', OLD.name)));"
        "  ELSIF NEW.deleted_at IS DISTINCT FROM OLD.deleted_at THEN"
        "   PERFORM archive_trace_row(CASE WHEN NEW.deleted_at IS NULL THEN '恢复' ELSE '删除' END,"
        "    NEW.id, NULL, NULL, '{}');"
        "  ELSE"
        "   d := archive_differences(to_jsonb(OLD), to_jsonb(NEW),"
        "    ARRAY['name', 'voltage_level', 'grid_size', 'location']);"
        "   IF d IS NOT NULL THEN"
        "    PERFORM archive_trace_row('修改场地', NEW.id, NULL, NULL, d); END IF;"
        "  END IF;"
        "  RETURN NULL;"
        " END $$",
        "{postgresql}CREATE TRIGGER sites_trace AFTER INSERT OR UPDATE OR DELETE ON sites"
        " FOR EACH ROW EXECUTE FUNCTION sites_trace()",
        "{postgresql}CREATE OR REPLACE FUNCTION campaigns_trace() RETURNS TRIGGER LANGUAGE plpgsql"
        " AS $$"
        " DECLARE d JSONB; s TEXT;"
        " BEGIN"
        "  IF TG_OP = 'INSERT' THEN"
        "   IF NEW.corrects IS NULL THEN PERFORM archive_trace_row('新建测试', NEW.site_id, NEW.id,"
        " NULL, '{}');"
        "   ELSE PERFORM archive_trace_row('更正', NEW.site_id, NEW.id, NULL,"
        "    jsonb_build_object('corrects', NEW.corrects)); END IF;"
        "  ELSIF TG_OP = 'DELETE' THEN"
        // Gone with its site: the site's line says so.
        "   SELECT name INTO s FROM sites WHERE id = OLD.site_id AND deleted_at IS NULL;"
        "   IF FOUND THEN PERFORM archive_trace_row('清空回收站', OLD.site_id, OLD.id, NULL,"
        "    jsonb_build_object('before', jsonb_build_object('site', s, 'test_date',"
        " OLD.test_date)));"
        "   END IF;"
        "  ELSIF NEW.reviewed_at IS NOT NULL AND OLD.reviewed_at IS NULL THEN"
        "   PERFORM archive_trace_row('审核', NEW.site_id, NEW.id,"
        "    (SELECT COUNT(*)::int FROM records WHERE campaign_id = NEW.id), '{}');"
        "  ELSIF NEW.deleted_at IS DISTINCT FROM OLD.deleted_at THEN"
        "   PERFORM archive_trace_row(CASE WHEN NEW.deleted_at IS NULL THEN '恢复' ELSE '删除' END,"
        "    NEW.site_id, NEW.id, NULL, '{}');"
        "  ELSE"
        "   d := archive_differences(to_jsonb(OLD), to_jsonb(NEW), ARRAY['site_id', 'test_date',"
        "    'testers', 'weather', 'soil', 'lead_layout', 'lead_lengths', 'instrument_serial',"
        "    'remarks', 'limit_ohm', 'power_frequency']);"
        "   IF d IS NOT NULL THEN PERFORM archive_trace_row('修改', OLD.site_id, NEW.id, NULL, d);"
        " END IF;"
        "  END IF;"
        "  RETURN NULL;"
        " END $$",
        "{postgresql}CREATE TRIGGER campaigns_trace AFTER INSERT OR UPDATE OR DELETE ON campaigns"
        " FOR EACH ROW EXECUTE FUNCTION campaigns_trace()",
        // A file of one user's: the same lock, said by SQLite's own triggers.
        "{sqlite}CREATE TRIGGER campaigns_reviewed_update BEFORE UPDATE ON campaigns"
        " WHEN OLD.reviewed_at IS NOT NULL BEGIN SELECT RAISE(ABORT, 'reviewed'); END",
        "{sqlite}CREATE TRIGGER campaigns_reviewed_delete BEFORE DELETE ON campaigns"
        " WHEN OLD.reviewed_at IS NOT NULL BEGIN SELECT RAISE(ABORT, 'reviewed'); END",
        "{sqlite}CREATE TRIGGER records_reviewed_insert BEFORE INSERT ON records"
        " WHEN (SELECT reviewed_at FROM campaigns WHERE id = NEW.campaign_id) IS NOT NULL"
        " BEGIN SELECT RAISE(ABORT, 'reviewed'); END",
        "{sqlite}CREATE TRIGGER records_reviewed_update BEFORE UPDATE ON records"
        " WHEN (SELECT reviewed_at FROM campaigns WHERE id = OLD.campaign_id) IS NOT NULL"
        " BEGIN SELECT RAISE(ABORT, 'reviewed'); END",
        "{sqlite}CREATE TRIGGER records_reviewed_delete BEFORE DELETE ON records"
        " WHEN (SELECT reviewed_at FROM campaigns WHERE id = OLD.campaign_id) IS NOT NULL"
        " BEGIN SELECT RAISE(ABORT, 'reviewed'); END",
        "{sqlite}CREATE TRIGGER change_log_update BEFORE UPDATE ON change_log"
        " BEGIN SELECT RAISE(ABORT, 'append-only'); END",
        "{sqlite}CREATE TRIGGER change_log_delete BEFORE DELETE ON change_log"
        " BEGIN SELECT RAISE(ABORT, 'append-only'); END",
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
                                                  Version6, Version7, Version8};
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
