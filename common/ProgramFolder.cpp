#include "common/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString &overrideFolder()
{
    static QString folder;
    return folder;
}
}

QString ProgramFolder()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

QString ProgramFile(const QString &fileName)
{
    return QDir(ProgramFolder()).filePath(fileName);
}

void SetProgramFolder(const QString &path)
{
    overrideFolder() = path.isEmpty() ? QString() : QDir::cleanPath(QDir(path).absolutePath());
}

bool RestoreCurrentFolder()
{
    return QDir::setCurrent(ProgramFolder());
}
