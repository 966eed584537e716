#include "XlsReadBack.h"
#include "results/XlsWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using Table = QList<QStringList>;
Q_DECLARE_METATYPE(Table)

namespace {

// What a reader should find: the header, then the rows, each padded to the
// table's width with empty cells.
Table expected(const QStringList &header, const Table &rows)
{
    int width = int(header.size());
    for (const QStringList &r : rows)
        width = std::max(width, int(r.size()));
    Table t;
    auto pad = [&](QStringList r) {
        while (r.size() < width)
            r << QString();
        return r;
    };
    if (!header.isEmpty())
        t << pad(header);
    for (const QStringList &r : rows)
        t << pad(r);
    return t;
}

QString persianRepeat(int n)
{
    const QString word = QString::fromUtf8("آزمودني‌كد "); // with a zero-width non-joiner
    QString s;
    while (s.size() < n)
        s += word;
    s.truncate(n);
    return s;
}

} // namespace

class TestXlsWriter : public QObject
{
    Q_OBJECT
private slots:
    void cellsReadBackExactly_data();
    void cellsReadBackExactly();
    void longTablesContinueOnFurtherSheets_data();
    void longTablesContinueOnFurtherSheets();
    void largeWorkbookNeedsMoreFatThanTheHeaderLists();
    void aFailedWriteKeepsTheFileThatWasThere();
    void unwritablePlaceIsReported();
    void moreColumnsThanASheetHoldsIsRefused();

private:
    QTemporaryDir m_dir;
};

void TestXlsWriter::cellsReadBackExactly_data()
{
    QTest::addColumn<QStringList>("header");
    QTest::addColumn<Table>("rows");

    const QStringList persianHeader = {QString::fromUtf8("کد_آزمودني"), QString::fromUtf8("نام_و_نام_خانوادگي"),
                                       QString::fromUtf8("سن"), QString::fromUtf8("جنسيت")};
    QTest::newRow("latin") << QStringList{"a", "b"} << Table{{"1", "x"}, {"2", "y"}};
    QTest::newRow("persian") << persianHeader
                             << Table{{"12", QString::fromUtf8("علي كريمي"), "25", QString::fromUtf8("مرد")},
                                      {"7", QString::fromUtf8("زهرا یکتا"), "31", QString::fromUtf8("زن")}};
    QTest::newRow("accented latin stays one byte a character")
        << QStringList{QString::fromUtf8("Größe")} << Table{{QString::fromUtf8("café ÿ")}};
    QTest::newRow("empty cells stay empty")
        << QStringList{"a", "", "c"} << Table{{"", "2", ""}, {"", "", ""}, {"x", "", "z"}};
    QTest::newRow("ragged rows") << QStringList{"a"} << Table{{"1", "2", "3"}, {}, {"4"}};
    QTest::newRow("header only") << persianHeader << Table{};
    QTest::newRow("no header") << QStringList{} << Table{{"1"}, {"2"}};
    QTest::newRow("characters beyond the basic plane")
        << QStringList{QString::fromUtf8("😀 نام")} << Table{{QString::fromUtf8("𝔸𝔹 ✓")}};
    QTest::newRow("blanks kept") << QStringList{" a "} << Table{{"  "}, {QString::fromUtf8(" ب ")}};

    // Texts longer than one record of the string table: their characters run
    // on into a CONTINUE record, wide and narrow. (libfreexl 1.0.6 gives up on
    // a text that spans three records or more; such texts were checked by hand
    // in LibreOffice.)
    QTest::newRow("long persian text split across records")
        << QStringList{"h"} << Table{{persianRepeat(4200)}, {persianRepeat(8000)}, {"after"}};
    QTest::newRow("long latin text split across records")
        << QStringList{"h"} << Table{{QString(12000, QChar('q'))}, {QString::fromUtf8("پس از")}};

    // Many distinct texts fill the string table past one record, with texts
    // starting at every possible place near a record's end.
    Table many;
    for (int i = 0; i < 6000; ++i)
        many << QStringList{QString::number(i), QString::fromUtf8("نام %1").arg(i), QString(i % 37, QChar('w'))};
    QTest::newRow("many distinct texts") << QStringList{"n", "name", "w"} << many;
}

void TestXlsWriter::cellsReadBackExactly()
{
    QFETCH(QStringList, header);
    QFETCH(Table, rows);

    XlsWriter w(header);
    for (const QStringList &r : rows)
        w.addRow(r);
    const QString path = m_dir.filePath(QStringLiteral("cells.xls"));
    QString error;
    QVERIFY2(w.save(path, &error), qPrintable(error));

    const XlsBook book = ReadXls(path);
    QCOMPARE(book.error, FREEXL_OK);
    QVERIFY2(book.problem.isEmpty(), qPrintable(book.problem));
    QCOMPARE(book.sheets.size(), 1);
    QCOMPARE(book.sheets[0].name, QStringLiteral("Sheet1"));
    const Table want = expected(header, rows);
    QCOMPARE(book.sheets[0].rows.size(), want.size());
    for (int r = 0; r < want.size(); ++r)
        QCOMPARE(book.sheets[0].rows[r], want[r]);
}

void TestXlsWriter::longTablesContinueOnFurtherSheets_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QList<int>>("rowsPerSheet"); // data rows on each sheet

    QTest::newRow("exactly one full sheet") << 65535 << QList<int>{65535};
    QTest::newRow("one more row opens a second sheet") << 65536 << QList<int>{65535, 1};
    QTest::newRow("three sheets") << 140000 << QList<int>{65535, 65535, 8930};
}

void TestXlsWriter::longTablesContinueOnFurtherSheets()
{
    QFETCH(int, rows);
    QFETCH(QList<int>, rowsPerSheet);

    const QStringList header = {QString::fromUtf8("کد"), "S1"};
    XlsWriter w(header);
    for (int i = 0; i < rows; ++i)
        w.addRow({QString::number(i + 1), QString::number(i % 3)});
    const QString path = m_dir.filePath(QStringLiteral("long.xls"));
    QString error;
    QVERIFY2(w.save(path, &error), qPrintable(error));

    const XlsBook book = ReadXls(path);
    QCOMPARE(book.error, FREEXL_OK);
    QVERIFY2(book.problem.isEmpty(), qPrintable(book.problem));
    QCOMPARE(book.sheets.size(), rowsPerSheet.size());
    int next = 1;
    for (int s = 0; s < book.sheets.size(); ++s) {
        const XlsSheet &sheet = book.sheets[s];
        QCOMPARE(sheet.name, QStringLiteral("Sheet%1").arg(s + 1));
        QCOMPARE(sheet.rows.size(), rowsPerSheet[s] + 1);
        QCOMPARE(sheet.rows[0], header);
        for (int r = 1; r < sheet.rows.size(); ++r, ++next) {
            const QStringList want = {QString::number(next), QString::number((next - 1) % 3)};
            if (sheet.rows[r] != want)
                QFAIL(qPrintable(QStringLiteral("sheet %1 row %2: %3").arg(s + 1).arg(r).arg(sheet.rows[r].join(','))));
        }
    }
    QCOMPARE(next - 1, rows);
}

void TestXlsWriter::largeWorkbookNeedsMoreFatThanTheHeaderLists()
{
    // Past about 7 MB the compound document needs more than the 109 FAT
    // sectors its header can list; the rest are listed in DIFAT sectors.
    QStringList header;
    for (int c = 0; c < 46; ++c)
        header << QStringLiteral("S%1").arg(c);
    XlsWriter w(header);
    QStringList row = header;
    const int rows = 20000;
    for (int i = 0; i < rows; ++i) {
        for (int c = 0; c < 46; ++c)
            row[c] = QString::number((i + c) % 3);
        row[0] = QString::number(i);
        w.addRow(row);
    }
    const QString path = m_dir.filePath(QStringLiteral("large.xls"));
    QString error;
    QVERIFY2(w.save(path, &error), qPrintable(error));

    const XlsBook book = ReadXls(path);
    QCOMPARE(book.error, FREEXL_OK);
    QVERIFY(book.fatSectors > 109);
    QCOMPARE(book.sheets.size(), 1);
    QCOMPARE(book.sheets[0].rows.size(), rows + 1);
    for (int i = 0; i < rows; ++i) {
        for (int c = 0; c < 46; ++c)
            row[c] = QString::number((i + c) % 3);
        row[0] = QString::number(i);
        if (book.sheets[0].rows[i + 1] != row)
            QFAIL(qPrintable(QStringLiteral("row %1: %2").arg(i + 1).arg(book.sheets[0].rows[i + 1].join(','))));
    }
}

void TestXlsWriter::aFailedWriteKeepsTheFileThatWasThere()
{
    // A file-size limit makes the write fail part way through, as a full
    // disk would.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.xls"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the earlier export");
    }
    XlsWriter w({"a", "b"});
    for (int i = 0; i < 20000; ++i)
        w.addRow({QString::number(i), QString::fromUtf8("نام")});

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString error;
    const bool ok = w.save(path, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!ok);
    QVERIFY(error.contains(path));
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("the earlier export"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"data.xls"});
}

void TestXlsWriter::unwritablePlaceIsReported()
{
    XlsWriter w({"a"});
    const QString path = m_dir.filePath(QStringLiteral("no-such-folder/out.xls"));
    QString error;
    QVERIFY(!w.save(path, &error));
    QVERIFY(error.contains(path));
    QVERIFY(!QFile::exists(path));
}

void TestXlsWriter::moreColumnsThanASheetHoldsIsRefused()
{
    XlsWriter w;
    w.addRow(QStringList(257, QStringLiteral("x")));
    const QString path = m_dir.filePath(QStringLiteral("wide.xls"));
    QString error;
    QVERIFY(!w.save(path, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(path));
}

QTEST_GUILESS_MAIN(TestXlsWriter)
#include "tst_xlswriter.moc"
