#include "shell/Settings.h"

#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

QString ComposeContactBlock(const QStringList &contactItems)
{
    QString block;
    for (const QString &item : contactItems)
        if (!item.isEmpty())
            block += item + QStringLiteral("\r\n");
    return block;
}

QStringList ContactColumns()
{
    return {QStringLiteral("E-Mail"), QStringLiteral("Telegram"), QStringLiteral("Insta"),
            QStringLiteral("Web"),    QStringLiteral("Twitter"),  QStringLiteral("Facebook"),
            QStringLiteral("Tel")};
}

LogoResult StoreLogo(const QString &sourcePath, const QString &targetPath)
{
    QImageReader reader(sourcePath);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format().toLower();
    if (format != "jpeg" && format != "jpg" && format != "bmp")
        return LogoResult::NotAPicture;
    const QImage image = reader.read();
    if (image.isNull())
        return LogoResult::NotAPicture;

    QSaveFile out(targetPath);
    if (!out.open(QIODevice::WriteOnly))
        return LogoResult::WriteFailed;
    QImageWriter writer(&out, "bmp");
    if (!writer.write(image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_RGB32) : image)) {
        out.cancelWriting();
        return LogoResult::WriteFailed;
    }
    return out.commit() ? LogoResult::Saved : LogoResult::WriteFailed;
}
