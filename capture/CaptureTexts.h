#pragma once
// The screens' own texts, kept byte for byte as the program has always shown
// them (note the Arabic ي and ك, and ک where the program writes it).
#include <QString>

namespace CaptureText {

inline QString Message() { return QString::fromUtf8("پيام"); }
inline QString Error() { return QString::fromUtf8("خطا"); }
inline QString Attention() { return QString::fromUtf8("توجه"); }
inline QString LblName() { return QString::fromUtf8("نام و نام خانوادگي:"); }
inline QString LblAge() { return QString::fromUtf8("سن:"); }
inline QString LblEducation() { return QString::fromUtf8("تحصيلات:"); }
inline QString LblTelephone() { return QString::fromUtf8("شماره تماس:"); }
inline QString LblTester() { return QString::fromUtf8("نام آزمونگر:"); }
inline QString LblDate() { return QString::fromUtf8("تاريخ:"); }
inline QString LblGender() { return QString::fromUtf8("جنس:"); }
inline QString LblMarital() { return QString::fromUtf8("تاهل:"); }
inline QString Male() { return QString::fromUtf8("مرد"); }
inline QString Female() { return QString::fromUtf8("زن"); }
inline QString GenderPrompt() { return QString::fromUtf8("جنسيت را انتخاب كنيد"); }
inline QString Single() { return QString::fromUtf8("مجرد"); }
inline QString Married() { return QString::fromUtf8("متاهل"); }
inline QString Divorced() { return QString::fromUtf8("مطلقه"); }
inline QString Widowed() { return QString::fromUtf8("بيوه"); }
inline QString MaritalPrompt() { return QString::fromUtf8("وضعيت تأهل خود را مشخص کنيد"); }
inline QString HeadName() { return QString::fromUtf8("نام و نام خانوادگي"); }
inline QString HeadAge() { return QString::fromUtf8("سن"); }
inline QString HeadGender() { return QString::fromUtf8("جنس"); }
inline QString HeadMarital() { return QString::fromUtf8("تاهل"); }
inline QString HeadDate() { return QString::fromUtf8("تاريخ"); }
inline QString HeadEducation() { return QString::fromUtf8("تحصيلات"); }
inline QString HeadTelephone() { return QString::fromUtf8("تلفن"); }
inline QString HeadTester() { return QString::fromUtf8("نام آزمونگر"); }
inline QString ListToolTip() { return QString::fromUtf8("جهت پاسخ به سوالات روي نام آزمودني مورد نظر دوبار كليك كنيد"); }
inline QString BtnNew() { return QString::fromUtf8("جديد"); }
inline QString BtnEdit() { return QString::fromUtf8("ويرايش"); }
inline QString BtnSave() { return QString::fromUtf8("ذخيره"); }
inline QString BtnCancel() { return QString::fromUtf8("انصراف"); }
inline QString BtnDelete() { return QString::fromUtf8("حذف"); }
inline QString BtnExit() { return QString::fromUtf8("خروج"); }
inline QString BtnHelp() { return QString::fromUtf8("راهنما"); }
inline QString BtnClose() { return QString::fromUtf8("بستن"); }
inline QString BtnNext() { return QString::fromUtf8("بعدي"); }
inline QString BtnBack() { return QString::fromUtf8("قبلي"); }
inline QString BtnStart() { return QString::fromUtf8("شروع"); }
inline QString NeedName() { return QString::fromUtf8("نام آزمودني را وارد کنيد"); }
inline QString NeedAge() { return QString::fromUtf8("سن آزمودني را وارد کنيد"); }
inline QString NeedGender() { return QString::fromUtf8("جنسيت را مشخص كنيد"); }
inline QString ConfirmDelete() { return QString::fromUtf8("آيا براي حذف کردن مطمئن هستيد؟"); }
inline QString Deleted() { return QString::fromUtf8("حذف با موفقيت انجام گرفت"); }
inline QString Saved() { return QString::fromUtf8("ذخيره شد"); }
inline QString End() { return QString::fromUtf8("پايان"); }
inline QString Start() { return QString::fromUtf8("شروع"); }
inline QString TestCaption() { return QString::fromUtf8("اجراي تست"); }
inline QString Help() { return QString::fromUtf8("راهنما"); }

// The answer sheet's help, lines ending in CR LF.
inline QString SheetHelp()
{
    return QString::fromUtf8("- ابتدا روي نام آزمودني دوبار کليک کنيد\r\n"
                             "- پاسخها را بصورت اعداد زير وارد کنيد\r\n"
                             "- گزينه الف عدد (صفر) 0\r\n"
                             "- گزينه ب عدد 1\r\n"
                             "- گزينه ج عدد 2\r\n"
                             "- در پايان روي دکمه ذخيره کليک کنيد.\r\n");
}

// Texts of our own, in the same letters.
inline QString NoAnswerRow() { return QString::fromUtf8("براي اين آزمودني رديف پاسخ وجود ندارد و پاسخها جايي ذخيره نمي شوند. آزمودني را در صفحه آزمودني ها ويرايش و ذخيره كنيد تا رديف پاسخ او ساخته شود."); }
inline QString SaveFailed() { return QString::fromUtf8("ذخيره انجام نشد:"); }
inline QString DeleteFailed() { return QString::fromUtf8("حذف انجام نشد:"); }
inline QString CodeFailed() { return QString::fromUtf8("كد آزمودني تعيين نشد:"); }
// Another program window gave the code away while this examinee was entered.
inline QString CodeChanged(const QString &shown, const QString &stored)
{
    return QString::fromUtf8("كد %1 را در همين فاصله پنجره ديگري از برنامه به آزمودني ديگري داد؛ اين آزمودني با كد %2 ذخيره شد.")
        .arg(shown, stored);
}
inline QString CloseAnyway() { return QString::fromUtf8("پاسخهاي ذخيره نشده از دست مي روند. صفحه بسته شود؟"); }
inline QString IntroTitle() { return QString::fromUtf8("پرسشنامه اضطراب"); }
inline QString IntroText() { return QString::fromUtf8("در اين پرسشنامه 40 سوال درباره دشواري هايي آمده است كه بيشتر مردم گاه به گاه احساس مي كنند. براي هر سوال يكي از سه گزينه را برگزينيد. گزينه وسط را تنها وقتي انتخاب كنيد كه انتخاب ميان دو گزينه ديگر به هيچ روي ممكن نباشد."); }
// The import refuses a workbook whose cells hold formulas without their
// results (as some programs write them); opening and saving it once in a
// spreadsheet program stores the results.
inline QString UncalculatedWorkbook() { return QString::fromUtf8("در اين فايل فرمولهايي هست كه نتيجه آنها در فايل ذخيره نشده است؛ هيچ پاسخي وارد نشد.\nفايل را يك بار در برنامه اكسل يا برنامه صفحه گسترده ديگري باز و ذخيره كنيد و دوباره انتخاب كنيد."); }
// The part of the program that opens .xlsx files did not load
// (capture/ZipArchive.h); .xls files are still read.
inline QString XlsxReaderMissing() { return QString::fromUtf8("فايلهاي xlsx خوانده نمي شوند: بخشي از برنامه كه آنها را باز مي كند پيدا نشد يا باز نشد؛ هيچ پاسخي وارد نشد.\nبرنامه را دوباره نصب كنيد، يا فايل را در برنامه اكسل به صورت xls ذخيره كنيد و دوباره انتخاب كنيد."); }
inline QString TestHelp() { return QString::fromUtf8("پس از انتخاب يك گزينه، با دكمه «بعدي» يا «قبلي» به سوال ديگر برويد. پاسخ هر سوال با زدن «بعدي» يا «قبلي» ذخيره مي شود. در پايان از اين صفحه خارج شويد و نمره ها، نيمرخ و تفسير را در صفحه نتايج ببينيد."); }

} // namespace CaptureText
