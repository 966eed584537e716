#pragma once
#include <QList>
#include <QMessageBox>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

// Every message box and file dialog of the program passes through here. In
// normal use they are real modal dialogs; once a test installs the test hook,
// each box is recorded and answered at once without a modal loop.
namespace Dialogs {

struct Box {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    bool rightToLeft = false;
    bool timed = false; // the self-closing "پيام" box
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
};

enum class FileKind { Open, Save };

// A password asked for: the caption and text shown, whether keeping it was
// offered, and what was answered.
struct PasswordRequest {
    QString caption;
    QString text;
    QString keepText; // the check box's caption; empty when not offered
    bool accepted = false;
    QString password;
    bool keep = false;
};

struct FileRequest {
    FileKind kind = FileKind::Open;
    QString caption;
    QString startFolder;
    QString filter;
    QString answer; // empty: cancelled
    QString answerType; // the file type chosen with the answer
};

// A modal box; returns the button pressed.
QMessageBox::StandardButton Message(QWidget *parent, const QString &caption, const QString &text,
                                    QMessageBox::Icon icon = QMessageBox::NoIcon,
                                    QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                    bool rightToLeft = true);

// The box Message() shows, built but not shown. Lines that start left to
// right (a path, a system message) keep their own order in a right-to-left
// box, and the buttons stand in the program's one order: the affirmative
// ("بلي", "تاييد") first in the reading direction of the box.
std::unique_ptr<QMessageBox> MakeBox(QWidget *parent, const QString &caption, const QString &text,
                                     QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
                                     bool rightToLeft);

// File dialogs (Qt's own, in the program's language); an empty result means
// the user cancelled. The filter is in
// Qt's form ("Excel (*.xls)"); start is a folder or a proposed file path.
QString OpenFileName(QWidget *parent, const QString &caption, const QString &start,
                     const QString &filter);
// With a filter of several file types ("A (*.a);;B (*.b)"), *selectedType
// receives the one the user chose; it starts at the first.
QString SaveFileName(QWidget *parent, const QString &caption, const QString &start,
                     const QString &filter, bool confirmOverwrite = true, QString *selectedType = nullptr);

// Asks for a password in a small modal box: the text, a field that shows
// dots, and (when keepText is given) a check box with that caption; OK and
// Cancel. False when cancelled. *keep tells whether the box was ticked.
bool Password(QWidget *parent, const QString &caption, const QString &text, QString *password,
              const QString &keepText = QString(), bool *keep = nullptr);

// The self-closing box: caption "پيام", OK only, no icon; it closes itself
// 1000 ms after it is shown and the call then returns as if OK was pressed.
// The timer is a child of the box named "TimedMessageTimer" and only ever
// closes its own box.
void ShowTimedMessage(QWidget *screen, const QString &text);

// Test side.
namespace Test {
// Records boxes and file requests and answers them without showing anything.
void Install();
void Uninstall();
bool Installed();
// Answers handed out in order. With none queued a box gets OK when it has
// it, else No, else Cancel, else its first button; a file dialog gets "".
void QueueAnswer(QMessageBox::StandardButton answer);
void QueueFileName(const QString &path);
// A file name answered together with the file type chosen in the dialog;
// with QueueFileName alone the first file type of the filter is chosen.
void QueueFileName(const QString &path, const QString &fileType);
// The answer to the next password box; with none queued it is cancelled.
void QueuePassword(const QString &password, bool keep = false);
QList<PasswordRequest> PasswordRequests();
// Called for each box before the queue is consulted; returning NoButton
// falls through to the queue. Lets a test look at the screen while the box
// would be open.
void SetHandler(std::function<QMessageBox::StandardButton(const Box &)> handler);
QList<Box> Boxes();
QList<FileRequest> FileRequests();
void Clear();
} // namespace Test

} // namespace Dialogs
