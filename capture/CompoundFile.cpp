#include "capture/CompoundFile.h"

#include <QList>

#include <algorithm>
#include <vector>

namespace CompoundFile {

namespace {

const QByteArray kSignature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

// Sector numbers with a meaning of their own.
constexpr quint32 kEndOfChain = 0xFFFFFFFEu;
constexpr quint32 kNoEntry = 0xFFFFFFFFu; // also: a free sector

constexpr qint64 kHeaderSize = 512;
constexpr int kDifatInHeader = 109;
constexpr int kEntrySize = 128;
constexpr int kMiniSectorSize = 64;
constexpr quint8 kStreamEntry = 2;
constexpr quint8 kRootEntry = 5;

quint16 U16(const char *p)
{
    return quint16(quint8(p[0]) | quint8(p[1]) << 8);
}

quint32 U32(const char *p)
{
    return quint32(U16(p)) | quint32(U16(p + 2)) << 16;
}

Stream Failure(Status status, const QString &reason)
{
    Stream s;
    s.status = status;
    s.reason = reason;
    return s;
}

// One directory entry: a 128-byte record.
struct Entry {
    const char *p = nullptr;

    QString name() const
    {
        const int bytes = U16(p + 0x40); // with the terminating zero
        if (bytes < 2 || bytes > 64 || bytes % 2 != 0)
            return QString();
        QString name;
        for (int i = 0; i < bytes / 2 - 1; ++i)
            name += QChar(U16(p + 2 * i));
        return name;
    }
    quint8 type() const { return quint8(p[0x42]); }
    quint32 left() const { return U32(p + 0x44); }
    quint32 right() const { return U32(p + 0x48); }
    quint32 child() const { return U32(p + 0x4C); }
    quint32 start() const { return U32(p + 0x74); }
    quint64 size(bool wide) const { return U32(p + 0x78) | (wide ? quint64(U32(p + 0x7C)) << 32 : 0); }
};

class Container
{
public:
    explicit Container(const QByteArray &file) : m_file(file) {}

    // Checks the header and reads the allocation table and the directory.
    bool open(QString *error)
    {
        return readHeader(error) && readFat(error) && readDirectory(error);
    }

    Stream find(const QStringList &names) const
    {
        QList<Entry> streams;
        QString error;
        if (!topLevelStreams(&streams, &error))
            return Failure(Status::Damaged, error);
        for (const QString &wanted : names) {
            for (const Entry &e : streams) {
                if (e.name().compare(wanted, Qt::CaseInsensitive) != 0)
                    continue;
                Stream s;
                s.name = e.name();
                if (!readEntry(e, &s.data, &error))
                    return Failure(Status::Damaged, error);
                s.status = Status::Ok;
                return s;
            }
        }
        return Failure(Status::NoSuchStream, QStringLiteral("no stream named %1").arg(names.join(QStringLiteral(" or "))));
    }

private:
    bool readHeader(QString *error)
    {
        const char *h = m_file.constData();
        const int sectorShift = U16(h + 0x1E);
        if (U16(h + 0x1C) != 0xFFFE || (sectorShift != 9 && sectorShift != 12) || U16(h + 0x20) != 6) {
            *error = QStringLiteral("not a compound document header");
            return false;
        }
        m_sectorSize = qint64(1) << sectorShift;
        m_wideSizes = sectorShift == 12;
        if (m_file.size() < m_sectorSize) {
            *error = QStringLiteral("compound document cut short");
            return false;
        }
        m_sectors = quint32((m_file.size() - 1) / m_sectorSize); // sector i starts at (i + 1) * size
        m_miniCutoff = U32(h + 0x38);
        return true;
    }

    // The allocation table, for the sectors the file holds. Its sectors are
    // listed in the header and then in a chain of list sectors.
    bool readFat(QString *error)
    {
        const char *h = m_file.constData();
        const qint64 perSector = m_sectorSize / 4;
        const quint32 needed = quint32((m_sectors + perSector - 1) / perSector);
        const quint32 count = std::min(U32(h + 0x2C), needed);
        std::vector<quint32> fatSectors;
        for (int i = 0; i < kDifatInHeader && fatSectors.size() < count; ++i)
            fatSectors.push_back(U32(h + 0x4C + 4 * i));
        quint32 list = U32(h + 0x44);
        for (quint32 steps = 0; fatSectors.size() < count && list < m_sectors; ++steps) {
            if (steps >= m_sectors || available(list) < m_sectorSize) {
                *error = QStringLiteral("allocation list chain broken or looping");
                return false;
            }
            const char *p = sector(list);
            for (qint64 i = 0; i < perSector - 1 && fatSectors.size() < count; ++i)
                fatSectors.push_back(U32(p + 4 * i));
            list = U32(p + 4 * (perSector - 1));
        }
        m_fat.assign(m_sectors, kNoEntry);
        for (size_t k = 0; k < fatSectors.size(); ++k) {
            if (fatSectors[k] >= m_sectors || available(fatSectors[k]) < m_sectorSize) {
                *error = QStringLiteral("allocation table sector outside the file");
                return false;
            }
            const char *p = sector(fatSectors[k]);
            for (qint64 i = 0; i < perSector && qint64(k) * perSector + i < m_sectors; ++i)
                m_fat[size_t(qint64(k) * perSector + i)] = U32(p + 4 * i);
        }
        return true;
    }

    bool readDirectory(QString *error)
    {
        if (!chain(U32(m_file.constData() + 0x30), &m_directory, error))
            return false;
        if (entryCount() == 0 || !entry(0).p || entry(0).type() != kRootEntry) {
            *error = QStringLiteral("no root entry in the directory");
            return false;
        }
        return true;
    }

    // The streams directly under the root: the root's children form a tree
    // of siblings, walked with every entry visited at most once.
    bool topLevelStreams(QList<Entry> *streams, QString *error) const
    {
        const quint32 count = entryCount();
        std::vector<bool> seen(count, false);
        std::vector<quint32> pending{entry(0).child()};
        while (!pending.empty()) {
            const quint32 id = pending.back();
            pending.pop_back();
            if (id == kNoEntry)
                continue;
            const Entry e = id < count ? entry(id) : Entry();
            if (!e.p || seen[id]) {
                *error = QStringLiteral("directory tree broken or looping");
                return false;
            }
            seen[id] = true;
            if (e.type() == kStreamEntry)
                streams->append(e);
            pending.push_back(e.left());
            pending.push_back(e.right());
        }
        return true;
    }

    bool readEntry(const Entry &e, QByteArray *data, QString *error) const
    {
        const quint64 size = e.size(m_wideSizes);
        if (size > quint64(m_file.size())) {
            *error = QStringLiteral("stream larger than the file");
            return false;
        }
        if (size >= m_miniCutoff)
            return readRegular(e.start(), qint64(size), data, error);
        return readMini(e.start(), qint64(size), data, error);
    }

    // A stream in whole sectors.
    bool readRegular(quint32 start, qint64 size, QByteArray *data, QString *error) const
    {
        std::vector<quint32> sectors;
        if (!chain(start, &sectors, error))
            return false;
        if (qint64(sectors.size()) * m_sectorSize < size) {
            *error = QStringLiteral("stream longer than its chain");
            return false;
        }
        data->reserve(int(size));
        for (size_t i = 0; data->size() < size; ++i) {
            const qint64 want = std::min(m_sectorSize, size - data->size());
            if (available(sectors[i]) < want) {
                *error = QStringLiteral("stream cut short");
                return false;
            }
            data->append(sector(sectors[i]), int(want));
        }
        return true;
    }

    // A small stream: its 64-byte sectors lie in the mini stream (the root
    // entry's data) and are chained by the mini allocation table. Both are
    // read where they lie in the file, not copied.
    bool readMini(quint32 start, qint64 size, QByteArray *data, QString *error) const
    {
        std::vector<quint32> table;
        std::vector<quint32> mini;
        const Entry root = entry(0);
        if (!chain(U32(m_file.constData() + 0x3C), &table, error) || !chain(root.start(), &mini, error))
            return false;
        const qint64 tableEntries = qint64(table.size()) * (m_sectorSize / 4);
        const qint64 miniSize = std::min<qint64>(qint64(root.size(m_wideSizes)), qint64(mini.size()) * m_sectorSize);
        data->reserve(int(size));
        std::vector<bool> seen(size_t(std::min<qint64>(tableEntries, miniSize / kMiniSectorSize + 1)), false);
        qint64 at = start;
        while (data->size() < size) {
            const qint64 offset = at * kMiniSectorSize; // in the mini stream
            const qint64 want = std::min<qint64>(kMiniSectorSize, size - data->size());
            if (at >= qint64(seen.size()) || seen[size_t(at)] || offset + want > miniSize) {
                *error = QStringLiteral("mini stream chain broken or looping");
                return false;
            }
            seen[size_t(at)] = true;
            const quint32 holder = mini[size_t(offset / m_sectorSize)];
            if (available(holder) < offset % m_sectorSize + want) {
                *error = QStringLiteral("mini stream cut short");
                return false;
            }
            data->append(sector(holder) + offset % m_sectorSize, int(want));
            const qint64 k = at * 4; // the entry's place in the table
            const quint32 tableSector = table[size_t(k / m_sectorSize)];
            if (available(tableSector) < k % m_sectorSize + 4) {
                *error = QStringLiteral("mini allocation table cut short");
                return false;
            }
            at = U32(sector(tableSector) + k % m_sectorSize);
        }
        return true;
    }

    // The sectors of a chain from start to its end, each at most once.
    bool chain(quint32 start, std::vector<quint32> *sectors, QString *error) const
    {
        for (quint32 at = start; at != kEndOfChain; at = m_fat[at]) {
            if (at >= m_sectors || sectors->size() >= m_sectors) {
                *error = QStringLiteral("sector chain broken or looping");
                return false;
            }
            sectors->push_back(at);
        }
        return true;
    }

    quint32 entryCount() const { return quint32(qint64(m_directory.size()) * (m_sectorSize / kEntrySize)); }

    // The entry id, or one without data when its sector is cut short.
    Entry entry(quint32 id) const
    {
        const qint64 perSector = m_sectorSize / kEntrySize;
        const quint32 holder = m_directory[size_t(id / perSector)];
        const qint64 offset = (id % perSector) * kEntrySize;
        if (available(holder) < offset + kEntrySize)
            return Entry();
        return Entry{sector(holder) + offset};
    }

    const char *sector(quint32 index) const { return m_file.constData() + (qint64(index) + 1) * m_sectorSize; }
    qint64 available(quint32 index) const
    {
        return std::min(m_sectorSize, m_file.size() - (qint64(index) + 1) * m_sectorSize);
    }
    const QByteArray &m_file;
    qint64 m_sectorSize = 512;
    bool m_wideSizes = false;
    quint32 m_sectors = 0;
    quint32 m_miniCutoff = 4096;
    std::vector<quint32> m_fat;
    std::vector<quint32> m_directory; // the directory's sectors
};

} // namespace

bool HasSignature(const QByteArray &bytes)
{
    return bytes.startsWith(kSignature);
}

Stream Read(const QByteArray &file, const QStringList &names)
{
    if (!HasSignature(file))
        return Failure(Status::NotCompound, QStringLiteral("no compound document signature"));
    if (file.size() < kHeaderSize)
        return Failure(Status::Damaged, QStringLiteral("compound document cut short"));
    Container container(file);
    QString error;
    if (!container.open(&error))
        return Failure(Status::Damaged, error);
    return container.find(names);
}

} // namespace CompoundFile
