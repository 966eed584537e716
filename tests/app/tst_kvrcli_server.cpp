// kvr-cli on a PostgreSQL server (--server): making the database, moving a
// clinic's file in (the export afterwards is the file's export, byte for
// byte), the refusals, the password from PGPASSWORD or ~/.pgpass, and
// backup and restore. A copy of kvr-cli runs in a folder of its own, with a
// home and settings folder of the test's own.
#include "tests/app/CliRun.h"
#include "store/DataControl.h"
#include "store/DatabaseError.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/OtherProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool execInFile(const QString &path, const QStringList &statements)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("clinic"));
        db.setDatabaseName(path);
        ok = db.open() && db.transaction();
        for (const QString &sql : statements) {
            QSqlQuery q(db);
            if (!q.exec(sql)) {
                qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
                ok = false;
            }
        }
        ok = ok && db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("clinic"));
    return ok;
}

} // namespace

class TestKvrCliServer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    std::unique_ptr<StoreFixture> m_f;
    QStringList m_made; // databases to drop

    QString at(const QString &name) const { return m_root.filePath(name); }

    Run run(const QStringList &args, const QProcessEnvironment &extra = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("PGPASSWORD"));
        env.insert(QStringLiteral("HOME"), at(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), at(QStringLiteral("home/.config")));
        for (const QString &key : extra.keys())
            env.insert(key, extra.value(key));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(at(QStringLiteral("work")));
        return RunToEnd(p, at(QStringLiteral("bin/kvr-cli")), args);
    }
    Run onServer(const QString &database, const QStringList &args, const QProcessEnvironment &extra = {})
    {
        return run(QStringList{QStringLiteral("--server"), TestServer::Instance().ConnectionString(database)} + args,
                   extra);
    }
    // A database of the test's own on the server, without any table.
    QString emptyDatabase()
    {
        static int n = 0;
        const QString name = QStringLiteral("kvr_cli_%1").arg(++n);
        QString why;
        TestServer::Instance().DropDatabase(name);
        if (!TestServer::Instance().CreateDatabase(name, &why))
            qWarning("%s", qPrintable(why));
        m_made << name;
        return name;
    }
    int serverCount(const QString &database, const QString &sql)
    {
        int n = -1;
        {
            const DatabaseLocation::Server s = TestServer::Instance().For(database);
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("count"));
            db.setHostName(s.host);
            db.setPort(s.port);
            db.setDatabaseName(s.database);
            db.setUserName(s.user);
            QSqlQuery q(db);
            if (db.open() && q.exec(StoreFixture::QuotedNames(sql)) && q.next())
                n = q.value(0).toInt();
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("count"));
        return n;
    }
    // A clinic's database file: the delivered one with examinees of every
    // kind (some deleted again, one without answers, empty and Persian
    // texts, partly answered), and its own questions and settings.
    QString clinicFile(int examinees)
    {
        const QString path = at(QStringLiteral("work/clinic.mdb"));
        QFile::remove(path);
        const QString sql = QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("data/KVRDB.sql"));
        if (!KvrDatabase::CreateFromSql(sql, path))
            return QString();
        QStringList statements;
        for (int i = 1; i <= examinees; ++i) {
            const QString name = i % 7 == 0 ? QString() : QString::fromUtf8("آزمودني '%1' ي ك").arg(i);
            statements << QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht, Heirat, Bildung, Datum1) "
                                         "VALUES ('%1', '%2', '%3', '%4', %5, 'PhD\tx', '1403/01/%6')")
                              .arg(i)
                              .arg(QString(name).replace(QLatin1Char('\''), QStringLiteral("''")))
                              .arg(18 + i % 50)
                              .arg(i % 2 ? QString::fromUtf8("مرد") : QString::fromUtf8("زن"))
                              .arg(i % 3 ? QStringLiteral("NULL") : QStringLiteral("'%1'").arg(QString::fromUtf8("مجرد")))
                              .arg(i % 28 + 1, 2, 10, QLatin1Char('0'));
            if (i % 11 == 0)
                continue; // registered, no answer row
            QString columns, values;
            for (int k = 1; k <= 40; ++k) {
                columns += QStringLiteral(", \"%1\"").arg(k);
                values += (i + k) % 13 == 0 ? QStringLiteral(", NULL") : QStringLiteral(", '%1'").arg((i + k) % 3);
            }
            statements << QStringLiteral("INSERT INTO Answer1 (Code%1) VALUES (%2%3)").arg(columns).arg(i).arg(values);
        }
        statements << QStringLiteral("DELETE FROM IDE WHERE Code IN ('4', '%1')").arg(examinees)
                   << QStringLiteral("DELETE FROM Answer1 WHERE Code IN (4, %1)").arg(examinees)
                   << QStringLiteral("UPDATE QUS SET QU = 'edited\nquestion \\ one' WHERE Code = 1")
                   << QStringLiteral("UPDATE Theme SET Name = 'clinic', Mosch = 'a@b\r\n', TH = 7");
        return execInFile(path, statements) ? path : QString();
    }

private slots:
    void initTestCase()
    {
        const QString built = QDir(qEnvironmentVariable("KVR_PROGRAM_DIR")).filePath(QStringLiteral("kvr-cli"));
        QVERIFY2(QFileInfo::exists(built), "kvr-cli is not built");
        for (const char *folder : {"bin", "work", "home/.config"})
            QVERIFY(QDir(m_root.path()).mkpath(QLatin1String(folder)));
        QVERIFY(QFile::copy(built, at(QStringLiteral("bin/kvr-cli"))));
    }
    void init()
    {
        m_f = std::make_unique<StoreFixture>(StoreFixture::Where::Server);
        QVERIFY2(m_f->ok(), qPrintable(m_f->error()));
        m_f->Db().close();
    }
    void cleanup()
    {
        m_f.reset();
        for (const QString &name : std::as_const(m_made))
            TestServer::Instance().DropDatabase(name);
        m_made.clear();
    }

    void serverInitOnlyInAnEmptyDatabase()
    {
        const QString fresh = emptyDatabase();
        Run r = onServer(fresh, {QStringLiteral("server-init")});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(QLatin1String("40 question(s), 1 settings row(s)")), qPrintable(r.out));
        QCOMPARE(serverCount(fresh, QStringLiteral("SELECT count(*) FROM QUS")), 40);
        QCOMPARE(serverCount(fresh, QStringLiteral("SELECT count(*) FROM QueryMe")), 0);
        // Once made, or holding anything else: refused, nothing changed.
        r = onServer(fresh, {QStringLiteral("server-init")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QLatin1String("not empty")), qPrintable(r.err));
        QCOMPARE(serverCount(fresh, QStringLiteral("SELECT count(*) FROM QUS")), 40);
        const QString other = emptyDatabase();
        QVERIFY(TestServer::Instance().Admin(QStringLiteral("CREATE TABLE notes (x text)"), nullptr, other));
        r = onServer(other, {QStringLiteral("server-init")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QLatin1String("notes")), qPrintable(r.err));
        QCOMPARE(serverCount(other, QStringLiteral("SELECT count(*) FROM pg_class WHERE relname = 'QUS'")), 0);
    }

    void migrateThenExportIsTheFilesExport_data()
    {
        QTest::addColumn<bool>("prepared"); // server-init first
        QTest::newRow("into an empty database") << false;
        QTest::newRow("into a prepared database") << true;
    }
    void migrateThenExportIsTheFilesExport()
    {
        QFETCH(bool, prepared);
        const QString clinic = clinicFile(300);
        QVERIFY(!clinic.isEmpty());
        const QString db = emptyDatabase();
        if (prepared)
            QCOMPARE(onServer(db, {QStringLiteral("server-init")}).status, 0);
        Run r = onServer(db, {QStringLiteral("migrate"), QStringLiteral("clinic.mdb")});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(QLatin1String("298 examinee(s), 271 answer row(s), 40 question(s), 1 settings row(s)")),
                 qPrintable(r.out));

        // The formats whose files hold no time of writing, byte for byte;
        // with scores the answers are scored from what the server gives.
        const QStringList exports[] = {{QStringLiteral("file.xls")},
                                       {QStringLiteral("--scores"), QStringLiteral("scores.xls")},
                                       {QStringLiteral("--scores"), QStringLiteral("scores.csv")}};
        for (const QStringList &e : exports) {
            const QString name = e.last();
            r = run(QStringList{QStringLiteral("export")} + e + QStringList{QStringLiteral("clinic.mdb")});
            QVERIFY2(r.status == 0, qPrintable(r.err));
            QStringList onTheServer = QStringList{QStringLiteral("export")} + e;
            onTheServer.last() = QStringLiteral("server-") + name;
            r = onServer(db, onTheServer);
            QVERIFY2(r.status == 0, qPrintable(r.err));
            const QByteArray fromFile = ReadAllOf(at(QStringLiteral("work/") + name));
            QVERIFY2(fromFile.size() > 1000 && ReadAllOf(at(QStringLiteral("work/server-") + name)) == fromFile,
                     qPrintable(name));
        }
        QCOMPARE(serverCount(db, QStringLiteral("SELECT count(*) FROM QUS WHERE QU = 'edited\nquestion \\ one'")), 1);
        QCOMPARE(serverCount(db, QStringLiteral("SELECT TH FROM Theme")), 7);

        // The next examinee gets an id past every id the file gave out.
        DatabaseLocation::UseServer(TestServer::Instance().For(db));
        {
            DataControl dc;
            QVERIFY2(dc.Open(QStringLiteral("SELECT * FROM IDE ")), qPrintable(dc.LastError()));
            QVERIFY(dc.AddNew() && dc.SetValue(QStringLiteral("Code"), QStringLiteral("1000")) && dc.Update());
            QCOMPARE(dc.Value(QStringLiteral("id")), QStringLiteral("301"));
        }
        LiveServer::Release();
        DatabaseLocation::UseServer(TestServer::Instance().For(m_f->DatabaseName()));
    }

    void migrateRefusals_data()
    {
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QString>("says");
        QTest::newRow("the server holds examinees") << "examinees" << "already holds 1 examinee";
        QTest::newRow("a code held twice in the file") << "twice" << "more than once (IDE: 3)";
        QTest::newRow("another program is connected") << "connected" << "Another program is connected";
        QTest::newRow("not a KVR database") << "garbage" << "is not a KVR database";
        // Read back and compared: a server that stores a value otherwise.
        QTest::newRow("the server alters a value") << "altered" << "the file holds \"PhD\tx\", the server \"PhD\"";
    }
    void migrateRefusals()
    {
        QFETCH(QString, problem);
        QFETCH(QString, says);
        const QString clinic = clinicFile(5);
        QVERIFY(!clinic.isEmpty());
        const QString db = emptyDatabase();
        QCOMPARE(onServer(db, {QStringLiteral("server-init")}).status, 0);
        OtherProgram other;
        if (problem == QLatin1String("examinees")) {
            QVERIFY(TestServer::Instance().Admin(QStringLiteral("INSERT INTO \"IDE\" (\"Code\") VALUES ('1')"), nullptr, db));
        } else if (problem == QLatin1String("twice")) {
            QVERIFY(execInFile(clinic, {QStringLiteral("DROP INDEX IDE_Code"),
                                        QStringLiteral("INSERT INTO IDE (Code) VALUES ('3')")}));
        } else if (problem == QLatin1String("altered")) {
            QVERIFY(TestServer::Instance().Admin(
                QStringLiteral("CREATE FUNCTION cut() RETURNS trigger LANGUAGE plpgsql AS "
                               "$$ BEGIN NEW.\"Bildung\" := split_part(NEW.\"Bildung\", E'\\t', 1); RETURN NEW; END $$; "
                               "CREATE TRIGGER cut BEFORE INSERT ON \"IDE\" FOR EACH ROW EXECUTE FUNCTION cut()"),
                nullptr, db));
        } else if (problem == QLatin1String("connected")) {
            QVERIFY(other.Start(TestServer::Instance().ConnectionString(db)));
        } else {
            QFile f(clinic);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray(8192, 'x'));
        }
        const int before = serverCount(db, QStringLiteral("SELECT count(*) FROM IDE"));
        const Run r = onServer(db, {QStringLiteral("migrate"), QStringLiteral("clinic.mdb")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(says), qPrintable(r.err));
        QCOMPARE(serverCount(db, QStringLiteral("SELECT count(*) FROM IDE")), before);
        QCOMPARE(serverCount(db, QStringLiteral("SELECT count(*) FROM Answer1")), 0);
    }

    void passwordFromTheEnvironmentOrPgpass_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<int>("status");
        QTest::newRow("none") << "" << 1;
        QTest::newRow("wrong PGPASSWORD") << "env:wrong" << 1;
        QTest::newRow("PGPASSWORD") << "env:secret" << 0;
        QTest::newRow("~/.pgpass") << "pgpass:secret" << 0;
    }
    void passwordFromTheEnvironmentOrPgpass()
    {
        QFETCH(QString, given);
        QFETCH(int, status);
        QProcessEnvironment extra;
        const QString pgpass = at(QStringLiteral("home/.pgpass"));
        QFile::remove(pgpass);
        if (given.startsWith(QLatin1String("env:"))) {
            extra.insert(QStringLiteral("PGPASSWORD"), given.mid(4));
        } else if (given.startsWith(QLatin1String("pgpass:"))) {
            QFile f(pgpass);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QStringLiteral("*:*:*:%1:%2\n").arg(QLatin1String(TestServer::kPasswordUser), given.mid(7)).toUtf8());
            f.close();
            QVERIFY(f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        }
        const Run r = run({QStringLiteral("--server"),
                           TestServer::Instance().ConnectionString(m_f->DatabaseName(),
                                                                   QLatin1String(TestServer::kPasswordUser)),
                           QStringLiteral("export"), QStringLiteral("out.xls")},
                          extra);
        QFile::remove(pgpass);
        QVERIFY2(r.status == status, qPrintable(r.err));
        if (status != 0)
            QVERIFY2(r.err.contains(DatabaseError::Text(DatabaseError::LoginFailed, QString())), qPrintable(r.err));
    }

    void wrongUse_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("no connection string") << QStringList{"--server"} << 2 << "connection string";
        QTest::newRow("not a connection string") << QStringList{"--server", "db.clinic", "export", "x.xls"} << 2
                                                 << "keyword=value";
        QTest::newRow("no database named") << QStringList{"--server", "host=db.clinic", "export", "x.xls"} << 2
                                           << "dbname";
        QTest::newRow("server-init without a server") << QStringList{"server-init"} << 2 << "needs a server";
        QTest::newRow("migrate without a file") << QStringList{"--server", "dbname=x", "migrate"} << 2 << "usage";
        QTest::newRow("no server there")
            << QStringList{"--server", "host=/nonexistent dbname=kvr user=postgres", "export", "x.xls"} << 1
            << DatabaseError::Text(DatabaseError::ServerUnreachable, QString());
    }
    void wrongUse()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, says);
        const Run r = run(args);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(says), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(at(QStringLiteral("work/x.xls"))));
    }

    void backupAndRestore()
    {
        m_f->AddExaminees({QStringLiteral("1"), QStringLiteral("2")});
        m_f->Db().close();
        Run r = onServer(m_f->DatabaseName(), {QStringLiteral("backup"), QStringLiteral("two.KVR")});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        m_f->AddExaminees({QStringLiteral("3")});
        m_f->Db().close();
        r = onServer(m_f->DatabaseName(), {QStringLiteral("restore"), QStringLiteral("two.KVR")});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(m_f->Count(QStringLiteral("SELECT count(*) FROM IDE")), 2);
        QCOMPARE(m_f->Count(QStringLiteral("SELECT count(*) FROM Answer1")), 2);
        // The server's data before the restore was kept beside the program.
        QCOMPARE(QDir(at(QStringLiteral("bin/KVR"))).entryList({QStringLiteral("*.KVR")}, QDir::Files).size(), 1);
    }
};

int main(int argc, char *argv[])
{
    if (OtherProgram::IsChild())
        return OtherProgram::RunChild();
    QCoreApplication app(argc, argv);
    TestKvrCliServer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_kvrcli_server.moc"
