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
