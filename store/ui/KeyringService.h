#pragma once
// The desktop's keyring as the program's plugin kvr-keyring.so offers it: the
// only part of the program that links QtKeychain, loaded the first time a
// password is read, kept or forgotten (store/ui/Keyring.cpp). Each call runs
// to its end before it returns; a keyring that does not answer within a few
// seconds counts as none. On failure *error holds the keyring's own reason.
#include <QString>
#include <QtPlugin>

class KeyringService
{
public:
    virtual ~KeyringService() = default;
    // The password kept under (service, key); false when there is none or no
    // keyring.
    virtual bool ReadPassword(const QString &service, const QString &key, QString *password, QString *error) = 0;
    virtual bool WritePassword(const QString &service, const QString &key, const QString &password,
                               QString *error) = 0;
    virtual bool DeletePassword(const QString &service, const QString &key, QString *error) = 0;
};

#define KVR_KEYRING_IID "kvr.KeyringService/1"
Q_DECLARE_INTERFACE(KeyringService, KVR_KEYRING_IID)
