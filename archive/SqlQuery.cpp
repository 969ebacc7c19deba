#include "archive/SqlQuery.h"

#include <QSqlDriver>
#include <QSqlError>

#include "archive/Archive.h"
#include "archive/ArchiveConnection.h"

TSqlDialect DialectOf(const QSqlDatabase& db) {
    return db.driverName() == "QPSQL" ? TSqlDialect::PostgreSQL : TSqlDialect::SQLite;
}

void ThrowSqlError(const char* what, const QSqlError& error, TSqlDialect dialect) {
    QString detail = error.databaseText().trimmed();
    if (detail.isEmpty()) detail = error.driverText().trimmed();
    const std::string state = error.nativeErrorCode().toStdString();
    TArchiveProblem problem =
        dialect == TSqlDialect::PostgreSQL ? ProblemOfSqlState(state) : TArchiveProblem::Other;
    // SQLite's own triggers of the review lock (ArchiveSchema.cpp) abort with this text.
    if (dialect == TSqlDialect::SQLite && detail.startsWith("reviewed"))
        problem = TArchiveProblem::Reviewed;
    if (problem == TArchiveProblem::Reviewed)
        throw TArchiveError(problem, std::string("这次测试已经审核，它和它的记录不能再改动（") +
                                         what + "）。需要改正时，请存一次更正的测试。");
    if (problem == TArchiveProblem::NotPermitted)
        throw TArchiveError(problem, std::string("档案服务器不允许这个用户这样做（") + what +
                                         "，SQLSTATE " + state + "）：" + detail.toStdString());
    throw TArchiveError(problem,
                        std::string("档案数据库出错（") + what + "）：" + detail.toStdString());
}

namespace {

TSqlDialect DialectOf(const QSqlQuery& query) {
    return query.driver() && query.driver()->dbmsType() == QSqlDriver::PostgreSQL
               ? TSqlDialect::PostgreSQL
               : TSqlDialect::SQLite;
}

}  // namespace

QSqlQuery PrepareSql(QSqlDatabase& db, const QString& sql, const char* what) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql)) ThrowSqlError(what, query.lastError(), DialectOf(db));
    return query;
}

namespace {
template <typename Values>
void BindAndRun(QSqlQuery& query, const Values& values, const char* what) {
    int k = 0;
    for (const QVariant& v : values) query.bindValue(k++, v);
    if (!query.exec()) ThrowSqlError(what, query.lastError(), DialectOf(query));
}
}  // namespace

void RunPrepared(QSqlQuery& query, std::initializer_list<QVariant> values, const char* what) {
    BindAndRun(query, values, what);
}

void RunPrepared(QSqlQuery& query, const QVariantList& values, const char* what) {
    BindAndRun(query, values, what);
}

QSqlQuery RunSql(QSqlDatabase& db, const QString& sql, std::initializer_list<QVariant> values,
                 const char* what) {
    // PostgreSQL prepares queries and data changes only: SET, SHOW and CREATE
    // run as they are, which is safe since they carry no value.
    if (values.size() == 0) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(sql)) ThrowSqlError(what, query.lastError(), DialectOf(db));
        return query;
    }
    QSqlQuery query = PrepareSql(db, sql, what);
    RunPrepared(query, values, what);
    return query;
}

QVariant NullDouble() {
    return QVariant(QMetaType::fromType<double>());
}

QVariant NullInt() {
    return QVariant(QMetaType::fromType<int>());
}

QVariant OptionalDouble(const std::optional<double>& v) {
    return v ? QVariant(*v) : NullDouble();
}

TTransaction::TTransaction(QSqlDatabase& db) : Db(db) {
    const char* begin = DialectOf(db) == TSqlDialect::SQLite ? "BEGIN IMMEDIATE" : "BEGIN";
    QSqlQuery query(db);
    if (!query.exec(begin)) ThrowSqlError("开始事务", query.lastError(), DialectOf(db));
}

TTransaction::~TTransaction() {
    if (!Open) return;
    // The exception that brought us here tells what went wrong; a rollback
    // that fails too (the server is gone) has nothing to add.
    QSqlQuery query(Db);
    query.exec("ROLLBACK");
}

void TTransaction::Commit() {
    QSqlQuery query(Db);
    if (!query.exec("COMMIT")) ThrowSqlError("提交事务", query.lastError(), DialectOf(Db));
    Open = false;
}
