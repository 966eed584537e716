#pragma once
// Reads a workbook back with libfreexl, so tests compare what another reader
// sees, not what the writer meant to write.
#include <freexl.h>

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

struct XlsSheet
{
    QString name;
    QList<QStringList> rows;  // every cell as text (a number in its shortest form); empty cell ""
    QList<QVariantList> cells; // a number as double, a text as QString, an empty cell invalid
};

struct XlsBook
{
    int error = FREEXL_OK;
    unsigned fatSectors = 0;
    QString problem; // a cell that cannot be read
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
            QVariantList cells;
            for (unsigned short c = 0; c < cols; ++c) {
                FreeXL_CellValue v;
                QVariant cell;
                if (freexl_get_cell_value(h, r, c, &v) != FREEXL_OK)
                    book.problem = QStringLiteral("cell %1,%2 unreadable").arg(r).arg(c);
                else if (v.type == FREEXL_CELL_TEXT || v.type == FREEXL_CELL_SST_TEXT)
                    cell = QString::fromUtf8(v.value.text_value);
                else if (v.type == FREEXL_CELL_INT)
                    cell = double(v.value.int_value);
                else if (v.type == FREEXL_CELL_DOUBLE)
                    cell = v.value.double_value;
                else if (v.type != FREEXL_CELL_NULL)
                    book.problem = QStringLiteral("cell %1,%2 is of type %3").arg(r).arg(c).arg(v.type);
                cells << cell;
                row << (cell.typeId() == QMetaType::Double ? QString::number(cell.toDouble(), 'g', 17) : cell.toString());
            }
            sheet.rows << row;
            sheet.cells << cells;
        }
        book.sheets << sheet;
    }
    freexl_close(h);
    return book;
}
