#include "shell/Settings.h"

#include "common/SafeFile.h"

#include <QImage>
#include <QImageReader>
#include <QImageWriter>

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

LogoResult StoreLogo(const QString &sourcePath, const QString &targetPath, QString *error, QString *persianReason)
{
    QImageReader reader(sourcePath);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format().toLower();
    if (format != "jpeg" && format != "jpg" && format != "bmp")
        return LogoResult::NotAPicture;
    const QImage image = reader.read();
    if (image.isNull())
        return LogoResult::NotAPicture;

    SafeFile out(targetPath);
    QString why;
    if (out.open(QIODevice::WriteOnly)) {
        QImageWriter writer(&out, "bmp");
        if (writer.write(image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_RGB32) : image)) {
            if (out.commit())
                return LogoResult::Saved;
        } else {
            why = writer.errorString();
        }
    }
    // Destroying the file drops what was written; the old logo stays.
    const bool fileFailed = out.FailedStep() != SafeFile::Step::None;
    if (error)
        *error = fileFailed || why.isEmpty() ? out.errorString()
                                             : QStringLiteral("Cannot write %1: %2").arg(targetPath, why);
    if (persianReason)
        *persianReason = SafeFile::PersianReasonFor(fileFailed ? out.SystemError() : 0);
    return LogoResult::WriteFailed;
}
