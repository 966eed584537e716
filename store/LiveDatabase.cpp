#include "store/LiveDatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LiveDatabase {

namespace {

struct Held {
    QString key;  // the database the lock belongs to
    int fd = -1;  // -1: no lock file could be used
    bool writable = false;
    bool exclusive = false;
};

Held &held()
{
    static Held h;
    return h;
}

// The path a file has once links and relative parts are resolved; for a
// file that does not exist yet, its folder's resolved path and its name.
QString resolved(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (!folder.isEmpty())
        return QDir(folder).filePath(info.fileName());
    return QDir::cleanPath(info.absoluteFilePath());
}

bool setLock(int fd, short type)
{
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    while (::fcntl(fd, F_OFD_SETLK, &fl) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

void release()
{
    Held &h = held();
    if (h.fd >= 0)
        ::close(h.fd); // the lock goes with the descriptor
    h = Held();
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString LockFilePath(const QString &databasePath)
{
    const QFileInfo info(databasePath);
    return QDir(info.absolutePath()).filePath(QLatin1Char('.') + info.fileName() + QStringLiteral(".lock"));
}

QStringList CompanionPaths(const QString &databasePath)
{
    return {databasePath, databasePath + QStringLiteral("-journal"), databasePath + QStringLiteral("-wal"),
            databasePath + QStringLiteral("-shm"), LockFilePath(databasePath)};
}

bool IsDatabaseOrCompanion(const QString &path, const QString &databasePath)
{
    if (path.isEmpty())
        return false;
    const QString candidate = resolved(path);
    QStringList names = CompanionPaths(QFileInfo(databasePath).absoluteFilePath());
    names += CompanionPaths(resolved(databasePath));
    for (const QString &name : names)
        if (QDir::cleanPath(name) == candidate)
            return true;
    // Another name of the same file.
    struct stat a, b;
    if (::stat(QFile::encodeName(path).constData(), &a) != 0)
        return false;
    for (const QString &name : names)
        if (::stat(QFile::encodeName(name).constData(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
            return true;
    return false;
}

bool HoldShared(const QString &databasePath, QString *error, int waitMs)
{
    const QString key = resolved(databasePath);
    Held &h = held();
    if (!h.key.isEmpty() && h.key == key)
        return true;
    release();

    const QByteArray lockName = QFile::encodeName(LockFilePath(key));
    bool writable = true;
    int fd = ::open(lockName.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        writable = false;
        fd = ::open(lockName.constData(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        // Nowhere to put the lock: a folder nothing can be written to.
        h.key = key;
        return true;
    }
    QElapsedTimer waited;
    waited.start();
    while (!setLock(fd, F_RDLCK)) {
        const int why = errno;
        if ((why != EAGAIN && why != EACCES) || waited.elapsed() >= waitMs) {
            ::close(fd);
            if (error)
                *error = why == EAGAIN || why == EACCES
                    ? QStringLiteral("Another program is restoring the database %1.").arg(key)
                    : QStringLiteral("The lock file %1 cannot be locked: %2")
                          .arg(QString::fromLocal8Bit(lockName), systemText(why));
            return false;
        }
        QThread::msleep(50);
    }
    h.key = key;
    h.fd = fd;
    h.writable = writable;
    return true;
}

Exclusive TakeExclusive(const QString &databasePath, QString *error)
{
    if (!HoldShared(databasePath, error))
        return Exclusive::OtherProgram;
    Held &h = held();
    if (h.fd < 0 || !h.writable) {
        if (error)
            *error = QStringLiteral("The lock file %1 cannot be written.").arg(LockFilePath(h.key));
        return Exclusive::Failed;
    }
    if (h.exclusive)
        return Exclusive::Taken;
    // A lock that conflicts with another program's is refused without
    // touching the shared lock this process holds.
    if (!setLock(h.fd, F_WRLCK)) {
        const int why = errno;
        if (why == EAGAIN || why == EACCES) {
            if (error)
                *error = QStringLiteral("Another program has the database %1 open.").arg(h.key);
            return Exclusive::OtherProgram;
        }
        if (error)
            *error = QStringLiteral("The lock file %1 cannot be locked: %2").arg(LockFilePath(h.key), systemText(why));
        return Exclusive::Failed;
    }
    h.exclusive = true;
    return Exclusive::Taken;
}

void ReleaseExclusive()
{
    Held &h = held();
    if (h.fd >= 0 && h.exclusive)
        setLock(h.fd, F_RDLCK);
    h.exclusive = false;
}

} // namespace LiveDatabase
