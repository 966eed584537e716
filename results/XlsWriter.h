#pragma once
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

class QIODevice;

// A table written as an Excel 97-2003 workbook (.xls): the BIFF8 workbook
// stream inside a compound document, as the spreadsheet programs of that
// generation read and write it.
//
// The workbook is written as the rows arrive, so a table of any length needs
// the same little memory: a text cell is written in its own record (LABEL),
// a whole number as an RK value (runs of them as one MULRK record), any other
// number as a NUMBER record. Only texts longer than a LABEL may hold (255
// characters) go to the workbook's string table, which is kept until the end.
// The worksheets are written first, behind the compound document's header;
// the workbook globals (which must come first in the stream and name where
// each worksheet starts), the directory and the sector tables follow them in
// the file, and the header is written last. The device must therefore be
// seekable (a SafeFile, a QFile, a QBuffer), open for writing and empty.
//
// The header row heads every worksheet. A worksheet holds at most 65,536
// rows, so a table longer than 65,535 data rows continues on further
// worksheets ("Sheet1", "Sheet2", ...), each starting with the header row
// again; no row is dropped. Texts are kept exactly (Persian included); an
// empty text leaves its cell empty.
class XlsWriter
{
public:
    static constexpr int MaxRowsPerSheet = 65536;
    static constexpr int MaxColumns = 256;
    // The most characters a cell can hold; a longer text is cut there.
    static constexpr int MaxCellChars = 32767;
    // The longest text written in its own cell record.
    static constexpr int MaxLabelChars = 255;

    explicit XlsWriter(QIODevice &out, const QStringList &header = QStringList());
    ~XlsWriter();
    XlsWriter(const XlsWriter &) = delete;
    XlsWriter &operator=(const XlsWriter &) = delete;

    // The cells of a row, left to right; endRow() ends the row.
    void addText(const char *utf8, int size); // null or empty: an empty cell
    void addText(const QString &text);
    void addNumber(double value);
    void addEmpty();
    void endRow();
    // A row of text cells.
    void addRow(const QStringList &cells);

    // Writes the globals, the directory, the sector tables and the header.
    // The device stays open; the caller commits or closes it. On failure
    // returns false with the reason in *error; the bytes written so far are
    // then no workbook.
    bool finish(QString *error = nullptr);

    int rowCount() const { return m_rows; }
    int sheetCount() const { return int(m_sheets.size()); }
    // Texts that went to the string table (longer than MaxLabelChars).
    int tableStringCount() const { return int(m_longTexts.size()); }

private:
    struct Sheet {
        uint64_t start = 0;      // file offset of the sheet's BOF record
        uint64_t dimensions = 0; // file offset of its DIMENSIONS record
        int rows = 0;            // rows on the sheet, header included
        int columns = 0;
    };

    char *room(size_t n); // n bytes at the end of the buffer, for the caller to fill
    void put(const void *data, size_t size);
    void u16(uint16_t v);
    void u32(uint32_t v);
    bool flush();
    bool writeAt(uint64_t offset, const std::string &bytes);
    void setError(const QString &why);
    void startSheet();
    void endSheet();
    void startRowIfNeeded();
    bool cellAllowed();
    void flushRk();
    void writeText(const QString &text);
    void writeLabel(); // m_utf16 as a LABEL record
    std::string globals(uint64_t globalsSize) const;

    QIODevice &m_out;
    std::vector<uint16_t> m_utf16;
    QStringList m_header;
    std::vector<char> m_buf;
    size_t m_len = 0;   // bytes waiting in m_buf
    uint64_t m_pos = 0; // file offset of m_buf's first byte
    bool m_ok = true;
    bool m_finished = false;
    QString m_error;

    std::vector<Sheet> m_sheets;
    int m_rows = 0;          // data rows
    bool m_inRow = false;
    int m_col = 0;           // next column of the current row
    uint16_t m_sheetRow = 0; // row of the current row on its sheet
    // Whole numbers waiting to go out as one RK or MULRK record.
    int m_rkFirst = 0;
    std::vector<uint32_t> m_rk;

    std::vector<QString> m_longTexts;
};
