// The workbook reader: cell texts as the import sees them, both formats, and
// files that are broken or built to hurt.
#include "capture/WorkbookReader.h"
#include "common/PluginModule.h"
#include "HostileWorkbooks.h"
#include "XlsMaker.h"
#include "XlsxMaker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>

#include <zlib.h>

using namespace XlsxMaker;
using Status = WorkbookReader::Status;

Q_DECLARE_METATYPE(XlsxMaker::Kind)
Q_DECLARE_METATYPE(XlsMaker::Kind)
Q_DECLARE_METATYPE(WorkbookReader::Status)

#if defined(__SANITIZE_ADDRESS__)
#define KVR_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KVR_UNDER_SANITIZER 1
#endif
#endif

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

// The texts of the cells-* fixtures: one set of cells of every kind, saved
// by LibreOffice and Gnumeric as .xls and .xlsx (made by
// tests/fixtures/make_import_fixtures.py).
QStringList CellsFixtureTexts()
{
    QStringList t = {
        "0", "1", "2", "3", "1.5", "-1", "1234567890123", "12.34",             // F2..F9 numbers
        "2", "x", " 1 ", "الف",                                                // F10..F13 texts
        "1", "2", "0", "TRUE", "#DIV/0!", "",                                  // F14..F19 formula results
        "TRUE", "FALSE", "#N/A",                                               // F20..F22
        "1900-01-02", "2023-03-15", "2023-03-15 12:00:00", "18:00:00",         // F23..F26 dates and times
        "1", "", QStringLiteral("ab").repeated(150), "2", "1900-01-02", "0.3", "FALSE", "#N/A", // F27..F34
    };
    while (t.size() < 40)
        t << QString();
    return t;
}

QStringList Cycle()
{
    QStringList a;
    for (int n = 1; n <= 40; ++n)
        a << QString::number(n % 3);
    return a;
}

// /proc/self/status field in kilobytes.
qint64 StatusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Run as a child by hostileWorkbooksStaySmall: reads one file and prints by
// how much its resident memory grew at the peak, and the status. The zip
// plugin is loaded first: its libraries are no part of what a read costs.
int ReadAndMeasure(const char *path)
{
    if (!PluginModule::Load(QStringLiteral("kvr-zip.so")))
        return 1;
    const qint64 before = StatusKb("VmRSS:");
    QFile clear(QStringLiteral("/proc/self/clear_refs")); // the peak starts again from here
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    clear.close();
    const WorkbookReader::Result r = WorkbookReader::Read(QString::fromLocal8Bit(path));
    std::printf("%lld %d\n", static_cast<long long>(StatusKb("VmHWM:") - before), int(r.status));
    return 0;
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
    void craftedXlsRefused();
    void withoutTheZipReader_data();
    void withoutTheZipReader();
    void deliveredTemplate();

    void sameTextInEveryFormat_data();
    void sameTextInEveryFormat();
    void spreadsheetPrograms_data();
    void spreadsheetPrograms();
    void formulaResults_data();
    void formulaResults();
    void formulasWithoutResults_data();
    void formulasWithoutResults();
    void hostileWorkbooksStaySmall_data();
    void hostileWorkbooksStaySmall();
    void deliveredTemplateOpensElsewhere_data();
    void deliveredTemplateOpensElsewhere();
    void deliveredTemplateIsReproducible();
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
    // dates as ISO text read as dates in a date format do
    QTest::newRow("ISO date") << Kind::IsoDate << "2023-03-15T00:00:00" << false << "2023-03-15";
    QTest::newRow("ISO date and time") << Kind::IsoDate << "2023-03-15T12:00:00" << false << "2023-03-15 12:00:00";
    QTest::newRow("not an ISO date") << Kind::IsoDate << "15/03/2023" << false << "15/03/2023";
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

// A crafted .xls on which a library once read past its own buffers (found by
// fuzzing): refused, and the next file reads as usual.
void TestWorkbookReader::craftedXlsRefused()
{
    const auto r = WorkbookReader::Read(SourceFile(QStringLiteral("tests/fixtures/xls-overread.xls")));
    QVERIFY(r.status != Status::Ok);
    QVERIFY(!r.reason.isEmpty());
    // and the next file reads as usual
    QCOMPARE(WorkbookReader::Read(SourceFile(QStringLiteral("tests/fixtures/import-all.xls"))).status, Status::Ok);
}

// Where the plugin that opens zip archives is missing or broken, every
// .xlsx is refused as such, not as a damaged workbook, and .xls files read as
// ever. The plugin is looked for again at the next read.
void TestWorkbookReader::withoutTheZipReader_data()
{
    QTest::addColumn<QByteArray>("pluginFile"); // what lies where the plugin should; empty: nothing
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("not a plugin") << QByteArray("\x7f" "ELF this is no library");
}

void TestWorkbookReader::withoutTheZipReader()
{
    QFETCH(QByteArray, pluginFile);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    if (!pluginFile.isEmpty()) {
        QFile f(folder.filePath(QStringLiteral("kvr-zip.so")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(pluginFile);
    }
    const QString xlsx = SourceFile(QStringLiteral("data/KVR-Excel.xlsx"));
    PluginModule::SetFolderForTests(folder.path());
    const auto r = WorkbookReader::Read(xlsx);
    const auto inMemory = WorkbookReader::ReadBytes(Make(Book{{AnswerSheet(Cycle())}}));
    const auto xls = WorkbookReader::Read(SourceFile(QStringLiteral("tests/fixtures/import-all.xls")));
    PluginModule::SetFolderForTests(QString());

    QCOMPARE(r.status, Status::ReaderMissing);
    QVERIFY2(r.reason.contains(QStringLiteral("kvr-zip.so")), qPrintable(r.reason));
    QCOMPARE(inMemory.status, Status::ReaderMissing);
    QCOMPARE(xls.status, Status::Ok);
    QCOMPARE(xls.answers, Cycle());
    QCOMPARE(WorkbookReader::Read(xlsx).status, Status::Ok);
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

// One value written the same way by the tests' .xlsx writer and by their
// .xls writer (Excel 97-2003 and Excel 5.0/95) reads as the same text: one
// rule for numbers, dates, booleans, errors and formula results.
void TestWorkbookReader::sameTextInEveryFormat_data()
{
    QTest::addColumn<XlsxMaker::Kind>("xlsx");
    QTest::addColumn<XlsMaker::Kind>("xls");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("date1904");
    QTest::addColumn<QString>("expected");
    using X = XlsxMaker::Kind;
    using B = XlsMaker::Kind;

    QTest::newRow("number") << X::Number << B::Number << "1" << 0 << false << "1";
    QTest::newRow("small integer as RK") << X::Number << B::Rk << "2" << 0 << false << "2";
    QTest::newRow("hundredths as RK") << X::Number << B::Rk << "12.34" << 0 << false << "12.34";
    QTest::newRow("fraction as RK") << X::Number << B::Rk << "1.5" << 0 << false << "1.5";
    QTest::newRow("negative as RK") << X::Number << B::Rk << "-7" << 0 << false << "-7";
    QTest::newRow("noise past 15 digits") << X::Number << B::Number << "0.30000000000000004" << 0 << false << "0.3";
    QTest::newRow("large integer") << X::Number << B::Rk << "1234567890123" << 0 << false << "1234567890123";
    QTest::newRow("shared text") << X::Shared << B::Shared << "x" << 0 << false << "x";
    QTest::newRow("text in the cell") << X::Inline << B::Label << " 1 " << 0 << false << " 1 ";
    QTest::newRow("Persian text") << X::Shared << B::Shared << "الف" << 0 << false << "الف";
    QTest::newRow("formula, number") << X::FormulaNumber << B::FormulaNumber << "2" << 0 << false << "2";
    QTest::newRow("formula, text") << X::FormulaText << B::FormulaText << "0" << 0 << false << "0";
    QTest::newRow("formula, shared text") << X::FormulaShared << B::FormulaText << "1" << 0 << false << "1";
    QTest::newRow("formula, empty text") << X::FormulaEmpty << B::FormulaEmpty << "" << 0 << false << "";
    QTest::newRow("formula, boolean") << X::FormulaBool << B::FormulaBool << "1" << 0 << false << "TRUE";
    QTest::newRow("formula, error") << X::FormulaError << B::FormulaError << "#DIV/0!" << 0 << false << "#DIV/0!";
    QTest::newRow("boolean true") << X::Bool << B::Bool << "1" << 0 << false << "TRUE";
    QTest::newRow("boolean false") << X::Bool << B::Bool << "0" << 0 << false << "FALSE";
    QTest::newRow("error") << X::Error << B::Error << "#N/A" << 0 << false << "#N/A";
    QTest::newRow("styled blank") << X::Blank << B::Blank << "" << 14 << false << "";
    QTest::newRow("date 2") << X::Number << B::Rk << "2" << 14 << false << "1900-01-02";
    QTest::newRow("29 February 1900") << X::Number << B::Rk << "60" << 14 << false << "1900-02-29";
    QTest::newRow("1 March 1900") << X::Number << B::Rk << "61" << 14 << false << "1900-03-01";
    QTest::newRow("date and time") << X::Number << B::Number << "45000.5" << 22 << false << "2023-03-15 12:00:00";
    QTest::newRow("time of day") << X::Number << B::Number << "0.75" << 20 << false << "18:00:00";
    QTest::newRow("zero as a date") << X::Number << B::Rk << "0" << 14 << false << "00:00:00";
    QTest::newRow("negative as a date") << X::Number << B::Rk << "-1" << 14 << false << "-1";
    QTest::newRow("date, 1904 system") << X::Number << B::Rk << "1" << 14 << true << "1904-01-02";
    QTest::newRow("past the year 9999") << X::Number << B::Rk << "2958466" << 14 << false << "2958466";
    QTest::newRow("past the year 9999, 1904 system") << X::Number << B::Rk << "2958000" << 14 << true << "2958000";
    QTest::newRow("date formula") << X::FormulaNumber << B::FormulaNumber << "2" << 14 << false << "1900-01-02";
    QTest::newRow("custom date format") << X::Number << B::Rk << "1" << 164 << false << "1900-01-01";
    QTest::newRow("elapsed hours") << X::Number << B::Number << "1.5" << 166 << false << "1900-01-01 12:00:00";
    QTest::newRow("letters in quotes") << X::Number << B::Rk << "2" << 165 << false << "2";
    QTest::newRow("colour and escapes") << X::Number << B::Rk << "1" << 167 << false << "1";
    QTest::newRow("percent") << X::Number << B::Rk << "1" << 9 << false << "1";
    QTest::newRow("text format") << X::Number << B::Rk << "2" << 49 << false << "2";
}

void TestWorkbookReader::sameTextInEveryFormat()
{
    QFETCH(XlsxMaker::Kind, xlsx);
    QFETCH(XlsMaker::Kind, xls);
    QFETCH(QString, stored);
    QFETCH(int, format);
    QFETCH(bool, date1904);
    QFETCH(QString, expected);
    const QMap<int, QString> custom{{164, QStringLiteral("dd/mm/yyyy")},
                                    {165, QStringLiteral("0 \"days\"")},
                                    {166, QStringLiteral("[h]:mm")},
                                    {167, QStringLiteral("[Red]0.00\\ \\d;[Blue]_(0_)")}};

    Book xlsxBook;
    xlsxBook.date1904 = date1904;
    xlsxBook.formats = custom;
    Sheet sheet = AnswerSheet({});
    sheet.set(QStringLiteral("F7"), {xlsx, stored, format});
    xlsxBook.sheets = {sheet};

    XlsMaker::Book xlsBook;
    xlsBook.date1904 = date1904;
    xlsBook.formats = custom;
    XlsMaker::Sheet xlsSheet;
    xlsSheet.set(QStringLiteral("Z3"), {XlsMaker::Kind::Shared, QStringLiteral("KVR")});
    xlsSheet.set(QStringLiteral("F7"), {xls, stored, format});
    xlsBook.sheets = {xlsSheet};
    XlsMaker::Book excel95 = xlsBook;
    excel95.biff5 = true;
    excel95.codePage = 1256;

    const QList<QPair<const char *, QByteArray>> files{
        {".xlsx", Make(xlsxBook)}, {".xls", XlsMaker::Make(xlsBook)}, {"Excel 5.0/95 .xls", XlsMaker::Make(excel95)}};
    for (const auto &[what, bytes] : files) {
        const auto r = WorkbookReader::ReadBytes(bytes);
        QVERIFY2(r.status == Status::Ok, qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(what), r.reason)));
        QCOMPARE(r.z3, QStringLiteral("KVR"));
        QVERIFY2(r.answers.value(5) == expected,
                 qPrintable(QStringLiteral("%1 read \"%2\"").arg(QLatin1String(what), r.answers.value(5))));
        QCOMPARE(r.answers.count(QString()), expected.isEmpty() ? 40 : 39);
    }
}

// One set of cells of every kind, saved as .xls and as .xlsx by LibreOffice
// and by Gnumeric, reads as the same 41 texts from every file.
void TestWorkbookReader::spreadsheetPrograms_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("persian"); // what F13 holds in the file
    const QString alef = QStringLiteral("الف");
    QTest::newRow("LibreOffice .xls") << "cells-lo.xls" << alef;
    QTest::newRow("LibreOffice .xlsx") << "cells-lo.xlsx" << alef;
    QTest::newRow("Gnumeric .xls") << "cells-gnumeric.xls" << alef;
    QTest::newRow("Gnumeric .xlsx") << "cells-gnumeric.xlsx" << alef;
    // Gnumeric writes Excel 5.0/95 texts in code page 1252, which has no Persian letters
    QTest::newRow("Gnumeric Excel 5.0/95 .xls") << "cells-gnumeric95.xls" << "???";
}

void TestWorkbookReader::spreadsheetPrograms()
{
    QFETCH(QString, file);
    QFETCH(QString, persian);
    const auto r = WorkbookReader::Read(SourceFile(QStringLiteral("tests/fixtures/") + file));
    QVERIFY2(r.status == Status::Ok, qPrintable(r.reason));
    QCOMPARE(r.z3, QStringLiteral("KVR"));
    QStringList expected = CellsFixtureTexts();
    expected[11] = persian;
    for (int n = 0; n < 40; ++n)
        QVERIFY2(r.answers[n] == expected[n], qPrintable(QStringLiteral("F%1: \"%2\" instead of \"%3\"").arg(n + 2).arg(r.answers[n], expected[n])));
}

// Answer cells that hold formulas (constants, references, functions, text
// results) read as their stored results, from .xls as from .xlsx.
void TestWorkbookReader::formulaResults_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("LibreOffice .xls") << "formulas-lo.xls";
    QTest::newRow("Gnumeric .xls") << "formulas-gnumeric.xls";
    QTest::newRow("LibreOffice .xlsx") << "formulas-lo.xlsx";
}

void TestWorkbookReader::formulaResults()
{
    QFETCH(QString, file);
    const auto r = WorkbookReader::Read(SourceFile(QStringLiteral("tests/fixtures/") + file));
    QVERIFY2(r.status == Status::Ok, qPrintable(r.reason));
    QCOMPARE(r.z3, QStringLiteral("KVR"));
    QCOMPARE(r.answers, Cycle());
}

// A formula whose result the file does not hold cannot be read; the whole
// workbook is refused, naming the cells. A formula whose stored result is
// empty text is not one of them.
void TestWorkbookReader::formulasWithoutResults_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("cells");

    QTest::newRow("openpyxl") << QByteArray() << "formulas-openpyxl.xlsx" << "F2, F4, F6";
    Sheet marker = AnswerSheet(Cycle());
    marker.set(QStringLiteral("Z3"), {Kind::Uncalculated, QStringLiteral("\"KVR\"")});
    QTest::newRow("marker cell") << Make(Book{{marker}}) << QString() << "Z3";
    for (Kind kind : {Kind::FormulaBool, Kind::FormulaError}) {
        Sheet sheet = AnswerSheet(Cycle());
        sheet.set(QStringLiteral("F41"), {kind, QString()});
        QTest::newRow(qPrintable(QStringLiteral("empty cached value, kind %1").arg(int(kind)))) << Make(Book{{sheet}}) << QString() << "F41";
    }
    XlsMaker::Book xls;
    XlsMaker::Sheet s;
    s.set(QStringLiteral("Z3"), {XlsMaker::Kind::Shared, QStringLiteral("KVR")});
    s.set(QStringLiteral("F9"), {XlsMaker::Kind::FormulaText, QStringLiteral("1")});
    s.set(QStringLiteral("F10"), {XlsMaker::Kind::Number, QStringLiteral("1")});
    xls.sheets = {s};
    QByteArray stream = XlsMaker::Stream(xls);
    // the STRING record with F9's text taken out
    const int at = int(stream.indexOf(QByteArray::fromHex("07020400010000") + QByteArray(1, '1')));
    QVERIFY(at > 0);
    stream.remove(at, 8); // the sheet's start, before it, stays where the sheet list says
    QTest::newRow(".xls text result without its STRING record") << XlsMaker::Wrap(stream).bytes << QString() << "F9";
}

void TestWorkbookReader::formulasWithoutResults()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, file);
    QFETCH(QString, cells);
    const auto r = file.isEmpty() ? WorkbookReader::ReadBytes(bytes)
                                  : WorkbookReader::Read(SourceFile(QStringLiteral("tests/fixtures/") + file));
    QCOMPARE(r.status, Status::Uncalculated);
    QVERIFY2(r.reason.contains(cells), qPrintable(r.reason));
    QVERIFY(r.answers.isEmpty());
}

// No workbook within the size limit makes the reader use more than 100 MB
// or take long: the reading runs in a child process of this test, which
// reports how far its resident memory grew.
void TestWorkbookReader::hostileWorkbooksStaySmall_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<Status>("status");
    for (const HostileWorkbooks::Case &c : HostileWorkbooks::Cases())
        QTest::newRow(qPrintable(c.name)) << c.name << (c.readable ? Status::Ok : Status::Damaged);
}

void TestWorkbookReader::hostileWorkbooksStaySmall()
{
    QFETCH(QString, which);
    QFETCH(Status, status);
    const QByteArray bytes = HostileWorkbooks::Make(which);
    QVERIFY(!bytes.isEmpty());
    QVERIFY(bytes.size() <= WorkbookReader::kMaxFileBytes);
#ifdef KVR_UNDER_SANITIZER
    // The sanitizers' shadow memory and quarantine count as resident: read
    // in this process for the memory checks, without measuring.
    QCOMPARE(WorkbookReader::ReadBytes(bytes).status, status);
#else
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hostile"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    f.close();
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--read-and-measure"), path});
    QVERIFY(child.waitForFinished(60000));
    const QList<QByteArray> reply = child.readAllStandardOutput().trimmed().split(' ');
    QCOMPARE(reply.size(), 2);
    const qint64 grewKb = reply[0].toLongLong();
    qInfo("%s: resident memory grew by %lld kB", qPrintable(which), static_cast<long long>(grewKb));
    QCOMPARE(Status(reply[1].toInt()), status);
    QVERIFY2(grewKb < 100 * 1024, qPrintable(QStringLiteral("%1 kB").arg(grewKb)));
#endif
}

// The blank template is a workbook other programs open: Python's openpyxl
// (which refuses attributes the format does not define) and pandas, and the
// two free spreadsheet programs, each finding "KVR" in Z3 of the sheet KVR.
void TestWorkbookReader::deliveredTemplateOpensElsewhere_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments"); // %1 the template, %2 a scratch folder
    QTest::addColumn<bool>("required");         // in scripts/packages.txt
    const QString openpyxl = QStringLiteral(
        "import sys, openpyxl\n"
        "book = openpyxl.load_workbook(sys.argv[1])\n"
        "sheet = book['KVR']\n"
        "assert sheet.sheet_view.rightToLeft, 'not right to left'\n"
        "print(sheet['Z3'].value)\n");
    const QString pandas = QStringLiteral(
        "import sys, pandas\n"
        "print(pandas.read_excel(sys.argv[1], sheet_name='KVR', header=None).iat[2, 25])\n");
    QTest::newRow("openpyxl") << "python3" << QStringList{"-c", openpyxl, "%1"} << true;
    QTest::newRow("pandas") << "python3" << QStringList{"-c", pandas, "%1"} << false;
    QTest::newRow("Gnumeric") << "ssconvert" << QStringList{"%1", "%2/out.csv"} << false;
    QTest::newRow("LibreOffice") << "soffice"
                                 << QStringList{"-env:UserInstallation=file://%2/profile", "--headless", "--convert-to",
                                                "csv", "--outdir", "%2", "%1"}
                                 << false;
}

void TestWorkbookReader::deliveredTemplateOpensElsewhere()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(bool, required);
    // Debian's own Python, with Debian's packages, rather than one earlier on the path.
    QString found = program == u"python3" && QFile::exists(QStringLiteral("/usr/bin/python3"))
        ? QStringLiteral("/usr/bin/python3")
        : QStandardPaths::findExecutable(program);
    if (found.isEmpty()) {
        QVERIFY2(!required, qPrintable(program + QStringLiteral(" is missing")));
        QSKIP("not installed");
    }
    if (program == u"python3" && !required) {
        QProcess probe;
        probe.start(found, {QStringLiteral("-c"), QStringLiteral("import pandas")});
        if (!probe.waitForFinished(60000) || probe.exitCode() != 0)
            QSKIP("pandas not installed");
    }
    QTemporaryDir dir;
    const QString workbook = SourceFile(QStringLiteral("data/KVR-Excel.xlsx"));
    for (QString &a : arguments)
        a.replace(QStringLiteral("%1"), workbook).replace(QStringLiteral("%2"), dir.path());
    QProcess p;
    p.start(found, arguments);
    QVERIFY(p.waitForFinished(120000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    QByteArray out = p.readAllStandardOutput().trimmed();
    QFile csv(dir.filePath(QStringLiteral("out.csv")));
    if (program != u"python3") {
        if (!csv.exists())
            csv.setFileName(dir.filePath(QStringLiteral("KVR-Excel.csv")));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        // Row 3; the programs differ in the column they start from.
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QVERIFY(lines.size() > 3);
        out = lines[2].trimmed().split(',').contains("KVR") ? "KVR" : lines[2];
    }
    QCOMPARE(out, QByteArray("KVR"));
}

// The delivered template and its archive are made by data/tools and come out
// the same to the byte when made again.
void TestWorkbookReader::deliveredTemplateIsReproducible()
{
    const QString python = QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                             : QStandardPaths::findExecutable(QStringLiteral("python3"));
    QVERIFY2(!python.isEmpty(), "python3 is missing");
    QTemporaryDir dir;
    QProcess p;
    p.start(python, {SourceFile(QStringLiteral("data/tools/make_excel_template.py")), dir.path()});
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    for (const QString &name : {QStringLiteral("KVR-Excel.xlsx"), QStringLiteral("KVR-Excel.zip")}) {
        QFile made(dir.filePath(name));
        QFile delivered(SourceFile(QStringLiteral("data/") + name));
        QVERIFY(made.open(QIODevice::ReadOnly) && delivered.open(QIODevice::ReadOnly));
        QVERIFY2(made.readAll() == delivered.readAll(), qPrintable(name));
    }
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--read-and-measure") == 0)
        return ReadAndMeasure(argv[2]);
    TestWorkbookReader test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_workbookreader.moc"
