#pragma once
// Shared by the capture screen tests: a database of their own, the dialog
// seam recording boxes, a stand-in main window, and small helpers to type
// keys and fire timers.
#include "common/ui/Dialogs.h"
#include "common/ui/MainWindowRef.h"
#include "tests/store/StoreFixture.h"

#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <memory>

class ScreenFixture
{
public:
    ScreenFixture()
    {
        Dialogs::Test::Install();
        main.setObjectName("MainWindow");
        SetMainWindow(&main);
    }
    ~ScreenFixture()
    {
        SetMainWindow(nullptr);
        Dialogs::Test::Uninstall();
    }
    StoreFixture db;
    QWidget main;

    // The boxes shown so far, as "caption|text".
    static QStringList Boxes()
    {
        QStringList out;
        for (const Dialogs::Box &b : Dialogs::Test::Boxes())
            out << b.caption + '|' + b.text;
        return out;
    }
    // Answers stored for an examinee, item n at index n-1 ("" for NULL).
    QStringList Answers(const QString &code)
    {
        QStringList out;
        for (int n = 1; n <= 40; ++n)
            out << db.Exec(QString("SELECT \"%1\" FROM Answer1 WHERE Code=?").arg(n), {code.toLongLong()}).toString();
        return out;
    }
    // Makes every write to the table fail with the given reason.
    void RefuseWrites(const QString &table, const QString &reason) { db.RefuseWrites(table, reason); }
    void AllowWrites(const QString &table) { db.AllowWrites(table); }
};

// Fires a timer as its interval running out would.
inline bool Fire(QTimer *timer)
{
    if (!timer || !timer->isActive())
        return false;
    QMetaObject::invokeMethod(timer, "timeout");
    return true;
}

// Types one character into a widget as a keyboard would (any script).
inline void TypeChar(QWidget *w, QChar c)
{
    Qt::Key key = Qt::Key_unknown;
    if (c >= '0' && c <= '9')
        key = Qt::Key(Qt::Key_0 + (c.unicode() - '0'));
    else if (c >= 'a' && c <= 'z')
        key = Qt::Key(Qt::Key_A + (c.unicode() - 'a'));
    QTest::sendKeyEvent(QTest::Press, w, key, QString(c), Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, w, key, QString(c), Qt::NoModifier);
}
inline void TypeText(QWidget *w, const QString &text)
{
    for (QChar c : text)
        TypeChar(w, c);
}
