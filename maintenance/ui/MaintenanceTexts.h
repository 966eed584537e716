#pragma once
#include "maintenance/BackupTexts.h"

#include <QString>

// The maintenance screens' own texts, kept exactly as the program shows them.
namespace MaintenanceText {
inline QString Caption() { return QString::fromUtf8("Back up ...  Reastor"); }
inline QString Error() { return QString::fromUtf8("خطا"); }
inline QString Message() { return QString::fromUtf8("پيام"); }
inline QString Help() { return QString::fromUtf8("راهنما"); }
inline QString Close() { return QString::fromUtf8("بستن"); }
inline QString Exit() { return QString::fromUtf8("خروج"); }
inline QString NotConnected() { return QString::fromUtf8("ارتباط شما با اينترنت برقرار نمي باشد "); }
inline QString LatestVersion() { return QString::fromUtf8("شما آخرين ورژن نرم افزار را داريد  "); }
inline QString CheckButton() { return QString::fromUtf8("بررسي آپديت جديد"); }
inline QString CheckIntro() { return QString::fromUtf8("جهت به روز رساني نرم افزار ابتدا اتصال به اينترنت را چک کرده و سپس روي دکمه بررسي آپديت جديد کليک کنيد"); }
inline QString Download() { return QString::fromUtf8("دانلود"); }
inline QString CancelDownload() { return QString::fromUtf8("انصراف"); }
inline QString Downloaded() { return QString::fromUtf8("دانلود فايل با موفقيت به پايان رسيد "); }
} // namespace MaintenanceText
