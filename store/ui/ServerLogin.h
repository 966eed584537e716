#pragma once
// The program's start when the records live on a server: it connects and
// takes the server's lock, asking for the password when the server wants
// one (or taking the one kept in the desktop's keyring), and checks that the
// server's database holds KVR's tables. A server that cannot be reached is
// said, with the choice to try again, or to work on this computer's file
// this time only.
class QWidget;

namespace ServerLogin {

// True when the program can work: on the server, or (the user's choice) on
// the file this time, DatabaseLocation then pointing at the file.
bool ConnectAtStart(QWidget *parent = nullptr);

} // namespace ServerLogin
