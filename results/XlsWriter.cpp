#include "results/XlsWriter.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// BIFF8 record types.
enum : uint16_t {
    RecEof = 0x000A,
    RecDateMode = 0x0022,
    RecFont = 0x0031,
    RecContinue = 0x003C,
    RecWindow1 = 0x003D,
    RecCodePage = 0x0042,
    RecBoundSheet = 0x0085,
    RecMulRk = 0x00BD,
    RecXf = 0x00E0,
    RecSst = 0x00FC,
    RecLabelSst = 0x00FD,
    RecDimensions = 0x0200,
    RecNumber = 0x0203,
    RecLabel = 0x0204,
    RecWindow2 = 0x023E,
    RecRk = 0x027E,
    RecStyle = 0x0293,
    RecBof = 0x0809,
};

constexpr int MaxRecordData = 8224; // bytes of data after a record's 4-byte header
constexpr uint16_t CellXf = 15;     // the one cell format: after the 15 style formats
constexpr size_t Chunk = size_t(1) << 20;

// Compound document.
constexpr uint64_t SectorSize = 512;
constexpr uint64_t EntriesPerFatSector = SectorSize / 4;
constexpr uint64_t DifatInHeader = 109;
constexpr uint64_t DifatPerSector = EntriesPerFatSector - 1; // the last entry chains on
constexpr uint64_t MiniStreamCutoff = 4096;
constexpr uint32_t DifSect = 0xFFFFFFFCu;
constexpr uint32_t FatSect = 0xFFFFFFFDu;
constexpr uint32_t EndOfChain = 0xFFFFFFFEu;
constexpr uint32_t FreeSect = 0xFFFFFFFFu;
constexpr uint32_t NoStream = 0xFFFFFFFFu;

// Little-endian bytes into a string.
struct Bytes
{
    std::string s;
    void u8(uint8_t v) { s.push_back(char(v)); }
    void u16(uint16_t v)
    {
        s.push_back(char(v & 0xFF));
        s.push_back(char(v >> 8));
    }
    void u32(uint32_t v)
    {
        u16(uint16_t(v & 0xFFFF));
        u16(uint16_t(v >> 16));
    }
    void u64(uint64_t v)
    {
        u32(uint32_t(v & 0xFFFFFFFFu));
        u32(uint32_t(v >> 32));
    }
    void record(uint16_t type, uint16_t length)
    {
        u16(type);
        u16(length);
    }
    void zeros(size_t n) { s.append(n, '\0'); }
};

inline void St16(char *p, uint16_t v)
{
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}

inline void St32(char *p, uint32_t v)
{
    St16(p, uint16_t(v & 0xFFFF));
    St16(p + 2, uint16_t(v >> 16));
}

// A cell record's first ten bytes: type, length, row, column, format.
inline char *CellHead(char *p, uint16_t type, uint16_t length, uint16_t row, uint16_t col)
{
    St16(p, type);
    St16(p + 2, length);
    St16(p + 4, row);
    St16(p + 6, col);
    St16(p + 8, CellXf);
    return p + 10;
}

// UTF-8 to UTF-16, for at most max units; false for a text that is longer or
// not well-formed (the caller then goes the general way).
bool Utf16Of(const char *s, int size, int max, std::vector<uint16_t> &out)
{
    out.clear();
    int i = 0;
    while (i < size) {
        const uint8_t b = uint8_t(s[i]);
        uint32_t c;
        int len;
        if (b < 0x80) {
            c = b;
            len = 1;
        } else if ((b & 0xE0) == 0xC0 && b >= 0xC2) {
            c = b & 0x1F;
            len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            len = 3;
        } else {
            return false; // four-byte characters and anything odd
        }
        if (i + len > size)
            return false;
        for (int k = 1; k < len; ++k) {
            const uint8_t cont = uint8_t(s[i + k]);
            if ((cont & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (cont & 0x3F);
        }
        if ((len == 3 && (c < 0x800 || (c >= 0xD800 && c < 0xE000))) || int(out.size()) >= max)
            return false;
        out.push_back(uint16_t(c));
        i += len;
    }
    return true;
}

bool fitsInOneByte(const QString &s)
{
    return std::all_of(s.cbegin(), s.cend(), [](QChar c) { return c.unicode() < 0x100; });
}

// A short text (sheet or font name) with a one-byte length.
void shortText(Bytes &b, const QString &text)
{
    b.u8(uint8_t(text.size()));
    b.u8(0); // one byte per character
    for (QChar c : text)
        b.u8(uint8_t(c.unicode()));
}

QString sheetName(int sheet)
{
    return QStringLiteral("Sheet%1").arg(sheet + 1);
}

QString cut(QString text)
{
    if (text.size() > XlsWriter::MaxCellChars) {
        int n = XlsWriter::MaxCellChars;
        if (text.at(n - 1).isHighSurrogate())
            --n;
        text.truncate(n);
    }
    return text;
}

// The shared string table: an SST record and as many CONTINUE records as it
// needs. A text never has its length and flags split from its first
// character; when its characters run on into a CONTINUE record, that record
// starts with the flags byte again.
class StringTable
{
public:
    StringTable(uint32_t total, uint32_t unique)
    {
        m_b.record(RecSst, 0);
        m_b.u32(total);
        m_b.u32(unique);
        m_len = 8;
    }

    void add(const QString &text)
    {
        const bool narrow = fitsInOneByte(text);
        const int charSize = narrow ? 1 : 2;
        const int headerAndFirst = 3 + (text.isEmpty() ? 0 : charSize);
        if (MaxRecordData - m_len < headerAndFirst)
            next();
        m_b.u16(uint16_t(text.size()));
        m_b.u8(narrow ? 0 : 1);
        m_len += 3;
        qsizetype pos = 0;
        while (pos < text.size()) {
            qsizetype n = std::min<qsizetype>(text.size() - pos, (MaxRecordData - m_len) / charSize);
            // A surrogate pair stays in one record.
            if (!narrow && n > 0 && pos + n < text.size() && text.at(pos + n - 1).isHighSurrogate())
                --n;
            if (n <= 0) {
                next();
                m_b.u8(narrow ? 0 : 1);
                m_len = 1;
                continue;
            }
            const QChar *c = text.constData() + pos;
            for (qsizetype k = 0; k < n; ++k) {
                if (narrow)
                    m_b.u8(uint8_t(c[k].unicode()));
                else
                    m_b.u16(c[k].unicode());
            }
            m_len += int(n * charSize);
            pos += n;
        }
    }

    // The size the table would have after one more text of n one-byte
    // characters.
    size_t sizeWithNarrow(int n) const
    {
        size_t size = m_b.s.size();
        int len = m_len;
        if (MaxRecordData - len < 3 + (n > 0 ? 1 : 0)) {
            size += 4;
            len = 0;
        }
        size += 3;
        len += 3;
        while (n > 0) {
            int k = std::min(n, MaxRecordData - len);
            if (k <= 0) {
                size += 5; // record header and the flags byte again
                len = 1;
                continue;
            }
            size += size_t(k);
            len += k;
            n -= k;
        }
        return size;
    }

    std::string bytes()
    {
        close();
        return m_b.s;
    }

private:
    void close()
    {
        char *p = m_b.s.data() + m_start + 2;
        p[0] = char(m_len & 0xFF);
        p[1] = char(m_len >> 8);
    }
    void next()
    {
        close();
        m_start = m_b.s.size();
        m_b.record(RecContinue, 0);
        m_len = 0;
    }

    Bytes m_b;
    size_t m_start = 0;
    int m_len = 0;
};

void bof(Bytes &b, uint16_t kind)
{
    b.record(RecBof, 16);
    b.u16(0x0600); // BIFF8
    b.u16(kind);   // 0x0005 workbook globals, 0x0010 worksheet
    b.u16(0x0DBB); // build
    b.u16(0x07CC); // year
    b.u32(0);      // history flags
    b.u32(0x0006); // lowest version that can read all records
}

void xf(Bytes &b, bool style)
{
    b.record(RecXf, 20);
    b.u16(0);                       // font
    b.u16(0);                       // number format: General
    b.u16(style ? 0xFFF5 : 0x0001); // locked; a style format has no parent
    b.u8(0x20);                     // aligned to the bottom
    b.u8(0);                        // no rotation
    b.u8(0);                        // no indent, reading order by context
    b.u8(style ? 0xF4 : 0x00);      // which attributes the format sets
    b.u32(0);                       // no borders
    b.u32(0);
    b.u16(0x20C0); // default pattern colours
}

} // namespace

XlsWriter::XlsWriter(QIODevice &out, const QStringList &header)
    : m_out(out)
    , m_header(header)
    , m_buf(Chunk + 64 * 1024)
{
    if (!out.isOpen() || !out.isWritable() || out.isSequential() || out.pos() != 0) {
        setError(QStringLiteral("The workbook needs an empty file open for writing that can be repositioned."));
        return;
    }
    if (header.size() > MaxColumns) {
        setError(QStringLiteral("The table has %1 columns; a worksheet holds at most %2.")
                     .arg(header.size())
                     .arg(MaxColumns));
        return;
    }
    // Room for the compound document's header, written last.
    std::memset(room(SectorSize), 0, SectorSize);
}

XlsWriter::~XlsWriter() = default;

void XlsWriter::setError(const QString &why)
{
    if (m_ok) {
        m_ok = false;
        m_error = why;
    }
}

char *XlsWriter::room(size_t n)
{
    if (m_len + n > m_buf.size())
        flush();
    if (n > m_buf.size())
        m_buf.resize(n);
    char *p = m_buf.data() + m_len;
    m_len += n;
    return p;
}

void XlsWriter::put(const void *data, size_t size)
{
    while (size > 0) {
        const size_t n = std::min(size, Chunk);
        std::memcpy(room(n), data, n);
        data = static_cast<const char *>(data) + n;
        size -= n;
    }
}

void XlsWriter::u16(uint16_t v)
{
    St16(room(2), v);
}

void XlsWriter::u32(uint32_t v)
{
    St32(room(4), v);
}

bool XlsWriter::flush()
{
    if (m_ok && m_len > 0) {
        if (m_out.write(m_buf.data(), qint64(m_len)) != qint64(m_len))
            setError(m_out.errorString());
    }
    m_pos += m_len;
    m_len = 0;
    return m_ok;
}

bool XlsWriter::writeAt(uint64_t offset, const std::string &bytes)
{
    if (!flush())
        return false;
    if (!m_out.seek(qint64(offset)) || m_out.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size())
        || !m_out.seek(qint64(m_pos))) {
        setError(m_out.errorString());
        return false;
    }
    return true;
}

void XlsWriter::startSheet()
{
    Sheet sheet;
    sheet.start = m_pos + m_len;
    Bytes b;
    bof(b, 0x0010);
    sheet.dimensions = sheet.start + b.s.size();
    b.record(RecDimensions, 14);
    b.zeros(14); // filled in when the sheet ends
    put(b.s.data(), b.s.size());
    m_sheets.push_back(sheet);

    if (!m_header.isEmpty()) {
        m_sheetRow = 0;
        m_col = 0;
        for (const QString &h : std::as_const(m_header)) {
            if (!h.isEmpty())
                writeText(cut(h));
            ++m_col;
        }
        m_sheets.back().rows = 1;
        m_sheets.back().columns = int(m_header.size());
    }
}

void XlsWriter::endSheet()
{
    Sheet &sheet = m_sheets.back();
    const bool first = m_sheets.size() == 1;
    Bytes b;
    b.record(RecWindow2, 18);
    b.u16(first ? 0x06B6 : 0x00B6); // grid, headers, zeros, outline; the first sheet selected
    b.u16(0);                       // top row
    b.u16(0);                       // left column
    b.u32(0x40);                    // header colour: automatic
    b.u16(0);                       // zoom: default
    b.u16(0);
    b.u32(0);
    b.record(RecEof, 0);
    put(b.s.data(), b.s.size());

    Bytes d;
    d.record(RecDimensions, 14);
    d.u32(0);
    d.u32(uint32_t(sheet.rows)); // one past the last row
    d.u16(0);
    d.u16(sheet.rows > 0 ? uint16_t(sheet.columns) : 0);
    d.u16(0);
    writeAt(sheet.dimensions, d.s);
}

void XlsWriter::startRowIfNeeded()
{
    if (m_inRow)
        return;
    if (m_sheets.empty() || m_sheets.back().rows >= MaxRowsPerSheet) {
        if (!m_sheets.empty())
            endSheet();
        startSheet();
    }
    m_inRow = true;
    m_col = 0;
    m_sheetRow = uint16_t(m_sheets.back().rows);
}

void XlsWriter::flushRk()
{
    if (m_rk.empty())
        return;
    const size_t n = m_rk.size();
    if (n == 1) {
        St32(CellHead(room(14), RecRk, 10, m_sheetRow, uint16_t(m_rkFirst)), m_rk[0]);
    } else {
        char *p = room(4 + 6 + 6 * n);
        St16(p, RecMulRk);
        St16(p + 2, uint16_t(6 + 6 * n));
        St16(p + 4, m_sheetRow);
        St16(p + 6, uint16_t(m_rkFirst));
        p += 8;
        for (uint32_t rk : m_rk) {
            St16(p, CellXf);
            St32(p + 2, rk);
            p += 6;
        }
        St16(p, uint16_t(m_rkFirst + int(n) - 1));
    }
    m_rk.clear();
}

void XlsWriter::writeText(const QString &text)
{
    if (text.size() <= MaxLabelChars) {
        m_utf16.assign(reinterpret_cast<const uint16_t *>(text.constData()),
                       reinterpret_cast<const uint16_t *>(text.constData()) + text.size());
        writeLabel();
        return;
    }
    St32(CellHead(room(14), RecLabelSst, 10, m_sheetRow, uint16_t(m_col)), uint32_t(m_longTexts.size()));
    m_longTexts.push_back(text);
}

void XlsWriter::writeLabel()
{
    const size_t n = m_utf16.size();
    const bool narrow = std::all_of(m_utf16.cbegin(), m_utf16.cend(), [](uint16_t c) { return c < 0x100; });
    char *p = CellHead(room(10 + 3 + n * (narrow ? 1 : 2)), RecLabel, uint16_t(6 + 3 + n * (narrow ? 1 : 2)),
                       m_sheetRow, uint16_t(m_col));
    St16(p, uint16_t(n));
    p[2] = narrow ? 0 : 1;
    p += 3;
    for (uint16_t c : m_utf16) {
        if (narrow) {
            *p++ = char(c);
        } else {
            St16(p, c);
            p += 2;
        }
    }
}

void XlsWriter::addText(const char *utf8, int size)
{
    if (!utf8 || size <= 0) {
        addEmpty();
        return;
    }
    if (!cellAllowed())
        return;
    flushRk();
    // Short well-formed texts, as stored texts mostly are, go out without a
    // QString; anything else takes the general way.
    if (Utf16Of(utf8, size, MaxLabelChars, m_utf16))
        writeLabel();
    else
        writeText(cut(QString::fromUtf8(utf8, size)));
    ++m_col;
}

void XlsWriter::addText(const QString &text)
{
    if (text.isEmpty()) {
        addEmpty();
        return;
    }
    if (!cellAllowed())
        return;
    flushRk();
    writeText(cut(text));
    ++m_col;
}

void XlsWriter::addNumber(double value)
{
    if (!cellAllowed())
        return;
    // A whole number that fits in 30 bits is an RK value: the number shifted
    // left by two, with the flag for "integer".
    if (std::trunc(value) == value && value >= -536870912.0 && value < 536870912.0) {
        if (m_rk.empty())
            m_rkFirst = m_col;
        m_rk.push_back((uint32_t(int32_t(value)) << 2) | 2u);
    } else {
        flushRk();
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        char *p = CellHead(room(18), RecNumber, 14, m_sheetRow, uint16_t(m_col));
        St32(p, uint32_t(bits & 0xFFFFFFFFu));
        St32(p + 4, uint32_t(bits >> 32));
    }
    ++m_col;
}

void XlsWriter::addEmpty()
{
    if (!cellAllowed())
        return;
    flushRk();
    ++m_col;
}

bool XlsWriter::cellAllowed()
{
    startRowIfNeeded();
    if (m_ok && m_col >= MaxColumns)
        setError(QStringLiteral("A row has more than %1 columns; a worksheet holds at most %1.").arg(MaxColumns));
    return m_ok;
}

void XlsWriter::endRow()
{
    startRowIfNeeded();
    flushRk();
    Sheet &sheet = m_sheets.back();
    sheet.columns = std::max(sheet.columns, std::min(m_col, int(MaxColumns)));
    ++sheet.rows;
    ++m_rows;
    m_inRow = false;
}

void XlsWriter::addRow(const QStringList &cells)
{
    for (const QString &c : cells)
        addText(c);
    endRow();
}

std::string XlsWriter::globals(uint64_t sheetsAt) const
{
    Bytes b;
    bof(b, 0x0005);
    b.record(RecCodePage, 2);
    b.u16(1200); // texts are UTF-16

    b.record(RecWindow1, 18);
    b.u16(0); // window position
    b.u16(0);
    b.u16(0x4000); // window size
    b.u16(0x2000);
    b.u16(0x0038); // horizontal and vertical scroll bars, sheet tabs
    b.u16(0);      // active sheet
    b.u16(0);      // first visible tab
    b.u16(1);      // selected sheets
    b.u16(0x0258); // tab bar width ratio

    b.record(RecDateMode, 2);
    b.u16(0); // dates count from 1900

    // Font 4 does not exist in this format, so five records give fonts 0-3 and 5.
    const QString font = QStringLiteral("Arial");
    for (int i = 0; i < 5; ++i) {
        b.record(RecFont, uint16_t(16 + font.size()));
        b.u16(200);    // 10 points, in twentieths
        b.u16(0);      // no bold, italic, ...
        b.u16(0x7FFF); // automatic colour
        b.u16(400);    // normal weight
        b.u16(0);      // no super/subscript
        b.u8(0);       // no underline
        b.u8(0);       // family
        b.u8(0);       // character set
        b.u8(0);
        shortText(b, font);
    }

    for (int i = 0; i < 15; ++i)
        xf(b, true);
    xf(b, false); // CellXf

    b.record(RecStyle, 4);
    b.u16(0x8000); // built-in style on format 0
    b.u8(0);       // "Normal"
    b.u8(0xFF);

    // Each worksheet's place in the stream: the globals come first and take
    // sheetsAt bytes; the worksheets follow in the order they were written,
    // the first one right behind the compound document's header.
    for (size_t i = 0; i < m_sheets.size(); ++i) {
        const QString name = sheetName(int(i));
        b.record(RecBoundSheet, uint16_t(8 + name.size()));
        b.u32(uint32_t(sheetsAt + m_sheets[i].start - SectorSize));
        b.u8(0); // visible
        b.u8(0); // worksheet
        shortText(b, name);
    }

    // The string table holds the long texts, then one unused run of blanks
    // whose length makes the globals end on a sector boundary, so that the
    // worksheets, written first, keep their place in the stream.
    StringTable sst(uint32_t(m_longTexts.size()), uint32_t(m_longTexts.size() + 1));
    for (const QString &t : m_longTexts)
        sst.add(t);
    const size_t before = b.s.size() + 4; // and the EOF record
    int filler = 0;
    while ((before + sst.sizeWithNarrow(filler)) % SectorSize != 0)
        ++filler;
    sst.add(QString(filler, QLatin1Char(' ')));
    b.s += sst.bytes();
    b.record(RecEof, 0);
    return b.s;
}

bool XlsWriter::finish(QString *error)
{
    auto fail = [&]() {
        if (error)
            *error = m_error;
        return false;
    };
    if (m_finished) {
        setError(QStringLiteral("The workbook was already finished."));
        return fail();
    }
    m_finished = true;
    if (!m_ok)
        return fail();
    if (m_inRow)
        endRow();
    if (m_sheets.empty())
        startSheet();
    endSheet();
    if (!flush())
        return fail();

    // The globals' size does not depend on where the sheets are, only on
    // how many there are, so one trial run gives it.
    const uint64_t globalsSize = globals(0).size();
    const uint64_t sheetBytes = m_pos - SectorSize;
    const uint64_t streamSize = globalsSize + sheetBytes;
    if (streamSize > 0x7FFFFFFFull) {
        setError(QStringLiteral("The workbook would be larger than 2 GB."));
        return fail();
    }
    // A stream under the mini-stream cutoff would have to live in the mini
    // stream; padding the worksheets past it keeps the layout simple.
    const uint64_t declared = std::max(streamSize, MiniStreamCutoff);
    const uint64_t sheetSectors = (declared - globalsSize + SectorSize - 1) / SectorSize;
    const uint64_t globalsSectors = globalsSize / SectorSize;

    // Layout after the header: worksheet sectors, globals sectors, one
    // directory sector, FAT sectors, then DIFAT sectors for the FAT sectors
    // the header cannot list.
    uint64_t fatSectors = 1;
    uint64_t difatSectors = 0;
    for (;;) {
        difatSectors = fatSectors > DifatInHeader ? (fatSectors - DifatInHeader + DifatPerSector - 1) / DifatPerSector
                                                  : 0;
        const uint64_t total = sheetSectors + globalsSectors + 1 + fatSectors + difatSectors;
        if (total <= fatSectors * EntriesPerFatSector)
            break;
        ++fatSectors;
    }
    const uint64_t firstGlobals = sheetSectors;
    const uint64_t dirSector = firstGlobals + globalsSectors;
    const uint64_t firstFat = dirSector + 1;
    const uint64_t firstDifat = firstFat + fatSectors;

    for (uint64_t pad = sheetSectors * SectorSize - sheetBytes; pad > 0;) {
        const size_t n = size_t(std::min<uint64_t>(pad, Chunk));
        std::memset(room(n), 0, n);
        pad -= n;
    }
    const std::string head = globals(globalsSectors * SectorSize);
    put(head.data(), head.size());

    // Directory: the root storage and the one stream under it.
    Bytes dir;
    auto entry = [&](const QString &name, uint8_t type, uint32_t child, uint32_t start, uint64_t size) {
        for (int k = 0; k < 32; ++k)
            dir.u16(k < name.size() ? name.at(k).unicode() : 0);
        dir.u16(name.isEmpty() ? 0 : uint16_t((name.size() + 1) * 2));
        dir.u8(type);
        dir.u8(type ? 1 : 0); // black
        dir.u32(NoStream);    // left sibling
        dir.u32(NoStream);    // right sibling
        dir.u32(child);
        dir.zeros(16 + 4 + 8 + 8); // class id, state, times
        dir.u32(start);
        dir.u64(size);
    };
    entry(QStringLiteral("Root Entry"), 5, 1, EndOfChain, 0);
    entry(QStringLiteral("Workbook"), 2, NoStream, uint32_t(firstGlobals), declared);
    entry(QString(), 0, NoStream, 0, 0);
    entry(QString(), 0, NoStream, 0, 0);
    put(dir.s.data(), dir.s.size());
    if (!flush())
        return fail();

    // FAT: the stream runs through the globals sectors, then on into the
    // worksheet sectors; then the special sectors.
    const uint64_t fatEntries = fatSectors * EntriesPerFatSector;
    for (uint64_t i = 0; i < fatEntries; ++i) {
        uint32_t v = FreeSect;
        if (i < sheetSectors)
            v = i + 1 < sheetSectors ? uint32_t(i + 1) : EndOfChain;
        else if (i < dirSector)
            v = i + 1 < dirSector ? uint32_t(i + 1) : 0;
        else if (i == dirSector)
            v = EndOfChain;
        else if (i >= firstFat && i < firstDifat)
            v = FatSect;
        else if (i >= firstDifat && i < firstDifat + difatSectors)
            v = DifSect;
        u32(v);
    }
    // DIFAT sectors: the FAT sectors after the first 109, 127 to a sector.
    for (uint64_t d = 0; d < difatSectors; ++d) {
        for (uint64_t k = 0; k < DifatPerSector; ++k) {
            const uint64_t fat = DifatInHeader + d * DifatPerSector + k;
            u32(fat < fatSectors ? uint32_t(firstFat + fat) : FreeSect);
        }
        u32(d + 1 < difatSectors ? uint32_t(firstDifat + d + 1) : EndOfChain);
    }
    if (!flush())
        return fail();

    Bytes h;
    static const char signature[8] = {char(0xD0), char(0xCF), char(0x11), char(0xE0),
                                      char(0xA1), char(0xB1), char(0x1A), char(0xE1)};
    h.s.append(signature, 8);
    h.zeros(16);   // class id
    h.u16(0x003E); // minor version
    h.u16(0x0003); // major version: 512-byte sectors
    h.u16(0xFFFE); // little-endian
    h.u16(9);      // sector size 2^9
    h.u16(6);      // mini sector size 2^6
    h.zeros(6);
    h.u32(0); // directory sectors (not counted in version 3)
    h.u32(uint32_t(fatSectors));
    h.u32(uint32_t(dirSector));
    h.u32(0); // transactions: none
    h.u32(uint32_t(MiniStreamCutoff));
    h.u32(EndOfChain); // no mini FAT
    h.u32(0);
    h.u32(difatSectors ? uint32_t(firstDifat) : EndOfChain);
    h.u32(uint32_t(difatSectors));
    for (uint64_t i = 0; i < DifatInHeader; ++i)
        h.u32(i < fatSectors ? uint32_t(firstFat + i) : FreeSect);
    if (!writeAt(0, h.s))
        return fail();
    return true;
}
