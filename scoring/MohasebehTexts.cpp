#include "scoring/Mohasebeh.h"

namespace Mohasebeh {

QString ScaleCaption(int row)
{
    switch (row) {
    case 0: return QStringLiteral("فقدان توحيد يافتگي يا انسجام هشياري نسبت به خود ( Q3)");
    case 1: return QStringLiteral("فقدان نيروي من يا نورزگرائي عمومي C");
    case 2: return QStringLiteral("ناايمني پارانويائي L");
    case 3: return QStringLiteral("گرايش به احساس گناهکاري O");
    case 4: return QStringLiteral("تنش ارگي ( فشار بن ) Q4");
    case 5: return QStringLiteral("اضطراب پنهان");
    case 6: return QStringLiteral("اضطراب آشکار");
    case 7: return QStringLiteral("نمره کل اضطراب");
    default: return QString();
    }
}

QString MaleText() { return QStringLiteral("مرد"); }
QString FemaleText() { return QStringLiteral("زن"); }
QString GenderUnknownMessage() { return QStringLiteral("جنسيت آزمودني مشخص نشده است"); }

} // namespace Mohasebeh
