#include "results/XlsxWriter.h"

#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <algorithm>
#include <cstring>
#include <vector>

struct XlsxWriter::State
{
    QIODevice *out = nullptr;
    QStringList header;
    int rowsPerSheet = MaxRowsPerSheet;
    QTemporaryDir scratch;
    QByteArray bookPath;
    QByteArray scratchPath;
    lxw_workbook *book = nullptr;
    lxw_worksheet *sheet = nullptr;
    lxw_format *bold = nullptr;
    int sheets = 0;
    lxw_row_t row = 0; // next row on the current sheet
    lxw_col_t col = 0;
    bool inRow = false;
    bool ok = true;
    QString error;
    std::string text;
};

namespace {
constexpr int MaxColumns = 16384;

// The longest prefix of a UTF-8 text that holds at most n UTF-16 units and
// ends on a character boundary.
int PrefixOfChars(const char *utf8, int size, int n)
{
    int units = 0;
    int i = 0;
    while (i < size) {
        const uint8_t b = uint8_t(utf8[i]);
        const int len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
        const int u = len == 4 ? 2 : 1;
        if (units + u > n || i + len > size)
            break;
        units += u;
        i += len;
    }
    return i;
}
} // namespace

XlsxWriter::XlsxWriter(QIODevice &out, const QStringList &header, int rowsPerSheet)
    : d(std::make_unique<State>())
{
    d->out = &out;
    d->header = header;
    d->rowsPerSheet = std::clamp(rowsPerSheet, header.isEmpty() ? 1 : 2, MaxRowsPerSheet);
    if (!d->scratch.isValid()) {
        setError(QStringLiteral("No scratch folder for the workbook: %1").arg(d->scratch.errorString()));
        return;
    }
    if (header.size() > MaxColumns) {
        setError(QStringLiteral("The table has %1 columns; a worksheet holds at most %2.")
                     .arg(header.size())
                     .arg(MaxColumns));
        return;
    }
    d->bookPath = QFile::encodeName(d->scratch.filePath(QStringLiteral("book.xlsx")));
    d->scratchPath = QFile::encodeName(d->scratch.path());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = d->scratchPath.data();
    d->book = workbook_new_opt(d->bookPath.constData(), &options);
    if (!d->book) {
        setError(QStringLiteral("The workbook cannot be started."));
        return;
    }
    d->bold = workbook_add_format(d->book);
    format_set_bold(d->bold);
}

XlsxWriter::~XlsxWriter()
{
    // A workbook that was not finished is dropped unwritten; its scratch
    // folder goes with it.
    if (d->book)
        lxw_workbook_free(d->book);
}

void XlsxWriter::setError(const QString &why)
{
    if (d->ok) {
        d->ok = false;
        d->error = why;
    }
}

int XlsxWriter::sheetCount() const
{
    return d->sheets;
}

void XlsxWriter::startSheet()
{
    const QByteArray name = QStringLiteral("Sheet%1").arg(d->sheets + 1).toLatin1();
    d->sheet = workbook_add_worksheet(d->book, name.constData());
    if (!d->sheet) {
        setError(QStringLiteral("The worksheet %1 cannot be added.").arg(QString::fromLatin1(name)));
        return;
    }
    ++d->sheets;
    worksheet_right_to_left(d->sheet);
    d->row = 0;
    if (!d->header.isEmpty()) {
        worksheet_freeze_panes(d->sheet, 1, 0);
        for (int c = 0; c < d->header.size(); ++c) {
            const QByteArray t = d->header[c].toUtf8();
            const int n = PrefixOfChars(t.constData(), int(t.size()), MaxCellChars);
            if (n == 0)
                continue;
            d->text.assign(t.constData(), size_t(n));
            const lxw_error e = worksheet_write_string(d->sheet, 0, lxw_col_t(c), d->text.c_str(), d->bold);
            if (e != LXW_NO_ERROR) {
                setError(QString::fromUtf8(lxw_strerror(e)));
                return;
            }
        }
        d->row = 1;
    }
}

bool XlsxWriter::cellAllowed()
{
    if (!d->ok || !d->book)
        return false;
    if (!d->inRow) {
        if (!d->sheet || d->row >= lxw_row_t(d->rowsPerSheet))
            startSheet();
        d->inRow = true;
        d->col = 0;
    }
    if (d->ok && d->col >= lxw_col_t(MaxColumns))
        setError(QStringLiteral("A row has more than %1 columns; a worksheet holds at most %1.").arg(MaxColumns));
    return d->ok;
}

void XlsxWriter::addText(const char *utf8, int size)
{
    if (!utf8 || size <= 0) {
        addEmpty();
        return;
    }
    if (!cellAllowed())
        return;
    // The library wants a NUL-terminated text; a NUL inside would end it.
    int n = PrefixOfChars(utf8, size, MaxCellChars);
    if (const void *nul = std::memchr(utf8, 0, size_t(n)))
        n = int(static_cast<const char *>(nul) - utf8);
    if (n > 0) {
        d->text.assign(utf8, size_t(n));
        const lxw_error e = worksheet_write_string(d->sheet, d->row, d->col, d->text.c_str(), nullptr);
        if (e != LXW_NO_ERROR)
            setError(QString::fromUtf8(lxw_strerror(e)));
    }
    ++d->col;
}

void XlsxWriter::addText(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    addText(bytes.constData(), int(bytes.size()));
}

void XlsxWriter::addNumber(double value)
{
    if (!cellAllowed())
        return;
    const lxw_error e = worksheet_write_number(d->sheet, d->row, d->col, value, nullptr);
    if (e != LXW_NO_ERROR)
        setError(QString::fromUtf8(lxw_strerror(e)));
    ++d->col;
}

void XlsxWriter::addEmpty()
{
    if (!cellAllowed())
        return;
    ++d->col;
}

void XlsxWriter::endRow()
{
    if (!cellAllowed())
        return;
    ++d->row;
    d->inRow = false;
}

void XlsxWriter::addRow(const QStringList &cells)
{
    for (const QString &c : cells)
        addText(c);
    endRow();
}

bool XlsxWriter::finish(QString *error)
{
    auto fail = [&]() {
        if (error)
            *error = d->error;
        return false;
    };
    if (!d->ok || !d->book)
        return fail();
    if (!d->sheet)
        startSheet();
    lxw_workbook *workbook = d->book;
    d->book = nullptr;
    const lxw_error e = workbook_close(workbook);
    if (e != LXW_NO_ERROR) {
        setError(QString::fromUtf8(lxw_strerror(e)));
        return fail();
    }
    // The finished workbook, copied to the device a chunk at a time.
    QFile book(QFile::decodeName(d->bookPath));
    if (!book.open(QIODevice::ReadOnly)) {
        setError(book.errorString());
        return fail();
    }
    std::vector<char> buf(size_t(1) << 20);
    for (;;) {
        const qint64 n = book.read(buf.data(), qint64(buf.size()));
        if (n < 0) {
            setError(book.errorString());
            return fail();
        }
        if (n == 0)
            break;
        if (d->out->write(buf.data(), n) != n) {
            setError(d->out->errorString());
            return fail();
        }
    }
    return true;
}
