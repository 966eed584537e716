#include "capture/ImportMessages.h"

#include "capture/CaptureTexts.h"
#include "common/Vendor.h"

namespace ImportMessages {

Message NoFileChosen()
{
    return {QStringLiteral("Error A3"), QStringLiteral(" عمليات با مشکل مواجه شده است "), Icon::Warning};
}

QString ErrorA4Text()
{
    return QStringLiteral("اين فايل دستكاري شده و يا اشتباه انتخاب شده است") + QLatin1Char('\n')
        + QStringLiteral(" لطفا فايل اصلي را از سايت دانلود كنيد ") + QLatin1Char('\n') + QLatin1Char('\n')
        + QStringLiteral(" آدرس سايت ") + QLatin1Char('\n') + QLatin1Char(' ') + Vendor::WebSiteUrl()
        + QLatin1Char(' ');
}

Message For(const AnswerImport::Report &report)
{
    switch (report.outcome) {
    case AnswerImport::Outcome::WrongMarker:
        return {QStringLiteral("Error A1"), QStringLiteral(" فايل انتخاب شده قابل بارگذاري نيست "), Icon::Information};
    case AnswerImport::Outcome::Unreadable:
        return {QStringLiteral("Error A4"), ErrorA4Text(), Icon::Information};
    case AnswerImport::Outcome::WriteFailed:
    case AnswerImport::Outcome::ReaderMissing:
        // Nothing was stored; say so rather than report success over it.
        return {QStringLiteral("خطا"), report.reason, Icon::Critical};
    case AnswerImport::Outcome::Uncalculated:
        // Nothing was stored: say what to do, the cells as a detail below.
        return {CaptureText::Attention(), CaptureText::UncalculatedWorkbook() + QLatin1Char('\n') + report.reason,
                Icon::Warning};
    case AnswerImport::Outcome::Imported:
        return {QStringLiteral("ورود اطلاعات"),
                QStringLiteral("  داده ها با موفقيت وارد سيستم شدند ") + QStringLiteral("\r\n"), Icon::Information};
    }
    // Not reached: every outcome has its message above, and an outcome added
    // later without one must never read as a success.
    return {QStringLiteral("خطا"), report.reason, Icon::Critical};
}

} // namespace ImportMessages
