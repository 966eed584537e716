// The plugin kvr-keyring.so: the desktop's keyring (the secret service of
// GNOME or KDE) through QtKeychain. Nothing else of the program is in it.
#include "store/ui/KeyringService.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <qt6keychain/keychain.h>

namespace {

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

class DesktopKeyring : public QObject, public KeyringService
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID KVR_KEYRING_IID)
    Q_INTERFACES(KeyringService)

public:
    bool ReadPassword(const QString &service, const QString &key, QString *password, QString *error) override
    {
        QKeychain::ReadPasswordJob job(service);
        job.setKey(key);
        if (!runJob(job, error))
            return false;
        if (password)
            *password = job.textData();
        return true;
    }

    bool WritePassword(const QString &service, const QString &key, const QString &password, QString *error) override
    {
        QKeychain::WritePasswordJob job(service);
        job.setKey(key);
        job.setTextData(password);
        return runJob(job, error);
    }

    bool DeletePassword(const QString &service, const QString &key, QString *error) override
    {
        QKeychain::DeletePasswordJob job(service);
        job.setKey(key);
        return runJob(job, error);
    }
};

#include "DesktopKeyring.moc"
