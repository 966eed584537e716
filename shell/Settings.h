#pragma once
#include <QString>
#include <QStringList>

// The settings row's contact block: the clinic's contact items (e-mail,
// Telegram, Instagram, web site, Twitter, Facebook, telephone, in that order)
// without labels, the empty ones left out, each followed by CR LF. The report
// prints it as the clinic's contact lines.
QString ComposeContactBlock(const QStringList &contactItems);

// The clinic logo: a JPEG or BMP picture (judged by its content, not its
// name) is written as an uncompressed BMP under the target name, which is
// "LogoKVR.jpg" in the program folder. The new file replaces the old one only
// once it is complete and every step of writing it has succeeded, so a
// failure (a full disk included) leaves the old logo exactly as it was and no
// temporary file behind. On WriteFailed *error holds the system's description
// and *persianReason a Persian sentence for the screen.
enum class LogoResult { Saved, NotAPicture, WriteFailed };
LogoResult StoreLogo(const QString &sourcePath, const QString &targetPath, QString *error = nullptr,
                     QString *persianReason = nullptr);

// Column names of the settings row's contact items, in block order.
QStringList ContactColumns();
