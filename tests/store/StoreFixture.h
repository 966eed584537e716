#pragma once
// A scratch program folder holding a KVRDB.mdb made from the delivered
// data/KVRDB.sql, plus a direct connection for setting up and checking rows.
#include "common/ProgramFolder.h"
#include "store/KvrDatabase.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

class StoreFixture
{
public:
    StoreFixture()
    {
        SetProgramFolder(m_dir.path());
        const QString sql = QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("data/KVRDB.sql"));
        m_ok = KvrDatabase::CreateFromSql(sql, DbPath(), &m_error);
        if (m_ok) {
            EnsureCodeIndex(QStringLiteral("IDE"));
            EnsureCodeIndex(QStringLiteral("Answer1"));
        }
    }
    ~StoreFixture()
    {
        if (QSqlDatabase::contains(kName)) {
            QSqlDatabase::database(kName, false).close();
            QSqlDatabase::removeDatabase(kName);
        }
        SetProgramFolder(QString());
    }
    bool ok() const { return m_ok; }
    QString error() const { return m_error; }
    QString Folder() const { return m_dir.path(); }
    QString DbPath() const { return QDir(m_dir.path()).filePath(QStringLiteral("KVRDB.mdb")); }

    QSqlDatabase Db()
    {
        if (!QSqlDatabase::contains(kName)) {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kName);
            db.setDatabaseName(DbPath());
            db.open();
            // Setting up rows need not wait for the disk.
            QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous=OFF"));
        }
        return QSqlDatabase::database(kName);
    }
    // Runs one statement with bound values; returns the first column of the
    // first row (or an empty variant).
    QVariant Exec(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q(Db());
        q.prepare(sql);
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (!q.exec())
            qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return q.next() ? q.value(0) : QVariant();
    }
    // Adds examinees with the given codes in this order (ids ascending).
    void AddExaminees(const QStringList &codes, bool withAnswerRows = true)
    {
        for (const QString &c : codes) {
            Exec(QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht) VALUES (?, ?, '30', 'زن')"),
                 {c, QStringLiteral("examinee ") + c});
            if (withAnswerRows)
                Exec(QStringLiteral("INSERT INTO Answer1 (Code) VALUES (?)"), {c.toLongLong()});
        }
    }
    int Count(const QString &sql, const QVariantList &values = {}) { return Exec(sql, values).toInt(); }

    // The look-ups by code are served by an index on Code; a database that
    // brings none gets a plain one here, as clinics' databases have.
    void EnsureCodeIndex(const QString &table)
    {
        QSqlQuery list(Db());
        list.exec(QStringLiteral("PRAGMA index_list(\"%1\")").arg(table));
        while (list.next()) {
            QSqlQuery info(Db());
            info.exec(QStringLiteral("PRAGMA index_info(\"%1\")").arg(list.value(1).toString()));
            if (info.next() && info.value(0).toInt() == 0
                && info.value(2).toString().compare(QLatin1String("Code"), Qt::CaseInsensitive) == 0)
                return;
        }
        Exec(QStringLiteral("CREATE INDEX test_%1_code ON \"%1\"(Code)").arg(table));
    }

private:
    static constexpr const char *kName = "kvr_fixture";
    QTemporaryDir m_dir;
    bool m_ok = false;
    QString m_error;
};
