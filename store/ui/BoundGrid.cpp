#include "store/ui/BoundGrid.h"

#include "common/ui/Twips.h"

#include "store/DataControl.h"
#include "store/DataControlModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>

BoundGrid::BoundGrid(QWidget *parent)
    : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    setWordWrap(false);

    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (!index.isValid())
            return;
        if (DataControl *dc = Control())
            dc->SetCurrentRow(index.row());
        emit rowClicked();
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (!index.isValid())
            return;
        // The handler must see the double-clicked line as the current row.
        if (DataControl *dc = Control())
            dc->SetCurrentRow(index.row());
        emit rowDoubleClicked();
    });
}

void BoundGrid::SetDataControl(DataControl *dc)
{
    DataControlModel *old = m_model;
    m_model = dc ? new DataControlModel(dc, this) : nullptr;
    setModel(m_model);
    delete old;
    if (m_model) {
        connect(m_model, &DataControlModel::rowsReplaced, this, [this] {
            applyColumns();
            followCurrent();
        });
        connect(dc, &DataControl::currentChanged, this, &BoundGrid::followCurrent);
        connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this](const QModelIndex &current) { onCurrentIndexChanged(current); });
    }
    applyColumns();
    followCurrent();
}

DataControl *BoundGrid::Control() const
{
    return m_model ? m_model->Control() : nullptr;
}

int BoundGrid::Rows() const
{
    return (m_model ? m_model->rowCount() : 0) + 1;
}

int BoundGrid::Cols() const
{
    return m_model ? m_model->columnCount() : 0;
}

int BoundGrid::Row() const
{
    DataControl *dc = Control();
    return dc && dc->CurrentRow() >= 0 ? dc->CurrentRow() + 1 : 0;
}

int BoundGrid::TwipsToPixels(int twips, int dpi)
{
    return ::TwipsToPixels(twips, dpi);
}

void BoundGrid::ColHidden(int col, bool hidden)
{
    m_hidden.insert(col, hidden);
    setColumnHidden(col, hidden);
}

bool BoundGrid::IsColHidden(int col) const
{
    return m_hidden.value(col, false);
}

void BoundGrid::ColWidth(int col, int twips)
{
    m_widths.insert(col, twips);
    setColumnWidth(col, TwipsToPixels(twips, logicalDpiX()));
}

int BoundGrid::ColWidthTwips(int col) const
{
    const auto it = m_widths.constFind(col);
    if (it != m_widths.constEnd())
        return *it;
    const int dpi = logicalDpiX();
    return dpi > 0 ? int(qint64(columnWidth(col)) * 1440 / dpi) : 0;
}

bool BoundGrid::SetTextMatrix(int row, int col, const QString &text)
{
    if (!m_model || row != 0 || col < 0 || col >= Cols())
        return false;
    m_model->SetHeaderText(col, text);
    return true;
}

QString BoundGrid::TextMatrix(int row, int col) const
{
    if (!m_model || col < 0 || col >= Cols())
        return QString();
    if (row == 0)
        return m_model->HeaderText(col);
    if (col == 0 || row < 0 || row >= Rows())
        return QString();
    return Control()->ValueAt(row - 1, col - 1);
}

void BoundGrid::HeadColumns(const std::function<QString(const QString &)> &heading)
{
    if (!m_model || !Control())
        return;
    const QStringList columns = Control()->Columns();
    for (int c = 1; c < Cols() && c <= columns.size(); ++c) {
        const QString own = columns[c - 1];
        const QString text = heading(own);
        if (m_model->HeaderText(c) == own && !text.isEmpty())
            m_model->SetHeaderText(c, text);
    }
}

void BoundGrid::SelectRow(int row)
{
    if (!m_model || row < 1 || row >= Rows())
        return;
    const QModelIndex index = m_model->index(row - 1, 1);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    Control()->SetCurrentRow(row - 1);
    emit rowClicked();
}

void BoundGrid::applyColumns()
{
    for (auto it = m_hidden.constBegin(); it != m_hidden.constEnd(); ++it)
        setColumnHidden(it.key(), it.value());
    const int dpi = logicalDpiX();
    for (auto it = m_widths.constBegin(); it != m_widths.constEnd(); ++it)
        setColumnWidth(it.key(), TwipsToPixels(it.value(), dpi));
}

void BoundGrid::followCurrent()
{
    DataControl *dc = Control();
    if (!dc || !selectionModel() || m_syncing)
        return;
    m_syncing = true;
    const int row = dc->CurrentRow();
    if (row < 0) {
        selectionModel()->clear();
    } else {
        const QModelIndex index = m_model->index(row, 1);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    m_syncing = false;
}

void BoundGrid::onCurrentIndexChanged(const QModelIndex &current)
{
    if (m_syncing || !current.isValid())
        return;
    if (DataControl *dc = Control()) {
        m_syncing = true;
        dc->SetCurrentRow(current.row());
        m_syncing = false;
    }
}
