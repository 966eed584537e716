#include "common/ui/Dialogs.h"

#include "common/BidiText.h"
#include "common/ui/Placement.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QPointer>
#include <QTimer>

namespace Dialogs {
namespace {

struct TestState {
    bool installed = false;
    QList<QMessageBox::StandardButton> answers;
    QList<QString> fileNames;
    QList<QString> fileTypes; // beside fileNames; empty: the filter's first type
    std::function<QMessageBox::StandardButton(const Box &)> handler;
    QList<Box> boxes;
    QList<FileRequest> files;
    QList<PasswordRequest> passwordAnswers;
    QList<PasswordRequest> passwords;
};

TestState &state()
{
    static TestState s;
    return s;
}

QMessageBox::StandardButton defaultAnswer(QMessageBox::StandardButtons buttons)
{
    for (QMessageBox::StandardButton b : {QMessageBox::Ok, QMessageBox::No, QMessageBox::Cancel})
        if (buttons.testFlag(b))
            return b;
    for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1)
        if (buttons.testFlag(QMessageBox::StandardButton(bit)))
            return QMessageBox::StandardButton(bit);
    return QMessageBox::NoButton;
}

QMessageBox::StandardButton recordBox(Box box)
{
    TestState &s = state();
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    if (s.handler)
        answer = s.handler(box);
    if (answer == QMessageBox::NoButton && !s.answers.isEmpty())
        answer = s.answers.takeFirst();
    if (answer == QMessageBox::NoButton)
        answer = defaultAnswer(box.buttons);
    box.answer = answer;
    s.boxes.append(box);
    return answer;
}

QString recordFile(FileRequest request)
{
    TestState &s = state();
    request.answer = s.fileNames.isEmpty() ? QString() : s.fileNames.takeFirst();
    request.answerType = s.fileTypes.isEmpty() ? QString() : s.fileTypes.takeFirst();
    if (request.answerType.isEmpty())
        request.answerType = request.filter.section(QStringLiteral(";;"), 0, 0);
    s.files.append(request);
    return request.answer;
}

} // namespace

QMessageBox::StandardButton Message(QWidget *parent, const QString &caption, const QString &text,
                                    QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
                                    bool rightToLeft)
{
    if (state().installed) {
        Box b;
        b.caption = caption;
        b.text = text;
        b.icon = icon;
        b.buttons = buttons;
        b.rightToLeft = rightToLeft;
        return recordBox(b);
    }
    return QMessageBox::StandardButton(MakeBox(parent, caption, text, icon, buttons, rightToLeft)->exec());
}

std::unique_ptr<QMessageBox> MakeBox(QWidget *parent, const QString &caption, const QString &text,
                                     QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
                                     bool rightToLeft)
{
    auto box = std::make_unique<QMessageBox>(icon, caption, rightToLeft ? Bidi::KeepLineDirections(text) : text,
                                             buttons, parent);
    box->setLayoutDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    // The platform decides the order of the buttons; the program keeps one:
    // the affirmative button to the right of the negative one, as in a
    // right-to-left row of "بلي" and "خير".
    auto *row = box->findChild<QDialogButtonBox *>();
    QAbstractButton *yes = box->button(buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
    QAbstractButton *no = box->button(buttons.testFlag(QMessageBox::No) ? QMessageBox::No : QMessageBox::Cancel);
    auto *layout = row ? qobject_cast<QBoxLayout *>(row->layout()) : nullptr;
    if (yes && no && layout) {
        const bool yesFirst = layout->indexOf(yes) < layout->indexOf(no);
        const bool mirrored = row->layoutDirection() == Qt::RightToLeft;
        // The first item of a mirrored row stands rightmost.
        const bool yesRight = yesFirst == mirrored;
        if (!yesRight)
            row->setLayoutDirection(mirrored ? Qt::LeftToRight : Qt::RightToLeft);
    }
    return box;
}

namespace {
// Qt's own dialog (translated with the program's texts), in the list view:
// the detail columns would show sizes, types and dates in the system's
// language. Paths and filter patterns read left to right.
QString runFileDialog(QWidget *parent, FileKind kind, const QString &caption, const QString &start,
                      const QString &filter, bool confirmOverwrite, QString *selectedType = nullptr)
{
    QFileDialog dialog(parent, caption, start, filter);
    QFileDialog::Options options = QFileDialog::DontUseNativeDialog;
    if (!confirmOverwrite)
        options |= QFileDialog::DontConfirmOverwrite;
    dialog.setOptions(options);
    dialog.setAcceptMode(kind == FileKind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(kind == FileKind::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setViewMode(QFileDialog::List);
    // Room for a long folder path; the placement keeps it on the screen.
    dialog.resize(760, 460);
    Placement::Arrange(&dialog);
    // Combo boxes draw their text in the program's reading direction, not in
    // their own: the folder path and the file patterns come out right to
    // left, slashes at the wrong ends. While the dialog is open the program's
    // direction is left to right; the dialog and every screen keep their own
    // (right to left), so only those two boxes change.
    struct ProgramDirection {
        Qt::LayoutDirection saved = QGuiApplication::layoutDirection();
        ~ProgramDirection() { QApplication::setLayoutDirection(saved); }
    } programDirection;
    dialog.setLayoutDirection(programDirection.saved);
    for (const char *name : {"lookInCombo", "fileTypeCombo"})
        if (QWidget *w = dialog.findChild<QWidget *>(QLatin1String(name)))
            w->setLayoutDirection(Qt::LeftToRight);
    QApplication::setLayoutDirection(Qt::LeftToRight);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    if (selectedType)
        *selectedType = dialog.selectedNameFilter();
    return dialog.selectedFiles().value(0);
}
} // namespace

QString OpenFileName(QWidget *parent, const QString &caption, const QString &start,
                     const QString &filter)
{
    if (state().installed)
        return recordFile({FileKind::Open, caption, start, filter, QString(), QString()});
    return runFileDialog(parent, FileKind::Open, caption, start, filter, true);
}

QString SaveFileName(QWidget *parent, const QString &caption, const QString &start,
                     const QString &filter, bool confirmOverwrite, QString *selectedType)
{
    if (state().installed) {
        const QString answer = recordFile({FileKind::Save, caption, start, filter, QString(), QString()});
        if (selectedType)
            *selectedType = state().files.constLast().answerType;
        return answer;
    }
    return runFileDialog(parent, FileKind::Save, caption, start, filter, confirmOverwrite, selectedType);
}

bool Password(QWidget *parent, const QString &caption, const QString &text, QString *password,
              const QString &keepText, bool *keep)
{
    if (state().installed) {
        TestState &s = state();
        PasswordRequest r = s.passwordAnswers.isEmpty() ? PasswordRequest() : s.passwordAnswers.takeFirst();
        r.caption = caption;
        r.text = text;
        r.keepText = keepText;
        if (keepText.isEmpty())
            r.keep = false;
        s.passwords.append(r);
        if (r.accepted) {
            *password = r.password;
            if (keep)
                *keep = r.keep;
        }
        return r.accepted;
    }
    QDialog box(parent);
    box.setObjectName(QStringLiteral("PasswordBox"));
    box.setWindowTitle(caption);
    box.setLayoutDirection(Qt::RightToLeft);
    auto *label = new QLabel(text, &box);
    label->setWordWrap(true);
    auto *field = new QLineEdit(&box);
    field->setObjectName(QStringLiteral("PasswordField"));
    field->setEchoMode(QLineEdit::Password);
    // A password is typed left to right, whatever the screen's direction.
    field->setLayoutDirection(Qt::LeftToRight);
    label->setBuddy(field);
    auto *keepBox = new QCheckBox(keepText, &box);
    keepBox->setObjectName(QStringLiteral("KeepPassword"));
    keepBox->setVisible(!keepText.isEmpty());
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    auto *layout = new QVBoxLayout(&box);
    layout->addWidget(label);
    layout->addWidget(field);
    layout->addWidget(keepBox);
    layout->addWidget(buttons);
    field->setFocus();
    if (box.exec() != QDialog::Accepted)
        return false;
    *password = field->text();
    if (keep)
        *keep = !keepText.isEmpty() && keepBox->isChecked();
    return true;
}

void ShowTimedMessage(QWidget *screen, const QString &text)
{
    const QString caption = QString::fromUtf8("پيام");
    if (state().installed) {
        Box b;
        b.caption = caption;
        b.text = text;
        b.timed = true;
        recordBox(b);
        return;
    }
    std::unique_ptr<QMessageBox> owned = MakeBox(screen, caption, text, QMessageBox::NoIcon, QMessageBox::Ok, true);
    QMessageBox &box = *owned;
    auto *timer = new QTimer(&box);
    timer->setObjectName(QStringLiteral("TimedMessageTimer"));
    timer->setSingleShot(true);
    timer->setInterval(1000);
    QPointer<QMessageBox> guard(&box);
    QObject::connect(timer, &QTimer::timeout, &box, [guard] {
        if (guard && guard->isVisible())
            guard->accept();
    });
    timer->start();
    box.exec();
}

namespace Test {
void Install()
{
    state() = TestState();
    state().installed = true;
}
void Uninstall() { state() = TestState(); }
bool Installed() { return state().installed; }
void QueueAnswer(QMessageBox::StandardButton answer) { state().answers.append(answer); }
void QueueFileName(const QString &path) { QueueFileName(path, QString()); }
void QueueFileName(const QString &path, const QString &fileType)
{
    state().fileNames.append(path);
    state().fileTypes.append(fileType);
}
void QueuePassword(const QString &password, bool keep)
{
    PasswordRequest r;
    r.accepted = true;
    r.password = password;
    r.keep = keep;
    state().passwordAnswers.append(r);
}
QList<PasswordRequest> PasswordRequests() { return state().passwords; }
void SetHandler(std::function<QMessageBox::StandardButton(const Box &)> handler)
{
    state().handler = std::move(handler);
}
QList<Box> Boxes() { return state().boxes; }
QList<FileRequest> FileRequests() { return state().files; }
void Clear()
{
    state().boxes.clear();
    state().files.clear();
    state().answers.clear();
    state().fileNames.clear();
    state().passwordAnswers.clear();
    state().passwords.clear();
    state().fileTypes.clear();
}
} // namespace Test

} // namespace Dialogs
