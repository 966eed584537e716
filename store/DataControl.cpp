#include "store/DataControl.h"

#include "common/ProgramFolder.h"
#include "store/KvrDatabase.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QVariant>

#include <set>

namespace {

std::set<DataControl *> &allControls()
{
    static std::set<DataControl *> controls;
    return controls;
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

bool DataControl::fail(const QString &message)
{
    m_error = message;
    return false;
}

bool DataControl::ensureConnection()
{
    if (m_open && QSqlDatabase::contains(m_connectionName))
        return true;
    const QString path = DatabasePath();
    if (!QFileInfo(path).isFile())
        return fail(tr("The database file %1 does not exist.").arg(path));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        // mode=rw: SQLite refuses a missing file instead of making an empty one.
        db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)
                           + QStringLiteral("?mode=rw"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
        if (!db.open()) {
            const QString why = db.lastError().text();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connectionName);
            return fail(tr("The database file %1 cannot be opened: %2").arg(path, why));
        }
    }
    m_open = true;
    return true;
}

void DataControl::Close()
{
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
    m_suspended = false;
    const bool ok = ensureConnection() && readRows();
    if (!ok) {
        // A failed read leaves no rows, as an empty result would.
        m_rows.clear();
        m_columns.clear();
        m_columnIndex.clear();
    }
    m_filtered = false;
    m_view.clear();
    m_filterText.clear();
    invalidateIndex();
    m_current = m_rows.empty() ? -1 : 0;
    emit reset();
    emit currentChanged();
    return ok;
}

bool DataControl::readRows()
{
    const KvrDatabase::Source source = KvrDatabase::ParseRecordSource(m_recordSource);
    if (!source.ok)
        return fail(source.error);
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);

    // Views (QueryMe) have no row id and are read-only.
    bool isTable = false;
    {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT type FROM sqlite_master WHERE lower(name) = lower(?)"));
        q.addBindValue(source.table);
        if (!q.exec())
            return fail(q.lastError().text());
        if (!q.next())
            return fail(tr("No table or view named %1.").arg(source.table));
        isTable = q.value(0).toString() == QLatin1String("table");
    }

    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(source.Sql(isTable)))
        return fail(q.lastError().text());

    const QSqlRecord rec = q.record();
    const int first = isTable ? 1 : 0;
    const int n = rec.count() - first;
    m_columns.clear();
    m_columnIndex.clear();
    for (int c = 0; c < n; ++c) {
        const QString name = rec.fieldName(c + first);
        m_columns.append(name);
        m_columnIndex.insert(name.toLower(), c);
    }
    m_table = source.table;
    m_readOnly = !isTable;

    std::vector<Row> rows;
    QString values;
    while (q.next()) {
        Row row;
        row.rowid = isTable ? q.value(0).toLongLong() : 0;
        row.ends.reserve(size_t(n));
        values.clear();
        for (int c = 0; c < n; ++c) {
            values += q.value(c + first).toString();
            row.ends.push_back(int(values.size()));
        }
        row.packed = values;
        row.packed.squeeze();
        rows.push_back(std::move(row));
    }
    if (q.lastError().isValid())
        return fail(q.lastError().text());
    m_rows = std::move(rows);
    return true;
}

QString DataControl::cell(const Row &row, int column) const
{
    if (column < 0 || column >= int(row.ends.size()))
        return QString();
    const int begin = column == 0 ? 0 : row.ends[size_t(column) - 1];
    return row.packed.mid(begin, row.ends[size_t(column)] - begin);
}

void DataControl::setCell(Row &row, int column, const QString &value)
{
    const int begin = column == 0 ? 0 : row.ends[size_t(column) - 1];
    const int end = row.ends[size_t(column)];
    row.packed.replace(begin, end - begin, value);
    const int delta = int(value.size()) - (end - begin);
    for (size_t c = size_t(column); c < row.ends.size(); ++c)
        row.ends[c] += delta;
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
    if (filterText.trimmed().isEmpty()) {
        m_filtered = false;
        m_view.clear();
        m_filterText.clear();
        m_current = m_rows.empty() ? -1 : 0;
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
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const Row &row = m_rows[i];
        const int begin = c == 0 ? 0 : row.ends[size_t(c) - 1];
        const int end = row.ends[size_t(c)];
        if (end - begin == value.size()
            && QStringView(row.packed).mid(begin, end - begin) == QStringView(value))
            view.push_back(int(i));
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
    return m_filtered ? int(m_view.size()) : int(m_rows.size());
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
    return cell(m_rows[size_t(i)], column);
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
    const int i = storageIndex(m_current);
    if (i < 0)
        return fail(tr("There is no current row."));
    if (column < 0 || column >= ColumnCount())
        return fail(tr("There is no column %1.").arg(column));
    if (m_readOnly)
        return fail(tr("%1 cannot be changed.").arg(m_table));
    Row &row = m_rows[size_t(i)];
    if (cell(row, column) == value)
        return true;
    setCell(row, column, value);
    row.dirty.insert(column);
    if (column == m_indexColumn)
        invalidateIndex();
    emit valueChanged(m_current, column);
    return true;
}

bool DataControl::AddNew()
{
    m_error.clear();
    if (m_columns.isEmpty())
        return fail(tr("The data control is not open."));
    if (m_readOnly)
        return fail(tr("%1 cannot be changed.").arg(m_table));
    Row row;
    row.ends.assign(size_t(m_columns.size()), 0);
    m_rows.push_back(std::move(row));
    if (m_filtered)
        m_view.push_back(int(m_rows.size()) - 1);
    invalidateIndex();
    m_current = RecordCount() - 1;
    emit reset();
    emit currentChanged();
    return true;
}

bool DataControl::IsNewRow() const
{
    const int i = storageIndex(m_current);
    return i >= 0 && m_rows[size_t(i)].rowid == 0 && !m_readOnly;
}

bool DataControl::Update()
{
    m_error.clear();
    const int i = storageIndex(m_current);
    if (i < 0)
        return fail(tr("There is no current row."));
    if (m_readOnly)
        return fail(tr("%1 cannot be changed.").arg(m_table));
    if (!ensureConnection())
        return false;
    Row &row = m_rows[size_t(i)];
    if (row.rowid != 0 && row.dirty.isEmpty())
        return true;

    QList<int> cols(row.dirty.begin(), row.dirty.end());
    std::sort(cols.begin(), cols.end());
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    const QString table = KvrDatabase::QuoteIdentifier(m_table);
    if (row.rowid == 0) {
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
                q.addBindValue(cell(row, c));
        }
        if (!q.exec())
            return fail(q.lastError().text());
        row.rowid = q.lastInsertId().toLongLong();
        row.dirty.clear();
        // Pick up what the database filled in (the auto-numbered id).
        rereadRow(row);
        invalidateIndex();
        for (int c = 0; c < ColumnCount(); ++c)
            emit valueChanged(m_current, c);
        return true;
    }

    QStringList sets;
    for (int c : cols)
        sets << KvrDatabase::QuoteIdentifier(m_columns[c]) + QStringLiteral("=?");
    q.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?").arg(table, sets.join(QLatin1Char(','))));
    for (int c : cols)
        q.addBindValue(cell(row, c));
    q.addBindValue(row.rowid);
    if (!q.exec())
        return fail(q.lastError().text());
    if (q.numRowsAffected() == 0)
        return fail(tr("The row is no longer in %1.").arg(m_table));
    row.dirty.clear();
    return true;
}

bool DataControl::rereadRow(Row &row)
{
    const KvrDatabase::Source source = KvrDatabase::ParseRecordSource(m_recordSource);
    QStringList names;
    for (const QString &c : m_columns)
        names << KvrDatabase::QuoteIdentifier(c);
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE rowid=?")
                  .arg(names.join(QLatin1Char(',')), KvrDatabase::QuoteIdentifier(source.table)));
    q.addBindValue(row.rowid);
    if (!q.exec() || !q.next())
        return false;
    QString values;
    for (int c = 0; c < ColumnCount(); ++c) {
        values += q.value(c).toString();
        row.ends[size_t(c)] = int(values.size());
    }
    row.packed = values;
    return true;
}

bool DataControl::Delete()
{
    m_error.clear();
    const int i = storageIndex(m_current);
    if (i < 0)
        return fail(tr("There is no current row."));
    if (m_readOnly)
        return fail(tr("%1 cannot be changed.").arg(m_table));
    if (m_rows[size_t(i)].rowid != 0) {
        if (!ensureConnection())
            return false;
        QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
        q.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid=?").arg(KvrDatabase::QuoteIdentifier(m_table)));
        q.addBindValue(m_rows[size_t(i)].rowid);
        if (!q.exec())
            return fail(q.lastError().text());
    }
    m_rows.erase(m_rows.begin() + i);
    if (m_filtered) {
        m_view.erase(m_view.begin() + m_current);
        for (int &v : m_view)
            if (v > i)
                --v;
    }
    invalidateIndex();
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
        m_valueIndex.reserve(qsizetype(m_rows.size()));
        for (const Row &row : m_rows)
            m_valueIndex[cell(row, c)] += 1;
        m_indexColumn = c;
    }
    return m_valueIndex.contains(value);
}

void DataControl::CloseAll()
{
    for (DataControl *dc : allControls()) {
        if (dc->m_open) {
            dc->Close();
            dc->m_suspended = true;
        }
    }
}

bool DataControl::ReopenAll()
{
    bool ok = true;
    const std::set<DataControl *> controls = allControls();
    for (DataControl *dc : controls) {
        if (allControls().count(dc) && dc->m_suspended)
            ok = dc->Refresh() && ok;
    }
    return ok;
}

int DataControl::OpenCount()
{
    int n = 0;
    for (DataControl *dc : allControls())
        n += dc->m_open ? 1 : 0;
    return n;
}
