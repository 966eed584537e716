// The data export of 70,000 examinees with their scores, in every format,
// read back whole by the programs a user would open it with. 70,000 rows
// take a second worksheet in an .xls workbook.
#include "ExportFixture.h"
#include "results/ExcelExport.h"
#include "tests/store/StoreFixture.h"

#include <QTemporaryDir>
#include <QTest>

using ExcelExport::Format;

namespace {

constexpr int Count = 70000;

const QString kMale = QString::fromUtf8("مرد");
const QString kFemale = QString::fromUtf8("زن");

// Registration order; every kind of cell turns up many times: Persian digits
// and empty ages, unknown genders, empty answers, examinees without answers,
// names that need quoting in CSV.
QList<Examinee> People()
{
    const QString first[] = {QString::fromUtf8("علي"), QString::fromUtf8("مريم"), QString::fromUtf8("رضا"),
                             QString::fromUtf8("زهرا"), QString::fromUtf8("حسين"), QString::fromUtf8("Zoë")};
    const QString last[] = {QString::fromUtf8("كريمي"), QString::fromUtf8("احمدي"), QString::fromUtf8("محمدي"),
                            QString::fromUtf8("حسيني, \"فرزند\""), QString::fromUtf8("رضايي")};
    const QString marital[] = {QString::fromUtf8("مجرد"), QString::fromUtf8("متاهل"), QString(),
                               QString::fromUtf8("مطلقه")};
    const QString education[] = {QString::fromUtf8("کارشناسي"), QString::fromUtf8("ديپلم"), QString()};
    const QString genders[] = {kMale, kFemale, QString(), QString::fromUtf8("نامشخص")};
    QList<Examinee> people;
    people.reserve(Count);
    for (int i = 1; i <= Count; ++i) {
        Examinee e;
        e.code = QString::number(i);
        e.name = first[i % 6] + QLatin1Char(' ') + last[i % 5] + QLatin1Char(' ') + QString::number(i);
        if (i % 7 == 0) {
            e.age = QString::fromUtf8("۳۰");
            e.ageNumber = false;
        } else if (i % 11 != 0) {
            e.age = QString::number(18 + i % 60);
        }
        e.gender = i % 9 == 0 ? genders[2 + (i / 9) % 2] : genders[i % 2];
        e.marital = marital[i % 4];
        e.education = education[i % 3];
        if (i % 13 != 0) {
            for (int k = 0; k < 40; ++k)
                e.answers << QString::number((i * 7 + k) % 3);
            if (i % 17 == 0)
                e.answers[4] = QString();
        }
        people << e;
    }
    return people;
}

} // namespace

class TestExportLarge : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void xls();
    void xlsx();
    void sav();
    void csv();

private:
    QString exportTo(Format format);

    std::unique_ptr<StoreFixture> m_db;
    QList<QJsonArray> m_typed, m_text;
    QJsonArray m_header;
    QTemporaryDir m_dir;
};

void TestExportLarge::initTestCase()
{
    m_db = std::make_unique<StoreFixture>();
    QVERIFY2(m_db->ok(), qPrintable(m_db->error()));
    const QList<Examinee> people = People();
    QString error;
    QVERIFY2(AddExaminees(m_db->Db(), people, &error), qPrintable(error));
    for (const Examinee &e : people) {
        const ExpectedRow row = Expect(e, true);
        m_typed << row.typed;
        m_text << row.text;
    }
    m_header = QJsonArray::fromStringList(ExportHeadings(true));
}

QString TestExportLarge::exportTo(Format format)
{
    ExcelExport::Options options;
    options.format = format;
    options.scores = true;
    const QString path = m_dir.filePath(QStringLiteral("all") + ExcelExport::Extension(format));
    const ExcelExport::Outcome outcome = ExcelExport::Write(path, options);
    if (!outcome.ok || outcome.rows != Count) {
        qWarning("export: %s, %d rows", qPrintable(outcome.error), outcome.rows);
        return QString();
    }
    return path;
}

void TestExportLarge::xls()
{
    const QString path = exportTo(Format::Xls);
    QVERIFY(!path.isEmpty());
    const ReadBook xlrd = ReadBack::Script(QStringLiteral("xls"), {path});
    QString d = WorkbookDifference(QStringLiteral("xlrd"), xlrd, m_header, m_typed, 65535);
    QVERIFY2(d.isEmpty(), qPrintable(d));
    const ReadBook lo = ReadBack::LibreOffice(path, m_dir.path());
    d = WorkbookDifference(QStringLiteral("LibreOffice"), lo, m_header, m_typed, 65535);
    QVERIFY2(d.isEmpty(), qPrintable(d));
}

void TestExportLarge::xlsx()
{
    const QString path = exportTo(Format::Xlsx);
    QVERIFY(!path.isEmpty());
    const ReadBook book = ReadBack::Script(QStringLiteral("xlsx"), {path});
    const QString d = WorkbookDifference(QStringLiteral("openpyxl"), book, m_header, m_typed, 1048575);
    QVERIFY2(d.isEmpty(), qPrintable(d));
}

void TestExportLarge::sav()
{
    const QString path = exportTo(Format::Sav);
    QVERIFY(!path.isEmpty());
    const ReadBook pspp = ReadBack::Pspp(path, m_dir.path());
    QVERIFY2(pspp.error.isEmpty(), qPrintable(pspp.error));
    QCOMPARE(pspp.sheets.size(), 1);
    const QString d = Difference(QStringLiteral("PSPP"), pspp.sheets[0].rows.mid(1), m_text, 1);
    QVERIFY2(d.isEmpty(), qPrintable(d));
    // Codes and answers are all whole numbers, the ages are not.
    auto format = [&](const char *name) { return pspp.object.value(QLatin1String(name)).toArray().at(1).toString(); };
    QCOMPARE(format("code"), QStringLiteral("F5.0"));
    QVERIFY(format("age").startsWith(QLatin1Char('A')));
    QCOMPARE(format("S5"), QStringLiteral("F1.0"));
}

void TestExportLarge::csv()
{
    const QString path = exportTo(Format::Csv);
    QVERIFY(!path.isEmpty());
    const ReadBook book = ReadBack::Script(QStringLiteral("csv"), {path});
    QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
    QCOMPARE(book.sheets.size(), 1);
    const QString d = Difference(QStringLiteral("csv"), book.sheets[0].rows, QList<QJsonArray>{m_header} + m_text);
    QVERIFY2(d.isEmpty(), qPrintable(d));
}

QTEST_GUILESS_MAIN(TestExportLarge)
#include "tst_export_large.moc"
