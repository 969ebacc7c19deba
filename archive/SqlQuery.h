#pragma once
// The few calls every statement of the archive goes through: prepared with
// bound values only (no text of the user's is ever spliced into SQL), failures
// turned into TArchiveError, and transactions that roll back by themselves
// when an exception leaves them. Inside the archive library only.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <initializer_list>
#include <optional>

enum class TSqlDialect { SQLite, PostgreSQL };

TSqlDialect DialectOf(const QSqlDatabase& db);

// A statement with its "?" placeholders bound in order, run; throws
// TArchiveError with `what` and the driver's text. Without values the
// statement (the program's own text, never the user's) runs unprepared.
QSqlQuery RunSql(QSqlDatabase& db, const QString& sql, std::initializer_list<QVariant> values,
                 const char* what);
// The same for a statement prepared once and run many times.
QSqlQuery PrepareSql(QSqlDatabase& db, const QString& sql, const char* what);
void RunPrepared(QSqlQuery& query, std::initializer_list<QVariant> values, const char* what);
void RunPrepared(QSqlQuery& query, const QVariantList& values, const char* what);

// "档案数据库出错（what）：driver text". On PostgreSQL the server's SQLSTATE
// decides the problem (ArchiveConnection.h: ProblemOfSqlState).
[[noreturn]] void ThrowSqlError(const char* what, const QSqlError& error,
                                TSqlDialect dialect = TSqlDialect::SQLite);

// A null of the given type: a value that is not there (no limit, no Z).
QVariant NullDouble();
QVariant NullInt();
QVariant OptionalDouble(const std::optional<double>& v);

// One transaction. SQLite takes the write lock at the start (BEGIN IMMEDIATE):
// a deferred transaction that reads first and writes later fails at once with
// SQLITE_BUSY when another program wrote in between, instead of waiting for it.
class TTransaction {
  public:
    explicit TTransaction(QSqlDatabase& db);
    ~TTransaction();  // rolls back unless committed
    void Commit();
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;

  private:
    QSqlDatabase& Db;
    bool Open = true;
};
