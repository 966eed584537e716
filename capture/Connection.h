#pragma once
#include <QString>

namespace CaptureDb {
// The connection text the capture screens give their data controls:
// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + program folder +
// "\KVRDB.mdb;". Kept for the record; the file opened is always the program
// folder's KVRDB.mdb.
QString ConnectionText();
}
