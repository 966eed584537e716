#include "store/ui/Keyring.h"

#include "common/PluginModule.h"
#include "store/ui/KeyringService.h"
#include "store/ui/ServerTexts.h"

#include <QHash>

namespace Keyring {

namespace {

const QString kService = QStringLiteral("KVR");

struct Memory {
    bool used = false;
    bool available = false;
    QHash<QString, QString> entries;
};

Memory &memory()
{
    static Memory m;
    return m;
}

QString keyOf(const DatabaseLocation::Server &server)
{
    return server.Describe();
}

// The desktop's keyring, from the plugin loaded the first time it is needed.
// Without the plugin there is no keyring, as on a computer without a keyring
// service, and *error says that part of the program did not load.
KeyringService *desktop(QString *error)
{
    QString why;
    KeyringService *service = PluginModule::Get<KeyringService>(QStringLiteral("kvr-keyring.so"), &why);
    if (!service && error)
        *error = ServerText::KeyringNotLoaded() + (why.isEmpty() ? QString() : QLatin1Char('\n') + why);
    return service;
}

} // namespace

QString Read(const DatabaseLocation::Server &server, QString *error)
{
    if (memory().used) {
        if (!memory().available && error)
            *error = QStringLiteral("No keyring service.");
        return memory().available ? memory().entries.value(keyOf(server)) : QString();
    }
    KeyringService *service = desktop(error);
    QString password;
    if (!service || !service->ReadPassword(kService, keyOf(server), &password, error))
        return QString();
    return password;
}

bool Write(const DatabaseLocation::Server &server, const QString &password, QString *error)
{
    if (memory().used) {
        if (!memory().available) {
            if (error)
                *error = QStringLiteral("No keyring service.");
            return false;
        }
        memory().entries.insert(keyOf(server), password);
        return true;
    }
    KeyringService *service = desktop(error);
    return service && service->WritePassword(kService, keyOf(server), password, error);
}

void Forget(const DatabaseLocation::Server &server)
{
    if (memory().used) {
        memory().entries.remove(keyOf(server));
        return;
    }
    if (KeyringService *service = desktop(nullptr))
        service->DeletePassword(kService, keyOf(server), nullptr);
}

namespace Test {
void UseMemory(bool available)
{
    memory() = Memory();
    memory().used = true;
    memory().available = available;
}
void UseDesktop()
{
    memory() = Memory();
}
} // namespace Test

} // namespace Keyring
