#pragma once
// A scratch program folder and a KVR database to test against, plus a direct
// connection for setting up and checking rows. The database is the file
// KVRDB.mdb made from the delivered data/KVRDB.sql; when the test runs as
// its server variant (KVR_TEST_DATABASE=server, see kvr_server_variant) it
// is the same, made afresh, in a database on the test's own PostgreSQL
// server (tests/support/TestServer.h), and the program works on that server. The
// file is then not made, so nothing can pass by reading it instead.
//
// Statements given to Exec are written as for the file; on the server the
// program's table and column names in them are quoted, as PostgreSQL needs
// for names with capitals.
#include "common/ProgramFolder.h"
#include "store/DatabaseLocation.h"
#include "store/KvrDatabase.h"
#include "store/LiveServer.h"
#include "tests/support/TestServer.h"

#include <QDir>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

class StoreFixture
{
public:
    // Whether this run of the test works on the server.
    static bool ServerRun() { return qEnvironmentVariable("KVR_TEST_DATABASE") == QLatin1String("server"); }

    enum class Where { AsRun, Server, File };

    // AsRun: the server in the server variant, else the file. A test of
    // the server's own matters asks for the server whatever the run.
    explicit StoreFixture(Where where = Where::AsRun)
    {
        SetProgramFolder(m_dir.path());
        if (where == Where::Server || (where == Where::AsRun && ServerRun())) {
            TestServer &server = TestServer::Instance();
            if (!server.ok()) {
                m_error = server.error();
                return;
            }
            m_database = QLatin1String(TestServer::kDatabase);
            m_ok = server.ResetDatabase(m_database, &m_error);
            if (m_ok)
                DatabaseLocation::UseServer(server.For(m_database));
            return;
        }
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
        if (!m_database.isEmpty()) {
            LiveServer::Release();
            DatabaseLocation::UseFile();
        }
        SetProgramFolder(QString());
    }
    bool ok() const { return m_ok; }
    QString error() const { return m_error; }
    bool OnServer() const { return !m_database.isEmpty(); }
    QString Folder() const { return m_dir.path(); }
    QString DbPath() const { return QDir(m_dir.path()).filePath(QStringLiteral("KVRDB.mdb")); }
    // The server's database (empty for the file).
    QString DatabaseName() const { return m_database; }
    // kvr-cli's --server argument for this database.
    QString ConnectionString() const { return TestServer::Instance().ConnectionString(m_database); }

    // What a program this test starts needs to work on the same database;
    // the program calls AdoptInChild().
    QProcessEnvironment ChildEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (OnServer())
            env.insert(QStringLiteral("KVR_TEST_SERVER"), ConnectionString());
        return env;
    }
    static void AdoptInChild()
    {
        const QString conn = qEnvironmentVariable("KVR_TEST_SERVER");
        DatabaseLocation::Server server;
        if (!conn.isEmpty() && DatabaseLocation::ParseConnectionString(conn, &server, nullptr, nullptr))
            DatabaseLocation::UseServer(server);
    }

    QSqlDatabase Db()
    {
        if (!QSqlDatabase::contains(kName)) {
            if (OnServer()) {
                const DatabaseLocation::Server s = TestServer::Instance().For(m_database);
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), kName);
                db.setHostName(s.host);
                db.setPort(s.port);
                db.setDatabaseName(s.database);
                db.setUserName(s.user);
                db.open();
                QSqlQuery(db).exec(QStringLiteral("SET client_min_messages = warning"));
            } else {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kName);
                db.setDatabaseName(DbPath());
                db.open();
                // Setting up rows need not wait for the disk.
                QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous=OFF"));
            }
        }
        return QSqlDatabase::database(kName);
    }
    // A statement written for the file, as this run's database takes it.
    QString Sql(const QString &sql) const { return OnServer() ? QuotedNames(sql) : sql; }
    // Runs one statement with bound values; returns the first column of the
    // first row (or an empty variant).
    QVariant Exec(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q(Db());
        bool ok = true;
        if (values.isEmpty()) {
            // The server prepares no statement that defines (CREATE, DROP).
            ok = q.exec(Sql(sql));
        } else {
            q.prepare(Sql(sql));
            for (const QVariant &v : values)
                q.addBindValue(v);
            ok = q.exec();
        }
        if (!ok)
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
    // brings none gets a plain one here, as clinics' databases have. (The
    // server's tables have their unique ones.)
    void EnsureCodeIndex(const QString &table)
    {
        if (OnServer())
            return;
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

    // Makes the given writes to the table (an update only of that column,
    // when one is named) fail with the reason, as a database that refuses
    // them: a trigger that aborts.
    void RefuseWrites(const QString &table, const QString &reason,
                      const QStringList &operations = {QStringLiteral("INSERT"), QStringLiteral("UPDATE"),
                                                        QStringLiteral("DELETE")},
                      const QString &column = QString())
    {
        // The server's refusal is of the kind SQLite's RAISE(ABORT) is: a
        // constraint the change does not meet.
        if (OnServer())
            Exec(QStringLiteral("CREATE OR REPLACE FUNCTION kvr_refuse() RETURNS trigger LANGUAGE plpgsql AS "
                                "$$ BEGIN RAISE EXCEPTION USING MESSAGE = TG_ARGV[0], ERRCODE = 'check_violation'; "
                                "END $$"));
        for (const QString &op : operations) {
            const QString what = column.isEmpty() ? op : op + QStringLiteral(" OF \"") + column + QLatin1Char('"');
            if (OnServer())
                Exec(QStringLiteral("CREATE TRIGGER refuse_%1_%2 BEFORE %3 ON \"%1\" FOR EACH ROW "
                                    "EXECUTE FUNCTION kvr_refuse('%4')")
                         .arg(table, op, what, reason));
            else
                Exec(QStringLiteral("CREATE TRIGGER refuse_%1_%2 BEFORE %3 ON %1 BEGIN SELECT RAISE(ABORT, '%4'); END")
                         .arg(table, op, what, reason));
        }
    }
    void AllowWrites(const QString &table,
                     const QStringList &operations = {QStringLiteral("INSERT"), QStringLiteral("UPDATE"),
                                                      QStringLiteral("DELETE")})
    {
        for (const QString &op : operations)
            Exec(OnServer() ? QStringLiteral("DROP TRIGGER refuse_%1_%2 ON \"%1\"").arg(table, op)
                            : QStringLiteral("DROP TRIGGER refuse_%1_%2").arg(table, op));
    }

    // Plays another program in the middle of a write, for longer than the
    // program waits: on the file it holds the write lock; on the server it
    // holds the write transactions' lock and keeps the tables from being
    // written.
    bool HoldWriteLock()
    {
        QSqlQuery q(Db());
        if (!OnServer())
            return q.exec(QStringLiteral("BEGIN IMMEDIATE"));
        return q.exec(QStringLiteral("BEGIN")) && q.exec(QStringLiteral("LOCK TABLE \"IDE\", \"Answer1\", \"QUS\", \"Theme\" IN EXCLUSIVE MODE"))
               && q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(LiveServer::WriteLockKey));
    }
    bool ReleaseWriteLock() { return QSqlQuery(Db()).exec(QStringLiteral("ROLLBACK")); }

    // Quotes the program's table and column names outside literals.
    static QString QuotedNames(const QString &sql)
    {
        static const QStringList names = {
            "IDE",        "Answer1", "QUS",   "Theme",    "QueryMe",  "Code",    "FullName", "Alter",
            "Geschlecht", "Heirat",  "Datum1", "Bildung", "TelNummer1", "Tester", "QU",      "A",
            "B",          "C",       "Name",  "Adresse",  "Telegram", "Insta",   "Web",      "Twitter",
            "Facebook",   "Tel",     "Mosch", "Logo",     "TH",
        };
        QString out;
        for (int i = 0; i < sql.size();) {
            const QChar ch = sql[i];
            if (ch == QLatin1Char('\'') || ch == QLatin1Char('"')) {
                int j = i + 1;
                while (j < sql.size() && sql[j] != ch)
                    ++j;
                out += sql.mid(i, j + 1 - i);
                i = j + 1;
            } else if (ch == QLatin1Char('$') && sql.mid(i, 2) == QLatin1String("$$")) {
                const int j = sql.indexOf(QLatin1String("$$"), i + 2);
                out += sql.mid(i, j < 0 ? -1 : j + 2 - i);
                i = j < 0 ? int(sql.size()) : j + 2;
            } else if (ch.isLetter() || ch == QLatin1Char('_')) {
                int j = i;
                while (j < sql.size() && (sql[j].isLetterOrNumber() || sql[j] == QLatin1Char('_')))
                    ++j;
                const QString word = sql.mid(i, j - i);
                out += names.contains(word) ? QLatin1Char('"') + word + QLatin1Char('"') : word;
                i = j;
            } else {
                out += ch;
                ++i;
            }
        }
        return out;
    }

private:
    static constexpr const char *kName = "kvr_fixture";
    QTemporaryDir m_dir;
    bool m_ok = false;
    QString m_error;
    QString m_database;
};
