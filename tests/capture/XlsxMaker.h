#pragma once
// Makes small .xlsx workbooks for the tests, written the way different
// spreadsheet programs write them: shared or inline strings, formulas with a
// cached value of each kind (or none, as some libraries write them),
// booleans, number formats, absolute or relative sheet targets.
#include <QBuffer>
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

namespace XlsxMaker {

enum class Kind {
    Number, Shared, Inline, FormulaNumber, FormulaText, Bool, Error, Blank,
    FormulaBool,     // t="b" with a formula
    FormulaError,    // t="e" with a formula
    FormulaEmpty,    // a formula whose cached result is empty text: t="str", <v></v>
    FormulaShared,   // a formula whose text result is in the shared strings
    Uncalculated,    // a formula without a cached value, <f>..</f><v></v>
    IsoDate,         // t="d": a date as ISO 8601 text
};

struct Cell {
    Kind kind = Kind::Number;
    QString text;   // the number or text; for Bool "1"/"0"
    int format = 0; // number format: 0 General, 14 a date, or one of Book::formats
};

struct Sheet {
    QString name = QStringLiteral("KVR");
    QMap<QPair<int, int>, Cell> cells; // (row, column) from 1
    QString rawSheetData;              // when set, replaces the generated <sheetData> content

    void set(const QString &ref, Cell c)
    {
        int col = 0, i = 0;
        while (i < ref.size() && ref[i].isLetter())
            col = col * 26 + (ref[i++].unicode() - 'A' + 1);
        cells[{ref.mid(i).toInt(), col}] = c;
    }
    void number(const QString &ref, const QString &n) { set(ref, {Kind::Number, n}); }
    void shared(const QString &ref, const QString &t) { set(ref, {Kind::Shared, t}); }
};

struct Book {
    QList<Sheet> sheets;
    bool absoluteTargets = false; // "/xl/worksheets/sheet1.xml" instead of "worksheets/sheet1.xml"
    bool prefixedNamespace = false; // <x:worksheet xmlns:x=...> as some writers do
    bool date1904 = false;
    QMap<int, QString> formats{};   // custom number formats by number (164 and up)
};

inline QString Escape(const QString &s)
{
    QString r = s;
    r.replace(u'&', QStringLiteral("&amp;")).replace(u'<', QStringLiteral("&lt;")).replace(u'>', QStringLiteral("&gt;"));
    return r;
}

inline QString ColumnName(int col)
{
    QString s;
    while (col > 0) {
        const int m = (col - 1) % 26;
        s.prepend(QChar(u'A' + m));
        col = (col - 1) / 26;
    }
    return s;
}

// The cell format (index into cellXfs) of a number format, added on first use.
inline int CellFormat(QList<int> &formats, int numberFormat)
{
    int i = int(formats.indexOf(numberFormat));
    if (i < 0) {
        formats.append(numberFormat);
        i = int(formats.size()) - 1;
    }
    return i;
}

inline int SharedIndex(QStringList &sst, const QString &text)
{
    int idx = int(sst.indexOf(text));
    if (idx < 0) {
        sst.append(text);
        idx = int(sst.size()) - 1;
    }
    return idx;
}

// The sheet's XML and the shared strings and cell formats it adds.
inline QByteArray SheetXml(const Sheet &sheet, QStringList &sst, bool prefixed, QList<int> &formats)
{
    const QString p = prefixed ? QStringLiteral("x:") : QString();
    QString x = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n");
    x += QStringLiteral("<%1worksheet xmlns%2=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                        "<%1sheetData>")
             .arg(p, prefixed ? QStringLiteral(":x") : QString());
    if (!sheet.rawSheetData.isEmpty()) {
        x += sheet.rawSheetData;
    } else {
        int row = 0;
        for (auto it = sheet.cells.cbegin(); it != sheet.cells.cend(); ++it) {
            if (it.key().first != row) {
                if (row)
                    x += QStringLiteral("</%1row>").arg(p);
                row = it.key().first;
                x += QStringLiteral("<%1row r=\"%2\">").arg(p).arg(row);
            }
            const QString ref = ColumnName(it.key().second) + QString::number(row);
            const Cell &c = it.value();
            const int xf = CellFormat(formats, c.format);
            const QString open = QStringLiteral("<%1c r=\"%2\"").arg(p, ref) + (xf ? QStringLiteral(" s=\"%1\"").arg(xf) : QString());
            const QString v = Escape(c.text);
            switch (c.kind) {
            case Kind::Number:
                x += open + QStringLiteral("><%1v>%2</%1v></%1c>").arg(p, v);
                break;
            case Kind::Shared:
                x += open + QStringLiteral(" t=\"s\"><%1v>%2</%1v></%1c>").arg(p).arg(SharedIndex(sst, c.text));
                break;
            case Kind::FormulaShared:
                x += open + QStringLiteral(" t=\"s\"><%1f>\"x\"</%1f><%1v>%2</%1v></%1c>").arg(p).arg(SharedIndex(sst, c.text));
                break;
            case Kind::FormulaBool:
                x += open + QStringLiteral(" t=\"b\"><%1f>1=%2</%1f><%1v>%2</%1v></%1c>").arg(p, v);
                break;
            case Kind::FormulaError:
                x += open + QStringLiteral(" t=\"e\"><%1f>%2</%1f><%1v>%2</%1v></%1c>").arg(p, v);
                break;
            case Kind::FormulaEmpty:
                x += open + QStringLiteral(" t=\"str\"><%1f>\"\"</%1f><%1v></%1v></%1c>").arg(p);
                break;
            case Kind::Uncalculated:
                x += open + QStringLiteral("><%1f>%2</%1f><%1v></%1v></%1c>").arg(p, v.isEmpty() ? QStringLiteral("1") : v);
                break;
            case Kind::Inline:
                x += open + QStringLiteral(" t=\"inlineStr\"><%1is><%1t>%2</%1t></%1is></%1c>").arg(p, v);
                break;
            case Kind::FormulaNumber:
                x += open + QStringLiteral("><%1f>0+%2</%1f><%1v>%2</%1v></%1c>").arg(p, v);
                break;
            case Kind::FormulaText:
                x += open + QStringLiteral(" t=\"str\"><%1f>TRIM(\"%2\")</%1f><%1v>%2</%1v></%1c>").arg(p, v);
                break;
            case Kind::Bool:
                x += open + QStringLiteral(" t=\"b\"><%1v>%2</%1v></%1c>").arg(p, v);
                break;
            case Kind::IsoDate:
                x += open + QStringLiteral(" t=\"d\"><%1v>%2</%1v></%1c>").arg(p, v);
                break;
            case Kind::Error:
                x += open + QStringLiteral(" t=\"e\"><%1v>%2</%1v></%1c>").arg(p, v);
                break;
            case Kind::Blank: // styled, with the cell's number format when it has one
                x += QStringLiteral("<%1c r=\"%2\" s=\"%3\"/>").arg(p, ref).arg(c.format ? xf : 1);
                break;
            }
        }
        if (row)
            x += QStringLiteral("</%1row>").arg(p);
    }
    x += QStringLiteral("</%1sheetData></%1worksheet>").arg(p);
    return x.toUtf8();
}

// The styles part: the custom number formats and one cell format per number
// format the cells use.
inline QByteArray StylesXml(const Book &book, const QList<int> &formats)
{
    QString x = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">");
    if (!book.formats.isEmpty()) {
        x += QStringLiteral("<numFmts count=\"%1\">").arg(book.formats.size());
        for (auto it = book.formats.cbegin(); it != book.formats.cend(); ++it)
            x += QStringLiteral("<numFmt numFmtId=\"%1\" formatCode=\"%2\"/>").arg(it.key()).arg(Escape(it.value()).replace(u'"', QStringLiteral("&quot;")));
        x += QStringLiteral("</numFmts>");
    }
    x += QStringLiteral("<fonts count=\"1\"><font/></fonts><fills count=\"1\"><fill/></fills><borders count=\"1\"><border/></borders>"
                        "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\"/></cellStyleXfs><cellXfs count=\"%1\">").arg(formats.size());
    for (int f : formats)
        x += QStringLiteral("<xf numFmtId=\"%1\" xfId=\"0\"/>").arg(f);
    x += QStringLiteral("</cellXfs><dxfs count=\"1\"><dxf><numFmt numFmtId=\"0\" formatCode=\"yyyy\"/></dxf></dxfs></styleSheet>");
    return x.toUtf8();
}

inline QList<QPair<QString, QByteArray>> Parts(const Book &book)
{
    QList<QPair<QString, QByteArray>> parts;
    QStringList sst;
    QList<int> formats{0};
    QString sheetsXml, relsXml, overrides;
    for (int i = 0; i < book.sheets.size(); ++i) {
        const QString file = QStringLiteral("sheet%1.xml").arg(i + 1);
        parts.append({QStringLiteral("xl/worksheets/") + file, SheetXml(book.sheets[i], sst, book.prefixedNamespace, formats)});
        sheetsXml += QStringLiteral("<sheet name=\"%1\" sheetId=\"%2\" r:id=\"rId%2\"/>").arg(Escape(book.sheets[i].name)).arg(i + 1);
        relsXml += QStringLiteral("<Relationship Id=\"rId%1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" Target=\"%2\"/>")
                       .arg(i + 1)
                       .arg((book.absoluteTargets ? QStringLiteral("/xl/worksheets/") : QStringLiteral("worksheets/")) + file);
        overrides += QStringLiteral("<Override PartName=\"/xl/worksheets/%1\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>").arg(file);
    }
    relsXml += QStringLiteral("<Relationship Id=\"rIdS\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" Target=\"%1\"/>")
                   .arg(book.absoluteTargets ? QStringLiteral("/xl/sharedStrings.xml") : QStringLiteral("sharedStrings.xml"));
    QString sstXml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"%1\" uniqueCount=\"%1\">").arg(sst.size());
    for (const QString &s : sst)
        sstXml += QStringLiteral("<si><t xml:space=\"preserve\">%1</t></si>").arg(Escape(s));
    sstXml += QStringLiteral("</sst>");
    if (formats.size() > 1) {
        parts.prepend({QStringLiteral("xl/styles.xml"), StylesXml(book, formats)});
        relsXml += QStringLiteral("<Relationship Id=\"rIdT\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>");
    }

    parts.prepend({QStringLiteral("xl/sharedStrings.xml"), sstXml.toUtf8()});
    parts.prepend({QStringLiteral("xl/_rels/workbook.xml.rels"),
                   (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">") + relsXml + QStringLiteral("</Relationships>")).toUtf8()});
    parts.prepend({QStringLiteral("xl/workbook.xml"),
                   (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">") + (book.date1904 ? QStringLiteral("<workbookPr date1904=\"1\"/>") : QString()) + QStringLiteral("<sheets>") + sheetsXml + QStringLiteral("</sheets></workbook>")).toUtf8()});
    parts.prepend({QStringLiteral("_rels/.rels"),
                   QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>")});
    parts.prepend({QStringLiteral("[Content_Types].xml"),
                   (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                                   "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                                   "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                                   "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                                   "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>")
                    + overrides + QStringLiteral("</Types>")).toUtf8()});
    return parts;
}

// Packs parts into a zip archive held in memory.
inline QByteArray Zip(const QList<QPair<QString, QByteArray>> &parts)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QuaZip zip(&buffer);
    if (!zip.open(QuaZip::mdCreate))
        return {};
    for (const auto &p : parts) {
        QuaZipFile f(&zip);
        if (!f.open(QIODevice::WriteOnly, QuaZipNewInfo(p.first)))
            return {};
        f.write(p.second);
        f.close();
    }
    zip.close();
    return bytes;
}

inline QByteArray Make(const Book &book) { return Zip(Parts(book)); }

// A marker sheet with "KVR" in Z3 and the given answers in F2.. (numbers).
inline Sheet AnswerSheet(const QStringList &answers, const QString &marker = QStringLiteral("KVR"))
{
    Sheet s;
    s.shared(QStringLiteral("Z3"), marker);
    for (int i = 0; i < answers.size(); ++i)
        if (!answers[i].isEmpty())
            s.number(QStringLiteral("F%1").arg(i + 2), answers[i]);
    return s;
}

} // namespace XlsxMaker
