#include "common/ui/ProgramIcon.h"

#include "common/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSize>

QIcon ProgramIcon(const QString &executableFolder)
{
    // <prefix>/share/kvr is the shared data folder; its icons are beside it.
    const QDir icons(QDir::cleanPath(ProgramFolders::SharedDataFolder(executableFolder)
                                     + QStringLiteral("/../icons/hicolor")));
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString file = icons.filePath(QStringLiteral("%1x%1/apps/kvr.png").arg(size));
        // Given its size, a file is read only when that size is drawn.
        if (QFileInfo(file).isFile())
            icon.addFile(file, QSize(size, size));
    }
    return icon;
}
