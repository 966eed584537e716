#pragma once
// The .xlsx half of the workbook reader: finds the marker worksheet through
// the package and workbook relations, streams its XML up to row 41 and looks
// up the shared strings and number formats of the cells it keeps.
#include "capture/WorkbookReader.h"

class QIODevice;

namespace XlsxCellReader {

// Unpacking limits per archive member. A genuine template is a few
// kilobytes; these leave room for workbooks saved by any writer with extra
// sheets and styles, and stop an archive member that unpacks to gigabytes
// early.
constexpr qint64 kSmallPartBudget = 4 * 1024 * 1024;  // package and workbook relations, workbook, styles
constexpr qint64 kLargePartBudget = 16 * 1024 * 1024; // the sheet, the shared strings
// Elements nested deeper than this are refused; workbook parts nest about
// ten deep. The parser keeps a record per open element, so without a limit
// a small archive of nested tags would make it allocate gigabytes.
constexpr int kMaxDepth = 64;
// A tag or a run of text longer than this, or a tag with more attributes,
// is refused before the parser sees it: no workbook writes one, and the
// parser holds a token whole and checks its attributes pairwise.
constexpr qint64 kMaxTokenBytes = 1024 * 1024;
constexpr int kMaxAttributes = 1000;

// Reads the zip archive on device (open or not; read from its start).
WorkbookReader::Result Read(QIODevice *device);

} // namespace XlsxCellReader
