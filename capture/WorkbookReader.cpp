#include "capture/WorkbookReader.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryFile>
#include <QUrl>
#include <QXmlStreamReader>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <freexl.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define KVR_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KVR_UNDER_SANITIZER 1
#endif
#endif
#ifdef KVR_UNDER_SANITIZER
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

using Status = WorkbookReader::Status;
using Result = WorkbookReader::Result;

// Unpacking limits per archive member. A genuine template is a few kilobytes;
// these leave room for workbooks saved by any writer with extra sheets and
// styles, and stop an archive member that unpacks to gigabytes early.
constexpr qint64 kSmallPartBudget = 4 * 1024 * 1024;  // package and workbook relations, workbook
constexpr qint64 kLargePartBudget = 16 * 1024 * 1024; // the sheet, the shared strings
constexpr qint64 kChunk = 64 * 1024;
// The sheet is read only up to row 41, but rows out of order or a row with
// endless cells must not keep the reader busy.
constexpr int kMaxCellsScanned = 200000;
constexpr int kMaxSharedStringIndex = 16 * 1024 * 1024;

constexpr int kMarkerRow = 3;
constexpr int kMarkerColumn = 26; // Z
constexpr int kAnswerColumn = 6;  // F
constexpr int kFirstAnswerRow = 2;
constexpr int kLastAnswerRow = kFirstAnswerRow + WorkbookReader::kItems - 1; // 41

const QByteArray kZipSignature("PK\x03\x04", 4);
const QByteArray kEmptyZipSignature("PK\x05\x06", 4);
const QByteArray kOleSignature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

Result Failure(Status status, const QString &reason)
{
    Result r;
    r.status = status;
    r.reason = reason;
    return r;
}

// A number as its plain decimal text: 1 rather than 1.0, 1.5 as 1.5, and at
// most the 15 significant digits a spreadsheet keeps. Text that is not a
// number is handed back as it stands.
QString PlainNumber(const QString &text)
{
    bool ok = false;
    const double d = text.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return text;
    return QString::number(d == 0 ? 0.0 : d, 'g', 15);
}

// Where a cell sits: the reader wants Z3 and F2 .. F41.
enum class Wanted { No, Marker, Answer };

Wanted WantedCell(int row, int column)
{
    if (row == kMarkerRow && column == kMarkerColumn)
        return Wanted::Marker;
    if (column == kAnswerColumn && row >= kFirstAnswerRow && row <= kLastAnswerRow)
        return Wanted::Answer;
    return Wanted::No;
}

// "F12" -> column 6, row 12. False for anything that is not a cell reference
// inside the largest sheet a spreadsheet allows.
bool ParseCellRef(QStringView ref, int *row, int *column)
{
    int i = 0;
    int col = 0;
    while (i < ref.size() && i < 3 && ref[i] >= u'A' && ref[i] <= u'Z') {
        col = col * 26 + (ref[i].unicode() - u'A' + 1);
        ++i;
    }
    if (i == 0 || i == ref.size())
        return false;
    qint64 r = 0;
    for (; i < ref.size(); ++i) {
        if (ref[i] < u'0' || ref[i] > u'9' || r > 10000000)
            return false;
        r = r * 10 + (ref[i].unicode() - u'0');
    }
    if (r < 1 || r > 1048576 || col > 16384)
        return false;
    *row = int(r);
    *column = col;
    return true;
}

// One XML part of the archive, pulled token by token and unpacked in small
// chunks as the parser asks for more, never beyond its byte budget.
class PartReader
{
public:
    PartReader(QuaZip *zip, qint64 budget) : m_file(zip), m_budget(budget) {}
    ~PartReader()
    {
        if (m_file.isOpen())
            m_file.close();
    }

    // False when the archive has no such member or it cannot be unpacked.
    bool open(const QString &name)
    {
        QuaZip *zip = m_file.getZip();
        if (!zip->setCurrentFile(name, QuaZip::csInsensitive))
            return false;
        if (!m_file.open(QIODevice::ReadOnly)) {
            m_error = QStringLiteral("cannot unpack %1").arg(name);
            return false;
        }
        return true;
    }

    QXmlStreamReader::TokenType next()
    {
        for (;;) {
            const QXmlStreamReader::TokenType t = m_xml.readNext();
            if (t == QXmlStreamReader::Invalid
                && m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError && !m_eof
                && m_error.isEmpty()) {
                feed();
                continue;
            }
            if (t == QXmlStreamReader::DTD) {
                // Workbook parts never carry a DTD; refusing it keeps entity
                // tricks out of the parser.
                m_error = QStringLiteral("DTD in a workbook part");
                return QXmlStreamReader::Invalid;
            }
            if (t == QXmlStreamReader::Invalid && m_error.isEmpty())
                m_error = m_xml.errorString();
            return t;
        }
    }

    QXmlStreamReader &xml() { return m_xml; }
    bool failed() const { return !m_error.isEmpty(); }
    QString error() const { return m_error; }

private:
    void feed()
    {
        char buffer[kChunk];
        const qint64 room = m_budget - m_used;
        const qint64 n = m_file.read(buffer, qMin<qint64>(kChunk, room + 1));
        if (n < 0) {
            m_error = QStringLiteral("archive member damaged");
            return;
        }
        if (n == 0) {
            m_eof = true;
            return;
        }
        m_used += n;
        if (m_used > m_budget) {
            m_error = QStringLiteral("archive member larger than %1 bytes").arg(m_budget);
            return;
        }
        m_xml.addData(QByteArray(buffer, int(n)));
    }

    QuaZipFile m_file;
    QXmlStreamReader m_xml;
    qint64 m_budget;
    qint64 m_used = 0;
    bool m_eof = false;
    QString m_error;
};

struct Relationship {
    QString id;
    QString type;
    QString target;
};

// Relationship targets are relative to the folder of the part that names
// them, or absolute from the package root; writers use both.
QString ResolveTarget(const QString &baseFolder, const QString &target)
{
    QString t = QUrl::fromPercentEncoding(target.toUtf8());
    QString path;
    if (t.startsWith(u'/'))
        path = t.mid(1);
    else if (baseFolder.isEmpty())
        path = t;
    else
        path = baseFolder + u'/' + t;
    path = QDir::cleanPath(path);
    while (path.startsWith(u'/'))
        path.remove(0, 1);
    return path;
}

QString FolderOf(const QString &partName)
{
    const int slash = partName.lastIndexOf(u'/');
    return slash < 0 ? QString() : partName.left(slash);
}

QString RelationsPartOf(const QString &partName)
{
    const int slash = partName.lastIndexOf(u'/');
    const QString folder = slash < 0 ? QString() : partName.left(slash + 1);
    return folder + QStringLiteral("_rels/") + partName.mid(slash + 1) + QStringLiteral(".rels");
}

// Reads a relationships part. A missing part gives an empty list; a broken
// one sets *error.
QList<Relationship> ReadRelationships(QuaZip *zip, const QString &name, QString *error)
{
    QList<Relationship> rels;
    PartReader part(zip, kSmallPartBudget);
    if (!part.open(name)) {
        if (!part.error().isEmpty())
            *error = part.error();
        return rels;
    }
    for (;;) {
        const auto t = part.next();
        if (t == QXmlStreamReader::Invalid) {
            *error = part.error();
            return {};
        }
        if (t == QXmlStreamReader::EndDocument)
            break;
        if (t != QXmlStreamReader::StartElement || part.xml().name() != u"Relationship")
            continue;
        const QXmlStreamAttributes a = part.xml().attributes();
        if (a.value(QLatin1String("TargetMode")).compare(u"External", Qt::CaseInsensitive) == 0)
            continue;
        rels.append({a.value(QLatin1String("Id")).toString(), a.value(QLatin1String("Type")).toString(),
                     a.value(QLatin1String("Target")).toString()});
        if (rels.size() > 10000) {
            *error = QStringLiteral("too many relationships");
            return {};
        }
    }
    return rels;
}

const Relationship *FindByType(const QList<Relationship> &rels, QStringView typeEnding)
{
    for (const Relationship &r : rels)
        if (r.type.endsWith(typeEnding))
            return &r;
    return nullptr;
}

// What the reader keeps of a wanted cell until the shared strings are known.
struct RawCell {
    bool present = false;
    QString type;   // the t attribute
    QString value;  // the <v> text
    QString inline_; // the text of an <is> element
};

QString CellText(const RawCell &cell, const QHash<int, QString> &sharedStrings)
{
    if (!cell.present)
        return QString();
    const QString &t = cell.type;
    if (t == u"s") {
        bool ok = false;
        const int index = cell.value.trimmed().toInt(&ok);
        return ok ? sharedStrings.value(index) : QString();
    }
    if (t == u"inlineStr")
        return cell.inline_;
    if (t == u"b") {
        const QString v = cell.value.trimmed();
        if (v.isEmpty())
            return QString();
        return (v == u"0" || v.compare(u"false", Qt::CaseInsensitive) == 0) ? QStringLiteral("FALSE")
                                                                           : QStringLiteral("TRUE");
    }
    if (t == u"str" || t == u"e" || t == u"d")
        return cell.value;
    // "n" or no type: a number; empty when a formula has no cached value.
    if (cell.value.isEmpty())
        return QString();
    return PlainNumber(cell.value.trimmed());
}

class XlsxReader
{
public:
    explicit XlsxReader(QIODevice *device) : m_zip(device) {}

    Result read()
    {
        if (!m_zip.open(QuaZip::mdUnzip))
            return Failure(Status::Damaged, QStringLiteral("not a readable zip archive"));
        if (m_zip.getEntriesCount() > 100000)
            return Failure(Status::Damaged, QStringLiteral("too many archive members"));

        QString error;
        // The package relations name the workbook part; most writers put it
        // at xl/workbook.xml, which is also taken when they name none.
        QString workbookPart = QStringLiteral("xl/workbook.xml");
        const QList<Relationship> packageRels = ReadRelationships(&m_zip, QStringLiteral("_rels/.rels"), &error);
        if (!error.isEmpty())
            return Failure(Status::Damaged, error);
        if (const Relationship *doc = FindByType(packageRels, u"/officeDocument"))
            workbookPart = ResolveTarget(QString(), doc->target);

        const QList<Relationship> workbookRels = ReadRelationships(&m_zip, RelationsPartOf(workbookPart), &error);
        if (!error.isEmpty())
            return Failure(Status::Damaged, error);

        QString sheetRelId;
        Result failure;
        if (!findMarkerSheet(workbookPart, &sheetRelId, &failure))
            return failure;

        QString sheetPart;
        for (const Relationship &r : workbookRels)
            if (r.id == sheetRelId)
                sheetPart = ResolveTarget(FolderOf(workbookPart), r.target);
        if (sheetPart.isEmpty())
            return Failure(Status::Damaged, QStringLiteral("the marker sheet has no part"));

        if (!readSheet(sheetPart, &failure))
            return failure;

        QHash<int, QString> sharedStrings;
        std::set<int> needed;
        for (const RawCell *c : allCells())
            if (c->present && c->type == u"s") {
                bool ok = false;
                const int index = c->value.trimmed().toInt(&ok);
                if (!ok || index < 0 || index > kMaxSharedStringIndex)
                    return Failure(Status::Damaged, QStringLiteral("bad shared string index"));
                needed.insert(index);
            }
        if (!needed.empty()) {
            QString stringsPart = QStringLiteral("xl/sharedStrings.xml");
            if (const Relationship *r = FindByType(workbookRels, u"/sharedStrings"))
                stringsPart = ResolveTarget(FolderOf(workbookPart), r->target);
            if (!readSharedStrings(stringsPart, needed, &sharedStrings, &failure))
                return failure;
        }

        Result r;
        r.status = Status::Ok;
        r.z3 = CellText(m_marker, sharedStrings);
        for (const RawCell &c : m_answers)
            r.answers.append(CellText(c, sharedStrings));
        return r;
    }

private:
    QList<const RawCell *> allCells() const
    {
        QList<const RawCell *> cells{&m_marker};
        for (const RawCell &c : m_answers)
            cells.append(&c);
        return cells;
    }

    bool findMarkerSheet(const QString &workbookPart, QString *relId, Result *failure)
    {
        PartReader part(&m_zip, kSmallPartBudget);
        if (!part.open(workbookPart)) {
            *failure = Failure(Status::Damaged,
                               part.error().isEmpty() ? QStringLiteral("no workbook part") : part.error());
            return false;
        }
        const QString marker = WorkbookReader::MarkerSheetName();
        QString caseless;
        int sheets = 0;
        for (;;) {
            const auto t = part.next();
            if (t == QXmlStreamReader::Invalid) {
                *failure = Failure(Status::Damaged, part.error());
                return false;
            }
            if (t == QXmlStreamReader::EndDocument)
                break;
            if (t == QXmlStreamReader::EndElement && part.xml().name() == u"sheets")
                break;
            if (t != QXmlStreamReader::StartElement || part.xml().name() != u"sheet")
                continue;
            if (++sheets > 10000) {
                *failure = Failure(Status::Damaged, QStringLiteral("too many sheets"));
                return false;
            }
            const QXmlStreamAttributes attrs = part.xml().attributes();
            QString id;
            for (const QXmlStreamAttribute &a : attrs)
                if (a.name() == u"id" && !a.namespaceUri().isEmpty())
                    id = a.value().toString();
            const QString name = attrs.value(QLatin1String("name")).toString();
            if (name == marker) {
                *relId = id;
                return true;
            }
            if (caseless.isEmpty() && name.compare(marker, Qt::CaseInsensitive) == 0)
                caseless = id;
        }
        if (!caseless.isEmpty()) {
            *relId = caseless;
            return true;
        }
        *failure = Failure(Status::NoMarkerSheet, QStringLiteral("no sheet named %1").arg(marker));
        return false;
    }

    RawCell *slot(int row, int column)
    {
        switch (WantedCell(row, column)) {
        case Wanted::Marker:
            return &m_marker;
        case Wanted::Answer:
            return &m_answers[row - kFirstAnswerRow];
        case Wanted::No:
            break;
        }
        return nullptr;
    }

    // Streams the sheet up to the first row past 41. Rows and cells without a
    // reference follow the one before them, as the format allows.
    bool readSheet(const QString &sheetPart, Result *failure)
    {
        PartReader part(&m_zip, kLargePartBudget);
        if (!part.open(sheetPart)) {
            *failure = Failure(Status::Damaged, part.error().isEmpty()
                                                    ? QStringLiteral("sheet part %1 missing").arg(sheetPart)
                                                    : part.error());
            return false;
        }
        QXmlStreamReader &xml = part.xml();
        bool inData = false;
        int row = 0;
        int nextColumn = 1;
        int cells = 0;
        RawCell *cell = nullptr; // the wanted cell being read, if any
        bool inCell = false;
        int textTarget = 0; // 1: <v>, 2: <t> of an inline string
        int phonetic = 0;   // depth inside <rPh>, whose text is not part of the value
        for (;;) {
            const auto t = part.next();
            if (t == QXmlStreamReader::Invalid) {
                *failure = Failure(Status::Damaged, part.error());
                return false;
            }
            if (t == QXmlStreamReader::EndDocument)
                return true;
            const QStringView name = xml.name();
            if (t == QXmlStreamReader::StartElement) {
                if (!inData) {
                    if (name == u"sheetData")
                        inData = true;
                    continue;
                }
                if (name == u"row") {
                    const QStringView r = xml.attributes().value(QLatin1String("r"));
                    if (r.isEmpty()) {
                        ++row;
                    } else {
                        bool ok = false;
                        const int n = r.toInt(&ok);
                        if (!ok || n < 1 || n > 1048576) {
                            *failure = Failure(Status::Damaged, QStringLiteral("bad row number"));
                            return false;
                        }
                        row = n;
                    }
                    if (row > kLastAnswerRow)
                        return true; // every wanted cell lies above
                    nextColumn = 1;
                } else if (name == u"c") {
                    if (++cells > kMaxCellsScanned) {
                        *failure = Failure(Status::Damaged, QStringLiteral("sheet too large"));
                        return false;
                    }
                    const QXmlStreamAttributes a = xml.attributes();
                    int cellRow = row;
                    int column = nextColumn;
                    const QStringView ref = a.value(QLatin1String("r"));
                    if (!ref.isEmpty() && !ParseCellRef(ref, &cellRow, &column)) {
                        *failure = Failure(Status::Damaged, QStringLiteral("bad cell reference"));
                        return false;
                    }
                    nextColumn = column + 1;
                    inCell = true;
                    cell = slot(cellRow, column);
                    if (cell) {
                        *cell = RawCell();
                        cell->present = true;
                        cell->type = a.value(QLatin1String("t")).toString();
                    }
                } else if (inCell && name == u"v") {
                    textTarget = 1;
                } else if (inCell && name == u"rPh") {
                    ++phonetic;
                } else if (inCell && name == u"t" && phonetic == 0) {
                    textTarget = 2;
                }
            } else if (t == QXmlStreamReader::EndElement) {
                if (!inData)
                    continue;
                if (name == u"sheetData")
                    return true;
                if (name == u"c") {
                    inCell = false;
                    cell = nullptr;
                    textTarget = 0;
                    phonetic = 0;
                } else if (name == u"v" || name == u"t") {
                    textTarget = 0;
                } else if (name == u"rPh" && phonetic > 0) {
                    --phonetic;
                }
            } else if (t == QXmlStreamReader::Characters && cell && textTarget != 0) {
                QString &into = textTarget == 1 ? cell->value : cell->inline_;
                if (into.size() > 32767) {
                    // more than a cell can hold
                    *failure = Failure(Status::Damaged, QStringLiteral("cell text too long"));
                    return false;
                }
                into += xml.text();
            }
        }
    }

    bool readSharedStrings(const QString &partName, const std::set<int> &needed,
                           QHash<int, QString> *strings, Result *failure)
    {
        PartReader part(&m_zip, kLargePartBudget);
        if (!part.open(partName)) {
            *failure = Failure(Status::Damaged, part.error().isEmpty()
                                                    ? QStringLiteral("shared strings missing")
                                                    : part.error());
            return false;
        }
        QXmlStreamReader &xml = part.xml();
        const int last = *needed.rbegin();
        int index = -1;
        bool inItem = false;
        bool inText = false;
        int phonetic = 0;
        QString text;
        for (;;) {
            const auto t = part.next();
            if (t == QXmlStreamReader::Invalid) {
                *failure = Failure(Status::Damaged, part.error());
                return false;
            }
            if (t == QXmlStreamReader::EndDocument)
                break;
            const QStringView name = xml.name();
            if (t == QXmlStreamReader::StartElement) {
                if (name == u"si") {
                    ++index;
                    inItem = true;
                    phonetic = 0;
                    text.clear();
                } else if (inItem && name == u"rPh") {
                    ++phonetic;
                } else if (inItem && name == u"t" && phonetic == 0) {
                    inText = true;
                }
            } else if (t == QXmlStreamReader::EndElement) {
                if (name == u"si") {
                    inItem = false;
                    if (needed.count(index))
                        strings->insert(index, text);
                    if (index >= last)
                        return true;
                } else if (name == u"t") {
                    inText = false;
                } else if (name == u"rPh" && phonetic > 0) {
                    --phonetic;
                }
            } else if (t == QXmlStreamReader::Characters && inText && needed.count(index)) {
                if (text.size() > 32767) {
                    *failure = Failure(Status::Damaged, QStringLiteral("shared string too long"));
                    return false;
                }
                text += xml.text();
            }
        }
        *failure = Failure(Status::Damaged, QStringLiteral("shared string index out of range"));
        return false;
    }

    QuaZip m_zip;
    RawCell m_marker;
    RawCell m_answers[WorkbookReader::kItems];
};

// The .xls library parses the whole file with little defence against crafted
// input (over-reads, endless date loops, huge allocations). It therefore runs
// in a child process of its own, under a CPU limit and a deadline; the child
// hands back the 41 cells through a pipe and nothing it does can take the
// program down with it.
namespace xls {

constexpr int kDeadlineMs = 15000;
constexpr rlim_t kCpuSeconds = 10;
constexpr size_t kMaxCellBytes = 32767 * 4;
constexpr size_t kMaxReplyBytes = 64 * 1024 * 1024;

enum Reply : char { ReplyOk = 'O', ReplyDamaged = 'D', ReplyNoSheet = 'S' };
enum CellKind : char { CellEmpty = 'E', CellNumber = 'N', CellText = 'T' };

bool WriteAll(int fd, const void *data, size_t size)
{
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

void WriteCell(int fd, char kind, const char *text, size_t length)
{
    length = std::min(length, kMaxCellBytes);
    const quint32 n = quint32(length);
    WriteAll(fd, &kind, 1);
    WriteAll(fd, &n, sizeof n);
    WriteAll(fd, text, length);
}

// Runs in the child: plain C calls only, no Qt.
void ChildRead(const char *path, int fd)
{
    const void *handle = nullptr;
    char reply = ReplyDamaged;
    if (freexl_open(path, &handle) != FREEXL_OK || !handle) {
        WriteAll(fd, &reply, 1);
        return;
    }
    unsigned int info = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED) {
        WriteAll(fd, &reply, 1);
        return;
    }
    unsigned int count = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK) {
        WriteAll(fd, &reply, 1);
        return;
    }
    // The marker name is plain ASCII, so a byte-wise caseless compare of the
    // UTF-8 names matches as the spreadsheet does.
    int found = -1;
    for (unsigned int i = 0; i < count && i < 65535; ++i) {
        const char *name = nullptr;
        if (freexl_get_worksheet_name(handle, static_cast<unsigned short>(i), &name) != FREEXL_OK || !name)
            continue;
        if (std::strcmp(name, "KVR") == 0) {
            found = int(i);
            break;
        }
        if (found < 0 && strcasecmp(name, "KVR") == 0)
            found = int(i);
    }
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (found < 0) {
        reply = ReplyNoSheet;
        WriteAll(fd, &reply, 1);
        return;
    }
    if (freexl_select_active_worksheet(handle, static_cast<unsigned short>(found)) != FREEXL_OK
        || freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK) {
        WriteAll(fd, &reply, 1);
        return;
    }
    reply = ReplyOk;
    WriteAll(fd, &reply, 1);
    auto cell = [&](int row, int column) {
        FreeXL_CellValue v;
        if (unsigned(row - 1) >= rows || unsigned(column - 1) >= columns
            || freexl_get_cell_value(handle, unsigned(row - 1), static_cast<unsigned short>(column - 1), &v)
                != FREEXL_OK) {
            WriteCell(fd, CellEmpty, "", 0);
            return;
        }
        char number[64];
        switch (v.type) {
        case FREEXL_CELL_INT:
            std::snprintf(number, sizeof number, "%d", v.value.int_value);
            WriteCell(fd, CellNumber, number, std::strlen(number));
            break;
        case FREEXL_CELL_DOUBLE:
            std::snprintf(number, sizeof number, "%.17g", v.value.double_value);
            WriteCell(fd, CellNumber, number, std::strlen(number));
            break;
        case FREEXL_CELL_TEXT:
        case FREEXL_CELL_SST_TEXT:
        case FREEXL_CELL_DATE:
        case FREEXL_CELL_DATETIME:
        case FREEXL_CELL_TIME:
            if (v.value.text_value)
                WriteCell(fd, CellText, v.value.text_value, std::strlen(v.value.text_value));
            else
                WriteCell(fd, CellEmpty, "", 0);
            break;
        default:
            WriteCell(fd, CellEmpty, "", 0);
            break;
        }
    };
    cell(kMarkerRow, kMarkerColumn);
    for (int n = 0; n < WorkbookReader::kItems; ++n)
        cell(kFirstAnswerRow + n, kAnswerColumn);
}

#ifndef KVR_UNDER_SANITIZER
constexpr rlim_t kExtraAddressSpace = rlim_t(1) << 30;

void LimitAddressSpace()
{
    // /proc/self/statm: total program size in pages first.
    const int fd = ::open("/proc/self/statm", O_RDONLY);
    if (fd < 0)
        return;
    char text[128] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return;
    const unsigned long long pages = std::strtoull(text, nullptr, 10);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages == 0 || pageSize <= 0)
        return;
    const rlim_t limit = rlim_t(pages) * rlim_t(pageSize) + kExtraAddressSpace;
    const rlimit as{limit, limit};
    ::setrlimit(RLIMIT_AS, &as);
}
#endif

// Reads the child's reply until it closes the pipe or the deadline passes.
bool ReadReply(int fd, QByteArray *reply)
{
    QElapsedTimer clock;
    clock.start();
    char buffer[16384];
    for (;;) {
        const qint64 left = kDeadlineMs - clock.elapsed();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (size_t(reply->size()) + size_t(n) > kMaxReplyBytes)
            return false;
        reply->append(buffer, int(n));
    }
}

bool TakeCell(const QByteArray &reply, int *at, QString *text)
{
    if (*at + 5 > reply.size())
        return false;
    const char kind = reply[*at];
    quint32 n = 0;
    std::memcpy(&n, reply.constData() + *at + 1, sizeof n);
    *at += 5;
    if (n > kMaxCellBytes || *at + int(n) > reply.size())
        return false;
    const QString raw = QString::fromUtf8(reply.constData() + *at, int(n));
    *at += int(n);
    switch (kind) {
    case CellEmpty:
        *text = QString();
        return true;
    case CellNumber:
        *text = PlainNumber(raw);
        return true;
    case CellText:
        *text = raw;
        return true;
    }
    return false;
}

} // namespace xls

Result ReadXls(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    int fds[2];
    if (::pipe(fds) != 0)
        return Failure(Status::Damaged, QStringLiteral("cannot start the .xls reader"));
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return Failure(Status::Damaged, QStringLiteral("cannot start the .xls reader"));
    }
    if (pid == 0) {
        ::close(fds[0]);
        // A fault in the child ends the child alone: default signal
        // dispositions, and no handler inherited from a test or fuzz harness.
        for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT})
            ::signal(sig, SIG_DFL);
#ifdef KVR_UNDER_SANITIZER
        __sanitizer_set_death_callback(nullptr);
#else
        // Room for what the library allocates on top of what the child
        // shares with the program; beyond that its allocations fail.
        xls::LimitAddressSpace();
#endif
        const rlimit cpu{xls::kCpuSeconds, xls::kCpuSeconds};
        ::setrlimit(RLIMIT_CPU, &cpu);
        xls::ChildRead(file.constData(), fds[1]);
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray reply;
    const bool complete = xls::ReadReply(fds[0], &reply);
    ::close(fds[0]);
    if (!complete)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || reply.isEmpty())
        return Failure(Status::Damaged, QStringLiteral("the .xls reader gave up on this file"));

    switch (reply[0]) {
    case xls::ReplyNoSheet:
        return Failure(Status::NoMarkerSheet,
                       QStringLiteral("no sheet named %1").arg(WorkbookReader::MarkerSheetName()));
    case xls::ReplyOk:
        break;
    default:
        return Failure(Status::Damaged, QStringLiteral("not a readable Excel 97-2003 workbook"));
    }
    Result r;
    int at = 1;
    if (!xls::TakeCell(reply, &at, &r.z3))
        return Failure(Status::Damaged, QStringLiteral("short reply from the .xls reader"));
    for (int n = 0; n < WorkbookReader::kItems; ++n) {
        QString text;
        if (!xls::TakeCell(reply, &at, &text))
            return Failure(Status::Damaged, QStringLiteral("short reply from the .xls reader"));
        r.answers.append(text);
    }
    r.status = Status::Ok;
    return r;
}


enum class Kind { Zip, Ole, Other };

Kind KindOf(const QByteArray &head)
{
    if (head.startsWith(kZipSignature) || head.startsWith(kEmptyZipSignature))
        return Kind::Zip;
    if (head.startsWith(kOleSignature))
        return Kind::Ole;
    return Kind::Other;
}

Result ReadZipDevice(QIODevice *device)
{
    XlsxReader reader(device);
    return reader.read();
}

} // namespace

QString WorkbookReader::MarkerSheetName() { return QStringLiteral("KVR"); }
QString WorkbookReader::MarkerText() { return QStringLiteral("KVR"); }

WorkbookReader::Result WorkbookReader::Read(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return Failure(Status::NotAWorkbook, QStringLiteral("no such file"));
    if (info.size() > kMaxFileBytes)
        return Failure(Status::Damaged, QStringLiteral("file larger than %1 bytes").arg(kMaxFileBytes));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure(Status::NotAWorkbook, file.errorString());
    const QByteArray head = file.peek(8);
    switch (KindOf(head)) {
    case Kind::Zip:
        return ReadZipDevice(&file);
    case Kind::Ole:
        file.close();
        return ReadXls(path);
    case Kind::Other:
        break;
    }
    return Failure(Status::NotAWorkbook, QStringLiteral("neither a zip archive nor an OLE compound file"));
}

WorkbookReader::Result WorkbookReader::ReadBytes(const QByteArray &bytes)
{
    if (bytes.size() > kMaxFileBytes)
        return Failure(Status::Damaged, QStringLiteral("workbook too large"));
    switch (KindOf(bytes.left(8))) {
    case Kind::Zip: {
        QByteArray copy(bytes);
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        return ReadZipDevice(&buffer);
    }
    case Kind::Ole: {
        // The .xls library reads only from a file.
        QTemporaryFile file;
        if (!file.open() || file.write(bytes) != bytes.size() || !file.flush())
            return Failure(Status::Damaged, QStringLiteral("cannot hold the workbook in a scratch file"));
        return ReadXls(file.fileName());
    }
    case Kind::Other:
        break;
    }
    return Failure(Status::NotAWorkbook, QStringLiteral("neither a zip archive nor an OLE compound file"));
}
