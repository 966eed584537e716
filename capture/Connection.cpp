#include "capture/Connection.h"

#include "common/ProgramFolder.h"

#include <QDir>

namespace CaptureDb {
QString ConnectionText()
{
    QString folder = QDir::toNativeSeparators(ProgramFolder());
    while (folder.endsWith(QLatin1Char('\\')) || folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + folder
           + QStringLiteral("\\KVRDB.mdb;");
}
}
