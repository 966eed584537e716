#pragma once
#include <QFont>
#include <QString>

// The program's two type faces, with the fallbacks a machine without the
// clinic's fonts gets. Every screen takes its fonts from here.
namespace Fonts {
// "B Nazanin" where installed, else Nazli, else Noto Naskh Arabic.
QString PersianFamily();
// "Cooper Black" where installed, else a bold serif face.
QString TitleFamily();

QFont Persian(qreal pointSize, bool bold = false);
QFont Title(qreal pointSize);
}
