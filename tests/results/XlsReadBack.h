#pragma once
// Reads a workbook back with libfreexl, so tests compare what another reader
// sees, not what the writer meant to write.
#include <freexl.h>

#include <QList>
#include <QString>
#include <QStringList>

struct XlsSheet
{
    QString name;
    QList<QStringList> rows; // every cell as text; an empty cell is ""
};

struct XlsBook
{
    int error = FREEXL_OK;
    unsigned fatSectors = 0;
    unsigned sharedStrings = 0;
    QString problem; // a cell that is not text, for instance
    QList<XlsSheet> sheets;
};

inline XlsBook ReadXls(const QString &path)
{
    XlsBook book;
    const void *h = nullptr;
    book.error = freexl_open(path.toLocal8Bit().constData(), &h);
    if (book.error != FREEXL_OK)
        return book;
    unsigned count = 0;
    freexl_get_info(h, FREEXL_CFBF_FAT_COUNT, &book.fatSectors);
    freexl_get_info(h, FREEXL_BIFF_STRING_COUNT, &book.sharedStrings);
    freexl_get_info(h, FREEXL_BIFF_SHEET_COUNT, &count);
    for (unsigned s = 0; s < count; ++s) {
        XlsSheet sheet;
        const char *name = nullptr;
        freexl_get_worksheet_name(h, static_cast<unsigned short>(s), &name);
        sheet.name = QString::fromUtf8(name);
        freexl_select_active_worksheet(h, static_cast<unsigned short>(s));
        unsigned rows = 0;
        unsigned short cols = 0;
        freexl_worksheet_dimensions(h, &rows, &cols);
        for (unsigned r = 0; r < rows; ++r) {
            QStringList row;
            for (unsigned short c = 0; c < cols; ++c) {
                FreeXL_CellValue v;
                if (freexl_get_cell_value(h, r, c, &v) != FREEXL_OK) {
                    book.problem = QStringLiteral("cell %1,%2 unreadable").arg(r).arg(c);
                    row << QString();
                    continue;
                }
                if (v.type == FREEXL_CELL_NULL)
                    row << QString();
                else if (v.type == FREEXL_CELL_TEXT || v.type == FREEXL_CELL_SST_TEXT)
                    row << QString::fromUtf8(v.value.text_value);
                else {
                    book.problem = QStringLiteral("cell %1,%2 is not text").arg(r).arg(c);
                    row << QString();
                }
            }
            sheet.rows << row;
        }
        book.sheets << sheet;
    }
    freexl_close(h);
    return book;
}
