#include "store/ui/ServerLogin.h"

#include "common/ui/Dialogs.h"
#include "store/DatabaseError.h"
#include "store/DatabaseLocation.h"
#include "store/LiveServer.h"
#include "store/ServerDatabase.h"
#include "store/ui/Keyring.h"
#include "store/ui/ServerTexts.h"

namespace ServerLogin {

namespace {

QString where(const DatabaseLocation::Server &s)
{
    // Names read left to right inside the right-to-left text.
    return QChar(0x202A) + (s.host.isEmpty() ? QStringLiteral("localhost") : s.host) + QChar(0x202C);
}

// Keeps the password in the keyring, or forgets it, as the user chose.
void keepAsChosen(QWidget *parent, DatabaseLocation::Choice choice, bool keep)
{
    const DatabaseLocation::Server server = DatabaseLocation::CurrentServer();
    bool kept = false;
    if (keep) {
        QString why;
        kept = Keyring::Write(server, DatabaseLocation::Password(), &why);
        if (!kept)
            Dialogs::Message(parent, QStringLiteral("توجه"), ServerText::NotKept() + QLatin1Char('\n') + why,
                             QMessageBox::Information);
    } else if (choice.rememberPassword) {
        Keyring::Forget(server);
    }
    if (kept != choice.rememberPassword && choice.server == server) {
        choice.rememberPassword = kept;
        DatabaseLocation::SaveChoice(choice);
    }
}

} // namespace

bool ConnectAtStart(QWidget *parent)
{
    const DatabaseLocation::Choice choice = DatabaseLocation::SavedChoice();
    const DatabaseLocation::Server server = DatabaseLocation::CurrentServer();
    bool fromKeyring = false;
    if (choice.rememberPassword && DatabaseLocation::Password().isEmpty()) {
        const QString kept = Keyring::Read(server);
        if (!kept.isEmpty()) {
            DatabaseLocation::SetPassword(kept);
            fromKeyring = true;
        }
    }
    bool asked = false;
    bool keep = false;
    for (;;) {
        QString why;
        int code = 0;
        if (LiveServer::HoldShared(&why, &code)) {
            why = ServerDatabase::Problem(&code);
            if (!why.isEmpty()) {
                Dialogs::Message(parent, QStringLiteral("خطا"), DatabaseError::Text(code, why), QMessageBox::Critical);
                LiveServer::Release();
                return false;
            }
            if (asked)
                keepAsChosen(parent, choice, keep);
            return true;
        }
        if (code == DatabaseError::LoginFailed) {
            // A password given before (kept, typed, or from ~/.pgpass) was
            // refused: said above the question.
            QString text = ServerText::AskPassword().arg(server.user, server.database, where(server));
            if (asked || fromKeyring || !DatabaseLocation::Password().isEmpty())
                text = ServerText::PasswordRefused() + QLatin1Char('\n') + text;
            fromKeyring = false;
            QString password;
            if (!Dialogs::Password(parent, ServerText::LoginCaption(), text, &password, ServerText::KeepPassword(), &keep))
                return false;
            DatabaseLocation::SetPassword(password);
            asked = true;
            continue;
        }
        if (Dialogs::Message(parent, QStringLiteral("خطا"), DatabaseError::Text(code, why), QMessageBox::Critical,
                             QMessageBox::Retry | QMessageBox::Cancel)
            == QMessageBox::Retry)
            continue;
        if (Dialogs::Message(parent, QStringLiteral("توجه"), ServerText::UseFileThisTime(), QMessageBox::Question,
                             QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::Yes) {
            DatabaseLocation::UseFile();
            return true;
        }
        return false;
    }
}

} // namespace ServerLogin
