#include "store/DatabaseError.h"

#include <sqlite3.h>

namespace DatabaseError {

namespace {
QString sentence(int code)
{
    switch (code) {
    case FileMissing:
        return QString::fromUtf8("فايل پايگاه داده KVRDB.mdb در پوشه برنامه پيدا نشد.");
    case BeingReplaced:
        return QString::fromUtf8("پايگاه داده در همين لحظه از نسخه پشتيبان بازيابي مي شود؛ پس از پايان بازيابي دوباره امتحان کنيد.");
    case RestoreElsewhere:
        return QString::fromUtf8("در پنجره ديگري از برنامه KVR اطلاعات از نسخه پشتيبان بازيابي مي شود؛ پس از پايان آن دوباره امتحان کنيد.");
    case RowGone:
        return QString::fromUtf8("اين رديف در همين فاصله در پنجره ديگري از برنامه حذف شده است؛ فهرست را دوباره باز کنيد.");
    case ServerUnreachable:
        return QString::fromUtf8("ارتباط با سرور پايگاه داده برقرار نشد. روشن بودن سرور، شبکه و تنظيمات سرور در صفحه تنظيمات را بررسي کنيد.");
    case ConnectionLost:
        return QString::fromUtf8("ارتباط با سرور پايگاه داده قطع شد و اين کار انجام نشد؛ چيزي نيمه کاره ذخيره نشده است. پس از برقراري دوباره ارتباط، دوباره امتحان کنيد.");
    case LoginFailed:
        return QString::fromUtf8("سرور پايگاه داده نام کاربر يا گذرواژه را نپذيرفت.");
    case NoPermission:
        return QString::fromUtf8("کاربر سرور پايگاه داده اجازه اين کار را ندارد؛ دسترسي کاربر را روي سرور بررسي کنيد.");
    case NotPrepared:
        return QString::fromUtf8("پايگاه داده روي سرور جدول هاي برنامه KVR را ندارد يا کامل نيست؛ آن را با دستور kvr-cli server-init آماده کنيد.");
    default:
        break;
    }
    if (code == SQLITE_READONLY_DBMOVED)
        return QString::fromUtf8("فايل پايگاه داده در همين فاصله با فايل ديگري جايگزين شده است. اين صفحه را ببنديد و دوباره باز کنيد.");
    if (code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY)
        return QString::fromUtf8("آزمودني ديگري همين کد را دارد؛ دو آزمودني نمي توانند يک کد داشته باشند.");
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QString::fromUtf8("پايگاه داده در دست پنجره ديگري از KVR يا برنامه ديگري بود و پس از چند ثانيه انتظار هم آزاد نشد. چيزي ذخيره نشد؛ کمي بعد دوباره امتحان کنيد.");
    case SQLITE_READONLY:
        return QString::fromUtf8("فايل پايگاه داده فقط خواندني است و چيزي در آن ذخيره نمي شود. اجازه نوشتن در فايل KVRDB.mdb و پوشه آن را بررسي کنيد.");
    case SQLITE_FULL:
        return QString::fromUtf8("جاي خالي ديسک کافي نيست و چيزي در پايگاه داده ذخيره نشد.");
    case SQLITE_IOERR:
        return QString::fromUtf8("خواندن يا نوشتن فايل پايگاه داده با خطاي ديسک روبرو شد.");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QString::fromUtf8("فايل پايگاه داده آسيب ديده است.");
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QString::fromUtf8("فايل پايگاه داده باز نشد.");
    case SQLITE_CONSTRAINT:
        return QString::fromUtf8("پايگاه داده اين تغيير را نپذيرفت.");
    default:
        return QString::fromUtf8("کار با پايگاه داده انجام نشد.");
    }
}
} // namespace

QString Text(int code, const QString &detail)
{
    const QString what = sentence(code);
    const QString words = detail.trimmed();
    return words.isEmpty() ? what : what + QLatin1Char('\n') + words;
}

} // namespace DatabaseError
