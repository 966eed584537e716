#pragma once
#include <QString>

// The file name at the end of a plain-HTTP URL, used as the name of the
// downloaded file in the program folder ("http://host/Soft/kvr/setup-kvr.exe"
// gives "setup-kvr.exe"). Empty when the URL does not qualify:
// - shorter than 2 characters, not starting with "http://" in lower case
//   (https and capitals are refused), or that prefix alone;
// - the last part (after the last "/", a trailing "/" not counted) has no
//   full stop before its last character ("setup", "setup." are refused;
//   ".setup" is accepted);
// - the last part could leave the program folder or is no file name at all:
//   it holds "/" or "\", or is "." or "..".
QString GetFileName(const QString &url);
