// The .xlsx writer on its own: sheets that fill up continue on further
// sheets, each one laid out like the first; over-long texts are cut where a
// cell ends. openpyxl reads the workbooks back.
#include "ReadBack.h"
#include "results/XlsxWriter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
};

QTEST_GUILESS_MAIN(TestXlsxWriter)
#include "tst_xlsxwriter.moc"
