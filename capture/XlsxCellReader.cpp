#include "capture/XlsxCellReader.h"

#include "capture/WorkbookCells.h"
#include "capture/ZipArchive.h"

#include "common/PluginModule.h"

#include <QDir>
#include <QHash>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <set>

namespace XlsxCellReader {

namespace {

using Status = WorkbookReader::Status;
using Result = WorkbookReader::Result;
using WorkbookCells::Failure;
using WorkbookCells::Value;

constexpr qint64 kChunk = 64 * 1024;
// The sheet is read only up to row 41, but rows out of order or a row with
// endless cells must not keep the reader busy.
constexpr int kMaxCellsScanned = 200000;
constexpr int kMaxSharedStringIndex = 16 * 1024 * 1024;
constexpr int kMaxCellTextLength = 32767; // what a cell can hold
constexpr int kMaxStyles = 1000000;

// Looks at the raw bytes of an XML part before the parser does and stops a
// tag or a run of text that is longer, or a tag that has more attributes,
// than any workbook has. Quoted attribute values are followed so that a '>'
// inside one does not end the tag; comments, processing instructions and
// declarations end at their first '>'. Blanks between tags do not count
// towards a run of text: they only cost the parser the part's budget.
class MarkupGuard
{
public:
    bool check(const char *p, qint64 n, QString *error)
    {
        for (qint64 i = 0; i < n; ++i) {
            step(p[i]);
            if (m_run > kMaxTokenBytes) {
                *error = QStringLiteral("XML token longer than %1 bytes").arg(kMaxTokenBytes);
                return false;
            }
            if (m_equals > kMaxAttributes) {
                *error = QStringLiteral("XML element with more than %1 attributes").arg(kMaxAttributes);
                return false;
            }
        }
        return true;
    }

private:
    enum class State { Text, TagStart, Tag, Special };

    void step(char c)
    {
        ++m_run;
        switch (m_state) {
        case State::Text:
            if (c == '<') {
                m_state = State::TagStart;
                m_run = 1;
                m_equals = 0;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                --m_run;
            }
            return;
        case State::TagStart:
            m_state = (c == '!' || c == '?') ? State::Special : State::Tag;
            if (m_state == State::Special)
                return;
            break;
        case State::Special:
            if (c == '>')
                endTag();
            return;
        case State::Tag:
            break;
        }
        if (m_quote) {
            if (c == m_quote)
                m_quote = 0;
        } else if (c == '"' || c == '\'') {
            m_quote = c;
        } else if (c == '=') {
            ++m_equals;
        } else if (c == '>') {
            endTag();
        }
    }

    void endTag()
    {
        m_state = State::Text;
        m_run = 0;
    }

    State m_state = State::Text;
    char m_quote = 0;
    qint64 m_run = 0;
    int m_equals = 0;
};

// One XML part of the archive, pulled token by token and unpacked in small
// chunks as the parser asks for more, never beyond its byte budget or the
// nesting depth.
class PartReader
{
public:
    PartReader(ZipArchive *zip, qint64 budget) : m_zip(zip), m_budget(budget) {}

    // False when the archive has no such member or it cannot be unpacked.
    bool open(const QString &name)
    {
        bool missing = false;
        m_file.reset();
        m_file = m_zip->openMember(name, &missing);
        if (m_file)
            return true;
        if (!missing)
            m_error = QStringLiteral("cannot unpack %1").arg(name);
        return false;
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
            return checked(t);
        }
    }

    QXmlStreamReader &xml() { return m_xml; }
    QString error() const { return m_error; }

private:
    QXmlStreamReader::TokenType checked(QXmlStreamReader::TokenType t)
    {
        if (t == QXmlStreamReader::DTD) {
            // Workbook parts never carry a DTD; refusing it keeps entity
            // tricks out of the parser.
            m_error = QStringLiteral("DTD in a workbook part");
            return QXmlStreamReader::Invalid;
        }
        if (t == QXmlStreamReader::StartElement && ++m_depth > kMaxDepth) {
            m_error = QStringLiteral("XML nested deeper than %1 elements").arg(kMaxDepth);
            return QXmlStreamReader::Invalid;
        }
        if (t == QXmlStreamReader::EndElement)
            --m_depth;
        if (t == QXmlStreamReader::Invalid && m_error.isEmpty())
            m_error = m_xml.errorString();
        return t;
    }

    void feed()
    {
        char buffer[kChunk];
        const qint64 room = m_budget - m_used;
        const qint64 n = m_file->read(buffer, qMin<qint64>(kChunk, room + 1));
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
        if (!m_guard.check(buffer, n, &m_error))
            return;
        m_xml.addData(QByteArray(buffer, int(n)));
    }

    ZipArchive *m_zip;
    std::unique_ptr<QIODevice> m_file;
    QXmlStreamReader m_xml;
    MarkupGuard m_guard;
    qint64 m_budget;
    qint64 m_used = 0;
    int m_depth = 0;
    bool m_eof = false;
    QString m_error;
};

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
    const int slash = int(partName.lastIndexOf(u'/'));
    return slash < 0 ? QString() : partName.left(slash);
}

QString RelationsPartOf(const QString &partName)
{
    const int slash = int(partName.lastIndexOf(u'/'));
    const QString folder = slash < 0 ? QString() : partName.left(slash + 1);
    return folder + QStringLiteral("_rels/") + partName.mid(slash + 1) + QStringLiteral(".rels");
}

// Reads a relationships part. A missing part gives an empty list; a broken
// one sets *error.
QList<Relationship> ReadRelationships(ZipArchive *zip, const QString &name, QString *error)
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

bool IsTrue(QStringView v)
{
    return v == u"1" || v.compare(u"true", Qt::CaseInsensitive) == 0 || v.compare(u"on", Qt::CaseInsensitive) == 0;
}

// What the reader keeps of a wanted cell until the shared strings and the
// number formats are known.
struct RawCell {
    bool present = false;
    QString type;      // the t attribute
    int style = 0;     // the s attribute: a cell format number
    bool hasValue = false;
    bool hasFormula = false;
    QString value;     // the <v> text
    QString inlineText; // the text of an <is> element
};

bool IsSharedString(const RawCell &c) { return c.present && c.type == u"s" && !(c.hasFormula && c.value.isEmpty()); }

bool IsNumberCell(const RawCell &c)
{
    return c.present && (c.type.isEmpty() || c.type == u"n") && !c.value.trimmed().isEmpty();
}

// The value of a cell read from the sheet. A formula whose <v> is missing
// or empty has no stored result, except for a text result, which may be
// empty.
Value ValueOf(const RawCell &cell, const QHash<int, QString> &sharedStrings, bool dateFormat)
{
    Value v;
    if (!cell.present)
        return v;
    const QString &t = cell.type;
    const QString trimmed = cell.value.trimmed();
    if (cell.hasFormula && trimmed.isEmpty() && !(t == u"str" && cell.hasValue)) {
        v.kind = Value::Kind::Uncalculated;
        return v;
    }
    if (t == u"s") {
        v.kind = Value::Kind::Text;
        v.text = sharedStrings.value(trimmed.toInt());
    } else if (t == u"inlineStr") {
        v.kind = Value::Kind::Text;
        v.text = cell.inlineText;
    } else if (t == u"b") {
        v.kind = trimmed.isEmpty() ? Value::Kind::Empty : Value::Kind::Boolean;
        v.number = (trimmed == u"0" || trimmed.compare(u"false", Qt::CaseInsensitive) == 0) ? 0 : 1;
    } else if (t == u"e") {
        v.kind = Value::Kind::Error;
        v.text = cell.value;
    } else if (t == u"str" || t == u"d") {
        v.kind = cell.value.isEmpty() ? Value::Kind::Empty : Value::Kind::Text;
        v.text = t == u"d" ? WorkbookCells::IsoDateText(cell.value) : cell.value;
    } else if (!trimmed.isEmpty()) {
        // "n" or no type: a number, or its text as it stands when it is none
        bool ok = false;
        v.number = trimmed.toDouble(&ok);
        v.kind = ok && std::isfinite(v.number) ? Value::Kind::Number : Value::Kind::Text;
        v.text = trimmed;
        v.dateFormat = dateFormat;
    }
    return v;
}

// Streams the sheet's XML up to the first row past 41 and keeps the wanted
// cells. Rows and cells without a reference follow the one before them, as
// the format allows.
class SheetScanner
{
public:
    explicit SheetScanner(RawCell (&cells)[WorkbookCells::kSlots]) : m_cells(cells) {}

    // True at the end of the sheet data or past the last wanted row.
    bool scan(PartReader &part, Result *failure)
    {
        for (;;) {
            const auto t = part.next();
            if (t == QXmlStreamReader::Invalid) {
                *failure = Failure(Status::Damaged, part.error());
                return false;
            }
            if (t == QXmlStreamReader::EndDocument)
                return true;
            QXmlStreamReader &xml = part.xml();
            if (t == QXmlStreamReader::StartElement) {
                if (!start(xml, failure))
                    return failure->reason.isEmpty();
            } else if (t == QXmlStreamReader::EndElement && m_inData) {
                if (!end(xml.name()))
                    return true;
            } else if (t == QXmlStreamReader::Characters && m_cell && m_textTarget != 0) {
                QString &into = m_textTarget == 1 ? m_cell->value : m_cell->inlineText;
                if (into.size() > kMaxCellTextLength) {
                    *failure = Failure(Status::Damaged, QStringLiteral("cell text too long"));
                    return false;
                }
                into += xml.text();
            }
        }
    }

private:
    // False to stop: with failure->reason set on an error, without it past
    // the last wanted row.
    bool start(QXmlStreamReader &xml, Result *failure)
    {
        const QStringView name = xml.name();
        if (!m_inData) {
            m_inData = name == u"sheetData";
            return true;
        }
        if (name == u"row")
            return startRow(xml.attributes(), failure);
        if (name == u"c")
            return startCell(xml.attributes(), failure);
        if (!m_inCell)
            return true;
        if (name == u"v") {
            m_textTarget = 1;
            if (m_cell)
                m_cell->hasValue = true;
        } else if (name == u"f") {
            if (m_cell)
                m_cell->hasFormula = true;
        } else if (name == u"rPh") {
            ++m_phonetic;
        } else if (name == u"t" && m_phonetic == 0) {
            m_textTarget = 2;
        }
        return true;
    }

    bool startRow(const QXmlStreamAttributes &a, Result *failure)
    {
        const QStringView r = a.value(QLatin1String("r"));
        if (r.isEmpty()) {
            ++m_row;
        } else {
            bool ok = false;
            const int n = r.toInt(&ok);
            if (!ok || n < 1 || n > 1048576) {
                *failure = Failure(Status::Damaged, QStringLiteral("bad row number"));
                return false;
            }
            m_row = n;
        }
        m_nextColumn = 1;
        return m_row <= WorkbookCells::kLastAnswerRow; // every wanted cell lies above
    }

    bool startCell(const QXmlStreamAttributes &a, Result *failure)
    {
        if (++m_cellsSeen > kMaxCellsScanned) {
            *failure = Failure(Status::Damaged, QStringLiteral("sheet too large"));
            return false;
        }
        int cellRow = m_row;
        int column = m_nextColumn;
        const QStringView ref = a.value(QLatin1String("r"));
        if (!ref.isEmpty() && !ParseCellRef(ref, &cellRow, &column)) {
            *failure = Failure(Status::Damaged, QStringLiteral("bad cell reference"));
            return false;
        }
        m_nextColumn = column + 1;
        m_inCell = true;
        const int slot = WorkbookCells::SlotOf(cellRow, column);
        m_cell = slot < 0 ? nullptr : &m_cells[slot];
        if (m_cell) {
            *m_cell = RawCell();
            m_cell->present = true;
            m_cell->type = a.value(QLatin1String("t")).toString();
            const int style = a.value(QLatin1String("s")).toInt();
            m_cell->style = style >= 0 && style < kMaxStyles ? style : 0;
        }
        return true;
    }

    // False at the end of the sheet data.
    bool end(QStringView name)
    {
        if (name == u"sheetData")
            return false;
        if (name == u"c") {
            m_inCell = false;
            m_cell = nullptr;
            m_textTarget = 0;
            m_phonetic = 0;
        } else if (name == u"v" || name == u"t") {
            m_textTarget = 0;
        } else if (name == u"rPh" && m_phonetic > 0) {
            --m_phonetic;
        }
        return true;
    }

    RawCell (&m_cells)[WorkbookCells::kSlots];
    bool m_inData = false;
    int m_row = 0;
    int m_nextColumn = 1;
    int m_cellsSeen = 0;
    RawCell *m_cell = nullptr; // the wanted cell being read, if any
    bool m_inCell = false;
    int m_textTarget = 0; // 1: <v>, 2: <t> of an inline string
    int m_phonetic = 0;   // depth inside <rPh>, whose text is not part of the value
};

// The number formats of a workbook: which cell formats show a date.
struct Styles {
    QList<int> cellFormats;         // cellXfs: the number format of each cell format
    QHash<int, bool> customIsDate;  // numFmts: format number -> shows a date

    bool showsDate(int cellFormat) const
    {
        if (cellFormat < 0 || cellFormat >= cellFormats.size())
            return false;
        const int id = cellFormats[cellFormat];
        const auto custom = customIsDate.constFind(id);
        return custom != customIsDate.cend() ? *custom : WorkbookCells::IsBuiltInDateFormat(id);
    }
};

class Book
{
public:
    explicit Book(QIODevice *device) : m_device(device) {}

    Result read()
    {
        QString why;
        ZipReader *reader = PluginModule::Get<ZipReader>(ZipArchivePlugin::FileName(), &why);
        if (!reader)
            return Failure(Status::ReaderMissing, QStringLiteral("the zip reader did not load: %1").arg(why));
        m_zip = reader->open(m_device);
        if (!m_zip)
            return Failure(Status::Damaged, QStringLiteral("not a readable zip archive"));
        if (m_zip->memberCount() > 100000)
            return Failure(Status::Damaged, QStringLiteral("too many archive members"));

        Result failure;
        QList<Relationship> workbookRels;
        QString sheetPart;
        if (!findSheetPart(&workbookRels, &sheetPart, &failure))
            return failure;
        if (!readSheet(sheetPart, &failure))
            return failure;

        QHash<int, QString> sharedStrings;
        if (!readSharedStrings(workbookRels, &sharedStrings, &failure))
            return failure;
        Styles styles;
        if (std::any_of(std::begin(m_cells), std::end(m_cells), IsNumberCell)
            && !readStyles(workbookRels, &styles, &failure))
            return failure;

        Value cells[WorkbookCells::kSlots];
        for (int slot = 0; slot < WorkbookCells::kSlots; ++slot)
            cells[slot] = ValueOf(m_cells[slot], sharedStrings, styles.showsDate(m_cells[slot].style));
        return WorkbookCells::Finish(cells, m_date1904);
    }

private:
    // The package relations name the workbook part (most writers put it at
    // xl/workbook.xml, which is also taken when they name none); the
    // workbook names the marker sheet, its relations the sheet's part.
    bool findSheetPart(QList<Relationship> *workbookRels, QString *sheetPart, Result *failure)
    {
        QString error;
        const QList<Relationship> packageRels = ReadRelationships(m_zip.get(), QStringLiteral("_rels/.rels"), &error);
        if (!error.isEmpty()) {
            *failure = Failure(Status::Damaged, error);
            return false;
        }
        m_workbookPart = QStringLiteral("xl/workbook.xml");
        if (const Relationship *doc = FindByType(packageRels, u"/officeDocument"))
            m_workbookPart = ResolveTarget(QString(), doc->target);
        *workbookRels = ReadRelationships(m_zip.get(), RelationsPartOf(m_workbookPart), &error);
        if (!error.isEmpty()) {
            *failure = Failure(Status::Damaged, error);
            return false;
        }
        QString sheetRelId;
        if (!findMarkerSheet(&sheetRelId, failure))
            return false;
        for (const Relationship &r : *workbookRels)
            if (r.id == sheetRelId)
                *sheetPart = ResolveTarget(FolderOf(m_workbookPart), r.target);
        if (sheetPart->isEmpty()) {
            *failure = Failure(Status::Damaged, QStringLiteral("the marker sheet has no part"));
            return false;
        }
        return true;
    }

    // The sheet named as the marker, letter case and all, or else the first
    // whose name matches without regard to case. Also takes the date system
    // from the workbook properties before the sheet list.
    bool findMarkerSheet(QString *relId, Result *failure)
    {
        PartReader part(m_zip.get(), kSmallPartBudget);
        if (!part.open(m_workbookPart)) {
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
            if (t == QXmlStreamReader::EndDocument
                || (t == QXmlStreamReader::EndElement && part.xml().name() == u"sheets"))
                break;
            if (t != QXmlStreamReader::StartElement)
                continue;
            const QXmlStreamAttributes attrs = part.xml().attributes();
            if (part.xml().name() == u"workbookPr")
                m_date1904 = IsTrue(attrs.value(QLatin1String("date1904")));
            if (part.xml().name() != u"sheet")
                continue;
            if (++sheets > 10000) {
                *failure = Failure(Status::Damaged, QStringLiteral("too many sheets"));
                return false;
            }
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

    bool readSheet(const QString &sheetPart, Result *failure)
    {
        PartReader part(m_zip.get(), kLargePartBudget);
        if (!part.open(sheetPart)) {
            *failure = Failure(Status::Damaged, part.error().isEmpty()
                                                    ? QStringLiteral("sheet part %1 missing").arg(sheetPart)
                                                    : part.error());
            return false;
        }
        SheetScanner scanner(m_cells);
        return scanner.scan(part, failure);
    }

    QString partNamed(const QList<Relationship> &workbookRels, QStringView type, const QString &usual) const
    {
        if (const Relationship *r = FindByType(workbookRels, type))
            return ResolveTarget(FolderOf(m_workbookPart), r->target);
        return usual;
    }

    bool readSharedStrings(const QList<Relationship> &workbookRels, QHash<int, QString> *strings,
                           Result *failure)
    {
        std::set<int> needed;
        for (const RawCell &c : m_cells) {
            if (!IsSharedString(c))
                continue;
            bool ok = false;
            const int index = c.value.trimmed().toInt(&ok);
            if (!ok || index < 0 || index > kMaxSharedStringIndex) {
                *failure = Failure(Status::Damaged, QStringLiteral("bad shared string index"));
                return false;
            }
            needed.insert(index);
        }
        if (needed.empty())
            return true;
        PartReader part(m_zip.get(), kLargePartBudget);
        if (!part.open(partNamed(workbookRels, u"/sharedStrings", QStringLiteral("xl/sharedStrings.xml")))) {
            *failure = Failure(Status::Damaged, part.error().isEmpty() ? QStringLiteral("shared strings missing")
                                                                       : part.error());
            return false;
        }
        return scanSharedStrings(part, needed, strings, failure);
    }

    static bool scanSharedStrings(PartReader &part, const std::set<int> &needed, QHash<int, QString> *strings,
                                  Result *failure)
    {
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
                if (text.size() > kMaxCellTextLength) {
                    *failure = Failure(Status::Damaged, QStringLiteral("shared string too long"));
                    return false;
                }
                text += xml.text();
            }
        }
        *failure = Failure(Status::Damaged, QStringLiteral("shared string index out of range"));
        return false;
    }

    // The cell formats and custom number formats, for telling dates from
    // numbers. A workbook without a styles part shows every number as such.
    bool readStyles(const QList<Relationship> &workbookRels, Styles *styles, Result *failure)
    {
        PartReader part(m_zip.get(), kSmallPartBudget);
        if (!part.open(partNamed(workbookRels, u"/styles", QStringLiteral("xl/styles.xml")))) {
            if (part.error().isEmpty())
                return true;
            *failure = Failure(Status::Damaged, part.error());
            return false;
        }
        QXmlStreamReader &xml = part.xml();
        bool inCellFormats = false;
        bool inNumberFormats = false; // differential formats carry number formats of their own
        for (;;) {
            const auto t = part.next();
            if (t == QXmlStreamReader::Invalid) {
                *failure = Failure(Status::Damaged, part.error());
                return false;
            }
            if (t == QXmlStreamReader::EndDocument)
                return true;
            const QStringView name = xml.name();
            if (t == QXmlStreamReader::EndElement) {
                inCellFormats = inCellFormats && name != u"cellXfs";
                inNumberFormats = inNumberFormats && name != u"numFmts";
            }
            if (t != QXmlStreamReader::StartElement)
                continue;
            const QXmlStreamAttributes a = xml.attributes();
            if (name == u"cellXfs" || name == u"numFmts") {
                inCellFormats = name == u"cellXfs";
                inNumberFormats = name == u"numFmts";
            } else if (inNumberFormats && name == u"numFmt") {
                styles->customIsDate.insert(a.value(QLatin1String("numFmtId")).toInt(),
                                            WorkbookCells::IsDateFormatCode(a.value(QLatin1String("formatCode")).toString()));
            } else if (inCellFormats && name == u"xf" && styles->cellFormats.size() < kMaxStyles) {
                styles->cellFormats.append(a.value(QLatin1String("numFmtId")).toInt());
            }
        }
    }

    QIODevice *m_device;
    std::unique_ptr<ZipArchive> m_zip;
    QString m_workbookPart;
    bool m_date1904 = false;
    RawCell m_cells[WorkbookCells::kSlots];
};

} // namespace

Result Read(QIODevice *device)
{
    Book book(device);
    return book.read();
}

} // namespace XlsxCellReader
