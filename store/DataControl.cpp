#include "store/DataControl.h"

#include "common/ProgramFolder.h"
#include "store/DatabaseError.h"
#include "store/KvrDatabase.h"
#include "store/SqlBackend.h"

#include <algorithm>
#include <optional>
#include <set>
#include <unordered_set>

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
    Sql::Backend *backend = nullptr;
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

    void appendStatementRow(const Sql::Cursor &cursor, int first)
    {
        rowids.push_back(cursor.integer(0));
        for (size_t c = 0; c < cols.size(); ++c)
            appendValue(cols[c].text, cols[c].ends, cursor.value(int(c) + first));
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

QString DataControl::PersianError() const
{
    return DatabaseError::Text(m_errorCode, m_error);
}

QString DataControl::connectionName() const
{
    return transaction().owner ? transaction().connection : m_usedConnection;
}

bool DataControl::ensureConnection()
{
    Sql::Failure f;
    if (m_open) {
        // A server connection is asked whether it still answers, and made
        // again when it is lost, except inside a transaction, which went with
        // it.
        if (backend().check(connectionName(), transaction().owner != nullptr, &f))
            return true;
        return fail(f.message, f.code);
    }
    if (fileHeld()) {
        m_suspended = true; // opened by ReopenAll once the file is back
        return fail(tr("The database file %1 is being replaced.").arg(DatabasePath()), DatabaseError::BeingReplaced);
    }
    m_backend = &Sql::Backend::Current();
    if (!m_backend->open(m_connectionName, &m_usedConnection, &f))
        return fail(f.message, f.code);
    m_open = true;
    return true;
}

Sql::Backend &DataControl::backend() const
{
    return m_backend ? *m_backend : Sql::Backend::Current();
}

void DataControl::Close()
{
    if (transaction().owner == this)
        RollbackTransaction();
    if (m_open)
        backend().close(m_usedConnection);
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
    Sql::Relation relation;
    Sql::Failure f;
    if (!backend().describe(connectionName(), source.table, &relation, &f))
        return fail(f.message, f.code);

    // A table's rows are known by their row id; views (QueryMe) have none
    // and are read-only. A table read in row-id order is read on demand;
    // everything else whole.
    const bool rowids = !relation.rowid.isEmpty();
    const bool onDemand = rowids
        && ((source.columns.isEmpty() && source.orderColumn.isEmpty())
            || (!source.orderColumn.isEmpty() && !relation.rowidName.isEmpty()
                && source.orderColumn.compare(relation.rowidName, Qt::CaseInsensitive) == 0));
    QStringList list;
    for (const QString &c : source.columns.isEmpty() ? relation.columns : source.columns)
        list << Sql::Quote(relation.column(c));
    const QString base = QStringLiteral("SELECT ") + (rowids ? relation.rowid + QStringLiteral(" AS kvr_rowid,") : QString())
                         + (list.isEmpty() ? QStringLiteral("*") : list.join(QLatin1Char(',')))
                         + QStringLiteral(" FROM ") + Sql::Quote(relation.name);
    QString sql = base;
    if (!source.orderColumn.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + Sql::Quote(relation.column(source.orderColumn))
               + (source.descending ? QStringLiteral(" DESC") : QString());
    else if (onDemand)
        sql += QStringLiteral(" ORDER BY ") + relation.rowid; // the order a plain read of the table gives

    // The first row only of a source read on demand; the others when they
    // are needed.
    const std::unique_ptr<Sql::Cursor> cursor =
        backend().query(connectionName(), onDemand ? sql + backend().firstRowOnly() : sql);
    if (cursor->failure())
        return fail(cursor->failure()->message, cursor->failure()->code);
    const int first = rowids ? 1 : 0;
    const int n = cursor->columnCount() - first;
    QStringList columns;
    QHash<QString, int> columnIndex;
    for (int c = 0; c < n; ++c) {
        const QString name = cursor->columnName(c + first);
        columns.append(name);
        columnIndex.insert(name.toLower(), c);
    }
    Rows rows(n);
    bool more = false;
    while (cursor->next()) {
        if (rowids) {
            rows.appendStatementRow(*cursor, first);
        } else {
            rows.rowids.push_back(0);
            for (int c = 0; c < n; ++c)
                appendValue(rows.cols[size_t(c)].text, rows.cols[size_t(c)].ends, cursor->value(c));
        }
        if (onDemand) {
            more = true;
            break;
        }
    }
    if (cursor->failure())
        return fail(cursor->failure()->message, cursor->failure()->code);
    for (Column &col : rows.cols)
        col.text.shrink_to_fit();
    m_columns = columns;
    m_columnIndex = columnIndex;
    m_relation = relation;
    m_table = source.table;
    m_readOnly = !rowids;
    m_data = std::move(rows.cols);
    m_dirty.assign(rows.rowids.size(), QSet<int>());
    m_added.assign(rows.rowids.size(), 0);
    m_rowids = std::move(rows.rowids);
    m_onDemand = onDemand;
    m_descending = onDemand && source.descending;
    m_complete = !more;
    m_firstKnown = !m_complete;
    m_before.clear();
    m_indexed.clear();
    m_sqlAll = sql;
    m_sqlBase = base;
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
    QStringList names;
    QList<QByteArray> values;
    for (int c : cols) {
        names << m_columns[c];
        values << cellView(i, c).toByteArray();
    }
    Sql::Failure f;
    if (m_rowids[size_t(i)] == 0) {
        qint64 rowid = 0;
        if (!backend().insert(connectionName(), m_relation, names, values, &rowid, &f))
            return fail(f.message, f.code);
        m_rowids[size_t(i)] = rowid;
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

    tellOthers(m_rowids[size_t(i)], false);
    int changed = 0;
    if (!backend().update(connectionName(), m_relation, names, values, m_rowids[size_t(i)], &changed, &f))
        return fail(f.message, f.code);
    if (changed == 0)
        return fail(tr("The row is no longer in %1.").arg(m_table), DatabaseError::RowGone);
    m_dirty[size_t(i)].clear();
    if (transaction().owner)
        transaction().undo.push_back({this, rowidBefore, rowidBefore, dirtyBefore});
    return true;
}

bool DataControl::rereadRow(int storageRow)
{
    const std::unique_ptr<Sql::Cursor> row =
        backend().query(connectionName(), m_sqlBase + QStringLiteral(" WHERE ") + m_relation.rowid + QStringLiteral("=?"),
                        {Sql::Param::integer(m_rowids[size_t(storageRow)])});
    if (!row->next())
        return false;
    for (int c = 0; c < ColumnCount(); ++c)
        setCell(storageRow, c, QString::fromUtf8(row->value(c + 1)));
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
        tellOthers(m_rowids[size_t(i)], false);
        Sql::Failure f;
        if (!backend().remove(connectionName(), m_relation, m_rowids[size_t(i)], &f))
            return fail(f.message, f.code);
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
        const std::unique_ptr<Sql::Cursor> cursor = backend().query(connectionName(), m_sqlAll);
        ok = mergeRows(*cursor, true, -1, nullptr);
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
    const bool served =
        ensureConnection() && backend().indexServes(connectionName(), m_relation, m_sqlBase, m_columns[column]);
    m_indexed.insert(column, served);
    return served;
}

bool DataControl::readMatching(int column, const QByteArray &value)
{
    if (!ensureConnection())
        return false;
    QString where;
    QList<Sql::Param> params;
    if (!backend().matchCondition(m_relation, m_columns[column], value, &where, &params))
        return fail(tr("No query finds the rows of %1.").arg(m_columns[column]));
    const std::unique_ptr<Sql::Cursor> cursor =
        backend().query(connectionName(), m_sqlBase + QStringLiteral(" WHERE ") + where, params);
    return mergeRows(*cursor, false, column, &value);
}

bool DataControl::mergeRows(Sql::Cursor &cursor, bool ordered, int column, const QByteArray *value)
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
    auto wanted = [&](const Sql::Cursor &s) {
        const qint64 rowid = s.integer(0);
        if (held.count(rowid) || m_before.count(rowid))
            return false;
        return column < 0 || matches(s.value(column + 1));
    };

    if (ordered) {
        while (cursor.next()) {
            if (!wanted(cursor))
                continue;
            const qint64 rowid = cursor.integer(0);
            flushBefore(&rowid);
            out.appendStatementRow(cursor, 1);
        }
    } else {
        Rows found(n);
        while (cursor.next())
            if (wanted(cursor))
                found.appendStatementRow(cursor, 1);
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
    if (cursor.failure())
        return fail(cursor.failure()->message, cursor.failure()->code);
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
    // Should this fail, the row is read later as the database then holds it.
    if (!ensureConnection())
        return;
    const std::unique_ptr<Sql::Cursor> row =
        backend().query(connectionName(), m_sqlBase + QStringLiteral(" WHERE ") + m_relation.rowid + QStringLiteral("=?"),
                        {Sql::Param::integer(rowid)});
    if (row->next()) {
        Cells cells;
        cells.reserve(size_t(ColumnCount()));
        for (int c = 0; c < ColumnCount(); ++c)
            cells.push_back(row->value(c + 1).toByteArray());
        m_before.emplace(rowid, std::move(cells));
    } else if (!row->failure()) {
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
    return source.Sql(true) + QStringLiteral(" WHERE ") + Sql::FileFilterCondition(column, true, emptyValue);
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
    Sql::Failure f;
    if (!backend().begin(m_usedConnection, &f))
        return fail(f.message, f.code);
    transaction().owner = this;
    transaction().connection = m_usedConnection;
    transaction().backend = &backend();
    transaction().undo.clear();
    return true;
}

bool DataControl::CommitTransaction()
{
    if (transaction().owner != this)
        return fail(tr("This control has no open transaction."));
    Sql::Failure f;
    if (backend().commit(m_usedConnection, &f)) {
        transaction() = Transaction();
        return true;
    }
    RollbackTransaction();
    return fail(f.message, f.code);
}

void DataControl::RollbackTransaction()
{
    if (transaction().owner != this)
        return;
    backend().rollback(m_usedConnection);
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
