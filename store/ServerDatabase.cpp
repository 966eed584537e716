#include "store/ServerDatabase.h"

#include "store/DatabaseError.h"
#include "store/DatabaseLocation.h"
#include "store/KvrDatabase.h"
#include "store/LiveServer.h"
#include "store/ServerSession.h"

#include <QFile>
#include <QSet>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdlib>
#include <memory>

namespace ServerDatabase {

namespace {

struct Table {
    QString name;
    QStringList columns;     // copied, in this order
    QSet<QString> integers;  // whole numbers on the server
    QString serverRowid;     // the row id on the server
};

QList<Table> tables()
{
    QStringList answers{QStringLiteral("Code")};
    for (int i = 1; i <= 40; ++i)
        answers << QString::number(i);
    const QString hidden = QStringLiteral("kvr_rowid");
    return {
        {QStringLiteral("IDE"),
         {QStringLiteral("id"), QStringLiteral("Code"), QStringLiteral("FullName"), QStringLiteral("Alter"),
          QStringLiteral("Geschlecht"), QStringLiteral("Heirat"), QStringLiteral("Datum1"), QStringLiteral("Bildung"),
          QStringLiteral("TelNummer1"), QStringLiteral("Tester")},
         {QStringLiteral("id")},
         QStringLiteral("id")},
        {QStringLiteral("Answer1"), answers, {QStringLiteral("Code")}, hidden},
        {QStringLiteral("QUS"),
         {QStringLiteral("Code"), QStringLiteral("QU"), QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")},
         {QStringLiteral("Code")},
         hidden},
        {QStringLiteral("Theme"),
         {QStringLiteral("Name"), QStringLiteral("Adresse"), QStringLiteral("E-Mail"), QStringLiteral("Telegram"),
          QStringLiteral("Insta"), QStringLiteral("Web"), QStringLiteral("Twitter"), QStringLiteral("Facebook"),
          QStringLiteral("Tel"), QStringLiteral("Mosch"), QStringLiteral("Logo"), QStringLiteral("TH")},
         {QStringLiteral("Logo"), QStringLiteral("TH")},
         hidden},
    };
}

QString q(const QString &name)
{
    return KvrDatabase::QuoteIdentifier(name);
}

QString columnList(const Table &t)
{
    QStringList quoted;
    for (const QString &c : t.columns)
        quoted << q(c);
    return quoted.join(QLatin1Char(','));
}

constexpr int kBlock = 4096;

Outcome failed(const QString &error, int code = 0, bool refused = false)
{
    Outcome o;
    o.error = error;
    o.code = code;
    o.refused = refused;
    return o;
}

Outcome failed(const Sql::Failure &f)
{
    return failed(f.message, f.code);
}

// A connection of the operation's own, closed with it; a transaction left
// open is rolled back.
class Session
{
public:
    explicit Session(const QString &name) : m_name(name) { m_ok = ServerSession::Open(name, &m_failure); }
    Session(const QString &name, const DatabaseLocation::Server &server, const QString &password) : m_name(name)
    {
        m_ok = ServerSession::Open(name, server, password, &m_failure);
    }
    ~Session()
    {
        if (pg_conn *c = conn(); c && PQstatus(c) == CONNECTION_OK && PQtransactionStatus(c) != PQTRANS_IDLE)
            PQclear(PQexec(c, "ROLLBACK"));
        ServerSession::Close(m_name);
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    bool ok() const { return m_ok; }
    const Sql::Failure &failure() const { return m_failure; }
    pg_conn *conn() const { return ServerSession::Handle(m_name); }
    // Runs a statement; false with *f on failure.
    bool run(const QString &sql, Sql::Failure *f, const QList<Sql::Param> &params = {})
    {
        const ServerSession::Result r = ServerSession::Exec(conn(), sql, params);
        if (!r.ok())
            *f = r.failure();
        return r.ok();
    }
    ServerSession::Result exec(const QString &sql, const QList<Sql::Param> &params = {})
    {
        return ServerSession::Exec(conn(), sql, params);
    }

private:
    QString m_name;
    bool m_ok = false;
    Sql::Failure m_failure;
};

// An SQLite database, closed with the object.
class Lite
{
public:
    Lite(const QString &path, int flags)
    {
        m_rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr);
        if (m_db)
            sqlite3_busy_timeout(m_db, KvrDatabase::BusyTimeoutMs);
    }
    ~Lite() { sqlite3_close_v2(m_db); }
    Lite(const Lite &) = delete;
    Lite &operator=(const Lite &) = delete;
    bool ok() const { return m_rc == SQLITE_OK; }
    sqlite3 *db() const { return m_db; }
    Sql::Failure failure() const
    {
        return {QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(m_rc)),
                m_db ? sqlite3_extended_errcode(m_db) : m_rc};
    }
    bool exec(const QString &sql, Sql::Failure *f)
    {
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK)
            return true;
        *f = failure();
        return false;
    }

private:
    sqlite3 *m_db = nullptr;
    int m_rc = SQLITE_ERROR;
};

// A prepared SQLite statement.
class LiteStatement
{
public:
    LiteStatement(sqlite3 *db, const QString &sql)
    {
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &m_stmt, nullptr) != SQLITE_OK)
            m_stmt = nullptr;
    }
    ~LiteStatement() { sqlite3_finalize(m_stmt); }
    LiteStatement(const LiteStatement &) = delete;
    LiteStatement &operator=(const LiteStatement &) = delete;
    sqlite3_stmt *get() const { return m_stmt; }

private:
    sqlite3_stmt *m_stmt = nullptr;
};

QByteArrayView liteValue(sqlite3_stmt *stmt, int column)
{
    const unsigned char *text = sqlite3_column_text(stmt, column);
    return text ? QByteArrayView(reinterpret_cast<const char *>(text), sqlite3_column_bytes(stmt, column))
                : QByteArrayView();
}

// The delivered database, made in memory from the script.
bool deliveredInMemory(Lite &lite, Sql::Failure *f)
{
    if (!lite.ok()) {
        *f = lite.failure();
        return false;
    }
    for (const QString &statement : KvrDatabase::SplitStatements(DeliveredScript()))
        if (!lite.exec(statement, f))
            return false;
    return true;
}

// The file's rows of a table into the server (COPY), in the file's order.
bool copyIn(sqlite3 *src, pg_conn *dst, const Table &t, qint64 *count, Sql::Failure *f,
            const BetweenBlocks &betweenBlocks)
{
    LiteStatement read(src, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(columnList(t), q(t.name)));
    if (!read.get()) {
        *f = {QString::fromUtf8(sqlite3_errmsg(src)), sqlite3_extended_errcode(src)};
        return false;
    }
    ServerSession::Copy copy(dst, t.name, t.columns);
    QList<QByteArrayView> values(t.columns.size());
    QList<bool> nulls(t.columns.size());
    qint64 n = 0;
    int rc = SQLITE_DONE;
    while (copy.ok() && (rc = sqlite3_step(read.get())) == SQLITE_ROW) {
        for (int c = 0; c < t.columns.size(); ++c) {
            values[c] = liteValue(read.get(), c);
            // An empty text in a whole-number column reads as empty text
            // from NULL too.
            nulls[c] = sqlite3_column_type(read.get(), c) == SQLITE_NULL
                       || (values[c].isEmpty() && t.integers.contains(t.columns[c]));
        }
        copy.Row(values, nulls);
        if (++n % kBlock == 0 && betweenBlocks && !betweenBlocks()) {
            *f = {QStringLiteral("The copy was interrupted."), 0};
            copy.End(nullptr);
            return false;
        }
    }
    if (copy.ok() && rc != SQLITE_DONE) {
        *f = {QString::fromUtf8(sqlite3_errmsg(src)), sqlite3_extended_errcode(src)};
        copy.End(nullptr);
        return false;
    }
    if (!copy.End(f)) {
        f->message = QStringLiteral("%1: %2").arg(t.name, f->message);
        return false;
    }
    *count = n;
    return true;
}

// Reads a server table in its order, a block of rows at a time, inside the
// transaction that is open.
template <typename Each>
bool readServer(Session &s, const Table &t, Sql::Failure *f, Each each)
{
    if (!s.run(QStringLiteral("DECLARE kvr_rows NO SCROLL CURSOR FOR SELECT %1 FROM %2 ORDER BY %3")
                   .arg(columnList(t), q(t.name), q(t.serverRowid)),
               f))
        return false;
    for (;;) {
        const ServerSession::Result block = s.exec(QStringLiteral("FETCH %1 FROM kvr_rows").arg(kBlock));
        if (!block.ok()) {
            *f = block.failure();
            return false;
        }
        if (block.rows() == 0)
            break;
        if (!each(block, f))
            return false;
    }
    return s.run(QStringLiteral("CLOSE kvr_rows"), f);
}

// The server's rows of every table, read back and compared with the file's.
bool compare(Session &s, sqlite3 *src, Sql::Failure *f)
{
    for (const Table &t : tables()) {
        LiteStatement read(src, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(columnList(t), q(t.name)));
        if (!read.get()) {
            *f = {QString::fromUtf8(sqlite3_errmsg(src)), sqlite3_extended_errcode(src)};
            return false;
        }
        qint64 row = 0;
        bool fileEnded = false;
        const bool read_ok = readServer(s, t, f, [&](const ServerSession::Result &block, Sql::Failure *why) {
            for (int r = 0; r < block.rows(); ++r, ++row) {
                if (sqlite3_step(read.get()) != SQLITE_ROW) {
                    fileEnded = true;
                    *why = {QStringLiteral("%1: the server holds more rows than the file (%2).").arg(t.name).arg(row), 0};
                    return false;
                }
                for (int c = 0; c < t.columns.size(); ++c) {
                    if (liteValue(read.get(), c) != block.value(r, c)) {
                        *why = {QStringLiteral("%1, row %2, column %3: the file holds \"%4\", the server \"%5\".")
                                    .arg(t.name)
                                    .arg(row + 1)
                                    .arg(t.columns[c], QString::fromUtf8(liteValue(read.get(), c)),
                                         block.text(r, c)),
                                0};
                        return false;
                    }
                }
            }
            return true;
        });
        if (!read_ok)
            return false;
        if (!fileEnded && sqlite3_step(read.get()) == SQLITE_ROW) {
            *f = {QStringLiteral("%1: the file holds more rows than the server (%2).").arg(t.name).arg(row), 0};
            return false;
        }
    }
    return true;
}

// The server numbers the next examinee as the file would: past the highest
// id, and past every id the file ever gave out.
bool carryIdCounter(Session &s, sqlite3 *src, Sql::Failure *f)
{
    qint64 last = 0;
    {
        LiteStatement seq(src, QStringLiteral("SELECT max(coalesce((SELECT max(seq) FROM sqlite_sequence WHERE name = 'IDE'), 0), "
                                              "coalesce((SELECT max(id) FROM IDE), 0))"));
        if (seq.get() && sqlite3_step(seq.get()) == SQLITE_ROW)
            last = sqlite3_column_int64(seq.get(), 0);
        else {
            // A file without AUTOINCREMENT has no sqlite_sequence.
            LiteStatement ids(src, QStringLiteral("SELECT coalesce(max(id), 0) FROM IDE"));
            if (ids.get() && sqlite3_step(ids.get()) == SQLITE_ROW)
                last = sqlite3_column_int64(ids.get(), 0);
        }
    }
    return s.run(last > 0 ? QStringLiteral("SELECT setval(pg_get_serial_sequence('\"IDE\"', 'id'), %1, true)").arg(last)
                          : QStringLiteral("SELECT setval(pg_get_serial_sequence('\"IDE\"', 'id'), 1, false)"),
                 f);
}

// Copies every table of the file in and compares; counts what was copied.
bool copyAll(Session &s, sqlite3 *src, Counts *counts, Sql::Failure *f, const BetweenBlocks &betweenBlocks)
{
    qint64 *targets[] = {&counts->examinees, &counts->answers, &counts->questions, &counts->settings};
    int i = 0;
    for (const Table &t : tables())
        if (!copyIn(src, s.conn(), t, targets[i++], f, betweenBlocks))
            return false;
    return carryIdCounter(s, src, f) && compare(s, src, f);
}

// The names of the tables, views and sequences in the database's schema.
QStringList relationsPresent(Session &s, Sql::Failure *f)
{
    const ServerSession::Result r = s.exec(QStringLiteral(
        "SELECT c.relname FROM pg_class c WHERE c.relnamespace = current_schema()::regnamespace "
        "AND c.relkind IN ('r', 'p', 'v', 'm', 'f', 'S') ORDER BY c.relname"));
    QStringList names;
    if (!r.ok()) {
        *f = r.failure();
        return {QStringLiteral("?")};
    }
    for (int i = 0; i < r.rows(); ++i)
        names << r.text(i, 0);
    return names;
}

bool makeSchema(Session &s, Sql::Failure *f)
{
    for (const QString &statement : SchemaStatements())
        if (!s.run(statement, f))
            return false;
    return true;
}

// The server keeps codes unique: a file that holds one twice (from before
// the program kept them unique) cannot move in as it is.
QString codesHeldTwice(sqlite3 *src)
{
    QStringList found;
    for (const char *table : {"IDE", "Answer1"}) {
        LiteStatement twice(src, QStringLiteral("SELECT Code FROM %1 WHERE Code IS NOT NULL GROUP BY Code "
                                                "HAVING count(*) > 1 ORDER BY CAST(Code AS INTEGER), Code")
                                     .arg(q(QLatin1String(table))));
        QStringList codes;
        while (twice.get() && sqlite3_step(twice.get()) == SQLITE_ROW)
            codes << QString::fromUtf8(liteValue(twice.get(), 0));
        if (!codes.isEmpty())
            found << QStringLiteral("%1: %2").arg(QLatin1String(table), codes.join(QStringLiteral(", ")));
    }
    if (found.isEmpty())
        return QString();
    return QStringLiteral("The file holds codes more than once (%1); the server keeps every code once. "
                          "Give those examinees codes of their own first. Nothing was changed.")
        .arg(found.join(QStringLiteral("; ")));
}

// Opens the operation's connection and its transaction.
bool begin(Session &s, Sql::Failure *f, const char *isolation = "")
{
    if (!s.ok()) {
        *f = s.failure();
        return false;
    }
    return s.run(QStringLiteral("BEGIN %1").arg(QLatin1String(isolation)), f);
}

} // namespace

QString DeliveredScript()
{
    QFile f(QStringLiteral(":/kvr/KVRDB.sql"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QStringList SchemaStatements()
{
    QStringList out;
    for (const Table &t : tables()) {
        QStringList columns;
        if (t.serverRowid != QLatin1String("id"))
            columns << q(t.serverRowid) + QStringLiteral(" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
        for (const QString &c : t.columns) {
            if (c == QLatin1String("id"))
                columns << q(c) + QStringLiteral(" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
            else
                columns << q(c) + (t.integers.contains(c) ? QStringLiteral(" bigint") : QStringLiteral(" text"));
        }
        out << QStringLiteral("CREATE TABLE %1 (%2)").arg(q(t.name), columns.join(QStringLiteral(", ")));
    }
    out << QStringLiteral("CREATE UNIQUE INDEX \"IDE_Code\" ON \"IDE\" (\"Code\")")
        << QStringLiteral("CREATE UNIQUE INDEX \"Answer1_Code\" ON \"Answer1\" (\"Code\")");
    QStringList view;
    for (const char *c : {"Code", "FullName", "Alter", "Geschlecht", "Heirat", "Bildung"})
        view << QStringLiteral("\"IDE\".%1 AS %1").arg(q(QLatin1String(c)));
    for (int i = 1; i <= 40; ++i)
        view << QStringLiteral("\"Answer1\".\"%1\" AS \"%1\"").arg(i);
    // The file compares the text code with the whole number as a number.
    out << QStringLiteral("CREATE VIEW \"QueryMe\" AS SELECT %1 FROM \"IDE\" LEFT JOIN \"Answer1\" ON \"Answer1\".\"Code\" = "
                          "CASE WHEN \"IDE\".\"Code\" ~ '^[+-]?[0-9]{1,18}$' THEN CAST(\"IDE\".\"Code\" AS bigint) END "
                          "ORDER BY \"IDE\".\"id\"")
               .arg(view.join(QStringLiteral(", ")));
    return out;
}

QString Problem(int *code)
{
    return Problem(DatabaseLocation::CurrentServer(), DatabaseLocation::Password(), code);
}

QString Problem(const DatabaseLocation::Server &server, const QString &password, int *code)
{
    auto problem = [code](const QString &why, int value) {
        if (code)
            *code = value;
        return why;
    };
    Session s(QStringLiteral("kvr_server_check"), server, password);
    if (!s.ok())
        return problem(s.failure().message, s.failure().code);
    const ServerSession::Result r = s.exec(QStringLiteral(
        "SELECT c.relname, c.relkind, a.attname FROM pg_class c JOIN pg_attribute a ON a.attrelid = c.oid "
        "AND a.attnum > 0 AND NOT a.attisdropped WHERE pg_table_is_visible(c.oid) "
        "AND c.relname IN ('IDE', 'Answer1', 'QUS', 'Theme', 'QueryMe')"));
    if (!r.ok())
        return problem(r.failure().message, r.failure().code);
    QHash<QString, QSet<QString>> columns;
    QHash<QString, QString> kinds;
    for (int i = 0; i < r.rows(); ++i) {
        columns[r.text(i, 0)].insert(r.text(i, 2));
        kinds[r.text(i, 0)] = r.text(i, 1);
    }
    QList<Table> wanted = tables();
    Table view{QStringLiteral("QueryMe"), {}, {}, {}};
    for (const char *c : {"Code", "FullName", "Alter", "Geschlecht", "Heirat", "Bildung"})
        view.columns << QLatin1String(c);
    for (int i = 1; i <= 40; ++i)
        view.columns << QString::number(i);
    wanted << view;
    for (const Table &t : wanted) {
        const bool isView = t.name == QLatin1String("QueryMe");
        if (!kinds.contains(t.name) || (kinds[t.name] == QLatin1String("v")) != isView)
            return problem(QStringLiteral("The %1 %2 is missing in %3.")
                               .arg(isView ? QStringLiteral("view") : QStringLiteral("table"), t.name,
                                    server.Describe()),
                           DatabaseError::NotPrepared);
        for (const QString &c : t.columns)
            if (!columns[t.name].contains(c))
                return problem(QStringLiteral("The column %1 of %2 is missing in %3.")
                                   .arg(c, t.name, server.Describe()),
                               DatabaseError::NotPrepared);
    }
    return problem(QString(), 0);
}

Outcome Init()
{
    Session s(QStringLiteral("kvr_server_init"));
    Sql::Failure f;
    if (!begin(s, &f))
        return failed(f);
    const QStringList present = relationsPresent(s, &f);
    if (!f.message.isEmpty())
        return failed(f);
    if (!present.isEmpty())
        return failed(QStringLiteral("The database %1 is not empty; it holds %2. Nothing was changed.")
                          .arg(DatabaseLocation::CurrentServer().Describe(), present.join(QStringLiteral(", "))),
                      0, true);
    Lite delivered(QStringLiteral(":memory:"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!deliveredInMemory(delivered, &f))
        return failed(QStringLiteral("The delivered database cannot be made: %1").arg(f.message));
    Outcome o;
    if (!makeSchema(s, &f) || !copyAll(s, delivered.db(), &o.counts, &f, {}) || !s.run(QStringLiteral("COMMIT"), &f))
        return failed(f);
    o.ok = true;
    return o;
}

Outcome Migrate(const QString &file)
{
    QString why;
    if (!KvrDatabase::Validate(file, &why))
        return failed(QStringLiteral("%1 is not a KVR database: %2").arg(file, why), 0, true);
    // No other program may work on the server meanwhile: its lists would
    // not show what moved in.
    const LiveServer::ExclusiveLock exclusive;
    if (exclusive.State() == LiveDatabase::Exclusive::OtherProgram)
        return failed(QStringLiteral("Another program is connected to %1; close every KVR window and kvr-cli "
                                     "on the clinic's computers first. Nothing was changed.")
                          .arg(DatabaseLocation::CurrentServer().Describe()),
                      0, true);
    if (exclusive.State() != LiveDatabase::Exclusive::Taken)
        return failed(exclusive.Error(), DatabaseError::ServerUnreachable);
    Lite src(file, SQLITE_OPEN_READONLY);
    Sql::Failure f;
    if (!src.ok())
        return failed(src.failure());
    // The file as it stands at one moment, should a program still write it.
    if (!src.exec(QStringLiteral("BEGIN"), &f))
        return failed(f);
    const QString twice = codesHeldTwice(src.db());
    if (!twice.isEmpty())
        return failed(twice, 0, true);
    Session s(QStringLiteral("kvr_server_migrate"));
    if (!begin(s, &f))
        return failed(f);
    const QStringList present = relationsPresent(s, &f);
    if (!f.message.isEmpty())
        return failed(f);
    if (present.isEmpty()) {
        if (!makeSchema(s, &f))
            return failed(f);
    } else {
        int code = 0;
        const QString problem = Problem(&code);
        if (!problem.isEmpty())
            return failed(problem, code, true);
        if (!s.run(QStringLiteral("LOCK TABLE \"IDE\", \"Answer1\", \"QUS\", \"Theme\" IN ACCESS EXCLUSIVE MODE"), &f))
            return failed(f);
        const ServerSession::Result held = s.exec(QStringLiteral("SELECT count(*) FROM \"IDE\""));
        if (!held.ok())
            return failed(held.failure());
        if (held.text(0, 0) != QLatin1String("0"))
            return failed(QStringLiteral("The server already holds %1 examinee(s); nothing was changed.")
                              .arg(held.text(0, 0)),
                          0, true);
        if (!s.run(QStringLiteral("TRUNCATE \"IDE\", \"Answer1\", \"QUS\", \"Theme\" RESTART IDENTITY"), &f))
            return failed(f);
    }
    Outcome o;
    if (!copyAll(s, src.db(), &o.counts, &f, {}) || !s.run(QStringLiteral("COMMIT"), &f))
        return failed(f);
    o.ok = true;
    return o;
}

Outcome Replace(const QString &file, const BetweenBlocks &betweenBlocks)
{
    Lite src(file, SQLITE_OPEN_READONLY);
    Sql::Failure f;
    if (!src.ok() || !src.exec(QStringLiteral("BEGIN"), &f))
        return failed(src.ok() ? f : src.failure());
    const QString twice = codesHeldTwice(src.db());
    if (!twice.isEmpty())
        return failed(twice, 0, true);
    Session s(QStringLiteral("kvr_server_restore"));
    Outcome o;
    if (!begin(s, &f)
        || !s.run(QStringLiteral("LOCK TABLE \"IDE\", \"Answer1\", \"QUS\", \"Theme\" IN ACCESS EXCLUSIVE MODE"), &f)
        || !s.run(QStringLiteral("TRUNCATE \"IDE\", \"Answer1\", \"QUS\", \"Theme\" RESTART IDENTITY"), &f)
        || !copyAll(s, src.db(), &o.counts, &f, betweenBlocks) || !s.run(QStringLiteral("COMMIT"), &f))
        return failed(f);
    o.ok = true;
    return o;
}

struct QueryCursor::State
{
    explicit State(const QString &name) : session(name) {}
    Session session;
    ServerSession::Result block;
    QString declare;
};

QueryCursor::QueryCursor() = default;
QueryCursor::~QueryCursor() = default;

bool QueryCursor::Open(const QString &recordSource, QString *error)
{
    m_state.reset();
    m_names.clear();
    m_row = -1;
    m_error.clear();
    auto failedWith = [&](const QString &why) {
        m_error = why;
        if (error)
            *error = why;
        m_state.reset();
        return false;
    };
    const KvrDatabase::Source source = KvrDatabase::ParseRecordSource(recordSource);
    if (!source.ok)
        return failedWith(source.error);
    static int opened = 0;
    m_state = std::make_unique<State>(QStringLiteral("kvr_server_read_%1").arg(++opened));
    m_state->declare = QStringLiteral("DECLARE kvr_rows NO SCROLL CURSOR FOR ") + source.Sql(false);
    Sql::Failure f;
    if (!begin(m_state->session, &f, "ISOLATION LEVEL REPEATABLE READ READ ONLY")
        || !m_state->session.run(m_state->declare, &f))
        return failedWith(f.message);
    if (!fetch())
        return failedWith(m_error);
    for (int c = 0; c < m_state->block.columns(); ++c)
        m_names << m_state->block.columnName(c);
    return true;
}

bool QueryCursor::fetch()
{
    m_state->block = m_state->session.exec(QStringLiteral("FETCH %1 FROM kvr_rows").arg(kBlock));
    m_row = -1;
    if (m_state->block.ok())
        return true;
    m_error = m_state->block.failure().message;
    return false;
}

bool QueryCursor::Next()
{
    if (!m_state || !m_state->block.ok())
        return false;
    if (++m_row < m_state->block.rows())
        return true;
    // A block shorter than asked for was the last one.
    if (m_state->block.rows() < kBlock || !fetch())
        return false;
    return ++m_row < m_state->block.rows();
}

QByteArrayView QueryCursor::Value(int column) const
{
    return m_state->block.value(m_row, column);
}

bool QueryCursor::IsNull(int column) const
{
    return m_state->block.isNull(m_row, column);
}

bool QueryCursor::Rewind()
{
    if (!m_state)
        return false;
    // The same transaction, so the same rows.
    Sql::Failure f;
    if (!m_state->session.run(QStringLiteral("CLOSE kvr_rows"), &f) || !m_state->session.run(m_state->declare, &f)) {
        m_error = f.message;
        m_state->block = ServerSession::Result();
        return false;
    }
    return fetch();
}

bool QueryCursor::Read(const QString &sql, const std::function<void(const QList<QByteArrayView> &)> &row,
                       QString *error)
{
    if (!m_state)
        return false;
    // A read that fails leaves the transaction, and the rows, usable.
    Sql::Failure f;
    if (!m_state->session.run(QStringLiteral("SAVEPOINT kvr_read"), &f)) {
        if (error)
            *error = f.message;
        return false;
    }
    const ServerSession::Result r = m_state->session.exec(sql);
    if (!r.ok()) {
        if (error)
            *error = r.failure().message;
        m_state->session.run(QStringLiteral("ROLLBACK TO SAVEPOINT kvr_read"), &f);
        return false;
    }
    m_state->session.run(QStringLiteral("RELEASE SAVEPOINT kvr_read"), &f);
    QList<QByteArrayView> values(r.columns());
    for (int i = 0; i < r.rows(); ++i) {
        for (int c = 0; c < r.columns(); ++c)
            values[c] = r.value(i, c);
        row(values);
    }
    return true;
}

Outcome WriteSnapshot(const QString &path, const BetweenBlocks &betweenBlocks)
{
    Lite out(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    Sql::Failure f;
    if (!out.ok())
        return failed(out.failure());
    // The file is thrown away on any failure, so it needs no journal of its
    // own; the caller syncs it before it takes its name.
    if (!out.exec(QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN"), &f))
        return failed(f);
    for (const QString &statement : KvrDatabase::SplitStatements(DeliveredScript()))
        if (!out.exec(statement, &f))
            return failed(f);
    if (!out.exec(QStringLiteral("DELETE FROM \"QUS\"; DELETE FROM \"Theme\""), &f))
        return failed(f);

    Session s(QStringLiteral("kvr_server_snapshot"));
    if (!begin(s, &f, "ISOLATION LEVEL REPEATABLE READ READ ONLY"))
        return failed(f);
    Outcome o;
    qint64 *targets[] = {&o.counts.examinees, &o.counts.answers, &o.counts.questions, &o.counts.settings};
    int which = 0;
    for (const Table &t : tables()) {
        QStringList marks;
        for (int c = 0; c < t.columns.size(); ++c)
            marks << QStringLiteral("?");
        LiteStatement insert(out.db(), QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                           .arg(q(t.name), columnList(t), marks.join(QLatin1Char(','))));
        if (!insert.get())
            return failed(out.failure());
        qint64 *count = targets[which++];
        const bool ok = readServer(s, t, &f, [&](const ServerSession::Result &block, Sql::Failure *why) {
            for (int r = 0; r < block.rows(); ++r) {
                sqlite3_reset(insert.get());
                for (int c = 0; c < t.columns.size(); ++c) {
                    if (block.isNull(r, c)) {
                        sqlite3_bind_null(insert.get(), c + 1);
                    } else {
                        const QByteArrayView v = block.value(r, c);
                        sqlite3_bind_text(insert.get(), c + 1, v.isEmpty() ? "" : v.data(), int(v.size()),
                                          SQLITE_TRANSIENT);
                    }
                }
                if (sqlite3_step(insert.get()) != SQLITE_DONE) {
                    *why = out.failure();
                    return false;
                }
                ++*count;
            }
            if (betweenBlocks && !betweenBlocks()) {
                *why = {QStringLiteral("The copy was interrupted."), 0};
                return false;
            }
            return true;
        });
        if (!ok)
            return failed(f);
    }
    // The next id, as the server would give it.
    const ServerSession::Result next =
        s.exec(QStringLiteral("SELECT pg_sequence_last_value(pg_get_serial_sequence('\"IDE\"', 'id')::regclass)"));
    if (!next.ok())
        return failed(next.failure());
    if (!next.isNull(0, 0)) {
        const QString last = next.text(0, 0);
        if (!out.exec(QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, %1) WHERE name = 'IDE'; "
                                     "INSERT INTO sqlite_sequence (name, seq) SELECT 'IDE', %1 "
                                     "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = 'IDE')")
                          .arg(last.toLongLong()),
                      &f))
            return failed(f);
    }
    if (!s.run(QStringLiteral("COMMIT"), &f) || !out.exec(QStringLiteral("COMMIT"), &f))
        return failed(f);
    o.ok = true;
    return o;
}

} // namespace ServerDatabase
