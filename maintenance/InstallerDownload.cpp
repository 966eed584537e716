#include "maintenance/InstallerDownload.h"

#include "common/UrlFileName.h"

#include <QUrl>

namespace InstallerDownload {

QString FileName(const QString &url)
{
    // GetFileName takes plain HTTP addresses only; a secure address is given
    // to it with the plain prefix, so the name follows the same rule.
    static const QString secure = QStringLiteral("https://");
    if (url.startsWith(secure, Qt::CaseSensitive))
        return GetFileName(QStringLiteral("http://") + url.mid(secure.size()));
    return GetFileName(url);
}

QString SignatureUrl(const QString &url)
{
    QUrl u(url);
    u.setPath(u.path() + QStringLiteral(".minisig"));
    return u.toString();
}

} // namespace InstallerDownload
