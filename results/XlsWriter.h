#pragma once
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QIODevice;

// A table of text cells written as an Excel 97-2003 workbook (.xls): the BIFF8
// workbook stream inside a compound document, as the spreadsheet programs of
// that generation read and write it.
//
// The header row heads every worksheet. A worksheet holds at most 65,536 rows,
// so a table longer than 65,535 data rows continues on further worksheets
// ("Sheet1", "Sheet2", ...), each starting with the header row again; no row
// is dropped. Cells are text, kept exactly (Persian included); an empty text
// leaves its cell empty. Texts are shared through the workbook's string table,
// so the table is held compactly: one number per cell, each distinct text once.
class XlsWriter
{
public:
    static constexpr int MaxRowsPerSheet = 65536;
    static constexpr int MaxColumns = 256;
    // The most characters a cell can hold; a longer text is cut there.
    static constexpr int MaxCellChars = 32767;

    explicit XlsWriter(const QStringList &header = QStringList());

    void setHeader(const QStringList &header);
    void addRow(const QStringList &cells);
    // A row cell by cell: the cells added since the last endRow() form the
    // next row. The UTF-8 form spares a conversion for text read from a
    // database; a null or empty text is an empty cell.
    void addCell(const QString &text);
    void addCell(const char *utf8, int size);
    void endRow();

    int rowCount() const { return int(m_rowStart.size()) - 1; }
    int columnCount() const { return m_columns; }
    int sheetCount() const;
    int uniqueStringCount() const { return int(m_spans.size()); }

    // Writes the workbook to path. The bytes go to a temporary file beside
    // path that replaces path only once it is complete and every step of the
    // write (each write, flush, sync, close, rename) has succeeded, so a
    // failed write - a full disk included - leaves no partial file and an
    // existing file of that name untouched. On failure returns false, puts
    // the system's description in *error and a Persian sentence for the
    // screens in *persianReason.
    bool save(const QString &path, QString *error = nullptr, QString *persianReason = nullptr) const;

    // Writes the whole compound document to an open device.
    bool write(QIODevice &out, QString *error = nullptr) const;

    // The workbook stream alone (BIFF8 records), as the compound document
    // carries it, before padding.
    QByteArray workbookStream() const;

private:
    static constexpr uint32_t NoText = 0xFFFFFFFFu;
    static constexpr int BlockBits = 16; // cells are kept in blocks of 65,536

    uint32_t intern(const char *utf8, uint32_t size);
    void growTable();
    uint32_t cellAt(size_t k) const { return m_blocks[k >> BlockBits][k & ((size_t(1) << BlockBits) - 1)]; }
    size_t cellCount() const { return m_cellCount; }
    QString text(uint32_t id) const;
    int dataRowsPerSheet() const;
    uint32_t sheetCellCount(int sheet) const;
    int sheetRowCount(int sheet) const; // rows on the sheet, header included
    QByteArray globals(const std::vector<uint32_t> &sheetSizes, uint32_t cellTotal) const;
    uint32_t sheetSize(int sheet) const;
    template <class Sink>
    bool writeSheet(int sheet, Sink &sink) const;

    std::vector<uint32_t> m_header; // text per header cell
    // Data cells, one text number each, rows one after another; blocks of
    // fixed size so a long table never has to be copied to grow.
    std::vector<std::unique_ptr<uint32_t[]>> m_blocks;
    size_t m_cellCount = 0;
    std::vector<size_t> m_rowStart{0};
    int m_columns = 0;

    // The distinct texts, as UTF-8 one after another, found again through an
    // open-addressing table of text numbers.
    struct Span { size_t offset; uint32_t size; uint32_t hash; };
    std::string m_bytes;
    std::vector<Span> m_spans;
    std::vector<uint32_t> m_table;
};
