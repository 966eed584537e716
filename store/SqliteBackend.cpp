// The database file: rows read straight from SQLite's statements (with a
// hundred thousand examinees a value-by-value read through QVariant costs
// several times more), writes through Qt's SQLite driver on the same
// connection.
#include "store/SqlBackend.h"

#include "store/DatabaseError.h"
#include "store/DatabaseLocation.h"
#include "store/DataControl.h"
#include "store/KvrDatabase.h"
#include "store/LiveDatabase.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <cmath>
#include <limits>
#include <optional>

#include <sqlite3.h>

namespace Sql {

QString Quote(const QString &name)
{
    return KvrDatabase::QuoteIdentifier(name);
}

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("DataControl", text);
}

sqlite3 *handleOf(const QString &connection)
{
    if (!QSqlDatabase::contains(connection))
        return nullptr;
    const QVariant handle = QSqlDatabase::database(connection, false).driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

Failure failureOf(sqlite3 *h, const QString &message = QString())
{
    if (!h)
        return {tr("The database is not open."), 0};
    return {message.isEmpty() ? QString::fromUtf8(sqlite3_errmsg(h)) : message, sqlite3_extended_errcode(h)};
}

// The bytes of a value as the rows hold it (NULL as no bytes).
QByteArrayView columnBytes(sqlite3_stmt *stmt, int column)
{
    const unsigned char *text = sqlite3_column_text(stmt, column);
    return text ? QByteArrayView(reinterpret_cast<const char *>(text), sqlite3_column_bytes(stmt, column))
                : QByteArrayView();
}

// A prepared statement, finalized with the cursor.
class SqliteCursor final : public Cursor
{
public:
    SqliteCursor(sqlite3 *h, const QString &sql, const QList<Param> &params)
    {
        if (!h || sqlite3_prepare16_v2(h, sql.utf16(), int(sql.size() * 2), &m_stmt, nullptr) != SQLITE_OK) {
            m_failure = failureOf(h);
            m_failed = true;
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
            return;
        }
        for (int i = 0; i < params.size(); ++i) {
            const Param &p = params[i];
            // An empty value is bound as empty text or blob, never as NULL.
            const char *bytes = p.bytes.isEmpty() ? "" : p.bytes.constData();
            switch (p.type) {
            case Param::Text:
                sqlite3_bind_text(m_stmt, i + 1, bytes, int(p.bytes.size()), SQLITE_TRANSIENT);
                break;
            case Param::Blob:
                sqlite3_bind_blob(m_stmt, i + 1, bytes, int(p.bytes.size()), SQLITE_TRANSIENT);
                break;
            case Param::Real:
                sqlite3_bind_double(m_stmt, i + 1, p.real);
                break;
            case Param::Integer:
                sqlite3_bind_int64(m_stmt, i + 1, p.bytes.toLongLong());
                break;
            case Param::Null:
                sqlite3_bind_null(m_stmt, i + 1);
                break;
            }
        }
    }
    ~SqliteCursor() override { sqlite3_finalize(m_stmt); }
    bool next() override
    {
        if (!m_stmt || m_failed || m_done)
            return false;
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE) {
            m_done = true;
        } else {
            m_failed = true;
            m_failure = failureOf(sqlite3_db_handle(m_stmt));
        }
        return false;
    }
    const Failure *failure() const override { return m_failed ? &m_failure : nullptr; }
    int columnCount() const override { return m_stmt ? sqlite3_column_count(m_stmt) : 0; }
    QString columnName(int column) const override { return QString::fromUtf8(sqlite3_column_name(m_stmt, column)); }
    QByteArrayView value(int column) const override { return columnBytes(m_stmt, column); }
    qint64 integer(int column) const override { return sqlite3_column_int64(m_stmt, column); }

private:
    sqlite3_stmt *m_stmt = nullptr;
    Failure m_failure;
    bool m_failed = false;
    bool m_done = false;
};

// The table's INTEGER PRIMARY KEY column, the row id under its own name.
QString rowidAlias(sqlite3 *h, const QString &table)
{
    SqliteCursor info(h, QStringLiteral("PRAGMA table_info(%1)").arg(Quote(table)), {});
    int keys = 0;
    QString alias;
    while (info.next()) {
        if (info.integer(5) == 0)
            continue;
        ++keys;
        if (QString::fromUtf8(info.value(2)).compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0)
            alias = QString::fromUtf8(info.value(1));
    }
    return keys == 1 ? alias : QString();
}

// The number a filter value reads as, when it reads as one.
std::optional<double> numberOf(const QByteArray &value)
{
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (ok && !std::isnan(v))
        return v;
    if (value == "Inf" || value == "+Inf")
        return std::numeric_limits<double>::infinity();
    if (value == "-Inf")
        return -std::numeric_limits<double>::infinity();
    return std::nullopt;
}

class SqliteBackend final : public Backend
{
public:
    bool isServer() const override { return false; }

    bool open(const QString &wanted, QString *used, Failure *failure) override
    {
        const QString path = DataControl::DatabasePath();
        *used = wanted;
        if (!QFileInfo(path).isFile()) {
            *failure = {tr("The database file %1 does not exist.").arg(path), DatabaseError::FileMissing};
            return false;
        }
        QString why;
        if (!LiveDatabase::HoldShared(path, &why)) {
            *failure = {why, DatabaseError::RestoreElsewhere};
            return false;
        }
        KvrDatabase::PrepareOnce(path);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), wanted);
        // mode=rw: SQLite refuses a missing file instead of making an empty one.
        db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + QStringLiteral("?mode=rw"));
        db.setConnectOptions(
            QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(KvrDatabase::BusyTimeoutMs));
        if (!db.open()) {
            *failure = {tr("The database file %1 cannot be opened: %2").arg(path, db.lastError().text()),
                        db.lastError().nativeErrorCode().toInt()};
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(wanted);
            return false;
        }
        return true;
    }

    void close(const QString &name) override
    {
        if (!QSqlDatabase::contains(name))
            return;
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }

    bool check(const QString &name, bool, Failure *failure) override
    {
        if (handleOf(name))
            return true;
        *failure = {tr("The database driver gives no SQLite handle."), 0};
        return false;
    }

    bool describe(const QString &connection, const QString &table, Relation *r, Failure *failure) override
    {
        sqlite3 *h = handleOf(connection);
        SqliteCursor q(h, QStringLiteral("SELECT type FROM sqlite_master WHERE lower(name) = lower(?)"),
                       {Param::text(table.toUtf8())});
        if (!q.next()) {
            *failure = q.failure() ? *q.failure() : Failure{tr("No table or view named %1.").arg(table), 0};
            return false;
        }
        *r = Relation();
        r->name = table;
        r->isTable = q.value(0) == QByteArrayView("table");
        if (r->isTable) {
            r->rowid = QStringLiteral("rowid");
            r->rowidName = rowidAlias(h, table);
        }
        return true;
    }

    std::unique_ptr<Cursor> query(const QString &connection, const QString &sql, const QList<Param> &params) override
    {
        return std::make_unique<SqliteCursor>(handleOf(connection), sql, params);
    }

    QString firstRowOnly() const override { return QString(); }

    // Every stored value whose text can be the wanted text: a text or a blob
    // of the same bytes; a number whose text it is (SQLite writes a real with
    // 15 significant digits, so the number may lie a little off the value
    // the text reads as); NULL, which reads as empty text.
    bool matchCondition(const Relation &, const QString &column, const QByteArray &value, QString *where,
                        QList<Param> *params) const override
    {
        const std::optional<double> number = numberOf(value);
        *where = FileFilterCondition(column, number.has_value(), value.isEmpty());
        *params = {Param::text(value), Param::blob(value)};
        if (number) {
            const double slack = std::isinf(*number) ? 0.0 : std::abs(*number) * 1e-14 + 1e-300;
            *params << Param::number(*number - slack) << Param::number(*number + slack);
        }
        return true;
    }

    // Asks SQLite how it would run the filter's query: through an index, or
    // by reading the table from end to end.
    bool indexServes(const QString &connection, const Relation &, const QString &sqlBase,
                     const QString &column) override
    {
        SqliteCursor plan(handleOf(connection),
                          QStringLiteral("EXPLAIN QUERY PLAN ") + sqlBase + QStringLiteral(" WHERE ")
                              + FileFilterCondition(column, true, true),
                          {});
        bool served = false;
        while (plan.next()) {
            served = true;
            if (plan.value(3).startsWith("SCAN"))
                return false;
        }
        return served && !plan.failure();
    }

    bool insert(const QString &connection, const Relation &r, const QStringList &columns,
                const QList<QByteArray> &values, qint64 *rowid, Failure *failure) override
    {
        QSqlQuery q(QSqlDatabase::database(connection, false));
        if (columns.isEmpty()) {
            q.prepare(QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(Quote(r.name)));
        } else {
            QStringList names, marks;
            for (const QString &c : columns) {
                names << Quote(c);
                marks << QStringLiteral("?");
            }
            q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                          .arg(Quote(r.name), names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
            for (const QByteArray &v : values)
                q.addBindValue(QString::fromUtf8(v));
        }
        if (!q.exec()) {
            *failure = failureOf(handleOf(connection), q.lastError().text());
            return false;
        }
        *rowid = q.lastInsertId().toLongLong();
        return true;
    }

    bool update(const QString &connection, const Relation &r, const QStringList &columns,
                const QList<QByteArray> &values, qint64 rowid, int *changed, Failure *failure) override
    {
        QStringList sets;
        for (const QString &c : columns)
            sets << Quote(c) + QStringLiteral("=?");
        QSqlQuery q(QSqlDatabase::database(connection, false));
        q.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?").arg(Quote(r.name), sets.join(QLatin1Char(','))));
        for (const QByteArray &v : values)
            q.addBindValue(QString::fromUtf8(v));
        q.addBindValue(rowid);
        if (!q.exec()) {
            *failure = failureOf(handleOf(connection), q.lastError().text());
            return false;
        }
        *changed = q.numRowsAffected();
        return true;
    }

    bool remove(const QString &connection, const Relation &r, qint64 rowid, Failure *failure) override
    {
        QSqlQuery q(QSqlDatabase::database(connection, false));
        q.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid=?").arg(Quote(r.name)));
        q.addBindValue(rowid);
        if (q.exec())
            return true;
        *failure = failureOf(handleOf(connection), q.lastError().text());
        return false;
    }

    // IMMEDIATE: the write lock is taken now (waiting while another program
    // writes), so what is read inside the transaction stays true until it
    // commits.
    bool begin(const QString &connection, Failure *failure) override
    {
        return run(connection, "BEGIN IMMEDIATE", failure);
    }
    bool commit(const QString &connection, Failure *failure) override { return run(connection, "COMMIT", failure); }
    void rollback(const QString &connection) override
    {
        // SQLite may have rolled back by itself after a failed write; then
        // there is nothing left to roll back and the error does not matter.
        if (sqlite3 *h = handleOf(connection))
            sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
    }

private:
    static bool run(const QString &connection, const char *sql, Failure *failure)
    {
        sqlite3 *h = handleOf(connection);
        if (h && sqlite3_exec(h, sql, nullptr, nullptr, nullptr) == SQLITE_OK)
            return true;
        *failure = failureOf(h);
        return false;
    }
};

} // namespace

QString FileFilterCondition(const QString &column, bool numeric, bool emptyValue)
{
    const QString c = Quote(column);
    QString where = QStringLiteral("%1=? OR %1=?").arg(c);
    if (numeric)
        where += QStringLiteral(" OR %1 BETWEEN ? AND ?").arg(c);
    if (emptyValue)
        where += QStringLiteral(" OR %1 IS NULL").arg(c);
    return where;
}

Backend &Backend::Current()
{
    return DatabaseLocation::OnServer() ? Server() : File();
}

Backend &Backend::File()
{
    static SqliteBackend backend;
    return backend;
}

} // namespace Sql
