#pragma once
// The zip archive of an .xlsx workbook, as the workbook reader sees it. The
// zip library is loaded only when a workbook is first imported: the code
// that calls it lives in the plugin kvr-zip.so (capture/zip/), which opens
// archives and unpacks their members and nothing else. Every limit of the
// reader (budgets, nesting, member count) stays in XlsxCellReader.cpp.
#include <QIODevice>
#include <QString>
#include <QtPlugin>

#include <memory>

// One archive, open for unpacking its members one at a time.
class ZipArchive
{
public:
    virtual ~ZipArchive() = default;

    // The number of members the archive's directory lists.
    virtual qint64 memberCount() const = 0;

    // The member called name, letter case aside, open for reading its
    // unpacked bytes (a read gives -1 once the member turns out damaged).
    // Null when the archive has no such member (*missing true) or it cannot
    // be unpacked (*missing false). A member's device must be gone before
    // the next member is opened, and before the archive.
    virtual std::unique_ptr<QIODevice> openMember(const QString &name, bool *missing) = 0;
};

// What the plugin hands out.
class ZipReader
{
public:
    virtual ~ZipReader() = default;

    // The archive held by device (open or not; read from its start), or null
    // when it is no zip archive that can be read. The device must outlive
    // the archive.
    virtual std::unique_ptr<ZipArchive> open(QIODevice *device) = 0;
};

#define KVR_ZIP_READER_IID "org.kvr.ZipReader/1"
Q_DECLARE_INTERFACE(ZipReader, KVR_ZIP_READER_IID)

namespace ZipArchivePlugin {
// The plugin's file name (common/PluginModule.h finds it).
inline QString FileName() { return QStringLiteral("kvr-zip.so"); }
} // namespace ZipArchivePlugin
