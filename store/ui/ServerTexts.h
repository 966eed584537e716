#pragma once
#include <QString>

// The texts of the server's log-in and of the settings tab where the records
// live, in the letters of the program's other texts.
namespace ServerText {
inline QString LoginCaption() { return QString::fromUtf8("ورود به سرور پايگاه داده"); }
// %1 user, %2 database, %3 server
inline QString AskPassword() { return QString::fromUtf8("گذرواژه کاربر %1 را براي پايگاه داده %2 روي سرور %3 وارد کنيد:"); }
inline QString PasswordRefused() { return QString::fromUtf8("سرور گذرواژه را نپذيرفت. گذرواژه را دوباره وارد کنيد."); }
inline QString KeepPassword() { return QString::fromUtf8("گذرواژه در دسته کليد دسکتاپ (keyring) نگه داشته شود"); }
inline QString NotKept() { return QString::fromUtf8("گذرواژه در دسته کليد دسکتاپ نگه داشته نشد؛ دفعه بعد دوباره پرسيده مي شود."); }
// Why nothing is kept when the program's keyring part (kvr-keyring.so) is
// missing or does not load; the loader's detail may follow on a line of its own.
inline QString KeyringNotLoaded() { return QString::fromUtf8("بخش دسته کليد برنامه بارگذاري نشد."); }
inline QString UseFileThisTime() { return QString::fromUtf8("آيا برنامه اين بار با فايل اطلاعات همين کامپيوتر (KVRDB.mdb) اجرا شود؟ اطلاعاتي که اين بار ثبت شود روي سرور نخواهد بود."); }

// The settings tab.
inline QString TabCaption() { return QString::fromUtf8("محل اطلاعات"); }
inline QString OnFile() { return QString::fromUtf8("فايل اطلاعات روي همين کامپيوتر (KVRDB.mdb)"); }
inline QString OnServer() { return QString::fromUtf8("سرور PostgreSQL براي چند کامپيوتر کلينيک"); }
inline QString Host() { return QString::fromUtf8("نشاني سرور:"); }
inline QString Port() { return QString::fromUtf8("درگاه:"); }
inline QString Database() { return QString::fromUtf8("نام پايگاه داده:"); }
inline QString User() { return QString::fromUtf8("نام کاربر:"); }
inline QString Tls() { return QString::fromUtf8("ارتباط رمزنگاري شده (TLS)"); }
inline QString Save() { return QString::fromUtf8("ذخيره"); }
inline QString Test() { return QString::fromUtf8("آزمايش اتصال"); }
inline QString NeedDatabase() { return QString::fromUtf8("نام پايگاه داده روي سرور را وارد کنيد"); }
inline QString BadPort() { return QString::fromUtf8("درگاه بايد عددي از 1 تا 65535 باشد"); }
inline QString Saved() { return QString::fromUtf8("محل اطلاعات ذخيره شد؛ از اجراي بعدي برنامه به کار مي رود."); }
inline QString NotSaved() { return QString::fromUtf8("محل اطلاعات ذخيره نشد:"); }
inline QString Connected() { return QString::fromUtf8("اتصال به سرور برقرار شد و پايگاه داده براي KVR آماده است."); }
} // namespace ServerText
