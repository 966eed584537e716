#pragma once
class QWidget;

// Run at start-up before any window opens: takes the program's shared lock
// on the database (refused while another window restores it); when the
// program folder's KVRDB.mdb is missing or damaged, shows one error box
// naming the file and its full path and returns false; the program then
// ends. Never creates the file. A sound file is prepared for use
// (KvrDatabase::PrepareOnce) and, when some codes are held twice, one box
// names them. When the records live on a server, the server's log-in runs
// instead (store/ui/ServerLogin.h).
bool DatabaseReadyAtStart(QWidget *parent = nullptr);
