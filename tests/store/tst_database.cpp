// The delivered database file, the check that a file is a KVR database, and
// the translation of the screens' record sources.
#include "StoreFixture.h"
#include "store/DataControl.h"

#include <QFile>
#include <QTest>

#include <sqlite3.h>

class TestDatabase : public QObject
{
    Q_OBJECT
private slots:
    void recordSourceTranslation_data();
    void recordSourceTranslation();
    void recordSourceRejected_data();
    void recordSourceRejected();
    void splitStatements_data();
    void splitStatements();

    void deliveredContent();
    void queryMeColumnsAndOrder();

    void validate_data();
    void validate();
    void validateNeverCreatesTheFile();
    void createKeepsAnExistingFile();
    void createLeavesNoFileOnBadSql();

    void queryMeIsTheDeliveredDefinition();
    void untrustedContent_data();
    void untrustedContent();
    void prepareSwitchesToRollbackJournal();
    void prepareMakesCodesUnique_data();
    void prepareMakesCodesUnique();
};

void TestDatabase::recordSourceTranslation_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("sqlWithRowid");
    QTest::newRow("registry list")
        << "select id,FullName,Alter,Geschlecht,Heirat,Datum1,Bildung,TelNummer1,Tester,Code  from IDE order by id desc "
        << R"(SELECT "id","FullName","Alter","Geschlecht","Heirat","Datum1","Bildung","TelNummer1","Tester","Code" FROM "IDE" ORDER BY "id" DESC)"
        << R"(SELECT rowid AS kvr_rowid,"id","FullName","Alter","Geschlecht","Heirat","Datum1","Bildung","TelNummer1","Tester","Code" FROM "IDE" ORDER BY "id" DESC)";
    QTest::newRow("answer-sheet list")
        << "select id,FullName,Alter,Code  from IDE order by id desc "
        << R"(SELECT "id","FullName","Alter","Code" FROM "IDE" ORDER BY "id" DESC)"
        << R"(SELECT rowid AS kvr_rowid,"id","FullName","Alter","Code" FROM "IDE" ORDER BY "id" DESC)";
    QTest::newRow("all rows") << "SELECT * FROM Answer1 " << R"(SELECT * FROM "Answer1")"
                              << R"(SELECT rowid AS kvr_rowid,* FROM "Answer1")";
    QTest::newRow("ascending, lower case, no trailing blank")
        << "select Code from QUS order by Code" << R"(SELECT "Code" FROM "QUS" ORDER BY "Code")"
        << R"(SELECT rowid AS kvr_rowid,"Code" FROM "QUS" ORDER BY "Code")";
}

void TestDatabase::recordSourceTranslation()
{
    QFETCH(QString, source);
    QFETCH(QString, sql);
    QFETCH(QString, sqlWithRowid);
    const KvrDatabase::Source s = KvrDatabase::ParseRecordSource(source);
    QVERIFY2(s.ok, qPrintable(s.error));
    QCOMPARE(s.Sql(false), sql);
    QCOMPARE(s.Sql(true), sqlWithRowid);
}

void TestDatabase::recordSourceRejected_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("empty") << "";
    QTest::newRow("two statements") << "SELECT * FROM IDE; DELETE FROM IDE";
    QTest::newRow("where clause") << "SELECT * FROM IDE WHERE Code='1'";
    QTest::newRow("not a select") << "DELETE FROM IDE";
}

void TestDatabase::recordSourceRejected()
{
    QFETCH(QString, source);
    const KvrDatabase::Source s = KvrDatabase::ParseRecordSource(source);
    QVERIFY(!s.ok);
    QVERIFY(!s.error.isEmpty());
}

void TestDatabase::splitStatements_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("statements");
    QTest::newRow("two") << "CREATE TABLE a (x);\nINSERT INTO a VALUES (1);\n"
                         << QStringList{"CREATE TABLE a (x)", "INSERT INTO a VALUES (1)"};
    QTest::newRow("semicolon in a text") << "INSERT INTO a VALUES ('x;y');"
                                         << QStringList{"INSERT INTO a VALUES ('x;y')"};
    QTest::newRow("quote doubled") << "INSERT INTO a VALUES ('it''s;');SELECT 1"
                                   << QStringList{"INSERT INTO a VALUES ('it''s;')", "SELECT 1"};
    QTest::newRow("comments") << "-- a; comment\nSELECT 1; /* b; */ SELECT 2;"
                              << QStringList{"SELECT 1", "SELECT 2"};
    QTest::newRow("quoted identifier") << "CREATE TABLE \"a;b\" (x);" << QStringList{"CREATE TABLE \"a;b\" (x)"};
}

void TestDatabase::splitStatements()
{
    QFETCH(QString, script);
    QFETCH(QStringList, statements);
    QCOMPARE(KvrDatabase::SplitStatements(script), statements);
}

void TestDatabase::deliveredContent()
{
    StoreFixture f;
    QVERIFY2(f.ok(), qPrintable(f.error()));
    QVERIFY(KvrDatabase::Validate(f.DbPath()));

    DataControl qus;
    QVERIFY2(qus.Open("SELECT * FROM QUS "), qPrintable(qus.LastError()));
    QCOMPARE(qus.Columns(), (QStringList{"Code", "QU", "A", "B", "C"}));
    QCOMPARE(qus.RecordCount(), 40);
    QSet<QString> texts;
    for (int r = 0; r < 40; ++r) {
        QCOMPARE(qus.ValueAt(r, 0), QString::number(r + 1));
        for (int c = 1; c <= 4; ++c)
            QVERIFY2(!qus.ValueAt(r, c).trimmed().isEmpty(), qPrintable(QString("item %1").arg(r + 1)));
        texts.insert(qus.ValueAt(r, 1));
    }
    QCOMPARE(texts.size(), 40);

    DataControl theme;
    QVERIFY(theme.Open("SELECT * FROM Theme "));
    QCOMPARE(theme.Columns(), (QStringList{"Name", "Adresse", "E-Mail", "Telegram", "Insta", "Web", "Twitter",
                                           "Facebook", "Tel", "Mosch", "Logo", "TH"}));
    QCOMPARE(theme.RecordCount(), 1);
    QVERIFY(!theme.Value("Name").isEmpty());
    QVERIFY(!theme.Value("Adresse").isEmpty());
    for (const char *c : {"E-Mail", "Telegram", "Insta", "Web", "Twitter", "Facebook", "Tel", "Mosch"})
        QCOMPARE(theme.Value(QLatin1String(c)), QString());
    QCOMPARE(theme.Value("Logo"), QString("0"));
    QCOMPARE(theme.Value("TH"), QString("1"));

    DataControl ide;
    QVERIFY(ide.Open("SELECT * FROM IDE "));
    QCOMPARE(ide.Columns(), (QStringList{"id", "Code", "FullName", "Alter", "Geschlecht", "Heirat", "Datum1",
                                         "Bildung", "TelNummer1", "Tester"}));
    QCOMPARE(ide.RecordCount(), 0);
}

void TestDatabase::queryMeColumnsAndOrder()
{
    StoreFixture f;
    QVERIFY(f.ok());
    f.AddExaminees({"7", "3"});
    f.AddExaminees({"9"}, false); // no answer row: still one line, answers empty
    f.Exec(R"(UPDATE Answer1 SET "1"='2', "40"='1' WHERE Code=3)");

    DataControl q;
    QVERIFY2(q.Open("SELECT * FROM QueryMe "), qPrintable(q.LastError()));
    QStringList expected{"Code", "FullName", "Alter", "Geschlecht", "Heirat", "Bildung"};
    for (int i = 1; i <= 40; ++i)
        expected << QString::number(i);
    QCOMPARE(q.Columns(), expected);
    QCOMPARE(q.RecordCount(), 3);
    QCOMPARE(q.ValueAt(0, 0), QString("7"));
    QCOMPARE(q.ValueAt(1, 0), QString("3"));
    QCOMPARE(q.ValueAt(1, q.ColumnIndex("1")), QString("2"));
    QCOMPARE(q.ValueAt(1, q.ColumnIndex("40")), QString("1"));
    QCOMPARE(q.ValueAt(2, 0), QString("9"));
    QCOMPARE(q.ValueAt(2, q.ColumnIndex("1")), QString());
    // A view cannot be written through.
    QVERIFY(!q.SetValue("FullName", "x"));
    QVERIFY(!q.AddNew());
}

// Each row damages a fresh copy of the delivered file in its own way.
void TestDatabase::validate_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<bool>("valid");
    QTest::newRow("delivered file") << "" << true;
    QTest::newRow("text file") << "text" << false;
    QTest::newRow("empty file") << "empty" << false;
    QTest::newRow("cut short") << "truncate" << false;
    QTest::newRow("pages overwritten") << "scribble" << false;
    QTest::newRow("view missing") << "DROP VIEW QueryMe" << false;
    QTest::newRow("table missing") << "DROP TABLE Theme" << false;
    QTest::newRow("answer column missing") << "ALTER TABLE Answer1 RENAME COLUMN \"40\" TO \"41\"" << false;
}

void TestDatabase::validate()
{
    QFETCH(QString, damage);
    QFETCH(bool, valid);
    StoreFixture f;
    QVERIFY(f.ok());
    const QString path = f.DbPath();
    if (damage == "text" || damage == "empty") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (damage == "text")
            file.write("Standard Jet DB, or anything else that is not SQLite\n");
    } else if (damage == "truncate") {
        QFile file(path);
        QVERIFY(file.resize(file.size() / 2));
    } else if (damage == "scribble") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        // Leave the header page alone, ruin every page after it.
        for (qint64 pos = 4096; pos < file.size(); pos += 512) {
            file.seek(pos);
            file.write(QByteArray(256, '\xA5'));
        }
    } else if (!damage.isEmpty()) {
        f.Exec(damage);
        f.Db().close();
    }
    QString error;
    QCOMPARE(KvrDatabase::Validate(path, &error), valid);
    QCOMPARE(error.isEmpty(), valid);
}

void TestDatabase::validateNeverCreatesTheFile()
{
    StoreFixture f;
    QVERIFY(QFile::remove(f.DbPath()));
    QString error;
    QVERIFY(!KvrDatabase::Validate(f.DbPath(), &error));
    QVERIFY(!error.isEmpty());
    DataControl dc;
    QVERIFY(!dc.Open("SELECT * FROM IDE "));
    QVERIFY(dc.LastError().contains(f.DbPath()));
    QCOMPARE(dc.RecordCount(), 0);
    QVERIFY(!QFile::exists(f.DbPath()));
}

void TestDatabase::createKeepsAnExistingFile()
{
    StoreFixture f;
    QVERIFY(f.ok());
    f.AddExaminees({"1"});
    const QString sql = QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath("data/KVRDB.sql");
    QString error;
    QVERIFY(!KvrDatabase::CreateFromSql(sql, f.DbPath(), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(f.Count("SELECT count(*) FROM IDE"), 1);
}

void TestDatabase::createLeavesNoFileOnBadSql()
{
    QTemporaryDir dir;
    const QString sql = dir.filePath("bad.sql");
    QFile file(sql);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("CREATE TABLE IDE (id INTEGER);\nINSERT INTO nowhere VALUES (1);\n");
    file.close();
    const QString db = dir.filePath("KVRDB.mdb");
    QString error;
    QVERIFY(!KvrDatabase::CreateFromSql(sql, db, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(db));
    QVERIFY(!QFile::exists(db + ".part"));
}

namespace {
char headerByte(const QString &path, int at)
{
    QFile f(path);
    const QByteArray head = f.open(QIODevice::ReadOnly) ? f.read(at + 1) : QByteArray();
    return head.size() > at ? head.at(at) : char(-1);
}

bool uniqueIndexOn(StoreFixture &f, const QString &table)
{
    return f.Count("SELECT count(*) FROM pragma_index_list(?) AS il WHERE il.\"unique\" = 1 "
                   "AND (SELECT name FROM pragma_index_info(il.name)) = 'Code'",
                   {table})
           == 1;
}
} // namespace

void TestDatabase::queryMeIsTheDeliveredDefinition()
{
    StoreFixture f;
    QVERIFY(f.ok());
    const QString stored = f.Exec("SELECT sql FROM sqlite_master WHERE name = 'QueryMe'").toString();
    QCOMPARE(stored.simplified(), KvrDatabase::QueryMeDefinition());
    f.Db().close();
    QCOMPARE(KvrDatabase::UntrustedContent(f.DbPath()), QString());
}

// Each row changes a fresh copy of the delivered file; all of them still
// pass Validate().
void TestDatabase::untrustedContent_data()
{
    QTest::addColumn<QStringList>("change");
    QTest::addColumn<bool>("refused");
    const QString ours = KvrDatabase::QueryMeDefinition();
    const QString redefine = "DROP VIEW QueryMe";
    QTest::newRow("trigger deleting every examinee")
        << QStringList{"CREATE TRIGGER wipe AFTER INSERT ON IDE BEGIN DELETE FROM IDE; END"} << true;
    QTest::newRow("harmless-looking trigger")
        << QStringList{"CREATE TRIGGER t BEFORE UPDATE ON Theme BEGIN SELECT 1; END"} << true;
    QTest::newRow("QueryMe hides every row")
        << QStringList{redefine, QString(ours).replace("ORDER BY", "WHERE IDE.id < 0 ORDER BY")} << true;
    QTest::newRow("QueryMe with names swapped")
        << QStringList{redefine, QString(ours).replace("IDE.FullName AS FullName", "IDE.Tester AS FullName")}
        << true;
    QTest::newRow("QueryMe laid out on other lines")
        << QStringList{redefine, QString(ours).replace(", ", ",\n    ")} << false;
    QTest::newRow("an index of its own") << QStringList{"CREATE INDEX by_name ON IDE (FullName)"} << false;
}

void TestDatabase::untrustedContent()
{
    QFETCH(QStringList, change);
    QFETCH(bool, refused);
    StoreFixture f;
    QVERIFY(f.ok());
    for (const QString &statement : change)
        f.Exec(statement);
    f.Db().close();
    QVERIFY(KvrDatabase::Validate(f.DbPath()));
    const QString why = KvrDatabase::UntrustedContent(f.DbPath());
    QCOMPARE(!why.isEmpty(), refused);
    if (refused)
        QVERIFY2(why.contains(QChar(0x0627)), qPrintable(why)); // said in Persian
}

void TestDatabase::prepareSwitchesToRollbackJournal()
{
    StoreFixture f;
    QVERIFY(f.ok());
    QCOMPARE(f.Exec("PRAGMA journal_mode=WAL").toString(), QString("wal"));
    f.AddExaminees({"1"});
    f.Db().close();
    QCOMPARE(headerByte(f.DbPath(), 18), char(2)); // the file says WAL

    const KvrDatabase::Preparation p = KvrDatabase::Prepare(f.DbPath());
    QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
    QCOMPARE(headerByte(f.DbPath(), 18), char(1));
    QVERIFY(!QFile::exists(f.DbPath() + "-wal"));
    QCOMPARE(f.Exec("PRAGMA journal_mode").toString(), QString("delete"));
    QCOMPARE(f.Count("SELECT count(*) FROM IDE"), 1);
}

void TestDatabase::prepareMakesCodesUnique_data()
{
    QTest::addColumn<QStringList>("examinees"); // codes in IDE
    QTest::addColumn<QStringList>("answers");   // codes in Answer1
    QTest::addColumn<QStringList>("twiceIde");
    QTest::addColumn<QStringList>("twiceAnswer");
    QTest::newRow("no codes held twice") << QStringList{"1", "2", "3"} << QStringList{"1", "2", "3"}
                                         << QStringList() << QStringList();
    QTest::newRow("examinees held twice") << QStringList{"5", "1", "5", "12", "12"} << QStringList{"1", "5", "12"}
                                          << QStringList{"5", "12"} << QStringList();
    QTest::newRow("answer rows held twice") << QStringList{"1", "2"} << QStringList{"1", "2", "2"}
                                            << QStringList() << QStringList{"2"};
}

void TestDatabase::prepareMakesCodesUnique()
{
    QFETCH(QStringList, examinees);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, twiceIde);
    QFETCH(QStringList, twiceAnswer);
    StoreFixture f;
    QVERIFY(f.ok());
    // The delivered file has the indexes; a file from before them has none.
    QVERIFY(uniqueIndexOn(f, "IDE"));
    QVERIFY(uniqueIndexOn(f, "Answer1"));
    f.Exec("DROP INDEX IDE_Code");
    f.Exec("DROP INDEX Answer1_Code");
    f.AddExaminees(examinees, false);
    for (const QString &code : answers)
        f.Exec("INSERT INTO Answer1 (Code) VALUES (?)", {code.toLongLong()});
    f.Db().close();

    const KvrDatabase::Preparation p = KvrDatabase::Prepare(f.DbPath());
    QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
    QCOMPARE(p.duplicateExamineeCodes, twiceIde);
    QCOMPARE(p.duplicateAnswerCodes, twiceAnswer);
    QCOMPARE(uniqueIndexOn(f, "IDE"), twiceIde.isEmpty());
    QCOMPARE(uniqueIndexOn(f, "Answer1"), twiceAnswer.isEmpty());
    // Nothing was deleted, and the file keeps working.
    QCOMPARE(f.Count("SELECT count(*) FROM IDE"), int(examinees.size()));
    QCOMPARE(f.Count("SELECT count(*) FROM Answer1"), int(answers.size()));
    DataControl dc;
    QVERIFY(dc.Open("SELECT * FROM IDE "));
    QVERIFY(dc.AddNew() && dc.SetValue("Code", "99") && dc.Update());

    const QString message = KvrDatabase::DuplicatesMessage(p);
    QCOMPARE(message.isEmpty(), twiceIde.isEmpty() && twiceAnswer.isEmpty());
    for (const QString &code : twiceIde + twiceAnswer)
        QVERIFY2(message.contains(code), qPrintable(message));
    // Once the codes are unique the index keeps them so.
    if (twiceIde.isEmpty()) {
        QVERIFY(!dc.AddNew() || !dc.SetValue("Code", "99") || !dc.Update());
        QCOMPARE(dc.LastErrorCode(), SQLITE_CONSTRAINT_UNIQUE);
    }
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
