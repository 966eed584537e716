// The Excel answer import screen: workbooks the tests make themselves, in
// both formats, imported into a scratch database through the screen.
#include "capture/CaptureTexts.h"
#include "capture/ui/Frm_File.h"
#include "common/PluginModule.h"
#include "common/Vendor.h"
#include "common/ui/Dialogs.h"
#include "common/ui/MainWindowRef.h"
#include "store/DataControl.h"
#include "store/ui/BoundGrid.h"
#include "XlsxMaker.h"
#include "../store/StoreFixture.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace XlsxMaker;

namespace {

const QString kOkCaption = QStringLiteral("ورود اطلاعات");
const QString kOkText = QStringLiteral("  داده ها با موفقيت وارد سيستم شدند \r\n");
const QString kA1Text = QStringLiteral(" فايل انتخاب شده قابل بارگذاري نيست ");
const QString kA3Text = QStringLiteral(" عمليات با مشکل مواجه شده است ");

QString A4Text()
{
    return QStringLiteral("اين فايل دستكاري شده و يا اشتباه انتخاب شده است\n لطفا فايل اصلي را از سايت دانلود كنيد \n\n آدرس سايت \n http://www.kvr.test/ ");
}

QString Fixture(const QString &name)
{
    return QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("tests/fixtures/") + name);
}

QStringList Repeat(const QString &v) { return QStringList(40, v); }

// The items n % 3 for n = 1..40, as in the import-all fixture.
QStringList Cycle()
{
    QStringList a;
    for (int n = 1; n <= 40; ++n)
        a << QString::number(n % 3);
    return a;
}

// Receives the address the download button asks the desktop to open.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

} // namespace

class TestFileImport : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void importsAnswers_data();
    void importsAnswers();
    void cellsOfEveryKind_data();
    void cellsOfEveryKind();
    void refused_data();
    void refused();
    void landsOnTheDoubleClickedLine();
    void noAnswerRowIsNotCreated();
    void withoutTheXlsxReader();
    void failedWriteLeavesAnswersAsTheyWere_data();
    void failedWriteLeavesAnswersAsTheyWere();
    void screenElements();

private:
    // Writes bytes to a file in the scratch folder and returns its path.
    QString WriteFile(const QString &name, const QByteArray &bytes);
    QStringList Stored(const QString &code);
    void SetStored(const QString &code, const QStringList &answers);
    // Opens the screen, makes the line of code current and double-clicks it
    // with the file dialog answering path ("" cancels).
    void ImportOn(const QString &code, const QString &path);
    Dialogs::Box LastBox();

    StoreFixture *m_f = nullptr;
    Frm_File *m_screen = nullptr;
    QWidget *m_main = nullptr;
};

void TestFileImport::init()
{
    m_f = new StoreFixture;
    QVERIFY2(m_f->ok(), qPrintable(m_f->error()));
    Vendor::SetBase(QStringLiteral("http://www.kvr.test"));
    Dialogs::Test::Install();
    Dialogs::Test::Clear();
    m_main = new QWidget;
    SetMainWindow(m_main);
}

void TestFileImport::cleanup()
{
    delete m_screen;
    m_screen = nullptr;
    SetMainWindow(nullptr);
    delete m_main;
    m_main = nullptr;
    Dialogs::Test::SetHandler({});
    Dialogs::Test::Uninstall();
    Vendor::SetBase(QString());
    delete m_f;
    m_f = nullptr;
}

QString TestFileImport::WriteFile(const QString &name, const QByteArray &bytes)
{
    const QString path = QDir(m_f->Folder()).filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QStringList TestFileImport::Stored(const QString &code)
{
    DataControl dc;
    dc.Open(QStringLiteral("SELECT * FROM Answer1 "));
    dc.Filter(QStringLiteral("Code='") + code + QLatin1Char('\''));
    if (dc.RecordCount() != 1)
        return {};
    QStringList a;
    for (int n = 1; n <= 40; ++n)
        a << dc.Value(QString::number(n));
    return a;
}

void TestFileImport::SetStored(const QString &code, const QStringList &answers)
{
    DataControl dc;
    dc.Open(QStringLiteral("SELECT * FROM Answer1 "));
    dc.Filter(QStringLiteral("Code='") + code + QLatin1Char('\''));
    for (int n = 1; n <= 40; ++n)
        dc.SetValue(QString::number(n), answers[n - 1]);
    if (!dc.Update())
        qFatal("%s", qPrintable(dc.LastError()));
}

void TestFileImport::ImportOn(const QString &code, const QString &path)
{
    if (!m_screen) {
        m_screen = Frm_File::Show();
        m_screen->setAttribute(Qt::WA_DeleteOnClose, false);
        QVERIFY(QTest::qWaitForWindowExposed(m_screen));
    }
    auto *grid = m_screen->findChild<BoundGrid *>(QStringLiteral("VSFlexGrid1"));
    QVERIFY(grid);
    DataControl &list = m_screen->Adodc1();
    int row = -1;
    for (int r = 0; r < list.RecordCount(); ++r)
        if (list.ValueAt(r, list.ColumnIndex(QStringLiteral("Code"))) == code)
            row = r;
    QVERIFY(row >= 0);
    const QPoint at = grid->visualRect(grid->model()->index(row, 2)).center();
    Dialogs::Test::QueueFileName(path);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
}

Dialogs::Box TestFileImport::LastBox()
{
    const QList<Dialogs::Box> boxes = Dialogs::Test::Boxes();
    return boxes.isEmpty() ? Dialogs::Box() : boxes.last();
}

// Stored answers start as all "1"; the workbook's cells then replace them
// where they hold empty text, 0, 1 or 2, and leave them where they hold
// anything else.
void TestFileImport::importsAnswers_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("xlsx"); // made here when file is empty
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("xlsx, all 40") << QString() << Make(Book{{AnswerSheet(Cycle())}}) << Cycle();
    QTest::newRow("xls, all 40") << "import-all.xls" << QByteArray() << Cycle();

    // F2 empty, F3 3, F4 "x", F5 1.5, F6 text "2", F7 0, F8 boolean, F9 " 1"
    Sheet odd = AnswerSheet({});
    odd.number(QStringLiteral("F3"), QStringLiteral("3"));
    odd.shared(QStringLiteral("F4"), QStringLiteral("x"));
    odd.number(QStringLiteral("F5"), QStringLiteral("1.5"));
    odd.shared(QStringLiteral("F6"), QStringLiteral("2"));
    odd.set(QStringLiteral("F7"), {Kind::FormulaNumber, QStringLiteral("0")});
    odd.set(QStringLiteral("F8"), {Kind::Bool, QStringLiteral("0")});
    odd.shared(QStringLiteral("F9"), QStringLiteral(" 1"));
    QStringList expected = Repeat(QString());
    expected[1] = expected[2] = expected[3] = QStringLiteral("1"); // 3, x, 1.5 left alone
    expected[4] = QStringLiteral("2");
    expected[5] = QStringLiteral("0");
    expected[6] = expected[7] = QStringLiteral("1"); // a boolean and " 1" are not answers
    QTest::newRow("xlsx, odd cells") << QString() << Make(Book{{odd}}) << expected;

    // import-mixed.xls: F2 1, F3 3, F4 "x", F5 1.5, F6 "2", the rest empty
    QStringList mixed = Repeat(QString());
    mixed[0] = mixed[1] = mixed[2] = mixed[3] = QStringLiteral("1");
    mixed[4] = QStringLiteral("2");
    QTest::newRow("xls, odd cells") << "import-mixed.xls" << QByteArray() << mixed;

    // every answer a formula (=1, =B5, =MOD(7,3), ="2"), saved by a spreadsheet program
    QTest::newRow("xls, formulas, LibreOffice") << "formulas-lo.xls" << QByteArray() << Cycle();
    QTest::newRow("xls, formulas, Gnumeric") << "formulas-gnumeric.xls" << QByteArray() << Cycle();

    QTest::newRow("blank template clears every answer")
        << QStringLiteral("../../data/KVR-Excel.xlsx") << QByteArray() << Repeat(QString());
}

void TestFileImport::importsAnswers()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, xlsx);
    QFETCH(QStringList, expected);

    m_f->AddExaminees({QStringLiteral("7")});
    SetStored(QStringLiteral("7"), Repeat(QStringLiteral("1")));
    const QString path = file.isEmpty() ? WriteFile(QStringLiteral("answers.xlsx"), xlsx) : Fixture(file);

    bool waitHidden = false;
    Dialogs::Test::SetHandler([&](const Dialogs::Box &) {
        waitHidden = !m_screen->findChild<QGroupBox *>(QStringLiteral("GroupBox2"))->isVisible();
        return QMessageBox::NoButton;
    });
    ImportOn(QStringLiteral("7"), path);

    QCOMPARE(Dialogs::Test::Boxes().size(), 1);
    const Dialogs::Box box = LastBox();
    QCOMPARE(box.caption, kOkCaption);
    QCOMPARE(box.text, kOkText);
    QCOMPARE(box.icon, QMessageBox::Information);
    QVERIFY(waitHidden);
    QCOMPARE(Stored(QStringLiteral("7")), expected);

    const QList<Dialogs::FileRequest> requests = Dialogs::Test::FileRequests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].kind, Dialogs::FileKind::Open);
    QCOMPARE(requests[0].filter, QStringLiteral("All (*.*);;xlsx (*.xlsx);;xls (*.xls)"));
    QCOMPARE(requests[0].startFolder, QString());
}

void TestFileImport::refused_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes"); // written to a file when file is empty
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QMessageBox::Icon>("icon");

    QTest::newRow("kvr in Z3, xlsx") << QString()
        << Make(Book{{AnswerSheet(Cycle(), QStringLiteral("kvr"))}})
        << "Error A1" << kA1Text << QMessageBox::Information;
    QTest::newRow("kvr in Z3, xls") << "import-lowercase.xls" << QByteArray()
        << "Error A1" << kA1Text << QMessageBox::Information;
    QTest::newRow("Z3 empty") << QString() << Make(Book{{AnswerSheet(Cycle(), QString())}})
        << "Error A1" << kA1Text << QMessageBox::Information;

    Sheet other = AnswerSheet(Cycle());
    other.name = QStringLiteral("Sheet1");
    QTest::newRow("no marker sheet, xlsx") << QString() << Make(Book{{other}})
        << "Error A4" << A4Text() << QMessageBox::Information;
    QTest::newRow("no marker sheet, xls") << "import-nosheet.xls" << QByteArray()
        << "Error A4" << A4Text() << QMessageBox::Information;
    QTest::newRow("text file") << QString() << QByteArray("KVR;1;2;0\n")
        << "Error A4" << A4Text() << QMessageBox::Information;
    const QByteArray whole = Make(Book{{AnswerSheet(Cycle())}});
    QTest::newRow("damaged zip") << QString() << whole.left(whole.size() - 40)
        << "Error A4" << A4Text() << QMessageBox::Information;
    QTest::newRow("crafted xls") << "xls-overread.xls" << QByteArray()
        << "Error A4" << A4Text() << QMessageBox::Information;

    // Formulas stored without their results (as openpyxl writes them) would
    // read as empty and clear the answers: refused, and nothing is stored.
    QStringList cells;
    for (int row = 2; row <= 41; row += 2)
        cells << QStringLiteral("F%1").arg(row);
    QTest::newRow("formulas without results") << "formulas-openpyxl.xlsx" << QByteArray()
        << CaptureText::Attention()
        << CaptureText::UncalculatedWorkbook() + QStringLiteral("\nformula without a stored result in ") + cells.join(QStringLiteral(", "))
        << QMessageBox::Warning;
    Sheet marker = AnswerSheet(Cycle());
    marker.set(QStringLiteral("Z3"), {Kind::Uncalculated, QStringLiteral("\"KVR\"")});
    QTest::newRow("marker formula without result") << QString() << Make(Book{{marker}})
        << CaptureText::Attention()
        << CaptureText::UncalculatedWorkbook() + QStringLiteral("\nformula without a stored result in Z3")
        << QMessageBox::Warning;
    QTest::newRow("dialog cancelled") << "-" << QByteArray()
        << "Error A3" << kA3Text << QMessageBox::Warning;
}

void TestFileImport::refused()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, caption);
    QFETCH(QString, text);
    QFETCH(QMessageBox::Icon, icon);

    m_f->AddExaminees({QStringLiteral("3")});
    SetStored(QStringLiteral("3"), Repeat(QStringLiteral("2")));
    QString path;
    if (file == u"-")
        path = QString();
    else if (file.isEmpty())
        path = WriteFile(QStringLiteral("input.xlsx"), bytes);
    else
        path = Fixture(file);

    ImportOn(QStringLiteral("3"), path);
    QCOMPARE(Dialogs::Test::Boxes().size(), 1);
    const Dialogs::Box box = LastBox();
    QCOMPARE(box.caption, caption);
    QCOMPARE(box.text, text);
    QCOMPARE(box.icon, icon);
    QVERIFY(!m_screen->findChild<QGroupBox *>(QStringLiteral("GroupBox2"))->isVisible());
    QCOMPARE(Stored(QStringLiteral("3")), Repeat(QStringLiteral("2")));
}

// One set of cells of every kind, saved by LibreOffice and Gnumeric in both
// formats, stores the same answers: only empty text, 0, 1 and 2 replace a
// stored answer. Booleans, errors, dates (even of the day 1 or 2) and other
// numbers leave it as it was, whichever the format.
void TestFileImport::cellsOfEveryKind_data()
{
    QTest::addColumn<QString>("file");
    for (const char *file : {"cells-lo.xls", "cells-lo.xlsx", "cells-gnumeric.xls", "cells-gnumeric.xlsx", "cells-gnumeric95.xls"})
        QTest::newRow(file) << QString::fromLatin1(file);
}

void TestFileImport::cellsOfEveryKind()
{
    QFETCH(QString, file);
    m_f->AddExaminees({QStringLiteral("6")});
    SetStored(QStringLiteral("6"), Repeat(QStringLiteral("0")));
    ImportOn(QStringLiteral("6"), Fixture(file));
    QCOMPARE(LastBox().caption, kOkCaption);

    QStringList expected = Repeat(QStringLiteral("0")); // left as they were
    const QList<QPair<int, QString>> stored = {
        {3, "1"},  {4, "2"},  {10, "2"}, {14, "1"}, {15, "2"}, {16, "0"}, // numbers, texts and formula results
        {19, ""},                                                       // a formula whose result is empty text
        {27, "1"},                                                      // 1 shown as 100%
        {28, ""},                                                       // a blank cell in a date format
        {30, "2"},                                                      // 2 in a text format
    };
    for (const auto &[row, text] : stored)
        expected[row - 2] = text;
    for (int row = 35; row <= 41; ++row)
        expected[row - 2] = QString();
    QCOMPARE(Stored(QStringLiteral("6")), expected);
}

// The answers go to the examinee whose line was double-clicked, not to the
// line that was current before.
void TestFileImport::landsOnTheDoubleClickedLine()
{
    m_f->AddExaminees({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    const QString path = WriteFile(QStringLiteral("a.xlsx"), Make(Book{{AnswerSheet(Cycle())}}));

    ImportOn(QStringLiteral("2"), path);
    QCOMPARE(LastBox().caption, kOkCaption);
    QCOMPARE(Stored(QStringLiteral("2")), Cycle());
    QCOMPARE(Stored(QStringLiteral("1")), Repeat(QString()));
    QCOMPARE(Stored(QStringLiteral("3")), Repeat(QString()));

    ImportOn(QStringLiteral("1"), WriteFile(QStringLiteral("b.xlsx"), Make(Book{{AnswerSheet(Repeat(QStringLiteral("0")))}})));
    QCOMPARE(Stored(QStringLiteral("1")), Repeat(QStringLiteral("0")));
    QCOMPARE(Stored(QStringLiteral("2")), Cycle());
    // Only the examinee's own answer row was read, never the whole table.
    QVERIFY(!m_screen->Adodc2().AllRowsRead());
}

// An examinee without an answer row (made outside the registry) gets none
// from the import: the file is refused as for a failed read.
void TestFileImport::noAnswerRowIsNotCreated()
{
    m_f->AddExaminees({QStringLiteral("4")}, false);
    ImportOn(QStringLiteral("4"), WriteFile(QStringLiteral("a.xlsx"), Make(Book{{AnswerSheet(Cycle())}})));
    QCOMPARE(LastBox().caption, QStringLiteral("Error A4"));
    QCOMPARE(m_f->Count(QStringLiteral("SELECT COUNT(*) FROM Answer1")), 0);
}

// The 40 answers are written together. A write that fails, even one that
// fails only on a later item, leaves every stored answer as it was and is
// reported as an error with its reason, never as success.
// A program whose .xlsx reader (a plugin) is missing says so in an error box,
// not that the file was tampered with, and stores nothing; .xls files still
// import.
void TestFileImport::withoutTheXlsxReader()
{
    m_f->AddExaminees({QStringLiteral("3")});
    SetStored(QStringLiteral("3"), Repeat(QStringLiteral("2")));
    const QString xlsx = WriteFile(QStringLiteral("answers.xlsx"), Make(Book{{AnswerSheet(Repeat(QStringLiteral("0")))}}));
    QTemporaryDir noPlugins;
    QVERIFY(noPlugins.isValid());
    PluginModule::SetFolderForTests(noPlugins.path());
    ImportOn(QStringLiteral("3"), xlsx);
    const QList<Dialogs::Box> refused = Dialogs::Test::Boxes();
    const QStringList storedAfterRefusal = Stored(QStringLiteral("3"));
    ImportOn(QStringLiteral("3"), Fixture(QStringLiteral("import-all.xls")));
    const QList<Dialogs::Box> boxes = Dialogs::Test::Boxes();
    const QStringList stored = Stored(QStringLiteral("3"));
    PluginModule::SetFolderForTests(QString());

    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused[0].caption, CaptureText::Error());
    QCOMPARE(refused[0].icon, QMessageBox::Critical);
    QVERIFY2(refused[0].text.startsWith(CaptureText::XlsxReaderMissing() + QLatin1Char('\n')), qPrintable(refused[0].text));
    QVERIFY2(refused[0].text.contains(QStringLiteral("kvr-zip.so")), qPrintable(refused[0].text));
    QCOMPARE(storedAfterRefusal, Repeat(QStringLiteral("2")));
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes[1].text, kOkText);
    QCOMPARE(stored, Cycle());
}

void TestFileImport::failedWriteLeavesAnswersAsTheyWere_data()
{
    QTest::addColumn<QString>("column"); // the one refused; empty: every write
    QTest::newRow("every write refused") << "";
    QTest::newRow("only item 20 refused") << "20";
}

void TestFileImport::failedWriteLeavesAnswersAsTheyWere()
{
    QFETCH(QString, column);
    m_f->AddExaminees({QStringLiteral("5")});
    SetStored(QStringLiteral("5"), Repeat(QStringLiteral("1")));
    m_f->RefuseWrites(QStringLiteral("Answer1"), QStringLiteral("disk is full"), {QStringLiteral("UPDATE")}, column);

    ImportOn(QStringLiteral("5"), WriteFile(QStringLiteral("a.xlsx"), Make(Book{{AnswerSheet(Repeat(QStringLiteral("2")))}})));
    QCOMPARE(Dialogs::Test::Boxes().size(), 1);
    const Dialogs::Box box = LastBox();
    QCOMPARE(box.caption, QStringLiteral("خطا"));
    QVERIFY2(box.text.contains(u"disk is full"), qPrintable(box.text));
    QCOMPARE(box.text.section('\n', 0, 0), QString::fromUtf8("پايگاه داده اين تغيير را نپذيرفت."));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(Stored(QStringLiteral("5")), Repeat(QStringLiteral("1")));
    // The screen's answer control shows what the file holds, not the values
    // that failed to reach it.
    QCOMPARE(m_screen->Adodc2().Value(QStringLiteral("20")), QStringLiteral("1"));
}

void TestFileImport::screenElements()
{
    m_f->AddExaminees({QStringLiteral("1"), QStringLiteral("2")});
    QVERIFY(m_main->isEnabled());
    m_screen = Frm_File::Show();
    m_screen->setAttribute(Qt::WA_DeleteOnClose, false);
    QVERIFY(QTest::qWaitForWindowExposed(m_screen));
    QCOMPARE(Frm_File::Instance(), m_screen);
    QCOMPARE(Frm_File::Show(), m_screen); // one screen at a time
    QVERIFY(!m_main->isEnabled());

    // The list: newest first, only id and name shown.
    auto *grid = m_screen->findChild<BoundGrid *>(QStringLiteral("VSFlexGrid1"));
    QCOMPARE(grid->Rows(), 3);
    QCOMPARE(grid->TextMatrix(1, 4), QStringLiteral("2"));
    for (int col : {0, 3, 4})
        QVERIFY(grid->IsColHidden(col));
    QVERIFY(!grid->IsColHidden(1) && !grid->IsColHidden(2));
    QCOMPARE(grid->ColWidthTwips(2), 2800);
    QCOMPARE(grid->TextMatrix(0, 0), QStringLiteral("#"));
    QCOMPARE(grid->TextMatrix(0, 2), QStringLiteral("نام و نام خانوادگي"));

    // The name label follows the current line.
    auto *label = m_screen->findChild<QLabel *>(QStringLiteral("LbelName"));
    QCOMPARE(label->text(), QStringLiteral("نام و نام خانوادگي: examinee 2"));
    grid->SelectRow(2);
    QCOMPARE(label->text(), QStringLiteral("نام و نام خانوادگي: examinee 1"));

    // Help panel hidden at start, shown and hidden by its buttons.
    auto *help = m_screen->findChild<QGroupBox *>(QStringLiteral("GroupBox1"));
    QVERIFY(!help->isVisible());
    m_screen->findChild<QPushButton *>(QStringLiteral("PushButton1(1)"))->click();
    QVERIFY(help->isVisible());
    m_screen->findChild<QPushButton *>(QStringLiteral("PushButton1(0)"))->click();
    QVERIFY(!help->isVisible());
    QVERIFY(!m_screen->findChild<QGroupBox *>(QStringLiteral("GroupBox2"))->isVisible());

    // The download button opens the template archive on the vendor's site.
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
    m_screen->findChild<QPushButton *>(QStringLiteral("PushButton1(3)"))->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl(QStringLiteral("http://www.kvr.test/Soft/kvr/KVR-Excel.zip"))});

    // Closing gives the main window back.
    m_screen->findChild<QPushButton *>(QStringLiteral("PushButton1(2)"))->click();
    QVERIFY(!m_screen->isVisible());
    QVERIFY(m_main->isEnabled());
}

QTEST_MAIN(TestFileImport)
#include "tst_fileimport.moc"
