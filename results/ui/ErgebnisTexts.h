#pragma once
// The results screen's own texts, kept byte for byte as the screen shows them
// (Arabic ي and the letters as they stand).
#include <QString>

namespace ErgebnisText {

inline QString WindowTitle() { return QStringLiteral("نتيجه تست"); }
inline QString ListCaption() { return QStringLiteral("نام و نام خانوادگي"); }
inline QString FactorsHeader() { return QStringLiteral("عوامل اضطرابي"); }
inline QString RawHeader() { return QStringLiteral("نمره خام"); }
inline QString StenHeader() { return QStringLiteral("نمره تراز شده"); }
inline QString ProfileButton() { return QStringLiteral("پروفايل "); }
inline QString ExcelButton() { return QStringLiteral("خروجي اکسل داده ها"); }
// Our own: the export's option to add every examinee's scores.
inline QString ScoresCheck() { return QStringLiteral("خروجي همراه با نمره ها"); }
inline QString HelpButton() { return QStringLiteral("راهنما"); }
inline QString HelpTitle() { return QStringLiteral("راهنما"); }
inline QString CloseButton() { return QStringLiteral("بستن"); }
inline QString ExitButton() { return QStringLiteral("خروج"); }
// Four lines, each ended by CR LF; the third keeps its trailing blank.
inline QString Help()
{
    return QStringLiteral("- روي نام آزمودني مورد نظر دوبار کليک کنيد\r\n")
        + QStringLiteral("- بعد روي دکمه پروفايل کليک کنيد\r\n")
        + QStringLiteral("- جهت خروجي اکسل داده ها براي SPSS \r\n")
        + QStringLiteral("روي دکمه مربوطه کليک کنيد.\r\n");
}

// Texts of our own, in the same letters. A failed write shows its headline,
// then the reason (a Persian sentence), then the system's own description on
// a line of its own.
inline QString ExcelNotSaved() { return QStringLiteral("فايل اکسل ذخيره نشد:"); }
inline QString PdfNotSaved() { return QStringLiteral("فايل PDF ذخيره نشد:"); }
inline QString FailureText(const QString &headline, const QString &reason, const QString &detail)
{
    QString text = headline + QLatin1Char(' ') + reason;
    if (!detail.isEmpty())
        text += QLatin1Char('\n') + detail;
    return text;
}

// The report's button and file dialog that save the profile as a PDF.
inline QString SavePdf() { return QStringLiteral("ذخيره به صورت PDF"); }
// Without the program's printing part the profile can still be saved as a
// PDF: the box says so and asks, the system's description on a last line.
inline QString PrintNotLoaded()
{
    return QStringLiteral("پيش نمايش و چاپ گزارش ممکن نيست: بخش چاپ برنامه بارگذاري نشد.");
}
inline QString SavePdfInstead() { return QStringLiteral("آيا گزارش به صورت PDF ذخيره شود؟"); }

} // namespace ErgebnisText
