// A database on a PostgreSQL server. Every data control of the program
// shares one connection; rows are read straight from libpq's results.
//
// The server's tables carry a row id of their own: IDE its id, the others a
// hidden column kvr_rowid, both numbered by the server as rows are inserted.
// "SELECT * FROM T " reads in the order of that row id, as the file gives its
// rows in the order they were inserted, and leaves the hidden column out.
// Columns keep their names as the program writes them ("Alter", "1"), so
// every name is quoted.
#include "store/SqlBackend.h"

#include "store/DatabaseError.h"
#include "store/DatabaseLocation.h"
#include "store/LiveServer.h"
#include "store/ServerSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>

#include <libpq-fe.h>

#include <cstdlib>

namespace Sql {

namespace {

const QString kShared = QStringLiteral("kvr_server_data");
const QString kHiddenRowid = QStringLiteral("kvr_rowid");

QString tr(const char *text)
{
    return QCoreApplication::translate("DataControl", text);
}

class ServerCursor final : public Cursor
{
public:
    explicit ServerCursor(ServerSession::Result &&result) : m_result(std::move(result))
    {
        if (!m_result.ok())
            m_failure = m_result.failure();
    }
    explicit ServerCursor(const Failure &failure) : m_failure(failure) {}
    bool next() override { return m_result.ok() && ++m_row < m_result.rows(); }
    const Failure *failure() const override { return m_result.ok() ? nullptr : &m_failure; }
    int columnCount() const override { return m_result.columns(); }
    QString columnName(int column) const override { return m_result.columnName(column); }
    QByteArrayView value(int column) const override { return m_result.value(m_row, column); }
    qint64 integer(int column) const override
    {
        const QByteArrayView v = m_result.value(m_row, column);
        return v.isEmpty() ? 0 : std::strtoll(v.data(), nullptr, 10);
    }

private:
    ServerSession::Result m_result;
    Failure m_failure;
    int m_row = -1;
};

// A decimal integer in its plain form, as the server writes a whole number.
bool plainInteger(const QByteArray &v)
{
    qsizetype i = v.startsWith('-') ? 1 : 0;
    if (i == v.size() || v.size() - i > 19 || (v[i] == '0' && v.size() - i > 1) || (i == 1 && v == "-0"))
        return false;
    for (; i < v.size(); ++i)
        if (v[i] < '0' || v[i] > '9')
            return false;
    bool ok = false;
    v.toLongLong(&ok);
    return ok;
}

ColumnType typeOf(const QByteArray &name)
{
    if (name == "text" || name == "varchar")
        return ColumnType::Text;
    if (name == "int8" || name == "int4" || name == "int2")
        return ColumnType::Integer;
    return ColumnType::Other;
}

class ServerBackend final : public Backend
{
public:
    bool isServer() const override { return true; }

    bool open(const QString &, QString *used, Failure *failure) override
    {
        *used = kShared;
        // A connection kept from before is checked as any other before use.
        // One to another server, or kept while the program's lock was let
        // go (the program switched databases, or its lock was lost), is made
        // anew, taking the lock again.
        if (ServerSession::Handle(kShared) && m_server == DatabaseLocation::CurrentServer().ConnectionString()
            && LiveServer::Holding()) {
            if (!check(kShared, false, failure))
                return false;
        } else if (!connect(failure)) {
            return false;
        }
        ++m_users;
        return true;
    }

    // The connection stays open when its last control closes: a screen
    // that opens, reads and closes a control (a profile, a score) costs no
    // new connection each time. What was learnt of the tables is forgotten.
    void close(const QString &) override
    {
        if (m_users > 0 && --m_users == 0)
            m_relations.clear();
    }

    bool check(const QString &name, bool inTransaction, Failure *failure) override
    {
        pg_conn *conn = ServerSession::Handle(name);
        bool alive = conn && PQstatus(conn) == CONNECTION_OK;
        // A connection left unused for a while is asked whether it still
        // answers (the server may have been restarted meanwhile), so that the
        // work is done on a new one rather than reported as failed.
        if (alive && !inTransaction && (!m_used.isValid() || m_used.elapsed() > 1000))
            alive = ServerSession::Answers(name);
        if (alive) {
            m_used.start();
            return true;
        }
        if (inTransaction) {
            *failure = ServerSession::FailureOf(conn, false);
            return false;
        }
        return connect(failure);
    }

    bool describe(const QString &connection, const QString &table, Relation *r, Failure *failure) override
    {
        const auto cached = m_relations.constFind(table.toLower());
        if (cached != m_relations.constEnd()) {
            *r = *cached;
            return true;
        }
        const ServerSession::Result q = ServerSession::Exec(
            connection,
            QStringLiteral(
                "SELECT c.relname, c.relkind, a.attname, t.typname, "
                "EXISTS (SELECT 1 FROM pg_index i WHERE i.indrelid = c.oid AND i.indisprimary "
                "AND i.indnatts = 1 AND i.indkey[0] = a.attnum), "
                "EXISTS (SELECT 1 FROM pg_index i WHERE i.indrelid = c.oid AND i.indkey[0] = a.attnum) "
                "FROM pg_class c JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
                "JOIN pg_type t ON t.oid = a.atttypid "
                "WHERE c.relkind IN ('r', 'p', 'v', 'm', 'f') AND pg_table_is_visible(c.oid) "
                "AND lower(c.relname) = lower(?) ORDER BY c.relname = ? DESC, c.relname, a.attnum"),
            {Param::text(table.toUtf8()), Param::text(table.toUtf8())});
        if (!q.ok()) {
            *failure = q.failure();
            return false;
        }
        if (q.rows() == 0) {
            *failure = {tr("No table or view named %1.").arg(table), DatabaseError::NotPrepared};
            return false;
        }
        Relation rel;
        rel.name = q.text(0, 0);
        const QByteArrayView kind = q.value(0, 1);
        rel.isTable = kind == QByteArrayView("r") || kind == QByteArrayView("p");
        for (int i = 0; i < q.rows() && q.text(i, 0) == rel.name; ++i) {
            const QString column = q.text(i, 2);
            const ColumnType type = typeOf(q.value(i, 3).toByteArray());
            rel.spelled.insert(column.toLower(), column);
            rel.types.insert(column.toLower(), type);
            rel.leadingIndex.insert(column.toLower(), q.value(i, 5) == QByteArrayView("t"));
            if (rel.isTable && q.value(i, 4) == QByteArrayView("t") && type == ColumnType::Integer) {
                rel.rowid = Quote(column);
                if (column != kHiddenRowid)
                    rel.rowidName = column;
            }
            if (column != kHiddenRowid)
                rel.columns << column;
        }
        m_relations.insert(table.toLower(), rel);
        *r = rel;
        return true;
    }

    std::unique_ptr<Cursor> query(const QString &connection, const QString &sql, const QList<Param> &params) override
    {
        pg_conn *conn = ServerSession::Handle(connection);
        const bool inTransaction = conn && PQtransactionStatus(conn) != PQTRANS_IDLE;
        ServerSession::Result result = ServerSession::Exec(conn, sql, params);
        // A read that found the connection lost is read again on a new one;
        // one inside a transaction fails with it.
        if (!result.ok() && result.failure().code == DatabaseError::ConnectionLost && !inTransaction) {
            Failure f;
            if (!connect(&f))
                return std::make_unique<ServerCursor>(f);
            result = ServerSession::Exec(connection, sql, params);
        }
        m_used.start();
        return std::make_unique<ServerCursor>(std::move(result));
    }

    QString firstRowOnly() const override { return QStringLiteral(" LIMIT 1"); }

    // A text column holds the value's bytes or NULL for an empty value; a
    // whole-number column can hold only the plain decimal form of a number
    // (code='02' finds no 2) or NULL.
    bool matchCondition(const Relation &relation, const QString &column, const QByteArray &value, QString *where,
                        QList<Param> *params) const override
    {
        const QString c = Quote(relation.column(column));
        params->clear();
        switch (relation.types.value(column.toLower(), ColumnType::Other)) {
        case ColumnType::Text:
            *where = QStringLiteral("%1 = ?").arg(c);
            *params << Param::text(value);
            if (value.isEmpty())
                *where += QStringLiteral(" OR %1 IS NULL").arg(c);
            return true;
        case ColumnType::Integer:
            if (value.isEmpty()) {
                *where = QStringLiteral("%1 IS NULL").arg(c);
            } else if (plainInteger(value)) {
                *where = QStringLiteral("%1 = CAST(? AS bigint)").arg(c);
                *params << Param::text(value);
            } else {
                *where = QStringLiteral("false");
            }
            return true;
        case ColumnType::Other:
            break;
        }
        return false;
    }

    bool indexServes(const QString &, const Relation &relation, const QString &, const QString &column) override
    {
        QString where;
        QList<Param> params;
        return relation.leadingIndex.value(column.toLower(), false)
               && matchCondition(relation, column, QByteArray("1"), &where, &params);
    }

    bool insert(const QString &connection, const Relation &r, const QStringList &columns,
                const QList<QByteArray> &values, qint64 *rowid, Failure *failure) override
    {
        QString sql;
        if (columns.isEmpty()) {
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(Quote(r.name));
        } else {
            QStringList names, marks;
            for (const QString &c : columns) {
                names << Quote(r.column(c));
                marks << QStringLiteral("?");
            }
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(Quote(r.name), names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
        }
        const ServerSession::Result q =
            ServerSession::Exec(connection, sql + QStringLiteral(" RETURNING ") + r.rowid, params(r, columns, values));
        m_used.start();
        if (!q.ok()) {
            *failure = q.failure();
            return false;
        }
        *rowid = q.value(0, 0).toByteArray().toLongLong();
        return true;
    }

    bool update(const QString &connection, const Relation &r, const QStringList &columns,
                const QList<QByteArray> &values, qint64 rowid, int *changed, Failure *failure) override
    {
        QStringList sets;
        for (const QString &c : columns)
            sets << Quote(r.column(c)) + QStringLiteral("=?");
        QList<Param> p = params(r, columns, values);
        p << Param::text(QByteArray::number(rowid));
        const ServerSession::Result q = ServerSession::Exec(
            connection,
            QStringLiteral("UPDATE %1 SET %2 WHERE %3 = CAST(? AS bigint)")
                .arg(Quote(r.name), sets.join(QLatin1Char(',')), r.rowid),
            p);
        m_used.start();
        if (!q.ok()) {
            *failure = q.failure();
            return false;
        }
        *changed = q.changed();
        return true;
    }

    bool remove(const QString &connection, const Relation &r, qint64 rowid, Failure *failure) override
    {
        const ServerSession::Result q = ServerSession::Exec(
            connection, QStringLiteral("DELETE FROM %1 WHERE %2 = CAST(? AS bigint)").arg(Quote(r.name), r.rowid),
            {Param::text(QByteArray::number(rowid))});
        m_used.start();
        if (q.ok())
            return true;
        *failure = q.failure();
        return false;
    }

    // Every write transaction of every program takes one advisory lock
    // first, as a write transaction on the file takes SQLite's write lock:
    // until it ends no other program's transaction starts, so a code read as
    // free inside it stays free. (Waiting longer than the lock timeout fails
    // as a busy file does.)
    bool begin(const QString &connection, Failure *failure) override
    {
        const ServerSession::Result q = ServerSession::Exec(
            connection, QStringLiteral("BEGIN; SELECT pg_advisory_xact_lock(%1)").arg(LiveServer::WriteLockKey));
        m_used.start();
        if (q.ok())
            return true;
        *failure = q.failure();
        rollback(connection);
        return false;
    }

    bool commit(const QString &connection, Failure *failure) override
    {
        const ServerSession::Result q = ServerSession::Exec(connection, QStringLiteral("COMMIT"));
        m_used.start();
        // A transaction that failed on the server ends with ROLLBACK even when
        // COMMIT is asked for.
        if (q.ok() && qstrcmp(PQcmdStatus(q.get()), "COMMIT") == 0)
            return true;
        *failure = q.ok() ? Failure{tr("The server rolled the transaction back."), 0} : q.failure();
        return false;
    }

    void rollback(const QString &connection) override
    {
        if (pg_conn *conn = ServerSession::Handle(connection))
            if (PQstatus(conn) == CONNECTION_OK && PQtransactionStatus(conn) != PQTRANS_IDLE)
                ServerSession::Exec(conn, QStringLiteral("ROLLBACK"));
    }

private:
    bool connect(Failure *failure)
    {
        m_relations.clear();
        // The program's lock first: it waits while another program restores,
        // and a lock lost with the server is taken again.
        QString why;
        int code = 0;
        if (!LiveServer::HoldShared(&why, &code, 5000, true)) {
            *failure = {why, code};
            return false;
        }
        if (!ServerSession::Open(kShared, failure))
            return false;
        m_server = DatabaseLocation::CurrentServer().ConnectionString();
        m_used.start();
        return true;
    }

    // Values as the server reads them: an empty text in a whole-number
    // column is NULL (it reads as empty text, as the file's empty value does).
    static QList<Param> params(const Relation &r, const QStringList &columns, const QList<QByteArray> &values)
    {
        QList<Param> out;
        for (int i = 0; i < columns.size(); ++i) {
            const QByteArray &v = values[i];
            if (v.isEmpty() && r.types.value(columns[i].toLower()) == ColumnType::Integer)
                out << Param::null();
            else
                out << Param::text(v);
        }
        return out;
    }

    int m_users = 0;
    QString m_server; // the server the connection goes to
    QElapsedTimer m_used;
    QHash<QString, Relation> m_relations;
};

} // namespace

Backend &Backend::Server()
{
    static ServerBackend backend;
    return backend;
}

} // namespace Sql
