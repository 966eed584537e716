#pragma once
// A scratch program folder for the shell's screens: a database made from the
// delivered SQL text and a copy of the delivered looks.
#include "common/ProgramFolder.h"
#include "store/DataControl.h"
#include "store/KvrDatabase.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

inline QString SourceDir() { return qEnvironmentVariable("KVR_SOURCE_DIR"); }

inline bool CopyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString src = it.next();
        const QString dst = to + QLatin1Char('/') + QDir(from).relativeFilePath(src);
        QDir().mkpath(QFileInfo(dst).absolutePath());
        if (!QFile::copy(src, dst))
            return false;
    }
    return true;
}

struct ProgramFolderFixture {
    QTemporaryDir dir;
    bool ok = false;
    ProgramFolderFixture()
    {
        if (!dir.isValid())
            return;
        QString error;
        if (!KvrDatabase::CreateFromSql(SourceDir() + QStringLiteral("/data/KVRDB.sql"),
                                        dir.filePath(QStringLiteral("KVRDB.mdb")), &error)) {
            qWarning("%s", qPrintable(error));
            return;
        }
        if (!CopyTree(SourceDir() + QStringLiteral("/data/Styles"), dir.filePath(QStringLiteral("Styles"))))
            return;
        SetProgramFolder(dir.path());
        ok = true;
    }
    ~ProgramFolderFixture() { SetProgramFolder(QString()); }
    QString path(const QString &name) const { return dir.filePath(name); }
};

// A value of the settings row as the file holds it.
inline QString StoredSetting(const QString &column)
{
    DataControl dc;
    dc.Open(QStringLiteral("SELECT * FROM Theme "));
    return dc.Value(column);
}

inline QString StoredQuestion(int code, const QString &column)
{
    DataControl dc;
    dc.Open(QStringLiteral("SELECT * FROM QUS "));
    dc.Filter(QStringLiteral("code='%1'").arg(code));
    return dc.Value(column);
}

// Writes a small picture in the given format ("JPEG", "BMP", "PNG").
inline bool WritePicture(const QString &path, const char *format, QSize size = QSize(40, 30))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 60));
    for (int x = 0; x < size.width(); ++x)
        image.setPixelColor(x, size.height() / 2, Qt::blue);
    return image.save(path, format);
}
