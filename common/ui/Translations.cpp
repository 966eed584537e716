#include "common/ui/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace Translations {

bool InstallPersian()
{
    static bool installed = false;
    static bool found = false;
    if (installed)
        return found;
    installed = true;

    // Translators installed later are asked first: Qt's, then ours on top.
    auto *qt = new QTranslator(QCoreApplication::instance());
    found = qt->load(QStringLiteral("qtbase_fa"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (found)
        QCoreApplication::installTranslator(qt);
    else
        delete qt;

    auto *own = new QTranslator(QCoreApplication::instance());
    if (own->load(QStringLiteral(":/translations/kvr_fa.qm")))
        QCoreApplication::installTranslator(own);
    else
        delete own;
    return found;
}

} // namespace Translations
