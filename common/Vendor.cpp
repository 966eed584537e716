#include "common/Vendor.h"

namespace {
const char *const kBuiltInBase = "https://www.kvr.example";

QString &base()
{
    static QString b = QString::fromLatin1(kBuiltInBase);
    return b;
}
}

namespace Vendor {
QString Base() { return base(); }

void SetBase(const QString &b)
{
    QString v = b.isEmpty() ? QString::fromLatin1(kBuiltInBase) : b;
    while (v.endsWith(QLatin1Char('/')))
        v.chop(1);
    base() = v;
}

QString VersionFileUrl() { return Base() + QStringLiteral("/Soft/kvr/LastVersion.txt"); }
QString InstallerUrl() { return Base() + QStringLiteral("/Soft/kvr/setup-kvr.exe"); }
QString TemplateZipUrl() { return Base() + QStringLiteral("/Soft/kvr/KVR-Excel.zip"); }
QString WebSiteUrl() { return Base() + QStringLiteral("/"); }
QString ShopUrl() { return Base() + QStringLiteral("/shop"); }
QString MessagingUrl() { return Base() + QStringLiteral("/chat"); }
QString ContactPhone() { return QStringLiteral("09000000000"); }
}
