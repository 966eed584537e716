// DataControl against a real database file made from data/KVRDB.sql.
#include "StoreFixture.h"
#include "store/DatabaseError.h"
#include "store/DataControl.h"

#include <QElapsedTimer>

#include <sqlite3.h>

#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace {
const QString kList = QStringLiteral(
    "select id,FullName,Alter,Geschlecht,Heirat,Datum1,Bildung,TelNummer1,Tester,Code  from IDE order by id desc ");
const QString kIde = QStringLiteral("SELECT * FROM IDE ");
const QString kAnswers = QStringLiteral("SELECT * FROM Answer1 ");
}

class TestDataControl : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void openKeepsTheTextsAsWritten();
    void listIsNewestFirst();
    void filter_data();
    void filter();
    void badFilterIsReportedAndChangesNothing();
    void refreshDropsFilterAndUnsavedRow();
    void addAndCommitInsertsWithBoundValues();
    void commitWritesOnlyChangedColumns();
    void commitOfARowDeletedElsewhereFails();
    void deleteRemovesOnlyTheCurrentRow();
    void resultSetIsStaticUntilRefreshed();
    void nullReadsAsEmpty();
    void operationsWithoutCurrentRowFail();
    void moves();
    void closeAllReleasesTheFileForARestore();
    void folderNames_data();
    void folderNames();
    void firstFreeNumber_data();
    void firstFreeNumber();
    void containsValueFollowsEdits();
    void transactionWritesTogether();
    void rollbackTakesBackEveryWrite();
    void lockedDatabaseIsSaidInPersian();
    void persianTextForFailures_data();
    void persianTextForFailures();

private:
    StoreFixture *m_f = nullptr;
};

void TestDataControl::init()
{
    m_f = new StoreFixture;
    QVERIFY2(m_f->ok(), qPrintable(m_f->error()));
}

void TestDataControl::cleanup()
{
    delete m_f;
    m_f = nullptr;
}

void TestDataControl::openKeepsTheTextsAsWritten()
{
    DataControl dc;
    const QString conn = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + m_f->Folder() + "\\KVRDB.mdb;";
    QVERIFY2(dc.Open(kList, conn), qPrintable(dc.LastError()));
    QCOMPARE(dc.RecordSource(), kList);
    QCOMPARE(dc.ConnectionString(), conn);
    QCOMPARE(dc.Columns(), (QStringList{"id", "FullName", "Alter", "Geschlecht", "Heirat", "Datum1", "Bildung",
                                        "TelNummer1", "Tester", "Code"}));
    QCOMPARE(dc.ColumnIndex("ALTER"), 2);
    QCOMPARE(dc.ColumnIndex("nothing"), -1);
    QCOMPARE(DataControl::DatabasePath(), m_f->DbPath());
}

void TestDataControl::listIsNewestFirst()
{
    m_f->AddExaminees({"1", "2", "3"});
    DataControl dc;
    QVERIFY(dc.Open(kList));
    QCOMPARE(dc.RecordCount(), 3);
    QCOMPARE(dc.CurrentRow(), 0);
    QCOMPARE(dc.Value("Code"), QString("3"));
    QCOMPARE(dc.ValueAt(2, dc.ColumnIndex("Code")), QString("1"));
    QCOMPARE(dc.Value("FullName"), QString("examinee 3"));
}

void TestDataControl::filter_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("firstName");
    QTest::newRow("code, lower case") << kList << "code='2'" << 1 << "examinee 2";
    QTest::newRow("Code, as the deletion spells it") << kIde << "Code='2'" << 1 << "examinee 2";
    QTest::newRow("no match") << kList << "code='9'" << 0 << "";
    QTest::newRow("text compare, not numeric") << kList << "code='02'" << 0 << "";
    QTest::newRow("blanks around") << kList << " code = '3' " << 1 << "examinee 3";
    QTest::newRow("value with quotes is only text") << kList << "code='x'' OR ''1''=''1'" << 0 << "";
    QTest::newRow("numeric column") << kAnswers << "code='3'" << 1 << "";
    QTest::newRow("cleared") << kList << "" << 4 << "examinee 12";
}

void TestDataControl::filter()
{
    QFETCH(QString, source);
    QFETCH(QString, filter);
    QFETCH(int, count);
    QFETCH(QString, firstName);
    m_f->AddExaminees({"1", "2", "3", "12"});
    DataControl dc;
    QVERIFY(dc.Open(source));
    QSignalSpy resets(&dc, &DataControl::reset);
    QVERIFY2(dc.Filter(filter), qPrintable(dc.LastError()));
    QCOMPARE(resets.count(), 1);
    QCOMPARE(dc.RecordCount(), count);
    QCOMPARE(dc.CurrentRow(), count ? 0 : -1);
    if (dc.ColumnIndex("FullName") >= 0)
        QCOMPARE(dc.Value("FullName"), firstName);
    if (count == 0)
        QCOMPARE(dc.Value("Code"), QString());
}

void TestDataControl::badFilterIsReportedAndChangesNothing()
{
    m_f->AddExaminees({"1", "2"});
    DataControl dc;
    QVERIFY(dc.Open(kList));
    QVERIFY(dc.Filter("code='1'"));
    for (const QString &bad : {QString("code=1"), QString("nosuch='1'"), QString("code"), QString("='1'")}) {
        QVERIFY(!dc.Filter(bad));
        QVERIFY(!dc.LastError().isEmpty());
        QCOMPARE(dc.RecordCount(), 1);
        QCOMPARE(dc.Value("Code"), QString("1"));
    }
}

void TestDataControl::refreshDropsFilterAndUnsavedRow()
{
    m_f->AddExaminees({"1", "2", "3"});
    DataControl dc;
    QVERIFY(dc.Open(kList));
    QVERIFY(dc.Filter("code='1'"));
    QVERIFY(dc.AddNew());
    QVERIFY(dc.SetValue("FullName", "not saved"));
    QCOMPARE(dc.RecordCount(), 2);
    QVERIFY(dc.Refresh());
    QCOMPARE(dc.FilterText(), QString());
    QCOMPARE(dc.RecordCount(), 3);
    QCOMPARE(dc.CurrentRow(), 0);
    QCOMPARE(dc.Value("Code"), QString("3"));
    QCOMPARE(m_f->Count("SELECT count(*) FROM IDE"), 3);
}

void TestDataControl::addAndCommitInsertsWithBoundValues()
{
    DataControl dc;
    QVERIFY(dc.Open(kList));
    QVERIFY(dc.AddNew());
    QVERIFY(dc.IsNewRow());
    QCOMPARE(dc.RecordCount(), 1);
    QCOMPARE(dc.Value("id"), QString());
    const QString name = "O'Brien\"; DROP TABLE IDE; --";
    QVERIFY(dc.SetValue("Code", "1"));
    QVERIFY(dc.SetValue("FullName", name));
    QVERIFY(dc.SetValue("alter", "42")); // any case
    QVERIFY(dc.SetValue("Geschlecht", "مرد"));
    QVERIFY2(dc.Update(), qPrintable(dc.LastError()));
    QVERIFY(!dc.IsNewRow());
    QVERIFY(!dc.Value("id").isEmpty()); // the auto-number shows after the commit
    QCOMPARE(m_f->Exec("SELECT FullName FROM IDE WHERE Code='1'").toString(), name);
    QCOMPARE(m_f->Exec("SELECT \"Alter\" FROM IDE WHERE Code='1'").toString(), QString("42"));
    QCOMPARE(m_f->Exec("SELECT Geschlecht FROM IDE WHERE Code='1'").toString(), QString("مرد"));
    // A second commit of the same row does not insert it again.
    QVERIFY(dc.SetValue("Tester", "x"));
    QVERIFY(dc.Update());
    QCOMPARE(m_f->Count("SELECT count(*) FROM IDE"), 1);

    // An answer row holding only Code, as the registry makes it.
    DataControl answers;
    QVERIFY(answers.Open(kAnswers));
    QVERIFY(answers.AddNew());
    QVERIFY(answers.SetValue("Code", "1"));
    QVERIFY(answers.Update());
    QCOMPARE(m_f->Count("SELECT count(*) FROM Answer1 WHERE Code=1 AND \"1\" IS NULL"), 1);
}

void TestDataControl::commitWritesOnlyChangedColumns()
{
    m_f->AddExaminees({"1"});
    DataControl a, b;
    QVERIFY(a.Open(kList));
    QVERIFY(b.Open(kList));
    QVERIFY(a.SetValue("FullName", "from a"));
    QVERIFY(b.SetValue("Tester", "from b"));
    QVERIFY(a.Update());
    QVERIFY(b.Update());
    QCOMPARE(m_f->Exec("SELECT FullName FROM IDE").toString(), QString("from a"));
    QCOMPARE(m_f->Exec("SELECT Tester FROM IDE").toString(), QString("from b"));
    // Unchanged since the last commit: nothing to write, still a success.
    QVERIFY(a.Update());
}

void TestDataControl::commitOfARowDeletedElsewhereFails()
{
    m_f->AddExaminees({"1"});
    DataControl dc;
    QVERIFY(dc.Open(kList));
    m_f->Exec("DELETE FROM IDE");
    QVERIFY(dc.SetValue("FullName", "late edit"));
    QVERIFY(!dc.Update());
    QVERIFY(!dc.LastError().isEmpty());
    QCOMPARE(dc.LastErrorCode(), int(DatabaseError::RowGone));
    QCOMPARE(m_f->Count("SELECT count(*) FROM IDE"), 0);
}

void TestDataControl::deleteRemovesOnlyTheCurrentRow()
{
    m_f->AddExaminees({"1", "2", "3"});
    DataControl dc;
    QVERIFY(dc.Open(kIde));
    QVERIFY(dc.Filter("Code='2'"));
    QVERIFY(dc.Delete());
    QCOMPARE(dc.RecordCount(), 0);
    QCOMPARE(dc.CurrentRow(), -1);
    QCOMPARE(m_f->Count("SELECT count(*) FROM IDE"), 2);
    QCOMPARE(m_f->Count("SELECT count(*) FROM IDE WHERE Code='2'"), 0);
    QVERIFY(dc.Filter(""));
    QCOMPARE(dc.RecordCount(), 2);
    // Deleting the last row makes the row before it current.
    QVERIFY(dc.MoveLast());
    QVERIFY(dc.Delete());
    QCOMPARE(dc.CurrentRow(), 0);
    QCOMPARE(dc.Value("Code"), QString("1"));
    // A row added and not committed is only dropped.
    QVERIFY(dc.AddNew());
    QVERIFY(dc.Delete());
    QCOMPARE(m_f->Count("SELECT count(*) FROM IDE"), 1);
}

void TestDataControl::resultSetIsStaticUntilRefreshed()
{
    m_f->AddExaminees({"1"});
    DataControl list, writer;
    QVERIFY(list.Open(kList));
    QVERIFY(writer.Open(kIde));
    QVERIFY(writer.AddNew());
    QVERIFY(writer.SetValue("Code", "2"));
    QVERIFY(writer.Update());
    QCOMPARE(list.RecordCount(), 1);
    QVERIFY(list.Refresh());
    QCOMPARE(list.RecordCount(), 2);
    QCOMPARE(list.Value("Code"), QString("2"));
}

void TestDataControl::nullReadsAsEmpty()
{
    m_f->Exec("INSERT INTO IDE (Code) VALUES ('5')");
    DataControl dc;
    QVERIFY(dc.Open(kList));
    QCOMPARE(dc.Value("Heirat"), QString(""));
    QCOMPARE(dc.Value("Code"), QString("5"));
}

void TestDataControl::operationsWithoutCurrentRowFail()
{
    DataControl dc;
    QVERIFY(dc.Open(kList));
    QCOMPARE(dc.CurrentRow(), -1);
    QVERIFY(!dc.SetValue("FullName", "x"));
    QVERIFY(!dc.Update());
    QVERIFY(!dc.Delete());
    QVERIFY(!dc.MoveLast());
    QVERIFY(!dc.LastError().isEmpty());
    DataControl notOpen;
    QVERIFY(!notOpen.AddNew());
    QVERIFY(!notOpen.Open("SELECT * FROM Nowhere "));
    QVERIFY(!notOpen.LastError().isEmpty());
}

void TestDataControl::moves()
{
    m_f->AddExaminees({"1", "2", "3"});
    DataControl dc;
    QVERIFY(dc.Open(kIde));
    QSignalSpy moved(&dc, &DataControl::currentChanged);
    QVERIFY(dc.MoveLast());
    QCOMPARE(dc.Value("Code"), QString("3"));
    QVERIFY(!dc.MoveNext());
    QVERIFY(dc.MovePrevious());
    QCOMPARE(dc.Value("Code"), QString("2"));
    QVERIFY(dc.MoveFirst());
    QVERIFY(!dc.MovePrevious());
    QCOMPARE(moved.count(), 3);
    QVERIFY(!dc.SetCurrentRow(3));
    QCOMPARE(dc.CurrentRow(), 0);
}

void TestDataControl::closeAllReleasesTheFileForARestore()
{
    m_f->AddExaminees({"1"});
    m_f->Db().close();
    // A copy with a second examinee plays the backup being restored.
    const QString backup = m_f->Folder() + "/backup.KVR";
    QVERIFY(QFile::copy(m_f->DbPath(), backup));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "backup");
        db.setDatabaseName(backup);
        QVERIFY(db.open());
        QSqlQuery(db).exec("INSERT INTO IDE (Code) VALUES ('2')");
        db.close();
    }
    QSqlDatabase::removeDatabase("backup");

    DataControl list, idle;
    QVERIFY(list.Open(kList));
    QCOMPARE(list.RecordCount(), 1);
    QCOMPARE(DataControl::OpenCount(), 1);
    DataControl::CloseAll();
    QCOMPARE(DataControl::OpenCount(), 0);
    QCOMPARE(list.RecordCount(), 1); // rows stay visible meanwhile
    QCOMPARE(list.Value("Code"), QString("1"));
    // A refresh while the file is being replaced does not open it.
    QVERIFY(!list.Refresh());
    QCOMPARE(DataControl::OpenCount(), 0);
    QVERIFY(QFile::remove(m_f->DbPath()));
    QVERIFY(QFile::copy(backup, m_f->DbPath()));
    QVERIFY(DataControl::ReopenAll());
    QCOMPARE(DataControl::OpenCount(), 1); // the control never opened stays closed
    QCOMPARE(list.RecordCount(), 2);
    QCOMPARE(list.Value("Code"), QString("2"));
}

void TestDataControl::folderNames_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("blank") << "my clinic";
    QTest::newRow("URI characters") << "a#b?c%20d&e";
    QTest::newRow("Persian") << "پوشه برنامه";
}

// The file is opened through an SQLite URI; no folder name may break it or
// lead it to another file.
void TestDataControl::folderNames()
{
    QFETCH(QString, folder);
    QDir(m_f->Folder()).mkdir(folder);
    const QString dir = m_f->Folder() + "/" + folder;
    QVERIFY(QFile::copy(m_f->DbPath(), dir + "/KVRDB.mdb"));
    SetProgramFolder(dir);
    QVERIFY(KvrDatabase::Validate(DataControl::DatabasePath()));
    DataControl dc;
    QVERIFY2(dc.Open(kIde), qPrintable(dc.LastError()));
    QVERIFY(dc.AddNew());
    QVERIFY(dc.SetValue("Code", "1"));
    QVERIFY(dc.Update());
    dc.Close();
    QCOMPARE(m_f->Count("SELECT count(*) FROM IDE"), 0); // the other file is untouched
    QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList{"KVRDB.mdb"});
    SetProgramFolder(m_f->Folder());
}

void TestDataControl::firstFreeNumber_data()
{
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("free");
    QTest::newRow("none taken") << QStringList{} << qint64(5) << qint64(5);
    QTest::newRow("run") << QStringList{"1", "2", "3"} << qint64(2) << qint64(4);
    QTest::newRow("duplicates") << QStringList{"3", "2", "2"} << qint64(2) << qint64(4);
    QTest::newRow("below from ignored") << QStringList{"1", "7"} << qint64(2) << qint64(2);
    QTest::newRow("leading zero is other text") << QStringList{"02", "3"} << qint64(2) << qint64(2);
    QTest::newRow("blank is other text") << QStringList{" 2"} << qint64(2) << qint64(2);
    QTest::newRow("text skipped") << QStringList{"1", "abc", "2"} << qint64(1) << qint64(3);
    QTest::newRow("gap") << QStringList{"5", "6", "8"} << qint64(5) << qint64(7);
}

void TestDataControl::firstFreeNumber()
{
    QFETCH(QStringList, codes);
    QFETCH(qint64, from);
    QFETCH(qint64, free);
    m_f->Exec("DROP INDEX IDE_Code"); // a file from before codes were unique may hold one twice
    m_f->AddExaminees(codes, false);
    QCOMPARE(m_f->Count("SELECT count(*) FROM IDE"), int(codes.size()));
    DataControl dc;
    QVERIFY(dc.Open(kIde));
    QVERIFY(dc.Filter("code='nothing'")); // the filter does not narrow the look-up
    QCOMPARE(dc.FirstFreeNumber("CODE", from), free);
    // The same answer as stepping with one filter per step.
    QVERIFY(dc.Filter(""));
    qint64 stepped = from;
    for (;; ++stepped) {
        QVERIFY(dc.Filter("code='" + QString::number(stepped) + "'"));
        if (dc.RecordCount() == 0)
            break;
    }
    QCOMPARE(stepped, free);
}

void TestDataControl::containsValueFollowsEdits()
{
    m_f->AddExaminees({"1", "02"});
    DataControl dc;
    QVERIFY(dc.Open(kIde));
    QVERIFY(dc.ContainsValue("code", "02"));
    QVERIFY(!dc.ContainsValue("code", "2"));
    QVERIFY(dc.Filter("code='02'"));
    QVERIFY(dc.SetValue("Code", "2"));
    QVERIFY(dc.ContainsValue("code", "2"));
    QVERIFY(!dc.ContainsValue("code", "02"));
    QVERIFY(dc.AddNew());
    QVERIFY(dc.SetValue("Code", "9"));
    QVERIFY(dc.ContainsValue("Code", "9"));
    QVERIFY(dc.Refresh());
    QVERIFY(!dc.ContainsValue("Code", "9"));
    QVERIFY(dc.ContainsValue("Code", "02"));
}

void TestDataControl::transactionWritesTogether()
{
    DataControl rows, answers;
    QVERIFY(rows.Open(kIde));
    QVERIFY(rows.BeginTransaction());
    QVERIFY(DataControl::InTransaction());
    // Every control works through the transaction: each sees what the other
    // wrote, another connection sees nothing yet.
    QVERIFY(answers.Open(kAnswers));
    QVERIFY(answers.AddNew() && answers.SetValue("Code", "5") && answers.Update());
    QVERIFY(rows.AddNew() && rows.SetValue("Code", "5") && rows.Update());
    DataControl reader;
    QVERIFY(reader.Open(kAnswers));
    QCOMPARE(reader.RecordCount(), 1);
    QCOMPARE(m_f->Count("SELECT count(*) FROM Answer1"), 0);
    QVERIFY(!answers.BeginTransaction()); // one at a time

    QVERIFY(rows.CommitTransaction());
    QVERIFY(!DataControl::InTransaction());
    QCOMPARE(m_f->Count("SELECT count(*) FROM IDE WHERE Code='5'"), 1);
    QCOMPARE(m_f->Count("SELECT count(*) FROM Answer1 WHERE Code=5"), 1);
}

void TestDataControl::rollbackTakesBackEveryWrite()
{
    m_f->AddExaminees({"1"});
    DataControl rows, answers;
    QVERIFY(rows.Open(kIde));
    QVERIFY(rows.BeginTransaction());
    QVERIFY(rows.SetValue("FullName", "changed"));
    QVERIFY(rows.Update());
    QVERIFY(answers.Open(kAnswers));
    QVERIFY(answers.AddNew() && answers.SetValue("Code", "2") && answers.Update());
    QVERIFY(!answers.IsNewRow());
    rows.RollbackTransaction();
    QCOMPARE(m_f->Exec("SELECT FullName FROM IDE WHERE Code='1'").toString(), QString("examinee 1"));
    QCOMPARE(m_f->Count("SELECT count(*) FROM Answer1"), 1);

    // The controls count their writes as not made: saving again makes them.
    QVERIFY(answers.IsNewRow());
    QVERIFY(answers.Update());
    QVERIFY(rows.Update());
    QCOMPARE(m_f->Exec("SELECT FullName FROM IDE WHERE Code='1'").toString(), QString("changed"));
    QCOMPARE(m_f->Count("SELECT count(*) FROM Answer1 WHERE Code=2"), 1);

    // Closing the control that began a transaction rolls it back.
    QVERIFY(rows.BeginTransaction());
    QVERIFY(rows.SetValue("FullName", "again") && rows.Update());
    rows.Close();
    QVERIFY(!DataControl::InTransaction());
    QCOMPARE(m_f->Exec("SELECT FullName FROM IDE WHERE Code='1'").toString(), QString("changed"));
}

// Another program holds the write lock for longer than the busy timeout.
void TestDataControl::lockedDatabaseIsSaidInPersian()
{
    m_f->AddExaminees({"1"});
    DataControl rows;
    QVERIFY(rows.Open(kIde));
    QVERIFY(rows.SetValue("FullName", "waits"));
    QVERIFY(QSqlQuery(m_f->Db()).exec("BEGIN IMMEDIATE"));
    QElapsedTimer waited;
    waited.start();
    QVERIFY(!rows.Update());
    QVERIFY(waited.elapsed() >= 3000); // it waited for the other writer first
    QCOMPARE(rows.LastErrorCode() & 0xFF, SQLITE_BUSY);
    const QStringList lines = rows.PersianError().split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], DatabaseError::Text(SQLITE_BUSY, QString()));
    QCOMPARE(lines[1], rows.LastError());
    QVERIFY(QSqlQuery(m_f->Db()).exec("ROLLBACK"));
    QVERIFY(rows.Update());
}

void TestDataControl::persianTextForFailures_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("says");
    QTest::newRow("busy") << SQLITE_BUSY << "چند ثانيه انتظار";
    QTest::newRow("locked table") << SQLITE_LOCKED << "چند ثانيه انتظار";
    QTest::newRow("read-only") << SQLITE_READONLY << "فقط خواندني";
    QTest::newRow("read-only, replaced underneath") << SQLITE_READONLY_DBMOVED << "جايگزين شده";
    QTest::newRow("disk full") << SQLITE_FULL << "جاي خالي ديسک";
    QTest::newRow("write error") << SQLITE_IOERR_WRITE << "خطاي ديسک";
    QTest::newRow("damaged") << SQLITE_CORRUPT << "آسيب ديده";
    QTest::newRow("code held twice") << SQLITE_CONSTRAINT_UNIQUE << "همين کد";
    QTest::newRow("file missing") << int(DatabaseError::FileMissing) << "پيدا نشد";
    QTest::newRow("restore here") << int(DatabaseError::BeingReplaced) << "بازيابي مي شود";
    QTest::newRow("restore in another window") << int(DatabaseError::RestoreElsewhere) << "پنجره ديگري";
    QTest::newRow("row deleted in another window") << int(DatabaseError::RowGone) << "حذف شده";
    QTest::newRow("anything else") << 0 << "انجام نشد";
}

void TestDataControl::persianTextForFailures()
{
    QFETCH(int, code);
    QFETCH(QString, says);
    const QString text = DatabaseError::Text(code, "database is locked");
    QVERIFY2(text.section('\n', 0, 0).contains(says), qPrintable(text));
    QCOMPARE(text.section('\n', 1), QString("database is locked"));
    QVERIFY(!DatabaseError::Text(code, QString()).contains('\n'));
}

QTEST_GUILESS_MAIN(TestDataControl)
#include "tst_datacontrol.moc"
