#pragma once
// Workbooks within the reader's size limit that are built to make a reader
// allocate or work without end, for the reader's memory test and the import
// benchmark.
#include "XlsMaker.h"
#include "XlsxMaker.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace HostileWorkbooks {

using namespace XlsxMaker;

// A sheet part of size bytes: head, then fill repeated, unpacked from a few
// kilobytes of archive.
inline QByteArray SheetOf(const QByteArray &head, const QByteArray &fill, qint64 size)
{
    QByteArray x = head;
    x.reserve(size + fill.size());
    while (x.size() + fill.size() <= size)
        x += fill;
    return x;
}

inline QByteArray WithSheetXml(const QByteArray &sheetXml)
{
    Book b;
    b.sheets = {AnswerSheet({})};
    auto parts = Parts(b);
    for (auto &p : parts)
        if (p.first == u"xl/worksheets/sheet1.xml")
            p.second = sheetXml;
    return Zip(parts);
}

// Workbooks within the size limit that are built to make a reader allocate
// or work without end.
inline QByteArray Make(const QString &which)
{
    const qint64 budget = 16 * 1024 * 1024 - 4096; // what one member may unpack to
    if (which == u"nested tags")
        return WithSheetXml(SheetOf("<worksheet><sheetData>", "<a>", budget));
    if (which == u"endless attributes")
        return WithSheetXml(SheetOf("<worksheet><sheetData><row ", "a=\"\" ", budget));
    if (which == u"namespace declarations")
        return WithSheetXml(SheetOf("<worksheet ", "xmlns:p=\"u\" ", budget));
    if (which == u"blanks between tags")
        return WithSheetXml(SheetOf("<worksheet><sheetData>", " ", budget));
    if (which == u"one long text")
        return WithSheetXml(SheetOf("<worksheet><sheetData><row r=\"2\"><c r=\"F2\" t=\"str\"><v>", "x", budget));
    if (which == u"million shared strings") {
        Book b;
        b.sheets = {AnswerSheet({})};
        auto parts = Parts(b);
        for (auto &p : parts) {
            if (p.first == u"xl/sharedStrings.xml")
                p.second = SheetOf("<sst>", "<si><t>x</t></si>", budget) + "</sst>";
            if (p.first == u"xl/worksheets/sheet1.xml")
                p.second = "<worksheet><sheetData><row r=\"2\"><c r=\"F2\" t=\"s\"><v>899999</v></c></row>"
                           "<row r=\"3\"><c r=\"Z3\" t=\"inlineStr\"><is><t>KVR</t></is></c></row></sheetData></worksheet>";
        }
        return Zip(parts);
    }
    XlsMaker::Book book;
    XlsMaker::Sheet sheet;
    if (which == u".xls, two million shared strings") {
        QStringList strings(2000000, QString());
        book.rawSst = XlsMaker::SstRecords(strings + QStringList{QStringLiteral("KVR"), QStringLiteral("2")}, 8224);
        sheet.extraRecords = {XlsMaker::LabelSst(3, 26, 2000000), XlsMaker::LabelSst(2, 6, 2000001)};
    } else { // ".xls at the size limit": 31 MB of records no reader needs
        sheet.set(QStringLiteral("Z3"), {XlsMaker::Kind::Shared, QStringLiteral("KVR")});
        sheet.extraRecords = {QByteArray(31 * 1024 * 1024, '\0')}; // empty records of type 0
    }
    book.sheets = {sheet};
    return XlsMaker::Make(book);
}

// The workbooks Make() knows, and whether the reader reads them (the others
// it refuses as damaged).
struct Case {
    QString name;
    bool readable;
};

inline QList<Case> Cases()
{
    return {{QStringLiteral("nested tags"), false},
            {QStringLiteral("endless attributes"), false},
            {QStringLiteral("namespace declarations"), false},
            {QStringLiteral("one long text"), false},
            {QStringLiteral("blanks between tags"), false},
            {QStringLiteral("million shared strings"), true},
            {QStringLiteral(".xls, two million shared strings"), true},
            {QStringLiteral(".xls at the size limit"), true}};
}

} // namespace HostileWorkbooks
