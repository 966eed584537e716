// The data export in every format, read back by the programs a user would
// open it with: xlrd and LibreOffice for .xls, openpyxl for .xlsx, PSPP for
// .sav and Python's csv module for .csv.
#include "ExportFixture.h"
#include "common/SafeFile.h"
#include "results/ExcelExport.h"
#include "tests/store/StoreFixture.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

using ExcelExport::Format;
Q_DECLARE_METATYPE(ExcelExport::Format)

namespace {

QString PersianName(int length)
{
    QString s;
    while (s.size() < length)
        s += QString::fromUtf8("نام بلند آزمودني ");
    return s.left(length);
}

QStringList Cycling()
{
    QStringList a;
    for (int i = 0; i < 40; ++i)
        a << QString::number(i % 3);
    return a;
}

// Five examinees with the stored texts worth telling apart.
QList<Examinee> People()
{
    QList<Examinee> people;
    Examinee a;
    a.code = QStringLiteral("1");
    a.name = QString::fromUtf8("علي كريمي");
    a.age = QStringLiteral("34");
    a.gender = QString::fromUtf8("مرد");
    a.marital = QString::fromUtf8("متاهل");
    a.education = QString::fromUtf8(" دکتري ");
    a.answers = Cycling();
    people << a;

    Examinee b; // a leading zero and Persian digits stay text, as stored
    b.code = QStringLiteral("02");
    b.codeNumber = false;
    b.name = QString::fromUtf8("رضا \"دوم\", تهران");
    b.age = QString::fromUtf8("۲۷");
    b.ageNumber = false;
    b.gender = QString::fromUtf8("زن");
    b.answers = QStringList(40, QStringLiteral("1"));
    b.answers[4] = QString();
    b.answers[5] = QStringLiteral(" 1"); // a blank before it: text, scored as 1 but not reversed
    b.textItems = {6};
    people << b;

    Examinee c; // 15 digits are still exact; no norm table for this gender
    c.code = QStringLiteral("123456789012345");
    c.name = QString::fromUtf8("سارا\nخط دوم");
    c.gender = QStringLiteral("x");
    c.marital = QString::fromUtf8("مجرد");
    c.education = QStringLiteral("PhD");
    c.answers = QStringList(40, QStringLiteral("2"));
    people << c;

    Examinee d; // 16 digits may not be exact: text; a minus sign: text
    d.code = QStringLiteral("1234567890123456");
    d.codeNumber = false;
    d.name = PersianName(300);
    d.age = QStringLiteral("-5");
    d.ageNumber = false;
    d.gender = QString::fromUtf8("مرد");
    d.marital = QString::fromUtf8("بيوه");
    d.education = QString::fromUtf8("كارشناسي ارشد");
    d.answers = QStringList(40, QStringLiteral("0"));
    d.answers[0] = QStringLiteral("x");
    d.answers[1] = QStringLiteral("3");
    d.answers[2] = QStringLiteral("12");
    d.textItems = {1};
    people << d;

    Examinee e; // registered, nothing answered
    e.code = QStringLiteral("5");
    e.name = QString::fromUtf8("Zoë");
    e.age = QStringLiteral("40");
    e.gender = QString::fromUtf8("زن");
    people << e;
    return people;
}

// A .sav string is padded with blanks to its width, so PSPP cannot tell
// trailing blanks from the padding.
QJsonArray WithoutTrailingBlanks(const QJsonArray &row)
{
    QJsonArray out;
    for (const QJsonValue &v : row) {
        if (!v.isString()) {
            out.append(v);
            continue;
        }
        QString s = v.toString();
        while (s.endsWith(QLatin1Char(' ')))
            s.chop(1);
        out.append(s.isEmpty() ? QJsonValue() : QJsonValue(s));
    }
    return ReadBack::Trimmed(out);
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void everyFormatReadsBack_data();
    void everyFormatReadsBack();
    void noExamineesGiveTheHeaderOnly_data();
    void noExamineesGiveTheHeaderOnly();
    void statisticsFileDictionary();
    void fileNamesAndTypes_data();
    void fileNamesAndTypes();
    void failuresLeaveTheEarlierFile_data();
    void failuresLeaveTheEarlierFile();

private:
    QString exportTo(Format format, bool scores, const QString &name = QStringLiteral("export"));

    std::unique_ptr<StoreFixture> m_db;
    QTemporaryDir m_out;  // the exported files
    QTemporaryDir m_work; // the readers' files, LibreOffice's profile among them
};

void TestExport::init()
{
    m_db = std::make_unique<StoreFixture>();
    QVERIFY2(m_db->ok(), qPrintable(m_db->error()));
    QString error;
    QVERIFY2(AddExaminees(m_db->Db(), People(), &error), qPrintable(error));
}

void TestExport::cleanup()
{
    m_db.reset();
    QDir(m_out.path()).removeRecursively();
    QDir().mkpath(m_out.path());
}

QString TestExport::exportTo(Format format, bool scores, const QString &name)
{
    ExcelExport::Options options;
    options.format = format;
    options.scores = scores;
    const QString path = m_out.filePath(name + ExcelExport::Extension(format));
    const ExcelExport::Outcome outcome = ExcelExport::Write(path, options);
    if (!outcome.ok) {
        qWarning("export failed: %s", qPrintable(outcome.error));
        return QString();
    }
    if (outcome.rows != 5)
        qWarning("export wrote %d rows", outcome.rows);
    return outcome.rows == 5 ? path : QString();
}

void TestExport::everyFormatReadsBack_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<bool>("scores");
    for (bool scores : {false, true}) {
        const char *with = scores ? " with scores" : "";
        QTest::addRow(".xls%s", with) << Format::Xls << scores;
        QTest::addRow(".xlsx%s", with) << Format::Xlsx << scores;
        QTest::addRow(".sav%s", with) << Format::Sav << scores;
        QTest::addRow(".csv%s", with) << Format::Csv << scores;
    }
}

void TestExport::everyFormatReadsBack()
{
    QFETCH(Format, format);
    QFETCH(bool, scores);
    const QString path = exportTo(format, scores);
    QVERIFY(!path.isEmpty());

    QList<QJsonArray> typed, text;
    for (const Examinee &e : People()) {
        const ExpectedRow row = Expect(e, scores);
        typed << row.typed;
        text << row.text;
    }
    const QJsonArray header = QJsonArray::fromStringList(ExportHeadings(scores));

    switch (format) {
    case Format::Xls: {
        const ReadBook xlrd = ReadBack::Script(QStringLiteral("xls"), {path});
        const QString d1 = WorkbookDifference(QStringLiteral("xlrd"), xlrd, header, typed, 65535);
        QVERIFY2(d1.isEmpty(), qPrintable(d1));
        const ReadBook lo = ReadBack::LibreOffice(path, m_work.path());
        const QString d2 = WorkbookDifference(QStringLiteral("LibreOffice"), lo, header, typed, 65535);
        QVERIFY2(d2.isEmpty(), qPrintable(d2));
        break;
    }
    case Format::Xlsx: {
        const ReadBook book = ReadBack::Script(QStringLiteral("xlsx"), {path});
        const QString d = WorkbookDifference(QStringLiteral("openpyxl"), book, header, typed, 1048575);
        QVERIFY2(d.isEmpty(), qPrintable(d));
        // Right to left, the header row bold and frozen in view.
        const ReadBook layout = ReadBack::Script(QStringLiteral("xlsx-layout"), {path});
        QVERIFY2(layout.error.isEmpty(), qPrintable(layout.error));
        const QJsonObject sheet = layout.object.value(QStringLiteral("Sheet1")).toObject();
        QCOMPARE(sheet.value(QStringLiteral("rightToLeft")).toBool(), true);
        QCOMPARE(sheet.value(QStringLiteral("freeze")).toString(), QStringLiteral("A2"));
        QCOMPARE(sheet.value(QStringLiteral("boldHeader")).toBool(), true);
        break;
    }
    case Format::Csv: {
        const ReadBook book = ReadBack::Script(QStringLiteral("csv"), {path});
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        QCOMPARE(book.sheets.size(), 1);
        const QString d = Difference(QStringLiteral("csv"), book.sheets[0].rows, QList<QJsonArray>{header} + text);
        QVERIFY2(d.isEmpty(), qPrintable(d));
        // Quoted where a field needs it, as RFC 4180 has it.
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.contains(QString::fromUtf8(",\"رضا \"\"دوم\"\", تهران\",").toUtf8()));
        QVERIFY(bytes.contains(QString::fromUtf8(",\"سارا\nخط دوم\",").toUtf8()));
        break;
    }
    case Format::Sav: {
        const ReadBook pspp = ReadBack::Pspp(path, m_work.path());
        QVERIFY2(pspp.error.isEmpty(), qPrintable(pspp.error));
        QCOMPARE(pspp.sheets.size(), 1);
        QStringList names = {"code", "name", "age", "gender", "marital", "education"};
        for (int i = 1; i <= 40; ++i)
            names << QStringLiteral("S%1").arg(i);
        if (scores)
            names += ExportHeadings(true).mid(46);
        QList<QJsonArray> want{QJsonArray::fromStringList(names)};
        for (const QJsonArray &row : std::as_const(text))
            want << WithoutTrailingBlanks(row);
        const QString d = Difference(QStringLiteral("PSPP"), pspp.sheets[0].rows, want);
        QVERIFY2(d.isEmpty(), qPrintable(d));
        break;
    }
    }
}

void TestExport::noExamineesGiveTheHeaderOnly_data()
{
    QTest::addColumn<Format>("format");
    QTest::newRow(".xls") << Format::Xls;
    QTest::newRow(".xlsx") << Format::Xlsx;
    QTest::newRow(".sav") << Format::Sav;
    QTest::newRow(".csv") << Format::Csv;
}

void TestExport::noExamineesGiveTheHeaderOnly()
{
    QFETCH(Format, format);
    m_db->Exec(QStringLiteral("DELETE FROM Answer1"));
    m_db->Exec(QStringLiteral("DELETE FROM IDE"));
    ExcelExport::Options options;
    options.format = format;
    options.scores = true;
    const QString path = m_out.filePath(QStringLiteral("empty") + ExcelExport::Extension(format));
    const ExcelExport::Outcome outcome = ExcelExport::Write(path, options);
    QVERIFY2(outcome.ok, qPrintable(outcome.error));
    QCOMPARE(outcome.rows, 0);

    const QJsonArray header = QJsonArray::fromStringList(ExportHeadings(true));
    ReadBook book;
    if (format == Format::Xls)
        book = ReadBack::Script(QStringLiteral("xls"), {path});
    else if (format == Format::Xlsx)
        book = ReadBack::Script(QStringLiteral("xlsx"), {path});
    else if (format == Format::Csv)
        book = ReadBack::Script(QStringLiteral("csv"), {path});
    else
        book = ReadBack::Pspp(path, m_work.path());
    QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
    QCOMPARE(book.sheets.size(), 1);
    QCOMPARE(book.sheets[0].rows.size(), 1);
    if (format == Format::Sav)
        QCOMPARE(book.object.size(), 63);
    else
        QCOMPARE(book.sheets[0].rows[0], header);
}

void TestExport::statisticsFileDictionary()
{
    // A second row for item 7 in QUS: the first one counts.
    m_db->Exec(QStringLiteral("INSERT INTO QUS (Code, QU, A, B, C) VALUES (7, 'other', 'other', 'other', 'other')"));
    const QString path = exportTo(Format::Sav, true);
    QVERIFY(!path.isEmpty());
    const ReadBook pspp = ReadBack::Pspp(path, m_work.path());
    QVERIFY2(pspp.error.isEmpty(), qPrintable(pspp.error));
    const QJsonObject dict = pspp.object;
    QCOMPARE(dict.size(), 63);

    // [label, print format, value labels]
    auto label = [&](const char *name) { return dict.value(QLatin1String(name)).toArray().at(0).toString(); };
    auto format = [&](const char *name) { return dict.value(QLatin1String(name)).toArray().at(1).toString(); };
    auto values = [&](const char *name) { return dict.value(QLatin1String(name)).toArray().at(2).toObject(); };

    const QStringList headings = ExportHeadings(false);
    const char *fixed[] = {"code", "name", "age", "gender", "marital", "education"};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(label(fixed[i]), headings[i]);

    // Numeric where every stored text is a plain whole number; text otherwise
    // (a code "02", an age "۲۷", an answer "x" or " 1").
    const struct { const char *name; char kind; } kinds[] = {
        {"code", 'A'}, {"name", 'A'}, {"age", 'A'}, {"S1", 'A'}, {"S2", 'F'}, {"S3", 'F'}, {"S4", 'F'},
        {"S5", 'F'}, {"S6", 'A'}, {"S40", 'F'}, {"raw_Q3", 'F'}, {"sten_Total", 'F'}, {"norms", 'A'},
    };
    for (const auto &k : kinds)
        QVERIFY2(format(k.name).startsWith(QLatin1Char(k.kind)), qPrintable(QStringLiteral("%1 is %2").arg(k.name, format(k.name))));
    // A string is as wide as the longest stored text in bytes.
    QCOMPARE(format("name"), QStringLiteral("A%1").arg(PersianName(300).toUtf8().size()));

    // The numeric answers carry the item's text and its three option texts.
    QSqlQuery q(m_db->Db());
    QVERIFY(q.exec(m_db->Sql(QStringLiteral("SELECT Code, QU, A, B, C FROM QUS ORDER BY %1")
                                 .arg(m_db->OnServer() ? QStringLiteral("kvr_rowid") : QStringLiteral("rowid")))));
    QSet<int> seen;
    int labelled = 0;
    while (q.next()) {
        const int item = q.value(0).toInt();
        if (seen.contains(item))
            continue;
        seen.insert(item);
        const QByteArray name = "S" + QByteArray::number(item);
        if (format(name.constData()).startsWith(QLatin1Char('A'))) {
            QVERIFY(values(name.constData()).isEmpty());
            continue;
        }
        QCOMPARE(label(name.constData()), q.value(1).toString());
        const QJsonObject v = values(name.constData());
        QCOMPARE(v.value(QStringLiteral("0")).toString(), q.value(2).toString());
        QCOMPARE(v.value(QStringLiteral("1")).toString(), q.value(3).toString());
        QCOMPARE(v.value(QStringLiteral("2")).toString(), q.value(4).toString());
        ++labelled;
    }
    QCOMPARE(labelled, 38); // all but S1 and S6
    QVERIFY(label("S7") != QStringLiteral("other"));
    QVERIFY(values("S7").value(QStringLiteral("0")).toString() != QStringLiteral("other"));
    QVERIFY(label("raw_Q3").contains(Mohasebeh::ScaleCaption(0)));
    QVERIFY(label("sten_Total").contains(Mohasebeh::ScaleCaption(7)));
}

void TestExport::fileNamesAndTypes_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<Format>("format");
    QTest::addColumn<QString>("target");
    QTest::newRow("extension added") << "data" << Format::Xlsx << "data.xlsx";
    QTest::newRow("extension kept, any case") << "DATA.SAV" << Format::Sav << "DATA.SAV";
    QTest::newRow("another format's extension") << "data.xls" << Format::Csv << "data.xls.csv";
    QTest::newRow(".xls inside .xlsx") << "data.xlsx" << Format::Xls << "data.xlsx.xls";
}

void TestExport::fileNamesAndTypes()
{
    QFETCH(QString, chosen);
    QFETCH(Format, format);
    QFETCH(QString, target);
    QCOMPARE(ExcelExport::TargetPath(chosen, format), target);

    // Every file type the dialog offers names its format; .xls comes first.
    const QStringList types = ExcelExport::DialogFilter().split(QStringLiteral(";;"));
    QCOMPARE(types.size(), 4);
    QCOMPARE(ExcelExport::FormatOfFilter(types[0]), Format::Xls);
    bool offered = false;
    for (const QString &t : types)
        offered = offered || (ExcelExport::FormatOfFilter(t) == format && t.contains(ExcelExport::Extension(format)));
    QVERIFY(offered);
    Format byName = Format::Xls;
    QVERIFY(ExcelExport::FormatOfName(target, &byName));
    QCOMPARE(byName, format);
    QVERIFY(!ExcelExport::FormatOfName(QStringLiteral("data.txt"), &byName));
}

void TestExport::failuresLeaveTheEarlierFile_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<int>("how"); // 0 no database, 1 a write fails, 2 the query is gone
    const struct { const char *name; Format f; } formats[] = {
        {".xls", Format::Xls}, {".xlsx", Format::Xlsx}, {".sav", Format::Sav}, {".csv", Format::Csv}};
    for (const auto &f : formats) {
        QTest::addRow("%s: no database", f.name) << f.f << 0;
        QTest::addRow("%s: a write fails", f.name) << f.f << 1;
        QTest::addRow("%s: no QueryMe", f.name) << f.f << 2;
    }
}

void TestExport::failuresLeaveTheEarlierFile()
{
    QFETCH(Format, format);
    QFETCH(int, how);
    const QString path = m_out.filePath(QStringLiteral("kept") + ExcelExport::Extension(format));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("the earlier export");
    }
    ExcelExport::Options options;
    options.format = format;
    options.scores = true;
    QString database;
    if (how == 0)
        database = m_out.filePath(QStringLiteral("missing.mdb"));
    if (how == 1)
        SafeFile::FailNextForTests(SafeFile::Step::Write, ENOSPC, 100);
    if (how == 2)
        m_db->Exec(QStringLiteral("DROP VIEW QueryMe"));
    const ExcelExport::Outcome outcome = ExcelExport::Write(path, options, database);
    SafeFile::ClearFaultForTests();

    QVERIFY(!outcome.ok);
    QVERIFY(!outcome.error.isEmpty());
    if (how == 1)
        QVERIFY2(outcome.error.contains(path), qPrintable(outcome.error));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("the earlier export"));
    QCOMPARE(QDir(m_out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(path).fileName()});
}

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
