#include "common/ui/Dialogs.h"

#include <QFileDialog>
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
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setLayoutDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    return QMessageBox::StandardButton(box.exec());
}

QString OpenFileName(QWidget *parent, const QString &caption, const QString &start,
                     const QString &filter)
{
    if (state().installed)
        return recordFile({FileKind::Open, caption, start, filter, QString(), QString()});
    return QFileDialog::getOpenFileName(parent, caption, start, filter);
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
    QString type = filter.section(QStringLiteral(";;"), 0, 0);
    const QString answer = QFileDialog::getSaveFileName(
        parent, caption, start, filter, &type,
        confirmOverwrite ? QFileDialog::Options() : QFileDialog::DontConfirmOverwrite);
    if (selectedType)
        *selectedType = type;
    return answer;
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
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, screen);
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
    state().fileTypes.clear();
}
} // namespace Test

} // namespace Dialogs
