#pragma once
#include <QString>

// The running program's version and the rule that decides whether a
// published version is newer.
//
// The comparison value, the local version number, is the decimal text of the
// major version immediately followed by that of the minor version, read as a
// number: 1.3 gives 13, 1.12 gives 112, 2.0 gives 20. The revision takes no
// part. The vendor publishes numbers written the same way.
namespace AppVersion {

int Major();
int Minor();
int Revision();

QString ShortText(); // "4.1"
QString FullText();  // "4.1.0"

double LocalNumber(); // 41 for this release
double LocalNumber(int major, int minor);

// The number at the head of a published version text: leading blanks, tabs
// and line feeds are skipped; then digits with at most one full stop are
// read, blanks, tabs and line feeds between them skipped, up to the first
// other character. Text without a leading number (an empty file, an error
// page) reads as 0, and so does a number too long to hold.
double ReadPublishedNumber(const QString &text);

// A newer version is published exactly when its number is strictly greater.
bool IsNewer(double published, double local);

} // namespace AppVersion
