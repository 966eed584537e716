// The .xls side of the workbook reader: the records as different programs
// lay them out, the compound document around them in its several layouts,
// and files damaged or built to mislead at each level.
#include "capture/WorkbookReader.h"
#include "XlsMaker.h"

#include <QtTest>

using namespace XlsMaker;
using Status = WorkbookReader::Status;

Q_DECLARE_METATYPE(WorkbookReader::Status)

namespace {

Cell Text(const QString &t) { return {Kind::Shared, t}; }
Cell Number(const QString &n) { return {Kind::Rk, n}; }

// A marker sheet with "KVR" in Z3 and answers in F2 onwards.
Sheet AnswerSheet(const QStringList &answers)
{
    Sheet s;
    s.set(QStringLiteral("Z3"), Text(QStringLiteral("KVR")));
    for (int i = 0; i < answers.size(); ++i)
        if (!answers[i].isEmpty())
            s.set(QStringLiteral("F%1").arg(i + 2), Number(answers[i]));
    return s;
}

QStringList Cycle()
{
    QStringList a;
    for (int n = 1; n <= 40; ++n)
        a << QString::number(n % 3);
    return a;
}

WorkbookReader::Result ReadBook(const Book &book)
{
    return WorkbookReader::ReadBytes(Make(book));
}

// Where the n-th record of a type starts in a workbook stream.
qint64 RecordAt(const QByteArray &stream, int type, int n = 0)
{
    for (qint64 at = 0; at + 4 <= stream.size();) {
        const int t = quint8(stream[at]) | quint8(stream[at + 1]) << 8;
        const int size = quint8(stream[at + 2]) | quint8(stream[at + 3]) << 8;
        if (t == type && n-- == 0)
            return at;
        at += 4 + size;
    }
    return -1;
}

QByteArray Patched(QByteArray stream, qint64 at, quint32 value)
{
    Set32(stream, at, value);
    return stream;
}

} // namespace

class TestXlsReader : public QObject
{
    Q_OBJECT
private slots:
    void rowsOfCells();
    void sharedStringsOverContinueRecords();
    void formattedSharedStrings();
    void longFormulaText();
    void excel95Workbook();
    void markerSheetChoice();
    void containerLayouts_data();
    void containerLayouts();
    void refused_data();
    void refused();
};

// Cells of one row in one record, later records for a cell replacing
// earlier ones, neighbours of the wanted cells and rows past 41.
void TestXlsReader::rowsOfCells()
{
    Sheet s = AnswerSheet({});
    s.mulRk = true;
    for (int col = 1; col <= 8; ++col) // A2..H2 and A3..H3 as two MULRK records
        for (int row = 2; row <= 3; ++row)
            s.set(QStringLiteral("%1%2").arg(QChar('A' + col - 1)).arg(row), Number(QString::number(col)));
    s.set(QStringLiteral("F42"), Number(QStringLiteral("2")));
    s.set(QStringLiteral("F1"), Number(QStringLiteral("2")));
    QByteArray blanks; // a MULBLANK over E4..G4 after the F4 cell
    Put16(blanks, 3);
    Put16(blanks, 4);
    for (int i = 0; i < 3; ++i)
        Put16(blanks, 0);
    Put16(blanks, 6);
    s.set(QStringLiteral("F4"), Number(QStringLiteral("1")));
    s.extraRecords = {Record(0x00BE, blanks)};
    Book book;
    book.sheets = {s};
    const auto r = ReadBook(book);
    QCOMPARE(r.status, Status::Ok);
    QStringList expected(40, QString());
    expected[0] = expected[1] = QStringLiteral("6");
    QCOMPARE(r.answers, expected);
}

// A string table split over CONTINUE records at every place a writer may
// split it: between texts, inside Latin-1 and inside UTF-16 characters runs,
// with the width changing at the split.
void TestXlsReader::sharedStringsOverContinueRecords()
{
    for (int limit : {11, 12, 13, 17, 64, 8224}) {
        Sheet s = AnswerSheet({});
        QStringList expected(40, QString());
        for (int n = 0; n < 40; ++n) {
            const QString t = n % 3 == 0 ? QStringLiteral("پاسخ %1").arg(n) : n % 3 == 1 ? QString::number(n % 3)
                                                                                   : QStringLiteral("answer number %1").arg(n);
            s.set(QStringLiteral("F%1").arg(n + 2), Text(t));
            expected[n] = t;
        }
        Book book;
        book.maxRecordData = limit;
        book.sheets = {s};
        const auto r = ReadBook(book);
        QVERIFY2(r.status == Status::Ok, qPrintable(r.reason));
        QCOMPARE(r.z3, QStringLiteral("KVR"));
        QCOMPARE(r.answers, expected);
    }
}

// Texts with formatting runs and phonetic data, both running on into
// CONTINUE records, as Excel writes them.
void TestXlsReader::formattedSharedStrings()
{
    QByteArray first;
    Put32(first, 3);
    Put32(first, 3);
    // 0: "KVR" with two formatting runs
    Put16(first, 3);
    first.append(char(0x08));
    Put16(first, 2);
    first.append("KVR");
    first.append(QByteArray(6, 'r')); // 2 of the 8 bytes of runs; the rest go on below
    QByteArray second = QByteArray(2, 'r');
    // 1: "2" with 5 bytes of phonetic data, 3 of them in the next record
    Put16(second, 1);
    second.append(char(0x04));
    Put32(second, 5);
    second.append("2");
    second.append("pp");
    QByteArray third("ppp");
    // 2: "x"
    Put16(third, 1);
    third.append(char(0));
    third.append("x");
    Sheet s;
    s.extraRecords = {LabelSst(3, 26, 0), LabelSst(2, 6, 1), LabelSst(3, 6, 2)};
    Book book;
    book.rawSst = Record(0x00FC, first) + Record(0x003C, second) + Record(0x003C, third);
    book.sheets = {s};
    const auto r = ReadBook(book);
    QVERIFY2(r.status == Status::Ok, qPrintable(r.reason));
    QCOMPARE(r.z3, QStringLiteral("KVR"));
    QCOMPARE(r.answers.mid(0, 2), (QStringList{QStringLiteral("2"), QStringLiteral("x")}));
}

// A formula's text result longer than one record goes on in CONTINUE
// records after its STRING record.
void TestXlsReader::longFormulaText()
{
    const QString text = QStringLiteral("پاسخ ").repeated(3000);
    Sheet s = AnswerSheet({});
    s.set(QStringLiteral("F2"), {Kind::FormulaText, text});
    s.set(QStringLiteral("F3"), {Kind::FormulaText, QStringLiteral("1")});
    Book book;
    book.sheets = {s};
    const auto r = ReadBook(book);
    QVERIFY2(r.status == Status::Ok, qPrintable(r.reason));
    QCOMPARE(r.answers[0], text);
    QCOMPARE(r.answers[1], QStringLiteral("1"));
}

// Excel 5.0/95: single-byte texts in the workbook's code page, no shared
// strings, the marker sheet found by name without regard to case.
void TestXlsReader::excel95Workbook()
{
    Sheet s = AnswerSheet(Cycle());
    s.name = QStringLiteral("kvr");
    s.set(QStringLiteral("F2"), {Kind::Label, QStringLiteral("الف")});
    s.set(QStringLiteral("F3"), {Kind::FormulaText, QStringLiteral("2")});
    Book book;
    book.biff5 = true;
    book.codePage = 1256;
    book.sheets = {s};
    const auto r = ReadBook(book);
    QVERIFY2(r.status == Status::Ok, qPrintable(r.reason));
    QCOMPARE(r.z3, QStringLiteral("KVR"));
    QStringList expected = Cycle();
    expected[0] = QStringLiteral("الف");
    expected[1] = QStringLiteral("2");
    QCOMPARE(r.answers, expected);
}

// The sheet named exactly as the marker wins over one that matches only
// without regard to case, wherever they stand; cells of a chart inside the
// sheet are not the sheet's.
void TestXlsReader::markerSheetChoice()
{
    Sheet other = AnswerSheet(QStringList(40, QStringLiteral("2")));
    other.name = QStringLiteral("Sheet1");
    Sheet caseless = AnswerSheet(QStringList(40, QStringLiteral("0")));
    caseless.name = QStringLiteral("kVr");
    Sheet exact = AnswerSheet(Cycle());
    QByteArray chartCell;
    Put16(chartCell, 1); // F2 inside the chart
    Put16(chartCell, 5);
    Put16(chartCell, 0);
    PutDouble(chartCell, 0);
    exact.extraRecords = {Bof(false, 0x0020) + Record(0x0203, chartCell) + Record(0x000A, {})};
    Book book;
    book.sheets = {other, caseless, exact};
    const auto r = ReadBook(book);
    QVERIFY2(r.status == Status::Ok, qPrintable(r.reason));
    QCOMPARE(r.answers, Cycle());
}

// The workbook stream in the mini stream, in whole sectors, and in a file
// large enough that the allocation table needs list sectors of its own.
void TestXlsReader::containerLayouts_data()
{
    QTest::addColumn<QByteArray>("bytes");
    Book book;
    book.sheets = {AnswerSheet(Cycle())};
    const QByteArray stream = Stream(book);
    QVERIFY(stream.size() < 4096);
    QTest::newRow("mini stream") << Wrap(stream).bytes;
    QTest::newRow("whole sectors") << Wrap(stream + QByteArray(4096, '\0'), QStringLiteral("Workbook"), false).bytes;
    QTest::newRow("named Book") << Wrap(stream, QStringLiteral("BOOK")).bytes;

    Book big = book;
    QStringList strings; // 8 MB of texts before the wanted cells
    for (int i = 0; i < 100000; ++i)
        strings << QStringLiteral("text %1 ").arg(i).repeated(8);
    Sheet s = AnswerSheet(Cycle());
    s.set(QStringLiteral("F41"), Text(QStringLiteral("tail")));
    big.rawSst = SstRecords(strings + QStringList{QStringLiteral("KVR"), QStringLiteral("tail")}, 8224);
    s.cells.remove({3, 26});
    s.cells.remove({41, 6});
    s.extraRecords = {LabelSst(3, 26, 100000), LabelSst(41, 6, 100001)};
    big.sheets = {s};
    const Container c = Wrap(Stream(big));
    QVERIFY2(c.fatSectors > 109, "needs the allocation list sectors");
    QTest::newRow("allocation list sectors") << c.bytes;
}

void TestXlsReader::containerLayouts()
{
    QFETCH(QByteArray, bytes);
    const auto r = WorkbookReader::ReadBytes(bytes);
    QVERIFY2(r.status == Status::Ok, qPrintable(r.reason));
    QCOMPARE(r.z3, QStringLiteral("KVR"));
    QStringList expected = Cycle();
    if (bytes.size() > 1000000)
        expected[39] = QStringLiteral("tail");
    QCOMPARE(r.answers, expected);
}

void TestXlsReader::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Status>("status");

    Book book;
    book.sheets = {AnswerSheet(Cycle())};
    const QByteArray stream = Stream(book);
    const QByteArray padded = stream + QByteArray(4096, '\0');
    auto regular = [&padded] { return Wrap(padded, QStringLiteral("Workbook"), false); };
    auto damaged = [](Container c, auto change) {
        change(c);
        return c.bytes;
    };

    // the container
    QTest::newRow("sector chain loops") << damaged(regular(), [](Container &c) {
        c.setFat(c.firstDataSector + c.dataSectors - 1, quint32(c.firstDataSector));
    }) << Status::Damaged;
    QTest::newRow("chain into a free sector") << damaged(regular(), [](Container &c) {
        c.setFat(c.firstDataSector, 0xFFFFFFFFu);
    }) << Status::Damaged;
    QTest::newRow("chain past the end of the file") << damaged(regular(), [](Container &c) {
        c.setFat(c.firstDataSector, 1000000);
    }) << Status::Damaged;
    QTest::newRow("stream larger than the file") << damaged(regular(), [](Container &c) {
        c.setEntry(1, 0x78, 0x7FFFFFFF);
    }) << Status::Damaged;
    QTest::newRow("stream longer than its chain") << damaged(regular(), [](Container &c) {
        c.setFat(c.firstDataSector + 1, 0xFFFFFFFEu);
    }) << Status::Damaged;
    QTest::newRow("directory tree loops") << damaged(regular(), [](Container &c) {
        c.setEntry(1, 0x44, 1);
    }) << Status::Damaged;
    QTest::newRow("directory past the end of the file") << damaged(regular(), [](Container &c) {
        c.setHeader(0x30, 1000000);
    }) << Status::Damaged;
    QTest::newRow("allocation table outside the file") << damaged(regular(), [](Container &c) {
        c.setHeader(0x4C, 1000000);
    }) << Status::Damaged;
    QTest::newRow("odd sector size") << damaged(regular(), [](Container &c) {
        c.setHeader(0x1C, 0x000AFFFE);
    }) << Status::Damaged;
    QTest::newRow("mini chain loops") << damaged(Wrap(stream), [](Container &c) {
        Set32(c.bytes, c.sectorOffset(c.miniFatSector) + 4 * 5, 2);
    }) << Status::Damaged;
    QTest::newRow("mini sector past the mini stream") << damaged(Wrap(stream), [](Container &c) {
        Set32(c.bytes, c.sectorOffset(c.miniFatSector), 100000);
    }) << Status::Damaged;
    QTest::newRow("cut short") << Wrap(padded, QStringLiteral("Workbook"), false).bytes.left(3000) << Status::Damaged;
    QTest::newRow("no workbook stream") << Wrap(stream, QStringLiteral("Other")).bytes << Status::Damaged;

    // the records
    QByteArray longRecord = stream;
    longRecord[stream.size() - 2] = char(0x10); // the last EOF claims 16 bytes
    QTest::newRow("record past the end") << Wrap(longRecord).bytes << Status::Damaged;
    QTest::newRow("sheet without its end") << Wrap(stream.left(stream.size() - 4)).bytes << Status::Damaged;
    QTest::newRow("sheet past the end") << Wrap(Patched(stream, RecordAt(stream, 0x0085) + 4, 1000000)).bytes << Status::Damaged;
    QTest::newRow("sheet where no sheet starts") << Wrap(Patched(stream, RecordAt(stream, 0x0085) + 4, 4)).bytes << Status::Damaged;
    QTest::newRow("shared string past the table") << Wrap(Patched(stream, RecordAt(stream, 0x00FD) + 10, 7)).bytes << Status::Damaged;
    QTest::newRow("shared string with endless phonetic data") << [] {
        Book b;
        QByteArray sst;
        Put32(sst, 2);
        Put32(sst, 2);
        Put16(sst, 1);
        sst.append(char(0x04));
        Put32(sst, 0xFFFFFFF0u);
        sst.append("x");
        b.rawSst = Record(0x00FC, sst);
        Sheet s;
        s.extraRecords = {LabelSst(3, 26, 1)};
        b.sheets = {s};
        return Make(b);
    }() << Status::Damaged;
    QTest::newRow("cell record cut short") << [] {
        Book b;
        Sheet s = AnswerSheet(Cycle());
        s.extraRecords = {Record(0x0203, QByteArray(8, '\0'))};
        b.sheets = {s};
        return Make(b);
    }() << Status::Damaged;
    QTest::newRow("encrypted") << [] {
        Book b;
        b.sheets = {AnswerSheet(Cycle())};
        b.extraGlobals = {Record(0x002F, QByteArray(6, '\1'))};
        return Make(b);
    }() << Status::Damaged;
    QByteArray excel4 = stream;
    excel4[5] = char(0x04); // BOF version 0x0400
    QTest::newRow("Excel 4.0 stream") << Wrap(excel4).bytes << Status::Damaged;
    Sheet named = AnswerSheet(Cycle());
    named.name = QStringLiteral("KVR2");
    QTest::newRow("no marker sheet") << Make(Book{{named}}) << Status::NoMarkerSheet;
}

void TestXlsReader::refused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Status, status);
    const auto r = WorkbookReader::ReadBytes(bytes);
    QVERIFY2(r.status == status, qPrintable(QStringLiteral("status %1: %2").arg(int(r.status)).arg(r.reason)));
    QVERIFY(!r.reason.isEmpty());
    QVERIFY(r.answers.isEmpty());
}

QTEST_GUILESS_MAIN(TestXlsReader)
#include "tst_xlsreader.moc"
