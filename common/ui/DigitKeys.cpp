#include "common/ui/DigitKeys.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>

namespace DigitKeys {

Filter::Filter(QLineEdit *edit, const QString &accepted)
    : QObject(edit)
    , m_edit(edit)
    , m_accepted(accepted)
{
    edit->installEventFilter(this);
    // Pasting would bring in what the keys keep out.
    edit->setContextMenuPolicy(Qt::NoContextMenu);
    edit->setAcceptDrops(false);
}

bool Filter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_edit || m_forwarding || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);

    auto *key = static_cast<QKeyEvent *>(event);
    const QString typed = key->text();
    // Backspace (unless let through) and Enter count as typed characters
    // here and are dropped; Tab, Escape, Delete, the arrows and shortcuts type
    // no character.
    const bool backspace = key->key() == Qt::Key_Backspace;
    const bool dropped = key->matches(QKeySequence::Paste) || (backspace && !m_backspace)
                         || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const bool character = !typed.isEmpty() && typed.at(0).isPrint();

    // The field handles the key first; keyPressed() follows, so a listener
    // sees the field as the key left it.
    m_forwarding = true;
    if (dropped) {
        // nothing
    } else if (!character) {
        QCoreApplication::sendEvent(m_edit, key);
    } else {
        const QChar digit = typed.size() == 1 ? AsciiDigit(typed.at(0)) : QChar();
        if (!digit.isNull() && m_accepted.contains(digit)) {
            if (m_replaceWhole && !m_edit->hasSelectedText())
                m_edit->selectAll();
            QKeyEvent ascii(QEvent::KeyPress, key->key(), key->modifiers(), QString(digit),
                            key->isAutoRepeat(), ushort(key->count()));
            QCoreApplication::sendEvent(m_edit, &ascii);
        }
    }
    m_forwarding = false;
    emit keyPressed();
    return true;
}

Filter *Install(QLineEdit *edit, const QString &accepted)
{
    return new Filter(edit, accepted);
}

} // namespace DigitKeys
