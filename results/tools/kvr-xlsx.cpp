// kvr-xlsx: writes an .xlsx workbook with libxlsxwriter from rows read on
// standard input. The export runs it as a process of its own because the
// program also loads QuaZip, whose bundled zip functions carry the same names
// as the zip library libxlsxwriter is built on; in one process one of the two
// would call the other's. This program links libxlsxwriter alone.
//
//   kvr-xlsx OUT.xlsx SCRATCH-FOLDER [ROWS-PER-SHEET]
//
// Input, little-endian: 'H' then the header row, then the rows; a row is its
// cells followed by '\n'. A cell is 'T' u32 length and that many bytes of
// UTF-8, 'N' and an 8-byte double, or 'E' for an empty cell. A header row
// has text cells only. End of input ends the workbook. Exit status 0 when the
// workbook was written, else 1 with the reason on standard error.
//
// The workbook is written in constant-memory mode: each row goes to a scratch
// file as it arrives. Every sheet reads right to left with its header row bold
// and frozen; a sheet holds ROWS-PER-SHEET rows (1,048,576 unless given), the
// header included, and the rows go on on further sheets, each with the header.
#include <xlsxwriter.h>
#include <zlib.h>

#include <dlfcn.h>

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// The workbook's parts are deflated at zlib's fastest level instead of its
// default: an export is mostly a long sheet of small numbers, where the
// default level costs about three times the time for a file a little smaller.
// libxlsxwriter offers no setting for it, so its zip library's call is met
// here on its way to zlib.
extern "C" int deflateInit2_(z_streamp stream, int level, int method, int windowBits, int memLevel, int strategy,
                             const char *version, int streamSize)
{
    using Init = int (*)(z_streamp, int, int, int, int, int, const char *, int);
    static const Init real = reinterpret_cast<Init>(dlsym(RTLD_NEXT, "deflateInit2_"));
    if (!real)
        return Z_VERSION_ERROR;
    return real(stream, level == Z_DEFAULT_COMPRESSION ? Z_BEST_SPEED : level, method, windowBits, memLevel,
                strategy, version, streamSize);
}

// libxlsxwriter writes each cell with one fprintf, and the C library's
// formatting ("%.16G" above all) makes up most of an export's time: an export
// is mostly whole numbers (the answers, codes, ages and scores). The cell
// formats ("<c r=...") are met here on their way to the C library and written
// by hand when they hold only %s, %d and whole numbers below 10^15 under
// "%.16G" (the same digits the C library gives); every other call goes on to
// the C library unchanged.
extern "C" int __vfprintf_chk(FILE *stream, int flag, const char *format, va_list ap);

namespace {

// A format taken apart once: literal runs, each followed by a conversion
// ('s', 'd', 'G' for "%.16G", or 0 at the end).
struct Piece {
    const char *text;
    size_t length;
    char conversion;
};
struct Format {
    const char *format = nullptr;
    bool cell = false; // a cell format with only the conversions above
    std::vector<Piece> pieces;
};

const Format &Parsed(const char *format)
{
    static std::vector<Format> known; // the library's formats are few and fixed
    for (const Format &f : known)
        if (f.format == format)
            return f;
    Format f;
    f.format = format;
    f.cell = std::strncmp(format, "<c r=", 5) == 0;
    for (const char *p = format; f.cell;) {
        const char *percent = std::strchr(p, '%');
        if (!percent) {
            f.pieces.push_back({p, std::strlen(p), 0});
            break;
        }
        char conversion = 0;
        const char *next = percent + 2;
        if (percent[1] == 's' || percent[1] == 'd') {
            conversion = percent[1];
        } else if (std::strncmp(percent, "%.16G", 5) == 0) {
            conversion = 'G';
            next = percent + 5;
        } else {
            f.cell = false;
        }
        f.pieces.push_back({p, static_cast<size_t>(percent - p), conversion});
        p = next;
    }
    static Format passOn;
    if (known.size() >= 64) {
        passOn = Format();
        return passOn;
    }
    known.push_back(std::move(f));
    return known.back();
}

bool WriteCell(FILE *stream, const Format &format, va_list ap, int *written)
{
    static std::string cell; // the helper writes from one thread
    cell.clear();
    char digits[24];
    for (const Piece &piece : format.pieces) {
        cell.append(piece.text, piece.length);
        if (piece.conversion == 's') {
            cell += va_arg(ap, const char *);
        } else if (piece.conversion == 'd') {
            cell.append(digits, std::to_chars(digits, digits + sizeof digits, va_arg(ap, int)).ptr);
        } else if (piece.conversion == 'G') {
            const double v = va_arg(ap, double);
            if (!(std::fabs(v) < 1e15 && v == std::trunc(v) && !(v == 0 && std::signbit(v))))
                return false;
            cell.append(digits, std::to_chars(digits, digits + sizeof digits, static_cast<long long>(v)).ptr);
        }
    }
    const size_t n = cell.size();
    *written = fwrite_unlocked(cell.data(), 1, n, stream) == n ? static_cast<int>(n) : -1;
    return true;
}

} // namespace

extern "C" int __fprintf_chk(FILE *stream, int flag, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int n = 0;
    const Format &parsed = Parsed(format);
    if (parsed.cell) {
        va_list look;
        va_copy(look, ap);
        const bool done = WriteCell(stream, parsed, look, &n);
        va_end(look);
        if (done) {
            va_end(ap);
            return n;
        }
    }
    n = __vfprintf_chk(stream, flag, format, ap);
    va_end(ap);
    return n;
}

// A cell's name ("A1", "XFD1048576") for each cell written, without the C
// library's formatting.
extern "C" void lxw_rowcol_to_cell(char *cell_name, lxw_row_t row, lxw_col_t col)
{
    char letters[4];
    int n = 0;
    for (unsigned c = unsigned(col) + 1; c > 0 && n < 4; c = (c - 1) / 26)
        letters[n++] = static_cast<char>('A' + (c - 1) % 26);
    char *p = cell_name;
    while (n > 0)
        *p++ = letters[--n];
    p = std::to_chars(p, cell_name + LXW_MAX_CELL_NAME_LENGTH - 1, static_cast<unsigned long>(row) + 1).ptr;
    *p = '\0';
}

// The scratch files (a sheet's rows, then the zip's parts) get a large
// buffer: written and read in 1 MiB blocks instead of the C library's 4 KiB.
extern "C" FILE *lxw_tmpfile(char *tmpdir)
{
    using Make = FILE *(*)(char *);
    static const Make real = reinterpret_cast<Make>(dlsym(RTLD_NEXT, "lxw_tmpfile"));
    FILE *f = real ? real(tmpdir) : nullptr;
    if (f)
        std::setvbuf(f, nullptr, _IOFBF, size_t(1) << 20);
    return f;
}

namespace {

constexpr int MaxCellChars = 32767;
constexpr int MaxColumns = 16384;

// The longest prefix of a UTF-8 text holding at most n UTF-16 units, ending
// on a character boundary and before any NUL.
size_t Prefix(const std::string &s, int n)
{
    int units = 0;
    size_t i = 0;
    while (i < s.size() && s[i] != '\0') {
        const uint8_t b = uint8_t(s[i]);
        const size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
        const int u = len == 4 ? 2 : 1;
        if (units + u > n || i + len > s.size())
            break;
        units += u;
        i += len;
    }
    return i;
}

class Input
{
public:
    bool byte(char *c)
    {
        if (m_pos == m_end && !fill())
            return false;
        *c = m_buf[m_pos++];
        return true;
    }
    bool bytes(void *out, size_t n)
    {
        char *p = static_cast<char *>(out);
        while (n > 0) {
            if (m_pos == m_end && !fill())
                return false;
            const size_t k = std::min(n, m_end - m_pos);
            std::memcpy(p, m_buf.data() + m_pos, k);
            p += k;
            m_pos += k;
            n -= k;
        }
        return true;
    }
    bool text(std::string &s)
    {
        uint8_t b[4];
        if (!bytes(b, 4))
            return false;
        const uint32_t n = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        s.resize(n);
        return bytes(s.data(), n);
    }

private:
    bool fill()
    {
        m_pos = 0;
        m_end = std::fread(m_buf.data(), 1, m_buf.size(), stdin);
        return m_end > 0;
    }
    std::vector<char> m_buf = std::vector<char>(size_t(1) << 20);
    size_t m_pos = 0;
    size_t m_end = 0;
};

int Fail(const char *what, lxw_error e = LXW_NO_ERROR)
{
    if (e != LXW_NO_ERROR)
        std::fprintf(stderr, "%s: %s\n", what, lxw_strerror(e));
    else
        std::fprintf(stderr, "%s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3 || argc > 4)
        return Fail("usage: kvr-xlsx OUT.xlsx SCRATCH-FOLDER [ROWS-PER-SHEET]");
    long perSheet = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 1048576L;
    if (perSheet < 2 || perSheet > 1048576L)
        perSheet = 1048576L;

    Input in;
    char tag = 0;
    std::vector<std::string> header;
    std::string text;
    if (!in.byte(&tag) || tag != 'H')
        return Fail("the input does not start with a header row");
    while (in.byte(&tag) && tag != '\n') {
        if (tag != 'T' || !in.text(text))
            return Fail("the header row is damaged");
        header.push_back(text.substr(0, Prefix(text, MaxCellChars)));
    }
    if (tag != '\n')
        return Fail("the header row is not ended");
    if (header.size() > size_t(MaxColumns))
        return Fail("the table has more columns than a worksheet holds");

    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = argv[2];
    lxw_workbook *book = workbook_new_opt(argv[1], &options);
    if (!book)
        return Fail("the workbook cannot be started");
    lxw_format *bold = workbook_add_format(book);
    format_set_bold(bold);

    lxw_worksheet *sheet = nullptr;
    int sheets = 0;
    lxw_row_t row = 0;
    auto startSheet = [&]() -> lxw_error {
        char name[32];
        std::snprintf(name, sizeof name, "Sheet%d", ++sheets);
        sheet = workbook_add_worksheet(book, name);
        if (!sheet)
            return LXW_ERROR_MEMORY_MALLOC_FAILED;
        worksheet_right_to_left(sheet);
        row = 0;
        if (header.empty())
            return LXW_NO_ERROR;
        worksheet_freeze_panes(sheet, 1, 0);
        for (size_t c = 0; c < header.size(); ++c) {
            if (header[c].empty())
                continue;
            const lxw_error e = worksheet_write_string(sheet, 0, lxw_col_t(c), header[c].c_str(), bold);
            if (e != LXW_NO_ERROR)
                return e;
        }
        row = 1;
        return LXW_NO_ERROR;
    };

    lxw_error e = startSheet();
    lxw_col_t col = 0;
    bool inRow = false;
    while (e == LXW_NO_ERROR && in.byte(&tag)) {
        if (!inRow && row >= lxw_row_t(perSheet))
            e = startSheet();
        inRow = true;
        if (tag == '\n') {
            ++row;
            col = 0;
            inRow = false;
            continue;
        }
        if (col >= lxw_col_t(MaxColumns)) {
            lxw_workbook_free(book);
            return Fail("a row has more columns than a worksheet holds");
        }
        if (tag == 'T') {
            if (!in.text(text))
                break;
            const size_t n = Prefix(text, MaxCellChars);
            if (n > 0) {
                text.resize(n);
                e = worksheet_write_string(sheet, row, col, text.c_str(), nullptr);
            }
        } else if (tag == 'N') {
            double v;
            if (!in.bytes(&v, sizeof v))
                break;
            e = worksheet_write_number(sheet, row, col, v, nullptr);
        } else if (tag != 'E') {
            lxw_workbook_free(book);
            return Fail("the input is damaged");
        }
        ++col;
    }
    if (e != LXW_NO_ERROR) {
        lxw_workbook_free(book);
        return Fail("writing a cell failed", e);
    }
    if (inRow || std::ferror(stdin)) {
        lxw_workbook_free(book);
        return Fail("the input ended in the middle of a row");
    }
    e = workbook_close(book);
    if (e != LXW_NO_ERROR)
        return Fail("the workbook cannot be written", e);
    return 0;
}
