#pragma once
// The .xls half of the workbook reader: takes the workbook stream out of the
// compound document and reads the few records that matter in it.
//
// Of the workbook globals: the sheet list (to find the marker sheet by
// name), the shared string table with its continuation records, the cell
// and number formats (to tell a date from a number), the date system, the
// code page of Excel 5.0/95 workbooks and the mark of an encrypted file. Of
// the marker sheet: the cell records (numbers, RK and MULRK numbers, shared
// and own texts, booleans and errors, blanks) and formulas with their
// stored result, a text result being in the STRING record that follows.
// Excel 97-2003 (BIFF8) and Excel 5.0/95 (BIFF5/7) workbooks are read.
//
// Every length and index in the stream is checked against the data it
// points into; a record cut short, a sheet without its end, an index past
// the string table is an error, never a guess. The reader allocates little
// beyond the stream itself: it keeps only the strings and formats of the 41
// cells it reads.
#include "capture/WorkbookReader.h"

#include <QByteArray>

namespace XlsCellReader {

// Reads an .xls file held in memory.
WorkbookReader::Result Read(const QByteArray &file);

// Reads a workbook stream already taken out of its container (tests and
// the fuzz target).
WorkbookReader::Result ReadStream(const QByteArray &stream);

} // namespace XlsCellReader
