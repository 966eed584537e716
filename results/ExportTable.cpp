#include "results/ExportTable.h"

#include "common/ProgramFolder.h"
#include "results/ExcelExport.h"
#include "store/DatabaseLocation.h"
#include "store/KvrDatabase.h"
#include "store/ServerDatabase.h"

#include <QFile>
#include <QLocale>

#include <sqlite3.h>

#include <cstring>

namespace ExportTable {

namespace {

constexpr int FixedColumns = 6; // code, name, age, gender, marital, education
constexpr int ScoreColumns = 2 * Mohasebeh::ScaleCount + 1;

// ASCII names of the query's columns for statistics files.
const char *const FixedNames[FixedColumns] = {"code", "name", "age", "gender", "marital", "education"};

QString RawLabel(int row)
{
    return QString::fromUtf8("نمره خام: ") + Mohasebeh::ScaleCaption(row);
}

QString StenLabel(int row)
{
    return QString::fromUtf8("نمره تراز شده: ") + Mohasebeh::ScaleCaption(row);
}

// Whole numbers as text, without a conversion through QString.
int PutInt(char *out, int v)
{
    char buf[16];
    int n = 0;
    const bool negative = v < 0;
    unsigned u = negative ? 0u - unsigned(v) : unsigned(v);
    do {
        buf[n++] = char('0' + u % 10);
        u /= 10;
    } while (u);
    int k = 0;
    if (negative)
        out[k++] = '-';
    while (n)
        out[k++] = buf[--n];
    return k;
}

} // namespace

bool IsPlainWholeNumber(const char *text, int size, double *value)
{
    if (!text || size < 1 || size > 15)
        return false;
    if (text[0] == '0' && size > 1)
        return false;
    long long v = 0;
    for (int i = 0; i < size; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    if (value)
        *value = double(v);
    return true;
}

QStringList ScoreHeadings()
{
    QStringList h;
    for (const char *prefix : {"raw_", "sten_"})
        for (int row = 0; row < Mohasebeh::ScaleCount; ++row)
            h << QLatin1String(prefix) + QLatin1String(Mohasebeh::ScaleName(row));
    h << QStringLiteral("norms");
    return h;
}

const char *NormsText(Mohasebeh::Norms norms)
{
    switch (norms) {
    case Mohasebeh::Norms::Male:
        return "male";
    case Mohasebeh::Norms::Female:
        return "female";
    case Mohasebeh::Norms::None:
        break;
    }
    return "none";
}

struct Reader::Db
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *rows = nullptr;
    bool inTransaction = false;
    std::unique_ptr<ServerDatabase::QueryCursor> server; // instead of the file
    QByteArray male;
    QByteArray female;
    std::array<std::array<QString, 3>, Mohasebeh::ItemCount> options;
    std::array<QString, Mohasebeh::ItemCount> questions;
};

Reader::Reader() = default;

Reader::~Reader()
{
    close();
}

void Reader::close()
{
    if (!m_db)
        return;
    sqlite3_finalize(m_db->rows);
    if (m_db->inTransaction)
        sqlite3_exec(m_db->db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(m_db->db);
    m_db->server.reset();
    m_db.reset();
}

bool Reader::fail(const QString &why)
{
    m_error = why;
    return false;
}

bool Reader::Open(const QString &databaseFile, bool scores, QString *error)
{
    close();
    m_error.clear();
    m_columns.clear();
    m_scores = scores;
    m_db = std::make_unique<Db>();
    m_db->male = Mohasebeh::MaleText().toUtf8();
    m_db->female = Mohasebeh::FemaleText().toUtf8();

    auto failed = [&](const QString &why) {
        m_error = why;
        if (error)
            *error = why;
        close();
        return false;
    };
    // The item and option texts, the first row of each item. A database
    // without QUS still exports; the statistics file then has no option
    // labels.
    std::array<bool, Mohasebeh::ItemCount> seen{};
    auto question = [&](qint64 item, auto text) {
        if (item < 1 || item > Mohasebeh::ItemCount || seen[std::size_t(item - 1)])
            return;
        seen[std::size_t(item - 1)] = true;
        m_db->questions[std::size_t(item - 1)] = text(1);
        for (int k = 0; k < 3; ++k)
            m_db->options[std::size_t(item - 1)][std::size_t(k)] = text(2 + k);
    };
    QStringList queryNames;

    if (databaseFile.isEmpty() && DatabaseLocation::OnServer()) {
        m_db->server = std::make_unique<ServerDatabase::QueryCursor>();
        QString why;
        if (!m_db->server->Open(ExcelExport::RecordSource(), &why))
            return failed(why);
        queryNames = m_db->server->ColumnNames();
        m_db->server->Read(QStringLiteral("SELECT \"Code\", \"QU\", \"A\", \"B\", \"C\" FROM \"QUS\" ORDER BY kvr_rowid"),
                           [&](const QList<QByteArrayView> &v) {
                               question(v[0].toByteArray().toLongLong(),
                                        [&](int c) { return QString::fromUtf8(v[c]); });
                           },
                           nullptr);
    } else {
        const QString file = databaseFile.isEmpty() ? ProgramFile(KvrDatabase::FileName()) : databaseFile;
        const int opened = sqlite3_open_v2(QFile::encodeName(file).constData(), &m_db->db,
                                           SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        if (opened != SQLITE_OK)
            return failed(QStringLiteral("The database file %1 cannot be opened: %2")
                              .arg(file, QString::fromUtf8(m_db->db ? sqlite3_errmsg(m_db->db) : sqlite3_errstr(opened))));
        sqlite3_busy_timeout(m_db->db, 2000);
        // One read transaction for every pass over the rows and for QUS.
        if (sqlite3_exec(m_db->db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
            return failed(QString::fromUtf8(sqlite3_errmsg(m_db->db)));
        m_db->inTransaction = true;

        const KvrDatabase::Source source = KvrDatabase::ParseRecordSource(ExcelExport::RecordSource());
        if (!source.ok)
            return failed(source.error);
        const QByteArray sql = source.Sql(false).toUtf8();
        if (sqlite3_prepare_v2(m_db->db, sql.constData(), int(sql.size()), &m_db->rows, nullptr) != SQLITE_OK)
            return failed(QString::fromUtf8(sqlite3_errmsg(m_db->db)));
        for (int c = 0; c < sqlite3_column_count(m_db->rows); ++c)
            queryNames << QString::fromUtf8(sqlite3_column_name(m_db->rows, c));

        sqlite3_stmt *qus = nullptr;
        if (sqlite3_prepare_v2(m_db->db, "SELECT Code, QU, A, B, C FROM QUS ORDER BY rowid", -1, &qus, nullptr)
            == SQLITE_OK) {
            while (sqlite3_step(qus) == SQLITE_ROW) {
                question(sqlite3_column_int64(qus, 0), [&](int c) {
                    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(qus, c)),
                                             sqlite3_column_bytes(qus, c));
                });
            }
        }
        sqlite3_finalize(qus);
    }

    // The headings replace the query's column names by position; columns past
    // them keep the query's names.
    const QStringList headings = ExcelExport::Headings();
    m_queryColumns = int(queryNames.size());
    for (int c = 0; c < m_queryColumns; ++c) {
        Column col;
        const QString &queryName = queryNames[c];
        col.heading = c < headings.size() ? headings[c] : queryName;
        col.label = col.heading;
        if (c < FixedColumns) {
            col.name = FixedNames[c];
            col.kind = c == 0 ? Kind::Code : c == 2 ? Kind::Age : Kind::Text;
        } else if (c < FixedColumns + Mohasebeh::ItemCount) {
            col.kind = Kind::Answer;
            col.index = c - FixedColumns + 1;
            col.name = "S" + QByteArray::number(col.index);
            const QString itemText = m_db->questions[std::size_t(col.index - 1)];
            if (!itemText.isEmpty())
                col.label = itemText;
        } else {
            col.name = "extra" + QByteArray::number(c + 1);
        }
        m_columns << col;
    }
    if (scores) {
        const QStringList names = ScoreHeadings();
        for (int i = 0; i < ScoreColumns; ++i) {
            Column col;
            col.heading = names[i];
            col.name = names[i].toLatin1();
            if (i < Mohasebeh::ScaleCount) {
                col.kind = Kind::Raw;
                col.index = i;
                col.label = RawLabel(i);
            } else if (i < 2 * Mohasebeh::ScaleCount) {
                col.kind = Kind::Sten;
                col.index = i - Mohasebeh::ScaleCount;
                col.label = StenLabel(col.index);
            } else {
                col.kind = Kind::Norms;
                col.label = QString::fromUtf8("جدول هنجار");
            }
            m_columns << col;
        }
    }
    m_cells.assign(std::size_t(m_columns.size()), Cell());
    m_scratch.assign(std::size_t(m_columns.size()), QByteArray());
    for (QByteArray &b : m_scratch)
        b.reserve(32);
    return true;
}

bool Reader::Next()
{
    if (m_db && m_db->server) {
        ServerDatabase::QueryCursor &rows = *m_db->server;
        if (!rows.Next())
            return rows.Error().isEmpty() ? false : fail(rows.Error());
        for (int c = 0; c < m_queryColumns; ++c) {
            Cell &cell = m_cells[std::size_t(c)];
            const QByteArrayView v = rows.Value(c);
            cell.text = rows.IsNull(c) ? nullptr : v.data();
            cell.size = cell.text ? int(v.size()) : 0;
            const Kind kind = m_columns[c].kind;
            cell.isNumber = (kind == Kind::Code || kind == Kind::Age || kind == Kind::Answer)
                            && IsPlainWholeNumber(cell.text, cell.size, &cell.number);
        }
        if (m_scores)
            score();
        return true;
    }
    if (!m_db || !m_db->rows)
        return false;
    const int step = sqlite3_step(m_db->rows);
    if (step == SQLITE_DONE)
        return false;
    if (step != SQLITE_ROW)
        return fail(QString::fromUtf8(sqlite3_errmsg(m_db->db)));

    sqlite3_stmt *s = m_db->rows;
    for (int c = 0; c < m_queryColumns; ++c) {
        Cell &cell = m_cells[std::size_t(c)];
        cell.isNumber = false;
        // The column's value read directly: one connection on one thread.
        sqlite3_value *v = sqlite3_column_value(s, c);
        switch (sqlite3_value_type(v)) {
        case SQLITE_NULL:
            cell.text = nullptr;
            cell.size = 0;
            break;
        case SQLITE_FLOAT: {
            // As the data controls show a real number: its shortest form.
            QByteArray &t = m_scratch[std::size_t(c)];
            t = QString::number(sqlite3_value_double(v), 'g', QLocale::FloatingPointShortest).toUtf8();
            cell.text = t.constData();
            cell.size = int(t.size());
            break;
        }
        default:
            cell.text = reinterpret_cast<const char *>(sqlite3_value_text(v));
            cell.size = sqlite3_value_bytes(v);
            break;
        }
        const Kind kind = m_columns[c].kind;
        if (kind == Kind::Code || kind == Kind::Age || kind == Kind::Answer)
            cell.isNumber = IsPlainWholeNumber(cell.text, cell.size, &cell.number);
    }
    if (m_scores)
        score();
    return true;
}

void Reader::score()
{
    // The results screen's key and norms (Mohasebeh), read from the stored
    // bytes: entry value and reversed value of every answer, the raw scores,
    // then the stens of the table the exact gender text selects.
    double entry[Mohasebeh::ItemCount];
    double reversed[Mohasebeh::ItemCount];
    for (int i = 0; i < Mohasebeh::ItemCount; ++i) {
        const int c = FixedColumns + i;
        const Cell *cell = c < m_queryColumns ? &m_cells[std::size_t(c)] : nullptr;
        const char *b = cell && cell->text ? cell->text : "";
        const char *e = b + (cell ? cell->size : 0);
        entry[i] = Mohasebeh::EntryValue(b, e);
        reversed[i] = Mohasebeh::ReversedValue(b, e);
    }
    const Mohasebeh::RawScores raw = Mohasebeh::RawScoresFrom(entry, reversed);

    m_norms = Mohasebeh::Norms::None;
    if (m_queryColumns > 3) {
        const Cell &g = m_cells[3];
        auto is = [&](const QByteArray &t) {
            return g.size == t.size() && (g.size == 0 || std::memcmp(g.text, t.constData(), std::size_t(g.size)) == 0);
        };
        if (is(m_db->male))
            m_norms = Mohasebeh::Norms::Male;
        else if (is(m_db->female))
            m_norms = Mohasebeh::Norms::Female;
    }
    Mohasebeh::Stens stens{};
    const bool normed = Mohasebeh::StensFor(m_norms, raw, stens);

    auto number = [&](int column, int value) {
        QByteArray &t = m_scratch[std::size_t(column)];
        t.resize(16);
        t.resize(PutInt(t.data(), value));
        Cell &cell = m_cells[std::size_t(column)];
        cell.text = t.constData();
        cell.size = int(t.size());
        cell.isNumber = true;
        cell.number = value;
    };
    const int first = m_queryColumns;
    for (int row = 0; row < Mohasebeh::ScaleCount; ++row) {
        number(first + row, raw[std::size_t(row)]);
        if (normed) {
            number(first + Mohasebeh::ScaleCount + row, stens[std::size_t(row)]);
        } else {
            Cell &cell = m_cells[std::size_t(first + Mohasebeh::ScaleCount + row)];
            cell = Cell();
        }
    }
    Cell &norms = m_cells[std::size_t(first + 2 * Mohasebeh::ScaleCount)];
    norms.text = NormsText(m_norms);
    norms.size = int(std::strlen(norms.text));
    norms.isNumber = false;
}

bool Reader::Rewind()
{
    if (m_db && m_db->server)
        return m_db->server->Rewind() || fail(m_db->server->Error());
    if (!m_db || !m_db->rows)
        return false;
    if (sqlite3_reset(m_db->rows) != SQLITE_OK)
        return fail(QString::fromUtf8(sqlite3_errmsg(m_db->db)));
    return true;
}

std::array<std::array<QString, 3>, Mohasebeh::ItemCount> Reader::OptionTexts()
{
    return m_db ? m_db->options : std::array<std::array<QString, 3>, Mohasebeh::ItemCount>{};
}

} // namespace ExportTable
