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
#include <set>

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

} // namespace

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
            const QString why = db.lastError().text();
            const int code = db.lastError().nativeErrorCode().toInt();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connectionName);
            return fail(tr("The database file %1 cannot be opened: %2").arg(path, why), code);
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
        m_data.clear();
        m_rowids.clear();
        m_dirty.clear();
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

bool DataControl::readRows()
{
    const KvrDatabase::Source source = KvrDatabase::ParseRecordSource(m_recordSource);
    if (!source.ok)
        return fail(source.error);
    QSqlDatabase db = QSqlDatabase::database(connectionName(), false);

    // Views (QueryMe) have no row id and are read-only.
    bool isTable = false;
    {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT type FROM sqlite_master WHERE lower(name) = lower(?)"));
        q.addBindValue(source.table);
        if (!q.exec())
            return failSql(q.lastError().text());
        if (!q.next())
            return fail(tr("No table or view named %1.").arg(source.table));
        isTable = q.value(0).toString() == QLatin1String("table");
    }

    // The rows are read straight from SQLite's statement: with a hundred
    // thousand examinees a value-by-value read through QVariant costs
    // several times more.
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return fail(tr("The database driver gives no SQLite handle."));
    sqlite3 *h = *static_cast<sqlite3 *const *>(handle.constData());
    if (!h)
        return fail(tr("The database is not open."));
    sqlite3_stmt *stmt = nullptr;
    const QString sql = source.Sql(isTable);
    if (sqlite3_prepare16_v2(h, sql.utf16(), int(sql.size() * 2), &stmt, nullptr) != SQLITE_OK) {
        const QString why = QString::fromUtf8(sqlite3_errmsg(h));
        const int code = sqlite3_extended_errcode(h);
        sqlite3_finalize(stmt);
        return fail(why, code);
    }
    const int first = isTable ? 1 : 0;
    const int n = sqlite3_column_count(stmt) - first;
    QStringList columns;
    QHash<QString, int> columnIndex;
    for (int c = 0; c < n; ++c) {
        const QString name = QString::fromUtf8(sqlite3_column_name(stmt, c + first));
        columns.append(name);
        columnIndex.insert(name.toLower(), c);
    }
    std::vector<Column> data(size_t(qMax(n, 0)));
    std::vector<qint64> rowids;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        rowids.push_back(isTable ? sqlite3_column_int64(stmt, 0) : 0);
        for (int c = 0; c < n; ++c) {
            Column &col = data[size_t(c)];
            const unsigned char *text = sqlite3_column_text(stmt, c + first);
            if (text)
                col.text.append(reinterpret_cast<const char *>(text), sqlite3_column_bytes(stmt, c + first));
            col.ends.push_back(int(col.text.size()));
        }
    }
    const QString why = rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(h));
    const int code = rc == SQLITE_DONE ? 0 : sqlite3_extended_errcode(h);
    sqlite3_finalize(stmt);
    if (!why.isEmpty())
        return fail(why, code);
    for (Column &col : data)
        col.text.squeeze();
    m_columns = columns;
    m_columnIndex = columnIndex;
    m_table = source.table;
    m_readOnly = !isTable;
    m_data = std::move(data);
    m_dirty.assign(rowids.size(), QSet<int>());
    m_rowids = std::move(rowids);
    return true;
}

QByteArrayView DataControl::cellView(int storageRow, int column) const
{
    if (column < 0 || column >= int(m_data.size()) || storageRow < 0 || storageRow >= rowTotal())
        return QByteArrayView();
    const Column &col = m_data[size_t(column)];
    const int begin = storageRow == 0 ? 0 : col.ends[size_t(storageRow) - 1];
    return QByteArrayView(col.text.constData() + begin, col.ends[size_t(storageRow)] - begin);
}

void DataControl::setCell(int storageRow, int column, const QString &value)
{
    Column &col = m_data[size_t(column)];
    const int begin = storageRow == 0 ? 0 : col.ends[size_t(storageRow) - 1];
    const int end = col.ends[size_t(storageRow)];
    const QByteArray bytes = value.toUtf8();
    col.text.replace(begin, end - begin, bytes);
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
    invalidateIndex();
}

void DataControl::eraseRow(int storageRow)
{
    for (Column &col : m_data) {
        const int begin = storageRow == 0 ? 0 : col.ends[size_t(storageRow) - 1];
        const int length = col.ends[size_t(storageRow)] - begin;
        col.text.remove(begin, length);
        col.ends.erase(col.ends.begin() + storageRow);
        for (size_t r = size_t(storageRow); r < col.ends.size(); ++r)
            col.ends[r] -= length;
    }
    m_rowids.erase(m_rowids.begin() + storageRow);
    m_dirty.erase(m_dirty.begin() + storageRow);
    invalidateIndex();
}

int DataControl::storageIndex(int row) const
{
    if (row < 0 || row >= RecordCount())
        return -1;
    return m_filtered ? m_view[size_t(row)] : row;
}

bool DataControl::Filter(const QString &filterText)
{
    m_error.clear();
    m_errorCode = 0;
    if (filterText.trimmed().isEmpty()) {
        m_filtered = false;
        m_view.clear();
        m_filterText.clear();
        m_current = rowTotal() == 0 ? -1 : 0;
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

    std::vector<int> view;
    const Column &col = m_data[size_t(c)];
    const QByteArrayView text(col.text);
    const QByteArray wantedBytes = value.toUtf8();
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
    return m_filtered ? int(m_view.size()) : rowTotal();
}

bool DataControl::SetCurrentRow(int row)
{
    if (row < -1 || row >= RecordCount())
        return fail(tr("There is no row %1.").arg(row));
    if (row != m_current) {
        m_current = row;
        emit currentChanged();
    }
    return true;
}

bool DataControl::MoveFirst()
{
    return RecordCount() > 0 ? SetCurrentRow(0) : fail(tr("There are no rows."));
}

bool DataControl::MoveLast()
{
    return RecordCount() > 0 ? SetCurrentRow(RecordCount() - 1) : fail(tr("There are no rows."));
}

bool DataControl::MoveNext()
{
    return m_current + 1 < RecordCount() ? SetCurrentRow(m_current + 1)
                                         : fail(tr("There is no next row."));
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
        if (!q.exec())
            return failSql(q.lastError().text());
    }
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
