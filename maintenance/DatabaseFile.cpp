#include "maintenance/DatabaseFile.h"

#include <QFile>
#include <QFileInfo>
#include "store/KvrDatabase.h"

#include <QtEndian>

namespace DatabaseFile {
namespace {

const char *const kNotKvr = "فايل انتخاب شده پايگاه داده KVR نيست يا آسيب ديده است";

// Reads the fixed SQLite header; a file cut short after its header is
// caught here by the page count the header promises.
QString headerRefusal(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return f.errorString();
    const QByteArray header = f.read(100);
    if (header.size() < 100 || !header.startsWith(QByteArray("SQLite format 3\0", 16)))
        return QStringLiteral("not an SQLite file");
    const auto u32 = [&header](int at) {
        return qFromBigEndian<quint32>(reinterpret_cast<const uchar *>(header.constData()) + at);
    };
    const quint16 rawPageSize = qFromBigEndian<quint16>(reinterpret_cast<const uchar *>(header.constData()) + 16);
    const qint64 pageSize = rawPageSize == 1 ? 65536 : rawPageSize;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0)
        return QStringLiteral("bad page size");
    const quint32 pages = u32(28);
    const bool pagesValid = pages != 0 && u32(24) == u32(92);
    if (pagesValid && f.size() < qint64(pages) * pageSize)
        return QStringLiteral("the file is shorter than its header says");
    if (f.size() % pageSize != 0)
        return QStringLiteral("the file does not end on a page boundary");
    return QString();
}

} // namespace

QString Refusal(const QString &path)
{
    const QString notKvr = QString::fromUtf8(kNotKvr);
    if (!QFileInfo(path).isFile() || !headerRefusal(path).isEmpty())
        return notKvr;
    QString why;
    if (!KvrDatabase::Validate(path, &why))
        return notKvr + QLatin1Char('\n') + why;
    // Nothing in the file is trusted: it must not bring statements of its own.
    why = KvrDatabase::UntrustedContent(path);
    if (!why.isEmpty())
        return notKvr + QLatin1Char('\n') + why;
    return QString();
}

} // namespace DatabaseFile

#include "store/DataControl.h"

namespace DatabaseFile {
void CloseAllDataControls() { DataControl::CloseAll(); }
bool ReopenAllDataControls() { return DataControl::ReopenAll(); }
} // namespace DatabaseFile
