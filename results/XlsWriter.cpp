#include "results/XlsWriter.h"

#include "common/SafeFile.h"

#include <algorithm>
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
    RecXf = 0x00E0,
    RecSst = 0x00FC,
    RecLabelSst = 0x00FD,
    RecExtSst = 0x00FF,
    RecDimensions = 0x0200,
    RecWindow2 = 0x023E,
    RecStyle = 0x0293,
    RecBof = 0x0809,
};

constexpr int MaxRecordData = 8224; // bytes of data after a record's 4-byte header
constexpr uint16_t CellXf = 15;     // the one cell format: after the 15 style formats

// Record sizes on a worksheet, headers included.
constexpr uint32_t BofSize = 4 + 16;
constexpr uint32_t DimensionsSize = 4 + 14;
constexpr uint32_t LabelSstSize = 4 + 10;
constexpr uint32_t Window2Size = 4 + 18;
constexpr uint32_t EofSize = 4;

// Compound document.
constexpr int SectorSize = 512;
constexpr int EntriesPerFatSector = SectorSize / 4;
constexpr int DifatInHeader = 109;
constexpr int DifatPerSector = EntriesPerFatSector - 1; // the last entry chains on
constexpr uint32_t MiniStreamCutoff = 4096;
constexpr uint32_t DifSect = 0xFFFFFFFCu;
constexpr uint32_t FatSect = 0xFFFFFFFDu;
constexpr uint32_t EndOfChain = 0xFFFFFFFEu;
constexpr uint32_t FreeSect = 0xFFFFFFFFu;
constexpr uint32_t NoStream = 0xFFFFFFFFu;

// Little-endian bytes into a growing buffer; with a device the buffer is
// handed on in large chunks, so a big workbook is never held whole.
class Sink
{
public:
    explicit Sink(QIODevice *device = nullptr) : m_device(device)
    {
        if (device)
            m_buf.reserve(Chunk + 64);
    }

    void u8(uint8_t v)
    {
        m_buf.push_back(char(v));
        maybeFlush();
    }
    void u16(uint16_t v)
    {
        const char b[2] = {char(v & 0xFF), char(v >> 8)};
        bytes(b, 2);
    }
    void u32(uint32_t v)
    {
        const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
        bytes(b, 4);
    }
    void u64(uint64_t v)
    {
        u32(uint32_t(v & 0xFFFFFFFFu));
        u32(uint32_t(v >> 32));
    }
    void bytes(const char *p, size_t n)
    {
        m_buf.append(p, n);
        maybeFlush();
    }
    void bytes(const QByteArray &b) { bytes(b.constData(), size_t(b.size())); }
    void zeros(size_t n)
    {
        m_buf.append(n, '\0');
        maybeFlush();
    }
    void record(uint16_t type, uint16_t length)
    {
        u16(type);
        u16(length);
    }

    bool finish()
    {
        if (m_device)
            flush();
        return m_ok;
    }
    std::string &buffer() { return m_buf; }
    QByteArray bytes() const { return QByteArray(m_buf.data(), qsizetype(m_buf.size())); }
    bool ok() const { return m_ok; }

private:
    static constexpr size_t Chunk = size_t(1) << 20;
    void maybeFlush()
    {
        if (m_device && m_buf.size() >= Chunk)
            flush();
    }
    void flush()
    {
        if (m_ok && !m_buf.empty() && m_device->write(m_buf.data(), qint64(m_buf.size())) != qint64(m_buf.size()))
            m_ok = false;
        m_buf.clear();
    }

    QIODevice *m_device;
    std::string m_buf;
    bool m_ok = true;
};

bool fitsInOneByte(const QString &s)
{
    return std::all_of(s.cbegin(), s.cend(), [](QChar c) { return c.unicode() < 0x100; });
}

// A short text (sheet or font name) with a one-byte length.
void shortText(Sink &s, const QString &text)
{
    s.u8(uint8_t(text.size()));
    s.u8(0); // one byte per character
    for (QChar c : text)
        s.u8(uint8_t(c.unicode()));
}

QString sheetName(int sheet)
{
    return QStringLiteral("Sheet%1").arg(sheet + 1);
}

// The shared string table: an SST record and as many CONTINUE records as it
// needs, then the EXTSST index. A text never has its length and flags split
// from its first character; when its characters run on into a CONTINUE
// record, that record starts with the flags byte again.
template <class TextOf>
QByteArray stringTable(uint32_t unique, TextOf textOf, uint32_t cellTotal, uint32_t streamPos)
{
    Sink s;
    int recStart = 0;
    int recLen = 0;
    auto begin = [&](uint16_t type) {
        recStart = int(s.buffer().size());
        s.record(type, 0);
        recLen = 0;
    };
    auto end = [&]() {
        char *p = s.buffer().data() + recStart + 2;
        p[0] = char(recLen & 0xFF);
        p[1] = char(recLen >> 8);
    };

    const uint32_t perBucket = std::max<uint32_t>(8, (unique + 127) / 128);
    struct Bucket { uint32_t pos; uint16_t offset; };
    std::vector<Bucket> buckets;

    begin(RecSst);
    s.u32(cellTotal);
    s.u32(unique);
    recLen = 8;
    for (uint32_t i = 0; i < unique; ++i) {
        const QString text = textOf(i);
        const bool narrow = fitsInOneByte(text);
        const int charSize = narrow ? 1 : 2;
        const int headerAndFirst = 3 + (text.isEmpty() ? 0 : charSize);
        if (MaxRecordData - recLen < headerAndFirst) {
            end();
            begin(RecContinue);
        }
        if (i % perBucket == 0) {
            const int inRecord = int(s.buffer().size()) - recStart;
            buckets.push_back({streamPos + uint32_t(s.buffer().size()), uint16_t(inRecord)});
        }
        s.u16(uint16_t(text.size()));
        s.u8(narrow ? 0 : 1);
        recLen += 3;
        qsizetype pos = 0;
        while (pos < text.size()) {
            qsizetype n = std::min<qsizetype>(text.size() - pos, (MaxRecordData - recLen) / charSize);
            // A surrogate pair stays in one record.
            if (!narrow && n > 0 && pos + n < text.size() && text.at(pos + n - 1).isHighSurrogate())
                --n;
            if (n <= 0) {
                end();
                begin(RecContinue);
                s.u8(narrow ? 0 : 1);
                recLen = 1;
                continue;
            }
            const QChar *c = text.constData() + pos;
            if (narrow) {
                for (qsizetype k = 0; k < n; ++k)
                    s.u8(uint8_t(c[k].unicode()));
            } else {
                for (qsizetype k = 0; k < n; ++k)
                    s.u16(c[k].unicode());
            }
            recLen += int(n * charSize);
            pos += n;
        }
    }
    end();

    s.record(RecExtSst, uint16_t(2 + 8 * buckets.size()));
    s.u16(uint16_t(perBucket));
    for (const Bucket &b : buckets) {
        s.u32(b.pos);
        s.u16(b.offset);
        s.u16(0);
    }
    return s.bytes();
}

void bof(Sink &s, uint16_t kind)
{
    s.record(RecBof, 16);
    s.u16(0x0600); // BIFF8
    s.u16(kind);   // 0x0005 workbook globals, 0x0010 worksheet
    s.u16(0x0DBB); // build
    s.u16(0x07CC); // year
    s.u32(0);      // history flags
    s.u32(0x0006); // lowest version that can read all records
}

void xf(Sink &s, bool style)
{
    s.record(RecXf, 20);
    s.u16(0);                        // font
    s.u16(0);                        // number format: General
    s.u16(style ? 0xFFF5 : 0x0001);  // locked; a style format has no parent
    s.u8(0x20);                      // aligned to the bottom
    s.u8(0);                         // no rotation
    s.u8(0);                         // no indent, reading order by context
    s.u8(style ? 0xF4 : 0x00);       // which attributes the format sets
    s.u32(0);                        // no borders
    s.u32(0);
    s.u16(0x20C0);                   // default pattern colours
}

} // namespace

XlsWriter::XlsWriter(const QStringList &header)
{
    setHeader(header);
}

void XlsWriter::setHeader(const QStringList &header)
{
    m_header.clear();
    for (const QString &h : header) {
        const QByteArray bytes = h.toUtf8();
        m_header.push_back(intern(bytes.constData(), uint32_t(bytes.size())));
    }
    m_columns = std::max(m_columns, int(header.size()));
}

void XlsWriter::addRow(const QStringList &cells)
{
    for (const QString &c : cells)
        addCell(c);
    endRow();
}

void XlsWriter::addCell(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    addCell(bytes.constData(), int(bytes.size()));
}

void XlsWriter::addCell(const char *utf8, int size)
{
    const uint32_t id = (utf8 && size > 0) ? intern(utf8, uint32_t(size)) : NoText;
    const size_t inBlock = m_cellCount & ((size_t(1) << BlockBits) - 1);
    if (inBlock == 0)
        m_blocks.emplace_back(new uint32_t[size_t(1) << BlockBits]);
    m_blocks.back()[inBlock] = id;
    ++m_cellCount;
}

void XlsWriter::endRow()
{
    m_columns = std::max(m_columns, int(m_cellCount - m_rowStart.back()));
    m_rowStart.push_back(m_cellCount);
}

namespace {
uint32_t hashBytes(const char *p, uint32_t n)
{
    uint32_t h = 2166136261u; // FNV-1a
    for (uint32_t i = 0; i < n; ++i)
        h = (h ^ uint8_t(p[i])) * 16777619u;
    return h ^ (h >> 15);
}
} // namespace

uint32_t XlsWriter::intern(const char *utf8, uint32_t size)
{
    if (size == 0)
        return NoText;
    if (m_spans.size() * 2 >= m_table.size())
        growTable();
    const uint32_t h = hashBytes(utf8, size);
    const size_t mask = m_table.size() - 1;
    for (size_t slot = h & mask;; slot = (slot + 1) & mask) {
        const uint32_t id = m_table[slot];
        if (id == NoText) {
            m_table[slot] = uint32_t(m_spans.size());
            m_spans.push_back({m_bytes.size(), size, h});
            m_bytes.append(utf8, size);
            return m_table[slot];
        }
        const Span &s = m_spans[id];
        if (s.hash == h && s.size == size && std::memcmp(m_bytes.data() + s.offset, utf8, size) == 0)
            return id;
    }
}

void XlsWriter::growTable()
{
    std::vector<uint32_t> table(std::max<size_t>(1024, m_table.size() * 2), NoText);
    const size_t mask = table.size() - 1;
    for (uint32_t id = 0; id < m_spans.size(); ++id) {
        size_t slot = m_spans[id].hash & mask;
        while (table[slot] != NoText)
            slot = (slot + 1) & mask;
        table[slot] = id;
    }
    m_table.swap(table);
}

QString XlsWriter::text(uint32_t id) const
{
    const Span &s = m_spans[id];
    QString t = QString::fromUtf8(m_bytes.data() + s.offset, qsizetype(s.size));
    if (t.size() > MaxCellChars) {
        int n = MaxCellChars;
        if (t.at(n - 1).isHighSurrogate())
            --n;
        t.truncate(n);
    }
    return t;
}

int XlsWriter::dataRowsPerSheet() const
{
    return m_header.empty() ? MaxRowsPerSheet : MaxRowsPerSheet - 1;
}

int XlsWriter::sheetCount() const
{
    const int per = dataRowsPerSheet();
    return std::max(1, (rowCount() + per - 1) / per);
}

int XlsWriter::sheetRowCount(int sheet) const
{
    const int per = dataRowsPerSheet();
    const int first = sheet * per;
    const int rows = std::clamp(rowCount() - first, 0, per);
    return rows + (m_header.empty() ? 0 : 1);
}

uint32_t XlsWriter::sheetCellCount(int sheet) const
{
    const int per = dataRowsPerSheet();
    const int first = sheet * per;
    const int last = std::min(rowCount(), first + per);
    uint32_t n = 0;
    for (uint32_t h : m_header)
        n += h != NoText;
    for (size_t k = first < last ? m_rowStart[size_t(first)] : 0, e = first < last ? m_rowStart[size_t(last)] : 0;
         k < e; ++k)
        n += cellAt(k) != NoText;
    return n;
}

uint32_t XlsWriter::sheetSize(int sheet) const
{
    return BofSize + DimensionsSize + LabelSstSize * sheetCellCount(sheet) + Window2Size + EofSize;
}

QByteArray XlsWriter::globals(const std::vector<uint32_t> &sheetSizes, uint32_t cellTotal) const
{
    Sink s;
    bof(s, 0x0005);
    s.record(RecCodePage, 2);
    s.u16(1200); // texts are UTF-16

    s.record(RecWindow1, 18);
    s.u16(0);      // window position
    s.u16(0);
    s.u16(0x4000); // window size
    s.u16(0x2000);
    s.u16(0x0038); // horizontal and vertical scroll bars, sheet tabs
    s.u16(0);      // active sheet
    s.u16(0);      // first visible tab
    s.u16(1);      // selected sheets
    s.u16(0x0258); // tab bar width ratio

    s.record(RecDateMode, 2);
    s.u16(0); // dates count from 1900

    // Font 4 does not exist in this format, so five records give fonts 0-3 and 5.
    const QString font = QStringLiteral("Arial");
    for (int i = 0; i < 5; ++i) {
        s.record(RecFont, uint16_t(16 + font.size()));
        s.u16(200);    // 10 points, in twentieths
        s.u16(0);      // no bold, italic, ...
        s.u16(0x7FFF); // automatic colour
        s.u16(400);    // normal weight
        s.u16(0);      // no super/subscript
        s.u8(0);       // no underline
        s.u8(0);       // family
        s.u8(0);       // character set
        s.u8(0);
        shortText(s, font);
    }

    for (int i = 0; i < 15; ++i)
        xf(s, true);
    xf(s, false); // CellXf

    s.record(RecStyle, 4);
    s.u16(0x8000); // built-in style on format 0
    s.u8(0);       // "Normal"
    s.u8(0xFF);

    const int sheets = int(sheetSizes.size());
    uint32_t boundSheetsSize = 0;
    for (int i = 0; i < sheets; ++i)
        boundSheetsSize += 4 + 8 + uint32_t(sheetName(i).size());
    const uint32_t sstPos = uint32_t(s.buffer().size()) + boundSheetsSize;
    const QByteArray sst = stringTable(
        uint32_t(m_spans.size()), [this](uint32_t id) { return text(id); }, cellTotal, sstPos);
    uint32_t sheetPos = sstPos + uint32_t(sst.size()) + EofSize;
    for (int i = 0; i < sheets; ++i) {
        const QString name = sheetName(i);
        s.record(RecBoundSheet, uint16_t(8 + name.size()));
        s.u32(sheetPos); // where the sheet's BOF record starts in the stream
        s.u8(0);         // visible
        s.u8(0);         // worksheet
        shortText(s, name);
        sheetPos += sheetSizes[size_t(i)];
    }
    s.bytes(sst);
    s.record(RecEof, 0);
    return s.bytes();
}

template <class SinkT>
bool XlsWriter::writeSheet(int sheet, SinkT &s) const
{
    const int per = dataRowsPerSheet();
    const int first = sheet * per;
    const int last = std::min(rowCount(), first + per);

    bof(s, 0x0010);
    s.record(RecDimensions, 14);
    const int rows = sheetRowCount(sheet);
    s.u32(0);
    s.u32(uint32_t(rows)); // one past the last row
    s.u16(0);
    s.u16(rows > 0 ? uint16_t(m_columns) : 0);
    s.u16(0);

    char cell[LabelSstSize];
    auto put = [&](uint32_t row, uint32_t col, uint32_t text) {
        const uint16_t rec[] = {RecLabelSst, 10, uint16_t(row), uint16_t(col), CellXf};
        for (int k = 0; k < 5; ++k) {
            cell[2 * k] = char(rec[k] & 0xFF);
            cell[2 * k + 1] = char(rec[k] >> 8);
        }
        cell[10] = char(text & 0xFF);
        cell[11] = char((text >> 8) & 0xFF);
        cell[12] = char((text >> 16) & 0xFF);
        cell[13] = char(text >> 24);
        s.bytes(cell, LabelSstSize);
    };
    uint32_t row = 0;
    if (!m_header.empty()) {
        for (size_t c = 0; c < m_header.size(); ++c)
            if (m_header[c] != NoText)
                put(row, uint32_t(c), m_header[c]);
        ++row;
    }
    for (int r = first; r < last; ++r, ++row) {
        const size_t b = m_rowStart[size_t(r)];
        const size_t e = m_rowStart[size_t(r) + 1];
        for (size_t k = b; k < e; ++k) {
            const uint32_t id = cellAt(k);
            if (id != NoText)
                put(row, uint32_t(k - b), id);
        }
    }

    s.record(RecWindow2, 18);
    s.u16(sheet == 0 ? 0x06B6 : 0x00B6); // grid, headers, zeros, outline; the first sheet selected
    s.u16(0);                             // top row
    s.u16(0);                             // left column
    s.u32(0x40);                          // header colour: automatic
    s.u16(0);                             // zoom: default
    s.u16(0);
    s.u32(0);
    s.record(RecEof, 0);
    return s.ok();
}

QByteArray XlsWriter::workbookStream() const
{
    const int sheets = sheetCount();
    std::vector<uint32_t> sizes;
    uint32_t cells = 0;
    for (int i = 0; i < sheets; ++i) {
        sizes.push_back(sheetSize(i));
        cells += sheetCellCount(i);
    }
    Sink s;
    s.bytes(globals(sizes, cells));
    for (int i = 0; i < sheets; ++i)
        writeSheet(i, s);
    return s.bytes();
}

bool XlsWriter::write(QIODevice &out, QString *error) const
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (m_columns > MaxColumns)
        return fail(QStringLiteral("The table has %1 columns; a worksheet holds at most %2.")
                        .arg(m_columns)
                        .arg(MaxColumns));

    const int sheets = sheetCount();
    std::vector<uint32_t> sizes;
    uint64_t cells = 0;
    uint64_t streamSize = 0;
    for (int i = 0; i < sheets; ++i) {
        sizes.push_back(sheetSize(i));
        cells += sheetCellCount(i);
        streamSize += sizes.back();
    }
    const QByteArray head = globals(sizes, uint32_t(cells));
    streamSize += uint64_t(head.size());
    if (streamSize > 0x7FFFFFFFull)
        return fail(QStringLiteral("The workbook would be larger than 2 GB."));
    // A stream under the mini-stream cutoff would have to live in the mini
    // stream; padding the workbook stream past it keeps the layout simple.
    const uint64_t declared = std::max<uint64_t>(streamSize, MiniStreamCutoff);

    // Layout: header, workbook sectors, one directory sector, FAT sectors,
    // then DIFAT sectors for the FAT sectors the header cannot list.
    const uint64_t streamSectors = (declared + SectorSize - 1) / SectorSize;
    uint64_t fatSectors = 1;
    uint64_t difatSectors = 0;
    for (;;) {
        difatSectors = fatSectors > DifatInHeader
                           ? (fatSectors - DifatInHeader + DifatPerSector - 1) / DifatPerSector
                           : 0;
        const uint64_t total = streamSectors + 1 + fatSectors + difatSectors;
        if (total <= fatSectors * EntriesPerFatSector)
            break;
        ++fatSectors;
    }
    const uint32_t dirSector = uint32_t(streamSectors);
    const uint32_t firstFat = dirSector + 1;
    const uint32_t firstDifat = firstFat + uint32_t(fatSectors);

    Sink s(&out);
    // Header.
    static const char signature[8] = {char(0xD0), char(0xCF), char(0x11), char(0xE0),
                                      char(0xA1), char(0xB1), char(0x1A), char(0xE1)};
    s.bytes(signature, 8);
    s.zeros(16);     // class id
    s.u16(0x003E);   // minor version
    s.u16(0x0003);   // major version: 512-byte sectors
    s.u16(0xFFFE);   // little-endian
    s.u16(9);        // sector size 2^9
    s.u16(6);        // mini sector size 2^6
    s.zeros(6);
    s.u32(0);        // directory sectors (not counted in version 3)
    s.u32(uint32_t(fatSectors));
    s.u32(dirSector);
    s.u32(0);        // transactions: none
    s.u32(MiniStreamCutoff);
    s.u32(EndOfChain); // no mini FAT
    s.u32(0);
    s.u32(difatSectors ? firstDifat : EndOfChain);
    s.u32(uint32_t(difatSectors));
    for (uint32_t i = 0; i < DifatInHeader; ++i)
        s.u32(i < fatSectors ? firstFat + i : FreeSect);

    // Workbook stream.
    s.bytes(head);
    for (int i = 0; i < sheets; ++i)
        if (!writeSheet(i, s))
            break;
    s.zeros(size_t(streamSectors * SectorSize - streamSize));

    // Directory: the root storage and the one stream under it.
    auto entry = [&](const QString &name, uint8_t type, uint32_t child, uint32_t start, uint64_t size) {
        for (int k = 0; k < 32; ++k)
            s.u16(k < name.size() ? name.at(k).unicode() : 0);
        s.u16(name.isEmpty() ? 0 : uint16_t((name.size() + 1) * 2));
        s.u8(type);
        s.u8(type ? 1 : 0); // black
        s.u32(NoStream);    // left sibling
        s.u32(NoStream);    // right sibling
        s.u32(child);
        s.zeros(16 + 4 + 8 + 8); // class id, state, times
        s.u32(start);
        s.u64(size);
    };
    entry(QStringLiteral("Root Entry"), 5, 1, EndOfChain, 0);
    entry(QStringLiteral("Workbook"), 2, NoStream, 0, declared);
    entry(QString(), 0, NoStream, 0, 0);
    entry(QString(), 0, NoStream, 0, 0);

    // FAT: the workbook is one chain, then the special sectors.
    const uint64_t fatEntries = fatSectors * EntriesPerFatSector;
    for (uint64_t i = 0; i < fatEntries; ++i) {
        uint32_t v = FreeSect;
        if (i < streamSectors)
            v = i + 1 < streamSectors ? uint32_t(i + 1) : EndOfChain;
        else if (i == dirSector)
            v = EndOfChain;
        else if (i >= firstFat && i < firstDifat)
            v = FatSect;
        else if (i >= firstDifat && i < firstDifat + difatSectors)
            v = DifSect;
        s.u32(v);
    }
    // DIFAT sectors: the FAT sectors after the first 109, 127 to a sector.
    for (uint64_t d = 0; d < difatSectors; ++d) {
        for (uint64_t k = 0; k < DifatPerSector; ++k) {
            const uint64_t fat = DifatInHeader + d * DifatPerSector + k;
            s.u32(fat < fatSectors ? firstFat + uint32_t(fat) : FreeSect);
        }
        s.u32(d + 1 < difatSectors ? firstDifat + uint32_t(d + 1) : EndOfChain);
    }
    if (!s.finish())
        return fail(out.errorString());
    return true;
}

bool XlsWriter::save(const QString &path, QString *error, QString *persianReason) const
{
    SafeFile file(path);
    QString why;
    if (file.open(QIODevice::WriteOnly) && write(file, &why) && file.commit())
        return true;
    // Destroying the file drops what was written; the target stays as it was.
    const bool fileFailed = file.FailedStep() != SafeFile::Step::None;
    if (error)
        *error = fileFailed || why.isEmpty() ? file.errorString() : QStringLiteral("Cannot write %1: %2").arg(path, why);
    if (persianReason)
        *persianReason = fileFailed ? SafeFile::PersianReasonFor(file.SystemError())
                                    : QString::fromUtf8("اطلاعات بيش از آن است که در يک فايل اکسل جا شود.");
    return false;
}
