#include "common/ui/Fonts.h"

#include <QFontDatabase>
#include <QStringList>

#include <fontconfig/fontconfig.h>

namespace {
// Whether fontconfig knows a font of the family. Asked of fontconfig itself
// rather than of Qt's list of the installed fonts: that list is read on a
// second thread at start (EarlySetUp), and the family is wanted before it is
// done. (QFontDatabase::hasFamily would also have fontconfig resolve the name
// as an alias first, which for each name costs a few milliseconds.)
bool installed(const QString &family)
{
    const QByteArray name = family.toUtf8();
    FcPattern *pattern = FcPatternCreate();
    FcObjectSet *properties = FcObjectSetBuild(FC_FAMILY, static_cast<char *>(nullptr));
    bool found = false;
    if (pattern && properties
        && FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(name.constData()))) {
        if (FcFontSet *fonts = FcFontList(nullptr, pattern, properties)) {
            found = fonts->nfont > 0;
            FcFontSetDestroy(fonts);
        }
    }
    if (properties)
        FcObjectSetDestroy(properties);
    if (pattern)
        FcPatternDestroy(pattern);
    return found;
}

QString firstInstalled(const QStringList &wanted)
{
    for (const QString &w : wanted)
        if (installed(w))
            return w;
    return QString();
}
}

namespace Fonts {

QString PersianFamily()
{
    static const QString family = [] {
        const QString f = firstInstalled({QStringLiteral("B Nazanin"), QStringLiteral("Nazli"),
                                          QStringLiteral("Noto Naskh Arabic")});
        return f.isEmpty() ? QStringLiteral("B Nazanin") : f;
    }();
    return family;
}

QString TitleFamily()
{
    static const QString family = [] {
        const QString f = firstInstalled({QStringLiteral("Cooper Black"), QStringLiteral("DejaVu Serif"),
                                          QStringLiteral("Liberation Serif"), QStringLiteral("Noto Serif"),
                                          QStringLiteral("FreeSerif")});
        return f.isEmpty() ? QStringLiteral("serif") : f;
    }();
    return family;
}

QFont Persian(qreal pointSize, bool bold)
{
    QFont f(PersianFamily());
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    return f;
}

QFont Title(qreal pointSize)
{
    QFont f(TitleFamily());
    f.setStyleHint(QFont::Serif);
    f.setPointSizeF(pointSize);
    // Cooper Black is heavy by itself; a stand-in face is drawn bold to match.
    f.setBold(f.family().compare(QStringLiteral("Cooper Black"), Qt::CaseInsensitive) != 0);
    return f;
}

EarlySetUp::EarlySetUp()
    : m_thread([this] { run(); })
{
}

EarlySetUp::~EarlySetUp() { finish(); }

void EarlySetUp::run()
{
    FcInit();
    std::unique_lock<std::mutex> lock(m_lock);
    m_fontconfigReady = true;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_listWanted || m_ending; });
    if (!m_listWanted || m_ending)
        return;
    lock.unlock();
    QFontDatabase::families();
}

void EarlySetUp::finish()
{
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_ending = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

EarlySetUp::Listing::Listing(EarlySetUp &setUp)
    : m_setUp(setUp)
{
    std::unique_lock<std::mutex> lock(setUp.m_lock);
    setUp.m_changed.wait(lock, [&setUp] { return setUp.m_fontconfigReady || !setUp.m_thread.joinable(); });
    setUp.m_listWanted = true;
    setUp.m_changed.notify_all();
}

EarlySetUp::Listing::~Listing() { m_setUp.finish(); }

}
