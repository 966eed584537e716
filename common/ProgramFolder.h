#pragma once
#include <QString>

// Where the program keeps its files. Two folders:
//
// - the program folder holds every file the program writes: the database
//   file, the logo, the backup folder "KVR" and a downloaded installer;
// - the delivered folder holds the read-only files that come with the
//   program: the report template, the styles, the notification images, the
//   answer template workbook and the delivered database.
//
// A build folder or a portable copy (the executable's folder is writable)
// keeps both in the executable's folder, as the program always has. An
// installed program keeps its delivered files in the shared data folder
// beside its executables (<prefix>/share/kvr for <prefix>/bin) and writes
// into the user's data folder (~/.local/share/KVR), so every user of the
// computer has a database of their own and removing or upgrading the package
// touches no one's records. A copy whose folder cannot be written at all
// writes into the user's data folder too and reads its delivered files from
// its own folder.
//
// Tests point the folders at scratch folders with SetProgramFolder and
// SetDeliveredFolder.

// The program folder: where every written file goes.
QString ProgramFolder();
// Full path of a file in the program folder.
QString ProgramFile(const QString &fileName);
// The folder of the delivered read-only files.
QString DeliveredFolder();
// Full path of a delivered file ("KVR.fr3", "Styles/...", "icon3.ico").
QString DeliveredFile(const QString &fileName);

// Replaces the program folder for the rest of the process (tests, kvr-cli
// --folder). Unless SetDeliveredFolder says otherwise, the delivered files
// are then read from that folder too. An empty path goes back to the
// folders of the running executable.
void SetProgramFolder(const QString &path);
// Replaces the delivered folder alone; an empty path undoes it.
void SetDeliveredFolder(const QString &path);

// Whether the program runs from an installation it does not write into: its
// delivered files lie apart from the files it writes. A new version then
// comes as a new package, not as an installer the program starts itself.
bool IsInstalledProgram();

// Run once at start, before the database is opened. When the program folder
// is apart from the delivered folder (an installed program), makes the
// program folder (readable by its owner only) and, when it holds no database
// yet, copies the delivered database into it: written whole to a temporary
// file beside it and renamed into place only when no database has appeared
// meanwhile. An existing database is never touched. Returns false, with a
// Persian reason in *error, when the folder or the copy cannot be made.
bool PrepareProgramFolder(QString *error = nullptr);

// Makes the program folder the process's current folder again, as the
// program does after a file dialog and before a report.
bool RestoreCurrentFolder();

// The parts of the choice, for tests and for whoever needs to say where the
// files are.
namespace ProgramFolders {
struct Choice {
    QString program;   // where written files go
    QString delivered; // where the delivered files are read
};
// The user's own data folder: <XDG data home>/KVR, e.g. ~/.local/share/KVR
// (QStandardPaths::AppDataLocation of the program "KVR"; kvr-cli uses the
// same folder whatever its own application name).
QString UserDataFolder();
// The shared data folder an installation puts beside executableFolder.
QString SharedDataFolder(const QString &executableFolder);
// Whether files can be made in folder. Permissions alone do not decide it
// for root, so this asks the system whether the folder can be written
// (which also answers no on a read-only file system, for root too).
bool FolderWritable(const QString &folder);
// The choice for an executable in executableFolder:
//  1. the shared data folder beside it holds the delivered database: an
//     installed program, whoever runs it, root included (root may write into
//     /usr/bin, but a clinic's records must never go there);
//  2. else a writable executable folder: a build folder or a portable copy,
//     everything in that folder;
//  3. else the user's data folder, with the delivered files read from the
//     executable's folder.
Choice Choose(const QString &executableFolder, bool executableFolderWritable, const QString &userDataFolder);
} // namespace ProgramFolders
