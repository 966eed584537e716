// The workbook reader: cell texts as the import sees them, both formats, and
// files that are broken or built to hurt.
#include "capture/WorkbookReader.h"
#include "XlsxMaker.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <zlib.h>

using namespace XlsxMaker;
using Status = WorkbookReader::Status;

Q_DECLARE_METATYPE(XlsxMaker::Kind)
Q_DECLARE_METATYPE(WorkbookReader::Status)

namespace {

QString SourceFile(const QString &rel)
{
    return QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(rel);
}

// A raw deflate stream of `megabytes` MiB of blanks, made from one
// self-contained compressed MiB repeated, so a test can hand the reader a
// member that unpacks to gigabytes without compressing gigabytes.
QByteArray DeflatedBlanks(const QByteArray &head, int megabytes)
{
    z_stream s{};
    deflateInit2(&s, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    auto run = [&s](QByteArray input, int flush) {
        QByteArray out(int(deflateBound(&s, uLong(input.size()))) + 64, '\0');
        s.next_in = reinterpret_cast<Bytef *>(input.data());
        s.avail_in = uInt(input.size());
        s.next_out = reinterpret_cast<Bytef *>(out.data());
        s.avail_out = uInt(out.size());
        deflate(&s, flush);
        out.truncate(out.size() - int(s.avail_out));
        return out;
    };
    const QByteArray blanks(1024 * 1024, ' ');
    QByteArray stream = run(head, Z_FULL_FLUSH);
    const QByteArray chunk = run(blanks, Z_FULL_FLUSH);
    const QByteArray again = run(blanks, Z_FULL_FLUSH);
    if (chunk != again) // the repetition trick needs identical chunks
        return {};
    for (int i = 1; i < megabytes; ++i)
        stream += chunk;
    stream += run(QByteArray("</sheetData></worksheet>"), Z_FINISH);
    deflateEnd(&s);
    return stream;
}

} // namespace

class TestWorkbookReader : public QObject
{
    Q_OBJECT
private slots:
    void cellTexts_data();
    void cellTexts();
    void layout_data();
    void layout();
    void cellsWithoutReferences();
    void markerSheetByName();
    void refused_data();
    void refused();
    void readsByContentNotName();
    void millionRows();
    void endlessRow();
    void memberThatUnpacksToGigabytes();
    void xlsFixtures_data();
    void xlsFixtures();
    void xlsLibraryFailureContained();
    void deliveredTemplate();
};

// Each way a writer stores a value gives the text the import compares.
void TestWorkbookReader::cellTexts_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("absolute");
    QTest::addColumn<QString>("expected");

    QTest::newRow("integer") << Kind::Number << "1" << false << "1";
    QTest::newRow("integer written 1.0") << Kind::Number << "1.0" << false << "1";
    QTest::newRow("zero in exponent form") << Kind::Number << "0E+0" << true << "0";
    QTest::newRow("fraction") << Kind::Number << "1.5" << false << "1.5";
    QTest::newRow("binary noise cut to 15 digits") << Kind::Number << "2.0000000000000004" << false << "2";
    QTest::newRow("shared string") << Kind::Shared << "2" << false << "2";
    QTest::newRow("shared string, absolute targets") << Kind::Shared << "x" << true << "x";
    QTest::newRow("shared text keeps its blanks") << Kind::Shared << " 1 " << false << " 1 ";
    QTest::newRow("Persian text") << Kind::Shared << "الف" << false << "الف";
    QTest::newRow("inline string") << Kind::Inline << "0" << false << "0";
    QTest::newRow("formula, cached number") << Kind::FormulaNumber << "2" << true << "2";
    QTest::newRow("formula, cached text") << Kind::FormulaText << "1" << false << "1";
    QTest::newRow("boolean true") << Kind::Bool << "1" << false << "TRUE";
    QTest::newRow("boolean false") << Kind::Bool << "0" << false << "FALSE";
    QTest::newRow("error value") << Kind::Error << "#N/A" << false << "#N/A";
    QTest::newRow("styled empty cell") << Kind::Blank << "" << false << "";
}

void TestWorkbookReader::cellTexts()
{
    QFETCH(Kind, kind);
    QFETCH(QString, stored);
    QFETCH(bool, absolute);
    QFETCH(QString, expected);

    Book book;
    book.absoluteTargets = absolute;
    Sheet sheet = AnswerSheet({});
    sheet.set(QStringLiteral("F7"), {kind, stored});
    book.sheets = {sheet};

    const auto r = WorkbookReader::ReadBytes(Make(book));
    QCOMPARE(r.status, Status::Ok);
    QCOMPARE(r.z3, QStringLiteral("KVR"));
    QCOMPARE(r.answers.size(), 40);
    QCOMPARE(r.answers[5], expected);
    QCOMPARE(r.answers[4], QString());
    QCOMPARE(r.answers[6], QString());
}

// F(n + 1) is item n; neighbours of the answer column, rows past 41 and
// other sheets do not leak in.
void TestWorkbookReader::layout_data()
{
    QTest::addColumn<bool>("prefixed");
    QTest::newRow("default namespace") << false;
    QTest::newRow("prefixed elements") << true;
}

void TestWorkbookReader::layout()
{
    QFETCH(bool, prefixed);
    QStringList answers;
    for (int n = 1; n <= 40; ++n)
        answers << QString::number(n % 3);
    Sheet sheet = AnswerSheet(answers);
    sheet.number(QStringLiteral("E2"), QStringLiteral("7"));
    sheet.number(QStringLiteral("G41"), QStringLiteral("7"));
    sheet.number(QStringLiteral("F1"), QStringLiteral("7"));
    sheet.number(QStringLiteral("F42"), QStringLiteral("7"));
    sheet.number(QStringLiteral("Y3"), QStringLiteral("7"));
    sheet.number(QStringLiteral("AA3"), QStringLiteral("7"));

    Sheet other;
    other.name = QStringLiteral("Sheet1");
    other.shared(QStringLiteral("Z3"), QStringLiteral("other"));
    other.number(QStringLiteral("F2"), QStringLiteral("9"));

    Book book;
    book.prefixedNamespace = prefixed;
    book.sheets = {other, sheet};
    const auto r = WorkbookReader::ReadBytes(Make(book));
    QCOMPARE(r.status, Status::Ok);
    QCOMPARE(r.z3, QStringLiteral("KVR"));
    QCOMPARE(r.answers, answers);
}

// Rows and cells may leave out their references; they follow the one before.
void TestWorkbookReader::cellsWithoutReferences()
{
    Sheet sheet;
    QString data = QStringLiteral("<row/>"); // row 1
    data += QStringLiteral("<row><c/><c/><c/><c/><c/><c t=\"inlineStr\"><is><t>2</t></is></c></row>"); // F2
    data += QStringLiteral("<row r=\"3\"><c r=\"F3\"><v>1</v></c><c r=\"Z3\" t=\"inlineStr\"><is><r><t>K</t></r><r><t>VR</t></r>"
                           "<rPh><t>phonetic</t></rPh></is></c></row>");
    sheet.rawSheetData = data;
    Book book;
    book.sheets = {sheet};
    const auto r = WorkbookReader::ReadBytes(Make(book));
    QCOMPARE(r.status, Status::Ok);
    QCOMPARE(r.z3, QStringLiteral("KVR"));
    QCOMPARE(r.answers[0], QStringLiteral("2"));
    QCOMPARE(r.answers[1], QStringLiteral("1"));
}

// Sheet names match without regard to case, as in the spreadsheet itself;
// the marker text in Z3 is the import's business and comes back as stored.
void TestWorkbookReader::markerSheetByName()
{
    Sheet sheet = AnswerSheet({QStringLiteral("1")}, QStringLiteral("kvr"));
    sheet.name = QStringLiteral("kvr");
    Book book;
    book.sheets = {sheet};
    const auto r = WorkbookReader::ReadBytes(Make(book));
    QCOMPARE(r.status, Status::Ok);
    QCOMPARE(r.z3, QStringLiteral("kvr"));
    QCOMPARE(r.answers[0], QStringLiteral("1"));
}

void TestWorkbookReader::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Status>("status");

    QTest::newRow("empty file") << QByteArray() << Status::NotAWorkbook;
    QTest::newRow("text file") << QByteArray("KVR\n1\n2\n") << Status::NotAWorkbook;
    QTest::newRow("OLE signature, nothing after")
        << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(600, 'x') << Status::Damaged;

    Book good;
    good.sheets = {AnswerSheet({QStringLiteral("1")})};
    const QByteArray whole = Make(good);
    QTest::newRow("zip cut short") << whole.left(whole.size() / 2) << Status::Damaged;
    QByteArray flipped = whole;
    for (int i = 200; i < flipped.size() - 200; i += 7)
        flipped[i] = char(flipped[i] ^ 0x5a);
    QTest::newRow("zip with damaged members") << flipped << Status::Damaged;

    QTest::newRow("zip without a workbook")
        << Zip({{QStringLiteral("readme.txt"), QByteArray("hello")}}) << Status::Damaged;

    Book other;
    Sheet s1 = AnswerSheet({QStringLiteral("1")});
    s1.name = QStringLiteral("Sheet1");
    other.sheets = {s1};
    QTest::newRow("no marker sheet") << Make(other) << Status::NoMarkerSheet;

    auto withSheet = [](const QByteArray &sheetXml) {
        Book b;
        b.sheets = {AnswerSheet({})};
        auto parts = Parts(b);
        for (auto &p : parts)
            if (p.first == u"xl/worksheets/sheet1.xml")
                p.second = sheetXml;
        return Zip(parts);
    };
    QTest::newRow("malformed sheet XML")
        << withSheet("<worksheet><sheetData><row r=\"2\"><c r=\"F2\"><v>1</c></row>") << Status::Damaged;
    QTest::newRow("sheet cut short")
        << withSheet("<worksheet><sheetData><row r=\"2\"><c r=\"F2\"><v>1</v></c>") << Status::Damaged;
    QTest::newRow("entity expansion")
        << withSheet("<?xml version=\"1.0\"?><!DOCTYPE w [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
                     "<worksheet><sheetData><row r=\"2\"><c r=\"F2\" t=\"str\"><v>&b;</v></c></row></sheetData></worksheet>")
        << Status::Damaged;
    QTest::newRow("bad cell reference")
        << withSheet("<worksheet><sheetData><row r=\"2\"><c r=\"F99999999999\"><v>1</v></c></row></sheetData></worksheet>")
        << Status::Damaged;
    QTest::newRow("shared string beyond the table")
        << withSheet("<worksheet><sheetData><row r=\"2\"><c r=\"F2\" t=\"s\"><v>5</v></c></row></sheetData></worksheet>")
        << Status::Damaged;
    QTest::newRow("sheet part missing")
        << [] {
               Book b;
               b.sheets = {AnswerSheet({})};
               auto parts = Parts(b);
               parts.removeIf([](const auto &p) { return p.first.startsWith(u"xl/worksheets/"); });
               return Zip(parts);
           }()
        << Status::Damaged;
}

void TestWorkbookReader::refused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Status, status);
    const auto r = WorkbookReader::ReadBytes(bytes);
    QCOMPARE(r.status, status);
    QVERIFY(!r.reason.isEmpty());

    // The same through a file on disk.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input.xlsx"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    QCOMPARE(WorkbookReader::Read(path).status, status);
}

void TestWorkbookReader::readsByContentNotName()
{
    Book book;
    book.sheets = {AnswerSheet({QStringLiteral("2")})};
    QTemporaryDir dir;
    // Persian folder and file names are fine too.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("پاسخها")));
    const QString path = dir.filePath(QStringLiteral("پاسخها/آزمون.xls")); // an .xlsx under another name
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(Make(book));
    f.close();
    const auto r = WorkbookReader::Read(path);
    QCOMPARE(r.status, Status::Ok);
    QCOMPARE(r.answers[0], QStringLiteral("2"));

    const QString xls = dir.filePath(QStringLiteral("پاسخها/آزمون.xlsx")); // and an .xls under another
    QVERIFY(QFile::copy(SourceFile(QStringLiteral("tests/fixtures/import-all.xls")), xls));
    QCOMPARE(WorkbookReader::Read(xls).answers.value(0), QStringLiteral("1"));

    QCOMPARE(WorkbookReader::Read(dir.filePath(QStringLiteral("missing.xlsx"))).status, Status::NotAWorkbook);
    QCOMPARE(WorkbookReader::Read(dir.path()).status, Status::NotAWorkbook); // a folder
}

// The reader stops at row 42 and never walks the rest of a long sheet.
void TestWorkbookReader::millionRows()
{
    QString data;
    data.reserve(20 * 1000 * 1000);
    data += QStringLiteral("<row r=\"2\"><c r=\"F2\"><v>2</v></c></row>"
                           "<row r=\"3\"><c r=\"Z3\" t=\"inlineStr\"><is><t>KVR</t></is></c></row>");
    for (int r = 4; r <= 1000000; ++r)
        data += QStringLiteral("<row r=\"%1\"><c><v>1</v></c></row>").arg(r);
    Sheet sheet;
    sheet.rawSheetData = data;
    Book book;
    book.sheets = {sheet};
    const QByteArray bytes = Make(book);
    QVERIFY(bytes.size() < WorkbookReader::kMaxFileBytes);
    const auto r = WorkbookReader::ReadBytes(bytes);
    QCOMPARE(r.status, Status::Ok);
    QCOMPARE(r.z3, QStringLiteral("KVR"));
    QCOMPARE(r.answers[0], QStringLiteral("2"));
}

// One row of endless cells is given up, not read to the end.
void TestWorkbookReader::endlessRow()
{
    Sheet sheet;
    sheet.rawSheetData = QStringLiteral("<row r=\"1\">") + QStringLiteral("<c/>").repeated(400000) + QStringLiteral("</row>");
    Book book;
    book.sheets = {sheet};
    QCOMPARE(WorkbookReader::ReadBytes(Make(book)).status, Status::Damaged);
}

void TestWorkbookReader::memberThatUnpacksToGigabytes()
{
    const QByteArray stream = DeflatedBlanks("<worksheet><sheetData>", 2000);
    QVERIFY(!stream.isEmpty());
    QVERIFY(stream.size() < 4 * 1024 * 1024);

    Book book;
    book.sheets = {AnswerSheet({})};
    auto parts = Parts(book);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QuaZip zip(&buffer);
    QVERIFY(zip.open(QuaZip::mdCreate));
    for (const auto &p : parts) {
        QuaZipFile f(&zip);
        QuaZipNewInfo info(p.first);
        if (p.first == u"xl/worksheets/sheet1.xml") {
            info.uncompressedSize = 2000ull * 1024 * 1024;
            QVERIFY(f.open(QIODevice::WriteOnly, info, nullptr, 0, Z_DEFLATED, 9, true));
            f.write(stream);
            f.close();
        } else {
            QVERIFY(f.open(QIODevice::WriteOnly, info));
            f.write(p.second);
            f.close();
        }
    }
    zip.close();

    const auto r = WorkbookReader::ReadBytes(bytes);
    QCOMPARE(r.status, Status::Damaged);
    QVERIFY2(r.reason.contains(u"larger than"), qPrintable(r.reason));
}

// Workbooks saved by a spreadsheet program (Excel 97-2003 ones made from
// .xlsx workbooks like those above, and one .xlsx of its own); kept under
// tests/fixtures.
void TestWorkbookReader::xlsFixtures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QString>("z3");
    QTest::addColumn<QStringList>("answers");

    QStringList all;
    for (int n = 1; n <= 40; ++n)
        all << QString::number(n % 3);
    QStringList mixed(40, QString());
    mixed[0] = QStringLiteral("1");
    mixed[1] = QStringLiteral("3");
    mixed[2] = QStringLiteral("x");
    mixed[3] = QStringLiteral("1.5");
    mixed[4] = QStringLiteral("2");
    QTest::newRow("all answers") << "import-all.xls" << Status::Ok << "KVR" << all;
    QTest::newRow("odd cells") << "import-mixed.xls" << Status::Ok << "KVR" << mixed;
    QTest::newRow("odd cells, .xlsx written by LibreOffice") << "import-mixed-lo.xlsx" << Status::Ok << "KVR" << mixed;
    QTest::newRow("lower-case marker") << "import-lowercase.xls" << Status::Ok << "kvr" << QStringList(40, QString());
    QTest::newRow("no marker sheet") << "import-nosheet.xls" << Status::NoMarkerSheet << "" << QStringList();
}

void TestWorkbookReader::xlsFixtures()
{
    QFETCH(QString, file);
    QFETCH(Status, status);
    QFETCH(QString, z3);
    QFETCH(QStringList, answers);
    const QString path = SourceFile(QStringLiteral("tests/fixtures/") + file);
    QVERIFY2(QFile::exists(path), qPrintable(path));
    const auto r = WorkbookReader::Read(path);
    QCOMPARE(r.status, status);
    if (status != Status::Ok)
        return;
    QCOMPARE(r.z3, z3);
    QCOMPARE(r.answers, answers);
}

// A crafted .xls on which the .xls library reads past its own buffers (found
// by fuzzing): the reader runs that library apart, so the file is refused and
// the program goes on.
void TestWorkbookReader::xlsLibraryFailureContained()
{
    const auto r = WorkbookReader::Read(SourceFile(QStringLiteral("tests/fixtures/xls-overread.xls")));
    QVERIFY(r.status != Status::Ok);
    QVERIFY(!r.reason.isEmpty());
    // and the next file reads as usual
    QCOMPARE(WorkbookReader::Read(SourceFile(QStringLiteral("tests/fixtures/import-all.xls"))).status, Status::Ok);
}

// The blank template offered for download is one the import accepts.
void TestWorkbookReader::deliveredTemplate()
{
    const auto r = WorkbookReader::Read(SourceFile(QStringLiteral("data/KVR-Excel.xlsx")));
    QCOMPARE(r.status, Status::Ok);
    QCOMPARE(r.z3, WorkbookReader::MarkerText());
    QCOMPARE(r.answers, QStringList(40, QString()));

    // The archive holds the same workbook.
    QuaZip zip(SourceFile(QStringLiteral("data/KVR-Excel.zip")));
    QVERIFY(zip.open(QuaZip::mdUnzip));
    QVERIFY(zip.setCurrentFile(QStringLiteral("KVR-Excel.xlsx")));
    QuaZipFile member(&zip);
    QVERIFY(member.open(QIODevice::ReadOnly));
    QFile original(SourceFile(QStringLiteral("data/KVR-Excel.xlsx")));
    QVERIFY(original.open(QIODevice::ReadOnly));
    QCOMPARE(member.readAll(), original.readAll());
}

QTEST_MAIN(TestWorkbookReader)
#include "tst_workbookreader.moc"
