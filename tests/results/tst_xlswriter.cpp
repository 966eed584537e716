#include "ReadBack.h"
#include "XlsReadBack.h"
#include "common/SafeFile.h"
#include "results/XlsWriter.h"
#include "tests/support/FullDisk.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

using Row = QVariantList; // QString: text, double: number, invalid: empty
using Table = QList<Row>;
Q_DECLARE_METATYPE(Table)

namespace {

// What a reader should find: the header, then the rows, each padded to the
// table's width with empty cells.
Table expected(const QStringList &header, const Table &rows)
{
    int width = int(header.size());
    for (const Row &r : rows)
        width = std::max(width, int(r.size()));
    Table t;
    auto pad = [&](Row r) {
        for (QVariant &v : r)
            if (v.typeId() == QMetaType::QString && v.toString().isEmpty())
                v = QVariant();
        while (r.size() < width)
            r << QVariant();
        return r;
    };
    if (!header.isEmpty()) {
        Row h;
        for (const QString &s : header)
            h << s;
        t << pad(h);
    }
    for (const Row &r : rows)
        t << pad(r);
    return t;
}

void add(XlsWriter &w, const Row &row)
{
    for (const QVariant &v : row) {
        if (v.typeId() == QMetaType::QString)
            w.addText(v.toString());
        else if (v.isValid())
            w.addNumber(v.toDouble());
        else
            w.addEmpty();
    }
    w.endRow();
}

// Writes the table the way the export does: through a SafeFile.
bool save(const QString &path, const QStringList &header, const Table &rows, QString *error)
{
    SafeFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    XlsWriter w(file, header);
    for (const Row &r : rows)
        add(w, r);
    if (!w.finish(error))
        return false;
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

QJsonArray json(const Row &row)
{
    QJsonArray a;
    for (const QVariant &v : row)
        a.append(v.typeId() == QMetaType::QString ? QJsonValue(v.toString())
                 : v.isValid()                    ? QJsonValue(v.toDouble())
                                                  : QJsonValue());
    return ReadBack::Trimmed(a);
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

// A device that cannot go back, as a pipe.
class Pipe : public QBuffer
{
public:
    bool isSequential() const override { return true; }
};

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
    void aFailedWriteKeepsTheFileThatWasThere_data();
    void aFailedWriteKeepsTheFileThatWasThere();
    void refusals();

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
                             << Table{{12.0, QString::fromUtf8("علي كريمي"), 25.0, QString::fromUtf8("مرد")},
                                      {"07", QString::fromUtf8("زهرا یکتا"), QString::fromUtf8("۳۱"),
                                       QString::fromUtf8("زن")}};
    QTest::newRow("accented latin stays one byte a character")
        << QStringList{QString::fromUtf8("Größe")} << Table{{QString::fromUtf8("café ÿ")}};
    QTest::newRow("empty cells stay empty")
        << QStringList{"a", "", "c"} << Table{{"", 2.0, ""}, {"", QVariant(), ""}, {"x", "", "z"}};
    QTest::newRow("ragged rows") << QStringList{"a"} << Table{{"1", "2", "3"}, {}, {"4"}};
    QTest::newRow("header only") << persianHeader << Table{};
    QTest::newRow("no header") << QStringList{} << Table{{"1"}, {2.0}};
    QTest::newRow("characters beyond the basic plane")
        << QStringList{QString::fromUtf8("😀 نام")} << Table{{QString::fromUtf8("𝔸𝔹 ✓")}};
    QTest::newRow("blanks kept") << QStringList{" a "} << Table{{"  "}, {QString::fromUtf8(" ب ")}};

    // Whole numbers within 30 bits are RK values, runs of them one MULRK
    // record; other numbers take a NUMBER record each.
    QTest::newRow("numbers")
        << QStringList{"n"}
        << Table{{0.0, 1.0, 2.0, 2.0, 1.0, 0.0},
                 {5.0, "x", 7.0, QVariant(), 9.0, 10.0},
                 {123456789012345.0, 2.5, -5.0, 536870911.0, 536870912.0, -536870912.0, -536870913.0},
                 {QVariant(), QVariant(), 3.0}};

    // A text of up to 255 characters is written in its cell's record; a
    // longer one goes to the string table, whose records it may span.
    QTest::newRow("texts at the cell record's limit")
        << QStringList{"h"}
        << Table{{QString(255, QChar('q'))}, {QString(256, QChar('q'))}, {persianRepeat(255)}, {persianRepeat(256)}};
    QTest::newRow("long persian text split across records")
        << QStringList{"h"} << Table{{persianRepeat(4200)}, {persianRepeat(8000)}, {"after"}};
    QTest::newRow("long latin text split across records")
        << QStringList{"h"} << Table{{QString(12000, QChar('q'))}, {QString::fromUtf8("پس از")}};

    Table many;
    for (int i = 0; i < 6000; ++i)
        many << Row{double(i), QString::fromUtf8("نام %1").arg(i), QString(i % 37, QChar('w')), QString(i % 300, QChar('z'))};
    QTest::newRow("many rows of every kind") << QStringList{"n", "name", "w", "z"} << many;
}

void TestXlsWriter::cellsReadBackExactly()
{
    QFETCH(QStringList, header);
    QFETCH(Table, rows);

    const QString path = m_dir.filePath(QStringLiteral("cells.xls"));
    QString error;
    QVERIFY2(save(path, header, rows, &error), qPrintable(error));
    const Table want = expected(header, rows);

    const XlsBook book = ReadXls(path);
    QCOMPARE(book.error, FREEXL_OK);
    QVERIFY2(book.problem.isEmpty(), qPrintable(book.problem));
    QCOMPARE(book.sheets.size(), 1);
    QCOMPARE(book.sheets[0].name, QStringLiteral("Sheet1"));
    QCOMPARE(book.sheets[0].cells.size(), want.size());
    for (int r = 0; r < want.size(); ++r)
        QCOMPARE(book.sheets[0].cells[r], want[r]);

    const ReadBook xlrd = ReadBack::Script(QStringLiteral("xls"), {path});
    QVERIFY2(xlrd.error.isEmpty(), qPrintable(xlrd.error));
    QCOMPARE(xlrd.sheets.size(), 1);
    QCOMPARE(xlrd.sheets[0].rows.size(), want.size());
    for (int r = 0; r < want.size(); ++r)
        QCOMPARE(xlrd.sheets[0].rows[r], json(want[r]));
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

    const QStringList header = {QString::fromUtf8("کد"), "S1", QString::fromUtf8("نام")};
    const QString path = m_dir.filePath(QStringLiteral("long.xls"));
    {
        SafeFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        XlsWriter w(file, header);
        for (int i = 0; i < rows; ++i) {
            w.addNumber(i + 1);
            w.addNumber(i % 3);
            w.addText(QString::fromUtf8("نام %1").arg(i + 1));
            w.endRow();
        }
        QString error;
        QVERIFY2(w.finish(&error), qPrintable(error));
        QCOMPARE(w.sheetCount(), rowsPerSheet.size());
        QVERIFY(file.commit());
    }

    const XlsBook book = ReadXls(path);
    QCOMPARE(book.error, FREEXL_OK);
    QVERIFY2(book.problem.isEmpty(), qPrintable(book.problem));
    const ReadBook xlrd = ReadBack::Script(QStringLiteral("xls"), {path});
    QVERIFY2(xlrd.error.isEmpty(), qPrintable(xlrd.error));
    QCOMPARE(book.sheets.size(), rowsPerSheet.size());
    QCOMPARE(xlrd.sheets.size(), rowsPerSheet.size());
    const QJsonArray jsonHeader = QJsonArray::fromStringList(header);
    int next = 1;
    for (int s = 0; s < book.sheets.size(); ++s) {
        const XlsSheet &sheet = book.sheets[s];
        QCOMPARE(sheet.name, QStringLiteral("Sheet%1").arg(s + 1));
        QCOMPARE(xlrd.sheets[s].name, sheet.name);
        QCOMPARE(sheet.rows.size(), rowsPerSheet[s] + 1);
        QCOMPARE(xlrd.sheets[s].rows.size(), rowsPerSheet[s] + 1);
        QCOMPARE(sheet.rows[0], header);
        QCOMPARE(xlrd.sheets[s].rows[0], jsonHeader);
        for (int r = 1; r < sheet.rows.size(); ++r, ++next) {
            const Row want = {double(next), double((next - 1) % 3), QString::fromUtf8("نام %1").arg(next)};
            if (sheet.cells[r] != want || xlrd.sheets[s].rows[r] != json(want))
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
    Table rows;
    const int count = 20000;
    for (int i = 0; i < count; ++i) {
        Row row;
        for (int c = 0; c < 46; ++c)
            row << QString::number((i + c) % 3);
        row[0] = QString::number(i);
        rows << row;
    }
    const QString path = m_dir.filePath(QStringLiteral("large.xls"));
    QString error;
    QVERIFY2(save(path, header, rows, &error), qPrintable(error));

    const XlsBook book = ReadXls(path);
    QCOMPARE(book.error, FREEXL_OK);
    QVERIFY(book.fatSectors > 109);
    QCOMPARE(book.sheets.size(), 1);
    QCOMPARE(book.sheets[0].cells.size(), count + 1);
    const ReadBook xlrd = ReadBack::Script(QStringLiteral("xls"), {path});
    QVERIFY2(xlrd.error.isEmpty(), qPrintable(xlrd.error));
    QCOMPARE(xlrd.sheets[0].rows.size(), count + 1);
    for (int i = 0; i < count; ++i) {
        if (book.sheets[0].cells[i + 1] != rows[i] || xlrd.sheets[0].rows[i + 1] != json(rows[i]))
            QFAIL(qPrintable(QStringLiteral("row %1: %2").arg(i + 1).arg(book.sheets[0].rows[i + 1].join(','))));
    }
}

void TestXlsWriter::aFailedWriteKeepsTheFileThatWasThere_data()
{
    QTest::addColumn<int>("failAt"); // -1: the file may grow to 64 KB; else bytes before an injected failure
    QTest::newRow("disk full part way") << -1;
    QTest::newRow("first write") << 0;
    QTest::newRow("the header, written last") << 1;
}

void TestXlsWriter::aFailedWriteKeepsTheFileThatWasThere()
{
    QFETCH(int, failAt);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.xls"));
    Table rows;
    for (int i = 0; i < 20000; ++i)
        rows << Row{double(i), QString::fromUtf8("نام")};
    QString error;
    QVERIFY2(save(path, {"a", "b"}, rows, &error), qPrintable(error));
    const qint64 whole = QFileInfo(path).size();
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the earlier export");
    }

    bool ok;
    if (failAt < 0) {
        FileSizeLimit limit(64 * 1024);
        ok = save(path, {"a", "b"}, rows, &error);
    } else {
        // At the end the sheet's dimensions (18 bytes) and then the header
        // (512) go back into place; the header's write is the one past them.
        SafeFile::FailNextForTests(SafeFile::Step::Write, EIO, failAt == 0 ? 0 : whole + 18);
        ok = save(path, {"a", "b"}, rows, &error);
        SafeFile::ClearFaultForTests();
    }
    QVERIFY(!ok);
    QVERIFY(!error.isEmpty());
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("the earlier export"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"data.xls"});
}

void TestXlsWriter::refusals()
{
    // More columns than a worksheet holds.
    QBuffer wide;
    QVERIFY(wide.open(QIODevice::WriteOnly));
    XlsWriter w(wide);
    for (int c = 0; c < 257; ++c)
        w.addText(QStringLiteral("x"));
    w.endRow();
    QString error;
    QVERIFY(!w.finish(&error));
    QVERIFY(error.contains(QStringLiteral("256")));

    // A device that cannot go back to write the header.
    Pipe pipe;
    QVERIFY(pipe.open(QIODevice::WriteOnly));
    XlsWriter p(pipe, {"a"});
    p.addText(QStringLiteral("x"));
    p.endRow();
    error.clear();
    QVERIFY(!p.finish(&error));
    QVERIFY(!error.isEmpty());
    QVERIFY(pipe.data().isEmpty());
}

QTEST_GUILESS_MAIN(TestXlsWriter)
#include "tst_xlswriter.moc"
