#pragma once
// A server password kept in the desktop's keyring (the secret service of
// GNOME or KDE, through the plugin kvr-keyring.so, store/ui/KeyringService.h),
// never in a file of the program's own. Without a keyring service, or without
// the plugin, nothing is kept and every call says so; the program then asks
// for the password at every start.
#include "store/DatabaseLocation.h"

#include <QString>

namespace Keyring {

// The password kept for the server (its user, host, port and database), or
// empty when none is kept or there is no keyring.
QString Read(const DatabaseLocation::Server &server, QString *error = nullptr);
bool Write(const DatabaseLocation::Server &server, const QString &password, QString *error = nullptr);
void Forget(const DatabaseLocation::Server &server);

namespace Test {
// A keyring in memory in place of the desktop's: available, or missing as
// on a computer without a keyring service.
void UseMemory(bool available);
void UseDesktop();
} // namespace Test

} // namespace Keyring
