#pragma once
// A PostgreSQL 15 server of the test's own: made with initdb in a temporary
// folder on the first use in a process, listening on a Unix socket in that
// folder only (no TCP), and stopped and removed when the process ends. A
// watchdog stops it too should the test process die without cleaning up.
//
// initdb refuses to run as root, so under root (CI) the server runs as the
// unprivileged user "postgres" that Debian's package makes. A server that
// cannot start is an error with the reason, never a skipped test.
//
//   TestServer &server = TestServer::Instance();
//   QVERIFY2(server.ok(), qPrintable(server.error()));
//   DatabaseLocation::UseServer(server.For("kvr_test_1"));
//
// Each test starts from a fresh KVR database (server-init) in the database
// "kvr_test": ResetDatabase empties it and makes it anew, much quicker than
// a new database. The role "kvr_password" (password "secret") logs in only
// with its password.
#include "store/DatabaseLocation.h"
#include "store/LiveServer.h"
#include "store/ServerDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <libpq-fe.h>
#include <pwd.h>
#include <unistd.h>

#include <memory>

class TestServer
{
public:
    static constexpr const char *kBin = "/usr/lib/postgresql/15/bin";
    static constexpr int kPort = 5432;
    static constexpr const char *kDatabase = "kvr_test";
    static constexpr const char *kPasswordUser = "kvr_password";
    static constexpr const char *kPassword = "secret";

    static TestServer &Instance()
    {
        static std::unique_ptr<TestServer> server(new TestServer);
        return *server;
    }

    bool ok() const { return m_ok; }
    QString error() const { return m_error; }
    QString SocketFolder() const { return m_dir.path(); }

    // The location of a database on this server, as the superuser.
    DatabaseLocation::Server For(const QString &database, const QString &user = QStringLiteral("postgres")) const
    {
        DatabaseLocation::Server s;
        s.host = SocketFolder();
        s.port = kPort;
        s.database = database;
        s.user = user;
        return s;
    }
    // The same as a libpq connection string (kvr-cli --server).
    QString ConnectionString(const QString &database, const QString &user = QStringLiteral("postgres")) const
    {
        return For(database, user).ConnectionString();
    }

    // Runs statements as the superuser in the database ("postgres" by
    // default); false with *error on failure.
    bool Admin(const QString &sql, QString *error = nullptr, const QString &database = QStringLiteral("postgres")) const
    {
        PGconn *c = PQconnectdb(ConnectionString(database).toUtf8().constData());
        PQsetNoticeProcessor(c, [](void *, const char *) {}, nullptr);
        bool ok = PQstatus(c) == CONNECTION_OK;
        QString why = QString::fromUtf8(PQerrorMessage(c));
        if (ok) {
            PGresult *r = PQexec(c, sql.toUtf8().constData());
            const ExecStatusType st = PQresultStatus(r);
            ok = st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
            why = QString::fromUtf8(PQresultErrorMessage(r));
            PQclear(r);
        }
        PQfinish(c);
        if (!ok && error)
            *error = why.trimmed();
        return ok;
    }

    // A new database without any table.
    bool CreateDatabase(const QString &name, QString *error = nullptr) const
    {
        return Admin(QStringLiteral("CREATE DATABASE %1").arg(name), error);
    }
    // Empties the database (ending every other connection to it first) and
    // makes the delivered KVR database in it, as server-init does.
    bool ResetDatabase(const QString &name, QString *error = nullptr) const
    {
        if (!Admin(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                  "WHERE datname = current_database() AND pid <> pg_backend_pid(); "
                                  "DROP SCHEMA public CASCADE; CREATE SCHEMA public"),
                   error, name))
            return false;
        const DatabaseLocation::Kind kind = DatabaseLocation::CurrentKind();
        const DatabaseLocation::Server before = DatabaseLocation::CurrentServer();
        LiveServer::Release();
        DatabaseLocation::UseServer(For(name));
        const ServerDatabase::Outcome made = ServerDatabase::Init();
        if (kind == DatabaseLocation::Kind::Server)
            DatabaseLocation::UseServer(before);
        else
            DatabaseLocation::UseFile();
        if (!made.ok && error)
            *error = QStringLiteral("server-init failed: ") + made.error;
        return made.ok;
    }
    void DropDatabase(const QString &name) const
    {
        Admin(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
    }

    // Stops the server as an administrator would (sessions are ended, their
    // transactions rolled back) and starts it again.
    bool Stop() { return pgCtl({QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("stop")}); }
    // The tests' server writes without waiting for the disk; a durable one
    // (a benchmark's) keeps PostgreSQL's own settings for that and for its
    // memory, as a clinic's server would.
    bool Start(bool durable = false)
    {
        const QString quick = durable ? QString()
                                      : QStringLiteral(" -c fsync=off -c synchronous_commit=off -c full_page_writes=off "
                                                       "-c shared_buffers=16MB");
        return pgCtl({QStringLiteral("-o"),
                      QStringLiteral("-k %1 -p %2 -c listen_addresses='' -c max_connections=60%3")
                          .arg(SocketFolder())
                          .arg(kPort)
                          .arg(quick),
                      QStringLiteral("-l"), m_dir.filePath(QStringLiteral("server.log")), QStringLiteral("start")});
    }

    ~TestServer() { shutDown(); }

    void shutDown()
    {
        if (m_started)
            pgCtl({QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("stop")});
        m_started = false;
    }

private:
    TestServer()
    {
        m_ok = setUp();
    }

    bool fail(const QString &why)
    {
        m_error = QStringLiteral("The test's PostgreSQL server cannot be used: ") + why;
        return false;
    }

    // Runs a server program, as "postgres" when this process is root.
    bool run(const QString &program, const QStringList &args, QString *output = nullptr) const
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        const QString path = QDir(QLatin1String(kBin)).filePath(program);
        if (::geteuid() == 0)
            p.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                                           QStringLiteral("--"), path}
                                                   + args);
        else
            p.start(path, args);
        const bool finished = p.waitForFinished(60000);
        if (output)
            *output = QString::fromLocal8Bit(p.readAll());
        return finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    bool pgCtl(const QStringList &args)
    {
        QString out;
        const bool ok = run(QStringLiteral("pg_ctl"),
                            QStringList{QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")),
                                        QStringLiteral("-w")}
                                + args,
                            &out);
        if (!ok)
            m_error = out;
        return ok;
    }

    bool setUp()
    {
        if (!m_dir.isValid())
            return fail(QStringLiteral("no temporary folder"));
        if (!QFile::exists(QDir(QLatin1String(kBin)).filePath(QStringLiteral("initdb"))))
            return fail(QStringLiteral("%1/initdb is missing; install postgresql-15 (scripts/packages.txt)")
                            .arg(QLatin1String(kBin)));
        if (::geteuid() == 0) {
            const passwd *pw = ::getpwnam("postgres");
            if (!pw)
                return fail(QStringLiteral("the user \"postgres\" is missing (the postgresql-15 package makes it); "
                                           "initdb does not run as root"));
            if (::chown(QFile::encodeName(m_dir.path()).constData(), pw->pw_uid, pw->pw_gid) != 0)
                return fail(QStringLiteral("cannot give %1 to the user postgres").arg(m_dir.path()));
        }
        QString out;
        if (!run(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("--auth=trust"),
                  QStringLiteral("--no-sync"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                  QStringLiteral("--locale=C.UTF-8"), QStringLiteral("-U"), QStringLiteral("postgres")},
                 &out))
            return fail(QStringLiteral("initdb failed: ") + out);
        // The password user must give its password; everyone else is trusted.
        QFile hba(m_dir.filePath(QStringLiteral("data/pg_hba.conf")));
        if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || hba.write(QByteArray("local all ") + kPasswordUser + " scram-sha-256\nlocal all all trust\n") < 0)
            return fail(QStringLiteral("cannot write pg_hba.conf"));
        hba.close();
        if (!Start())
            return fail(QStringLiteral("pg_ctl start failed: ") + m_error);
        m_started = true;
        startWatchdog();
        // Stopped while the application still runs, before its end.
        qAddPostRoutine([] { Instance().shutDown(); });
        QString why;
        if (!Admin(QStringLiteral("CREATE ROLE %1 LOGIN SUPERUSER PASSWORD '%2'")
                       .arg(QLatin1String(kPasswordUser), QLatin1String(kPassword)),
                   &why)
            || !CreateDatabase(QLatin1String(kDatabase), &why))
            return fail(why);
        return true;
    }

    // Stops the server once this process is gone, however it ended.
    void startWatchdog()
    {
        const QString stop = QStringLiteral("%1/pg_ctl -D '%2' -m immediate stop")
                                 .arg(QLatin1String(kBin), m_dir.filePath(QStringLiteral("data")));
        const QString asPostgres = ::geteuid() == 0 ? QStringLiteral("runuser -u postgres -- ") : QString();
        const QString script = QStringLiteral("while kill -0 %1 2>/dev/null; do sleep 1; done; "
                                              "if [ -f '%2/data/postmaster.pid' ]; then %3%4; rm -rf '%2'; fi")
                                   .arg(QCoreApplication::applicationPid())
                                   .arg(m_dir.path(), asPostgres, stop);
        QProcess::startDetached(QStringLiteral("sh"), {QStringLiteral("-c"), script});
    }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/kvr-pg-XXXXXX")};
    bool m_ok = false;
    bool m_started = false;
    QString m_error;
};
