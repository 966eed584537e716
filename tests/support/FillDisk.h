#pragma once
// Fills a small file system (a SmallTmpfs) until only about `bytes` are free,
// rounded down to whole blocks, with one file "filler". Useful to make a
// write fail only at its very end: leave a little less than the file needs.
#include <QDir>
#include <QFile>
#include <QString>

#include <sys/statvfs.h>

inline qint64 FreeBytes(const QString &folder)
{
    struct statvfs st;
    if (::statvfs(QFile::encodeName(folder).constData(), &st) != 0)
        return -1;
    return qint64(st.f_bavail) * qint64(st.f_frsize);
}

inline bool LeaveFree(const QString &folder, qint64 bytes)
{
    const qint64 free = FreeBytes(folder);
    if (free < 0 || free < bytes)
        return false;
    QFile filler(QDir(folder).filePath(QStringLiteral("filler")));
    if (!filler.open(QIODevice::WriteOnly))
        return false;
    const QByteArray block(64 * 1024, 'f');
    qint64 left = free - bytes;
    while (left > 0) {
        const qint64 n = std::min<qint64>(left, block.size());
        if (filler.write(block.constData(), n) != n)
            return false;
        left -= n;
    }
    return filler.flush() && FreeBytes(folder) <= bytes;
}
