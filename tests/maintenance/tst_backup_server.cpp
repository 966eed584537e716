// Backups and restores when the records live on a PostgreSQL server: a
// backup is the same SQLite file a backup of the file is, taken from one
// snapshot of the server's data; a restore replaces the server's data in one
// transaction, after the same checks, and never while another program is
// connected.
#include "common/ProgramFolder.h"
#include "maintenance/Backup.h"
#include "maintenance/BackupTexts.h"
#include "maintenance/DatabaseFile.h"
#include "store/DataControl.h"
#include "store/DatabaseError.h"
#include "store/KvrDatabase.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/OtherProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

namespace {

// The rows of a table of an SQLite file, each as "a|b|c" (NULL as "").
QStringList fileRows(const QString &path, const QString &sql)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("read"));
        db.setDatabaseName(path);
        QSqlQuery q(db);
        if (db.open() && q.exec(sql)) {
            while (q.next()) {
                QStringList values;
                for (int c = 0; c < q.record().count(); ++c)
                    values << q.value(c).toString();
                rows << values.join(QLatin1Char('|'));
            }
        }
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("read"));
    return rows;
}

bool execInFile(const QString &path, const QStringList &statements)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("write"));
        db.setDatabaseName(path);
        ok = db.open();
        for (const QString &sql : statements)
            ok = ok && QSqlQuery(db).exec(sql);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("write"));
    return ok;
}

const QString kIdeRows = QStringLiteral("SELECT id, Code, FullName, \"Alter\", Geschlecht, Heirat FROM IDE ORDER BY id");
const QString kAnswerRows = QStringLiteral("SELECT Code, \"1\", \"40\" FROM Answer1 ORDER BY rowid");

} // namespace

class TestBackupServer : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void backupIsAKvrFileOfTheServersRows();
    void backupIsOneSnapshot();
    void restoreReplacesTheServersData();
    void restoreRefusedWhileAnotherProgramIsConnected();
    void failedRestoreChangesNothing_data();
    void failedRestoreChangesNothing();
    void interruptedBackupLeavesNoFile();

private:
    QString at(const QString &name) const { return QDir(m_f->Folder()).filePath(name); }
    QStringList serverRows(const QString &sql)
    {
        QStringList rows;
        QSqlQuery q(m_f->Db());
        if (!q.exec(m_f->Sql(sql)))
            return {QStringLiteral("failed: ") + sql};
        while (q.next()) {
            QStringList values;
            for (int c = 0; c < q.record().count(); ++c)
                values << q.value(c).toString();
            rows << values.join(QLatin1Char('|'));
        }
        return rows;
    }
    // A backup file as a backup of the file is: the delivered database with
    // two examinees of its own.
    QString backupFile()
    {
        const QString path = at(QStringLiteral("chosen.KVR"));
        const QString sql = QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("data/KVRDB.sql"));
        if (!KvrDatabase::CreateFromSql(sql, path))
            return QString();
        execInFile(path, {QStringLiteral("INSERT INTO IDE (id, Code, FullName, \"Alter\", Geschlecht) VALUES (7, '3', 'from the backup', '40', 'مرد')"),
                          QStringLiteral("INSERT INTO IDE (id, Code, FullName, \"Alter\", Geschlecht) VALUES (9, '4', 'second', '41', 'زن')"),
                          QStringLiteral("INSERT INTO Answer1 (Code, \"1\") VALUES (3, '2')"),
                          QStringLiteral("INSERT INTO Answer1 (Code) VALUES (4)"),
                          QStringLiteral("UPDATE Theme SET Name = 'backup clinic'")});
        return path;
    }

    std::unique_ptr<StoreFixture> m_f;
};

void TestBackupServer::init()
{
    m_f = std::make_unique<StoreFixture>(StoreFixture::Where::Server);
    QVERIFY2(m_f->ok(), qPrintable(m_f->error()));
    m_f->AddExaminees({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("5")});
    m_f->Exec(QStringLiteral("UPDATE Answer1 SET \"1\" = '1', \"40\" = '0' WHERE Code = 2"));
    m_f->Exec(QStringLiteral("UPDATE IDE SET Heirat = ? WHERE Code = '1'"), {QString::fromUtf8("متاهل")});
    // The newest examinee went again: the next one still gets a new id.
    m_f->Exec(QStringLiteral("DELETE FROM IDE WHERE Code = '5'"));
    m_f->Exec(QStringLiteral("DELETE FROM Answer1 WHERE Code = 5"));
}

void TestBackupServer::cleanup()
{
    m_f.reset();
}

void TestBackupServer::backupIsAKvrFileOfTheServersRows()
{
    const QString path = at(QStringLiteral("server.KVR"));
    const Backup::CopyResult r = Backup::BackUpDatabase(path);
    QVERIFY2(r.ok, qPrintable(r.error));
    // The checks a restore makes, in either place, pass.
    QCOMPARE(DatabaseFile::Refusal(path), QString());
    QCOMPARE(fileRows(path, kIdeRows), serverRows(kIdeRows));
    QCOMPARE(fileRows(path, kIdeRows).size(), 2);
    QCOMPARE(fileRows(path, kAnswerRows), serverRows(QStringLiteral("SELECT Code, \"1\", \"40\" FROM Answer1 ORDER BY kvr_rowid")));
    QCOMPARE(fileRows(path, QStringLiteral("SELECT count(*), min(Code), max(Code) FROM QUS")), QStringList{"40|1|40"});
    QCOMPARE(fileRows(path, QStringLiteral("SELECT Name FROM Theme")), serverRows(QStringLiteral("SELECT Name FROM Theme")));
    // The file gives the next examinee the id the server would have given.
    QCOMPARE(fileRows(path, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = 'IDE'")), QStringList{"3"});
}

// Rows written while the backup is being taken are not in it, and what is in
// it belongs together.
void TestBackupServer::backupIsOneSnapshot()
{
    const QString path = at(QStringLiteral("moment.KVR"));
    bool written = false;
    const Backup::CopyResult r = Backup::BackUpDatabase(path, [&] {
        if (!written) {
            m_f->AddExaminees({QStringLiteral("8")});
            written = true;
        }
        return true;
    });
    QVERIFY2(r.ok, qPrintable(r.error));
    QVERIFY(written);
    QCOMPARE(m_f->Count(QStringLiteral("SELECT count(*) FROM IDE")), 3);
    QCOMPARE(fileRows(path, QStringLiteral("SELECT count(*) FROM IDE")), QStringList{"2"});
    QCOMPARE(fileRows(path, QStringLiteral("SELECT count(*) FROM Answer1")), QStringList{"2"});
}

void TestBackupServer::restoreReplacesTheServersData()
{
    const QString chosen = backupFile();
    QVERIFY(!chosen.isEmpty());
    const QStringList before = serverRows(kIdeRows);
    DataControl list; // a control of an open screen
    QVERIFY(list.Open(QStringLiteral("select id,FullName,Alter,Code  from IDE order by id desc ")));
    QCOMPARE(list.Value(QStringLiteral("Code")), QStringLiteral("2"));

    const Backup::RestoreResult r = Backup::RestoreDatabase(chosen);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(serverRows(kIdeRows), fileRows(chosen, kIdeRows));
    QCOMPARE(serverRows(QStringLiteral("SELECT Code, \"1\", \"40\" FROM Answer1 ORDER BY kvr_rowid")),
             fileRows(chosen, kAnswerRows));
    QCOMPARE(serverRows(QStringLiteral("SELECT Name FROM Theme")), QStringList{"backup clinic"});
    QCOMPARE(m_f->Count(QStringLiteral("SELECT count(*) FROM QUS")), 40);
    // The open screens show the restored rows.
    QCOMPARE(list.Value(QStringLiteral("Code")), QStringLiteral("4"));
    QCOMPARE(list.RecordCount(), 2);
    // The server's data as it was is kept, as a backup file.
    QVERIFY(r.safetyCopy.startsWith(ProgramFile(QStringLiteral("KVR"))));
    QCOMPARE(fileRows(r.safetyCopy, kIdeRows), before);
    // A new examinee gets an id past the restored ones.
    QVERIFY(list.AddNew() && list.SetValue(QStringLiteral("Code"), QStringLiteral("10")) && list.Update());
    QCOMPARE(list.Value(QStringLiteral("id")), QStringLiteral("10"));
}

void TestBackupServer::restoreRefusedWhileAnotherProgramIsConnected()
{
    const QString chosen = backupFile();
    const QStringList before = serverRows(kIdeRows);
    OtherProgram other;
    QVERIFY(other.Start(m_f->ConnectionString()));
    Backup::RestoreResult r = Backup::RestoreDatabase(chosen);
    QVERIFY(!r.ok);
    QVERIFY(r.refused);
    QVERIFY(r.otherProgram);
    QCOMPARE(r.error, MaintenanceText::OtherWindowsOpen());
    QCOMPARE(serverRows(kIdeRows), before);

    // A program that starts while a restore runs waits for it, then gives up.
    other.Stop();
    {
        const LiveServer::ExclusiveLock restoring;
        QCOMPARE(restoring.State(), LiveDatabase::Exclusive::Taken);
        OtherProgram late;
        QVERIFY(!late.Start(m_f->ConnectionString()));
    }
    r = Backup::RestoreDatabase(chosen);
    QVERIFY2(r.ok, qPrintable(r.error));
}

void TestBackupServer::failedRestoreChangesNothing_data()
{
    QTest::addColumn<QString>("problem");
    QTest::newRow("not a database") << "garbage";
    QTest::newRow("a code held twice") << "twice";
    QTest::newRow("the server refuses a row") << "refused";
}

void TestBackupServer::failedRestoreChangesNothing()
{
    QFETCH(QString, problem);
    QString chosen = backupFile();
    if (problem == QLatin1String("garbage")) {
        QFile f(chosen);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(4096, 'x'));
    } else if (problem == QLatin1String("twice")) {
        QVERIFY(execInFile(chosen, {QStringLiteral("DROP INDEX IDE_Code"),
                                    QStringLiteral("INSERT INTO IDE (Code, FullName) VALUES ('3', 'again')")}));
    } else {
        m_f->RefuseWrites(QStringLiteral("Answer1"), QStringLiteral("no room"), {QStringLiteral("INSERT")});
    }
    const QStringList before = serverRows(kIdeRows);
    const QStringList answersBefore = serverRows(QStringLiteral("SELECT Code FROM Answer1 ORDER BY kvr_rowid"));
    const Backup::RestoreResult r = Backup::RestoreDatabase(chosen);
    QVERIFY(!r.ok);
    QVERIFY(!r.error.isEmpty());
    QCOMPARE(serverRows(kIdeRows), before);
    QCOMPARE(serverRows(QStringLiteral("SELECT Code FROM Answer1 ORDER BY kvr_rowid")), answersBefore);
    if (problem == QLatin1String("refused"))
        QVERIFY2(r.error.contains(QLatin1String("no room")), qPrintable(r.error));
}

void TestBackupServer::interruptedBackupLeavesNoFile()
{
    const QString path = at(QStringLiteral("cut.KVR"));
    const Backup::CopyResult r = Backup::BackUpDatabase(path, [] { return false; });
    QVERIFY(!r.ok);
    QVERIFY(r.error.startsWith(MaintenanceText::CopyInterrupted()));
    QVERIFY(!QFile::exists(path));
    QCOMPARE(QDir(m_f->Folder()).entryList({QStringLiteral("*.part"), QStringLiteral(".*KVR*")}, QDir::Files | QDir::Hidden),
             QStringList());
}

int main(int argc, char *argv[])
{
    if (OtherProgram::IsChild())
        return OtherProgram::RunChild();
    QCoreApplication app(argc, argv);
    TestBackupServer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_backup_server.moc"
