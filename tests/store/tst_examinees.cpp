// The registry's rules: the next examinee code, the answer row, deletion.
#include "StoreFixture.h"
#include "store/DataControl.h"
#include "store/Examinees.h"

#include <QTest>

class TestExaminees : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void nextCode_data();
    void nextCode();
    void codeValue_data();
    void codeValue();
    void ensureAnswerRowMakesOneRowOnly();
    void deleteExaminee_data();
    void deleteExaminee();
    void deleteIsAllOrNothing();

private:
    StoreFixture *m_f = nullptr;
};

void TestExaminees::init()
{
    m_f = new StoreFixture;
    QVERIFY2(m_f->ok(), qPrintable(m_f->error()));
}

void TestExaminees::cleanup()
{
    delete m_f;
    m_f = nullptr;
}

void TestExaminees::nextCode_data()
{
    QTest::addColumn<QStringList>("codes");   // in insertion order
    QTest::addColumn<QStringList>("deleted"); // deleted afterwards
    QTest::addColumn<QString>("next");
    QTest::newRow("empty table") << QStringList{} << QStringList{} << "1";
    QTest::newRow("one after the newest") << QStringList{"1", "2", "3"} << QStringList{} << "4";
    QTest::newRow("freed code handed out again") << QStringList{"1", "2", "3"} << QStringList{"3"} << "3";
    QTest::newRow("newest decides, not the highest") << QStringList{"1", "5"} << QStringList{} << "6";
    QTest::newRow("newest is low") << QStringList{"5", "1"} << QStringList{} << "2";
    QTest::newRow("steps past codes in use") << QStringList{"2", "3", "5", "1"} << QStringList{} << "4";
    QTest::newRow("everything freed") << QStringList{"1", "2"} << QStringList{"1", "2"} << "1";
    QTest::newRow("empty code counts as 0") << QStringList{"4", ""} << QStringList{} << "1";
    QTest::newRow("text code counts as 0") << QStringList{"1", "abc"} << QStringList{} << "2";
    QTest::newRow("steps past a run") << QStringList{"3", "4", "1", "2"} << QStringList{} << "5";
}

void TestExaminees::nextCode()
{
    QFETCH(QStringList, codes);
    QFETCH(QStringList, deleted);
    QFETCH(QString, next);
    m_f->AddExaminees(codes);
    for (const QString &c : deleted)
        m_f->Exec("DELETE FROM IDE WHERE Code=?", {c});
    DataControl dc;
    QCOMPARE(Examinees::NextCode(dc), next);
    // The control is left filtered by the new code, which no row holds.
    if (!dc.FilterText().isEmpty())
        QCOMPARE(dc.FilterText(), "code='" + next + "'");
    QCOMPARE(dc.RecordCount(), 0);
}

void TestExaminees::codeValue_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<qint64>("value");
    QTest::newRow("digits") << "17" << qint64(17);
    QTest::newRow("blanks") << " 8 " << qint64(8);
    QTest::newRow("empty") << "" << qint64(0);
    QTest::newRow("letters") << "a1" << qint64(0);
}

void TestExaminees::codeValue()
{
    QFETCH(QString, code);
    QFETCH(qint64, value);
    QCOMPARE(Examinees::CodeValue(code), value);
}

void TestExaminees::ensureAnswerRowMakesOneRowOnly()
{
    m_f->AddExaminees({"3"}, false);
    DataControl dc;
    QVERIFY2(Examinees::EnsureAnswerRow(dc, "3"), qPrintable(dc.LastError()));
    QVERIFY(Examinees::EnsureAnswerRow(dc, "3"));
    QVERIFY(Examinees::EnsureAnswerRow(dc, " 3")); // the numeric value is what counts
    QCOMPARE(m_f->Count("SELECT count(*) FROM Answer1"), 1);
    QCOMPARE(m_f->Count("SELECT count(*) FROM Answer1 WHERE Code=3 AND \"1\" IS NULL AND \"40\" IS NULL"), 1);
    // Stored as a number, as the code's numeric value is written.
    if (m_f->OnServer())
        QCOMPARE(m_f->Exec("SELECT pg_typeof(Code)::text FROM Answer1").toString(), QString("bigint"));
    else
        QCOMPARE(m_f->Exec("SELECT typeof(Code) FROM Answer1").toString(), QString("integer"));
}

void TestExaminees::deleteExaminee_data()
{
    QTest::addColumn<bool>("withAnswerRow");
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("ideLeft");
    QTest::addColumn<int>("answersLeft");
    QTest::newRow("both rows") << true << "2" << 2 << 2;
    QTest::newRow("no answer row") << false << "2" << 2 << 0;
    QTest::newRow("unknown code") << true << "9" << 3 << 3;
    QTest::newRow("empty code") << true << "" << 3 << 3;
}

void TestExaminees::deleteExaminee()
{
    QFETCH(bool, withAnswerRow);
    QFETCH(QString, code);
    QFETCH(int, ideLeft);
    QFETCH(int, answersLeft);
    m_f->AddExaminees({"1", "2", "3"}, withAnswerRow);
    DataControl dc;
    QVERIFY2(Examinees::DeleteExaminee(dc, code), qPrintable(dc.LastError()));
    QCOMPARE(m_f->Count("SELECT count(*) FROM IDE"), ideLeft);
    QCOMPARE(m_f->Count("SELECT count(*) FROM Answer1"), answersLeft);
    QCOMPARE(m_f->Count("SELECT count(*) FROM IDE WHERE Code='1'"), 1);
}

// The answer row cannot be deleted: the examinee stays too, so no code is
// given out again while an old answer row still holds it.
void TestExaminees::deleteIsAllOrNothing()
{
    m_f->AddExaminees({"1", "2"});
    m_f->RefuseWrites("Answer1", "answers kept", {"DELETE"});
    DataControl dc;
    QVERIFY(!Examinees::DeleteExaminee(dc, "2"));
    QVERIFY(dc.LastError().contains("answers kept"));
    QVERIFY(!DataControl::InTransaction());
    QCOMPARE(m_f->Count("SELECT count(*) FROM IDE WHERE Code='2'"), 1);
    QCOMPARE(m_f->Count("SELECT count(*) FROM Answer1 WHERE Code=2"), 1);
}

QTEST_GUILESS_MAIN(TestExaminees)
#include "tst_examinees.moc"
