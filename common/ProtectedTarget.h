#pragma once
// The files that nothing the user names may be written over: the live
// database (KVRDB.mdb in the program folder) with its -journal, -wal and -shm
// files, and the files delivered with the program (KVR.fr3, LogoKVR.jpg, the
// Styles folder and everything in it, icon3.ico, CloseMSN.bmp, KVR-Excel.xlsx,
// KVR-Excel.zip, the kvr and kvr-cli executables and the running executable).
#include <QString>
#include <QStringList>

// The names above, in the program folder.
QStringList ProtectedProgramFiles();

// Whether writing `target` would write over one of the files above. A
// relative target counts from the current folder. Paths are compared as the
// system reaches them: links are followed and "." and ".." resolved folder by
// folder, so a link to the database, "sub/../KVRDB.mdb" or another spelling
// of the program folder is caught, and so is a file that does not exist yet
// (the database's -wal file). A target that is itself a link counts both as
// the link and as what it points to. An existing file is also compared by
// identity (device and inode), which catches hard links and bind mounts.
// When it would, *protectedFile (if given) names the file of the program
// folder it would hit.
bool IsProtectedTarget(const QString &target, QString *protectedFile = nullptr);
