// The .xlsx writer on its own: sheets that fill up continue on further
// sheets, each one laid out like the first; over-long texts are cut where a
// cell ends; numbers read back as the numbers given, whether the writer
// formats them itself (whole numbers) or leaves them to the C library; long
// sheets, whose rows are deflated apart from the rest while they are written,
// read back whole; a failure on the way fails the workbook. openpyxl (and
// LibreOffice for the long sheets) reads the workbooks back.
#include "ReadBack.h"
#include "results/XlsxWriter.h"
#include "tests/support/FullDisk.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Row i of a long table: a whole number, a Persian text, a fraction, an
// empty cell and a text the XML has to escape.
QJsonArray LongRow(int i)
{
    return QJsonArray{i, QString::fromUtf8("آزمودني شماره %1").arg(i), i + 0.25, QJsonValue(),
                      QStringLiteral("<a & b> %1").arg(i % 97)};
}

// Writes `rows` rows of LongRow under a header, `perSheet` rows a sheet.
bool WriteLong(QIODevice &out, int rows, int perSheet, QString *error, int *sheets = nullptr)
{
    XlsxWriter w(out, {QString::fromUtf8("کد"), QString::fromUtf8("نام"), QStringLiteral("x"),
                       QStringLiteral("e"), QStringLiteral("t")},
                 perSheet);
    for (int i = 1; i <= rows; ++i) {
        const QJsonArray row = LongRow(i);
        w.addNumber(row[0].toDouble());
        w.addText(row[1].toString());
        w.addNumber(row[2].toDouble());
        w.addEmpty();
        w.addText(row[4].toString());
        w.endRow();
    }
    const bool ok = w.finish(error);
    if (sheets)
        *sheets = w.sheetCount();
    return ok;
}

} // namespace

class TestXlsxWriter : public QObject
{
    Q_OBJECT
private slots:
    void fullSheetsContinueOnFurtherSheets()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("rows.xlsx"));
        const QStringList header = {QString::fromUtf8("کد"), QString::fromUtf8("نام")};
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            // Three rows a sheet: the header and two examinees.
            XlsxWriter w(f, header, 3);
            for (int i = 1; i <= 7; ++i) {
                w.addNumber(i);
                w.addText(QString::fromUtf8("نام %1").arg(i));
                w.endRow();
            }
            QString error;
            QVERIFY2(w.finish(&error), qPrintable(error));
            QCOMPARE(w.sheetCount(), 4);
        }
        const ReadBook book = ReadBack::Script(QStringLiteral("xlsx"), {path});
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        QCOMPARE(book.sheets.size(), 4);
        int next = 1;
        for (int s = 0; s < 4; ++s) {
            QCOMPARE(book.sheets[s].name, QStringLiteral("Sheet%1").arg(s + 1));
            QCOMPARE(book.sheets[s].rows.value(0), QJsonArray::fromStringList(header));
            for (int r = 1; r < book.sheets[s].rows.size(); ++r, ++next)
                QCOMPARE(book.sheets[s].rows[r], (QJsonArray{next, QString::fromUtf8("نام %1").arg(next)}));
        }
        QCOMPARE(next, 8);
        const ReadBook layout = ReadBack::Script(QStringLiteral("xlsx-layout"), {path});
        QVERIFY2(layout.error.isEmpty(), qPrintable(layout.error));
        for (int s = 1; s <= 4; ++s) {
            const QJsonObject sheet = layout.object.value(QStringLiteral("Sheet%1").arg(s)).toObject();
            QCOMPARE(sheet.value(QStringLiteral("rightToLeft")).toBool(), true);
            QCOMPARE(sheet.value(QStringLiteral("freeze")).toString(), QStringLiteral("A2"));
            QCOMPARE(sheet.value(QStringLiteral("boldHeader")).toBool(), true);
        }
    }

    void numbersReadBackExactly()
    {
        const QList<double> numbers = {0, 2, -12, 65535, 999999999999999, 1e15, 1e20, 2.5, 0.1, -7.25, 1.0 / 3};
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("numbers.xlsx"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            XlsxWriter w(f, {QStringLiteral("n")});
            for (double v : numbers) {
                w.addNumber(v);
                w.endRow();
            }
            QVERIFY(w.finish());
        }
        const ReadBook book = ReadBack::Script(QStringLiteral("xlsx"), {path});
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        QCOMPARE(book.sheets[0].rows.size(), numbers.size() + 1);
        for (int i = 0; i < numbers.size(); ++i)
            QCOMPARE(book.sheets[0].rows[i + 1].at(0).toDouble(), numbers[i]);
    }

    void overLongTextsAreCutAtTheCellLimit()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.xlsx"));
        const QString persian = QString::fromUtf8("آزمودني ").repeated(5000); // 40,000 characters
        const QString wide = QString::fromUtf8("😀").repeated(20000);        // 40,000 UTF-16 units
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            XlsxWriter w(f, {QStringLiteral("h")});
            w.addRow({persian});
            w.addRow({wide});
            QVERIFY(w.finish());
        }
        const ReadBook book = ReadBack::Script(QStringLiteral("xlsx"), {path});
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        QCOMPARE(book.sheets[0].rows[1].at(0).toString(), persian.left(32767));
        // A character beyond the basic plane is not split.
        QCOMPARE(book.sheets[0].rows[2].at(0).toString(), wide.left(32766));
    }

    // Sheets of several megabytes each: every sheet's rows are deflated on
    // their own, in many blocks, and joined with the rest of the sheet.
    void longSheetsReadBackWhole()
    {
        constexpr int Rows = 45000, PerSheet = 15001;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.xlsx"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QString error;
            int sheets = 0;
            QVERIFY2(WriteLong(f, Rows, PerSheet, &error, &sheets), qPrintable(error));
            QCOMPARE(sheets, 3);
        }
        const ReadBook openpyxl = ReadBack::Script(QStringLiteral("xlsx"), {path});
        const ReadBook lo = ReadBack::LibreOffice(path, dir.path());
        for (const auto &[reader, book] : {std::pair{"openpyxl", openpyxl}, std::pair{"LibreOffice", lo}}) {
            QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
            QCOMPARE(book.sheets.size(), 3);
            int next = 1;
            for (const ReadSheet &sheet : book.sheets) {
                QCOMPARE(sheet.rows.size(), PerSheet);
                QCOMPARE(sheet.rows[0].at(1).toString(), QString::fromUtf8("نام"));
                for (int r = 1; r < sheet.rows.size(); ++r, ++next)
                    if (ReadBack::Trimmed(sheet.rows[r]) != LongRow(next))
                        QFAIL(qPrintable(QStringLiteral("%1, row %2: %3").arg(QLatin1String(reader)).arg(next)
                                             .arg(QString::fromUtf8(QJsonDocument(sheet.rows[r]).toJson(QJsonDocument::Compact)))));
            }
            QCOMPARE(next, Rows + 1);
        }
    }

    // The deflated rows go to a scratch file; when it cannot be written (a
    // full disk), the workbook fails and nothing reaches the device.
    void rowsThatCannotBeKeptFailTheWorkbook()
    {
        QBuffer out;
        QVERIFY(out.open(QIODevice::WriteOnly));
        QString error;
        {
            FileSizeLimit limit(256 * 1024);
            QVERIFY(!WriteLong(out, 45000, XlsxWriter::MaxRowsPerSheet, &error));
        }
        QVERIFY(!error.isEmpty());
        QCOMPARE(out.size(), qint64(0));

        // The next workbook is written as ever.
        QVERIFY2(WriteLong(out, 10, XlsxWriter::MaxRowsPerSheet, &error), qPrintable(error));
        QVERIFY(out.size() > 0);
    }

    void emptyWorkbookHasOneEmptySheet()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("empty.xlsx"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            XlsxWriter w(f);
            QVERIFY(w.finish());
        }
        const ReadBook book = ReadBack::Script(QStringLiteral("xlsx"), {path});
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        QCOMPARE(book.sheets.size(), 1);
        QVERIFY(book.sheets[0].rows.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestXlsxWriter)
#include "tst_xlsxwriter.moc"
