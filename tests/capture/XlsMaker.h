#pragma once
// Makes small Excel 97-2003 (.xls) workbooks for the tests, and Excel
// 5.0/95 ones: the workbook stream of records, and the compound document
// around it. Written the ways different programs write them: numbers as
// NUMBER, RK or MULRK records, texts shared or in the cell, formulas with
// their stored results, a shared string table split over CONTINUE records
// anywhere, small streams in the mini stream or in whole sectors, and
// allocation tables long enough to need the extra list sectors.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstring>
#include <vector>

namespace XlsMaker {

enum class Kind {
    Number,        // NUMBER record
    Rk,            // RK record (or MULRK with Sheet::mulRk), NUMBER when it does not fit
    Shared,        // LABELSST (LABEL in Excel 5.0/95)
    Label,         // LABEL
    Bool,          // BOOLERR; text "1" or "0"
    Error,         // BOOLERR; text the error's name
    FormulaNumber, // FORMULA with a number result
    FormulaText,   // FORMULA with a text result in the STRING record after it
    FormulaBool,   // text "1" or "0"
    FormulaError,  // text the error's name
    FormulaEmpty,  // FORMULA whose result is empty text
    Blank,         // BLANK
};

struct Cell {
    Kind kind = Kind::Number;
    QString text;   // the number, text, boolean or error name
    int format = 0; // the number format: 0 General, 14 a date, or a custom one
};

struct Sheet {
    QString name = QStringLiteral("KVR");
    QMap<QPair<int, int>, Cell> cells{}; // (row, column) from 1
    bool mulRk = false;                // runs of Rk cells in a row as one MULRK
    QList<QByteArray> extraRecords{};  // written as they are after the cells, before EOF

    void set(const QString &ref, Cell c)
    {
        int col = 0, i = 0;
        while (i < ref.size() && ref[i].isLetter())
            col = col * 26 + (ref[i++].unicode() - 'A' + 1);
        cells[{ref.mid(i).toInt(), col}] = c;
    }
};

struct Book {
    QList<Sheet> sheets;
    bool biff5 = false;             // Excel 5.0/95: single-byte texts, no shared strings
    int codePage = 1252;            // of an Excel 5.0/95 workbook
    bool date1904 = false;
    int maxRecordData = 8224;       // a smaller value splits the string table and long texts
    QMap<int, QString> formats{};   // custom number formats by number (164 and up)
    QByteArray rawSst{};            // when set, the string table as it stands (the cells' own is left out)
    QList<QByteArray> extraGlobals{}; // written as they are before the globals' EOF
};

// Little-endian bytes.
inline void Put16(QByteArray &b, int v)
{
    b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}
inline void Put32(QByteArray &b, quint32 v)
{
    Put16(b, int(v & 0xFFFF));
    Put16(b, int(v >> 16));
}
inline void PutDouble(QByteArray &b, double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    Put32(b, quint32(bits));
    Put32(b, quint32(bits >> 32));
}
inline void Set32(QByteArray &b, qint64 at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

inline QByteArray Record(int type, const QByteArray &data)
{
    QByteArray r;
    Put16(r, type);
    Put16(r, int(data.size()));
    return r + data;
}

inline bool Narrow(const QString &s)
{
    for (QChar c : s)
        if (c.unicode() > 0xFF)
            return false;
    return true;
}

// A text with its count: Excel 97-2003 adds a flags byte and writes
// Latin-1 or UTF-16; Excel 5.0/95 writes the code page's bytes.
inline QByteArray Text(const QString &s, int countBytes, bool biff5, int codePage = 1252)
{
    QByteArray b;
    QByteArray chars;
    if (biff5) {
        // Only the code pages the tests use.
        if (codePage == 1256) {
            for (QChar c : s) {
                const ushort u = c.unicode();
                chars.append(u == 0x0627 ? char(0xC7) : u == 0x0644 ? char(0xE1) : u == 0x0641 ? char(0xDD) : char(u));
            }
        } else {
            chars = s.toLatin1();
        }
    }
    const int count = int(biff5 ? chars.size() : s.size());
    if (countBytes == 1)
        b.append(char(count));
    else
        Put16(b, count);
    if (biff5)
        return b + chars;
    const bool narrow = Narrow(s);
    b.append(char(narrow ? 0 : 1));
    for (QChar c : s) {
        if (narrow)
            b.append(char(c.unicode()));
        else
            Put16(b, c.unicode());
    }
    return b;
}

inline int ErrorCode(const QString &name)
{
    static const QMap<QString, int> codes{{QStringLiteral("#NULL!"), 0x00}, {QStringLiteral("#DIV/0!"), 0x07},
                                          {QStringLiteral("#VALUE!"), 0x0F}, {QStringLiteral("#REF!"), 0x17},
                                          {QStringLiteral("#NAME?"), 0x1D}, {QStringLiteral("#NUM!"), 0x24},
                                          {QStringLiteral("#N/A"), 0x2A}};
    return codes.value(name, 0x2A);
}

// The RK form of a number, or false when it has none.
inline bool RkOf(double d, quint32 *rk)
{
    for (int hundred = 0; hundred < 2; ++hundred) {
        const double v = hundred ? d * 100 : d;
        if (v == std::floor(v) && std::fabs(v) < (1 << 29)) {
            *rk = (quint32(qint32(v)) << 2) | 2 | quint32(hundred);
            return true;
        }
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        if ((bits & 0xFFFFFFFFull) == 0 && !hundred) {
            *rk = quint32(bits >> 32);
            return true;
        }
    }
    return false;
}

// Records of data longer than the limit go on in CONTINUE records; a text
// running over keeps its characters whole and restates its flags byte.
class Continued
{
public:
    Continued(int type, int limit) : m_limit(limit) { begin(type); }

    void raw(const QByteArray &b)
    {
        for (char c : b) {
            if (m_current.size() >= m_limit)
                begin(0x003C);
            m_current.append(c);
        }
    }
    // A text: its count and flags stay together with its first character.
    void text(const QString &s)
    {
        const bool narrow = Narrow(s);
        const int width = narrow ? 1 : 2;
        if (m_current.size() + 3 + width > m_limit)
            begin(0x003C);
        Put16(m_current, int(s.size()));
        m_current.append(char(narrow ? 0 : 1));
        for (QChar c : s) {
            if (m_current.size() + width > m_limit) {
                begin(0x003C);
                m_current.append(char(narrow ? 0 : 1));
            }
            if (narrow)
                m_current.append(char(c.unicode()));
            else
                Put16(m_current, c.unicode());
        }
    }
    QByteArray finish()
    {
        flush();
        return m_out;
    }

private:
    void begin(int type)
    {
        flush();
        m_type = type;
        m_current.clear();
        m_open = true;
    }
    void flush()
    {
        if (m_open)
            m_out += Record(m_type, m_current);
        m_open = false;
    }

    int m_limit;
    int m_type = 0;
    bool m_open = false;
    QByteArray m_current;
    QByteArray m_out;
};

// A string table of these texts, records no longer than limit.
inline QByteArray SstRecords(const QStringList &strings, int limit)
{
    Continued table(0x00FC, limit);
    QByteArray counts;
    Put32(counts, quint32(strings.size()));
    Put32(counts, quint32(strings.size()));
    table.raw(counts);
    for (const QString &s : strings)
        table.text(s);
    return table.finish();
}

inline QByteArray LabelSst(int row, int col, quint32 index)
{
    QByteArray b;
    Put16(b, row - 1);
    Put16(b, col - 1);
    Put16(b, 0);
    Put32(b, index);
    return Record(0x00FD, b);
}

struct Formats {
    QList<int> numberFormats{0}; // cell format i shows number format numberFormats[i]

    int cellFormat(int numberFormat)
    {
        int i = int(numberFormats.indexOf(numberFormat));
        if (i < 0) {
            numberFormats.append(numberFormat);
            i = int(numberFormats.size()) - 1;
        }
        return i;
    }
};

inline QByteArray CellHead(int row, int col, int xf)
{
    QByteArray b;
    Put16(b, row - 1);
    Put16(b, col - 1);
    Put16(b, xf);
    return b;
}

inline QByteArray FormulaRecord(int row, int col, int xf, const QByteArray &result)
{
    QByteArray b = CellHead(row, col, xf) + result;
    Put16(b, 0);       // flags
    Put32(b, 0);       // not used
    Put16(b, 3);       // the expression: an integer constant
    b.append(char(0x1E));
    Put16(b, 1);
    return Record(0x0006, b);
}

inline QByteArray SpecialResult(int type, int value)
{
    QByteArray r;
    r.append(char(type)).append(char(0)).append(char(value)).append(QByteArray(3, '\0'));
    Put16(r, 0xFFFF);
    return r;
}

inline QByteArray CellRecords(const Book &book, int row, int col, const Cell &c, int xf, QStringList &sst)
{
    QByteArray b = CellHead(row, col, xf);
    QByteArray result;
    switch (c.kind) {
    case Kind::Number:
        PutDouble(b, c.text.toDouble());
        return Record(0x0203, b);
    case Kind::Rk: {
        quint32 rk = 0;
        if (!RkOf(c.text.toDouble(), &rk)) {
            PutDouble(b, c.text.toDouble());
            return Record(0x0203, b);
        }
        Put32(b, rk);
        return Record(0x027E, b);
    }
    case Kind::Shared:
        if (!book.biff5) {
            if (!sst.contains(c.text))
                sst.append(c.text);
            Put32(b, quint32(sst.indexOf(c.text)));
            return Record(0x00FD, b);
        }
        Q_FALLTHROUGH();
    case Kind::Label:
        return Record(0x0204, b + Text(c.text, 2, book.biff5, book.codePage));
    case Kind::Bool:
        b.append(char(c.text.toInt())).append(char(0));
        return Record(0x0205, b);
    case Kind::Error:
        b.append(char(ErrorCode(c.text))).append(char(1));
        return Record(0x0205, b);
    case Kind::FormulaNumber:
        PutDouble(result, c.text.toDouble());
        return FormulaRecord(row, col, xf, result);
    case Kind::FormulaText: {
        if (book.biff5)
            return FormulaRecord(row, col, xf, SpecialResult(0, 0)) + Record(0x0207, Text(c.text, 2, true, book.codePage));
        Continued s(0x0207, book.maxRecordData);
        s.text(c.text);
        return FormulaRecord(row, col, xf, SpecialResult(0, 0)) + s.finish();
    }
    case Kind::FormulaBool:
        return FormulaRecord(row, col, xf, SpecialResult(1, c.text.toInt()));
    case Kind::FormulaError:
        return FormulaRecord(row, col, xf, SpecialResult(2, ErrorCode(c.text)));
    case Kind::FormulaEmpty:
        return FormulaRecord(row, col, xf, SpecialResult(3, 0));
    case Kind::Blank:
        return Record(0x0201, b);
    }
    return {};
}

// A MULRK record for the run of Rk cells in one row from first to last.
inline QByteArray MulRk(int row, int first, const QList<QPair<int, quint32>> &run)
{
    QByteArray b;
    Put16(b, row - 1);
    Put16(b, first - 1);
    for (const auto &xfRk : run) {
        Put16(b, xfRk.first);
        Put32(b, xfRk.second);
    }
    Put16(b, first - 1 + int(run.size()) - 1);
    return Record(0x00BD, b);
}

inline QByteArray Bof(bool biff5, int kind)
{
    QByteArray b;
    Put16(b, biff5 ? 0x0500 : 0x0600);
    Put16(b, kind);
    Put16(b, 0x0DBB);
    Put16(b, 0x07CC);
    if (!biff5) {
        Put32(b, 0);
        Put32(b, 6);
    }
    return Record(0x0809, b);
}

inline QByteArray SheetStream(const Book &book, const Sheet &sheet, Formats &formats, QStringList &sst)
{
    QByteArray s = Bof(book.biff5, 0x0010);
    QList<QPair<int, quint32>> run;
    int runRow = 0, runFirst = 0, runNext = 0;
    auto flush = [&] {
        if (!run.isEmpty())
            s += MulRk(runRow, runFirst, run);
        run.clear();
    };
    for (auto it = sheet.cells.cbegin(); it != sheet.cells.cend(); ++it) {
        const int row = it.key().first, col = it.key().second;
        const int xf = formats.cellFormat(it.value().format);
        quint32 rk = 0;
        if (sheet.mulRk && it.value().kind == Kind::Rk && RkOf(it.value().text.toDouble(), &rk)) {
            if (run.isEmpty() || row != runRow || col != runNext) {
                flush();
                runRow = row;
                runFirst = col;
            }
            run.append({xf, rk});
            runNext = col + 1;
            continue;
        }
        flush();
        s += CellRecords(book, row, col, it.value(), xf, sst);
    }
    flush();
    for (const QByteArray &r : sheet.extraRecords)
        s += r;
    return s + Record(0x000A, {});
}

inline QByteArray Globals(const Book &book, const Formats &formats, const QStringList &sst,
                          const QList<quint32> &sheetAt)
{
    QByteArray g = Bof(book.biff5, 0x0005);
    if (book.biff5) {
        QByteArray cp;
        Put16(cp, book.codePage);
        g += Record(0x0042, cp);
    }
    QByteArray mode;
    Put16(mode, book.date1904 ? 1 : 0);
    g += Record(0x0022, mode);
    for (auto it = book.formats.cbegin(); it != book.formats.cend(); ++it) {
        QByteArray f;
        Put16(f, it.key());
        g += Record(0x041E, f + Text(it.value(), book.biff5 ? 1 : 2, book.biff5));
    }
    for (int numberFormat : formats.numberFormats) {
        QByteArray xf;
        Put16(xf, 0);
        Put16(xf, numberFormat);
        xf.append(QByteArray(book.biff5 ? 12 : 16, '\0'));
        g += Record(0x00E0, xf);
    }
    for (int i = 0; i < book.sheets.size(); ++i) {
        QByteArray bs;
        Put32(bs, sheetAt.value(i));
        bs.append(char(0)).append(char(0)); // visible worksheet
        g += Record(0x0085, bs + Text(book.sheets[i].name, 1, book.biff5, book.codePage));
    }
    if (!book.rawSst.isEmpty())
        g += book.rawSst;
    else if (!book.biff5 && !sst.isEmpty())
        g += SstRecords(sst, book.maxRecordData);
    for (const QByteArray &r : book.extraGlobals)
        g += r;
    return g + Record(0x000A, {});
}

// The workbook stream: the globals, then each sheet.
inline QByteArray Stream(const Book &book)
{
    Formats formats;
    QStringList sst;
    QList<QByteArray> sheets;
    for (const Sheet &sheet : book.sheets)
        sheets.append(SheetStream(book, sheet, formats, sst));
    QList<quint32> at(book.sheets.size(), 0);
    const QByteArray sized = Globals(book, formats, sst, at); // the same size with any positions
    quint32 pos = quint32(sized.size());
    for (int i = 0; i < sheets.size(); ++i) {
        at[i] = pos;
        pos += quint32(sheets[i].size());
    }
    QByteArray stream = Globals(book, formats, sst, at);
    for (const QByteArray &s : sheets)
        stream += s;
    return stream;
}

// The compound document around one stream. The layout is fixed, so tests
// can damage it on purpose: the allocation table's sectors first, then the
// list sectors that name them (when more than 109), the directory (root and
// the stream), the mini allocation table, then the data.
struct Container {
    QByteArray bytes;
    int fatSectors = 0;
    int directorySector = 0;
    int miniFatSector = -1;
    int firstDataSector = 0;
    int dataSectors = 0;
    bool mini = false;

    static constexpr int kSector = 512;
    qint64 sectorOffset(int s) const { return qint64(s + 1) * kSector; }
    qint64 entryOffset(int id) const { return sectorOffset(directorySector) + qint64(id) * 128; }
    void setFat(int sector, quint32 next) { Set32(bytes, sectorOffset(sector / 128) + 4 * (sector % 128), next); }
    void setHeader(int offset, quint32 v) { Set32(bytes, offset, v); }
    void setEntry(int id, int offset, quint32 v) { Set32(bytes, entryOffset(id) + offset, v); }
};

inline QByteArray DirectoryEntry(const QString &name, int type, quint32 child, quint32 start, quint32 size)
{
    QByteArray e(128, '\0');
    for (int i = 0; i < name.size(); ++i) {
        e[2 * i] = char(name[i].unicode() & 0xFF);
        e[2 * i + 1] = char(name[i].unicode() >> 8);
    }
    e[0x40] = char(name.isEmpty() ? 0 : 2 * (name.size() + 1));
    e[0x42] = char(type);
    e[0x43] = char(1); // black
    Set32(e, 0x44, 0xFFFFFFFFu);
    Set32(e, 0x48, 0xFFFFFFFFu);
    Set32(e, 0x4C, child);
    Set32(e, 0x74, start);
    Set32(e, 0x78, size);
    return e;
}

inline Container Wrap(const QByteArray &stream, const QString &name = QStringLiteral("Workbook"),
                      bool allowMini = true)
{
    Container c;
    const int k = Container::kSector;
    c.mini = allowMini && stream.size() < 4096;
    const int miniSectors = c.mini ? int((stream.size() + 63) / 64) : 0;
    c.dataSectors = c.mini ? (miniSectors * 64 + k - 1) / k : int((stream.size() + k - 1) / k);
    const int miniFat = c.mini ? (miniSectors * 4 + k - 1) / k : 0;
    int difat = 0;
    for (;;) { // allocation table and list sectors that also cover themselves
        const int total = c.fatSectors + difat + 1 + miniFat + c.dataSectors;
        if (c.fatSectors * 128 >= total && difat * 127 >= std::max(0, c.fatSectors - 109))
            break;
        if (c.fatSectors * 128 < total)
            ++c.fatSectors;
        else
            ++difat;
    }
    c.directorySector = c.fatSectors + difat;
    c.miniFatSector = c.mini ? c.directorySector + 1 : -1;
    c.firstDataSector = c.directorySector + 1 + miniFat;
    const int total = c.firstDataSector + c.dataSectors;

    std::vector<quint32> fat(size_t(c.fatSectors) * 128, 0xFFFFFFFFu);
    for (int s = 0; s < c.fatSectors; ++s)
        fat[size_t(s)] = 0xFFFFFFFDu;
    for (int s = 0; s < difat; ++s)
        fat[size_t(c.fatSectors + s)] = 0xFFFFFFFCu;
    fat[size_t(c.directorySector)] = 0xFFFFFFFEu;
    for (int s = 0; s < miniFat; ++s)
        fat[size_t(c.directorySector + 1 + s)] = s + 1 < miniFat ? quint32(c.directorySector + 2 + s) : 0xFFFFFFFEu;
    for (int s = 0; s < c.dataSectors; ++s)
        fat[size_t(c.firstDataSector + s)] = s + 1 < c.dataSectors ? quint32(c.firstDataSector + s + 1) : 0xFFFFFFFEu;

    QByteArray header(k, '\0');
    header.replace(0, 8, QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    Set32(header, 0x18, 0x0003003Eu);
    Set32(header, 0x1C, 0x0009FFFEu);
    Set32(header, 0x20, 6);
    Set32(header, 0x2C, quint32(c.fatSectors));
    Set32(header, 0x30, quint32(c.directorySector));
    Set32(header, 0x38, 4096);
    Set32(header, 0x3C, c.mini ? quint32(c.miniFatSector) : 0xFFFFFFFEu);
    Set32(header, 0x40, quint32(miniFat));
    Set32(header, 0x44, difat ? quint32(c.fatSectors) : 0xFFFFFFFEu);
    Set32(header, 0x48, quint32(difat));
    for (int i = 0; i < 109; ++i)
        Set32(header, 0x4C + 4 * i, i < c.fatSectors ? quint32(i) : 0xFFFFFFFFu);

    QByteArray body(qint64(total) * k, '\0');
    for (size_t i = 0; i < fat.size(); ++i)
        Set32(body, qint64(i) * 4, fat[i]);
    for (int d = 0; d < difat; ++d) {
        const qint64 at = qint64(c.fatSectors + d) * k;
        for (int i = 0; i < 127; ++i) {
            const int fatIndex = 109 + d * 127 + i;
            Set32(body, at + 4 * i, fatIndex < c.fatSectors ? quint32(fatIndex) : 0xFFFFFFFFu);
        }
        Set32(body, at + 4 * 127, d + 1 < difat ? quint32(c.fatSectors + d + 1) : 0xFFFFFFFEu);
    }
    const quint32 dataStart = c.dataSectors ? quint32(c.firstDataSector) : 0xFFFFFFFEu;
    QByteArray dir = DirectoryEntry(QStringLiteral("Root Entry"), 5, 1, c.mini ? dataStart : 0xFFFFFFFEu,
                                    c.mini ? quint32(miniSectors * 64) : 0);
    dir += DirectoryEntry(name, 2, 0xFFFFFFFFu, c.mini ? 0 : dataStart, quint32(stream.size()));
    dir += DirectoryEntry(QString(), 0, 0xFFFFFFFFu, 0, 0) + DirectoryEntry(QString(), 0, 0xFFFFFFFFu, 0, 0);
    body.replace(qint64(c.directorySector) * k, k, dir);
    for (int m = 0; m < miniSectors; ++m)
        Set32(body, qint64(c.miniFatSector) * k + 4 * m, m + 1 < miniSectors ? quint32(m + 1) : 0xFFFFFFFEu);
    if (miniFat) // the rest of the mini table is free
        for (qint64 i = miniSectors; i < qint64(miniFat) * 128; ++i)
            Set32(body, qint64(c.miniFatSector) * k + 4 * i, 0xFFFFFFFFu);
    body.replace(qint64(c.firstDataSector) * k, stream.size(), stream);
    c.bytes = header + body;
    return c;
}

inline QByteArray Make(const Book &book)
{
    return Wrap(Stream(book), book.biff5 ? QStringLiteral("Book") : QStringLiteral("Workbook")).bytes;
}

} // namespace XlsMaker
