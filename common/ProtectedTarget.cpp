#include "common/ProtectedTarget.h"

#include "common/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString &stylesName()
{
    static const QString name = QStringLiteral("Styles");
    return name;
}

// The path the system reaches for `path` (absolute): links followed and "."
// and ".." resolved one folder at a time, as the system does, so ".." after a
// link leads to the parent of where the link points. Parts that do not exist
// are kept as written. With followLast false a link in the last place is
// left as it is (the name a rename would replace).
QString reached(const QString &path, bool followLast)
{
    QStringList todo = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current; // empty: the root
    int links = 0;
    while (!todo.isEmpty()) {
        const QString part = todo.takeFirst();
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            current.truncate(std::max<qsizetype>(current.lastIndexOf(QLatin1Char('/')), 0));
            continue;
        }
        const QString next = current + QLatin1Char('/') + part;
        if (!todo.isEmpty() || followLast) {
            char buf[4096];
            const ssize_t n = ::readlink(QFile::encodeName(next).constData(), buf, sizeof buf);
            if (n > 0 && size_t(n) < sizeof buf && ++links <= 40) {
                const QString link = QFile::decodeName(QByteArray(buf, int(n)));
                if (link.startsWith(QLatin1Char('/')))
                    current.clear();
                todo = link.split(QLatin1Char('/'), Qt::SkipEmptyParts) + todo;
                continue;
            }
        }
        current = next;
    }
    return current.isEmpty() ? QStringLiteral("/") : current;
}

// Both ways a write to `path` can land: on the name itself and on what it
// points to.
QStringList landings(const QString &path)
{
    const QString absolute = QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path);
    QStringList out{reached(absolute, false)};
    const QString followed = reached(absolute, true);
    if (followed != out.first())
        out << followed;
    return out;
}

bool sameFile(const QString &a, const QString &b)
{
    struct stat sa, sb;
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0
        && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool insideFolder(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

} // namespace

QStringList ProtectedProgramFiles()
{
    // What the program writes lives in the program folder; what was delivered
    // with it may live apart (the installed package's shared folder).
    const QStringList written = {
        QStringLiteral("KVRDB.mdb"), QStringLiteral("KVRDB.mdb-journal"), QStringLiteral("KVRDB.mdb-wal"),
        QStringLiteral("KVRDB.mdb-shm"), QStringLiteral(".KVRDB.mdb.lock"), QStringLiteral("LogoKVR.jpg"),
    };
    const QStringList delivered = {
        QStringLiteral("KVR.fr3"), stylesName(), QStringLiteral("icon3.ico"), QStringLiteral("CloseMSN.bmp"),
        QStringLiteral("KVR-Excel.xlsx"), QStringLiteral("KVR-Excel.zip"), QStringLiteral("kvr"),
        QStringLiteral("kvr-cli"),
    };
    QStringList files;
    for (const QString &name : written)
        files << ProgramFile(name);
    for (const QString &name : delivered) {
        files << DeliveredFile(name);
        if (!files.contains(ProgramFile(name)))
            files << ProgramFile(name);
    }
    if (QCoreApplication::instance()) {
        const QString self = QCoreApplication::applicationFilePath();
        if (!self.isEmpty() && !files.contains(self))
            files << self;
    }
    return files;
}

bool IsProtectedTarget(const QString &target, QString *protectedFile)
{
    if (target.isEmpty())
        return false;
    const QStringList targetLandings = landings(target);
    const QString styles = ProgramFile(stylesName());
    const QString deliveredStyles = DeliveredFile(stylesName());
    for (const QString &file : ProtectedProgramFiles()) {
        const bool folder = file == styles || file == deliveredStyles;
        bool hit = false;
        for (const QString &p : landings(file))
            for (const QString &t : targetLandings)
                hit = hit || (folder ? insideFolder(t, p) : t == p);
        hit = hit || (!folder && sameFile(target, file));
        if (hit) {
            if (protectedFile)
                *protectedFile = file;
            return true;
        }
    }
    return false;
}
