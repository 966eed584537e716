#include "store/ui/StartupCheck.h"

#include "common/ui/Dialogs.h"
#include "store/DataControl.h"
#include "store/KvrDatabase.h"

bool DatabaseReadyAtStart(QWidget *parent)
{
    const QString problem = KvrDatabase::StartupProblem(DataControl::DatabasePath());
    if (problem.isEmpty())
        return true;
    Dialogs::Message(parent, QStringLiteral("خطا"), problem, QMessageBox::Critical);
    return false;
}
