#pragma once
// Names and addresses around the downloaded installer.
#include <QString>

namespace InstallerDownload {

// The name the downloaded file gets in the program folder: the file name at
// the end of the URL, by GetFileName's rule, for a plain "http://" or a secure
// "https://" address (both in lower case). Empty when the URL does not qualify.
QString FileName(const QString &url);

// Where the signature of the file at `url` is published: beside it, with
// ".minisig" added to its path ("…/setup-kvr.exe" → "…/setup-kvr.exe.minisig").
QString SignatureUrl(const QString &url);

// A signature file is a few hundred bytes; more than this is refused.
constexpr qint64 MaxSignatureBytes = 16 * 1024;

} // namespace InstallerDownload
