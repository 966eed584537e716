// kvr-zip.so: the archives of .xlsx workbooks read with QuaZip, for the
// workbook reader (capture/ZipArchive.h). Only this plugin links QuaZip; the
// program loads it the first time a workbook is imported.
#include "capture/ZipArchive.h"

#include <QObject>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

namespace {

class QuaZipArchive : public ZipArchive
{
public:
    explicit QuaZipArchive(QIODevice *device) : m_zip(device) {}

    bool open() { return m_zip.open(QuaZip::mdUnzip); }

    qint64 memberCount() const override { return m_zip.getEntriesCount(); }

    std::unique_ptr<QIODevice> openMember(const QString &name, bool *missing) override
    {
        *missing = !m_zip.setCurrentFile(name, QuaZip::csInsensitive);
        if (*missing)
            return nullptr;
        auto file = std::make_unique<QuaZipFile>(&m_zip);
        if (!file->open(QIODevice::ReadOnly))
            return nullptr;
        return file;
    }

private:
    QuaZip m_zip;
};

} // namespace

class ZipReaderPlugin : public QObject, public ZipReader
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID KVR_ZIP_READER_IID)
    Q_INTERFACES(ZipReader)

public:
    std::unique_ptr<ZipArchive> open(QIODevice *device) override
    {
        auto archive = std::make_unique<QuaZipArchive>(device);
        if (!archive->open())
            return nullptr;
        return archive;
    }
};

#include "ZipPlugin.moc"
