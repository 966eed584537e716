#include "common/ui/Buttons.h"

#include "common/ui/Twips.h"

#include <QPushButton>

QPushButton *NamedButton(QWidget *parent, const QString &text, const char *name, const QRectF &twips)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    if (!twips.isEmpty())
        PlaceTwips(b, twips.left(), twips.top(), twips.width(), twips.height());
    return b;
}
