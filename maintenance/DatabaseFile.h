#pragma once
#include <QString>

// What the backup and restore need from the database layer.
namespace DatabaseFile {

// Why the file is not a KVR database, or empty when it is one: an SQLite
// file that passes SQLite's quick check, holds the tables IDE, Answer1, QUS
// and Theme and our view QueryMe with our definition, and no triggers. The
// file is opened read-only.
QString Refusal(const QString &path);

// Releases the database file from every open data control of every screen,
// and opens and refreshes them again afterwards.
void CloseAllDataControls();
bool ReopenAllDataControls();

} // namespace DatabaseFile
