#pragma once
// A screen's push button under the name the screen gives it, optionally
// placed in twips inside its parent:
//
//   m_next = NamedButton(this, CaptureText::BtnNext(), "PushBNext", {3015, 4500, 1200, 420});
#include <QRectF>
#include <QString>

class QPushButton;
class QWidget;

// Without a place (an empty rectangle) the button is left to a layout.
QPushButton *NamedButton(QWidget *parent, const QString &text, const char *name, const QRectF &twips = QRectF());
