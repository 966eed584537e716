#include "common/ProgramFolder.h"

#include "common/PackageTexts.h"
#include "common/SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#ifndef KVR_SHARED_DATA_FROM_BIN
#define KVR_SHARED_DATA_FROM_BIN "../share/kvr"
#endif

namespace {

const char *const kDatabaseName = "KVRDB.mdb";

QString &programOverride()
{
    static QString folder;
    return folder;
}

QString &deliveredOverride()
{
    static QString folder;
    return folder;
}

// The choice for the running executable, made once: the folders do not move
// while the program runs.
const ProgramFolders::Choice *executableChoice()
{
    static std::optional<ProgramFolders::Choice> choice;
    if (!choice) {
        if (!QCoreApplication::instance())
            return nullptr;
        const QString folder = QCoreApplication::applicationDirPath();
        choice = ProgramFolders::Choose(folder, ProgramFolders::FolderWritable(folder),
                                        ProgramFolders::UserDataFolder());
    }
    return &*choice;
}

QString cleaned(const QString &path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

// The path reads left to right inside a right-to-left text.
QString leftToRight(const QString &text)
{
    return QChar(0x202A) + text + QChar(0x202C);
}

bool report(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

namespace ProgramFolders {

QString UserDataFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base.isEmpty() ? QString() : QDir(base).filePath(QStringLiteral("KVR"));
}

QString SharedDataFolder(const QString &executableFolder)
{
    return QDir::cleanPath(QDir(executableFolder).filePath(QStringLiteral(KVR_SHARED_DATA_FROM_BIN)));
}

bool FolderWritable(const QString &folder)
{
    return !folder.isEmpty() && ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

Choice Choose(const QString &executableFolder, bool executableFolderWritable, const QString &userDataFolder)
{
    const QString executable = cleaned(executableFolder);
    const QString shared = SharedDataFolder(executable);
    if (QFileInfo(QDir(shared).filePath(QLatin1String(kDatabaseName))).isFile())
        return {userDataFolder, shared};
    if (executableFolderWritable)
        return {executable, executable};
    return {userDataFolder, executable};
}

} // namespace ProgramFolders

QString ProgramFolder()
{
    if (!programOverride().isEmpty())
        return programOverride();
    if (const ProgramFolders::Choice *choice = executableChoice())
        return choice->program;
    return QDir::currentPath();
}

QString ProgramFile(const QString &fileName)
{
    return QDir(ProgramFolder()).filePath(fileName);
}

QString DeliveredFolder()
{
    if (!deliveredOverride().isEmpty())
        return deliveredOverride();
    if (!programOverride().isEmpty())
        return programOverride();
    if (const ProgramFolders::Choice *choice = executableChoice())
        return choice->delivered;
    return QDir::currentPath();
}

QString DeliveredFile(const QString &fileName)
{
    return QDir(DeliveredFolder()).filePath(fileName);
}

void SetProgramFolder(const QString &path)
{
    programOverride() = path.isEmpty() ? QString() : cleaned(path);
}

void SetDeliveredFolder(const QString &path)
{
    deliveredOverride() = path.isEmpty() ? QString() : cleaned(path);
}

bool IsInstalledProgram()
{
    return cleaned(ProgramFolder()) != cleaned(DeliveredFolder());
}

bool PrepareProgramFolder(QString *error)
{
    const QString folder = ProgramFolder();
    if (!IsInstalledProgram())
        return true;
    if (folder.isEmpty())
        return report(error, PackageText::DataFolderNotMade(QString(), QStringLiteral("no home folder")));

    // The user's records: the folder is made readable by its owner only. A
    // folder that is already there keeps the permissions it has.
    if (!QFileInfo(folder).isDir()) {
        QDir().mkpath(QFileInfo(folder).absolutePath());
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
            return report(error, PackageText::DataFolderNotMade(leftToRight(QDir::toNativeSeparators(folder)),
                                                                 QString::fromLocal8Bit(std::strerror(errno))));
        if (!QFileInfo(folder).isDir())
            return report(error, PackageText::DataFolderNotMade(leftToRight(QDir::toNativeSeparators(folder)),
                                                                 QString::fromLocal8Bit(std::strerror(ENOTDIR))));
    }

    // Anything of the database's name - a file, a folder, even a link that
    // leads nowhere - is the user's and is left alone; opening it later says
    // what is wrong with it.
    const QString target = QDir(folder).filePath(QLatin1String(kDatabaseName));
    struct stat st;
    if (::lstat(QFile::encodeName(target).constData(), &st) == 0)
        return true;

    const QString source = DeliveredFile(QLatin1String(kDatabaseName));
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return report(error, PackageText::DeliveredDatabaseMissing(leftToRight(QDir::toNativeSeparators(source)),
                                                                   in.errorString()));
    SafeFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return report(error, PackageText::DatabaseNotCopied(leftToRight(QDir::toNativeSeparators(target)),
                                                            out.PersianReason()));
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(chunk.data(), chunk.size());
        if (n < 0) {
            out.cancel();
            return report(error, PackageText::DatabaseNotCopied(leftToRight(QDir::toNativeSeparators(target)),
                                                                in.errorString()));
        }
        if (n == 0)
            break;
        if (out.write(chunk.constData(), n) != n)
            break; // the failure sticks; commit reports it
    }
    if (out.commitAsNew())
        return true;
    // Another start of the program made it meanwhile: that one is kept.
    if (out.FailedStep() == SafeFile::Step::Rename && out.SystemError() == EEXIST)
        return true;
    return report(error, PackageText::DatabaseNotCopied(leftToRight(QDir::toNativeSeparators(target)),
                                                        out.PersianReason()));
}

bool RestoreCurrentFolder()
{
    return QDir::setCurrent(ProgramFolder());
}
