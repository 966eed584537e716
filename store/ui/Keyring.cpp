#include "store/ui/Keyring.h"

#include <QEventLoop>
#include <QHash>
#include <QTimer>

#include <qt6keychain/keychain.h>

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

// Runs a keychain job to its end; a keyring that does not answer within a
// few seconds counts as none.
bool runJob(QKeychain::Job &job, QString *error)
{
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    job.setAutoDelete(false);
    job.start();
    if (!finished)
        loop.exec();
    if (!finished) {
        if (error)
            *error = QStringLiteral("The keyring did not answer.");
        return false;
    }
    if (job.error() != QKeychain::NoError) {
        if (error)
            *error = job.errorString();
        return false;
    }
    return true;
}

} // namespace

QString Read(const DatabaseLocation::Server &server, QString *error)
{
    if (memory().used) {
        if (!memory().available && error)
            *error = QStringLiteral("No keyring service.");
        return memory().available ? memory().entries.value(keyOf(server)) : QString();
    }
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(keyOf(server));
    return runJob(job, error) ? job.textData() : QString();
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
    QKeychain::WritePasswordJob job(kService);
    job.setKey(keyOf(server));
    job.setTextData(password);
    return runJob(job, error);
}

void Forget(const DatabaseLocation::Server &server)
{
    if (memory().used) {
        memory().entries.remove(keyOf(server));
        return;
    }
    QKeychain::DeletePasswordJob job(kService);
    job.setKey(keyOf(server));
    runJob(job, nullptr);
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
