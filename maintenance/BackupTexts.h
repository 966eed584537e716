#pragma once
#include <QString>

// The texts of the backup and restore, shared by the backup screen and
// kvr-cli; the first ones are kept exactly as the program always showed them.
namespace MaintenanceText {
inline QString AskPath() { return QString::fromUtf8("لطفا مسير تهيه نسخه پشتيبان را وارد کنيد"); }
inline QString AskRestorePath() { return QString::fromUtf8("لطفا مسير فايل مربوطه را وارد کنيد"); }
inline QString ReplaceQuestion() { return QString::fromUtf8("فايل پشتيباني با اين نام قبلا ايجاد شده آيا ميخواهيد اين فايل را جايگزين کنيد؟"); }
inline QString BackupMade() { return QString::fromUtf8("نسخه پشتيبان تهيه گرديد"); }
inline QString BackupNotMade() { return QString::fromUtf8("عدم موفقيت در تهيه نسخه پشتيبان"); }
inline QString RestoreQuestion() { return QString::fromUtf8("آيا ميخواهيد اطلاعات را بازيابي کنيد؟"); }
inline QString Restored() { return QString::fromUtf8("بازيابي اطلاعات انجام شد"); }
inline QString RestoreNotDone() { return QString::fromUtf8("عدم موفقيت در بازيابي اطلاعات "); }
inline QString CopyFailed() { return QString::fromUtf8("اشکال در ايجاد نسخه پشتيباني"); }
inline QString CloseOtherForms() { return QString::fromUtf8("تمامي فرم ها را ببندبد به جز فرم اصلي و اين پنجره"); }

// Texts of our own, in the same letters.
inline QString TargetIsLive() { return QString::fromUtf8("نسخه پشتيبان را نمي توان روي خود پايگاه داده برنامه (KVRDB.mdb) يا فايل هاي همراه آن نوشت. نام يا پوشه ديگري انتخاب کنيد."); }
inline QString SourceIsLive() { return QString::fromUtf8("فايل انتخاب شده خود پايگاه داده برنامه (KVRDB.mdb) يا يکي از فايل هاي همراه آن است و نمي توان اطلاعات را از آن بازيابي کرد."); }
inline QString OtherWindowsOpen() { return QString::fromUtf8("بازيابي انجام نشد: برنامه KVR در پنجره ديگري هم باز است. همه پنجره هاي ديگر KVR را ببنديد و دوباره بازيابي کنيد. اطلاعات تغييري نکرده است."); }
inline QString SourceUnreadable() { return QString::fromUtf8("خواندن فايل مبدا ممکن نشد."); }
inline QString CopyInterrupted() { return QString::fromUtf8("رونوشت نيمه کاره متوقف شد."); }
} // namespace MaintenanceText
