#pragma once
// BoundGrid: the list grid bound to a DataControl.
//
//   auto *grid = new BoundGrid(this);
//   grid->setObjectName("VSFlexGrid1");
//   grid->SetDataControl(&adodc4);
//   grid->ColHidden(0, true);               // the row-header column
//   grid->ColWidth(2, 2800);                // twips
//   grid->SetTextMatrix(0, 2, "نام ...");    // row 0 is the header row
//   connect(grid, &BoundGrid::rowClicked, ...);
//   connect(grid, &BoundGrid::rowDoubleClicked, ...);
//
// Numbering: row 0 is the header row, rows 1..RecordCount() are the control's
// rows in its order; column 0 is a row-header column without data, columns
// 1..n are the statement's columns. The grid follows every refresh, filter,
// add and delete of the control; with no rows it shows only its header.
// Hidden flags, widths and header texts are kept across refreshes (header
// texts until the statement's columns change). Selecting a line makes its row
// the control's current row, so fields bound to the same control show it;
// rowClicked() and rowDoubleClicked() are raised after that has happened.
#include <QHash>
#include <QPointer>
#include <QTableView>

#include <functional>

class DataControl;
class DataControlModel;

class BoundGrid : public QTableView
{
    Q_OBJECT
public:
    explicit BoundGrid(QWidget *parent = nullptr);

    void SetDataControl(DataControl *dc);
    DataControl *Control() const;
    DataControlModel *Model() const { return m_model; }

    int Rows() const; // header row included
    int Cols() const; // row-header column included
    // The grid row of the control's current row (0 when there is none).
    int Row() const;

    void ColHidden(int col, bool hidden);
    bool IsColHidden(int col) const;
    void ColWidth(int col, int twips);
    int ColWidthTwips(int col) const;
    // Row 0: the column's header text. Other rows are the control's values
    // and are changed through the control, so they are refused here.
    bool SetTextMatrix(int row, int col, const QString &text);
    QString TextMatrix(int row, int col) const;
    // Every column still headed by its own name gets the heading that
    // heading(name) gives, when that is not empty.
    void HeadColumns(const std::function<QString(const QString &column)> &heading);

    // Selects a grid row (1..Rows()-1) as a mouse click would, raising
    // rowClicked(). Used by the keyboard and by tests.
    void SelectRow(int row);

    static int TwipsToPixels(int twips, int dpi);

signals:
    void rowClicked();
    void rowDoubleClicked();

private:
    void applyColumns();
    void followCurrent();
    void onCurrentIndexChanged(const QModelIndex &current);

    DataControlModel *m_model = nullptr;
    QHash<int, bool> m_hidden;
    QHash<int, int> m_widths; // twips
    bool m_syncing = false;
};
