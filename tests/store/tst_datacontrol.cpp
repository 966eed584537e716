// DataControl against a real database file made from data/KVRDB.sql.
#include "StoreFixture.h"
#include "store/DatabaseError.h"
#include "store/DataControl.h"

#include <QElapsedTimer>

#include <sqlite3.h>

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <limits>

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
    void filterByQueryMatchesFilterInMemory_data();
    void filterByQueryMatchesFilterInMemory();
    void filterQueriesUseTheCodeIndexes_data();
    void filterQueriesUseTheCodeIndexes();
    void rowsUnreadStayAsAtTheRefresh();
    void ownChangesSurviveReadingTheRest();
    void restoreReadsTheRowsNotYetRead();
    void failedLaterReadLeavesNoRows();

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
    // A copy with a second examinee plays the backup being restored (on a
    // server the restore writes the second examinee in).
    const QString backup = m_f->Folder() + "/backup.KVR";
    if (!m_f->OnServer()) {
        QVERIFY(QFile::copy(m_f->DbPath(), backup));
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
    if (m_f->OnServer()) {
        m_f->Exec("INSERT INTO IDE (Code) VALUES ('2')");
    } else {
        QVERIFY(QFile::remove(m_f->DbPath()));
        QVERIFY(QFile::copy(backup, m_f->DbPath()));
    }
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
    if (m_f->OnServer())
        QSKIP("The folder's name concerns the database file only.");
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
    m_f->Exec("DROP INDEX \"IDE_Code\""); // a file from before codes were unique may hold one twice
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
    QVERIFY(m_f->HoldWriteLock());
    QElapsedTimer waited;
    waited.start();
    QVERIFY(!rows.Update());
    QVERIFY(waited.elapsed() >= 3000); // it waited for the other writer first
    QCOMPARE(rows.LastErrorCode() & 0xFF, SQLITE_BUSY);
    const QStringList lines = rows.PersianError().split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], DatabaseError::Text(SQLITE_BUSY, QString()));
    QCOMPARE(lines[1], rows.LastError());
    QVERIFY(m_f->ReleaseWriteLock());
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

// Tables of every column type SQLite knows, each holding the same values
// stored as integers, reals, texts, blobs and NULL (converted as the column's
// type converts them). A filter that reaches SQLite as a query must keep
// exactly the rows the filter over rows in memory keeps, in the same order.
namespace {
struct Stored {
    QString tag;
    QVariant value;
};

QList<Stored> trickyValues()
{
    const double inf = std::numeric_limits<double>::infinity();
    return {
        {"int 1", qlonglong(1)}, {"int 2", qlonglong(2)}, {"int 7", qlonglong(7)}, {"int 7 again", qlonglong(7)},
        {"int 0", qlonglong(0)}, {"int -5", qlonglong(-5)}, {"int max", std::numeric_limits<qlonglong>::max()},
        {"real 1.5", 1.5}, {"real 0.1+0.2", 0.1 + 0.2}, {"real 1e20", 1e20}, {"real inf", inf},
        {"real -inf", -inf}, {"real 2.0", 2.0}, {"real 2^63", 9223372036854775808.0}, {"real tiny", 1e-310},
        {"text 02", "02"}, {"text blank 1", " 1"}, {"text 1 blank", "1 "}, {"text 1.0", "1.0"},
        {"text empty", ""}, {"text quote", "O'Brien"}, {"text Persian one", QString::fromUtf8("۱")},
        {"text abc", "abc"}, {"text 7", "7"}, {"text Inf", "Inf"}, {"text hex", "0x10"}, {"text 1e3", "1e3"},
        {"blob 1", QByteArray("1")}, {"blob empty", QByteArray("")}, {"blob abc", QByteArray("abc")},
        {"null", QVariant()},
    };
}

const QStringList kFilterValues = {
    "1", "02", "2", " 1", "1 ", "1.0", "1.5", "0.3", "7", "-5", "0", "", "O'Brien", QString::fromUtf8("۱"),
    "abc", "Inf", "-Inf", "1.0e+20", "9.22337203685478e+18", "9223372036854775807", "2.0", "0x10", "1e3",
    "1000.0", "1.0e-310", "x' OR '1'='1", "nothing",
};

QString filterOf(const QString &value)
{
    QString quoted = value;
    quoted.replace("'", "''");
    return "code='" + quoted + "'";
}

QStringList visibleTags(DataControl &dc)
{
    QStringList tags;
    for (int r = 0; r < dc.RecordCount(); ++r)
        tags << dc.ValueAt(r, dc.ColumnIndex("Tag"));
    return tags;
}
} // namespace

void TestDataControl::filterByQueryMatchesFilterInMemory_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("indexed");
    QTest::addColumn<bool>("newestFirst");
    QTest::newRow("INTEGER") << "INTEGER" << true << false;
    QTest::newRow("INTEGER, newest first") << "INTEGER" << true << true;
    QTest::newRow("TEXT") << "TEXT" << true << false;
    QTest::newRow("TEXT, newest first") << "TEXT" << true << true;
    QTest::newRow("NUMERIC") << "NUMERIC" << true << false;
    QTest::newRow("REAL") << "REAL" << true << false;
    QTest::newRow("no type") << "" << true << false;
    QTest::newRow("no index: read whole") << "INTEGER" << false << false;
}

void TestDataControl::filterByQueryMatchesFilterInMemory()
{
    QFETCH(QString, type);
    QFETCH(bool, indexed);
    QFETCH(bool, newestFirst);
    // A server's column holds only values of its type (a whole-number column
    // no text); the values it refuses are left out. Its whole-number and
    // text columns are found by query, others are read whole.
    static const QHash<QString, QString> serverTypes = {
        {"INTEGER", "bigint"}, {"TEXT", "text"}, {"NUMERIC", "numeric"}, {"REAL", "double precision"}, {"", "varchar"}};
    bool served = indexed;
    int stored = trickyValues().size();
    if (m_f->OnServer()) {
        served = indexed && (type == "INTEGER" || type == "TEXT" || type.isEmpty());
        m_f->Exec("CREATE TABLE Mixed (id bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, Code "
                  + serverTypes.value(type) + ", Tag text)");
        if (indexed)
            m_f->Exec("CREATE INDEX Mixed_code ON Mixed(Code)");
        stored = 0;
        for (const Stored &s : trickyValues()) {
            QSqlQuery q(m_f->Db());
            q.prepare(m_f->Sql("INSERT INTO Mixed (Code, Tag) VALUES (?, ?)"));
            q.addBindValue(s.value.typeId() == QMetaType::QByteArray ? QVariant(QString::fromUtf8(s.value.toByteArray()))
                                                                     : s.value);
            q.addBindValue(s.tag);
            stored += q.exec() ? 1 : 0;
        }
    } else {
        m_f->Exec("CREATE TABLE Mixed (id INTEGER PRIMARY KEY, Code " + type + ", Tag TEXT)");
        if (indexed)
            m_f->Exec("CREATE INDEX Mixed_code ON Mixed(Code)");
        QVERIFY(m_f->Db().transaction());
        for (const Stored &s : trickyValues())
            m_f->Exec("INSERT INTO Mixed (Code, Tag) VALUES (?, ?)", {s.value, s.tag});
        QVERIFY(m_f->Db().commit());
    }
    const QString source = newestFirst ? "select id,Code,Tag  from Mixed order by id desc " : "SELECT * FROM Mixed ";

    for (const QString &value : kFilterValues) {
        const QString filter = filterOf(value);
        DataControl inMemory, byQuery;
        QVERIFY(inMemory.Open(source));
        QVERIFY(byQuery.Open(source));
        QVERIFY(!byQuery.AllRowsRead());
        QCOMPARE(inMemory.RecordCount(), stored); // read whole
        QVERIFY(inMemory.AllRowsRead());
        QVERIFY(inMemory.Filter(filter));
        QVERIFY2(byQuery.Filter(filter), qPrintable(byQuery.LastError()));
        QCOMPARE(byQuery.AllRowsRead(), !served);
        QVERIFY2(visibleTags(byQuery) == visibleTags(inMemory),
                 qPrintable(filter + ": " + visibleTags(byQuery).join(", ") + " instead of "
                            + visibleTags(inMemory).join(", ")));
        QCOMPARE(byQuery.Value("Code"), inMemory.Value("Code"));
    }
}

void TestDataControl::filterQueriesUseTheCodeIndexes_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("emptyValue");
    QTest::newRow("answers") << kAnswers << false;
    QTest::newRow("answers, empty value") << kAnswers << true;
    QTest::newRow("examinees") << kIde << false;
    QTest::newRow("list newest first") << kList << true;
}

void TestDataControl::filterQueriesUseTheCodeIndexes()
{
    QFETCH(QString, source);
    QFETCH(bool, emptyValue);
    if (m_f->OnServer())
        QSKIP("The file's plan only: the server plans by the size of its tables, so a plan on a few rows says "
              "nothing (the store benchmark measures the look-ups on the server).");
    const QString sql = DataControl::FilterStatement(source, "Code", emptyValue);
    QVERIFY(!sql.isEmpty());
    QSqlQuery plan(m_f->Db());
    QVERIFY(plan.prepare("EXPLAIN QUERY PLAN " + sql));
    for (int i = 0; i < sql.count('?'); ++i)
        plan.addBindValue("1");
    QVERIFY2(plan.exec(), qPrintable(plan.lastError().text()));
    QStringList steps;
    while (plan.next())
        steps << plan.value(3).toString();
    QVERIFY2(!steps.isEmpty() && steps.filter("SCAN").isEmpty(), qPrintable(steps.join(" / ")));
}

// While a control has rows unread, what other controls write does not show
// in it until it is refreshed: it shows what a control that read everything
// at the same refresh shows.
void TestDataControl::rowsUnreadStayAsAtTheRefresh()
{
    for (int code = 1; code <= 6; ++code)
        m_f->Exec("INSERT INTO Answer1 (Code, \"1\") VALUES (?, 'old')", {code});
    DataControl lazy, whole, writer;
    QVERIFY(lazy.Open(kAnswers));
    QVERIFY(whole.Open(kAnswers));
    whole.RecordCount();
    QVERIFY(!lazy.AllRowsRead());
    QVERIFY(whole.AllRowsRead());

    auto rows = [](DataControl &dc) {
        QStringList out;
        for (int r = 0; r < dc.RecordCount(); ++r)
            out << dc.ValueAt(r, dc.ColumnIndex("Code")) + ":" + dc.ValueAt(r, dc.ColumnIndex("1"));
        return out;
    };
    auto sameWith = [&](const QString &filter) {
        QVERIFY(lazy.Filter(filter));
        QVERIFY(whole.Filter(filter));
        QCOMPARE(rows(lazy), rows(whole));
    };

    QVERIFY(writer.Open(kAnswers));
    auto write = [&](const QString &code, const QString &value) {
        QVERIFY(writer.Filter("code='" + code + "'"));
        QVERIFY(writer.SetValue("1", value));
        QVERIFY(writer.Update());
    };
    write("2", "new");      // a row not yet read here
    sameWith("code='2'");   // read after the write: still the old answer
    write("2", "newer");    // a row read here already
    sameWith("code='2'");
    write("3", "new");
    QVERIFY(writer.Filter("code='4'"));
    QVERIFY(writer.Delete());
    QVERIFY(writer.AddNew());
    QVERIFY(writer.SetValue("Code", "7"));
    QVERIFY(writer.Update());
    sameWith("code='4'");   // deleted since: still there
    sameWith("code='7'");   // added since: not there
    sameWith("");           // everything else, as it was
    QCOMPARE(rows(lazy), (QStringList{"1:old", "2:old", "3:old", "4:old", "5:old", "6:old"}));
    QVERIFY(lazy.Refresh());
    QVERIFY(lazy.Filter("code='7'"));
    QCOMPARE(lazy.RecordCount(), 1);
    QVERIFY(lazy.Filter("code='3'"));
    QCOMPARE(lazy.Value("1"), QString("new"));
}

// Changes made through a control whose rows are partly read stay with it
// when it reads the rest: an edit not yet committed, and rows it added, which
// stay after the statement's rows until it is refreshed.
void TestDataControl::ownChangesSurviveReadingTheRest()
{
    m_f->AddExaminees({"1", "2", "3"});
    DataControl dc;
    QVERIFY(dc.Open(kList));
    QVERIFY(dc.Filter("code='2'"));
    QVERIFY(!dc.AllRowsRead());
    QVERIFY(dc.SetValue("FullName", "edited"));
    QVERIFY(dc.AddNew());
    QVERIFY(dc.SetValue("Code", "9"));
    QVERIFY(dc.Update());
    QVERIFY(dc.AddNew());
    QVERIFY(dc.SetValue("Code", "10")); // not committed
    QVERIFY(dc.Filter(""));
    QStringList codes, names;
    for (int r = 0; r < dc.RecordCount(); ++r) {
        codes << dc.ValueAt(r, dc.ColumnIndex("Code"));
        names << dc.ValueAt(r, dc.ColumnIndex("FullName"));
    }
    QCOMPARE(codes, (QStringList{"3", "2", "1", "9", "10"}));
    QCOMPARE(names.at(1), QString("edited"));
    QCOMPARE(m_f->Exec("SELECT FullName FROM IDE WHERE Code='2'").toString(), QString("examinee 2"));
    QVERIFY(dc.Filter("code='2'"));
    QVERIFY(dc.Update());
    QCOMPARE(m_f->Exec("SELECT FullName FROM IDE WHERE Code='2'").toString(), QString("edited"));

    // Deleting the first row of a partly read list: the next row becomes first.
    DataControl list;
    QVERIFY(list.Open(kList));
    QCOMPARE(list.Value("Code"), QString("9"));
    QVERIFY(list.Delete());
    QCOMPARE(list.Value("Code"), QString("3"));
    QCOMPARE(list.RecordCount(), 3);
}

// A restore takes the file away: every control keeps showing its rows,
// including the rows it had not read yet.
void TestDataControl::restoreReadsTheRowsNotYetRead()
{
    m_f->AddExaminees({"1", "2", "3"});
    DataControl answers;
    QVERIFY(answers.Open(kAnswers));
    QVERIFY(answers.Filter("code='2'"));
    QVERIFY(!answers.AllRowsRead());
    DataControl::CloseAll();
    QVERIFY(answers.Filter(""));
    QCOMPARE(answers.RecordCount(), 3);
    QCOMPARE(DataControl::OpenCount(), 0);
    QVERIFY(DataControl::ReopenAll());
}

// Rows read after the refresh can fail to come (the table is gone): the
// control is then left as a failed refresh leaves it, with no rows and the
// reason, never with a part of them.
void TestDataControl::failedLaterReadLeavesNoRows()
{
    m_f->AddExaminees({"1", "2", "3"});
    DataControl counted, filtered;
    QVERIFY(counted.Open(kAnswers));
    QVERIFY(filtered.Open(kAnswers));
    QCOMPARE(counted.Value("Code"), QString("1"));
    m_f->Exec(m_f->OnServer() ? "DROP TABLE Answer1 CASCADE" : "DROP TABLE Answer1");
    QCOMPARE(counted.RecordCount(), 0);
    QCOMPARE(counted.CurrentRow(), -1);
    QVERIFY(!counted.LastError().isEmpty());
    QVERIFY(!filtered.Filter("code='2'"));
    QVERIFY(!filtered.LastError().isEmpty());
    QCOMPARE(filtered.RecordCount(), 0);
}

QTEST_GUILESS_MAIN(TestDataControl)
#include "tst_datacontrol.moc"
