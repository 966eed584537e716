#include "capture/WorkbookReader.h"

#include "capture/CompoundFile.h"
#include "capture/WorkbookCells.h"
#include "capture/XlsCellReader.h"
#include "capture/XlsxCellReader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

using Status = WorkbookReader::Status;
using Result = WorkbookReader::Result;
using WorkbookCells::Failure;

const QByteArray kZipSignature("PK\x03\x04", 4);
const QByteArray kEmptyZipSignature("PK\x05\x06", 4);

enum class Kind { Zip, Compound, Other };

Kind KindOf(const QByteArray &head)
{
    if (head.startsWith(kZipSignature) || head.startsWith(kEmptyZipSignature))
        return Kind::Zip;
    if (CompoundFile::HasSignature(head))
        return Kind::Compound;
    return Kind::Other;
}

Result Neither()
{
    return Failure(Status::NotAWorkbook, QStringLiteral("neither a zip archive nor a compound document"));
}

Result TooLarge()
{
    return Failure(Status::Damaged, QStringLiteral("file larger than %1 bytes").arg(WorkbookReader::kMaxFileBytes));
}

} // namespace

QString WorkbookReader::MarkerSheetName() { return QStringLiteral("KVR"); }
QString WorkbookReader::MarkerText() { return QStringLiteral("KVR"); }

WorkbookReader::Result WorkbookReader::Read(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return Failure(Status::NotAWorkbook, QStringLiteral("no such file"));
    if (info.size() > kMaxFileBytes)
        return TooLarge();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure(Status::NotAWorkbook, file.errorString());
    switch (KindOf(file.peek(8))) {
    case Kind::Zip:
        // The archive is read member by member from the file.
        return XlsxCellReader::Read(&file);
    case Kind::Compound: {
        // The container is read whole; the file may have grown since its size was taken.
        const QByteArray bytes = file.read(std::min(info.size(), kMaxFileBytes) + 1);
        if (bytes.size() > kMaxFileBytes)
            return TooLarge();
        return XlsCellReader::Read(bytes);
    }
    case Kind::Other:
        break;
    }
    return Neither();
}

WorkbookReader::Result WorkbookReader::ReadBytes(const QByteArray &bytes)
{
    if (bytes.size() > kMaxFileBytes)
        return TooLarge();
    switch (KindOf(bytes.left(8))) {
    case Kind::Zip: {
        QByteArray copy(bytes);
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        return XlsxCellReader::Read(&buffer);
    }
    case Kind::Compound:
        return XlsCellReader::Read(bytes);
    case Kind::Other:
        break;
    }
    return Neither();
}
