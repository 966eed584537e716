#include "store/ServerSession.h"

#include "store/DatabaseError.h"
#include "store/DatabaseLocation.h"
#include "store/KvrDatabase.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <vector>

namespace ServerSession {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ServerSession", text);
}

// The codes of DatabaseError for the server's SQLSTATEs.
int codeFor(const QByteArray &state)
{
    if (state == "23505")
        return SQLITE_CONSTRAINT_UNIQUE;
    if (state.startsWith("23") || state.startsWith("22"))
        return SQLITE_CONSTRAINT;
    if (state == "55P03" || state == "40P01" || state == "40001")
        return SQLITE_BUSY;
    if (state == "53100")
        return SQLITE_FULL;
    if (state == "42501" || state == "25006")
        return DatabaseError::NoPermission;
    if (state.startsWith("28"))
        return DatabaseError::LoginFailed;
    if (state == "42P01" || state == "42703" || state == "3D000")
        return DatabaseError::NotPrepared;
    if (state.startsWith("08") || state == "57P01" || state == "57P02" || state == "57P03")
        return DatabaseError::ConnectionLost;
    return 0;
}

QString trimmedMessage(const char *text)
{
    return QString::fromUtf8(text).trimmed();
}

void quiet(void *, const char *) {}

// '?' outside quotes becomes $1, $2, ...
QByteArray numbered(const QString &sql)
{
    QString out;
    out.reserve(sql.size() + 8);
    QChar quote;
    int n = 0;
    for (const QChar ch : sql) {
        if (!quote.isNull()) {
            if (ch == quote)
                quote = QChar();
            out += ch;
        } else if (ch == QLatin1Char('\'') || ch == QLatin1Char('"')) {
            quote = ch;
            out += ch;
        } else if (ch == QLatin1Char('?')) {
            out += QLatin1Char('$') + QString::number(++n);
        } else {
            out += ch;
        }
    }
    return out.toUtf8();
}

QString connectOptions(const DatabaseLocation::Server &s)
{
    QStringList parts;
    if (!s.options.contains(QLatin1String("sslmode=")))
        parts << (s.tls ? QStringLiteral("sslmode=require") : QStringLiteral("sslmode=disable"));
    // A server that does not answer is given up after some seconds, not
    // waited for as long as the system would.
    if (!s.options.contains(QLatin1String("connect_timeout=")))
        parts << QStringLiteral("connect_timeout=10");
    if (!s.options.contains(QLatin1String("application_name=")))
        parts << QStringLiteral("application_name=KVR");
    if (!s.options.isEmpty())
        parts << s.options;
    return parts.join(QLatin1Char(' '));
}

// Why a connection could not be made: libpq is asked once more on its own,
// which tells a refused or missing password apart from an unreachable
// server in any language of its messages.
Sql::Failure connectFailure(const QString &qtMessage, const DatabaseLocation::Server &s, const QString &password)
{
    QString conninfo = s.ConnectionString();
    if (!conninfo.contains(QLatin1String("connect_timeout=")))
        conninfo += QStringLiteral(" connect_timeout=10");
    if (!password.isEmpty()) {
        QString p = password;
        p.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
        conninfo += QStringLiteral(" password='%1'").arg(p);
    }
    PGconn *probe = PQconnectdb(conninfo.toUtf8().constData());
    Sql::Failure f{qtMessage, DatabaseError::ServerUnreachable};
    if (probe) {
        if (PQstatus(probe) == CONNECTION_BAD) {
            f.message = trimmedMessage(PQerrorMessage(probe));
            // A password was wanted and none given, or the one given was
            // refused (a server that took it and failed later, a database
            // that does not exist, says so without the word).
            if (PQconnectionNeedsPassword(probe)
                || (PQconnectionUsedPassword(probe) && f.message.contains(QLatin1String("password"), Qt::CaseInsensitive)))
                f.code = DatabaseError::LoginFailed;
        }
        PQfinish(probe);
    }
    f.message = tr("%1: %2").arg(s.Describe(), f.message);
    return f;
}

} // namespace

Sql::Failure FailureOf(pg_conn *conn, bool connecting)
{
    Sql::Failure f;
    f.message = conn ? trimmedMessage(PQerrorMessage(conn)) : tr("The server connection is not open.");
    f.code = connecting ? DatabaseError::ServerUnreachable : DatabaseError::ConnectionLost;
    return f;
}

bool Open(const QString &name, Sql::Failure *failure)
{
    return Open(name, DatabaseLocation::CurrentServer(), DatabaseLocation::Password(), failure);
}

bool Open(const QString &name, const DatabaseLocation::Server &s, const QString &password, Sql::Failure *failure)
{
    Close(name);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        if (!db.isValid()) {
            *failure = {tr("Qt's PostgreSQL driver (QPSQL, Debian package libqt6sql6-psql) is not installed."),
                        DatabaseError::ServerUnreachable};
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            return false;
        }
        db.setHostName(s.host);
        if (s.port != 0)
            db.setPort(s.port);
        db.setDatabaseName(s.database);
        db.setUserName(s.user);
        db.setPassword(password);
        db.setConnectOptions(connectOptions(s));
        if (!db.open()) {
            const QString why = db.lastError().text();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            *failure = connectFailure(why, s, password);
            return false;
        }
    }
    pg_conn *conn = Handle(name);
    if (!conn) {
        Close(name);
        *failure = {tr("Qt's PostgreSQL driver gives no libpq handle."), DatabaseError::ServerUnreachable};
        return false;
    }
    PQsetNoticeProcessor(conn, quiet, nullptr);
    // As long as a connection to the file waits for another program's write.
    const Result set = Exec(conn, QStringLiteral("SET lock_timeout = %1").arg(KvrDatabase::BusyTimeoutMs));
    if (!set.ok()) {
        *failure = set.failure();
        Close(name);
        return false;
    }
    return true;
}

void Close(const QString &name)
{
    if (!QSqlDatabase::contains(name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

pg_conn *Handle(const QString &name)
{
    if (!QSqlDatabase::contains(name))
        return nullptr;
    const QSqlDatabase db = QSqlDatabase::database(name, false);
    if (!db.isOpen())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid()
        || (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

bool Answers(const QString &name)
{
    PGconn *conn = Handle(name);
    if (!conn || PQstatus(conn) != CONNECTION_OK)
        return false;
    PGresult *r = PQexec(conn, "");
    const bool ok = r && PQresultStatus(r) == PGRES_EMPTY_QUERY;
    PQclear(r);
    return ok && PQstatus(conn) == CONNECTION_OK;
}

Result::Result(pg_result *result, pg_conn *conn)
    : m_result(result)
{
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    m_ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY
           || status == PGRES_COPY_IN;
    if (m_ok)
        return;
    if (!result || (conn && PQstatus(conn) == CONNECTION_BAD)) {
        m_failure = FailureOf(conn, false);
        if (result) {
            const QString said = trimmedMessage(PQresultErrorMessage(result));
            if (!said.isEmpty())
                m_failure.message = said;
        }
        return;
    }
    // The server's sentence and its detail on one line, without its
    // severity and context lines.
    m_failure.message = trimmedMessage(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
    const QString detail = trimmedMessage(PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL));
    if (!detail.isEmpty())
        m_failure.message += QStringLiteral(" (") + detail.simplified() + QLatin1Char(')');
    if (m_failure.message.isEmpty())
        m_failure.message = trimmedMessage(PQresultErrorMessage(result)).simplified();
    m_failure.code = codeFor(QByteArray(PQresultErrorField(result, PG_DIAG_SQLSTATE)));
}

Result::~Result()
{
    PQclear(m_result);
}

Result::Result(Result &&other) noexcept
    : m_result(other.m_result)
    , m_ok(other.m_ok)
    , m_failure(std::move(other.m_failure))
{
    other.m_result = nullptr;
}

Result &Result::operator=(Result &&other) noexcept
{
    if (this != &other) {
        PQclear(m_result);
        m_result = other.m_result;
        m_ok = other.m_ok;
        m_failure = std::move(other.m_failure);
        other.m_result = nullptr;
    }
    return *this;
}

int Result::rows() const { return m_result ? PQntuples(m_result) : 0; }
int Result::columns() const { return m_result ? PQnfields(m_result) : 0; }
QString Result::columnName(int column) const { return QString::fromUtf8(PQfname(m_result, column)); }

QByteArrayView Result::value(int row, int column) const
{
    if (!m_result || PQgetisnull(m_result, row, column))
        return QByteArrayView();
    return QByteArrayView(PQgetvalue(m_result, row, column), PQgetlength(m_result, row, column));
}

bool Result::isNull(int row, int column) const
{
    return !m_result || PQgetisnull(m_result, row, column);
}

int Result::changed() const
{
    return m_result ? QByteArray(PQcmdTuples(m_result)).toInt() : 0;
}

Result Exec(pg_conn *conn, const QString &sql, const QList<Sql::Param> &params)
{
    if (!conn)
        return Result(nullptr, nullptr);
    if (params.isEmpty())
        return Result(PQexec(conn, sql.toUtf8().constData()), conn);
    const QByteArray text = numbered(sql);
    std::vector<const char *> values(size_t(params.size()));
    std::vector<int> lengths(size_t(params.size()));
    std::vector<int> formats(size_t(params.size()), 0);
    for (int i = 0; i < params.size(); ++i) {
        const Sql::Param &p = params[i];
        if (p.type == Sql::Param::Null) {
            values[size_t(i)] = nullptr;
        } else {
            values[size_t(i)] = p.bytes.isNull() ? "" : p.bytes.constData();
            lengths[size_t(i)] = int(p.bytes.size());
        }
    }
    return Result(PQexecParams(conn, text.constData(), int(params.size()), nullptr, values.data(),
                               lengths.data(), formats.data(), 0),
                  conn);
}

Result Exec(const QString &connection, const QString &sql, const QList<Sql::Param> &params)
{
    return Exec(Handle(connection), sql, params);
}

Copy::Copy(pg_conn *conn, const QString &table, const QStringList &columns)
    : m_conn(conn)
{
    QStringList quoted;
    for (const QString &c : columns)
        quoted << Sql::Quote(c);
    Result started = Exec(conn, QStringLiteral("COPY %1 (%2) FROM STDIN").arg(Sql::Quote(table), quoted.join(QLatin1Char(','))));
    m_ok = started.ok() && started.get() && PQresultStatus(started.get()) == PGRES_COPY_IN;
    if (!m_ok)
        m_failure = started.failure();
    m_buffer.reserve(1 << 16);
}

void Copy::Row(const QList<QByteArrayView> &values, const QList<bool> &isNull)
{
    if (!m_ok)
        return;
    for (int c = 0; c < values.size(); ++c) {
        if (c > 0)
            m_buffer += '\t';
        if (c < isNull.size() && isNull[c]) {
            m_buffer += "\\N";
            continue;
        }
        for (const char ch : values[c]) {
            switch (ch) {
            case '\\': m_buffer += "\\\\"; break;
            case '\n': m_buffer += "\\n"; break;
            case '\r': m_buffer += "\\r"; break;
            case '\t': m_buffer += "\\t"; break;
            default: m_buffer += ch; break;
            }
        }
    }
    m_buffer += '\n';
    if (m_buffer.size() >= (1 << 16))
        flush();
}

void Copy::flush()
{
    if (m_ok && !m_buffer.isEmpty() && PQputCopyData(m_conn, m_buffer.constData(), int(m_buffer.size())) != 1) {
        m_ok = false;
        m_failure = FailureOf(m_conn, false);
    }
    m_buffer.clear();
}

bool Copy::End(Sql::Failure *failure)
{
    flush();
    bool sent = m_ok && PQputCopyEnd(m_conn, nullptr) == 1;
    if (m_ok && !sent)
        m_failure = FailureOf(m_conn, false);
    // The outcome of the COPY, and nothing left over after it.
    bool ok = sent;
    while (PGresult *r = PQgetResult(m_conn)) {
        Result result(r, m_conn);
        if (!result.ok()) {
            ok = false;
            if (m_failure.message.isEmpty())
                m_failure = result.failure();
        }
    }
    if (!ok && failure)
        *failure = m_failure;
    return ok;
}

} // namespace ServerSession
