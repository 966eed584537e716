#pragma once
#include <QString>

// The program folder: the folder of the running executable. It holds the
// database file, the report template, the logo, the styles, the notification
// images and a downloaded installer. Tests point it at a scratch folder.
QString ProgramFolder();
// Full path of a file in the program folder.
QString ProgramFile(const QString &fileName);
// Replaces the folder for the rest of the process (tests, kvr-cli --folder).
// An empty path goes back to the executable's folder.
void SetProgramFolder(const QString &path);
// Makes the program folder the process's current folder again, as the
// program does after a file dialog and before a report.
bool RestoreCurrentFolder();
