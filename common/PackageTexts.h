#pragma once
// Texts about where the program keeps its files and how an installed program
// is updated, in the style of the program's other texts (Arabic ي, and ک as
// the neighbouring texts write it).
#include "common/Vendor.h"

#include <QChar>
#include <QString>

namespace PackageText {

// The user's data folder could not be made. `folder` and `why` are shown on
// lines of their own.
inline QString DataFolderNotMade(const QString &folder, const QString &why)
{
    return QString::fromUtf8("پوشه اطلاعات برنامه ساخته نشد:") + QLatin1Char('\n') + folder + QLatin1Char('\n') + why
        + QLatin1Char('\n') + QString::fromUtf8("برنامه بدون اين پوشه اجرا نمي شود.");
}

// The installation lacks the database it delivers.
inline QString DeliveredDatabaseMissing(const QString &path, const QString &why)
{
    return QString::fromUtf8("فايل بانک اطلاعاتي همراه برنامه پيدا نشد:") + QLatin1Char('\n') + path + QLatin1Char('\n')
        + why + QLatin1Char('\n') + QString::fromUtf8("لطفا برنامه را دوباره نصب کنيد.");
}

// The first start could not copy the delivered database into the user's
// data folder.
inline QString DatabaseNotCopied(const QString &path, const QString &why)
{
    return QString::fromUtf8("فايل بانک اطلاعاتي در پوشه اطلاعات شما ساخته نشد:") + QLatin1Char('\n') + path
        + QLatin1Char('\n') + why;
}

// The update download screen of an installed program: updates come as a
// package from the vendor's site, never as an installer the program starts.
inline QString UpdateComesAsPackage()
{
    return QString::fromUtf8("اين نسخه نرم افزار به صورت بسته نصب شده است و نسخه جديد آن نيز به صورت بسته ارائه مي شود.")
        + QLatin1Char('\n')
        + QString::fromUtf8("بسته جديد را از سايت %1 دريافت و مانند برنامه هاي ديگر نصب کنيد؛ "
                            "اطلاعات شما در به روز رساني حفظ مي شود.")
              .arg(QChar(0x202A) + Vendor::WebSiteUrl() + QChar(0x202C))
        + QLatin1Char('\n') + QChar(0x202A) + QStringLiteral("sudo apt install ./kvr_*_amd64.deb") + QChar(0x202C);
}

} // namespace PackageText
