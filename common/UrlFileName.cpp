#include "common/UrlFileName.h"

QString GetFileName(const QString &url)
{
    static const QString kPrefix = QStringLiteral("http://");

    if (url.size() < 2)
        return {};
    if (!url.startsWith(kPrefix, Qt::CaseSensitive) || url == kPrefix)
        return {};

    // The name follows the last "/" before the final character, so a URL
    // ending in "/" still yields the part before it. The prefix guarantees
    // one is found.
    const qsizetype slash = url.lastIndexOf(u'/', url.size() - 2);
    const QString name = url.mid(slash + 1);

    // It needs a full stop somewhere before its last character.
    if (name.size() < 2 || name.lastIndexOf(u'.', name.size() - 2) < 0)
        return {};

    // The name is joined to the program folder: anything that names a folder
    // or climbs out of it is refused. This also refuses the part before a
    // trailing "/", which names a folder on the server and no file.
    if (name.contains(u'/') || name.contains(u'\\') || name == u"." || name == u"..")
        return {};
    return name;
}
