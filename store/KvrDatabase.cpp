#include "store/KvrDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <map>

#include <sqlite3.h>

namespace KvrDatabase {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("KvrDatabase", text);
}

bool setError(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

// A private connection that is removed again when the scope ends.
class ScopedConnection
{
public:
    explicit ScopedConnection(const QString &prefix)
    {
        static int n = 0;
        m_name = QStringLiteral("%1_%2").arg(prefix).arg(++n);
    }
    ~ScopedConnection()
    {
        if (QSqlDatabase::contains(m_name)) {
            {
                QSqlDatabase db = QSqlDatabase::database(m_name, false);
                db.close();
            }
            QSqlDatabase::removeDatabase(m_name);
        }
    }
    QSqlDatabase open(const QString &path, const QString &mode, QString *why)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)
                           + QStringLiteral("?mode=") + mode);
        QString options = QStringLiteral("QSQLITE_OPEN_URI");
        if (mode == QLatin1String("ro"))
            options += QStringLiteral(";QSQLITE_OPEN_READONLY");
        db.setConnectOptions(options);
        if (!db.open() && why)
            *why = db.lastError().text();
        return db;
    }

private:
    QString m_name;
};

struct Required {
    const char *name;
    const char *type;
    QStringList columns;
};

QList<Required> requiredObjects()
{
    QStringList answer{QStringLiteral("Code")};
    for (int i = 1; i <= 40; ++i)
        answer << QString::number(i);
    QStringList query{QStringLiteral("Code"), QStringLiteral("FullName"), QStringLiteral("Alter"),
                      QStringLiteral("Geschlecht"), QStringLiteral("Heirat"), QStringLiteral("Bildung")};
    for (int i = 1; i <= 40; ++i)
        query << QString::number(i);
    return {
        {"IDE", "table",
         {QStringLiteral("id"), QStringLiteral("Code"), QStringLiteral("FullName"), QStringLiteral("Alter"),
          QStringLiteral("Geschlecht"), QStringLiteral("Heirat"), QStringLiteral("Datum1"),
          QStringLiteral("Bildung"), QStringLiteral("TelNummer1"), QStringLiteral("Tester")}},
        {"Answer1", "table", answer},
        {"QUS", "table",
         {QStringLiteral("Code"), QStringLiteral("QU"), QStringLiteral("A"), QStringLiteral("B"),
          QStringLiteral("C")}},
        {"Theme", "table",
         {QStringLiteral("Name"), QStringLiteral("Adresse"), QStringLiteral("E-Mail"),
          QStringLiteral("Telegram"), QStringLiteral("Insta"), QStringLiteral("Web"),
          QStringLiteral("Twitter"), QStringLiteral("Facebook"), QStringLiteral("Tel"),
          QStringLiteral("Mosch"), QStringLiteral("Logo"), QStringLiteral("TH")}},
        {"QueryMe", "view", query},
    };
}

} // namespace

QString FileName()
{
    return QStringLiteral("KVRDB.mdb");
}

QString QuoteIdentifier(const QString &name)
{
    QString inner = name;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

bool Validate(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (!info.exists())
        return setError(error, tr("The file does not exist."));
    if (!info.isFile())
        return setError(error, tr("The path is not a file."));
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return setError(error, tr("The file cannot be read: %1").arg(f.errorString()));
        const QByteArray header = f.read(16);
        if (header != QByteArray("SQLite format 3\0", 16))
            return setError(error, tr("The file is not a database file."));
    }
    ScopedConnection conn(QStringLiteral("kvr_validate"));
    QString why;
    QSqlDatabase db = conn.open(path, QStringLiteral("ro"), &why);
    if (!db.isOpen())
        return setError(error, tr("The file cannot be opened: %1").arg(why));

    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA quick_check")))
        return setError(error, tr("The file is damaged: %1").arg(q.lastError().text()));
    QStringList problems;
    while (q.next()) {
        const QString line = q.value(0).toString();
        if (line != QLatin1String("ok"))
            problems << line;
    }
    if (!problems.isEmpty())
        return setError(error, tr("The file is damaged: %1").arg(problems.first()));

    for (const Required &r : requiredObjects()) {
        QSqlQuery t(db);
        t.prepare(QStringLiteral("SELECT type FROM sqlite_master WHERE name = ?"));
        t.addBindValue(QString::fromLatin1(r.name));
        if (!t.exec() || !t.next() || t.value(0).toString() != QLatin1String(r.type))
            return setError(error, tr("The %1 %2 is missing.").arg(QLatin1String(r.type), QLatin1String(r.name)));
        QSqlQuery cols(db);
        if (!cols.exec(QStringLiteral("PRAGMA table_info(%1)").arg(QuoteIdentifier(QString::fromLatin1(r.name)))))
            return setError(error, tr("The columns of %1 cannot be read: %2")
                                       .arg(QLatin1String(r.name), cols.lastError().text()));
        QStringList have;
        while (cols.next())
            have << cols.value(1).toString();
        for (const QString &c : r.columns)
            if (!have.contains(c, Qt::CaseInsensitive))
                return setError(error, tr("The column %1 of %2 is missing.").arg(c, QLatin1String(r.name)));
    }
    return true;
}

QString StartupProblem(const QString &path)
{
    if (Validate(path))
        return QString();
    // The path reads left to right inside the right-to-left text.
    const QString where = QChar(0x202A) + QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()) + QChar(0x202C);
    const QString what = QFileInfo::exists(path)
        ? QStringLiteral("فايل بانک اطلاعاتي %1 آسيب ديده است يا بانک اطلاعاتي اين برنامه نيست:")
        : QStringLiteral("فايل بانک اطلاعاتي %1 پيدا نشد:");
    return what.arg(FileName()) + QLatin1Char('\n') + where + QLatin1Char('\n')
        + QStringLiteral("برنامه بدون اين فايل اجرا نمي شود.");
}

QStringList SplitStatements(const QString &script)
{
    QStringList out;
    QString current;
    QChar quote;
    bool lineComment = false, blockComment = false;
    for (int i = 0; i < script.size(); ++i) {
        const QChar ch = script[i];
        const QChar next = i + 1 < script.size() ? script[i + 1] : QChar();
        if (lineComment) {
            if (ch == QLatin1Char('\n')) {
                lineComment = false;
                current += ch;
            }
            continue;
        }
        if (blockComment) {
            if (ch == QLatin1Char('*') && next == QLatin1Char('/')) {
                blockComment = false;
                ++i;
            }
            continue;
        }
        if (!quote.isNull()) {
            current += ch;
            if (ch == quote)
                quote = QChar();
            continue;
        }
        if (ch == QLatin1Char('-') && next == QLatin1Char('-')) {
            lineComment = true;
            ++i;
            continue;
        }
        if (ch == QLatin1Char('/') && next == QLatin1Char('*')) {
            blockComment = true;
            ++i;
            continue;
        }
        if (ch == QLatin1Char('\'') || ch == QLatin1Char('"') || ch == QLatin1Char('`')) {
            quote = ch;
            current += ch;
            continue;
        }
        if (ch == QLatin1Char('[')) {
            quote = QLatin1Char(']');
            current += ch;
            continue;
        }
        if (ch == QLatin1Char(';')) {
            if (!current.trimmed().isEmpty())
                out << current.trimmed();
            current.clear();
            continue;
        }
        current += ch;
    }
    if (!current.trimmed().isEmpty())
        out << current.trimmed();
    return out;
}

bool CreateFromSql(const QString &sqlPath, const QString &dbPath, QString *error)
{
    if (QFileInfo::exists(dbPath))
        return setError(error, tr("%1 exists already; it is left as it is.").arg(dbPath));
    QFile sql(sqlPath);
    if (!sql.open(QIODevice::ReadOnly))
        return setError(error, tr("Cannot read %1: %2").arg(sqlPath, sql.errorString()));
    const QString script = QString::fromUtf8(sql.readAll());

    const QString temp = dbPath + QStringLiteral(".part");
    QFile::remove(temp);
    bool ok = true;
    {
        ScopedConnection conn(QStringLiteral("kvr_create"));
        QString why;
        QSqlDatabase db = conn.open(temp, QStringLiteral("rwc"), &why);
        if (!db.isOpen()) {
            ok = setError(error, tr("Cannot make %1: %2").arg(temp, why));
        } else {
            db.transaction();
            for (const QString &statement : SplitStatements(script)) {
                QSqlQuery q(db);
                if (!q.exec(statement)) {
                    ok = setError(error, tr("%1 in: %2").arg(q.lastError().text(), statement.left(200)));
                    break;
                }
            }
            if (ok && !db.commit())
                ok = setError(error, db.lastError().text());
            if (!ok)
                db.rollback();
        }
    }
    if (ok) {
        QString why;
        if (!Validate(temp, &why))
            ok = setError(error, tr("The database made from %1 is not complete: %2").arg(sqlPath, why));
    }
    if (ok && !QFile::rename(temp, dbPath))
        ok = setError(error, tr("Cannot rename %1 to %2.").arg(temp, dbPath));
    if (!ok)
        QFile::remove(temp);
    return ok;
}

namespace {

// A plain SQLite connection for the few statements run outside the data
// controls; closed when the scope ends.
class RawConnection
{
public:
    RawConnection(const QString &path, int flags)
    {
        m_rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr);
        if (m_db)
            sqlite3_busy_timeout(m_db, BusyTimeoutMs);
    }
    ~RawConnection() { sqlite3_close_v2(m_db); }
    RawConnection(const RawConnection &) = delete;
    RawConnection &operator=(const RawConnection &) = delete;
    bool ok() const { return m_rc == SQLITE_OK; }
    sqlite3 *db() const { return m_db; }
    QString error() const
    {
        return QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(m_rc));
    }
    int exec(const QString &sql) { return sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr); }
    // The first column of every row; values are bound to ?1, ?2...
    QStringList column(const QString &sql, const QStringList &values = {}, int *rc = nullptr)
    {
        QStringList out;
        sqlite3_stmt *stmt = nullptr;
        const QByteArray text = sql.toUtf8();
        int r = sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &stmt, nullptr);
        for (int i = 0; r == SQLITE_OK && i < values.size(); ++i) {
            const QByteArray value = values[i].toUtf8();
            r = sqlite3_bind_text(stmt, i + 1, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        }
        if (r == SQLITE_OK) {
            while ((r = sqlite3_step(stmt)) == SQLITE_ROW) {
                const auto *value = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
                out << (value ? QString::fromUtf8(value, sqlite3_column_bytes(stmt, 0)) : QString());
            }
        }
        sqlite3_finalize(stmt);
        if (rc)
            *rc = r == SQLITE_DONE ? SQLITE_OK : r;
        return out;
    }

private:
    sqlite3 *m_db = nullptr;
    int m_rc = SQLITE_ERROR;
};

QString collapsed(const QString &sql)
{
    return sql.simplified();
}

// True when the table has a UNIQUE index on exactly this one column.
bool hasUniqueIndex(RawConnection &c, const QString &table, const QString &column)
{
    const QStringList found = c.column(
        QStringLiteral("SELECT il.name FROM pragma_index_list(?1) AS il WHERE il.\"unique\" = 1 AND il.partial = 0 "
                       "AND (SELECT count(*) FROM pragma_index_info(il.name)) = 1 "
                       "AND (SELECT name FROM pragma_index_info(il.name)) = ?2 COLLATE NOCASE"),
        {table, column});
    return !found.isEmpty();
}

std::map<QString, Preparation> &prepared()
{
    static std::map<QString, Preparation> files;
    return files;
}

} // namespace

QString QueryMeDefinition()
{
    QStringList columns;
    for (const char *c : {"Code", "FullName", "\"Alter\"", "Geschlecht", "Heirat", "Bildung"})
        columns << QStringLiteral("IDE.%1 AS %1").arg(QLatin1String(c));
    for (int i = 1; i <= 40; ++i)
        columns << QStringLiteral("Answer1.\"%1\" AS \"%1\"").arg(i);
    return QStringLiteral("CREATE VIEW QueryMe AS SELECT ") + columns.join(QStringLiteral(", "))
           + QStringLiteral(" FROM IDE LEFT JOIN Answer1 ON Answer1.Code = IDE.Code ORDER BY IDE.id");
}

QString UntrustedContent(const QString &path)
{
    RawConnection c(path, SQLITE_OPEN_READONLY);
    if (!c.ok())
        return tr("The file cannot be opened: %1").arg(c.error());
    int rc = SQLITE_OK;
    const QStringList triggers =
        c.column(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'trigger' ORDER BY name"), {}, &rc);
    if (rc != SQLITE_OK)
        return tr("The file cannot be read: %1").arg(c.error());
    if (!triggers.isEmpty())
        return QString::fromUtf8("اين فايل دستورهايي (trigger) دارد که با تغيير اطلاعات خود به خود اجرا مي شوند؛ "
                                 "پايگاه داده KVR چنين دستوري ندارد.")
               + QLatin1Char('\n') + tr("Triggers: %1").arg(triggers.join(QStringLiteral(", ")));
    const QStringList view = c.column(
        QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'view' AND name = 'QueryMe'"), {}, &rc);
    if (rc != SQLITE_OK)
        return tr("The file cannot be read: %1").arg(c.error());
    if (view.size() != 1 || collapsed(view.first()) != collapsed(QueryMeDefinition()))
        return QString::fromUtf8("پرس و جوي QueryMe در اين فايل با تعريف آن در برنامه KVR يکي نيست.")
               + QLatin1Char('\n') + tr("QueryMe is defined as: %1").arg(collapsed(view.value(0)).left(300));
    return QString();
}

Preparation Prepare(const QString &path)
{
    Preparation p;
    RawConnection c(path, SQLITE_OPEN_READWRITE);
    if (!c.ok()) {
        p.error = c.error();
        return p;
    }
    // A file in write-ahead-log mode keeps committed rows in its -wal file
    // until a checkpoint: rollback-journal mode keeps them in the file, where
    // a copy of the file finds them. Another program still using the file in
    // WAL mode keeps it so; the backup reads such a file through SQLite.
    c.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
    const QString mode = c.column(QStringLiteral("PRAGMA journal_mode")).value(0);
    if (mode.compare(QLatin1String("delete"), Qt::CaseInsensitive) != 0)
        p.error = tr("The journal mode stays %1: %2").arg(mode, c.error());

    const struct {
        const char *table;
        const char *index;
        QStringList *duplicates;
    } keys[] = {{"IDE", "IDE_Code", &p.duplicateExamineeCodes}, {"Answer1", "Answer1_Code", &p.duplicateAnswerCodes}};
    for (const auto &k : keys) {
        const QString table = QLatin1String(k.table);
        if (hasUniqueIndex(c, table, QStringLiteral("Code")))
            continue;
        const int rc = c.exec(QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS %1 ON %2 (Code)")
                                  .arg(QuoteIdentifier(QLatin1String(k.index)), QuoteIdentifier(table)));
        if (rc == SQLITE_OK)
            continue;
        if ((rc & 0xFF) == SQLITE_CONSTRAINT) {
            *k.duplicates = c.column(QStringLiteral("SELECT Code FROM %1 WHERE Code IS NOT NULL GROUP BY Code "
                                                    "HAVING count(*) > 1 ORDER BY CAST(Code AS INTEGER), Code")
                                         .arg(QuoteIdentifier(table)));
        } else if (p.error.isEmpty()) {
            p.error = tr("The index on %1.Code cannot be made: %2").arg(table, c.error());
        }
    }
    return p;
}

const Preparation &PrepareOnce(const QString &path)
{
    const QString key = QFileInfo(path).absoluteFilePath();
    auto found = prepared().find(key);
    if (found == prepared().end())
        found = prepared().emplace(key, Prepare(path)).first;
    return found->second;
}

void ForgetPrepared()
{
    prepared().clear();
}

QString DuplicatesMessage(const Preparation &preparation)
{
    if (preparation.duplicateExamineeCodes.isEmpty() && preparation.duplicateAnswerCodes.isEmpty())
        return QString();
    const auto list = [](const QStringList &codes) {
        QStringList shown;
        for (const QString &code : codes)
            shown << (code.isEmpty() ? QStringLiteral("\"\"") : code);
        return shown.join(QString::fromUtf8("، "));
    };
    QString text = QString::fromUtf8("در پايگاه داده بعضي کدها بيش از يک بار آمده است. هيچ اطلاعاتي حذف نشده و "
                                     "برنامه مثل قبل کار مي کند؛ آزمودني هاي تکراري را در صفحه آزمودني ها "
                                     "بررسي کنيد.");
    if (!preparation.duplicateExamineeCodes.isEmpty())
        text += QLatin1Char('\n') + QString::fromUtf8("کد آزمودني هاي تکراري: ") + list(preparation.duplicateExamineeCodes);
    if (!preparation.duplicateAnswerCodes.isEmpty())
        text += QLatin1Char('\n') + QString::fromUtf8("کد رديف هاي پاسخ تکراري: ") + list(preparation.duplicateAnswerCodes);
    return text;
}

Source ParseRecordSource(const QString &text)
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*select\\s+(\\*|[^\\s,]+(?:\\s*,\\s*[^\\s,]+)*)\\s+from\\s+([A-Za-z_][A-Za-z0-9_]*)"
                       "(?:\\s+order\\s+by\\s+([A-Za-z_][A-Za-z0-9_]*)(?:\\s+(asc|desc))?)?\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    Source s;
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch()) {
        s.error = tr("The record source is not of a known form: %1").arg(text);
        return s;
    }
    const QString cols = m.captured(1);
    if (cols != QLatin1String("*")) {
        for (const QString &c : cols.split(QLatin1Char(',')))
            s.columns << c.trimmed();
    }
    s.table = m.captured(2);
    s.orderColumn = m.captured(3);
    s.descending = m.captured(4).compare(QLatin1String("desc"), Qt::CaseInsensitive) == 0;
    s.ok = true;
    return s;
}

QString Source::Sql(bool withRowid) const
{
    QStringList parts;
    if (withRowid)
        parts << QStringLiteral("rowid AS kvr_rowid");
    if (columns.isEmpty()) {
        parts << QStringLiteral("*");
    } else {
        for (const QString &c : columns)
            parts << QuoteIdentifier(c);
    }
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(parts.join(QLatin1Char(',')), QuoteIdentifier(table));
    if (!orderColumn.isEmpty())
        sql += QStringLiteral(" ORDER BY %1%2").arg(QuoteIdentifier(orderColumn),
                                                      descending ? QStringLiteral(" DESC") : QString());
    return sql;
}

} // namespace KvrDatabase
