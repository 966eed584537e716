#pragma once
#include <QIcon>
#include <QString>

// The program's own icon for its windows: the sizes an installation puts in
// the hicolor icon theme of its prefix (<prefix>/share/icons for the
// executables in <prefix>/bin), read straight from those files. Looking the
// name up through the icon theme instead reads the index of every installed
// theme first, a good part of the program's start. A copy that is not
// installed has no such files and gets an empty icon (the window manager's
// own).
QIcon ProgramIcon(const QString &executableFolder);
