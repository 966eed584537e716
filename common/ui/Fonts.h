#pragma once
#include <QFont>
#include <QString>

#include <thread>

// The program's two type faces, with the fallbacks a machine without the
// clinic's fonts gets. Every screen takes its fonts from here.
namespace Fonts {
// "B Nazanin" where installed, else Nazli, else Noto Naskh Arabic.
QString PersianFamily();
// "Cooper Black" where installed, else a bold serif face.
QString TitleFamily();

QFont Persian(qreal pointSize, bool bold = false);
QFont Title(qreal pointSize);

// The system's font set-up (fontconfig reading its configuration and its
// font caches, a good part of the program's start) begun on a second thread
// when made, so that it runs while the program connects to the display.
// Finish() waits for it; call it before the first font is used. A set-up
// that fails leaves the rest to Qt's own, as without this.
class EarlySetUp
{
public:
    EarlySetUp();
    ~EarlySetUp();
    EarlySetUp(const EarlySetUp &) = delete;
    EarlySetUp &operator=(const EarlySetUp &) = delete;
    void Finish();

private:
    std::thread m_thread;
};
}
