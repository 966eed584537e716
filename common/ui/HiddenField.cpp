#include "common/ui/HiddenField.h"

#include <QLineEdit>

QLineEdit *HiddenField(QWidget *parent, const char *name)
{
    auto *f = new QLineEdit(parent);
    f->setObjectName(QLatin1String(name));
    f->hide();
    return f;
}
