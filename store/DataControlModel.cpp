#include "store/DataControlModel.h"

#include "store/DataControl.h"

DataControlModel::DataControlModel(DataControl *dc, QObject *parent)
    : QAbstractTableModel(parent)
    , m_dc(dc)
{
    if (m_dc) {
        m_columns = m_dc->Columns();
        connect(m_dc, &DataControl::reset, this, &DataControlModel::onReset);
        connect(m_dc, &DataControl::valueChanged, this, &DataControlModel::onValueChanged);
        // A control that goes away leaves an empty grid behind.
        connect(m_dc, &QObject::destroyed, this, [this] {
            beginResetModel();
            endResetModel();
        });
    }
}

int DataControlModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_dc ? 0 : m_dc->RecordCount();
}

int DataControlModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_dc ? 0 : m_dc->ColumnCount() + 1;
}

QVariant DataControlModel::data(const QModelIndex &index, int role) const
{
    if (!m_dc || !index.isValid() || index.column() == 0)
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_dc->ValueAt(index.row(), index.column() - 1);
    return QVariant();
}

QVariant DataControlModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return HeaderText(section);
    return QVariant();
}

QString DataControlModel::HeaderText(int column) const
{
    const auto it = m_headers.constFind(column);
    if (it != m_headers.constEnd())
        return *it;
    if (column >= 1 && column <= m_columns.size())
        return m_columns[column - 1];
    return QString();
}

void DataControlModel::SetHeaderText(int column, const QString &text)
{
    m_headers.insert(column, text);
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void DataControlModel::onReset()
{
    beginResetModel();
    if (m_dc && m_dc->Columns() != m_columns) {
        m_columns = m_dc->Columns();
        m_headers.clear();
    }
    endResetModel();
    emit rowsReplaced();
}

void DataControlModel::onValueChanged(int row, int column)
{
    const QModelIndex i = index(row, column + 1);
    emit dataChanged(i, i);
}
