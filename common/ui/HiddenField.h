#pragma once
// A hidden line edit under the name the screen gives it: it holds a bound
// column's value (a code, a name) for the screen's own use without showing it.
//
//   m_text4 = HiddenField(this, "Text4");
//   Bound::Bind(m_text4, m_adodc1, QStringLiteral("Code"));

class QLineEdit;
class QWidget;

QLineEdit *HiddenField(QWidget *parent, const char *name);
