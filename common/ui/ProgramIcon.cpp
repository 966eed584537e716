#include "common/ui/ProgramIcon.h"

#include "common/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QIconEngine>
#include <QImageReader>
#include <QMap>
#include <QPainter>
#include <QPixmap>
#include <QSize>

namespace {

// PNG files of known sizes, each read when a picture of about its size is
// first asked for. The format is given, not guessed: guessing loads every
// image format plugin installed, at the start of the program (Qt's own icon
// engine guesses as soon as a file is added).
class PngFiles : public QIconEngine
{
public:
    explicit PngFiles(QMap<int, QString> files)
        : m_files(std::move(files))
    {
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        if (m_files.isEmpty() || size.isEmpty())
            return QPixmap();
        // The smallest file at least as large as asked, else the largest.
        auto it = m_files.lowerBound(qMax(size.width(), size.height()));
        if (it == m_files.end())
            --it;
        QPixmap &pm = m_read[it.key()];
        if (pm.isNull()) {
            QImageReader reader(it.value(), QByteArrayLiteral("png"));
            reader.setAutoDetectImageFormat(false);
            pm = QPixmap::fromImage(reader.read());
        }
        if (pm.isNull() || (pm.width() <= size.width() && pm.height() <= size.height()))
            return pm;
        return pm.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const QPixmap pm = pixmap(rect.size(), mode, state);
        if (!pm.isNull()) {
            QRect target(QPoint(), pm.size());
            target.moveCenter(rect.center());
            painter->drawPixmap(target, pm);
        }
    }

    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return pixmap(size, mode, state).size();
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int size : m_files.keys())
            sizes.append(QSize(size, size));
        return sizes;
    }

    bool isNull() override { return m_files.isEmpty(); }
    QString key() const override { return QStringLiteral("kvr-png-files"); }
    QIconEngine *clone() const override { return new PngFiles(*this); }

private:
    QMap<int, QString> m_files;  // size -> file
    QMap<int, QPixmap> m_read;   // the files read so far
};

} // namespace

QIcon ProgramIcon(const QString &executableFolder)
{
    // <prefix>/share/kvr is the shared data folder; its icons are beside it.
    const QDir icons(QDir::cleanPath(ProgramFolders::SharedDataFolder(executableFolder)
                                     + QStringLiteral("/../icons/hicolor")));
    QMap<int, QString> files;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString file = icons.filePath(QStringLiteral("%1x%1/apps/kvr.png").arg(size));
        if (QFileInfo(file).isFile())
            files.insert(size, file);
    }
    return files.isEmpty() ? QIcon() : QIcon(new PngFiles(files));
}
