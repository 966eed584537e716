#pragma once
// A table model over a DataControl, numbered as the bound grid shows it:
// model column 0 is the row-header column and carries no data, model column
// c (c >= 1) is the control's column c-1; model row r is the control's row r
// (the grid's row r+1, below its header row 0). Header texts default to the
// column names and can be replaced per column; they survive refreshes as long
// as the control's columns stay the same.
#include <QAbstractTableModel>
#include <QHash>
#include <QPointer>
#include <QStringList>

class DataControl;

class DataControlModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit DataControlModel(DataControl *dc, QObject *parent = nullptr);

    DataControl *Control() const { return m_dc; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Header text of a grid column (0 = row-header column).
    QString HeaderText(int column) const;
    void SetHeaderText(int column, const QString &text);

signals:
    // The control's rows were replaced (after the model reset).
    void rowsReplaced();

private:
    void onReset();
    void onValueChanged(int row, int column);

    QPointer<DataControl> m_dc;
    QStringList m_columns; // columns seen at the last reset
    QHash<int, QString> m_headers;
};
