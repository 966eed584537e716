#pragma once
// Fields bound to a column of a DataControl.
//
//   Bound::Bind(ui->TxtName, &adodc1, "FullName");   // QLineEdit
//   Bound::Bind(ui->Memo, &adodc1, "Adresse");       // QPlainTextEdit / QTextEdit
//   Bound::Bind(ui->LblName, &adodc1, "FullName");   // QLabel, display only
//   Bound::Unbind(ui->TxtName);
//
// A bound field shows the column's value of the control's current row and
// follows every move, filter, refresh, add and delete; with no current row it
// is empty. A change of the field's text, typed or set in code, sets the
// column of the current row in memory (DataControl::SetValue); it reaches the
// file when the screen commits the row. A hidden field is an ordinary bound
// field that is not shown. Binding a field again replaces its old binding.
#include <QString>

class DataControl;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTextEdit;
class QWidget;

namespace Bound {

void Bind(QLineEdit *field, DataControl *dc, const QString &column);
void Bind(QPlainTextEdit *field, DataControl *dc, const QString &column);
void Bind(QTextEdit *field, DataControl *dc, const QString &column);
void Bind(QLabel *field, DataControl *dc, const QString &column);
void Unbind(QWidget *field);

// The control and column a field is bound to (nullptr / empty when unbound).
DataControl *ControlOf(QWidget *field);
QString ColumnOf(QWidget *field);

} // namespace Bound
