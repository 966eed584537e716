#include "XlsReadBack.h"
#include "common/ProgramFolder.h"
#include "common/SafeFile.h"
#include "common/ui/Dialogs.h"
#include "results/ExcelExport.h"
#include "results/ui/Frm_Excel.h"
#include "store/KvrDatabase.h"
#include "store/ui/BoundGrid.h"
#include "tests/store/StoreFixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

namespace {

const QStringList kHeadings = [] {
    QStringList h = {QString::fromUtf8("کد_آزمودني"), QString::fromUtf8("نام_و_نام_خانوادگي"), QString::fromUtf8("سن"),
                     QString::fromUtf8("جنسيت"), QString::fromUtf8("تاهل"), QString::fromUtf8("تحصيلات")};
    for (int i = 1; i <= 40; ++i)
        h << QStringLiteral("S%1").arg(i);
    return h;
}();

const QString kSaved = QString::fromUtf8("ذخيره شد");

struct Examinee
{
    QString code, name, age, gender, marital, education;
    QStringList answers; // 40 texts, or empty for no answer row
};

// The database of the test (the file, or a server) and the program folder.
std::unique_ptr<StoreFixture> g_store;

// One way to reach the database outside the screens: a connection of the
// test's own, values bound.
void Sql(const QString &statement, const QVariantList &values = {})
{
    QSqlQuery q(g_store->Db());
    if (values.isEmpty()) {
        QVERIFY2(q.exec(g_store->Sql(statement)), qPrintable(q.lastError().text()));
        return;
    }
    QVERIFY(q.prepare(g_store->Sql(statement)));
    for (const QVariant &v : values)
        q.addBindValue(v);
    QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
}

void AddExaminee(const Examinee &e)
{
    Sql(QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht, Heirat, Bildung) VALUES (?,?,?,?,?,?)"),
        {e.code, e.name, e.age, e.gender, e.marital, e.education});
    if (e.answers.isEmpty())
        return;
    QString cols = QStringLiteral("Code");
    QString marks = QStringLiteral("?");
    QVariantList values = {e.code.toInt()};
    for (int i = 0; i < 40; ++i) {
        cols += QStringLiteral(",\"%1\"").arg(i + 1);
        marks += QStringLiteral(",?");
        values << (e.answers[i].isEmpty() ? QVariant() : QVariant(e.answers[i]));
    }
    Sql(QStringLiteral("INSERT INTO Answer1 (%1) VALUES (%2)").arg(cols, marks), values);
}

QStringList RowOf(const Examinee &e)
{
    QStringList r = {e.code, e.name, e.age, e.gender, e.marital, e.education};
    for (int i = 0; i < 40; ++i)
        r << (e.answers.isEmpty() ? QString() : e.answers[i]);
    return r;
}

QStringList Answers(int seed)
{
    QStringList a;
    for (int i = 0; i < 40; ++i)
        a << QString::number((i + seed) % 3);
    return a;
}

} // namespace

class TestFrmExcel : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void headingsAndCellsReadBackExactly();
    void emptyDatabaseGivesTheHeaderRowOnly();
    void chosenNameGetsOneXls_data();
    void chosenNameGetsOneXls();
    void fileTypeAndScoresChooseWhatIsWritten_data();
    void fileTypeAndScoresChooseWhatIsWritten();
    void eachExportReadsTheDatabaseAfresh();
    void cancellingDoesNothing();
    void successMovesTheDialogAndCurrentFolderToTheProgramFolder();
    void failureIsReportedAndChangesNothing_data();
    void failureIsReportedAndChangesNothing();

private:
    QString exportTo(Frm_Excel &form, const QString &chosen);

    QTemporaryDir m_out;
    QString m_startDir;
};

void TestFrmExcel::init()
{
    m_startDir = QDir::currentPath();
    g_store = std::make_unique<StoreFixture>();
    QVERIFY2(g_store->ok(), qPrintable(g_store->error()));
    Dialogs::Test::Install();
}

void TestFrmExcel::cleanup()
{
    Dialogs::Test::Uninstall();
    QDir::setCurrent(m_startDir);
    g_store.reset();
    QDir(m_out.path()).removeRecursively();
    QDir().mkpath(m_out.path());
}

QString TestFrmExcel::exportTo(Frm_Excel &form, const QString &chosen)
{
    Dialogs::Test::QueueFileName(chosen);
    form.PushBSave()->click();
    return chosen;
}

void TestFrmExcel::headingsAndCellsReadBackExactly()
{
    const QList<Examinee> people = {
        {"1", QString::fromUtf8("علي كريمي"), "34", QString::fromUtf8("مرد"), QString::fromUtf8("متاهل"),
         QString::fromUtf8("کارشناسي"), Answers(0)},
        {"2", QString::fromUtf8("مريم احمدي"), "27", QString::fromUtf8("زن"), QString(), QString(), Answers(1)},
        // registered, nothing answered yet
        {"3", QString::fromUtf8("رضا"), "19", QString::fromUtf8("مرد"), QString::fromUtf8("مجرد"), "", {}},
    };
    Examinee partly = {"10", QString::fromUtf8("سارا ‌ي"), "45", QString::fromUtf8("زن"), QString::fromUtf8("بيوه"),
                       QStringLiteral("PhD"), Answers(2)};
    partly.answers[5] = QString();
    partly.answers[39] = QString();
    for (const Examinee &e : people)
        AddExaminee(e);
    AddExaminee(partly);

    Frm_Excel form;
    for (int c = 0; c < kHeadings.size(); ++c)
        QCOMPARE(form.VSFlexGrid1()->TextMatrix(0, c + 1), kHeadings[c]);

    const QString path = m_out.filePath(QStringLiteral("all.xls"));
    exportTo(form, path);
    QCOMPARE(Dialogs::Test::Boxes().size(), 1);
    QCOMPARE(Dialogs::Test::Boxes()[0].text, kSaved);

    const XlsBook book = ReadXls(path);
    QCOMPARE(book.error, FREEXL_OK);
    QVERIFY2(book.problem.isEmpty(), qPrintable(book.problem));
    QCOMPARE(book.sheets.size(), 1);
    const QList<QStringList> &rows = book.sheets[0].rows;
    QCOMPARE(rows.size(), 5);
    QCOMPARE(rows[0], kHeadings);
    QCOMPARE(rows[1], RowOf(people[0]));
    QCOMPARE(rows[2], RowOf(people[1]));
    QCOMPARE(rows[3], RowOf(people[2]));
    QCOMPARE(rows[4], RowOf(partly));
}

void TestFrmExcel::emptyDatabaseGivesTheHeaderRowOnly()
{
    Frm_Excel form;
    const QString path = m_out.filePath(QStringLiteral("empty.xls"));
    exportTo(form, path);
    const XlsBook book = ReadXls(path);
    QCOMPARE(book.error, FREEXL_OK);
    QCOMPARE(book.sheets.size(), 1);
    QCOMPARE(book.sheets[0].rows, QList<QStringList>{kHeadings});
}

void TestFrmExcel::chosenNameGetsOneXls_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("typed without extension") << "data" << "data.xls";
    QTest::newRow("picked with .xls") << "data.xls" << "data.xls";
    QTest::newRow("upper case") << "DATA.XLS" << "DATA.XLS";
    QTest::newRow("mixed case") << "Data.Xls" << "Data.Xls";
    QTest::newRow("another extension") << "data.xlsx" << "data.xlsx.xls";
    QTest::newRow(".xls inside the name") << "data.xls.bak" << "data.xls.bak.xls";
    QTest::newRow("persian name") << QString::fromUtf8("داده ها") << QString::fromUtf8("داده ها.xls");
}

void TestFrmExcel::chosenNameGetsOneXls()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    AddExaminee({"1", "a", "20", QString::fromUtf8("زن"), "", "", Answers(0)});
    Frm_Excel form;
    exportTo(form, m_out.filePath(chosen));
    QCOMPARE(form.Text1()->text(), m_out.filePath(chosen));
    QCOMPARE(QDir(m_out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{written});
    QCOMPARE(ReadXls(m_out.filePath(written)).sheets.value(0).rows.size(), 2);
}

void TestFrmExcel::fileTypeAndScoresChooseWhatIsWritten_data()
{
    QTest::addColumn<QString>("fileType");
    QTest::addColumn<bool>("scores");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("start"); // the format's first bytes
    const QByteArray cfb("\xD0\xCF\x11\xE0", 4);
    QTest::newRow("no type chosen: .xls") << QString() << false << "data.xls" << cfb;
    QTest::newRow(".xls") << "Excel (*.xls)" << true << "data.xls" << cfb;
    QTest::newRow(".xlsx") << "Excel 2007 (*.xlsx)" << false << "data.xlsx" << QByteArray("PK\x03\x04");
    QTest::newRow(".sav") << "SPSS (*.sav)" << true << "data.sav" << QByteArray("$FL2");
    QTest::newRow(".csv") << "CSV UTF-8 (*.csv)" << false << "data.csv" << QByteArray("\xEF\xBB\xBF");
    QTest::newRow(".csv with scores") << "CSV UTF-8 (*.csv)" << true << "data.csv" << QByteArray("\xEF\xBB\xBF");
}

void TestFrmExcel::fileTypeAndScoresChooseWhatIsWritten()
{
    QFETCH(QString, fileType);
    QFETCH(bool, scores);
    QFETCH(QString, written);
    QFETCH(QByteArray, start);
    AddExaminee({"1", QString::fromUtf8("علي"), "20", QString::fromUtf8("مرد"), "", "", Answers(0)});
    Frm_Excel form;
    QVERIFY(!form.CheckBox1()->isChecked());
    form.CheckBox1()->setChecked(scores);
    Dialogs::Test::QueueFileName(m_out.filePath(QStringLiteral("data")), fileType);
    form.PushBSave()->click();
    QCOMPARE(Dialogs::Test::Boxes().size(), 1);
    QCOMPARE(Dialogs::Test::Boxes()[0].text, kSaved);
    QCOMPARE(QDir(m_out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{written});
    QFile f(m_out.filePath(written));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.read(start.size()) == start);
    // The scores follow the answers: 17 more columns.
    if (written.endsWith(QStringLiteral(".csv")))
        QCOMPARE(f.readLine().count(',') + 1, scores ? 63 : 46);
    if (written.endsWith(QStringLiteral(".xls")))
        QCOMPARE(ReadXls(f.fileName()).sheets.value(0).rows.value(0).size(), scores ? 63 : 46);
}

void TestFrmExcel::eachExportReadsTheDatabaseAfresh()
{
    AddExaminee({"1", "a", "20", QString::fromUtf8("زن"), "", "", Answers(0)});
    Frm_Excel form;
    exportTo(form, m_out.filePath(QStringLiteral("first.xls")));
    const Examinee later = {"2", QString::fromUtf8("بعدي"), "30", QString::fromUtf8("مرد"), "", "", Answers(1)};
    AddExaminee(later);
    exportTo(form, m_out.filePath(QStringLiteral("second.xls")));

    QCOMPARE(ReadXls(m_out.filePath(QStringLiteral("first.xls"))).sheets[0].rows.size(), 2);
    const QList<QStringList> rows = ReadXls(m_out.filePath(QStringLiteral("second.xls"))).sheets[0].rows;
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[2], RowOf(later));
    // The hidden grid keeps what it was filled with when the form loaded.
    QCOMPARE(form.VSFlexGrid1()->Rows(), 2);
    QCOMPARE(form.VSFlexGrid1()->TextMatrix(0, 1), kHeadings[0]);
}

void TestFrmExcel::cancellingDoesNothing()
{
    Frm_Excel form;
    exportTo(form, QString());
    QVERIFY(Dialogs::Test::Boxes().isEmpty());
    QVERIFY(form.InitDir().isEmpty());
    QVERIFY(form.Text1()->text().isEmpty());
    QVERIFY(QDir(m_out.path()).isEmpty());
}

void TestFrmExcel::successMovesTheDialogAndCurrentFolderToTheProgramFolder()
{
    Frm_Excel form;
    QDir::setCurrent(m_out.path());
    exportTo(form, m_out.filePath(QStringLiteral("one")));
    exportTo(form, m_out.filePath(QStringLiteral("two")));

    const auto requests = Dialogs::Test::FileRequests();
    QCOMPARE(requests.size(), 2);
    for (const Dialogs::FileRequest &r : requests) {
        QCOMPARE(r.kind, Dialogs::FileKind::Save);
        QCOMPARE(r.filter, ExcelExport::DialogFilter());
        QVERIFY(r.filter.startsWith(QStringLiteral("Excel (*.xls);;")));
    }
    QVERIFY(requests[0].startFolder.isEmpty());
    QCOMPARE(requests[1].startFolder, ProgramFolder());
    QCOMPARE(QDir::currentPath(), QDir(ProgramFolder()).canonicalPath());

    const auto boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes[0].caption, QStringLiteral("KVR"));
    QCOMPARE(boxes[0].text, kSaved);
    QCOMPARE(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void TestFrmExcel::failureIsReportedAndChangesNothing_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("dropQuery");
    QTest::addColumn<int>("failAt"); // a step where the file fails, or None
    QTest::addColumn<QString>("reason");
    const int none = int(SafeFile::Step::None);
    QTest::newRow("folder that does not exist")
        << QStringLiteral("missing/out") << false << none << SafeFile::PersianReasonFor(ENOENT);
    QTest::newRow("target is a folder") << QStringLiteral("folder") << false << none << SafeFile::PersianReasonFor(EISDIR);
    QTest::newRow("query cannot be read, earlier file kept")
        << QStringLiteral("kept.xls") << true << none << QString::fromUtf8("اطلاعات از بانک اطلاعاتي خوانده نشد.");
    QTest::newRow("disk full while writing, earlier file kept")
        << QStringLiteral("kept.xls") << false << int(SafeFile::Step::Write) << SafeFile::PersianReasonFor(ENOSPC);
    QTest::newRow("disk fails on the last sync, earlier file kept")
        << QStringLiteral("kept.xls") << false << int(SafeFile::Step::Sync) << SafeFile::PersianReasonFor(EIO);
}

void TestFrmExcel::failureIsReportedAndChangesNothing()
{
    QFETCH(QString, chosen);
    QFETCH(bool, dropQuery);
    QFETCH(int, failAt);
    QFETCH(QString, reason);
    AddExaminee({"1", "a", "20", QString::fromUtf8("زن"), "", "", Answers(0)});
    QVERIFY(QDir(m_out.path()).mkdir(QStringLiteral("folder.xls")));
    {
        QFile kept(m_out.filePath(QStringLiteral("kept.xls")));
        QVERIFY(kept.open(QIODevice::WriteOnly));
        kept.write("earlier export");
    }
    Frm_Excel form;
    if (dropQuery)
        Sql(QStringLiteral("DROP VIEW QueryMe"));
    QDir::setCurrent(m_out.path());
    if (failAt != int(SafeFile::Step::None))
        SafeFile::FailNextForTests(SafeFile::Step(failAt), failAt == int(SafeFile::Step::Sync) ? EIO : ENOSPC);
    exportTo(form, m_out.filePath(chosen));
    SafeFile::ClearFaultForTests();

    // In Persian, with the system's own description on a second line.
    const auto boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, QStringLiteral("Error"));
    const QStringList lines = boxes[0].text.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QString::fromUtf8("فايل اکسل ذخيره نشد: ") + reason);
    QVERIFY(!lines[1].isEmpty());
    QVERIFY(form.InitDir().isEmpty());
    QCOMPARE(QDir::currentPath(), QDir(m_out.path()).canonicalPath());
    // Nothing new beside the files that were there, and those untouched.
    QCOMPARE(QDir(m_out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{"folder.xls", "kept.xls"}));
    QFile kept(m_out.filePath(QStringLiteral("kept.xls")));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("earlier export"));
}

QTEST_MAIN(TestFrmExcel)
#include "tst_frm_excel.moc"
