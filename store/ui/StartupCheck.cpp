#include "store/ui/StartupCheck.h"

#include "common/ui/Dialogs.h"
#include "store/DatabaseError.h"
#include "store/DataControl.h"
#include "store/KvrDatabase.h"
#include "store/DatabaseLocation.h"
#include "store/LiveDatabase.h"
#include "store/ui/ServerLogin.h"

bool DatabaseReadyAtStart(QWidget *parent)
{
    // On a server: connected, or the user chose this computer's file for
    // this time.
    if (DatabaseLocation::OnServer()) {
        if (!ServerLogin::ConnectAtStart(parent))
            return false;
        if (DatabaseLocation::OnServer())
            return true;
    }
    const QString path = DataControl::DatabasePath();
    const QString problem = KvrDatabase::StartupProblem(path);
    if (!problem.isEmpty()) {
        Dialogs::Message(parent, QStringLiteral("خطا"), problem, QMessageBox::Critical);
        return false;
    }
    // From here until the program ends it holds the database: no other
    // window can restore over it meanwhile.
    QString why;
    if (!LiveDatabase::HoldShared(path, &why)) {
        Dialogs::Message(parent, QStringLiteral("خطا"), DatabaseError::Text(DatabaseError::RestoreElsewhere, why),
                         QMessageBox::Critical);
        return false;
    }
    // Said once, here; the file keeps working as it is.
    const QString duplicates = KvrDatabase::DuplicatesMessage(KvrDatabase::PrepareOnce(path));
    if (!duplicates.isEmpty())
        Dialogs::Message(parent, QStringLiteral("توجه"), duplicates, QMessageBox::Warning);
    return true;
}
