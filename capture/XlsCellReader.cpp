#include "capture/XlsCellReader.h"

#include "capture/CompoundFile.h"
#include "capture/WorkbookCells.h"

#include <QHash>
#include <QStringDecoder>

#include <cstring>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace XlsCellReader {

namespace {

using Status = WorkbookReader::Status;
using Result = WorkbookReader::Result;
using WorkbookCells::Failure;
using WorkbookCells::kSlots;
using WorkbookCells::Value;

// The record types the reader looks at.
enum : quint16 {
    RecFormula = 0x0006,
    RecEof = 0x000A,
    RecDateMode = 0x0022,
    RecFilePass = 0x002F,
    RecContinue = 0x003C,
    RecCodePage = 0x0042,
    RecBoundSheet = 0x0085,
    RecMulRk = 0x00BD,
    RecMulBlank = 0x00BE,
    RecRString = 0x00D6,
    RecXf = 0x00E0,
    RecSst = 0x00FC,
    RecLabelSst = 0x00FD,
    RecBlank = 0x0201,
    RecNumber = 0x0203,
    RecLabel = 0x0204,
    RecBoolErr = 0x0205,
    RecString = 0x0207,
    RecRk = 0x027E,
    RecFormat = 0x041E,
    RecBof = 0x0809,
};

constexpr quint16 kBiff8 = 0x0600;
constexpr quint16 kBiff5 = 0x0500;
constexpr quint16 kGlobalsKind = 0x0005;
constexpr quint8 kWorksheetKind = 0;
constexpr int kFormats = 65536; // format and cell-format numbers are 16-bit

quint16 U16(const char *p)
{
    return quint16(quint8(p[0]) | quint8(p[1]) << 8);
}

quint32 U32(const char *p)
{
    return quint32(U16(p)) | quint32(U16(p + 2)) << 16;
}

double F64(const char *p)
{
    const quint64 bits = quint64(U32(p)) | quint64(U32(p + 4)) << 32;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// A number packed into 32 bits: a 30-bit integer or the top of a double,
// optionally to be divided by 100.
double RkNumber(quint32 rk)
{
    double d;
    if (rk & 2) {
        d = double(qint32(rk & ~quint32(3)) / 4);
    } else {
        const quint64 bits = quint64(rk & ~quint32(3)) << 32;
        std::memcpy(&d, &bits, sizeof d);
    }
    return (rk & 1) ? d / 100 : d;
}

QString ErrorName(quint8 code)
{
    switch (code) {
    case 0x00: return QStringLiteral("#NULL!");
    case 0x07: return QStringLiteral("#DIV/0!");
    case 0x0F: return QStringLiteral("#VALUE!");
    case 0x17: return QStringLiteral("#REF!");
    case 0x1D: return QStringLiteral("#NAME?");
    case 0x24: return QStringLiteral("#NUM!");
    default: return QStringLiteral("#N/A");
    }
}

struct Record {
    quint16 type = 0;
    const char *data = nullptr;
    int size = 0;
};

// The records of the stream from a position on. A record whose length runs
// past the end of the stream ends the walk as cut short.
class Records
{
public:
    Records(const QByteArray &stream, qint64 at) : m_stream(stream), m_at(at) {}

    bool next(Record *r)
    {
        if (m_at + 4 > m_stream.size()) {
            m_cut = m_at != m_stream.size();
            return false;
        }
        const char *p = m_stream.constData() + m_at;
        r->type = U16(p);
        r->size = U16(p + 2);
        if (m_at + 4 + r->size > m_stream.size()) {
            m_cut = true;
            return false;
        }
        r->data = p + 4;
        m_at += 4 + r->size;
        return true;
    }
    bool cut() const { return m_cut; }
    qint64 position() const { return m_at; }

private:
    const QByteArray &m_stream;
    qint64 m_at;
    bool m_cut = false;
};

// How the workbook stores text: Excel 97-2003 in Latin-1 or UTF-16 as a
// flags byte says, Excel 5.0/95 in single bytes of the workbook's code page.
class Encoding
{
public:
    bool biff8 = true;

    void setCodePage(int codePage)
    {
        QByteArray name;
        if (codePage == 367)
            name = "US-ASCII";
        else if (codePage == 10000 || codePage == 32768)
            name = "macintosh";
        else if (codePage == 32769)
            name = "windows-1252";
        else if (codePage > 0 && codePage != 1200)
            name = "windows-" + QByteArray::number(codePage);
        m_decoder = std::make_shared<QStringDecoder>(name.constData(), QStringConverter::Flag::Stateless);
    }

    QString bytes(const char *p, int n) const
    {
        if (m_decoder && m_decoder->isValid())
            return m_decoder->decode(QByteArrayView(p, n));
        return QString::fromLatin1(p, n);
    }

private:
    std::shared_ptr<QStringDecoder> m_decoder;
};

// Reads a record's data, and with continued that of the CONTINUE records
// after it, as one run; never past the data that is there.
class Cursor
{
public:
    Cursor(const QByteArray &stream, qint64 after, const Record &r, bool continued)
        : m_records(stream, after), m_p(r.data), m_left(r.size), m_continued(continued)
    {
    }

    bool u8(quint8 *v)
    {
        char b[1];
        if (!take(b, 1))
            return false;
        *v = quint8(b[0]);
        return true;
    }
    bool u16(quint16 *v)
    {
        char b[2];
        if (!take(b, 2))
            return false;
        *v = U16(b);
        return true;
    }
    bool u32(quint32 *v)
    {
        char b[4];
        if (!take(b, 4))
            return false;
        *v = U32(b);
        return true;
    }
    bool skip(qint64 n) { return take(nullptr, n); }

    // count characters of a string; in an Excel 97-2003 continuation record
    // a fresh flags byte gives their width again. Collected into out unless
    // it is null.
    bool chars(int count, bool wide, const Encoding &encoding, QString *out)
    {
        while (count > 0) {
            if (m_left == 0) {
                quint8 flags = 0;
                if (!advance() || (encoding.biff8 && !u8(&flags)))
                    return false;
                wide = flags & 1;
                continue;
            }
            const int width = wide ? 2 : 1;
            const int n = std::min(count, m_left / width);
            if (n == 0)
                return false; // half a character
            if (out)
                append(n, wide, encoding, out);
            m_p += n * width;
            m_left -= n * width;
            count -= n;
        }
        return true;
    }

private:
    void append(int n, bool wide, const Encoding &encoding, QString *out) const
    {
        if (!wide && !encoding.biff8) {
            *out += encoding.bytes(m_p, n);
        } else if (!wide) {
            *out += QString::fromLatin1(m_p, n);
        } else {
            for (int i = 0; i < n; ++i)
                *out += QChar(U16(m_p + 2 * i));
        }
    }

    bool take(char *into, qint64 n)
    {
        while (n > 0) {
            if (m_left == 0 && !advance())
                return false;
            const int k = int(std::min<qint64>(n, m_left));
            if (into) {
                std::memcpy(into, m_p, size_t(k));
                into += k;
            }
            m_p += k;
            m_left -= k;
            n -= k;
        }
        return true;
    }

    bool advance()
    {
        Record r;
        if (!m_continued || !m_records.next(&r) || r.type != RecContinue)
            return false;
        m_p = r.data;
        m_left = r.size;
        return true;
    }

    Records m_records;
    const char *m_p;
    int m_left;
    bool m_continued;
};

// A text with a one- or two-byte character count. Excel 97-2003 adds a
// flags byte (width, formatting runs, phonetic data) after the count.
bool ReadText(Cursor &c, const Encoding &encoding, int countBytes, QString *out)
{
    quint16 count = 0;
    quint8 small = 0;
    if (countBytes == 1 ? !c.u8(&small) : !c.u16(&count))
        return false;
    if (countBytes == 1)
        count = small;
    if (!encoding.biff8)
        return c.chars(count, false, encoding, out);
    quint8 flags = 0;
    quint16 runs = 0;
    quint32 extra = 0;
    if (!c.u8(&flags) || ((flags & 0x08) && !c.u16(&runs)) || ((flags & 0x04) && !c.u32(&extra)))
        return false;
    return c.chars(count, flags & 1, encoding, out) && c.skip(qint64(runs) * 4) && c.skip(extra);
}

// A text inside one record, from offset on.
bool RecordText(const QByteArray &stream, const Record &r, int offset, const Encoding &encoding, int countBytes,
                QString *out)
{
    if (offset > r.size)
        return false;
    Record rest = r;
    rest.data += offset;
    rest.size -= offset;
    Cursor c(stream, 0, rest, false);
    return ReadText(c, encoding, countBytes, out);
}

// What the reader takes from the workbook globals.
struct Globals {
    Encoding encoding;
    bool codePageSeen = false;
    bool date1904 = false;
    qint64 sstAt = -1;     // where the shared string table's record starts
    qint64 markerAt = -1;  // where the marker sheet starts
    qint64 caselessAt = -1; // where a sheet whose name matches without regard to case starts
    std::vector<quint16> cellFormats;    // XF: the number format of each cell format
    std::vector<qint8> formatIsDate = std::vector<qint8>(kFormats, -1); // FORMAT: -1 unknown, 0, 1

    bool showsDate(int cellFormat) const
    {
        if (cellFormat < 0 || size_t(cellFormat) >= cellFormats.size())
            return false;
        const int id = cellFormats[size_t(cellFormat)];
        return formatIsDate[size_t(id)] < 0 ? WorkbookCells::IsBuiltInDateFormat(id) : formatIsDate[size_t(id)] == 1;
    }
};

// One record of the globals; false with failure set when it is broken.
bool TakeGlobal(const QByteArray &stream, const Record &r, qint64 at, Globals *g, Result *failure)
{
    switch (r.type) {
    case RecFilePass:
        *failure = Failure(Status::Damaged, QStringLiteral("workbook protected with a password"));
        return false;
    case RecDateMode:
        g->date1904 = r.size >= 2 && U16(r.data) == 1;
        return true;
    case RecCodePage: // the first one counts
        if (r.size >= 2 && !g->encoding.biff8 && !g->codePageSeen)
            g->encoding.setCodePage(U16(r.data));
        g->codePageSeen = true;
        return true;
    case RecSst:
        g->sstAt = at;
        return true;
    case RecXf:
        if (r.size >= 4 && g->cellFormats.size() < size_t(kFormats))
            g->cellFormats.push_back(U16(r.data + 2));
        return true;
    case RecFormat: {
        QString code;
        if (r.size < 2 || !RecordText(stream, r, 2, g->encoding, g->encoding.biff8 ? 2 : 1, &code))
            break;
        g->formatIsDate[U16(r.data)] = WorkbookCells::IsDateFormatCode(code) ? 1 : 0;
        return true;
    }
    case RecBoundSheet: {
        QString name;
        if (r.size < 6 || !RecordText(stream, r, 6, g->encoding, 1, &name))
            break;
        const QString marker = WorkbookReader::MarkerSheetName();
        if (quint8(r.data[5]) != kWorksheetKind)
            return true;
        if (name == marker && g->markerAt < 0)
            g->markerAt = U32(r.data);
        else if (g->caselessAt < 0 && name.compare(marker, Qt::CaseInsensitive) == 0)
            g->caselessAt = U32(r.data);
        return true;
    }
    default:
        return true;
    }
    *failure = Failure(Status::Damaged, QStringLiteral("record %1 broken in the workbook globals").arg(r.type, 4, 16, QLatin1Char('0')));
    return false;
}

bool ReadGlobals(const QByteArray &stream, Globals *g, Result *failure)
{
    Records records(stream, 0);
    Record r;
    if (!records.next(&r) || r.type != RecBof || r.size < 4 || U16(r.data + 2) != kGlobalsKind
        || (U16(r.data) != kBiff8 && U16(r.data) != kBiff5)) {
        *failure = Failure(Status::Damaged, QStringLiteral("not an Excel 97-2003 or 5.0/95 workbook stream"));
        return false;
    }
    g->encoding.biff8 = U16(r.data) == kBiff8;
    if (!g->encoding.biff8)
        g->encoding.setCodePage(1252); // until the workbook names its own
    for (;;) {
        const qint64 at = records.position();
        if (!records.next(&r)) {
            *failure = Failure(Status::Damaged, QStringLiteral("workbook globals cut short"));
            return false;
        }
        if (r.type == RecEof)
            break;
        if (!TakeGlobal(stream, r, at, g, failure))
            return false;
    }
    if (g->markerAt < 0)
        g->markerAt = g->caselessAt;
    if (g->markerAt < 0) {
        *failure = Failure(Status::NoMarkerSheet,
                           QStringLiteral("no sheet named %1").arg(WorkbookReader::MarkerSheetName()));
        return false;
    }
    return true;
}

// The wanted cells of the marker sheet as its records give them.
struct SheetCells {
    Value values[kSlots];
    qint64 sharedString[kSlots]; // index into the string table, or -1
    int cellFormat[kSlots];
    int pendingText = -1; // the slot whose formula's text is in the STRING record to come

    SheetCells()
    {
        std::fill(std::begin(sharedString), std::end(sharedString), -1);
        std::fill(std::begin(cellFormat), std::end(cellFormat), 0);
    }

    // The slot of the cell at the 0-based row and column, emptied for its new
    // value; -1 when the cell is not wanted.
    int take(const char *p)
    {
        const int slot = WorkbookCells::SlotOf(U16(p) + 1, U16(p + 2) + 1);
        if (slot >= 0) {
            values[slot] = Value();
            sharedString[slot] = -1;
            cellFormat[slot] = U16(p + 4);
        }
        return slot;
    }

    void number(int slot, double n)
    {
        values[slot].kind = Value::Kind::Number;
        values[slot].number = n;
    }
};

// A formula's stored result: a number, or a marked kind in the top two
// bytes 0xFFFF: text (in the STRING record that follows), boolean, error
// or empty text.
void TakeFormula(const char *p, int slot, SheetCells *cells)
{
    const char *result = p + 6;
    Value &v = cells->values[slot];
    if (U16(result + 6) != 0xFFFF) {
        cells->number(slot, F64(result));
        return;
    }
    switch (quint8(result[0])) {
    case 0:
        v.kind = Value::Kind::Uncalculated; // until its STRING record comes
        cells->pendingText = slot;
        break;
    case 1:
        v.kind = Value::Kind::Boolean;
        v.number = quint8(result[2]) ? 1 : 0;
        break;
    case 2:
        v.kind = Value::Kind::Error;
        v.text = ErrorName(quint8(result[2]));
        break;
    case 3:
        v.kind = Value::Kind::Empty;
        break;
    default:
        v.kind = Value::Kind::Uncalculated;
        break;
    }
}

// The least length of each cell record the reader uses.
int MinimumSize(quint16 type)
{
    switch (type) {
    case RecNumber: return 14;
    case RecRk:
    case RecLabelSst: return 10;
    case RecFormula: return 20;
    case RecLabel:
    case RecRString:
    case RecBoolErr: return 8;
    case RecBlank:
    case RecMulRk:
    case RecMulBlank: return 6;
    default: return 0;
    }
}

// Several cells of one row in one record: (cell format, RK number) pairs or
// cell formats alone for blanks, between the first and the last column.
void TakeRow(const Record &r, SheetCells *cells)
{
    const int width = r.type == RecMulRk ? 6 : 2;
    const int count = (r.size - 6) / width;
    const int row = U16(r.data);
    for (int i = 0; i < count; ++i) {
        const char *item = r.data + 4 + i * width;
        const int slot = WorkbookCells::SlotOf(row + 1, U16(r.data + 2) + i + 1);
        if (slot < 0)
            continue;
        cells->values[slot] = Value();
        cells->sharedString[slot] = -1;
        cells->cellFormat[slot] = U16(item);
        if (r.type == RecMulRk)
            cells->number(slot, RkNumber(U32(item + 2)));
    }
}

// One record of the marker sheet; false when it is broken.
bool TakeCell(const QByteArray &stream, const Record &r, qint64 after, const Encoding &encoding, SheetCells *cells)
{
    if (r.size < MinimumSize(r.type))
        return false;
    if (r.type == RecString) {
        const int slot = std::exchange(cells->pendingText, -1);
        if (slot < 0)
            return true;
        Cursor c(stream, after, r, true);
        cells->values[slot].kind = Value::Kind::Text;
        return ReadText(c, encoding, 2, &cells->values[slot].text);
    }
    if (r.type == RecMulRk || r.type == RecMulBlank) {
        cells->pendingText = -1;
        TakeRow(r, cells);
        return true;
    }
    if (MinimumSize(r.type) == 0)
        return true; // not a cell
    cells->pendingText = -1;
    const int slot = cells->take(r.data);
    if (slot < 0)
        return true;
    Value &v = cells->values[slot];
    switch (r.type) {
    case RecNumber: cells->number(slot, F64(r.data + 6)); break;
    case RecRk: cells->number(slot, RkNumber(U32(r.data + 6))); break;
    case RecLabelSst: cells->sharedString[slot] = U32(r.data + 6); break;
    case RecFormula: TakeFormula(r.data, slot, cells); break;
    case RecBoolErr:
        v.kind = r.data[7] ? Value::Kind::Error : Value::Kind::Boolean;
        v.number = r.data[6] ? 1 : 0;
        if (r.data[7])
            v.text = ErrorName(quint8(r.data[6]));
        break;
    case RecLabel:
    case RecRString:
        v.kind = Value::Kind::Text;
        return RecordText(stream, r, 6, encoding, 2, &v.text);
    default: break; // a blank
    }
    return true;
}

// Reads the marker sheet from its BOF to its EOF; charts and other
// substreams inside it are passed over.
bool ReadSheet(const QByteArray &stream, const Globals &g, SheetCells *cells, Result *failure)
{
    Records records(stream, g.markerAt);
    Record r;
    if (g.markerAt >= stream.size() || !records.next(&r) || r.type != RecBof) {
        *failure = Failure(Status::Damaged, QStringLiteral("the marker sheet is not where the sheet list says"));
        return false;
    }
    for (int depth = 1; depth > 0;) {
        if (!records.next(&r)) {
            *failure = Failure(Status::Damaged, QStringLiteral("the marker sheet is cut short"));
            return false;
        }
        if (r.type == RecBof)
            ++depth;
        else if (r.type == RecEof)
            --depth;
        else if (depth == 1 && !TakeCell(stream, r, records.position(), g.encoding, cells)) {
            *failure = Failure(Status::Damaged, QStringLiteral("cell record %1 broken").arg(r.type, 4, 16, QLatin1Char('0')));
            return false;
        }
    }
    return true;
}

// Looks up the shared strings the wanted cells name; the table is read from
// its start up to the last of them, keeping only those.
bool ResolveSharedStrings(const QByteArray &stream, const Globals &g, SheetCells *cells, Result *failure)
{
    std::set<qint64> needed;
    for (qint64 index : cells->sharedString)
        if (index >= 0)
            needed.insert(index);
    if (needed.empty())
        return true;
    Records records(stream, g.sstAt);
    Record r;
    if (g.sstAt < 0 || !records.next(&r) || r.size < 8) {
        *failure = Failure(Status::Damaged, QStringLiteral("shared strings missing"));
        return false;
    }
    Cursor c(stream, records.position(), r, true);
    c.skip(8); // total and unique counts, not trusted
    QHash<qint64, QString> found;
    for (qint64 index = 0; index <= *needed.rbegin(); ++index) {
        QString text;
        if (!ReadText(c, g.encoding, 2, needed.count(index) ? &text : nullptr)) {
            *failure = Failure(Status::Damaged, QStringLiteral("shared string index out of range"));
            return false;
        }
        if (needed.count(index))
            found.insert(index, text);
    }
    for (int slot = 0; slot < kSlots; ++slot) {
        if (cells->sharedString[slot] < 0)
            continue;
        cells->values[slot].kind = Value::Kind::Text;
        cells->values[slot].text = found.value(cells->sharedString[slot]);
    }
    return true;
}

} // namespace

Result ReadStream(const QByteArray &stream)
{
    Globals globals;
    SheetCells cells;
    Result failure;
    if (!ReadGlobals(stream, &globals, &failure) || !ReadSheet(stream, globals, &cells, &failure)
        || !ResolveSharedStrings(stream, globals, &cells, &failure))
        return failure;
    for (int slot = 0; slot < kSlots; ++slot)
        if (cells.values[slot].kind == Value::Kind::Number)
            cells.values[slot].dateFormat = globals.showsDate(cells.cellFormat[slot]);
    return WorkbookCells::Finish(cells.values, globals.date1904);
}

Result Read(const QByteArray &file)
{
    const CompoundFile::Stream s =
        CompoundFile::Read(file, {QStringLiteral("Workbook"), QStringLiteral("Book")});
    switch (s.status) {
    case CompoundFile::Status::Ok:
        return ReadStream(s.data);
    case CompoundFile::Status::NotCompound:
        return Failure(Status::NotAWorkbook, s.reason);
    case CompoundFile::Status::Damaged:
    case CompoundFile::Status::NoSuchStream:
        break;
    }
    return Failure(Status::Damaged, s.reason);
}

} // namespace XlsCellReader
