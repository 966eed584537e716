#include "store/DataControl.h"

#include "common/ProgramFolder.h"
#include "store/DatabaseError.h"
#include "store/KvrDatabase.h"
#include "store/LiveDatabase.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <set>
#include <unordered_set>

#include <sqlite3.h>

namespace {

std::set<DataControl *> &allControls()
{
    static std::set<DataControl *> controls;
    return controls;
}

// Between CloseAll() and ReopenAll() the file is being replaced: no control
// may open it, even when a screen refreshes meanwhile (the copy lets events
// through between its chunks).
bool &fileHeld()
{
    static bool held = false;
    return held;
}

// The one write transaction that may be open, and what to take back from
// the controls should it be rolled back.
struct Transaction {
    DataControl *owner = nullptr;
    QString connection;
    struct Undo {
        DataControl *control;
        qint64 rowidAfter;
        qint64 rowidBefore;
        QSet<int> dirty;
    };
    std::vector<Undo> undo;
};

Transaction &transaction()
{
    static Transaction t;
    return t;
}

sqlite3 *handleOf(const QString &connection)
{
    if (!QSqlDatabase::contains(connection))
        return nullptr;
    const QVariant handle = QSqlDatabase::database(connection, false).driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

quint64 nextConnectionNumber()
{
    static quint64 n = 0;
    return ++n;
}

// Parses column='value'; '' inside the value is one quote.
bool parseFilter(const QString &text, QString *column, QString *value)
{
    const int eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return false;
    *column = text.left(eq).trimmed();
    const QString rest = text.mid(eq + 1).trimmed();
    if (column->isEmpty() || rest.size() < 2 || !rest.startsWith(QLatin1Char('\''))
        || !rest.endsWith(QLatin1Char('\'')))
        return false;
    QString inner = rest.mid(1, rest.size() - 2);
    *value = inner.replace(QStringLiteral("''"), QStringLiteral("'"));
    return true;
}


// A prepared statement that is finalized when the scope ends.
class Statement
{
public:
    Statement(sqlite3 *h, const QString &sql)
    {
        if (!h || sqlite3_prepare16_v2(h, sql.utf16(), int(sql.size() * 2), &m_stmt, nullptr) != SQLITE_OK) {
            m_error = h ? QString::fromUtf8(sqlite3_errmsg(h)) : QStringLiteral("The database is not open.");
            m_code = h ? sqlite3_extended_errcode(h) : 0;
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    sqlite3_stmt *get() const { return m_stmt; }
    QString error() const { return m_error; }
    int code() const { return m_code; }

private:
    sqlite3_stmt *m_stmt = nullptr;
    QString m_error;
    int m_code = 0;
};

// The bytes of a value as the rows hold it (NULL as no bytes).
QByteArrayView columnBytes(sqlite3_stmt *stmt, int column)
{
    const unsigned char *text = sqlite3_column_text(stmt, column);
    return text ? QByteArrayView(reinterpret_cast<const char *>(text), sqlite3_column_bytes(stmt, column))
                : QByteArrayView();
}

// True when the table's INTEGER PRIMARY KEY is this column, so that ordering
// by it is ordering by row id.
bool isRowidAlias(sqlite3 *h, const QString &table, const QString &column)
{
    Statement info(h, QStringLiteral("PRAGMA table_info(%1)").arg(KvrDatabase::QuoteIdentifier(table)));
    if (!info.get())
        return false;
    int keys = 0;
    bool match = false;
    while (sqlite3_step(info.get()) == SQLITE_ROW) {
        if (sqlite3_column_int(info.get(), 5) == 0)
            continue;
        ++keys;
        const QString name = QString::fromUtf8(columnBytes(info.get(), 1));
        const QString type = QString::fromUtf8(columnBytes(info.get(), 2));
        match = name.compare(column, Qt::CaseInsensitive) == 0
            && type.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
    }
    return keys == 1 && match;
}

// The condition of a filter's query on a column: every stored value whose
// text can be the wanted text. A text or a blob of the same bytes; a number
// whose text it is (SQLite writes a real with 15 significant digits, so the
// number may lie a little off the value the text reads as); NULL, which
// reads as empty text.
QString candidateCondition(const QString &column, bool numeric, bool emptyValue)
{
    const QString c = KvrDatabase::QuoteIdentifier(column);
    QString where = QStringLiteral("%1=? OR %1=?").arg(c);
    if (numeric)
        where += QStringLiteral(" OR %1 BETWEEN ? AND ?").arg(c);
    if (emptyValue)
        where += QStringLiteral(" OR %1 IS NULL").arg(c);
    return where;
}

// The number a filter value reads as, when it reads as one.
std::optional<double> numberOf(const QByteArray &value)
{
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (ok && !std::isnan(v))
        return v;
    if (value == "Inf" || value == "+Inf")
        return std::numeric_limits<double>::infinity();
    if (value == "-Inf")
        return -std::numeric_limits<double>::infinity();
    return std::nullopt;
}

// Appends one value to a column.
void appendValue(std::string &text, std::vector<int> &ends, QByteArrayView v)
{
    text.append(v.data(), size_t(v.size()));
    ends.push_back(int(text.size()));
}

} // namespace

struct DataControl::Rows {
    explicit Rows(int columns)
        : cols(size_t(qMax(columns, 0)))
    {
    }
    std::vector<Column> cols;
    std::vector<qint64> rowids;
    std::vector<QSet<int>> dirty;
    std::vector<char> added;

    void appendStatementRow(sqlite3_stmt *stmt, int first)
    {
        rowids.push_back(sqlite3_column_int64(stmt, 0));
        for (size_t c = 0; c < cols.size(); ++c)
            appendValue(cols[c].text, cols[c].ends, columnBytes(stmt, int(c) + first));
        dirty.emplace_back();
        added.push_back(0);
    }
    void appendCells(qint64 rowid, const Cells &cells)
    {
        rowids.push_back(rowid);
        for (size_t c = 0; c < cols.size(); ++c) {
            if (c < cells.size())
                cols[c].text.append(cells[c].constData(), size_t(cells[c].size()));
            cols[c].ends.push_back(int(cols[c].text.size()));
        }
        dirty.emplace_back();
        added.push_back(0);
    }
};

DataControl::DataControl(QObject *parent)
    : QObject(parent)
    , m_connectionName(QStringLiteral("kvr_dc_%1").arg(nextConnectionNumber()))
{
    allControls().insert(this);
}

DataControl::~DataControl()
{
    allControls().erase(this);
    Close();
}

QString DataControl::DatabasePath()
{
    return ProgramFile(KvrDatabase::FileName());
}

bool DataControl::fail(const QString &message, int code)
{
    m_error = message;
    m_errorCode = code;
    return false;
}

bool DataControl::failSql(const QString &message)
{
    sqlite3 *h = handleOf(connectionName());
    return fail(message, h ? sqlite3_extended_errcode(h) : 0);
}

QString DataControl::PersianError() const
{
    return DatabaseError::Text(m_errorCode, m_error);
}

QString DataControl::connectionName() const
{
    return transaction().owner ? transaction().connection : m_connectionName;
}

bool DataControl::ensureConnection()
{
    if (m_open && QSqlDatabase::contains(m_connectionName))
        return true;
    const QString path = DatabasePath();
    if (fileHeld()) {
        m_suspended = true; // opened by ReopenAll once the file is back
        return fail(tr("The database file %1 is being replaced.").arg(path), DatabaseError::BeingReplaced);
    }
    if (!QFileInfo(path).isFile())
        return fail(tr("The database file %1 does not exist.").arg(path), DatabaseError::FileMissing);
    QString why;
    if (!LiveDatabase::HoldShared(path, &why))
        return fail(why, DatabaseError::RestoreElsewhere);
    KvrDatabase::PrepareOnce(path);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        // mode=rw: SQLite refuses a missing file instead of making an empty one.
        db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)
                           + QStringLiteral("?mode=rw"));
        db.setConnectOptions(
            QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(KvrDatabase::BusyTimeoutMs));
        if (!db.open()) {
            const QString openError = db.lastError().text();
            const int code = db.lastError().nativeErrorCode().toInt();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connectionName);
            return fail(tr("The database file %1 cannot be opened: %2").arg(path, openError), code);
        }
    }
    m_open = true;
    return true;
}

void DataControl::Close()
{
    if (transaction().owner == this)
        RollbackTransaction();
    if (QSqlDatabase::contains(m_connectionName)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connectionName);
    }
    m_open = false;
}

bool DataControl::Open(const QString &recordSource, const QString &connection)
{
    m_recordSource = recordSource;
    if (!connection.isNull())
        m_connection = connection;
    return Refresh();
}

bool DataControl::Refresh()
{
    m_error.clear();
    m_errorCode = 0;
    m_suspended = false;
    const bool ok = ensureConnection() && readRows();
    if (!ok) {
        // A failed read leaves no rows, as an empty result would.
        clearRows();
        m_columns.clear();
        m_columnIndex.clear();
    }
    m_filtered = false;
    m_view.clear();
    m_filterText.clear();
    invalidateIndex();
    m_current = rowTotal() == 0 ? -1 : 0;
    emit reset();
    emit currentChanged();
    return ok;
}

void DataControl::clearRows()
{
    m_data.clear();
    m_rowids.clear();
    m_dirty.clear();
    m_added.clear();
    m_complete = true;
    m_firstKnown = false;
    m_before.clear();
}

bool DataControl::readRows()
{
    const KvrDatabase::Source source = KvrDatabase::ParseRecordSource(m_recordSource);
    if (!source.ok)
        return fail(source.error);
    sqlite3 *h = handleOf(connectionName());
    if (!h)
        return fail(tr("The database driver gives no SQLite handle."));

    // Views (QueryMe) have no row id and are read-only.
    bool isTable = false;
    {
        Statement q(h, QStringLiteral("SELECT type FROM sqlite_master WHERE lower(name) = lower(?)"));
        if (!q.get())
            return fail(q.error(), q.code());
        const QByteArray name = source.table.toUtf8();
        sqlite3_bind_text(q.get(), 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(q.get()) != SQLITE_ROW)
            return fail(tr("No table or view named %1.").arg(source.table));
        isTable = columnBytes(q.get(), 0) == QByteArrayView("table");
    }

    // A table read in row-id order is read on demand; everything else whole.
    const bool onDemand = isTable
        && ((source.columns.isEmpty() && source.orderColumn.isEmpty())
            || (!source.orderColumn.isEmpty() && isRowidAlias(h, source.table, source.orderColumn)));
    QString sql = source.Sql(isTable);
    if (onDemand && source.orderColumn.isEmpty())
        sql += QStringLiteral(" ORDER BY rowid"); // the order a plain read of the table gives
    KvrDatabase::Source unordered = source;
    unordered.orderColumn.clear();

    // The rows are read straight from SQLite's statement: with a hundred
    // thousand examinees a value-by-value read through QVariant costs
    // several times more.
    Statement stmt(h, sql);
    if (!stmt.get())
        return fail(stmt.error(), stmt.code());
    const int first = isTable ? 1 : 0;
    const int n = sqlite3_column_count(stmt.get()) - first;
    QStringList columns;
    QHash<QString, int> columnIndex;
    for (int c = 0; c < n; ++c) {
        const QString name = QString::fromUtf8(sqlite3_column_name(stmt.get(), c + first));
        columns.append(name);
        columnIndex.insert(name.toLower(), c);
    }
    Rows rows(n);
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        if (isTable) {
            rows.appendStatementRow(stmt.get(), first);
        } else {
            rows.rowids.push_back(0);
            for (int c = 0; c < n; ++c)
                appendValue(rows.cols[size_t(c)].text, rows.cols[size_t(c)].ends, columnBytes(stmt.get(), c));
        }
        if (onDemand)
            break; // the first row; the others when they are needed
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return fail(QString::fromUtf8(sqlite3_errmsg(h)), sqlite3_extended_errcode(h));
    for (Column &col : rows.cols)
        col.text.shrink_to_fit();
    m_columns = columns;
    m_columnIndex = columnIndex;
    m_table = source.table;
    m_readOnly = !isTable;
    m_data = std::move(rows.cols);
    m_dirty.assign(rows.rowids.size(), QSet<int>());
    m_added.assign(rows.rowids.size(), 0);
    m_rowids = std::move(rows.rowids);
    m_onDemand = onDemand;
    m_descending = onDemand && source.descending;
    m_complete = !onDemand || rc == SQLITE_DONE;
    m_firstKnown = !m_complete;
    m_before.clear();
    m_indexed.clear();
    m_sqlAll = sql;
    m_sqlBase = unordered.Sql(true);
    return true;
}

QByteArrayView DataControl::cellView(int storageRow, int column) const
{
    if (column < 0 || column >= int(m_data.size()) || storageRow < 0 || storageRow >= rowTotal())
        return QByteArrayView();
    const Column &col = m_data[size_t(column)];
    const int begin = storageRow == 0 ? 0 : col.ends[size_t(storageRow) - 1];
    return QByteArrayView(col.text.data() + begin, col.ends[size_t(storageRow)] - begin);
}

void DataControl::setCell(int storageRow, int column, const QString &value)
{
    Column &col = m_data[size_t(column)];
    const int begin = storageRow == 0 ? 0 : col.ends[size_t(storageRow) - 1];
    const int end = col.ends[size_t(storageRow)];
    const QByteArray bytes = value.toUtf8();
    col.text.replace(size_t(begin), size_t(end - begin), bytes.constData(), size_t(bytes.size()));
    const int delta = int(bytes.size()) - (end - begin);
    if (delta != 0)
        for (size_t r = size_t(storageRow); r < col.ends.size(); ++r)
            col.ends[r] += delta;
    invalidateIndex();
}

void DataControl::appendRow()
{
    for (Column &col : m_data)
        col.ends.push_back(int(col.text.size()));
    m_rowids.push_back(0);
    m_dirty.emplace_back();
    m_added.push_back(1);
    invalidateIndex();
}

void DataControl::eraseRow(int storageRow)
{
    for (Column &col : m_data) {
        const int begin = storageRow == 0 ? 0 : col.ends[size_t(storageRow) - 1];
        const int length = col.ends[size_t(storageRow)] - begin;
        col.text.erase(size_t(begin), size_t(length));
        col.ends.erase(col.ends.begin() + storageRow);
        for (size_t r = size_t(storageRow); r < col.ends.size(); ++r)
            col.ends[r] -= length;
    }
    m_rowids.erase(m_rowids.begin() + storageRow);
    m_dirty.erase(m_dirty.begin() + storageRow);
    m_added.erase(m_added.begin() + storageRow);
    invalidateIndex();
}

int DataControl::storageIndex(int row) const
{
    if (!hasRow(row))
        return -1;
    return m_filtered ? m_view[size_t(row)] : row;
}

bool DataControl::hasRow(int row) const
{
    if (row < 0)
        return false;
    if (m_filtered)
        return row < int(m_view.size());
    if (!m_complete && !(row == 0 && m_firstKnown))
        readAll();
    return row < rowTotal();
}

bool DataControl::Filter(const QString &filterText)
{
    m_error.clear();
    m_errorCode = 0;
    if (filterText.trimmed().isEmpty()) {
        m_filtered = false;
        m_view.clear();
        m_filterText.clear();
        m_current = hasRow(0) ? 0 : -1;
        emit reset();
        emit currentChanged();
        return true;
    }
    QString column, value;
    if (!parseFilter(filterText, &column, &value))
        return fail(tr("The filter %1 is not of the form column='value'.").arg(filterText));
    const int c = ColumnIndex(column);
    if (c < 0)
        return fail(tr("The filter names an unknown column %1.").arg(column));

    const QByteArray wantedBytes = value.toUtf8();
    // Rows not yet read are asked for by the value where an index finds
    // them; without one, or should that query fail, the whole result is read
    // once and filtered here.
    if (!m_complete && !(indexServes(c) && readMatching(c, wantedBytes))) {
        m_error.clear();
        if (!completeRows())
            return false;
    }

    std::vector<int> view;
    const Column &col = m_data[size_t(c)];
    const QByteArrayView text(col.text.data(), qsizetype(col.text.size()));
    const QByteArrayView wanted(wantedBytes);
    const qsizetype length = wanted.size();
    int begin = 0;
    for (size_t i = 0; i < col.ends.size(); ++i) {
        const int end = col.ends[i];
        if (end - begin == length && QByteArrayView(text.data() + begin, length) == wanted)
            view.push_back(int(i));
        begin = end;
    }
    m_view = std::move(view);
    m_filtered = true;
    m_filterText = filterText;
    m_current = m_view.empty() ? -1 : 0;
    emit reset();
    emit currentChanged();
    return true;
}

int DataControl::RecordCount() const
{
    if (!m_filtered && !m_complete)
        readAll();
    return m_filtered ? int(m_view.size()) : rowTotal();
}

bool DataControl::SetCurrentRow(int row)
{
    if (row < -1 || (row >= 0 && !hasRow(row)))
        return fail(tr("There is no row %1.").arg(row));
    if (row != m_current) {
        m_current = row;
        emit currentChanged();
    }
    return true;
}

bool DataControl::MoveFirst()
{
    return hasRow(0) ? SetCurrentRow(0) : fail(tr("There are no rows."));
}

bool DataControl::MoveLast()
{
    return RecordCount() > 0 ? SetCurrentRow(RecordCount() - 1) : fail(tr("There are no rows."));
}

bool DataControl::MoveNext()
{
    return hasRow(m_current + 1) ? SetCurrentRow(m_current + 1) : fail(tr("There is no next row."));
}

bool DataControl::MovePrevious()
{
    return m_current > 0 ? SetCurrentRow(m_current - 1) : fail(tr("There is no previous row."));
}

int DataControl::ColumnIndex(const QString &name) const
{
    return m_columnIndex.value(name.toLower(), -1);
}

QString DataControl::Value(const QString &column) const
{
    return ValueAt(m_current, ColumnIndex(column));
}

QString DataControl::Value(int column) const
{
    return ValueAt(m_current, column);
}

QString DataControl::ValueAt(int row, int column) const
{
    const int i = storageIndex(row);
    if (i < 0)
        return QString();
    return QString::fromUtf8(cellView(i, column));
}

bool DataControl::SetValue(const QString &column, const QString &value)
{
    const int c = ColumnIndex(column);
    if (c < 0)
        return fail(tr("There is no column %1.").arg(column));
    return SetValue(c, value);
}

bool DataControl::SetValue(int column, const QString &value)
{
    m_error.clear();
    m_errorCode = 0;
    const int i = storageIndex(m_current);
    if (i < 0)
        return fail(tr("There is no current row."));
    if (column < 0 || column >= ColumnCount())
        return fail(tr("There is no column %1.").arg(column));
    if (m_readOnly)
        return fail(tr("%1 cannot be changed.").arg(m_table));
    if (cellView(i, column) == QByteArrayView(value.toUtf8()))
        return true;
    setCell(i, column, value);
    m_dirty[size_t(i)].insert(column);
    emit valueChanged(m_current, column);
    return true;
}

bool DataControl::AddNew()
{
    m_error.clear();
    m_errorCode = 0;
    if (m_columns.isEmpty())
        return fail(tr("The data control is not open."));
    if (m_readOnly)
        return fail(tr("%1 cannot be changed.").arg(m_table));
    appendRow();
    if (m_filtered)
        m_view.push_back(rowTotal() - 1);
    m_current = RecordCount() - 1;
    emit reset();
    emit currentChanged();
    return true;
}

bool DataControl::IsNewRow() const
{
    const int i = storageIndex(m_current);
    return i >= 0 && m_rowids[size_t(i)] == 0 && !m_readOnly;
}

bool DataControl::Update()
{
    m_error.clear();
    m_errorCode = 0;
    const int i = storageIndex(m_current);
    if (i < 0)
        return fail(tr("There is no current row."));
    if (m_readOnly)
        return fail(tr("%1 cannot be changed.").arg(m_table));
    if (!ensureConnection())
        return false;
    const QSet<int> &dirty = m_dirty[size_t(i)];
    if (m_rowids[size_t(i)] != 0 && dirty.isEmpty())
        return true;

    QList<int> cols(dirty.begin(), dirty.end());
    std::sort(cols.begin(), cols.end());
    // Should an open transaction be rolled back, this write is taken back.
    const QSet<int> dirtyBefore = dirty;
    const qint64 rowidBefore = m_rowids[size_t(i)];
    QSqlQuery q(QSqlDatabase::database(connectionName(), false));
    const QString table = KvrDatabase::QuoteIdentifier(m_table);
    if (m_rowids[size_t(i)] == 0) {
        if (cols.isEmpty()) {
            q.prepare(QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table));
        } else {
            QStringList names, marks;
            for (int c : cols) {
                names << KvrDatabase::QuoteIdentifier(m_columns[c]);
                marks << QStringLiteral("?");
            }
            q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                          .arg(table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
            for (int c : cols)
                q.addBindValue(QString::fromUtf8(cellView(i, c)));
        }
        if (!q.exec())
            return failSql(q.lastError().text());
        m_rowids[size_t(i)] = q.lastInsertId().toLongLong();
        m_dirty[size_t(i)].clear();
        if (transaction().owner)
            transaction().undo.push_back({this, m_rowids[size_t(i)], rowidBefore, dirtyBefore});
        // The new row stays after the statement's rows here, and out of the
        // rows other controls have yet to read.
        if (!m_complete)
            m_before[m_rowids[size_t(i)]] = std::nullopt;
        tellOthers(m_rowids[size_t(i)], true);
        // Pick up what the database filled in (the auto-numbered id).
        rereadRow(i);
        for (int c = 0; c < ColumnCount(); ++c)
            emit valueChanged(m_current, c);
        return true;
    }

    QStringList sets;
    for (int c : cols)
        sets << KvrDatabase::QuoteIdentifier(m_columns[c]) + QStringLiteral("=?");
    q.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?").arg(table, sets.join(QLatin1Char(','))));
    for (int c : cols)
        q.addBindValue(QString::fromUtf8(cellView(i, c)));
    q.addBindValue(m_rowids[size_t(i)]);
    tellOthers(m_rowids[size_t(i)], false);
    if (!q.exec())
        return failSql(q.lastError().text());
    if (q.numRowsAffected() == 0)
        return fail(tr("The row is no longer in %1.").arg(m_table), DatabaseError::RowGone);
    m_dirty[size_t(i)].clear();
    if (transaction().owner)
        transaction().undo.push_back({this, rowidBefore, rowidBefore, dirtyBefore});
    return true;
}

bool DataControl::rereadRow(int storageRow)
{
    QStringList names;
    for (const QString &c : m_columns)
        names << KvrDatabase::QuoteIdentifier(c);
    QSqlQuery q(QSqlDatabase::database(connectionName(), false));
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE rowid=?")
                  .arg(names.join(QLatin1Char(',')), KvrDatabase::QuoteIdentifier(m_table)));
    q.addBindValue(m_rowids[size_t(storageRow)]);
    if (!q.exec() || !q.next())
        return false;
    for (int c = 0; c < ColumnCount(); ++c)
        setCell(storageRow, c, q.value(c).toString());
    return true;
}

bool DataControl::Delete()
{
    m_error.clear();
    m_errorCode = 0;
    const int i = storageIndex(m_current);
    if (i < 0)
        return fail(tr("There is no current row."));
    if (m_readOnly)
        return fail(tr("%1 cannot be changed.").arg(m_table));
    if (m_rowids[size_t(i)] != 0) {
        if (!ensureConnection())
            return false;
        QSqlQuery q(QSqlDatabase::database(connectionName(), false));
        q.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid=?").arg(KvrDatabase::QuoteIdentifier(m_table)));
        q.addBindValue(m_rowids[size_t(i)]);
        tellOthers(m_rowids[size_t(i)], false);
        if (!q.exec())
            return failSql(q.lastError().text());
        if (!m_complete)
            m_before[m_rowids[size_t(i)]] = std::nullopt;
    }
    // Rows not yet read may lie between the ones in hand.
    if (i == 0)
        m_firstKnown = false;
    eraseRow(i);
    if (m_filtered) {
        m_view.erase(m_view.begin() + m_current);
        for (int &v : m_view)
            if (v > i)
                --v;
    }
    // The row after the deleted one becomes current (the one before at the end).
    if (m_current >= RecordCount())
        m_current = RecordCount() - 1;
    emit reset();
    emit currentChanged();
    return true;
}

bool DataControl::readAll() const
{
    // Reading the rest of the rows changes nothing the caller can see: the
    // rows are the ones the control stands for since its refresh.
    return const_cast<DataControl *>(this)->completeRows();
}

bool DataControl::completeRows()
{
    if (m_complete)
        return true;
    bool ok = ensureConnection();
    if (ok) {
        Statement stmt(handleOf(connectionName()), m_sqlAll);
        ok = stmt.get() ? mergeRows(stmt.get(), true, -1, nullptr) : fail(stmt.error(), stmt.code());
    }
    if (!ok) {
        // As a refresh that fails: no rows.
        const QString why = m_error;
        clearRows();
        m_view.clear();
        m_current = -1;
        invalidateIndex();
        m_error = why;
    }
    m_complete = true;
    m_firstKnown = false;
    m_before.clear();
    return ok;
}

bool DataControl::indexServes(int column)
{
    const auto known = m_indexed.constFind(column);
    if (known != m_indexed.constEnd())
        return *known;
    // Asks SQLite how it would run the filter's query: through an index, or
    // by reading the table from end to end.
    bool served = false;
    if (ensureConnection()) {
        Statement plan(handleOf(connectionName()),
                       QStringLiteral("EXPLAIN QUERY PLAN ") + m_sqlBase + QStringLiteral(" WHERE ")
                           + candidateCondition(m_columns[column], true, true));
        if (plan.get()) {
            served = true;
            while (sqlite3_step(plan.get()) == SQLITE_ROW)
                if (columnBytes(plan.get(), 3).startsWith("SCAN"))
                    served = false;
        }
    }
    m_indexed.insert(column, served);
    return served;
}

bool DataControl::readMatching(int column, const QByteArray &value)
{
    if (!ensureConnection())
        return false;
    const std::optional<double> number = numberOf(value);
    Statement stmt(handleOf(connectionName()),
                   m_sqlBase + QStringLiteral(" WHERE ")
                       + candidateCondition(m_columns[column], number.has_value(), value.isEmpty()));
    if (!stmt.get())
        return fail(stmt.error(), stmt.code());
    // An empty value is bound as empty text and an empty blob, never as NULL.
    const char *bytes = value.isEmpty() ? "" : value.constData();
    sqlite3_bind_text(stmt.get(), 1, bytes, int(value.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(stmt.get(), 2, bytes, int(value.size()), SQLITE_TRANSIENT);
    if (number) {
        const double slack = std::isinf(*number) ? 0.0 : std::abs(*number) * 1e-14 + 1e-300;
        sqlite3_bind_double(stmt.get(), 3, *number - slack);
        sqlite3_bind_double(stmt.get(), 4, *number + slack);
    }
    return mergeRows(stmt.get(), false, column, &value);
}

bool DataControl::mergeRows(sqlite3_stmt *stmt, bool ordered, int column, const QByteArray *value)
{
    const int n = ColumnCount();
    auto matches = [&](QByteArrayView v) { return !value || v == QByteArrayView(*value); };

    // What comes from elsewhere than the statement, in statement order: the
    // rows in hand (edits and all) and the rows kept as they were.
    struct Extra {
        qint64 rowid;
        int held;           // storage index, or -1
        const Cells *cells; // a row kept as it was
    };
    std::vector<Extra> extras;
    std::unordered_set<qint64> held;
    for (int i = 0; i < rowTotal(); ++i) {
        if (m_rowids[size_t(i)] != 0)
            held.insert(m_rowids[size_t(i)]);
        if (!m_added[size_t(i)])
            extras.push_back({m_rowids[size_t(i)], i, nullptr});
    }
    for (const auto &kept : m_before) {
        if (!kept.second || held.count(kept.first))
            continue;
        const Cells &cells = *kept.second;
        if (column < 0 || matches(size_t(column) < cells.size() ? QByteArrayView(cells[size_t(column)]) : QByteArrayView()))
            extras.push_back({kept.first, -1, &cells});
    }
    std::sort(extras.begin(), extras.end(), [this](const Extra &a, const Extra &b) { return before(a.rowid, b.rowid); });

    Rows out(n);
    std::vector<int> moved(size_t(rowTotal()), -1);
    auto appendHeld = [&](int i) {
        moved[size_t(i)] = int(out.rowids.size());
        out.rowids.push_back(m_rowids[size_t(i)]);
        for (int c = 0; c < n; ++c)
            appendValue(out.cols[size_t(c)].text, out.cols[size_t(c)].ends, cellView(i, c));
        out.dirty.push_back(m_dirty[size_t(i)]);
        out.added.push_back(m_added[size_t(i)]);
    };
    size_t next = 0;
    auto flushBefore = [&](const qint64 *rowid) {
        while (next < extras.size() && (!rowid || before(extras[next].rowid, *rowid))) {
            const Extra &e = extras[next++];
            if (e.held >= 0)
                appendHeld(e.held);
            else
                out.appendCells(e.rowid, *e.cells);
        }
    };
    // A row of the statement is taken unless this control holds it or it
    // changed since the refresh.
    auto wanted = [&](sqlite3_stmt *s) {
        const qint64 rowid = sqlite3_column_int64(s, 0);
        if (held.count(rowid) || m_before.count(rowid))
            return false;
        return column < 0 || matches(columnBytes(s, column + 1));
    };

    int rc;
    if (ordered) {
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            if (!wanted(stmt))
                continue;
            const qint64 rowid = sqlite3_column_int64(stmt, 0);
            flushBefore(&rowid);
            out.appendStatementRow(stmt, 1);
        }
    } else {
        Rows found(n);
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            if (wanted(stmt))
                found.appendStatementRow(stmt, 1);
        std::vector<int> order(found.rowids.size());
        for (size_t k = 0; k < order.size(); ++k)
            order[k] = int(k);
        std::sort(order.begin(), order.end(),
                  [&](int a, int b) { return before(found.rowids[size_t(a)], found.rowids[size_t(b)]); });
        qint64 last = 0;
        for (int k : order) {
            const qint64 rowid = found.rowids[size_t(k)];
            if (rowid == last)
                continue; // a row found by two parts of the condition
            last = rowid;
            flushBefore(&rowid);
            out.rowids.push_back(rowid);
            for (int c = 0; c < n; ++c) {
                const Column &col = found.cols[size_t(c)];
                const int begin = k == 0 ? 0 : col.ends[size_t(k) - 1];
                appendValue(out.cols[size_t(c)].text, out.cols[size_t(c)].ends,
                            QByteArrayView(col.text.data() + begin, col.ends[size_t(k)] - begin));
            }
            out.dirty.emplace_back();
            out.added.push_back(0);
        }
    }
    if (rc != SQLITE_DONE)
        return fail(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(stmt))));
    flushBefore(nullptr);
    // The rows added here, in the order they were added.
    for (int i = 0; i < rowTotal(); ++i)
        if (m_added[size_t(i)])
            appendHeld(i);

    if (ordered)
        for (Column &col : out.cols)
            col.text.shrink_to_fit();
    m_data = std::move(out.cols);
    m_rowids = std::move(out.rowids);
    m_dirty = std::move(out.dirty);
    m_added = std::move(out.added);
    for (int &v : m_view)
        v = moved[size_t(v)];
    invalidateIndex();
    return true;
}

int DataControl::heldRow(qint64 rowid) const
{
    const auto it = std::find(m_rowids.begin(), m_rowids.end(), rowid);
    return it == m_rowids.end() ? -1 : int(it - m_rowids.begin());
}

void DataControl::keepAsItWas(qint64 rowid, bool inserted)
{
    if (m_complete || rowid == 0 || m_before.count(rowid) || heldRow(rowid) >= 0)
        return;
    if (inserted) {
        m_before.emplace(rowid, std::nullopt);
        return;
    }
    // Should this fail, the row is read later as the file then holds it.
    if (!ensureConnection())
        return;
    Statement stmt(handleOf(connectionName()), m_sqlBase + QStringLiteral(" WHERE rowid=?"));
    if (!stmt.get())
        return;
    sqlite3_bind_int64(stmt.get(), 1, rowid);
    const int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_ROW) {
        Cells cells;
        cells.reserve(size_t(ColumnCount()));
        for (int c = 0; c < ColumnCount(); ++c)
            cells.push_back(columnBytes(stmt.get(), c + 1).toByteArray());
        m_before.emplace(rowid, std::move(cells));
    } else if (rc == SQLITE_DONE) {
        m_before.emplace(rowid, std::nullopt);
    }
}

void DataControl::tellOthers(qint64 rowid, bool inserted)
{
    for (DataControl *dc : allControls())
        if (dc != this && dc->m_onDemand && !dc->m_complete && !dc->m_suspended
            && dc->m_table.compare(m_table, Qt::CaseInsensitive) == 0)
            dc->keepAsItWas(rowid, inserted);
}

QString DataControl::FilterStatement(const QString &recordSource, const QString &column, bool emptyValue)
{
    KvrDatabase::Source source = KvrDatabase::ParseRecordSource(recordSource);
    if (!source.ok)
        return QString();
    source.orderColumn.clear();
    return source.Sql(true) + QStringLiteral(" WHERE ") + candidateCondition(column, true, emptyValue);
}

void DataControl::invalidateIndex()
{
    m_indexColumn = -1;
    m_valueIndex.clear();
}

bool DataControl::ContainsValue(const QString &column, const QString &value)
{
    const int c = ColumnIndex(column);
    if (c < 0)
        return false;
    readAll();
    if (m_indexColumn != c) {
        m_valueIndex.clear();
        m_valueIndex.reserve(rowTotal());
        for (int r = 0; r < rowTotal(); ++r)
            m_valueIndex.insert(cellView(r, c));
        m_indexColumn = c;
    }
    const QByteArray bytes = value.toUtf8();
    return m_valueIndex.contains(QByteArrayView(bytes));
}

qint64 DataControl::FirstFreeNumber(const QString &column, qint64 from) const
{
    const int c = ColumnIndex(column);
    if (c < 0)
        return from;
    readAll();
    // Only a value in plain decimal form (digits, no leading zero, no sign or
    // blank) can equal the text of a candidate.
    std::vector<qint64> taken;
    taken.reserve(size_t(rowTotal()));
    for (int r = 0; r < rowTotal(); ++r) {
        const QByteArrayView v = cellView(r, c);
        if (v.isEmpty() || v.size() > 18 || (v.size() > 1 && v[0] == '0'))
            continue;
        qint64 n = 0;
        bool digits = true;
        for (char ch : v) {
            if (ch < '0' || ch > '9') {
                digits = false;
                break;
            }
            n = n * 10 + (ch - '0');
        }
        if (digits && n >= from)
            taken.push_back(n);
    }
    std::sort(taken.begin(), taken.end());
    qint64 candidate = from;
    for (auto it = std::lower_bound(taken.begin(), taken.end(), candidate); it != taken.end() && *it <= candidate; ++it)
        if (*it == candidate)
            ++candidate;
    return candidate;
}

void DataControl::CloseAll()
{
    if (transaction().owner)
        transaction().owner->RollbackTransaction();
    // The rows stay visible while the file is away, those not yet read
    // included.
    for (DataControl *dc : allControls())
        if (dc->m_open && !dc->m_complete)
            dc->completeRows();
    fileHeld() = true;
    // The file that comes back is prepared anew when it is opened.
    KvrDatabase::ForgetPrepared();
    for (DataControl *dc : allControls()) {
        if (dc->m_open) {
            dc->Close();
            dc->m_suspended = true;
        }
    }
}

bool DataControl::ReopenAll()
{
    fileHeld() = false;
    bool ok = true;
    const std::set<DataControl *> controls = allControls();
    for (DataControl *dc : controls) {
        if (allControls().count(dc) && dc->m_suspended)
            ok = dc->Refresh() && ok;
    }
    return ok;
}

bool DataControl::BeginTransaction()
{
    m_error.clear();
    m_errorCode = 0;
    if (transaction().owner)
        return fail(tr("A transaction is open already."));
    if (!ensureConnection())
        return false;
    sqlite3 *h = handleOf(m_connectionName);
    if (!h)
        return fail(tr("The database driver gives no SQLite handle."));
    // IMMEDIATE: the write lock is taken now (waiting while another program
    // writes), so what is read inside the transaction stays true until it
    // commits.
    if (sqlite3_exec(h, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(QString::fromUtf8(sqlite3_errmsg(h)), sqlite3_extended_errcode(h));
    transaction().owner = this;
    transaction().connection = m_connectionName;
    transaction().undo.clear();
    return true;
}

bool DataControl::CommitTransaction()
{
    if (transaction().owner != this)
        return fail(tr("This control has no open transaction."));
    sqlite3 *h = handleOf(m_connectionName);
    if (h && sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
        transaction() = Transaction();
        return true;
    }
    const QString why = h ? QString::fromUtf8(sqlite3_errmsg(h)) : tr("The database is not open.");
    const int code = h ? sqlite3_extended_errcode(h) : 0;
    RollbackTransaction();
    return fail(why, code);
}

void DataControl::RollbackTransaction()
{
    if (transaction().owner != this)
        return;
    // SQLite may have rolled back by itself after a failed write; then there
    // is nothing left to roll back and the statement's error does not matter.
    if (sqlite3 *h = handleOf(m_connectionName))
        sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
    takeBackTransaction();
}

bool DataControl::InTransaction()
{
    return transaction().owner != nullptr;
}

void DataControl::takeBackTransaction()
{
    const std::vector<Transaction::Undo> undo = std::move(transaction().undo);
    transaction() = Transaction();
    for (auto it = undo.rbegin(); it != undo.rend(); ++it)
        if (allControls().count(it->control))
            it->control->undoWrite(it->rowidAfter, it->rowidBefore, it->dirty);
}

void DataControl::undoWrite(qint64 rowidAfter, qint64 rowidBefore, const QSet<int> &dirty)
{
    for (int r = 0; r < rowTotal(); ++r) {
        if (m_rowids[size_t(r)] == rowidAfter) {
            m_rowids[size_t(r)] = rowidBefore;
            m_dirty[size_t(r)].unite(dirty);
            return;
        }
    }
}

int DataControl::OpenCount()
{
    int n = 0;
    for (DataControl *dc : allControls())
        n += dc->m_open ? 1 : 0;
    return n;
}
