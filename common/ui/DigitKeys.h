#pragma once
// Digit-only fields. A Persian keyboard types Extended Arabic-Indic digits
// (U+06F0..U+06F9) and some layouts Arabic-Indic ones (U+0660..U+0669); they
// stand for the same digits and are stored as "0".."9".
//
//   DigitKeys::Install(ageEdit, "0123456789");
//   auto *f = DigitKeys::Install(slot, "012");
//   connect(f, &DigitKeys::Filter::keyPressed, ...);   // after every key
//
// The filter keeps a typed character only when it (read as an ASCII digit)
// is one of the accepted characters, and then types the ASCII digit. Every
// other character is dropped, Backspace and Enter included, and so is a
// paste. Keys that type no character (Delete, the arrows, Home, End, Tab,
// Escape, shortcuts) work as usual. SetBackspace(true) lets Backspace
// through as well, so a typo can be taken back.
#include "common/Digits.h"

#include <QObject>
#include <QString>

class QKeyEvent;
class QLineEdit;

namespace DigitKeys {

using Digits::AsciiDigit;
using Digits::ToAscii;

class Filter : public QObject
{
    Q_OBJECT
public:
    Filter(QLineEdit *edit, const QString &accepted);

    // With replaceWhole, an accepted character replaces the field's whole
    // text (a one-character field that is typed over).
    void SetReplaceWhole(bool on) { m_replaceWhole = on; }
    // Backspace erases as in any field instead of being dropped.
    void SetBackspace(bool on) { m_backspace = on; }

signals:
    // Raised after each key press in the field has been handled, whether
    // the key was taken, dropped or passed on.
    void keyPressed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_edit;
    QString m_accepted;
    bool m_replaceWhole = false;
    bool m_backspace = false;
    bool m_forwarding = false;
};

// Installs a filter on the field (owned by the field) and returns it.
Filter *Install(QLineEdit *edit, const QString &accepted);

} // namespace DigitKeys
