#pragma once
#include <QFont>
#include <QString>

#include <condition_variable>
#include <mutex>
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

// The program's font set-up, begun early and carried on a second thread:
// - made before the QApplication, fontconfig reads its configuration and
//   font caches while the program connects to the display;
// - then a Listing, made once the QApplication is, waits for that and has
//   Qt list the installed fonts on the second thread while the program opens
//   its database and builds its main window. Qt's font list may be read from
//   any thread; a font needed meanwhile waits for the list. The Listing waits
//   for the thread when it goes, before the QApplication does.
// Either part failing leaves the rest to Qt's own set-up, as without them.
class EarlySetUp
{
public:
    EarlySetUp();
    ~EarlySetUp();
    EarlySetUp(const EarlySetUp &) = delete;
    EarlySetUp &operator=(const EarlySetUp &) = delete;

    class Listing
    {
    public:
        explicit Listing(EarlySetUp &setUp);
        ~Listing();
        Listing(const Listing &) = delete;
        Listing &operator=(const Listing &) = delete;

    private:
        EarlySetUp &m_setUp;
    };

private:
    void run();
    void finish();

    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_fontconfigReady = false;
    bool m_listWanted = false;
    bool m_ending = false;
    std::thread m_thread;
};
}
